#!/bin/bash
# What an unattended run reports, with the real mail client, three copies of
# the program under a real X display (LOG-OPEN starts once the STALLED mail
# client is stopped: any SendEmail.exe of this user holds a watch):
#  LOG-OPEN   the log is opened from the Log Manager during the countdown in
#             a viewer that stays open (a stand-in xdg-open on PATH); the
#             send still reaches "COMPLETED..." as soon as the mail client
#             ends, the program closes itself with status 0, and "Grüße,
#             café" in subject and message arrive as typed;
#  NO-SERVER  nothing listens: "!!! SEND FAILED: ..." with the mail client's
#             reason, and the program closes itself with status 1;
#  STALLED    the server accepts the mail and then stalls: after the time
#             limit (FHSW_SEND_TIMEOUT_SECONDS=4) the run is reported as
#             timed out, the mail client is stopped, and the program closes
#             itself with status 3.
# Usage: test_send_outcomes.sh BUILD_DIR
E2E_NAME=outcomes
. "$(dirname "$0")/lib.sh" "$@"

e2e_start_x 120
e2e_start_sink sink
sink_port=$E2E_PORT
# A port that nobody listens on: taken from the system, then let go.
dead_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

# A server that answers up to DATA, takes the data and never replies.
mkdir -p "$E2E_WORK/stall"
e2e_bg stall-server 100 /usr/bin/python3 -c '
import socket, sys, threading, time
srv = socket.socket(); srv.bind(("127.0.0.1", 0)); srv.listen(5)
open(sys.argv[1] + ".part", "w").write(str(srv.getsockname()[1]))
import os; os.rename(sys.argv[1] + ".part", sys.argv[1])
def serve(c):
    f = c.makefile("rb")
    c.sendall(b"220 stall.example ESMTP\r\n")
    for line in f:
        cmd = line[:4].upper()
        if cmd in (b"EHLO", b"HELO"): c.sendall(b"250 stall.example\r\n")
        elif cmd == b"DATA": c.sendall(b"354 go ahead\r\n"); break
        else: c.sendall(b"250 OK\r\n")
    time.sleep(90)
while True:
    c, _ = srv.accept()
    threading.Thread(target=serve, args=(c,), daemon=True).start()
' "$E2E_WORK/stall/port"
for _ in $(seq 100); do [ -s "$E2E_WORK/stall/port" ] && break; sleep 0.1; done
stall_port=$(cat "$E2E_WORK/stall/port" 2>/dev/null) || fail "the stalling server did not start"

# The stand-in viewer: records what it was asked to open, then stays.
viewer_bin="$E2E_WORK/viewer-bin"
mkdir -p "$viewer_bin"
cat >"$viewer_bin/xdg-open" <<EOF
#!/bin/sh
echo \$\$ >"$E2E_WORK/viewer.pid"
printf '%s\n' "\$@" >"$E2E_WORK/viewer.args"
exec sleep 60
EOF
chmod +x "$viewer_bin/xdg-open"

e2e_install_folder open-home
open_home=$E2E_HOME
: >"$open_home/SENDEMAIL-LOG.txt"
e2e_program LOG-OPEN
e2e_unattended_profile LOG-OPEN "$sink_port" "SUBJECT_TEXTBOX=Grüße, café" \
    'MESSAGE_TEXTBOX=Grüße, café\nñ ÿ'

e2e_install_folder dead-home
dead_home=$E2E_HOME
e2e_program NO-SERVER
e2e_unattended_profile NO-SERVER "$dead_port"
# A place on the desktop's second monitor: a run without a display keeps it.
sed -i '/^\[NO-SERVER\]/a MAIN-Left=40000' "$E2E_INI"

e2e_install_folder stall-home
stall_home=$E2E_HOME
att="$E2E_WORK/stall-attachment.bin"
head -c 3000 /dev/urandom >"$att"
e2e_program STALLED
# With an attachment the mail client switches its own time-out off.
e2e_unattended_profile STALLED "$stall_port" ATTACHMENT_TICKBOX=1 "FILE_ATTACHMENT_TEXTBOX=$att"

# The message file travels as ISO-8859-1, the charset the mail client declares.
[ "$(od -An -tx1 "$open_home/SENDEMAIL-MESSAGE.txt" | tr -d ' \n')" = \
  "4772fcdf652c20636166e90d0af120ff0d0a" ] || fail "the message file is not ISO-8859-1: $(od -c "$open_home/SENDEMAIL-MESSAGE.txt")"
for f in SENDEMAIL-RUNNER.BAT SENDEMAIL-MESSAGE.txt; do
    [ "$(stat -c %a "$open_home/$f")" = 600 ] || fail "$f is not 0600"
done

e2e_run NO-SERVER 60 QT_QPA_PLATFORM=offscreen
p_dead=$E2E_LAST_PID
e2e_run STALLED 60 QT_QPA_PLATFORM=offscreen FHSW_SEND_TIMEOUT_SECONDS=4
p_stall=$E2E_LAST_PID
timed_out="!!! SEND FAILED: SendEmail.exe timed out after 4 s - the runner script and the mail client were stopped !!!"
e2e_wait_status STALLED "$timed_out" 30
e2e_run LOG-OPEN 60 "PATH=$viewer_bin:$PATH"
p_open=$E2E_LAST_PID

