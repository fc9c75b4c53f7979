#!/bin/bash
# Unattended runs without any display (Qt's offscreen platform, no DISPLAY,
# no session runtime folder), all at once, each from an install folder of
# its own with the real mail client; each closes itself with the status of
# its send after the whole course of a run, and writes nothing but status
# lines to stderr:
#  TLS-SEND       TLS "yes", a server that insists on STARTTLS, its
#                 self-signed certificate trusted (SSL_CERT_FILE): sent, 0;
#  TLS-UNTRUSTED  the same, the certificate not trusted: 1, and why;
#  NO-SERVER      nothing listens: 1, and why; its stored window place (on a
#                 second monitor of the desktop) kept;
#  REFUSED        the server refuses every recipient: 1, with its reply;
#  NO-CLIENT      no SendEmail.exe in the install folder: 1, named;
#  FIFO-LOG       a FIFO in place of SENDEMAIL-LOG.txt, and a mail client
#                 that ends at once without opening it: 2, nothing held up;
#  STALLED        a server that takes the data and never answers, with an
#                 attachment (the mail client's own time-out is off then):
#                 3 after the time limit (FHSW_SEND_TIMEOUT_SECONDS=4), the
#                 runner script and the mail client stopped;
#  LINKED, SWAPPED (root) a runner script planted by a second user in a
#                 folder that everyone may write to - a symbolic link in a
#                 1777 folder, their file renamed over ours in a 0777 one:
#                 2, not run, and why;
#  NIGHTLY-REPORT the Debian package built with CPack (contents,
#                 dependencies, a setup tool that runs) and installed with apt (root);
#                 a copy of the installed program, alone in its folder, finds
#                 the runner-script interpreter and sends; without root the
#                 build's program does.
# Meanwhile fh-sendwarden-run runs runner scripts that SAVE wrote:
#  TXT-FILE, TYPED a message (a TXT file, then typed) with lines ".",
#                 ".hidden", "..two", "...three", two lone "." lines and then
#                 text that reads as SMTP commands: one mail each, to the
#                 intended recipient only, every line as written; TXT-FILE
#                 has a password but no user name;
#  LOGIN          user name and password against a server that takes only
#                 those: sent logged in, and at no sampled moment does any
#                 process's command line (as another user reads them) hold
#                 the password.
# Usage: test_headless.sh BUILD_DIR
E2E_NAME=headless
. "$(dirname "$0")/lib.sh" "$@"

unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR
export QT_QPA_PLATFORM=offscreen
e2e_need openssl cpack dpkg-deb setpriv
perl -MIO::Socket::SSL -e 1 2>/dev/null || fail "the mail client has no TLS support: install libio-socket-ssl-perl"
e2e_bg cpack 300 cpack --config "$E2E_BUILD/CPackConfig.cmake" -G DEB -B "$E2E_WORK/pkg"
cpack=$E2E_LAST_PID

cert="$E2E_WORK/cert.pem" key="$E2E_WORK/key.pem"
timeout 30 openssl req -x509 -newkey rsa:2048 -nodes -keyout "$key" -out "$cert" -days 2 \
    -subj /CN=localhost -addext 'subjectAltName=DNS:localhost,IP:127.0.0.1' \
    >"$E2E_WORK/openssl.log" 2>&1 || fail "openssl: $(cat "$E2E_WORK/openssl.log")"
e2e_start_sink plain
plain=$E2E_PORT
e2e_start_sink tls --starttls "$cert" "$key"
tls=$E2E_PORT
reply="554 5.7.1 <ops@example.org>: Relay access denied"
e2e_start_sink refuse --reject-rcpt "$reply"
refuse=$E2E_PORT
e2e_start_sink stall --delay 90 # takes the data, then says nothing
stall=$E2E_PORT
password="s3cret pass-$$"
printf '%s\n' "$password" >"$E2E_WORK/password"
# It holds the mail 1 s, so that the send is sampled while it runs.
e2e_start_sink login --delay 1 --auth mailer "$E2E_WORK/password"
login=$E2E_PORT
# A port that nobody listens on: taken from the system, then let go.
dead=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

