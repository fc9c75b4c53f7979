#!/bin/bash
# Always-on-top through a real X window manager: Xvfb, openbox, the two
# windows of qt_zorder_probe and an xterm standing for another program.
# Usage: test_x11_z_order.sh BUILD_DIR
E2E_NAME=zorder
. "$(dirname "$0")/lib.sh" "$@"
PROBE=$E2E_BUILD/qt_zorder_probe
[ -x "$PROBE" ] || fail "no probe at $PROBE"
e2e_need wmctrl xterm
e2e_start_x 150
E2E_LOGS+=("$E2E_WORK/probe.log")

coproc PROBE_IO { QT_QPA_PLATFORM=xcb timeout 120 "$PROBE" 2>"$E2E_WORK/probe.log"; }
E2E_PIDS+=("$PROBE_IO_PID")
PROBE_IN=${PROBE_IO[1]}
PROBE_OUT=${PROBE_IO[0]}

reply=
ask() {
    echo "$1" >&"$PROBE_IN" || fail "probe gone before '$1'"
    IFS= read -r -t 15 reply <&"$PROBE_OUT" || fail "no answer to '$1'"
}
above() { timeout 5 xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_ABOVE; }
# Waits up to 3 s for window $1 to be (yes) or not be (no) in the top band.
expect_above() {
    local id=$1 want=$2 what=$3
    for _ in $(seq 30); do
        if above "$id"; then [ "$want" = yes ] && return 0; else [ "$want" = no ] && return 0; fi
        sleep 0.1
    done
    fail "$what: expected above=$want, _NET_WM_STATE is: $(timeout 5 xprop -id "$id" _NET_WM_STATE)"
}

IFS= read -r -t 30 reply <&"$PROBE_OUT" || fail "probe did not start"
[ "$reply" = "ready xcb" ] || fail "probe says '$reply'"

ask ids
read -r _ A _ B <<<"$reply"
[ "${A:-0}" != 0 ] && [ "${B:-0}" != 0 ] || fail "window ids: '$reply'"
log "probe windows: A=$A B=$B"

# Showing the windows under a window manager does not move them in the model.
ask "pos A"
[ "$reply" = "1500 1500" ] || fail "window A's model position drifted to '$reply'"

expect_above "$A" no "A at start"
expect_above "$B" no "B at start"

ask "top B"
expect_above "$B" yes "B put on top"
expect_above "$A" no "A untouched"

ask "top A"
ask "untop B"
expect_above "$A" yes "A put on top"
expect_above "$B" no "B taken out of the top band"

ask "untop A"
expect_above "$A" no "A taken out of the top band"

# Another program's window, itself always on top, in the foreground.
e2e_bg xterm 100 xterm -geometry 30x4+500+400 -title fhsw-other -e sleep 90
X=$(timeout 15 xdotool search --sync --onlyvisible --name '^fhsw-other$' 2>/dev/null | head -1)
[ -n "$X" ] || fail "xterm did not appear"
timeout 5 wmctrl -i -r "$X" -b add,above || fail "wmctrl could not raise the xterm"
expect_above "$X" yes "xterm put on top by wmctrl"
e2e_activate "$X"
ask fg
[ "$reply" = "$X" ] || fail "foreground is '$reply', expected the xterm $X"

# One always-on-top step: the foreground window leaves the band, A enters it.
ask raise
expect_above "$X" no "foreign window demoted"
expect_above "$A" yes "A promoted over the foreign window"

# With A itself in the foreground the step does nothing.
ask "untop A"
expect_above "$A" no "A reset"
e2e_activate "$A"
ask fg
[ "$reply" = "$A" ] || fail "foreground is '$reply', expected A $A"
ask raise
sleep 0.3
expect_above "$A" no "no change while A is in the foreground"

# The probe closes its windows and ends cleanly.
probe_pid=$PROBE_IO_PID
echo quit >&"$PROBE_IN"
e2e_wait_exit "$probe_pid" 5
[ "$E2E_RC" = 0 ] || fail "probe ended with status $E2E_RC"
echo "PASS: X11 always-on-top"
exit 0
