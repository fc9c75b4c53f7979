# Shared helpers of the end-to-end tests (also of tests/windows/e2e_win32.sh,
# bench/ and scripts/screenshots.sh). Source it after setting E2E_NAME:
#
#   E2E_NAME=unattended; . "$(dirname "$0")/lib.sh" "$@"
#
# It takes the build folder as $1, makes a work folder, and installs a trap
# that stops every process started through e2e_bg (by its id, nothing else)
# and removes the work folder. Every process gets a bounded lifetime.
# Set E2E_KEEP=1 to keep the work folder for a look afterwards.
set -u

E2E_BUILD=$(cd "${1:?usage: $0 BUILD_DIR}" 2>/dev/null && pwd) || {
    echo "FAIL: no build folder '$1'"
    exit 1
}
E2E_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_WORK=$(mktemp -d "/tmp/fhsw-e2e-${E2E_NAME:-test}.XXXXXX")
E2E_PIDS=()
E2E_LOGS=() # shown when a check fails
E2E_T0=$(date +%s.%N)

# Each process runs under `timeout -k 3`, which passes the signal on to the
# whole group it started and kills what is left 3 s later.
e2e_cleanup() {
    local p
    for p in "${E2E_PIDS[@]}"; do kill -TERM "$p" 2>/dev/null; done
    for p in "${E2E_PIDS[@]}"; do wait "$p" 2>/dev/null; done
    if [ "${E2E_KEEP:-0}" = 1 ]; then
        echo "work folder kept: $E2E_WORK"
    else
        rm -rf "$E2E_WORK"
    fi
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

log() { printf '[%6.2fs] %s\n' "$(e2e_calc "$(date +%s.%N) - $E2E_T0")" "$*"; }

fail() {
    echo "FAIL: $*"
    local f
    for f in "${E2E_LOGS[@]}"; do
        [ -s "$f" ] || continue
        echo "---- ${f#"$E2E_WORK"/} (last lines)"
        tail -25 "$f"
    done
    exit 1
}

e2e_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
    done
}

# e2e_calc EXPR: floating-point arithmetic; a comparison gives 1.000 or 0.000.
e2e_calc() { awk "BEGIN { printf \"%.3f\", ($*) }" </dev/null; }