declare -A pid home
unattended() { # NAME PORT [CONTROL=VALUE...]: a copy with an install folder of its own
    e2e_install_folder "$1"
    home[$1]=$E2E_HOME
    e2e_program "$1"
    e2e_unattended_profile "$@"
}
start() { # NAME [ENV=VALUE...]
    e2e_run "$1" 60 "${@:2}"
    pid[$1]=$E2E_LAST_PID
}
unattended TLS-SEND "$tls" TLS=yes
unattended TLS-UNTRUSTED "$tls" TLS=yes
unattended NO-SERVER "$dead"
sed -i '/^\[NO-SERVER\]/a MAIN-Left=40000' "$E2E_INI"
unattended REFUSED "$refuse"
unattended NO-CLIENT "$plain"
rm "${home[NO-CLIENT]}/SendEmail.exe"
unattended FIFO-LOG "$plain"
printf '#!/bin/sh\nexit 0\n' >"$E2E_WORK/quick"
chmod +x "$E2E_WORK/quick"
ln -sf "$E2E_WORK/quick" "${home[FIFO-LOG]}/SendEmail.exe"
mkfifo -m 600 "${home[FIFO-LOG]}/SENDEMAIL-LOG.txt"
head -c 3000 /dev/urandom >"$E2E_WORK/attachment.bin"
unattended STALLED "$stall" ATTACHMENT_TICKBOX=1 "FILE_ATTACHMENT_TEXTBOX=$E2E_WORK/attachment.bin"
start TLS-SEND "SSL_CERT_FILE=$cert"
start TLS-UNTRUSTED SSL_CERT_FILE=/nonexistent SSL_CERT_DIR=/nonexistent
start STALLED FHSW_SEND_TIMEOUT_SECONDS=4
for name in NO-SERVER REFUSED NO-CLIENT FIFO-LOG; do start "$name"; done

if [ "$(id -u)" = 0 ]; then
    user=fhsw-slim-e2e-x
    id -u $user >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin $user || fail "cannot create the user $user"
    other=$(id -u $user)
    as_other() { setpriv --reuid="$other" --regid="$other" --clear-groups sh -c "$1" || fail "as $user: $1"; }
    chmod 755 "$E2E_WORK"
    for name in LINKED SWAPPED; do
        unattended "$name" 9
        h=${home[$name]}
        if [ $name = LINKED ]; then chmod 1777 "$h"; else chmod 0777 "$h"; fi
        # Their script would leave a mark, with our rights.
        as_other "printf '\"/usr/bin/touch\" \"$E2E_WORK/ran-$name\"\\r\\n' >'$h/theirs.bat'"
        if [ $name = LINKED ]; then
            rm "$h/SENDEMAIL-RUNNER.BAT"
            as_other "ln -s '$h/theirs.bat' '$h/SENDEMAIL-RUNNER.BAT'"
        else
            as_other "mv -f '$h/theirs.bat' '$h/SENDEMAIL-RUNNER.BAT'"
        fi
        start "$name"
    done
else
    echo "NOTE: not root: no second user, no planted runner scripts, the package not installed"
fi

# ---- The Debian package ------------------------------------------------------
e2e_wait_exit "$cpack" 300 0
debs=("$E2E_WORK"/pkg/fh-sendwarden_*.deb)
[ -f "${debs[0]}" ] && [ "${#debs[@]}" = 1 ] || fail "no single package in $E2E_WORK/pkg: ${debs[*]}"
deb=${debs[0]}
prefix=$(sed -n 's/^set(CPACK_PACKAGING_INSTALL_PREFIX "\(.*\)")$/\1/p' "$E2E_BUILD/CPackConfig.cmake")
contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./|/|')
for f in bin/fh-sendwarden bin/fh-sendwarden-setup libexec/fh-sendwarden/fh-sendwarden-run \
    share/applications/fh-sendwarden.desktop share/icons/hicolor/128x128/apps/fh-sendwarden.png; do
    grep -qxF "$prefix/$f" <<<"$contents" || fail "the package lacks $prefix/$f; it holds: $contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in sendemail libio-socket-ssl-perl xdg-utils libqt6widgets6; do
    grep -qE "(^|, )$d( |,|$)" <<<"$depends" || fail "the package does not depend on $d: $depends"
