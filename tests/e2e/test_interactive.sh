#!/bin/bash
# The real windows driven by mouse and keyboard under Xvfb and openbox:
# a new Profile is filled in through "Settings", saved, and sent with START;
# then START and STOP within the countdown send nothing.
# Usage: test_interactive.sh BUILD_DIR
# With E2E_SHOTS=FOLDER the pictures of the main and settings windows are
# written there (main-window.png, settings-window.png).
E2E_NAME=interactive
. "$(dirname "$0")/lib.sh" "$@"

P=FH-SENDWARDEN
e2e_start_x 150
e2e_start_sink sink --delay 1
e2e_install_folder home
e2e_program "$P"
shots=${E2E_SHOTS:-$E2E_WORK}

e2e_run "$P" 140
prog=$E2E_LAST_PID
main=$(e2e_find_window "FH-SW - $P")
log "main window $main"

# ---- Settings: type every field and SAVE ----------------------------------
e2e_click "$main" 5760 2400 1335 375                       # Settings
settings=$(e2e_find_window "FH-SENDWARDEN - SETTINGS - MAIN" 10)
log "settings window $settings"
field() {  # field LEFT TOP WIDTH HEIGHT TEXT
    e2e_click "$settings" "$1" "$2" "$3" "$4"
    e2e_key "$settings" ctrl+a
    e2e_type "$settings" "$5"
}
field 120 855 4575 315 "$E2E_HOME"                         # install folder
field 720 1260 3975 315 "desk@example.org"                 # From
field 720 1620 3975 315 "team@example.org"                 # To
field 4920 375 4695 315 "127.0.0.1:$E2E_PORT"              # SMTP server:port
field 120 3375 8100 315 "Typed by hand"                    # subject
field 120 3735 8100 600 "First typed line"                 # message
e2e_key "$settings" ctrl+Return                            # a new line in the message
e2e_type "$settings" "Second typed line"
sleep 1.2                                                  # one composer tick
e2e_shot "$settings" "$shots/settings-window.png"
e2e_click "$settings" 8340 3900 1275 435                   # SAVE

for _ in $(seq 50); do [ -s "$E2E_HOME/SENDEMAIL-RUNNER.BAT" ] && break; sleep 0.1; done
[ -s "$E2E_HOME/SENDEMAIL-RUNNER.BAT" ] || fail "SAVE wrote no runner script into $E2E_HOME"
for kv in "INSTALL_FOLDER_TEXTBOX=$E2E_HOME" SEND_FROM_ADDRESS_TEXTBOX=desk@example.org \
    SEND_TO_ADDRESS_TEXTBOX=team@example.org "SMTP_SERVER_ADDRESS_PORT_TEXTBOX=127.0.0.1:$E2E_PORT" \
    "SUBJECT_TEXTBOX=Typed by hand"; do
    got=$(e2e_ini_value "$P" "${kv%%=*}")
    [ "$got" = "${kv#*=}" ] || fail "after SAVE ${kv%%=*} is '$got', typed '${kv#*=}'"
done
e2e_key "$settings" Escape                                 # CANCEL closes it
e2e_window_gone "FH-SENDWARDEN - SETTINGS - MAIN" 10

# Pause-4-Process: stored as soon as it is ticked.
e2e_click "$main" 4080 2400 1575 375
for _ in $(seq 30); do [ "$(e2e_ini_value "$P" P4P_TICKBOX)" = 1 ] && break; sleep 0.1; done
[ "$(e2e_ini_value "$P" P4P_TICKBOX)" = 1 ] || fail "ticking Pause-4-Process stored no 1"
e2e_shot "$main" "$shots/main-window.png"

# ---- START: the countdown, the send, back to ready -------------------------
e2e_click "$main" 8520 1920 1095 735                       # START
e2e_wait_status "$P" "EMAIL AUTOSEND IN 10 SECS..." 5
e2e_wait_status "$P" "!!! AUTOSENDING EMAIL NOW !!!" 15
e2e_wait_status "$P" "COMPLETED..." 30
e2e_wait_mail "$E2E_WORK/sink" 1 5
log "sent: $(e2e_status_lines "$P" | tr '\n' '|')"
python3 - "$E2E_WORK/sink/001" <<'PY' || fail "the mail does not hold what was typed"
import email, json, sys
from email import policy
env = json.load(open(sys.argv[1] + ".json"))
assert env["mail_from"] == "desk@example.org" and env["rcpt_tos"] == ["team@example.org"], env
m = email.message_from_binary_file(open(sys.argv[1] + ".eml", "rb"), policy=policy.default)
assert m["Subject"] == "Typed by hand", m["Subject"]
lines = [l for l in m.get_body(("plain",)).get_content().splitlines() if l.strip()]
assert lines == ["First typed line", "Second typed line"], lines
PY
# AutoClose is not ticked: 10 s after the send the window is ready again.
e2e_wait_status_count() {  # NAME TEXT COUNT SECONDS
    local end=$(($(date +%s) + $4))
    until [ "$(e2e_status_lines "$1" | grep -cxF -- "$2")" -ge "$3" ]; do
        [ "$(date +%s)" -lt "$end" ] || fail "'$2' not shown $3 times within $4 s: $(e2e_status_lines "$1" | tr '\n' '|')"
        sleep 0.05
    done
}
e2e_wait_status_count "$P" "READY..." 2 15  # once at start, once after the run

# ---- START, then STOP within the countdown: nothing is sent ----------------
e2e_click "$main" 8520 1920 1095 735                       # START
e2e_wait_status_count "$P" "EMAIL AUTOSEND IN 10 SECS..." 2 5
t_start=$(date +%s.%N)
sleep 2
e2e_click "$main" 8520 1920 1095 735                       # STOP
e2e_wait_status "$P" "!!! ABORTED !!!" 5
# Wait past the moment the countdown would have run out.
while [ "$(e2e_calc "$(date +%s.%N) - $t_start < 12")" = 1.000 ]; do sleep 0.2; done
[ "$(e2e_status_lines "$P" | tail -1)" = "!!! ABORTED !!!" ] ||
    fail "after STOP the status moved on: $(e2e_status_lines "$P" | tr '\n' '|')"
[ "$(e2e_status_lines "$P" | grep -cxF '!!! AUTOSENDING EMAIL NOW !!!')" = 1 ] ||
    fail "the aborted countdown launched anyway"
[ "$(find "$E2E_WORK/sink" -name '*.json' | wc -l)" = 1 ] || fail "a second mail was sent after STOP"

e2e_no_keys_held

# ---- Exit ------------------------------------------------------------------
e2e_click "$main" 7320 2040 975 495                        # Exit
e2e_wait_exit "$prog" 10
[ "$E2E_RC" = 0 ] || fail "the program ended with status $E2E_RC after Exit"
[ -n "$(e2e_ini_value "$P" MAIN-Left)" ] || fail "Exit stored no MAIN-Left"
echo "PASS: interactive settings, START send, START/STOP abort"
