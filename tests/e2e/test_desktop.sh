#!/bin/bash
# The real program under Xvfb and openbox, driven by mouse and keyboard, with
# the real mail client and a loopback SMTP server that holds each mail 2 s:
#  BACKUP          an unattended run (AutoStart, AutoClose, Pause-4-Process):
#                  during its countdown the Log Manager opens the log in a
#                  viewer that stays open (a stand-in xdg-open), while a
#                  click on the main window behind it is not taken; the run
#                  still completes as soon as the mail client ends, closes
#                  itself 10 s later with status 0 after exactly the
#                  status sequence of a run, and the mail arrives as saved: To, Cc, no Bcc, the
#                  attachment, "Grüße, café" in subject and body;
#  NIGHTLY-REPORT, WEEKLY-REPORT  meanwhile, one program file under two
#                  names: each window titled and placed by its own profile,
#                  a new name at the default place, a place stored off every
#                  screen replaced by the default one, places stored by the
#                  close control and by Exit; Settings left with Esc stores
#                  its place and nothing else;
#  FH-SENDWARDEN   meanwhile too, Settings typed into, the shared profile
#                  imported through SHARED SETTINGS, OUTPUT SETTINGS, SAVE;
#                  START then STOP sends nothing; Pause-4-Process and Always
#                  On Top stored as they are ticked; About; Always On Top
#                  takes another program's window, itself on top, out of
#                  the top band and puts the main window in; then (BACKUP
#                  done) START sends what was typed, and READY follows.
# Every dialog is owned by and modal over its opener, closes with Enter (OK),
# Esc (Cancel) or OK, and stores its place.
# Usage: test_desktop.sh BUILD_DIR
E2E_NAME=desktop
. "$(dirname "$0")/lib.sh" "$@"

e2e_need wmctrl xterm
e2e_start_x 200
e2e_start_sink sink --delay 2
port=$E2E_PORT
e2e_install_folder desk-home
desk_home=$E2E_HOME
# The shared profile that FH-SENDWARDEN imports; a place off every screen.
(umask 077 && cat >"$E2E_INI") <<EOF
[FH_SW_SHARED_SETTINGS]
INSTALL_FOLDER_TEXTBOX=$desk_home
SMTP_SERVER_ADDRESS_PORT_TEXTBOX=127.0.0.1:$port
SEND_FROM_ADDRESS_TEXTBOX=desk@example.org

[WEEKLY-REPORT]
MAIN-Left=1e30
EOF

# open_dialog OWNER LEFT TOP WIDTH HEIGHT TITLE: clicks the button at that
# place in OWNER and leaves the dialog's window id in DLG.
open_dialog() {
    local transient
    e2e_click "$1" "$2" "$3" "$4" "$5"
    DLG=$(e2e_find_window "$6" 10)
    transient=$(timeout 5 xprop -id "$DLG" WM_TRANSIENT_FOR 2>/dev/null | sed -n 's/.*window id # //p')
    [ $((${transient:-0})) = $(($1)) ] || fail "'$6' is not owned by window $1 (WM_TRANSIENT_FOR: ${transient:-none})"
    timeout 5 xprop -id "$DLG" _NET_WM_STATE | grep -q _NET_WM_STATE_MODAL || fail "'$6' is not modal"
}

# close_dialog KEY|"LEFT TOP WIDTH HEIGHT" TITLE PROFILE PREFIX: closes the
# dialog DLG with KEY or a click on that button; its place is stored.
close_dialog() {
    local fx fy
    e2e_frame_origin "$DLG"
    fx=$E2E_FX fy=$E2E_FY
    if [[ $1 == *' '* ]]; then e2e_click "$DLG" $1; else e2e_key "$DLG" "$1"; fi
    e2e_window_gone "$2" 10
    e2e_expect_stored_pos "$3" "$4" "$fx" "$fy"
}

stored() { [ "$(e2e_ini_value "$1" "$2")" = "$3" ]; } # PROFILE KEY VALUE