done
dpkg-deb -x "$deb" "$E2E_WORK/root" || fail "cannot unpack $deb"
grep -q '^Exec=fh-sendwarden$' "$E2E_WORK/root$prefix/share/applications/fh-sendwarden.desktop" ||
    fail "the desktop entry does not start fh-sendwarden"
# The packaged setup tool runs (what it refuses: its unit tests).
timeout 10 "$E2E_WORK/root$prefix/bin/fh-sendwarden-setup" --help >/dev/null || fail "the packaged setup tool does not run"

program=$E2E_BUILD/fh-sendwarden
if [ "$(id -u)" = 0 ]; then
    # One package test at a time on this machine: the install is system-wide.
    exec 9>/tmp/fhsw-package-test.lock
    timeout 600 flock 9 || fail "another package test holds /tmp/fhsw-package-test.lock"
    if ! dpkg-query -W -f='${Status}' fh-sendwarden 2>/dev/null | grep -q "install ok installed"; then
        trap 'timeout 300 dpkg -r fh-sendwarden >/dev/null 2>&1 || echo "could not remove fh-sendwarden"; e2e_cleanup' EXIT
    fi
    e2e_bg apt 400 env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 \
        install -y --no-install-recommends "$deb"
    e2e_wait_exit "$E2E_LAST_PID" 420 0
    program=$prefix/bin/fh-sendwarden
fi
e2e_install_folder NIGHTLY-REPORT
mkdir "$E2E_WORK/alone"
cp "$program" "$E2E_WORK/alone/NIGHTLY-REPORT"
[ "$(id -u)" = 0 ] || cp "$E2E_BUILD/fh-sendwarden-run" "$E2E_WORK/alone/"
e2e_unattended_profile NIGHTLY-REPORT "$plain"
e2e_bg NIGHTLY-REPORT 60 "$E2E_WORK/alone/NIGHTLY-REPORT"
pid[NIGHTLY-REPORT]=$E2E_LAST_PID
log "package $(basename "$deb") checked; a copy of $program started"

# ---- Runner scripts run by fh-sendwarden-run --------------------------------
lines=(. .hidden ..two ...three . . 'MAIL FROM:<x@x.org>' 'RCPT TO:<evil@x.org>' DATA 'Subject: injected' '' 'evil text' .)
printf '%s\n' "${lines[@]}" >"$E2E_WORK/message.txt"
typed=$(printf '%s\\n' "${lines[@]}")
e2e_runner_send TXT-FILE "$plain" FILE_AS_MESSAGE_TICKBOX=1 "MESSAGE_FILE_LOCATION_TEXTBOX=$E2E_WORK/message.txt" \
    SMTP_PASSWORD_TEXTBOX=not-used
e2e_wait_exit "$E2E_LAST_PID" 30 0
e2e_runner_send TYPED "$plain" "MESSAGE_TEXTBOX=${typed%\\n}"
e2e_wait_exit "$E2E_LAST_PID" 30 0
e2e_wait_mail "$E2E_WORK/plain" 2 5
for n in 1 2; do e2e_mail "$E2E_WORK/plain" $n 'env["rcpt_tos"] == ["team@example.org"] and lines == want' -- "${lines[@]}"; done

e2e_runner_send LOGIN "$login" SMTP_USERNAME_TEXTBOX=mailer "SMTP_PASSWORD_TEXTBOX=$password"
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
            sys.exit("the password is on the command line of %s: %r" % (f, line.replace(b"\0", b" ")))
        seen += line.startswith(b"SendEmail.exe ") or b"/SendEmail.exe\0" in line
    samples += 1
