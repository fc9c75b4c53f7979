# Shared helpers of the end-to-end tests. Source it after setting E2E_NAME:
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
E2E_LOGS=()          # logs shown when a check fails
E2E_DISPLAY_LOG=     # Xvfb's own log
E2E_LAST_PID=
E2E_T0=$(date +%s.%N)

e2e_cleanup() {
    local p
    for p in "${E2E_PIDS[@]}"; do kill -TERM "$p" 2>/dev/null; done
    for _ in $(seq 30); do
        local alive=0
        for p in "${E2E_PIDS[@]}"; do kill -0 "$p" 2>/dev/null && alive=1; done
        [ "$alive" = 0 ] && break
        sleep 0.1
    done
    for p in "${E2E_PIDS[@]}"; do kill -KILL "$p" 2>/dev/null; done
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
        if [ -s "$f" ]; then
            echo "---- ${f#"$E2E_WORK"/} (last lines)"
            tail -25 "$f"
        fi
    done
    exit 1
}

e2e_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
    done
}

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

# e2e_forget PID: the process was waited for; never signal that id again.
e2e_forget() {
    local p keep=()
    for p in "${E2E_PIDS[@]}"; do [ "$p" = "$1" ] || keep+=("$p"); done
    E2E_PIDS=("${keep[@]}")
}

# e2e_wait_exit PID SECONDS: waits for a process started by e2e_bg to end;
# its status is left in E2E_RC (124 when its lifetime ran out), the moment it
# ended in E2E_EXIT_AT (seconds since the epoch). Fails if it outlives SECONDS.
e2e_wait_exit() {
    local pid=$1 secs=$2 end
    end=$(($(date +%s) + secs))
    while kill -0 "$pid" 2>/dev/null; do
        [ "$(date +%s)" -lt "$end" ] || fail "process $pid still running after ${secs}s"
        sleep 0.05
    done
    E2E_EXIT_AT=$(date +%s.%N)
    wait "$pid"
    E2E_RC=$?
    e2e_forget "$pid"
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
    for _ in $(seq 200); do
        timeout 2 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    timeout 2 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
        fail "openbox did not start on $DISPLAY"
    log "X server $DISPLAY with openbox"
}

# e2e_find_window TITLE [SECONDS]: prints the id of the visible window whose
# title is exactly TITLE; fails if none appears in time.
e2e_find_window() {
    local title=$1 secs=${2:-20} re id
    re="^$(printf '%s' "$title" | sed 's/[][\.*^$()+?{}|]/\\&/g')\$"
    id=$(timeout "$secs" xdotool search --sync --onlyvisible --name "$re" 2>/dev/null | head -1)
    [ -n "$id" ] || fail "no window titled '$title' within ${secs}s"
    echo "$id"
}

# e2e_window_gone TITLE [SECONDS]: fails if a visible window titled TITLE
# is still there after SECONDS.
e2e_window_gone() {
    local title=$1 secs=${2:-10} re end
    re="^$(printf '%s' "$title" | sed 's/[][\.*^$()+?{}|]/\\&/g')\$"
    end=$(($(date +%s) + secs))
    while timeout 5 xdotool search --onlyvisible --name "$re" >/dev/null 2>&1; do
        [ "$(date +%s)" -lt "$end" ] || fail "window '$title' still open after ${secs}s"
        sleep 0.1
    done
}

# e2e_client_origin WIN: sets E2E_X, E2E_Y (root position of the client
# area's top-left corner) and E2E_W, E2E_H (client size) in pixels.
e2e_client_origin() {
    local out
    # xwininfo, not "xdotool getwindowgeometry": under a reparenting window
    # manager the latter counts the frame twice.
    out=$(timeout 5 xwininfo -id "$1" 2>/dev/null) || fail "no geometry for window $1"
    E2E_X=$(sed -n 's/^ *Absolute upper-left X: *\([0-9-]*\).*/\1/p' <<<"$out")
    E2E_Y=$(sed -n 's/^ *Absolute upper-left Y: *\([0-9-]*\).*/\1/p' <<<"$out")
    E2E_W=$(sed -n 's/^ *Width: *\([0-9]*\).*/\1/p' <<<"$out")
    E2E_H=$(sed -n 's/^ *Height: *\([0-9]*\).*/\1/p' <<<"$out")
    [ -n "$E2E_X" ] && [ -n "$E2E_W" ] || fail "cannot read the geometry of window $1: $out"
}