# ---- BACKUP: the log opened during an unattended run's countdown ----------
mkdir -p "$E2E_WORK/viewer-bin" "$E2E_WORK/files"
cat >"$E2E_WORK/viewer-bin/xdg-open" <<EOF
#!/bin/sh
echo \$\$ >"$E2E_WORK/viewer.pid"
printf '%s\n' "\$@" >"$E2E_WORK/viewer.args"
exec sleep 150
EOF
chmod +x "$E2E_WORK/viewer-bin/xdg-open"
att="$E2E_WORK/files/nightly report.bin"
head -c 5000 /dev/urandom >"$att"
printf 'end\r\n\0\377' >>"$att"
e2e_install_folder backup-home
backup_home=$E2E_HOME
: >"$backup_home/SENDEMAIL-LOG.txt"
e2e_program BACKUP
e2e_unattended_profile BACKUP "$port" SEND_TO_ADDRESS_TEXTBOX=ops@example.org,boss@example.org \
    SEND_CC_ADDRESS_TEXTBOX=cc@example.org SEND_BCC_ADDRESS_TEXTBOX=hidden@example.org \
    "SUBJECT_TEXTBOX=Grüße, café" 'MESSAGE_TEXTBOX=Grüße, café\nñ ÿ' \
    ATTACHMENT_TICKBOX=1 "FILE_ATTACHMENT_TEXTBOX=$att"
# The message file travels as ISO-8859-1, the charset the mail client declares.
[ "$(od -An -tx1 "$backup_home/SENDEMAIL-MESSAGE.txt" | tr -d ' \n')" = 4772fcdf652c20636166e90d0af120ff0d0a ] ||
    fail "the message file is not ISO-8859-1: $(od -c "$backup_home/SENDEMAIL-MESSAGE.txt")"
e2e_run BACKUP 90 "PATH=$E2E_WORK/viewer-bin:$PATH"
backup=$E2E_LAST_PID
main=$(e2e_find_window "FH-SW - BACKUP")
open_dialog "$main" 1560 1920 1335 375 "FH-SENDWARDEN - LOG MANAGER"
e2e_move "$DLG" 420 320
e2e_click_at "$main" 8520 1920 1095 735 # STOP, behind the dialog: an abort would show below
e2e_click "$DLG" 120 735 3195 375       # Open Log In Notepad
e2e_until 10 "the Log Manager started no viewer" test -s "$E2E_WORK/viewer.pid"
viewer=$(cat "$E2E_WORK/viewer.pid")
[ "$(cat "$E2E_WORK/viewer.args")" = "$backup_home/SENDEMAIL-LOG.txt" ] ||
    fail "the viewer was asked to open: $(cat "$E2E_WORK/viewer.args")"
# OK (Enter would press the focused button again).
close_dialog "120 1230 3195 375" "FH-SENDWARDEN - LOG MANAGER" BACKUP LOG_MANAGER
log "BACKUP: log open in the stand-in viewer during the countdown"

# ---- NIGHTLY-REPORT, WEEKLY-REPORT: profiles by program name ---------------
# expect_frame_at WIN X Y: the window's frame is at X,Y (pixels, +-2).
expect_frame_at() {
    e2e_frame_origin "$1"
    [ $(((E2E_FX - $2) ** 2 + (E2E_FY - $3) ** 2)) -le 8 ] ||
        fail "window $1 opened at $E2E_FX,$E2E_FY, not at $2,$3"
}
e2e_program NIGHTLY-REPORT
e2e_program WEEKLY-REPORT
e2e_run NIGHTLY-REPORT 60
nightly=$E2E_LAST_PID
win=$(e2e_find_window "FH-SW - NIGHTLY-REPORT")
sleep 0.3
expect_frame_at "$win" 67 67 # a new name: the default place, 1000 twips
open_dialog "$win" 5760 2400 1335 375 "FH-SENDWARDEN - SETTINGS - MAIN"
close_dialog Escape "FH-SENDWARDEN - SETTINGS - MAIN" NIGHTLY-REPORT SETTINGS_MAIN
e2e_ini_value NIGHTLY-REPORT SEND_TO_ADDRESS_TEXTBOX >/dev/null && fail "CANCEL stored the settings fields"
e2e_move "$win" 300 200
moved_x=$E2E_FX moved_y=$E2E_FY
timeout 10 wmctrl -c "FH-SW - NIGHTLY-REPORT" || fail "wmctrl could not close the window"
e2e_wait_exit "$nightly" 10 0
e2e_run WEEKLY-REPORT 60
weekly=$E2E_LAST_PID
e2e_run NIGHTLY-REPORT 60
nightly=$E2E_LAST_PID
wwin=$(e2e_find_window "FH-SW - WEEKLY-REPORT")
nwin=$(e2e_find_window "FH-SW - NIGHTLY-REPORT")
sleep 0.3
expect_frame_at "$nwin" "$moved_x" "$moved_y"
expect_frame_at "$wwin" 67 67 # its stored place is off every screen
e2e_click "$wwin" 7320 2040 975 495 # Exit
e2e_wait_exit "$weekly" 10 0
timeout 10 wmctrl -c "FH-SW - NIGHTLY-REPORT" || fail "wmctrl could not close the window"
e2e_wait_exit "$nightly" 10 0
e2e_expect_stored_pos WEEKLY-REPORT MAIN 67 67
e2e_expect_stored_pos NIGHTLY-REPORT MAIN "$moved_x" "$moved_y"
log "profiles by program name: places kept apart"