print("%d samples of every command line, %d sightings of the mail client" % (samples, seen))
sys.exit(0 if seen >= 3 else 2)
PY
[ $? = 0 ] || fail "the password was readable, or the send was not sampled: $(cat "$E2E_WORK/samples.log")"
e2e_wait_exit "$runner" 30 0
e2e_wait_mail "$E2E_WORK/login" 1 5
e2e_mail "$E2E_WORK/login" 1 'env["login"] == "mailer"'
log "runner scripts: dots and SMTP commands arrive as written; $(cat "$E2E_WORK/samples.log")"

# ---- How each run ended --------------------------------------------------------
# outcome NAME STATUS [REASON]: NAME closed itself with STATUS after the status
# sequence of a run that was sent, or that failed for REASON (a pattern).
outcome() {
    local start="EMAIL AUTOSEND IN 10 SECS...|!!! AUTOSENDING EMAIL NOW !!!|" seen
    e2e_wait_exit "${pid[$1]}" 60
    seen=$(e2e_status_lines "$1" | grep -vxF '!!! SendEmail.exe IS RUNNING...!!!' | tr '\n' '|')
    [ "$E2E_RC" = "$2" ] || fail "$1 ended with status $E2E_RC, not $2 (124: it did not close by itself): $seen"
    case "$2:$seen" in
    0:"${start}COMPLETED...|!!! COMPLETED - CLOSING NOW !!!|") ;;
    [123]:"$start!!! SEND FAILED: "$3" !!!|!!! SEND FAILED - CLOSING NOW !!!|") ;;
    *) fail "$1's status sequence: $seen" ;;
    esac
    grep -v "^[0-9-]* [0-9:.]* fh-sendwarden\[$1\]: " "$E2E_WORK/$1.log" && fail "$1 wrote more than status lines"
    log "$1: $2 $(e2e_status_lines "$1" | grep -F 'SEND FAILED: ')"
}
outcome TLS-SEND 0
outcome TLS-UNTRUSTED 1 '*certificate verify failed*"A relay with a certificate of its own"*'
outcome NO-SERVER 1 "*127.0.0.1:$dead*Connection refused"
outcome REFUSED 1 "*The server replied: $reply"
outcome NO-CLIENT 1 "*SendEmail.exe*${home[NO-CLIENT]}"
outcome FIFO-LOG 2 "*${home[FIFO-LOG]}/SENDEMAIL-LOG.txt*"
outcome STALLED 3 '*timed out after 4 s*'
outcome NIGHTLY-REPORT 0
if [ "$(id -u)" = 0 ]; then
    outcome LINKED 2 "will not run ${home[LINKED]}/SENDEMAIL-RUNNER.BAT: it is a symbolic link*"
    outcome SWAPPED 2 "will not run ${home[SWAPPED]}/SENDEMAIL-RUNNER.BAT: it belongs to another user"
    [ -z "$(ls "$E2E_WORK" | grep '^ran-')" ] || fail "a script of the other user ran"
fi
# Only the trusted TLS send arrived; the server takes mail only after STARTTLS.
e2e_wait_mail "$E2E_WORK/tls" 1 5
[ "$(e2e_mail_count "$E2E_WORK/tls")" = 1 ] || fail "the TLS server took more than one mail"
e2e_mail "$E2E_WORK/tls" 1 'm["Subject"] == "TLS-SEND run"'
e2e_wait_mail "$E2E_WORK/plain" 3 5
e2e_mail "$E2E_WORK/plain" 3 'm["Subject"] == "NIGHTLY-REPORT run"'
[ "$(e2e_ini_value NO-SERVER MAIN-Left)" = 40000 ] || fail "a run without a display moved the stored place"
failed=$(e2e_status_lines STALLED | grep -m1 '^!!! SEND FAILED: ')
took=$(e2e_calc "$(e2e_status_time STALLED "$failed") - $(e2e_status_time STALLED '!!! AUTOSENDING EMAIL NOW !!!')")
[ "$(e2e_calc "$took > 3.9 && $took < 5.5")" = 1.000 ] || fail "STALLED timed out ${took}s after the launch"
pgrep -f -- "${home[STALLED]}" && fail "a process of the stalled run is still running"
echo "PASS: unattended runs without a display, runner scripts, the package"