# e2e_frame_origin WIN: sets E2E_FX, E2E_FY to the top-left corner of the
# window's frame (the decoration that the window manager adds) in pixels.
e2e_frame_origin() {
    local ext l t
    e2e_client_origin "$1"
    ext=$(timeout 5 xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p')
    l=$(cut -d, -f1 <<<"$ext" | tr -d ' ')
    t=$(cut -d, -f3 <<<"$ext" | tr -d ' ')
    E2E_FX=$((E2E_X - ${l:-0}))
    E2E_FY=$((E2E_Y - ${t:-0}))
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
    local win=$1 x y
    x=$((($2 + $4 / 2) / 15))
    y=$((($3 + $5 / 2) / 15))
    # No --sync: it waits for motion, and there is none when the pointer is
    # already there.
    timeout 10 xdotool mousemove --window "$win" "$x" "$y" sleep 0.1 click 1 ||
        fail "cannot click at $x,$y in window $win"
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

# e2e_shot WIN FILE: a picture of the window with its frame, cut out of the
# whole screen.
e2e_shot() {
    local win=$1 file=$2 ext l r t b
    e2e_need import convert
    e2e_client_origin "$win"
    ext=$(timeout 5 xprop -id "$win" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    IFS=, read -r l r t b <<<"${ext:-0,0,0,0}"
    local cw=$((E2E_W + l + r)) ch=$((E2E_H + t + b)) cx=$((E2E_X - l)) cy=$((E2E_Y - t))
    timeout 20 import -window root "$E2E_WORK/screen.png" || fail "cannot take a screenshot"
    timeout 20 convert "$E2E_WORK/screen.png" -crop "${cw}x${ch}+${cx}+${cy}" +repage "$file" ||
        fail "cannot crop the screenshot"
}

# ---- Mail ------------------------------------------------------------------

# e2e_start_sink NAME [sink options...]: starts the loopback SMTP server with
# its messages in $E2E_WORK/NAME; its port is left in E2E_PORT.
e2e_start_sink() {
    local name=$1
    shift
    local dir="$E2E_WORK/$name"
    mkdir -p "$dir"
    e2e_bg "$name-sink" 240 /usr/bin/python3 "$E2E_SRC/scripts/smtp_sink.py" "$dir" \
        --lifetime 230 "$@"
    for _ in $(seq 150); do [ -s "$dir/port" ] && break; sleep 0.1; done
    [ -s "$dir/port" ] || fail "the SMTP sink did not start"
    E2E_PORT=$(cat "$dir/port")
    log "SMTP sink $name on 127.0.0.1:$E2E_PORT $*"
}

# e2e_wait_mail DIR COUNT SECONDS: waits for COUNT messages in DIR.
e2e_wait_mail() {
    local dir=$1 count=$2 secs=$3 end
    end=$(($(date +%s) + secs))
    while [ "$(find "$dir" -name '*.json' | wc -l)" -lt "$count" ]; do
        [ "$(date +%s)" -lt "$end" ] || fail "no message $count in $dir within ${secs}s"
        sleep 0.1
    done
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
    [ -x "$E2E_BUILD/fh-sendwarden" ] || fail "no program at $E2E_BUILD/fh-sendwarden"
    [ -x "$E2E_BUILD/fh-sendwarden-run" ] || fail "no runner at $E2E_BUILD/fh-sendwarden-run"
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

# e2e_wait_status NAME TEXT SECONDS: waits until program NAME shows TEXT.
e2e_wait_status() {
    local name=$1 text=$2 secs=$3 end
    end=$(($(date +%s) + secs))
    until e2e_status_lines "$name" | grep -qxF -- "$text"; do
        [ "$(date +%s)" -lt "$end" ] ||
            fail "$name did not show '$text' within ${secs}s; it showed: $(e2e_status_lines "$name" | tr '\n' '|')"
        sleep 0.05
    done
}

# e2e_status_time NAME TEXT [N]: seconds since the epoch at which program NAME
# showed TEXT for the Nth time (default the first).
e2e_status_time() {
    local stamp
    stamp=$(grep -F "fh-sendwarden[$1]: $2" "$E2E_WORK/$1.log" |
        awk -v t="$2" -v n="${3:-1}" '{ s=$0; sub(/^[^]]*\]: /, "", s); if (s == t && ++k == n) { print $1 " " $2; exit } }')
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

# e2e_median: the median of the numbers on standard input, one a line.
e2e_median() {
    sort -n | awk '{ a[NR] = $1 }
        END { if (NR % 2) print a[(NR + 1) / 2]; else printf "%.1f\n", (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

# e2e_calc EXPR: floating-point arithmetic; a comparison gives 1.000 or 0.000.
e2e_calc() { awk "BEGIN { printf \"%.3f\", ($*) }" </dev/null; }

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

# e2e_no_keys_held: fails if the X server has any key down (a key that
# xdotool pressed and never released).
e2e_no_keys_held() {
    local held
    held=$(timeout 5 /usr/bin/python3 - <<'PY'
import ctypes
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
d = x.XOpenDisplay(None)
if not d:
    print("no display")
else:
    keys = (ctypes.c_ubyte * 32)()
    x.XQueryKeymap(ctypes.c_void_p(d), keys)
    print(" ".join(str(i * 8 + b) for i in range(32) for b in range(8) if keys[i] >> b & 1))
PY
) || fail "cannot ask the X server for the keyboard state"
    [ -z "$held" ] || fail "keys still held down (keycodes): $held"
}

# e2e_move WIN X Y: moves a window and waits until the move is done; the
# frame's new top-left corner is left in E2E_FX, E2E_FY.
e2e_move() {
    local win=$1 x=$2 y=$3
    timeout 10 xdotool windowmove --sync "$win" "$x" "$y" >/dev/null 2>&1 ||
        timeout 10 xdotool windowmove "$win" "$x" "$y" || fail "cannot move window $win"
    sleep 0.5
    e2e_frame_origin "$win"
}

# e2e_expect_stored_pos PROFILE PREFIX FX FY: "PREFIX-Left"/"PREFIX-Top" hold
# the frame position FX, FY (pixels) in twips, to within a pixel and a half.
e2e_expect_stored_pos() {
    local prof=$1 prefix=$2 fx=$3 fy=$4 left top
    left=$(e2e_ini_value "$prof" "$prefix-Left") || fail "no $prefix-Left stored under [$prof]"
    top=$(e2e_ini_value "$prof" "$prefix-Top") || fail "no $prefix-Top stored under [$prof]"
    left=${left%%.*}
    top=${top%%.*}
    [ $((left - fx * 15)) -le 22 ] && [ $((fx * 15 - left)) -le 22 ] &&
        [ $((top - fy * 15)) -le 22 ] && [ $((fy * 15 - top)) -le 22 ] ||
        fail "$prefix stored at $left,$top twips; its frame is at $fx,$fy px = $((fx * 15)),$((fy * 15)) twips"
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

# e2e_body_is DIR N LINE...: message N in DIR went to team@example.org alone
# and its body holds exactly these lines (trailing blank lines aside).
e2e_body_is() {
    python3 - "$@" <<'PY' || fail "message $2 in $1 is not as written"
import email, json, sys
from email import policy
base = "%s/%03d" % (sys.argv[1], int(sys.argv[2]))
env = json.load(open(base + ".json"))
m = email.message_from_bytes(open(base + ".eml", "rb").read(), policy=policy.default)
lines = [l.rstrip("\r") for l in m.get_body(("plain",)).get_content().splitlines()]
while lines and lines[-1] == "":
    lines.pop()
print("  %s: to %s, body %r" % (m["Subject"], env["rcpt_tos"], lines))
sys.exit(0 if env["rcpt_tos"] == ["team@example.org"] and lines == sys.argv[3:] else 1)
PY
}