# ---- FH-SENDWARDEN: Settings, dialogs, STOP, Always On Top -----------------
P=FH-SENDWARDEN
e2e_program "$P"
e2e_run "$P" 150
prog=$E2E_LAST_PID
main=$(e2e_find_window "FH-SW - $P")
open_dialog "$main" 5760 2400 1335 375 "FH-SENDWARDEN - SETTINGS - MAIN"
settings=$DLG
e2e_move "$settings" 150 260
open_dialog "$settings" 4920 2700 2295 375 "FH-SENDWARDEN - SETTINGS - SHARED"
e2e_click "$DLG" 120 3480 3255 495 # IMPORT THESE SHARED SETTINGS
close_dialog Escape "FH-SENDWARDEN - SETTINGS - SHARED" "$P" SHARED-SETTINGS
field() { # LEFT TOP WIDTH HEIGHT TEXT
    e2e_click "$settings" "$1" "$2" "$3" "$4"
    e2e_key "$settings" ctrl+a
    e2e_type "$settings" "$5"
}
field 720 1620 3975 315 "team@example.org" # To
field 120 3375 8100 315 "Typed by hand"    # subject
field 120 3735 8100 600 "First typed line" # message
e2e_key "$settings" ctrl+Return            # a new line in the message
e2e_type "$settings" "Second typed line"
open_dialog "$settings" 4920 2160 2295 375 "FH-SENDWARDEN - OUTPUT SETTINGS"
close_dialog Return "FH-SENDWARDEN - OUTPUT SETTINGS" "$P" OUTPUT_SETTINGS
sleep 1 # a composer tick after the last keystroke
e2e_click "$settings" 8340 3900 1275 435 # SAVE
e2e_until 5 "SAVE wrote no runner script into $desk_home" test -s "$desk_home/SENDEMAIL-RUNNER.BAT"
stored "$P" INSTALL_FOLDER_TEXTBOX "$desk_home" && stored "$P" SUBJECT_TEXTBOX "Typed by hand" ||
    fail "SAVE did not store the imported and the typed fields"
DLG=$settings
close_dialog Escape "FH-SENDWARDEN - SETTINGS - MAIN" "$P" SETTINGS_MAIN

e2e_click "$main" 8520 1920 1095 735 # START
e2e_wait_status "$P" "EMAIL AUTOSEND IN 10 SECS..." 5
e2e_click "$main" 8520 1920 1095 735 # STOP
e2e_wait_status "$P" "!!! ABORTED !!!" 5
t_start=$(e2e_status_time "$P" "EMAIL AUTOSEND IN 10 SECS...")
e2e_click "$main" 4080 2400 1575 375 # Pause-4-Process
e2e_until 3 "ticking Pause-4-Process stored no 1" stored "$P" P4P_TICKBOX 1
open_dialog "$main" 1560 2400 1335 255 "FH-SENDWARDEN - ABOUT"
close_dialog Return "FH-SENDWARDEN - ABOUT" "$P" ABOUT

