#!/bin/bash
# TLS and a failing send, three copies of the program at once without a display:
#  TLS-SEND     TLS "yes" against a server that insists on STARTTLS, its
#               self-signed certificate trusted through SSL_CERT_FILE: the
#               mail arrives;
#  TLS-UNTRUSTED the same server, the certificate not trusted: the mail
#               client refuses, the log and the status line say why, and
#               the program closes itself with status 1;
#  NO-SERVER    nothing listens on the port: the same.
# Usage: test_tls_and_failure.sh BUILD_DIR
E2E_NAME=tls
. "$(dirname "$0")/lib.sh" "$@"

unset DISPLAY WAYLAND_DISPLAY
e2e_need openssl
perl -MIO::Socket::SSL -e 1 2>/dev/null ||
    fail "the mail client has no TLS support: install libio-socket-ssl-perl"

cert="$E2E_WORK/cert.pem" key="$E2E_WORK/key.pem"
timeout 30 openssl req -x509 -newkey rsa:2048 -nodes -keyout "$key" -out "$cert" -days 2 \
    -subj /CN=localhost -addext 'subjectAltName=DNS:localhost,IP:127.0.0.1' \
    >"$E2E_WORK/openssl.log" 2>&1 || fail "openssl: $(cat "$E2E_WORK/openssl.log")"
e2e_start_sink tls --starttls "$cert" "$key"
tls_port=$E2E_PORT
# A port that nobody listens on: taken from the system, then let go.
dead_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

e2e_install_folder tls-home
tls_home=$E2E_HOME
e2e_program TLS-SEND
e2e_unattended_profile TLS-SEND "$tls_port" TLS=yes

e2e_install_folder untrusted-home
untrusted_home=$E2E_HOME
e2e_program TLS-UNTRUSTED
e2e_unattended_profile TLS-UNTRUSTED "$tls_port" TLS=yes

e2e_install_folder dead-home
dead_home=$E2E_HOME
e2e_program NO-SERVER
e2e_unattended_profile NO-SERVER "$dead_port"

grep -q -- '-o tls=yes' "$tls_home/SENDEMAIL-RUNNER.BAT" || fail "TLS-SEND's runner script lacks -o tls=yes"

e2e_run TLS-SEND 90 QT_QPA_PLATFORM=offscreen "SSL_CERT_FILE=$cert"
p_tls=$E2E_LAST_PID
e2e_run TLS-UNTRUSTED 90 QT_QPA_PLATFORM=offscreen SSL_CERT_FILE=/nonexistent SSL_CERT_DIR=/nonexistent
p_untrusted=$E2E_LAST_PID
e2e_run NO-SERVER 90 QT_QPA_PLATFORM=offscreen
p_dead=$E2E_LAST_PID

for triple in "TLS-SEND $p_tls 0" "TLS-UNTRUSTED $p_untrusted 1" "NO-SERVER $p_dead 1"; do
    read -r name pid rc <<<"$triple"
    e2e_wait_exit "$pid" 80
    [ "$E2E_RC" = "$rc" ] || fail "$name ended with status $E2E_RC, not $rc (124: it did not close by itself)"
    seen=$(e2e_status_lines "$name" | tr '\n' '|')
    case "$rc:$seen" in
    0:*"!!! AUTOSENDING EMAIL NOW !!!|"*"COMPLETED...|!!! COMPLETED - CLOSING NOW !!!|") ;;
    1:*"!!! AUTOSENDING EMAIL NOW !!!|"*"!!! SEND FAILED: "*" !!!|!!! SEND FAILED - CLOSING NOW !!!|") ;;
    *) fail "$name's status sequence: $seen" ;;
    esac
    log "$name closed itself with status $rc"
done
e2e_status_lines TLS-UNTRUSTED |
    grep -q '^!!! SEND FAILED: .*certificate verify failed.*"A relay with a certificate of its own"' ||
    fail "TLS-UNTRUSTED's status does not give the mail client's reason and the remedy"

# Only the trusted TLS send delivered, and it did so over STARTTLS: the server
# refuses mail on a connection without it.
e2e_wait_mail "$E2E_WORK/tls" 1 5
[ "$(find "$E2E_WORK/tls" -name '*.json' | wc -l)" = 1 ] || fail "the TLS server got more than one mail"
grep -q '^Subject: TLS-SEND run' "$E2E_WORK/tls/001.eml" || fail "the TLS mail is not TLS-SEND's"
grep -q "STARTTLS" "$tls_home/SENDEMAIL-LOG.txt" || fail "TLS-SEND's log shows no STARTTLS"
grep -q "Email was sent successfully!" "$tls_home/SENDEMAIL-LOG.txt" || fail "TLS-SEND's log: no success"

grep -q "certificate verify failed" "$untrusted_home/SENDEMAIL-LOG.txt" ||
    fail "TLS-UNTRUSTED's log does not say that the certificate was refused"
grep -q "Email was sent successfully!" "$untrusted_home/SENDEMAIL-LOG.txt" &&
    fail "TLS-UNTRUSTED's log claims success"

grep -qi "connection refused" "$dead_home/SENDEMAIL-LOG.txt" ||
    fail "NO-SERVER's log does not say that the connection was refused"
grep -q "Email was sent successfully!" "$dead_home/SENDEMAIL-LOG.txt" && fail "NO-SERVER's log claims success"
log "NO-SERVER's log: $(grep -i 'connection refused' "$dead_home/SENDEMAIL-LOG.txt" | head -1 | sed 's/.*\(ERROR\)/\1/')"
echo "PASS: TLS send, untrusted certificate, unreachable server"