# e2e_median: the median of the numbers on standard input, one a line.
e2e_median() {
    sort -n | awk '{ a[NR] = $1 }
        END { if (NR % 2) print a[(NR + 1) / 2]; else printf "%.1f\n", (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

# e2e_until SECONDS WHAT COMMAND...: runs COMMAND until it succeeds; fails
# saying WHAT once SECONDS have passed.
e2e_until() {
    local end=$(($(date +%s) + $1)) what=$2
    shift 2
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || fail "$what"
        sleep 0.05
    done
}

# e2e_not COMMAND...: succeeds when COMMAND fails; its output goes nowhere.
e2e_not() { ! "$@" >/dev/null 2>&1; }

# e2e_bg NAME SECONDS COMMAND...: runs COMMAND in the background for at most
# SECONDS, output in $E2E_WORK/NAME.log; its id is left in E2E_LAST_PID.
e2e_bg() {
    local name=$1 secs=$2
    shift 2
    timeout -k 3 "$secs" "$@" >"$E2E_WORK/$name.log" 2>&1 </dev/null &
    E2E_LAST_PID=$!
    E2E_PIDS+=("$E2E_LAST_PID")
    E2E_LOGS+=("$E2E_WORK/$name.log")
}

# e2e_wait_exit PID SECONDS [STATUS]: waits for a process started by e2e_bg
# to end; its status is left in E2E_RC (124 when its lifetime ran out), the
# moment it ended in E2E_EXIT_AT. Fails if it outlives SECONDS, or if it
# ends with another status than STATUS when that is given.
e2e_wait_exit() {
    local i
    e2e_until "$2" "process $1 still running after $2 s" e2e_not kill -0 "$1"
    E2E_EXIT_AT=$(date +%s.%N)
    wait "$1"
    E2E_RC=$?
    # Waited for: that id is never signalled again.
    for i in "${!E2E_PIDS[@]}"; do [ "${E2E_PIDS[i]}" != "$1" ] || unset "E2E_PIDS[i]"; done
    [ -z "${3:-}" ] || [ "$E2E_RC" = "$3" ] ||
        fail "process $1 ended with status $E2E_RC, not $3 (124: its lifetime ran out)"
}

# ---- X display -------------------------------------------------------------

# Starts Xvfb on a display number that it picks itself (-displayfd: the
# first one whose lock file and sockets are free, so servers started at the
# same moment never take the same one), then openbox. Exports DISPLAY.
e2e_start_x() {
    local secs=${1:-240} n= pid
    unset DISPLAY
    e2e_need Xvfb openbox xdotool xprop xdpyinfo xwininfo
    : >"$E2E_WORK/xvfb.display"
    timeout -k 3 "$secs" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$E2E_WORK/xvfb.display" >"$E2E_WORK/xvfb.log" 2>&1 </dev/null &
    pid=$!
    E2E_PIDS+=("$pid")
    E2E_LOGS+=("$E2E_WORK/xvfb.log")
    # The number comes as one line once the server takes connections.
    for _ in $(seq 200); do
        read -r n <"$E2E_WORK/xvfb.display" && [[ $n =~ ^[0-9]+$ ]] && break
        n=
        kill -0 "$pid" 2>/dev/null || fail "Xvfb ended before it took a display"
        sleep 0.05
    done
    [ -n "$n" ] || fail "Xvfb named no display within 10 s"
    export DISPLAY=":$n"
    timeout 5 xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
    e2e_bg openbox "$secs" openbox
    e2e_until 20 "openbox did not start on $DISPLAY" eval \
        'timeout 2 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
    log "X server $DISPLAY with openbox"
}

# e2e_title_re TITLE: a pattern that matches exactly TITLE.
e2e_title_re() { printf '^%s$' "$(sed 's/[][\.*^$()+?{}|]/\\&/g' <<<"$1")"; }

# e2e_find_window TITLE [SECONDS]: prints the id of the visible window whose
# title is exactly TITLE; fails if none appears in time.
e2e_find_window() {
    local id
    id=$(timeout "${2:-20}" xdotool search --sync --onlyvisible --name "$(e2e_title_re "$1")" 2>/dev/null | head -1)
    [ -n "$id" ] || fail "no window titled '$1' within ${2:-20}s"
    echo "$id"
}

# e2e_window_gone TITLE [SECONDS]: fails if a visible window titled TITLE
# is still there after SECONDS.
e2e_window_gone() {
    e2e_until "${2:-10}" "window '$1' still open after ${2:-10}s" \
        e2e_not timeout 5 xdotool search --onlyvisible --name "$(e2e_title_re "$1")"
}

# e2e_frame_origin WIN: sets E2E_X, E2E_Y (root position of the client
# area's top-left corner) and E2E_W, E2E_H (client size), and E2E_FX, E2E_FY
# to the top-left corner of the window's frame (the decoration that the
# window manager adds) and E2E_FW, E2E_FH to its size, in pixels.
e2e_frame_origin() {
    local l r t b
    # xwininfo, not "xdotool getwindowgeometry": under a reparenting window
    # manager the latter counts the frame twice.
    read -r E2E_X E2E_Y E2E_W E2E_H < <(timeout 5 xwininfo -id "$1" 2>/dev/null | awk -F: '
        /Absolute upper-left X/ { x = $2 } /Absolute upper-left Y/ { y = $2 }
        /^ *Width/ { w = $2 } /^ *Height/ { h = $2 } END { print x, y, w, h }')
    [ -n "${E2E_H:-}" ] || fail "cannot read the geometry of window $1"
    IFS=', ' read -r l r t b < <(timeout 5 xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p')
    E2E_FX=$((E2E_X - ${l:-0})) E2E_FY=$((E2E_Y - ${t:-0}))
    E2E_FW=$((E2E_W + ${l:-0} + ${r:-0})) E2E_FH=$((E2E_H + ${t:-0} + ${b:-0}))
}

# e2e_click WIN LEFT TOP WIDTH HEIGHT: activates the window and clicks the
# middle of a control placed at that rectangle (twips) in its client area.
e2e_click() {
    e2e_activate "$1"
    e2e_click_at "$@"
}

# e2e_click_at: the same without activating the window first (for a window
# that a modal dialog keeps from being activated).
e2e_click_at() {
    local x=$((($2 + $4 / 2) / 15)) y=$((($3 + $5 / 2) / 15))
    # No --sync: it waits for motion, and there is none when the pointer is
    # already there.
    timeout 10 xdotool mousemove --window "$1" "$x" "$y" sleep 0.1 click 1 ||
        fail "cannot click at $x,$y in window $1"
}

e2e_activate() {
    timeout 10 xdotool windowactivate --sync "$1" >/dev/null 2>&1 ||
        timeout 10 xdotool windowfocus --sync "$1" >/dev/null 2>&1 ||
        fail "cannot activate window $1"
}

# e2e_key WIN KEY...: sends keys to the window after activating it. xdotool
# releases each key after pressing it; the modifiers are cleared first so that
# none stays held from an earlier step.
e2e_key() {
    local win=$1
    shift
    e2e_activate "$win"
    timeout 10 xdotool keyup shift ctrl alt super 2>/dev/null
    timeout 10 xdotool key --clearmodifiers --delay 30 "$@" || fail "cannot send keys $* to $win"
}

# e2e_type WIN TEXT: types TEXT into the focused field of the window.
e2e_type() {
    e2e_activate "$1"
    timeout 30 xdotool type --clearmodifiers --delay 15 -- "$2" || fail "cannot type into $1"
}

# e2e_move WIN X Y: moves a window and waits until the move is done; the
# frame's new top-left corner is left in E2E_FX, E2E_FY.
e2e_move() {
    timeout 10 xdotool windowmove --sync "$1" "$2" "$3" >/dev/null 2>&1 ||
        timeout 10 xdotool windowmove "$1" "$2" "$3" || fail "cannot move window $1"
    sleep 0.5
    e2e_frame_origin "$1"
}

# e2e_shot WIN FILE: a picture of the window with its frame, cut out of the
# whole screen.
e2e_shot() {
    e2e_need import convert
    e2e_frame_origin "$1"
    timeout 20 import -window root "$E2E_WORK/screen.png" || fail "cannot take a screenshot"
    timeout 20 convert "$E2E_WORK/screen.png" -crop "${E2E_FW}x${E2E_FH}+${E2E_FX}+${E2E_FY}" +repage "$2" ||
        fail "cannot crop the screenshot"
}

# ---- Mail ------------------------------------------------------------------

# e2e_start_sink NAME [sink options...]: starts the loopback SMTP server with
# its messages in $E2E_WORK/NAME; its port is left in E2E_PORT.
e2e_start_sink() {
    local name=$1
    shift
    mkdir -p "$E2E_WORK/$name"
    e2e_bg "$name-sink" 240 /usr/bin/python3 "$E2E_SRC/scripts/smtp_sink.py" "$E2E_WORK/$name" \
        --lifetime 230 "$@"
    e2e_until 15 "the SMTP sink $name did not start" test -s "$E2E_WORK/$name/port"
    E2E_PORT=$(cat "$E2E_WORK/$name/port")
    log "SMTP sink $name on 127.0.0.1:$E2E_PORT $*"
}

e2e_mail_count() { find "$1" -name '*.json' | wc -l; }
e2e_has_mail() { [ "$(e2e_mail_count "$1")" -ge "$2" ]; }

# e2e_wait_mail DIR COUNT SECONDS: waits for COUNT messages in DIR.
e2e_wait_mail() { e2e_until "$3" "no message $2 in $1 within $3s" e2e_has_mail "$1" "$2"; }

# e2e_mail DIR N CONDITION... [-- ARG...]: message N in DIR meets every
# CONDITION, a Python expression over env (the envelope: mail_from,
# rcpt_tos, login, time), m (the parsed mail), raw (its bytes), lines (its
# plain-text body, trailing blank lines left out) and want (the ARGs).
e2e_mail() {
    /usr/bin/python3 - "$@" <<'PY' || fail "message $2 in $1 is not as expected"
import email, json, sys
from email import policy
args = sys.argv[3:]
conds, want = (args[:args.index("--")], args[args.index("--") + 1:]) if "--" in args else (args, [])
base = "%s/%03d" % (sys.argv[1], int(sys.argv[2]))
env = json.load(open(base + ".json"))
raw = open(base + ".eml", "rb").read()
m = email.message_from_bytes(raw, policy=policy.default)
lines = [l.rstrip("\r") for l in m.get_body(("plain",)).get_content().splitlines()]
while lines and lines[-1] == "":
    lines.pop()
for cond in conds:
    if not eval(cond):
        sys.exit("not so: %s\n  envelope %r\n  subject %r, body %r" % (cond, env, str(m["Subject"]), lines))
PY
}

# ---- The program -----------------------------------------------------------

# e2e_install_folder NAME: a folder holding SendEmail.exe (the real mail
# client); path in E2E_HOME.
e2e_install_folder() {
    E2E_HOME="$E2E_WORK/$1"
    mkdir -p "$E2E_HOME"
    [ -x /usr/bin/sendemail ] || fail "/usr/bin/sendemail is not installed"
    ln -s /usr/bin/sendemail "$E2E_HOME/SendEmail.exe"
    E2E_LOGS+=("$E2E_HOME/SENDEMAIL-LOG.txt")
}

# e2e_program NAME: copies the program (and its runner next to it) under the
# file name NAME; path in E2E_PROG. The profile is the file name.
e2e_program() {
    local bin="$E2E_WORK/bin"
    mkdir -p "$bin"
    [ -x "$E2E_BUILD/fh-sendwarden" ] && [ -x "$E2E_BUILD/fh-sendwarden-run" ] ||
        fail "no program or runner in $E2E_BUILD"
    [ -e "$bin/fh-sendwarden-run" ] || cp "$E2E_BUILD/fh-sendwarden-run" "$bin/"
    cp "$E2E_BUILD/fh-sendwarden" "$bin/$1"
    E2E_PROG="$bin/$1"
}

# Settings live in the work folder, never in the user's own.
export XDG_CONFIG_HOME="$E2E_WORK/config"
mkdir -p "$XDG_CONFIG_HOME"
export XDG_RUNTIME_DIR="$E2E_WORK/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
E2E_INI="$XDG_CONFIG_HOME/FH_SENDWARDEN.ini"

# e2e_setup PROFILE CONTROL=VALUE...: fills in and saves a Profile.
e2e_setup() {
    timeout 30 "$E2E_BUILD/fh-sendwarden-setup" "$@" >"$E2E_WORK/setup.log" 2>&1 </dev/null ||
        fail "fh-sendwarden-setup $1 failed: $(cat "$E2E_WORK/setup.log")"
}

# e2e_unattended_profile NAME PORT [CONTROL=VALUE...]: a Profile that sends
# from the install folder E2E_HOME to the sink on PORT when it starts, and
# closes itself afterwards.
e2e_unattended_profile() {
    local name=$1 port=$2
    shift 2
    e2e_setup "$name" "INSTALL_FOLDER_TEXTBOX=$E2E_HOME" \
        SEND_FROM_ADDRESS_TEXTBOX=backup@example.org SEND_TO_ADDRESS_TEXTBOX=ops@example.org \
        "SUBJECT_TEXTBOX=$name run" "MESSAGE_TEXTBOX=Sent by $name" \
        "SMTP_SERVER_ADDRESS_PORT_TEXTBOX=127.0.0.1:$port" \
        AUTOSTART_TICKBOX=1 AUTOCLOSE_TICKBOX=1 P4P_TICKBOX=1 SE_EXE_OUTPUT_WINDOW_TICKBOX=0 "$@"
}

# e2e_runner_send NAME PORT [CONTROL=VALUE...]: saves a Profile that sends from
# its own install folder (E2E_HOME) to team@example.org through the server on
# PORT, and starts its runner script with fh-sendwarden-run (id in
# E2E_LAST_PID).
e2e_runner_send() {
    local name=$1 port=$2
    shift 2
    e2e_install_folder "$name"
    e2e_setup "$name" "INSTALL_FOLDER_TEXTBOX=$E2E_HOME" SEND_FROM_ADDRESS_TEXTBOX=desk@example.org \
        SEND_TO_ADDRESS_TEXTBOX=team@example.org "SUBJECT_TEXTBOX=$name" \
        "SMTP_SERVER_ADDRESS_PORT_TEXTBOX=127.0.0.1:$port" "$@"
    e2e_bg "$name-run" 60 "$E2E_BUILD/fh-sendwarden-run" "$E2E_HOME/SENDEMAIL-RUNNER.BAT"
}

# e2e_run NAME SECONDS [ENV=VALUE...]: starts the installed program NAME; its
# stderr (the status lines) in $E2E_WORK/NAME.log, id in E2E_LAST_PID, start
# time in E2E_START_AT.
e2e_run() {
    local name=$1 secs=$2
    shift 2
    E2E_START_AT=$(date +%s.%N)
    e2e_bg "$name" "$secs" env "$@" "$E2E_WORK/bin/$name"
}

# e2e_status_lines NAME: the status texts the program NAME has shown so far.
e2e_status_lines() {
    sed -n "s/^[0-9-]* [0-9:.]* fh-sendwarden\[$1\]: //p" "$E2E_WORK/$1.log"
}

# e2e_shows NAME TEXT [COUNT]: program NAME has shown TEXT (COUNT times).
e2e_shows() { [ "$(e2e_status_lines "$1" | grep -cxF -- "$2")" -ge "${3:-1}" ]; }

# e2e_wait_status NAME TEXT SECONDS [COUNT]: waits until program NAME has
# shown TEXT (COUNT times).
e2e_wait_status() {
    e2e_until "$3" "$1 did not show '$2' ${4:-1} time(s) within $3 s" e2e_shows "$1" "$2" "${4:-1}"
}

# e2e_status_time NAME TEXT: seconds since the epoch at which program NAME
# first showed TEXT.
e2e_status_time() {
    local stamp
    stamp=$(awk -v t="fh-sendwarden[$1]: $2" 'substr($0, length($1 $2) + 3) == t { print $1 " " $2; exit }' \
        "$E2E_WORK/$1.log")
    [ -n "$stamp" ] || fail "$1 never showed '$2'"
    date -d "$stamp" +%s.%N
}

# e2e_ini_value SECTION KEY: the value stored in the settings file ("" and
# status 1 when absent).
e2e_ini_value() {
    awk -v sec="[$1]" -v key="$2" '
        /^\[/ { inside = ($0 == sec); next }
        inside { i = index($0, "="); if (i && substr($0, 1, i - 1) == key) { print substr($0, i + 1); found = 1; exit } }
        END { exit !found }' "$E2E_INI" 2>/dev/null
}

# e2e_expect_stored_pos PROFILE PREFIX FX FY: "PREFIX-Left"/"PREFIX-Top" hold
# the frame position FX, FY (pixels) in twips, to within a pixel and a half.
e2e_expect_stored_pos() {
    local left top
    left=$(e2e_ini_value "$1" "$2-Left") && top=$(e2e_ini_value "$1" "$2-Top") ||
        fail "no $2-Left and $2-Top stored under [$1]"
    [ "$(e2e_calc "($left - $3 * 15) ^ 2 <= 484 && ($top - $4 * 15) ^ 2 <= 484")" = 1.000 ] ||
        fail "$2 stored at $left,$top twips; its frame is at $3,$4 px = $(($3 * 15)),$(($4 * 15)) twips"
}
