# Sourced by the tests that run the application on an X server of their own. Starts Xvfb with
# the screen size given on a display nobody else uses (the server picks a free number and
# writes it back) and sets xvfb_pid and display; calls the sourcing script's skip where the
# server cannot start. Needs $work, the test's own folder.
#
#   start_private_display 1280x800
start_private_display() {
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -s "$work/display" ] || skip "Xvfb did not start: $(tail -n 3 "$work/xvfb.log")"
    display=":$(head -n 1 "$work/display")"
}
