#!/bin/bash
# fh-sendwarden-run with the real mail client, on runner scripts that SAVE
# wrote (fh-sendwarden-setup):
#  DOTS    "Use TXT File As Message" with lines ".", ".hidden", "..two",
#          "...three" and two lone "." lines in a row: one mail, every line
#          as written; a password but no user name: sent without log-in;
#  INJECT  a message file whose text after two lone "." lines reads as SMTP
#          commands: one mail, to the intended recipient only, text intact;
#  LOGIN   user name and password against a server that takes only those:
#          the mail arrives logged in, and at no sampled moment of the send
#          does any process's command line (as another user reads them)
#          hold the password.
# Usage: test_runner_mail_client.sh BUILD_DIR
E2E_NAME=runner-mail
. "$(dirname "$0")/lib.sh" "$@"

e2e_start_sink plain
plain_port=$E2E_PORT
password="s3cret pass-$$"
printf '%s\n' "$password" >"$E2E_WORK/password"
# The server holds the mail 1 s, so that the send is sampled while it runs.
e2e_start_sink login --delay 1 --auth mailer "$E2E_WORK/password"
login_port=$E2E_PORT

dots=(. .hidden ..two ...three . . end)
printf '%s\n' "${dots[@]}" >"$E2E_WORK/dots.txt"
e2e_runner_send DOTS "$plain_port" FILE_AS_MESSAGE_TICKBOX=1 "MESSAGE_FILE_LOCATION_TEXTBOX=$E2E_WORK/dots.txt" \
    SMTP_PASSWORD_TEXTBOX=not-used
e2e_wait_exit "$E2E_LAST_PID" 30
[ "$E2E_RC" = 0 ] || fail "DOTS: the runner script ended with status $E2E_RC"
inject=(hello . . 'MAIL FROM:<x@x.org>' 'RCPT TO:<evil@x.org>' DATA 'Subject: injected' '' 'evil text' .)
printf '%s\n' "${inject[@]}" >"$E2E_WORK/inject.txt"
e2e_runner_send INJECT "$plain_port" FILE_AS_MESSAGE_TICKBOX=1 "MESSAGE_FILE_LOCATION_TEXTBOX=$E2E_WORK/inject.txt"
e2e_wait_exit "$E2E_LAST_PID" 30
[ "$E2E_RC" = 0 ] || fail "INJECT: the runner script ended with status $E2E_RC"
sleep 1
[ "$(find "$E2E_WORK/plain" -name '*.json' | wc -l)" = 2 ] ||
    fail "the server took $(find "$E2E_WORK/plain" -name '*.json' | wc -l) mails, not 2"
e2e_body_is "$E2E_WORK/plain" 1 "${dots[@]}"
e2e_body_is "$E2E_WORK/plain" 2 "${inject[@]}"

e2e_runner_send LOGIN "$login_port" SMTP_USERNAME_TEXTBOX=mailer "SMTP_PASSWORD_TEXTBOX=$password"
runner=$E2E_LAST_PID
sampler=(/usr/bin/python3)
[ "$(id -u)" = 0 ] && sampler=(setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/python3)
# The password in the sampler's environment, which only its own user reads.
SECRET=$password timeout 40 "${sampler[@]}" - "$runner" <<'PY' >"$E2E_WORK/samples.log" 2>&1
import glob, os, sys
runner, secret = sys.argv[1], os.environ["SECRET"].encode()
samples = seen = 0
while os.path.exists("/proc/" + runner):
    for f in glob.glob("/proc/[0-9]*/cmdline"):
        try:
            line = open(f, "rb").read()
        except OSError:
            continue
        if secret in line:
            print("the password is on the command line of", f, line.replace(b"\0", b" "))
            sys.exit(1)
        seen += line.startswith(b"SendEmail.exe ") or b"/SendEmail.exe\0" in line
    samples += 1
print("%d samples of every command line, %d sightings of the mail client" % (samples, seen))
sys.exit(0 if seen >= 3 else 2)
PY
sampled=$?
cat "$E2E_WORK/samples.log"
[ "$sampled" = 0 ] || fail "the password was readable, or the send was not sampled (status $sampled)"
e2e_wait_exit "$runner" 30
[ "$E2E_RC" = 0 ] || fail "LOGIN: the runner script ended with status $E2E_RC"
e2e_wait_mail "$E2E_WORK/login" 1 5
[ "$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["login"])' "$E2E_WORK/login/001.json")" = mailer ] ||
    fail "the mail arrived without the log-in"
echo "PASS: leading dots and lone dot lines arrive as written; the password stays off every command line"
