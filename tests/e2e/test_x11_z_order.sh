#!/bin/bash
# Always-on-top through a real X window manager: Xvfb, openbox, the two
# windows of qt_zorder_probe and an xterm standing for another program.
# Usage: test_x11_z_order.sh BUILD_DIR
set -u
BUILD=${1:?usage: $0 BUILD_DIR}
PROBE=$BUILD/qt_zorder_probe
WORK=$(mktemp -d /tmp/fhsw-zorder.XXXXXX)
pids=()

cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    local f
    for f in xvfb openbox probe; do
        [ -s "$WORK/$f.log" ] && sed "s/^/$f: /" "$WORK/$f.log" | tail -20
    done
    exit 1
}

[ -x "$PROBE" ] || fail "no probe at $PROBE"
for tool in Xvfb openbox xprop xdotool wmctrl xdpyinfo xterm; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done

# A display number of our own.
DISP=
for n in 71 72 73 74 75 76 77 78 79; do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then DISP=":$n"; break; fi
done
[ -n "$DISP" ] || fail "no free display number"
export DISPLAY=$DISP

timeout 150 Xvfb "$DISP" -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
xvfb_pid=$!
pids+=($xvfb_pid)
for _ in $(seq 100); do timeout 2 xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
timeout 2 xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $DISP"
sleep 0.2
# The server that answered must be ours, not another one that took the number.
kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb on $DISP ended at once (display taken?)"

timeout 140 openbox >"$WORK/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do
    timeout 2 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
timeout 2 xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

coproc PROBE_IO { QT_QPA_PLATFORM=xcb timeout 120 "$PROBE" 2>"$WORK/probe.log"; }
pids+=($PROBE_IO_PID)
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
activate() { timeout 10 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || fail "cannot activate $1"; }

IFS= read -r -t 30 reply <&"$PROBE_OUT" || fail "probe did not start"
[ "$reply" = "ready xcb" ] || fail "probe says '$reply'"

ask ids
read -r _ A _ B <<<"$reply"
[ "${A:-0}" != 0 ] && [ "${B:-0}" != 0 ] || fail "window ids: '$reply'"
echo "probe windows: A=$A B=$B on $DISP"

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
timeout 100 xterm -geometry 30x4+500+400 -title fhsw-other -e sleep 90 >/dev/null 2>&1 &
pids+=($!)
X=$(timeout 15 xdotool search --sync --onlyvisible --name '^fhsw-other$' 2>/dev/null | head -1)
[ -n "$X" ] || fail "xterm did not appear"
timeout 5 wmctrl -i -r "$X" -b add,above || fail "wmctrl could not raise the xterm"
expect_above "$X" yes "xterm put on top by wmctrl"
activate "$X"
ask fg
[ "$reply" = "$X" ] || fail "foreground is '$reply', expected the xterm $X"

# One always-on-top step: the foreground window leaves the band, A enters it.
ask raise
expect_above "$X" no "foreign window demoted"
expect_above "$A" yes "A promoted over the foreign window"

# With A itself in the foreground the step does nothing.
ask "untop A"
expect_above "$A" no "A reset"
activate "$A"
ask fg
[ "$reply" = "$A" ] || fail "foreground is '$reply', expected A $A"
ask raise
sleep 0.3
expect_above "$A" no "no change while A is in the foreground"

# The probe closes its windows and ends cleanly.
probe_pid=$PROBE_IO_PID
echo quit >&"$PROBE_IN"
for _ in $(seq 50); do kill -0 "$probe_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$probe_pid" 2>/dev/null && fail "probe did not end after quit"
wait "$probe_pid"
status=$?
[ "$status" = 0 ] || fail "probe ended with status $status"
echo "PASS: X11 always-on-top"
exit 0
