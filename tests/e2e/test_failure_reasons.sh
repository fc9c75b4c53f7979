#!/bin/bash
# What a failed unattended run says, three copies of the program at once
# without a display, each closing itself with a non-zero status in bounded
# time:
#  REJECTED   the server refuses every recipient: the status gives the mail
#             client's reason and the server's own reply;
#  NO-CLIENT  no SendEmail.exe in the install folder, a FIFO in place of
#             SENDEMAIL-LOG.txt: the missing mail client is named (or the
#             log is refused before the launch);
#  QUICK      a SendEmail.exe that ends at once without opening the log, a
#             FIFO in its place: the FIFO never holds the program.
# Usage: test_failure_reasons.sh BUILD_DIR
E2E_NAME=reasons
. "$(dirname "$0")/lib.sh" "$@"

unset DISPLAY WAYLAND_DISPLAY
reply="554 5.7.1 <ops@example.org>: Relay access denied"
e2e_start_sink sink --reject-rcpt "$reply"

e2e_install_folder rejected-home
e2e_program REJECTED
e2e_unattended_profile REJECTED "$E2E_PORT"

for name in NO-CLIENT QUICK; do
    E2E_HOME="$E2E_WORK/$name-home"
    mkdir -p "$E2E_HOME"
    mkfifo -m 600 "$E2E_HOME/SENDEMAIL-LOG.txt"
    e2e_program "$name"
    e2e_unattended_profile "$name" "$E2E_PORT"
done
no_client_home="$E2E_WORK/NO-CLIENT-home"
printf '#!/bin/sh\nexit 0\n' >"$E2E_WORK/QUICK-home/SendEmail.exe"
chmod +x "$E2E_WORK/QUICK-home/SendEmail.exe"

pids=()
for name in REJECTED NO-CLIENT QUICK; do
    e2e_run "$name" 60 QT_QPA_PLATFORM=offscreen
    pids+=("$E2E_LAST_PID")
done
i=0
for name in REJECTED NO-CLIENT QUICK; do
    e2e_wait_exit "${pids[$i]}" 50
    i=$((i + 1))
    seen=$(e2e_status_lines "$name" | tr '\n' '|')
    reason=$(e2e_status_lines "$name" | sed -n 's/^!!! SEND FAILED: \(.*\) !!!$/\1/p' | head -1)
    log "$name: status $E2E_RC, $reason"
    case "$E2E_RC:$seen" in
    [12]:*"!!! AUTOSENDING EMAIL NOW !!!|"*"!!! SEND FAILED: "*" !!!|!!! SEND FAILED - CLOSING NOW !!!|") ;;
    *) fail "$name ended with status $E2E_RC (124: it did not close by itself); it showed: $seen" ;;
    esac
    case "$name:$E2E_RC:$reason" in
    "REJECTED:1:Exiting. No recipients were accepted for delivery by the mail server. The server replied: $reply") ;;
    "NO-CLIENT:1:SendEmail.exe was not found in $no_client_home" | QUICK:1:*"wrote nothing to"* | *:2:*) ;;
    *) fail "$name's reason: $reason" ;;
    esac
done
[ -z "$(find "$E2E_WORK/sink" -name '*.json')" ] || fail "the server took a mail"
echo "PASS: the server's reply, a missing mail client and a FIFO log reported; each run closed itself"
