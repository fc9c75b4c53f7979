#!/bin/bash
# The unattended run under a real X display: a Profile with AutoStart,
# AutoClose and Pause-4-Process sends its saved mail through the real mail
# client to a slow loopback SMTP server, and the program closes itself.
# Usage: test_unattended.sh BUILD_DIR
E2E_NAME=unattended
. "$(dirname "$0")/lib.sh" "$@"

P=NIGHTLY
e2e_start_x 120
# The server holds each message 2 s, so that the run is seen in progress.
e2e_start_sink sink --delay 2
e2e_install_folder "send home"
e2e_program "$P"

att="$E2E_WORK/files/nightly report.bin"
mkdir -p "$(dirname "$att")"
head -c 5000 /dev/urandom >"$att"
printf 'end\r\n\0\377' >>"$att"

e2e_unattended_profile "$P" "$E2E_PORT" \
    "SEND_TO_ADDRESS_TEXTBOX=ops@example.org,boss@example.org" \
    SEND_CC_ADDRESS_TEXTBOX=cc@example.org SEND_BCC_ADDRESS_TEXTBOX=hidden@example.org \
    "SUBJECT_TEXTBOX=Nightly backup report" \
    'MESSAGE_TEXTBOX=Hello team,\nthe backup ran.\n\n-- backup' \
    ATTACHMENT_TICKBOX=1 "FILE_ATTACHMENT_TEXTBOX=$att"

e2e_run "$P" 90
prog=$E2E_LAST_PID
e2e_find_window "FH-SW - $P" 20 >/dev/null
e2e_wait_status "$P" "!!! SendEmail.exe IS RUNNING...!!!" 25
e2e_wait_exit "$prog" 70
[ "$E2E_RC" = 0 ] || fail "the program ended with status $E2E_RC (124: it did not close by itself)"

# The whole course of the run, in order, with nothing else in between.
expected="EMAIL AUTOSEND IN 10 SECS...|!!! AUTOSENDING EMAIL NOW !!!|"
expected+="!!! SendEmail.exe IS RUNNING...!!!|COMPLETED...|!!! COMPLETED - CLOSING NOW !!!|"
seen=$(e2e_status_lines "$P" | tr '\n' '|')
[ "$seen" = "$expected" ] || fail "status sequence: $seen expected: $expected"

# Timing: 10 s countdown + the send + 10 s wait after it.
t_launch=$(e2e_status_time "$P" "!!! AUTOSENDING EMAIL NOW !!!")
t_done=$(e2e_status_time "$P" "COMPLETED...")
total=$(e2e_calc "$E2E_EXIT_AT - $E2E_START_AT")
send=$(e2e_calc "$t_done - $t_launch")
overhead=$(e2e_calc "$total - 20 - $send")
log "run: total ${total}s, send ${send}s, beyond the 20 s of waits and the send: ${overhead}s"
[ "$(e2e_calc "$send >= 2")" = 1.000 ] || fail "the send took ${send}s, less than the server's 2 s delay"
[ "$(e2e_calc "$overhead < 1.5 && $overhead > -0.1")" = 1.000 ] ||
    fail "the run took ${total}s: ${overhead}s beyond the waits and the send"

e2e_wait_mail "$E2E_WORK/sink" 1 5
[ "$(find "$E2E_WORK/sink" -name '*.json' | wc -l)" = 1 ] || fail "more than one mail was sent"
python3 - "$E2E_WORK/sink/001" "$att" <<'PY' || fail "the received mail does not match the saved settings"
import email, json, sys
from email import policy
base, att = sys.argv[1], sys.argv[2]
env = json.load(open(base + ".json"))
def check(cond, what):
    if not cond:
        print("mismatch:", what)
        sys.exit(1)
check(env["mail_from"] == "backup@example.org", "envelope sender %r" % env["mail_from"])
check(sorted(env["rcpt_tos"]) == sorted(["ops@example.org", "boss@example.org",
                                         "cc@example.org", "hidden@example.org"]),
      "envelope recipients %r" % env["rcpt_tos"])
raw = open(base + ".eml", "rb").read()
m = email.message_from_bytes(raw, policy=policy.default)
check([a.addr_spec for a in m["From"].addresses] == ["backup@example.org"], "From %r" % m["From"])
tos = sorted(a.addr_spec for a in m["To"].addresses)
check(tos == ["boss@example.org", "ops@example.org"], "To %r" % m["To"])
check([a.addr_spec for a in m["Cc"].addresses] == ["cc@example.org"], "Cc %r" % m["Cc"])
check(m["Bcc"] is None and b"hidden@example.org" not in raw, "the blind copy shows in the mail")
check(m["Subject"] == "Nightly backup report", "Subject %r" % m["Subject"])
check([a.addr_spec for a in m["Reply-To"].addresses] == ["backup@example.org"], "Reply-To %r" % m["Reply-To"])
body = m.get_body(("plain",)).get_content()
lines = [l.rstrip("\r") for l in body.splitlines()]
while lines and lines[-1] == "":
    lines.pop()
check(lines == ["Hello team,", "the backup ran.", "", "-- backup"], "body lines %r" % lines)
parts = list(m.iter_attachments())
check(len(parts) == 1, "%d attachments" % len(parts))
check(parts[0].get_filename() == "nightly report.bin", "attachment name %r" % parts[0].get_filename())
check(parts[0].get_content() == open(att, "rb").read(), "attachment bytes differ")
for h in ("From", "To", "Cc", "Reply-To", "Subject", "Date", "X-Mailer", "MIME-Version"):
    if m[h] is not None:
        print("  %s: %s" % (h, m[h]))
PY
grep -q "Email was sent successfully!" "$E2E_HOME/SENDEMAIL-LOG.txt" ||
    fail "the mail client's log has no success line"
# The closing steps kept the unattended options.
for key in AUTOSTART_TICKBOX AUTOCLOSE_TICKBOX P4P_TICKBOX; do
    [ "$(e2e_ini_value "$P" "$key")" = 1 ] || fail "$key is no longer 1 after the run"
done
echo "PASS: unattended send (total ${total}s, send ${send}s, overhead ${overhead}s)"
