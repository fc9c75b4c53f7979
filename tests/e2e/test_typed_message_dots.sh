#!/bin/bash
# A typed message (MESSAGE_TEXTBOX, saved by SAVE as SENDEMAIL-MESSAGE.txt)
# with lines ".", ".hidden", "..two", "...three", two lone "." lines in a
# row, and text after them that reads as SMTP commands: run by
# fh-sendwarden-run with the real mail client, each arrives as one mail to
# the intended recipient, every line as typed. SAVE doubles the leading dots
# of the file it writes; fh-sendwarden-run passes that file on as it is.
# Usage: test_typed_message_dots.sh BUILD_DIR
E2E_NAME=typed-dots
. "$(dirname "$0")/lib.sh" "$@"

e2e_start_sink sink
dots=(. .hidden ..two ...three . . end)
inject=(hello . . 'MAIL FROM:<x@x.org>' 'RCPT TO:<evil@x.org>' DATA 'Subject: injected' '' 'evil text' .)
n=0
for lines in "dots[@]" "inject[@]"; do
    n=$((n + 1))
    typed=$(printf '%s\\n' "${!lines}")
    e2e_install_folder "typed-$n"
    e2e_setup "TYPED-$n" "INSTALL_FOLDER_TEXTBOX=$E2E_HOME" SEND_FROM_ADDRESS_TEXTBOX=desk@example.org \
        SEND_TO_ADDRESS_TEXTBOX=team@example.org "SMTP_SERVER_ADDRESS_PORT_TEXTBOX=127.0.0.1:$E2E_PORT" \
        "MESSAGE_TEXTBOX=${typed%\\n}"
    timeout 60 "$E2E_BUILD/fh-sendwarden-run" "$E2E_HOME/SENDEMAIL-RUNNER.BAT" >"$E2E_WORK/run-$n.log" 2>&1 </dev/null ||
        fail "the runner script of TYPED-$n failed: $(tail -3 "$E2E_WORK/run-$n.log")"
    sleep 1
    [ "$(find "$E2E_WORK/sink" -name '*.json' | wc -l)" = "$n" ] || fail "TYPED-$n: not one mail more"
    python3 - "$E2E_WORK/sink/00$n" "${!lines}" <<'PY' || fail "TYPED-$n did not arrive as typed"
import email, json, sys
from email import policy
env = json.load(open(sys.argv[1] + ".json"))
m = email.message_from_bytes(open(sys.argv[1] + ".eml", "rb").read(), policy=policy.default)
lines = [l.rstrip("\r") for l in m.get_body(("plain",)).get_content().splitlines()]
while lines and lines[-1] == "":
    lines.pop()
print("  to %s, body %r" % (env["rcpt_tos"], lines))
sys.exit(0 if env["rcpt_tos"] == ["team@example.org"] and lines == sys.argv[2:] else 1)
PY
done
echo "PASS: typed lines with leading dots arrive as typed, one mail each"
