#!/usr/bin/env bash
# Places the application's windows where a window manager frames them: on a private 1280 × 800
# X server under openbox, runs the FramedWindows tests of app_tests at scales 1, 1.75 and 2.
# Hermetic as the test program is. Exits 77 (skipped) where the X server or the window manager
# cannot start.
#
#   framed_windows.sh APP_TESTS
set -euo pipefail

skip() {
    echo "SKIPPED: no framed desktop here: $*"
    exit 77
}

tests="$1"
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done

work="$(mktemp -d /tmp/vantrel-framed-XXXXXX)"
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../private_display.sh"
start_private_display 1280x800

# The window manager with no settings of the user's.
mkdir -p "$work/home/config" "$work/home/runtime"
chmod 700 "$work/home/runtime"
env -i PATH="$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_RUNTIME_DIR="$work/home/runtime" \
    XDG_CONFIG_DIRS="$work/home/config-dirs" DISPLAY="$display" openbox >"$work/wm.log" 2>&1 &
wm_pid=$!
# Ready once it announces its desktops on the root window.
for _ in $(seq 1 100); do
    DISPLAY="$display" xdotool get_num_desktops >/dev/null 2>&1 && break
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.1
done
DISPLAY="$display" xdotool get_num_desktops >/dev/null 2>&1 || skip "openbox did not start: $(tail -n 3 "$work/wm.log")"

status=0
for scale in 1 1.75 2; do
    echo "== scale $scale"
    DISPLAY="$display" QT_QPA_PLATFORM=xcb VANTREL_TEST_SCALE_FACTOR="$scale" VANTREL_FRAMED_DESKTOP=1 \
        "$tests" --gtest_filter='FramedWindows.*' --gtest_brief=1 || status=1
done
exit "$status"
