#!/usr/bin/env bash
# Runs printer tests against a CUPS scheduler of their own: cupsd with a cups-pdf queue whose
# default paper is A4, all in a private temporary folder (configuration, spool, logs, the PDFs
# printed, a socket of its own). It runs in mount and process namespaces of its own, with a
# private folder over /etc/cups, so neither the scheduler, lpadmin nor the cups-pdf backend
# reads or writes the machine's printing setup; the scheduler ends with the script.
#
#   private_cups.sh queue   APP_TESTS  the chart prints on its own paper on the A4 queue; the
#                                      scheduler is stopped and resumed (SIGSTOP) by one test
#   private_cups.sh machine APP_TESTS  the printer tests, with this scheduler and its default
#                                      queue standing in for the machine's, send it nothing
#
# Exits 77 (skipped) where such a scheduler cannot start.
set -euo pipefail

skip() {
    echo "SKIPPED: no private CUPS scheduler here: $*"
    exit 77
}

mode="$1"
tests="$2"

if [ "${VANTREL_PRIVATE_CUPS_INSIDE:-}" != 1 ]; then
    [ "$(id -u)" -eq 0 ] || skip "the cups-pdf backend and the namespaces need root"
    for tool in cupsd lpadmin lpstat cupsreject unshare; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
    done
    [ -x /usr/lib/cups/backend/cups-pdf ] || skip "printer-driver-cups-pdf is not installed"
    [ -f /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd ] || skip "the cups-pdf PPD is missing"
    unshare --mount --pid --fork --kill-child --propagation private --mount-proc true 2>/dev/null \
        || skip "no mount and process namespaces"
    # Everything below runs in the namespaces; when it ends, every process in them ends too.
    # /proc of their own: a program's /proc/<pid> must be its own (LeakSanitizer reads it).
    exec env VANTREL_PRIVATE_CUPS_INSIDE=1 unshare --mount --pid --fork --kill-child --propagation private --mount-proc \
        bash "$0" "$@"
fi

root="$(mktemp -d /tmp/vantrel-cups-XXXXXX)"
chmod 755 "$root"
cleanup() {
    [ -n "${cupsd_pid:-}" ] && kill "$cupsd_pid" 2>/dev/null && wait "$cupsd_pid" 2>/dev/null || true
    umount /etc/cups 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

etc="$root/etc"
mkdir -p "$etc/ppd" "$etc/ssl" "$root/spool/tmp" "$root/state" "$root/cache" "$root/log" "$root/out" \
    "$root/pdf-spool"
chmod 755 "$etc" "$root/out"
chgrp lp "$root/spool" "$root/spool/tmp" 2>/dev/null || true
chmod 1770 "$root/spool/tmp"
chmod 710 "$root/spool"
socket="$root/cups.sock"

cat >"$etc/cups-files.conf" <<EOF
ServerRoot $etc
RequestRoot $root/spool
TempDir $root/spool/tmp
StateDir $root/state
CacheDir $root/cache
ErrorLog $root/log/error_log
AccessLog $root/log/access_log
PageLog $root/log/page_log
FileDevice No
EOF
cat >"$etc/cupsd.conf" <<EOF
LogLevel info
Listen $socket
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType Basic
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat >"$etc/cups-pdf.conf" <<EOF
Out $root/out
AnonDirName $root/out
Spool $root/pdf-spool
Log $root/log
Grp root
Label 0
EOF
: >"$etc/client.conf"

# From here on, /etc/cups is this folder for every process of the namespace.
mount --bind "$etc" /etc/cups

export CUPS_SERVER="$socket"
cupsd -f -c "$etc/cupsd.conf" -s "$etc/cups-files.conf" &
cupsd_pid=$!
for _ in $(seq 1 100); do
    [ -S "$socket" ] && lpstat -r 2>/dev/null | grep -q "is running" && break
    sleep 0.1
done
lpstat -r 2>/dev/null | grep -q "is running" || { cat "$root/log/error_log" 2>/dev/null || true; skip "cupsd did not start"; }

# The A4 queue, one without Tabloid paper or custom sizes, one that takes no jobs (saying why),
# and a raw one.
# Rendered for the printer by poppler's pdftocairo, the printed PDF keeps its text readable
# (ghostscript's PostScript leaves glyphs without their letters), so it can be compared.
lpadmin -p VantrelA4 -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd -o PageSize=A4 \
    -o pdftops-renderer-default=pdftocairo 2>&1 | grep -v "drivers are deprecated" || true
awk '/^\*CustomPageSize True/ { custom = 1 } custom { if (/^\*End/) custom = 0; next }
     /^\*(PageSize|PageRegion|ImageableArea|PaperDimension) (Tabloid|11x17|AnsiB)\// { next }
     /CustomPageSize|VariablePaperSize|MaxMedia/ { next } { print }' \
    /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd >"$root/no-tabloid.ppd"
lpadmin -p VantrelNoTabloid -E -v cups-pdf:/ -P "$root/no-tabloid.ppd" -o PageSize=A4 2>&1 | grep -v "drivers are deprecated" || true
lpadmin -p VantrelRefusing -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>&1 \
    | grep -v "drivers are deprecated" || true
cupsreject -r "Out of toner, call Ext. 4410" VantrelRefusing
# A raw queue: it lists no papers at all.
lpadmin -p VantrelRaw -E -v cups-pdf:/ 2>&1 | grep -v "deprecated" || true
lpadmin -d VantrelA4

case "$mode" in
queue)
    output="$root/gtest.txt"
    VANTREL_TEST_CUPS_SERVER="$socket" VANTREL_TEST_CUPS_QUEUE=VantrelA4 \
        VANTREL_TEST_CUPS_NARROW_QUEUE=VantrelNoTabloid VANTREL_TEST_CUPS_REFUSING_QUEUE=VantrelRefusing \
        VANTREL_TEST_CUPS_RAW_QUEUE=VantrelRaw \
        VANTREL_TEST_CUPS_OUTPUT="$root/out" VANTREL_TEST_CUPS_PID="$cupsd_pid" \
        "$tests" --gtest_filter='CupsQueue.*' | tee "$output"
    # Set up for it, the test must have run.
    if grep -q '^\[  SKIPPED' "$output"; then
        echo "FAILED: the queue test skipped beside a running scheduler"
        exit 1
    fi
    ;;
machine)
    # The scheduler and its default queue stand where the machine's would be.
    "$tests" --gtest_filter='ChartPrinter*:ChartPrintSheet*:PrintSheet*'
    jobs="$(lpstat -W all -o 2>/dev/null || true)"
    printed="$(ls -A "$root/out")"
    if [ -n "$jobs" ] || [ -n "$printed" ]; then
        echo "FAILED: the tests sent jobs to the machine's default printer:"
        echo "$jobs"
        echo "$printed"
        exit 1
    fi
    echo "No job reached the scheduler."
    ;;
*)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
