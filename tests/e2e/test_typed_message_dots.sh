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
    e2e_runner_send "TYPED-$n" "$E2E_PORT" "MESSAGE_TEXTBOX=${typed%\\n}"
    e2e_wait_exit "$E2E_LAST_PID" 30
    [ "$E2E_RC" = 0 ] || fail "the runner script of TYPED-$n ended with status $E2E_RC"
    sleep 1
    [ "$(find "$E2E_WORK/sink" -name '*.json' | wc -l)" = "$n" ] || fail "TYPED-$n: not one mail more"
    e2e_body_is "$E2E_WORK/sink" "$n" "${!lines}"
done
echo "PASS: typed lines with leading dots arrive as typed, one mail each"
