#!/bin/bash
# The Debian package and an unattended send without any display (no X
# server, no DISPLAY, no session runtime folder: Qt's offscreen platform).
# The package is built with CPack from the build folder, its contents,
# dependencies and setup tool checked, and installed with apt (as root); then
# a copy of the installed program in a folder of its own, with nothing beside
# it, sends a real mail and ends by itself: it finds the runner-script
# interpreter where the package put it. The package is removed afterwards
# unless it was installed before. Without root the install is left out and
# the build folder's program (its interpreter beside it) sends instead.
# Usage: test_package.sh BUILD_DIR
E2E_NAME=package
. "$(dirname "$0")/lib.sh" "$@"

e2e_need cpack dpkg-deb
[ -f "$E2E_BUILD/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $E2E_BUILD"
prefix=$(sed -n 's/^set(CPACK_PACKAGING_INSTALL_PREFIX "\(.*\)")$/\1/p' "$E2E_BUILD/CPackConfig.cmake")
[ -n "$prefix" ] || fail "the package configuration names no install prefix"

# ---- Build the package -----------------------------------------------------
e2e_bg cpack 400 cpack --config "$E2E_BUILD/CPackConfig.cmake" -G DEB -B "$E2E_WORK/pkg"
e2e_wait_exit "$E2E_LAST_PID" 420
[ "$E2E_RC" = 0 ] || fail "cpack failed with status $E2E_RC: $(tail -20 "$E2E_WORK/cpack.log")"
debs=("$E2E_WORK"/pkg/fh-sendwarden_*.deb)
[ -f "${debs[0]}" ] && [ "${#debs[@]}" = 1 ] || fail "no single package in $E2E_WORK/pkg: ${debs[*]}"
deb=${debs[0]}
log "package $(basename "$deb"), prefix $prefix"

# ---- What it holds and needs -------------------------------------------------
contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./|/|')
for f in "$prefix/bin/fh-sendwarden" "$prefix/bin/fh-sendwarden-setup" \
         "$prefix/libexec/fh-sendwarden/fh-sendwarden-run" \
         "$prefix/share/applications/fh-sendwarden.desktop" \
         "$prefix/share/icons/hicolor/128x128/apps/fh-sendwarden.png"; do
    grep -qxF "$f" <<<"$contents" || fail "the package lacks $f; it holds: $(tr '\n' ' ' <<<"$contents")"
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in sendemail libio-socket-ssl-perl xdg-utils libqt6widgets6 libqt6gui6 libqt6core6; do
    grep -qE "(^|, )$d( |,|$)" <<<"$depends" || fail "the package does not depend on $d: $depends"
done
root="$E2E_WORK/root"
dpkg-deb -x "$deb" "$root" || fail "cannot unpack $deb"
grep -q '^Exec=fh-sendwarden$' "$root$prefix/share/applications/fh-sendwarden.desktop" ||
    fail "the desktop entry does not start fh-sendwarden"

# The installed setup tool names every field, on request and on a wrong name.
setup="$root$prefix/bin/fh-sendwarden-setup"
help=$(XDG_CONFIG_HOME="$E2E_WORK/help-config" timeout 10 "$setup" --help) || fail "--help failed"
wrong=$(XDG_CONFIG_HOME="$E2E_WORK/help-config" timeout 10 "$setup" NIGHTLY NO_SUCH_FIELD=1 2>&1 </dev/null)
[ $? = 2 ] || fail "a wrong field name did not end with status 2"
for field in INSTALL_FOLDER_TEXTBOX:SENDEMAIL\ HOME SEND_TO_ADDRESS_TEXTBOX:To \
             SMTP_SERVER_ADDRESS_PORT_TEXTBOX:SMTP\ SERVER:PORT TLS:TLS AUTOSTART_TICKBOX:AutoStart \
             P4P_TICKBOX:Pause-4-Process\ SendEmail.exe FILE_ATTACHMENT_TEXTBOX:ATTACHMENT\ -\ FILE\ FULL\ LOCATION; do
    name=${field%%:*} caption=${field#*:}
    grep -qE "^  $name +\"$caption\"" <<<"$help" || fail "--help does not list $name as \"$caption\": $help"
    grep -qE "^  $name +\"$caption\"" <<<"$wrong" || fail "a wrong name does not list $name: $wrong"
done
grep -q "no such field: NO_SUCH_FIELD" <<<"$wrong" || fail "a wrong name is not named: $wrong"
if [ -e "$E2E_WORK/help-config/FH_SENDWARDEN.ini" ] && grep -q NO_SUCH "$E2E_WORK/help-config/FH_SENDWARDEN.ini"; then
    fail "a wrong field name was stored"
fi

program="$E2E_BUILD/fh-sendwarden" setup="$E2E_BUILD/fh-sendwarden-setup"
if [ "$(id -u)" = 0 ]; then
    # One package test at a time on this machine: the install is system-wide.
    exec 9>/tmp/fhsw-package-test.lock
    timeout 600 flock 9 || fail "another package test holds /tmp/fhsw-package-test.lock"
    was_installed=0
    dpkg-query -W -f='${Status}' fh-sendwarden 2>/dev/null | grep -q "install ok installed" && was_installed=1
    package_cleanup() {
        if [ "$was_installed" = 0 ]; then
            timeout 400 env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 \
                remove -y -qq fh-sendwarden >/dev/null 2>&1 || echo "could not remove the package fh-sendwarden"
        fi
        e2e_cleanup
    }
    trap package_cleanup EXIT
    e2e_bg apt 400 env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 \
        install -y --no-install-recommends "$deb"
    e2e_wait_exit "$E2E_LAST_PID" 420
    [ "$E2E_RC" = 0 ] || fail "apt-get install of the package failed with status $E2E_RC"
    for f in "$prefix/bin/fh-sendwarden" "$prefix/libexec/fh-sendwarden/fh-sendwarden-run"; do
        [ -x "$f" ] || fail "$f is not installed"
    done
    log "installed"
    program="$prefix/bin/fh-sendwarden" setup="$prefix/bin/fh-sendwarden-setup"
else
    echo "NOTE: not root: the package is not installed; the build's program sends instead"
fi

# ---- A copy of the program, alone in its folder, sends ----------------------
unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR
e2e_start_sink sink
e2e_install_folder "send home"
P=NIGHTLY-REPORT
mkdir -p "$E2E_WORK/bin"
cp "$program" "$E2E_WORK/bin/$P"
if [ "$(id -u)" = 0 ]; then
    [ "$(ls -A "$E2E_WORK/bin")" = "$P" ] || fail "the program's folder holds more than the program"
else
    cp "$E2E_BUILD/fh-sendwarden-run" "$E2E_WORK/bin/"
fi
timeout 30 "$setup" "$P" "INSTALL_FOLDER_TEXTBOX=$E2E_HOME" \
    SEND_FROM_ADDRESS_TEXTBOX=backup@example.org SEND_TO_ADDRESS_TEXTBOX=ops@example.org \
    "SUBJECT_TEXTBOX=Installed copy" 'MESSAGE_TEXTBOX=No screen here\nSecond line' \
    "SMTP_SERVER_ADDRESS_PORT_TEXTBOX=127.0.0.1:$E2E_PORT" \
    AUTOSTART_TICKBOX=1 AUTOCLOSE_TICKBOX=1 P4P_TICKBOX=1 SE_EXE_OUTPUT_WINDOW_TICKBOX=0 \
    >"$E2E_WORK/setup.log" 2>&1 </dev/null || fail "the setup tool failed: $(cat "$E2E_WORK/setup.log")"

e2e_run "$P" 90 -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen
prog=$E2E_LAST_PID
e2e_wait_exit "$prog" 80
seen=$(e2e_status_lines "$P" | tr '\n' '|')
[ "$E2E_RC" = 0 ] || fail "the copy ended with status $E2E_RC (124: it did not close by itself); it showed: $seen"
elapsed=$(e2e_calc "$E2E_EXIT_AT - $E2E_START_AT")
log "the copy ended by itself after ${elapsed}s"
expected="EMAIL AUTOSEND IN 10 SECS...|!!! AUTOSENDING EMAIL NOW !!!|"
[ "${seen#"$expected"}" != "$seen" ] || fail "the run did not start as expected: $seen"
e2e_status_lines "$P" | grep -qxF "COMPLETED..." || fail "no COMPLETED... status: $seen"
[ "$(e2e_status_lines "$P" | tail -1)" = "!!! COMPLETED - CLOSING NOW !!!" ] ||
    fail "the copy did not complete: $seen"

e2e_wait_mail "$E2E_WORK/sink" 1 10
[ "$(find "$E2E_WORK/sink" -name '*.json' | wc -l)" = 1 ] || fail "more than one mail was sent"
python3 - "$E2E_WORK/sink/001.eml" <<'PY' || fail "the received mail is not the saved one"
import email, sys
from email import policy
m = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=policy.default)
assert m["Subject"] == "Installed copy", m["Subject"]
lines = [l.rstrip("\r") for l in m.get_body(("plain",)).get_content().splitlines()]
assert lines[:2] == ["No screen here", "Second line"], lines
PY
grep -q "Email was sent successfully!" "$E2E_HOME/SENDEMAIL-LOG.txt" ||
    fail "the mail client's log has no success line"
# A scheduler's log gets the status lines and nothing of Qt's start-up.
others=$(grep -v "^[0-9-]* [0-9:.]* fh-sendwarden\[$P\]: " "$E2E_WORK/$P.log")
[ -z "$others" ] || fail "the scheduler's log holds more than status lines: $others"
echo "PASS: package checked$([ "$(id -u)" = 0 ] && echo ", installed"); a lone program copy sent a mail headless (${elapsed}s)"