# During the countdown: Log Manager, "Open Log In Notepad", OK.
main=$(e2e_find_window "FH-SW - LOG-OPEN" 20)
e2e_click "$main" 1560 1920 1335 375
lm=$(e2e_find_window "FH-SENDWARDEN - LOG MANAGER" 10)
e2e_click "$lm" 120 735 3195 375
for _ in $(seq 100); do [ -s "$E2E_WORK/viewer.pid" ] && break; sleep 0.1; done
[ -s "$E2E_WORK/viewer.pid" ] || fail "the Log Manager did not start the viewer"
viewer=$(cat "$E2E_WORK/viewer.pid")
[ "$(cat "$E2E_WORK/viewer.args")" = "$open_home/SENDEMAIL-LOG.txt" ] ||
    fail "the viewer was asked to open: $(cat "$E2E_WORK/viewer.args")"
e2e_click "$lm" 120 1230 3195 375   # OK (Enter would press the focused button again)
e2e_window_gone "FH-SENDWARDEN - LOG MANAGER" 10
log "log open in the stand-in viewer (pid $viewer) during the countdown"

e2e_wait_exit "$p_open" 50
open_rc=$E2E_RC
kill -0 "$viewer" 2>/dev/null || fail "the viewer ended before the program: the test proves nothing"
kill "$viewer" 2>/dev/null
[ "$open_rc" = 0 ] || fail "LOG-OPEN ended with status $open_rc (124: it did not close by itself)"
# A quick mail client may have ended before the first check could see it.
seen=$(e2e_status_lines LOG-OPEN | sed '/^!!! SendEmail.exe IS RUNNING...!!!$/d' | tr '\n' '|')
[ "$seen" = "EMAIL AUTOSEND IN 10 SECS...|!!! AUTOSENDING EMAIL NOW !!!|COMPLETED...|!!! COMPLETED - CLOSING NOW !!!|" ] ||
    fail "LOG-OPEN's status sequence: $seen"
e2e_wait_mail "$E2E_WORK/sink" 1 5
t_mail=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["time"])' "$E2E_WORK/sink/001.json")
t_done=$(e2e_status_time LOG-OPEN "COMPLETED...")
lag=$(e2e_calc "$t_done - $t_mail")
[ "$(e2e_calc "$lag < 2")" = 1.000 ] || fail "COMPLETED... came ${lag}s after the mail arrived"
log "LOG-OPEN: COMPLETED... ${lag}s after the server took the mail, with the viewer still open; status 0"
python3 - "$E2E_WORK/sink/001.eml" <<'PY' || fail "the mail did not arrive as typed"
import email, sys
from email import policy
m = email.message_from_bytes(open(sys.argv[1], "rb").read(), policy=policy.default)
body = m.get_body(("plain",)).get_content()
lines = [l.rstrip("\r") for l in body.splitlines()]
while lines and lines[-1] == "":
    lines.pop()
ok = m["Subject"] == "Grüße, café" and lines == ["Grüße, café", "ñ ÿ"]
print("  Subject: %r  body lines: %r" % (str(m["Subject"]), lines))
sys.exit(0 if ok else 1)
PY

e2e_wait_exit "$p_dead" 30
[ "$E2E_RC" = 1 ] || fail "NO-SERVER ended with status $E2E_RC, not 1 (124: it did not close by itself)"
[ "$(e2e_ini_value NO-SERVER MAIN-Left)" = 40000 ] || fail "a run without a display moved the stored place"
seen=$(e2e_status_lines NO-SERVER | tr '\n' '|')
case "$seen" in
"EMAIL AUTOSEND IN 10 SECS...|!!! AUTOSENDING EMAIL NOW !!!|"*"!!! SEND FAILED: Connection attempt to 127.0.0.1:$dead_port failed: "*"Connection refused !!!|!!! SEND FAILED - CLOSING NOW !!!|") ;;
*) fail "NO-SERVER's status sequence: $seen" ;;
esac
case "$seen" in *COMPLETED...*) fail "NO-SERVER claimed completion: $seen" ;; esac
log "NO-SERVER: $(e2e_status_lines NO-SERVER | grep -F 'SEND FAILED: ')"

e2e_wait_exit "$p_stall" 40
[ "$E2E_RC" = 3 ] || fail "STALLED ended with status $E2E_RC, not 3 (124: it did not close by itself)"
seen=$(e2e_status_lines STALLED | tr '\n' '|')
case "$seen" in
*"!!! SendEmail.exe IS RUNNING...!!!|$timed_out|!!! SEND FAILED - CLOSING NOW !!!|") ;;
*) fail "STALLED's status sequence: $seen" ;;
esac
t_launch=$(e2e_status_time STALLED "!!! AUTOSENDING EMAIL NOW !!!")
t_out=$(e2e_status_time STALLED "$timed_out")
took=$(e2e_calc "$t_out - $t_launch")
[ "$(e2e_calc "$took > 3.9 && $took < 5.5")" = 1.000 ] || fail "the time-out came ${took}s after the launch"
pgrep -f -- "$stall_home" >/dev/null && fail "a process of the stalled run is still running: $(pgrep -af -- "$stall_home")"
log "STALLED: timed out ${took}s after the launch; runner script and mail client gone; status 3"
echo "PASS: log open in a viewer, failed send, stalled server, ISO-8859-1 text"
