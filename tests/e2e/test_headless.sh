#!/bin/bash
# An unattended send without any display: no X server, no DISPLAY, Qt's
# offscreen platform. The program must send and end by itself.
# Usage: test_headless.sh BUILD_DIR
E2E_NAME=headless
. "$(dirname "$0")/lib.sh" "$@"

unset DISPLAY WAYLAND_DISPLAY
e2e_start_sink sink
e2e_install_folder "send home"
e2e_program HEADLESS-SEND
e2e_unattended_profile HEADLESS-SEND "$E2E_PORT" 'MESSAGE_TEXTBOX=No screen here\nSecond line'

e2e_run HEADLESS-SEND 90 -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen
prog=$E2E_LAST_PID
e2e_wait_status HEADLESS-SEND "EMAIL AUTOSEND IN 10 SECS..." 15
e2e_wait_exit "$prog" 80
[ "$E2E_RC" = 0 ] || fail "the program ended with status $E2E_RC (124: it did not close by itself)"
elapsed=$(e2e_calc "$E2E_EXIT_AT - $E2E_START_AT")
log "program ended by itself after ${elapsed}s"

seen=$(e2e_status_lines HEADLESS-SEND | tr '\n' '|')
[ "$(e2e_status_lines HEADLESS-SEND | tail -1)" = "!!! COMPLETED - CLOSING NOW !!!" ] ||
    fail "last status is not the closing one: $seen"
e2e_status_lines HEADLESS-SEND | grep -qxF "COMPLETED..." || fail "no COMPLETED... status: $seen"
e2e_status_lines HEADLESS-SEND | grep -q '^!!! SEND FAILED' && fail "launch failed: $seen"

e2e_wait_mail "$E2E_WORK/sink" 1 10
python3 - "$E2E_WORK/sink/001.eml" <<'PY' || fail "the received mail is not the saved one"
import email, sys
from email import policy
m = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=policy.default)
assert m["Subject"] == "HEADLESS-SEND run", m["Subject"]
body = m.get_body(("plain",)).get_content()
assert "No screen here" in body and "Second line" in body, repr(body)
PY
grep -q "Email was sent successfully!" "$E2E_HOME/SENDEMAIL-LOG.txt" ||
    fail "the mail client's log has no success line"
[ "$(find "$E2E_WORK/sink" -name '*.json' | wc -l)" = 1 ] || fail "more than one mail was sent"
echo "PASS: headless unattended send ($elapsed s)"