above() { timeout 5 xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
e2e_click "$main" 3000 2400 975 495 # Always On Top
e2e_until 3 "ticking Always On Top stored no 1" stored "$P" AlwaysOnTopTimer_TICKBOX 1
sleep 1.5
above "$main" && fail "the main window went on top while it was in front"
e2e_bg xterm 60 xterm -geometry 30x4+500+400 -title fhsw-other -e sleep 50
other=$(e2e_find_window fhsw-other)
on_top() { timeout 5 wmctrl -i -r "$other" -b add,above && above "$other"; }
e2e_until 5 "wmctrl could not put the xterm on top" on_top
e2e_activate "$other"
over() { above "$main" && e2e_not above "$other"; }
e2e_until 5 "Always On Top did not take the xterm out of the top band and put the main window in" over
log "$P: settings saved, dialogs closed, Always On Top over another program's window"

# The countdown that STOP ended has not launched: no run, nothing sent.
rest=$(e2e_calc "$t_start + 11 - $(date +%s.%N)")
[[ $rest == -* ]] || sleep "$rest"
[ "$(e2e_status_lines "$P" | tail -1)" = "!!! ABORTED !!!" ] ||
    fail "after STOP the status moved on: $(e2e_status_lines "$P" | tr '\n' '|')"

# ---- BACKUP's outcome ------------------------------------------------------
e2e_wait_exit "$backup" 60 0
kill -0 "$viewer" 2>/dev/null || fail "the viewer ended before the program: the test proves nothing"
kill "$viewer"
seen=$(e2e_status_lines BACKUP | tr '\n' '|')
[ "$seen" = "EMAIL AUTOSEND IN 10 SECS...|!!! AUTOSENDING EMAIL NOW !!!|!!! SendEmail.exe IS RUNNING...!!!|COMPLETED...|!!! COMPLETED - CLOSING NOW !!!|" ] ||
    fail "BACKUP's status sequence: $seen"
# A 10 s countdown, the send, a 10 s wait; the end of the send seen at once
# (the viewer, still open, holds nothing up).
t_count=$(e2e_status_time BACKUP "EMAIL AUTOSEND IN 10 SECS...")
t_launch=$(e2e_status_time BACKUP "!!! AUTOSENDING EMAIL NOW !!!")
t_done=$(e2e_status_time BACKUP "COMPLETED...")
t_close=$(e2e_status_time BACKUP "!!! COMPLETED - CLOSING NOW !!!")
t_mail=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["time"])' "$E2E_WORK/sink/001.json")
count=$(e2e_calc "$t_launch - $t_count") send=$(e2e_calc "$t_done - $t_launch")
wait=$(e2e_calc "$t_close - $t_done") lag=$(e2e_calc "$t_done - $t_mail")
log "BACKUP: countdown ${count}s, send ${send}s, wait ${wait}s; COMPLETED... ${lag}s after the mail arrived"
[ "$(e2e_calc "$count > 9.9 && $count < 10.5 && $send >= 2 && $wait > 9.9 && $wait < 10.5 && $lag < 5")" = 1.000 ] ||
    fail "BACKUP's timing is off"
e2e_mail "$E2E_WORK/sink" 1 'env["mail_from"] == "backup@example.org"' \
    'sorted(env["rcpt_tos"]) == ["boss@example.org", "cc@example.org", "hidden@example.org", "ops@example.org"]' \
    '[a.addr_spec for h in ("From", "Reply-To") for a in m[h].addresses] == ["backup@example.org"] * 2' \
    '[a.addr_spec for a in m["To"].addresses] == ["ops@example.org", "boss@example.org"]' \
    '[a.addr_spec for a in m["Cc"].addresses] == ["cc@example.org"]' \
    'm["Bcc"] is None and b"hidden@example.org" not in raw' \
    'm["Subject"] == "Grüße, café" and lines == ["Grüße, café", "ñ ÿ"]' \
    '[(p.get_filename(), p.get_content()) for p in m.iter_attachments()] == [("nightly report.bin", open(want[0], "rb").read())]' \
    -- "$att"

# ---- FH-SENDWARDEN: START sends what was typed -----------------------------
e2e_click "$main" 8520 1920 1095 735 # START
e2e_wait_status "$P" "COMPLETED..." 25
e2e_wait_mail "$E2E_WORK/sink" 2 5
e2e_mail "$E2E_WORK/sink" 2 'env["mail_from"] == "desk@example.org" and env["rcpt_tos"] == ["team@example.org"]' \
    'm["Subject"] == "Typed by hand" and lines == ["First typed line", "Second typed line"]'
# AutoClose is not ticked: 10 s after the send the window is ready again.
e2e_wait_status "$P" "READY..." 15 2
e2e_click "$main" 7320 2040 975 495 # Exit
e2e_wait_exit "$prog" 10 0
echo "PASS: the program through its windows, an unattended run, profiles by name, Always On Top"
