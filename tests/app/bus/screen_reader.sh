#!/usr/bin/env bash
# Listens to the application where a screen reader does: starts it under a private X server
# with a session bus of its own and the AT-SPI registry, and has screen_reader_walk.py read
# every window over the bus. Hermetic: its own home, no user settings, the C locale, UTC and
# no printer. Exits 77 (skipped) where the X server, the bus or the client cannot start.
#
#   screen_reader.sh VANTREL
set -euo pipefail

skip() {
    echo "SKIPPED: no accessibility bus here: $*"
    exit 77
}

app="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for tool in Xvfb dbus-run-session xdotool; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
[ -x /usr/libexec/at-spi-bus-launcher ] || [ -x /usr/lib/at-spi2-core/at-spi-bus-launcher ] ||
    skip "at-spi2-core is not installed"
# The client needs the system's Python, whose packages hold pyatspi.
python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c 'import pyatspi' >/dev/null 2>&1; then
        python="$candidate"
        break
    fi
done
[ -n "$python" ] || skip "python3-pyatspi is not installed"

work="$(mktemp -d /tmp/vantrel-bus-XXXXXX)"
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../private_display.sh"
start_private_display 1600x1000

mkdir -p "$work/home" "$work/home/runtime" "$work/home/config" "$work/home/cache" "$work/home/data"
chmod 700 "$work/home/runtime"
env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/home/runtime" XDG_CONFIG_HOME="$work/home/config" \
    XDG_CACHE_HOME="$work/home/cache" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_DIRS="$work/home/config-dirs" \
    LC_ALL=C.UTF-8 LANG=C.UTF-8 TZ=UTC CUPS_SERVER=/nonexistent/vantrel-tests/cups.sock \
    DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
    ${VANTREL_BUS_VERBOSE:+VANTREL_BUS_VERBOSE=1} \
    dbus-run-session -- "$python" -B "$here/screen_reader_walk.py" "$app" "$work" 2>&1 |
    grep -v -e "Failed to set fd limit" -e "Activating service name" -e "Successfully activated service" \
        -e "SpiRegistry daemon is running"
