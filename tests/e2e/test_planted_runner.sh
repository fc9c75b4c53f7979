#!/bin/bash
# Runner scripts that another local user put in place of ours, in install
# folders that every user may write to; the program (AutoStart, that is
# START's countdown, and AutoClose) must not run them and must say why:
#  LINKED   a 1777 folder that lacks our script: the other user plants a
#           symbolic link named SENDEMAIL-RUNNER.BAT to a script of theirs;
#  SWAPPED  a 0777 folder: the other user renames their own script over ours
#           (the sticky bit of a 1777 folder forbids that).
# Needs root, for the second user (fhsw-linuxrun-x).
# Usage: test_planted_runner.sh BUILD_DIR
E2E_NAME=planted
. "$(dirname "$0")/lib.sh" "$@"

[ "$(id -u)" = 0 ] || { echo "SKIP: needs root to act as a second user"; exit 77; }
id -u fhsw-linuxrun-x >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin fhsw-linuxrun-x ||
    fail "cannot create the user fhsw-linuxrun-x"
other=$(id -u fhsw-linuxrun-x)
as_other() { setpriv --reuid="$other" --regid="$other" --clear-groups sh -c "$1" || fail "as the other user: $1"; }
chmod 755 "$E2E_WORK"
unset DISPLAY WAYLAND_DISPLAY

for case in "LINKED 1777" "SWAPPED 0777"; do
    set -- $case
    e2e_install_folder "$1"
    chmod "$2" "$E2E_HOME"
    e2e_program "$1"
    e2e_unattended_profile "$1" 9
    # Their script would leave a mark, with our rights.
    as_other "printf '\"/usr/bin/touch\" \"$E2E_WORK/ran-$1\"\\r\\n' >'$E2E_HOME/theirs.bat'"
    if [ "$1" = LINKED ]; then
        rm "$E2E_HOME/SENDEMAIL-RUNNER.BAT"
        as_other "ln -s '$E2E_HOME/theirs.bat' '$E2E_HOME/SENDEMAIL-RUNNER.BAT'"
        why="it is a symbolic link, not a file of yours"
    else
        as_other "mv -f '$E2E_HOME/theirs.bat' '$E2E_HOME/SENDEMAIL-RUNNER.BAT'"
        why="it belongs to another user"
    fi
    e2e_run "$1" 60 QT_QPA_PLATFORM=offscreen
    eval "pid_$1=\$E2E_LAST_PID why_$1=\"\$why\" home_$1=\$E2E_HOME"
done
for p in LINKED SWAPPED; do
    eval "pid=\$pid_$p why=\$why_$p home=\$home_$p"
    e2e_wait_exit "$pid" 40
    [ "$E2E_RC" = 2 ] || fail "$p ended with status $E2E_RC, not 2 (124: it did not close by itself)"
    e2e_status_lines "$p" | grep -qxF "!!! SEND FAILED: will not run $home/SENDEMAIL-RUNNER.BAT: $why !!!" ||
        fail "$p's status lines: $(e2e_status_lines "$p" | tr '\n' '|')"
    [ ! -e "$E2E_WORK/ran-$p" ] || fail "$p ran the other user's script"
    log "$p: $(e2e_status_lines "$p" | grep -F 'SEND FAILED: ')"
done
echo "PASS: a planted link and another user's script are refused, and the status says why"
