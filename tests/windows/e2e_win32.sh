#!/usr/bin/env bash
# End-to-end test of the Windows program under Wine and Xvfb.
#
#   tests/windows/e2e_win32.sh BUILD_DIR     (a build of scripts/build-windows.sh)
#
# FH-SENDWARDEN.exe is installed as C:\FHSW\NIGHTLY-REPORT.exe, the stand-in
# mail client (sendemail_stub.cpp, sleeping 2 s) as C:\SendEmail\SendEmail.exe.
# First run, by hand: the main window at its stored place; Settings opened
# by a click, at the default place since its stored one is off every screen; Tab
# from the first field to the next; fields typed into; Enter presses SAVE,
# which writes both run files; Esc closes Settings on screen. "Send
# Email Now" runs the mail client. "Pause-4-Process" ticked by a click, START
# counts down and sends: the status goes "!!! SendEmail.exe IS RUNNING...!!!"
# then "COMPLETED..."; STOP. Always On Top puts the window above another
# program's. AutoStart and AutoClose ticked by clicks; the window moved and
# closed with Exit; the registry holds the new place and the options.
# Second run, unattended: the window opens where it was left (the place
# stored when it closed), counts down,
# sends and closes itself. Before all this, the renderer's own tests
# (win32_view_tests.exe) run in the same Wine, when they were built.
# The status texts come from the program's status log on stderr, which Wine
# hands through. Set FHSW_E2E_SHOT=FILE.png to keep a picture of the main
# window in FILE.png and one of Settings in FILE-settings.png.
E2E_NAME=win32
. "$(dirname "$0")/../e2e/lib.sh" "$@"

profile=NIGHTLY-REPORT
regkey="HKCU\\Software\\VB and VBA Program Settings\\FH_SENDWARDEN\\$profile"
exe="$E2E_BUILD/FH-SENDWARDEN.exe"
[ -f "$exe" ] || fail "no $exe: run scripts/build-windows.sh first"
e2e_need wine wineserver wineboot x86_64-w64-mingw32-g++-posix wmctrl

# ---- Wine: one prefix, one server for the whole run --------------------------
export WINEPREFIX="$E2E_WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'timeout 20 wineserver -k >/dev/null 2>&1; e2e_cleanup' EXIT

stub="$E2E_BUILD/sendemail_stub.exe"
[ "$stub" -nt "$E2E_SRC/tests/windows/sendemail_stub.cpp" ] ||
    timeout 300 x86_64-w64-mingw32-g++-posix -static -O2 -o "$stub" "$E2E_SRC/tests/windows/sendemail_stub.cpp" ||
    fail "cannot build the stub"

e2e_start_x 420
mkdir -p "$WINEPREFIX"
e2e_bg wineserver 420 wineserver -p -f
timeout 120 wineboot -i >"$E2E_WORK/wineboot.log" 2>&1 || fail "wineboot did not make the prefix"

# The renderer's own tests, when built (scripts/test-windows-e2e.sh does).
tests_log="$E2E_WORK/view-tests.log"
if [ -f "$E2E_BUILD/win32_view_tests.exe" ]; then
    timeout 120 wine "$E2E_BUILD/win32_view_tests.exe" >"$tests_log" 2>&1 ||
        { tr -d '\r' <"$tests_log" | tail -40; fail "tests of the Win32 renderer"; }
    log "tests of the Win32 renderer: $(tr -d '\r' <"$tests_log" | grep -F '[  PASSED  ]')"
fi

drive="$WINEPREFIX/drive_c"
mkdir -p "$drive/FHSW" "$drive/SendEmail"
cp "$exe" "$drive/FHSW/$profile.exe"
cp "$stub" "$drive/SendEmail/SendEmail.exe"
export FHSW_STUB_RECORD='C:\stub-record.txt' FHSW_STUB_SLEEP_MS=2000
record="$drive/stub-record.txt"

# The fields of Settings, stored beforehand; the subject is finished by typing.
cat >"$E2E_WORK/seed.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\FH_SENDWARDEN\\$profile]
"INSTALL_FOLDER_TEXTBOX"="C:\\\\SendEmail"
"SMTP_SERVER_ADDRESS_PORT_TEXTBOX"="127.0.0.1:2525"
"SEND_FROM_ADDRESS_TEXTBOX"="robot@example.org"
"SEND_TO_ADDRESS_TEXTBOX"="team@example.org"
"SUBJECT_TEXTBOX"="Nightly"
"MESSAGE_TEXTBOX"="All jobs ran."
"MAIN-Left"="1500"
"MAIN-Top"="1200"
"SETTINGS_MAIN-Left"="-1000000000"
REG
timeout 60 wine reg import "$E2E_WORK/seed.reg" >/dev/null 2>&1 || fail "cannot seed the registry"

# reg_value NAME: the stored text of NAME in the Profile (status 1 if none).
# The whole answer goes to a file, shown when the test fails (a pipe could be
# held open by Wine's helper processes).
reg_answer="$E2E_WORK/reg-query.log"
E2E_LOGS+=("$reg_answer")
reg_value() {
    timeout 60 wine reg query "$regkey" /v "$1" >"$reg_answer" 2>&1
    tr -d '\r' <"$reg_answer" | sed -n "s/^ *$1 *REG_SZ *//p" | grep .
}
# near A B MOST: whether A and B differ by MOST or less.
near() { [ $(($1 - $2)) -le "$3" ] && [ $(($2 - $1)) -le "$3" ]; }
# The status log comes with CR LF line ends (a Windows text stream).
start_program() {
    e2e_bg "$profile" 120 bash -c 'set -o pipefail; wine "$0" 2>&1 | sed -u "s/\r\$//"' "C:\\FHSW\\$profile.exe"
    app=$E2E_LAST_PID
    win=$(e2e_find_window "FH-SW - $profile" 60)
}

# ---- First run: by hand -----------------------------------------------------
start_program
e2e_wait_status "$profile" "READY..." 10
# Wine's own idea of the frame and the window manager's may differ by a few
# pixels: allow 4 here and below.
e2e_frame_origin "$win"
near "$E2E_FX" 100 4 && near "$E2E_FY" 80 4 ||
    fail "main window frame at $E2E_FX,$E2E_FY, stored at 1500,1200 twips = 100,80 px"
e2e_click "$win" 5760 2400 1335 375    # Settings
settings=$(e2e_find_window "FH-SENDWARDEN - SETTINGS - MAIN" 20)
# Its stored place is off every screen: it opens at the default place instead.
e2e_frame_origin "$settings"
near "$E2E_FX" 67 4 && near "$E2E_FY" 67 4 || fail "Settings opened at $E2E_FX,$E2E_FY, not at 1000,1000 twips"
# The first field has the focus; Tab goes on in the order of the controls.
e2e_key "$settings" Tab End
e2e_type "$settings" ".uk"
e2e_click "$settings" 120 3375 8100 315    # the subject field
e2e_key "$settings" End
e2e_type "$settings" " report"
e2e_key "$settings" Return    # SAVE is the default button
runner="$drive/SendEmail/SENDEMAIL-RUNNER.BAT" message="$drive/SendEmail/SENDEMAIL-MESSAGE.txt"
e2e_until 10 "SAVE wrote no SENDEMAIL-RUNNER.BAT" [ -s "$runner" ]
e2e_until 10 "SAVE wrote no SENDEMAIL-MESSAGE.txt" [ -s "$message" ]
[ "$(cat "$message")" = $'All jobs ran.\r' ] || fail "message file holds: $(od -c "$message" | head -3)"
for want in 'SendEmail.exe' 'team@example.org' 'robot@example.org' 'Nightly report' '127.0.0.1:2525'; do
    grep -qF -- "$want" "$runner" || fail "runner script lacks '$want': $(tail -1 "$runner")"
done
grep -q $'\r$' "$runner" || fail "runner script has no CR LF line ends"
[ -n "${FHSW_E2E_SHOT:-}" ] && e2e_shot "$settings" "${FHSW_E2E_SHOT%.png}-settings.png"
log "Settings opened at the default place; SAVE wrote both run files with the typed subject"
e2e_key "$settings" Escape    # CANCEL (now "Close") is the cancel button
e2e_window_gone "FH-SENDWARDEN - SETTINGS - MAIN" 10
left=$(reg_value SETTINGS_MAIN-Left) && near "${left%%.*}" 1000 100 ||
    fail "Settings closed at SETTINGS_MAIN-Left=${left:-(none)}, not on screen"

e2e_click "$win" 5760 1920 1335 375    # Send Email Now: launches at once, unwatched
e2e_until 10 "Send Email Now did not run the mail client" grep -qs '^ARGC ' "$record"
for want in '-t' 'team@example.org' 'Nightly report'; do
    grep -qxF -- "${#want}:$want" "$record" || fail "SendEmail.exe was not given '$want': $(cat "$record")"
done

e2e_click "$win" 4080 2400 1575 375    # Pause-4-Process: watch the mail client
e2e_click "$win" 8520 1920 1095 735    # START: the countdown, then the watched send
e2e_wait_status "$profile" "EMAIL AUTOSEND IN 10 SECS..." 5
e2e_wait_status "$profile" "!!! AUTOSENDING EMAIL NOW !!!" 15
e2e_wait_status "$profile" "!!! SendEmail.exe IS RUNNING...!!!" 10
[ -n "${FHSW_E2E_SHOT:-}" ] && e2e_shot "$win" "$FHSW_E2E_SHOT"
e2e_wait_status "$profile" "COMPLETED..." 20
ran=$(e2e_calc "$(e2e_status_time "$profile" "COMPLETED...") - $(e2e_status_time "$profile" "!!! SendEmail.exe IS RUNNING...!!!")")
[ "$(e2e_calc "$ran >= 1.0 && $ran < 6")" = 1.000 ] || fail "SendEmail.exe (sleeping 2 s) was watched for ${ran}s"
log "START: countdown, RUNNING for ${ran}s, then COMPLETED"
e2e_click "$win" 8520 1920 1095 735    # STOP: the tick boxes come back
e2e_wait_status "$profile" "!!! ABORTED !!!" 5

# Always On Top: once another window is in front, the main window is put in
# the topmost band, which Wine hands to the window manager.
anchor="$E2E_BUILD/bench/fhsw-win32-anchor.exe"
above() { timeout 5 xprop -id "$win" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
if [ -f "$anchor" ]; then
    above && fail "the main window is topmost before Always On Top was ticked"
    e2e_click "$win" 3000 2400 975 495    # Always On Top
    cp "$anchor" "$drive/FHSW/OTHER.exe"
    e2e_bg other 60 wine 'C:\FHSW\OTHER.exe' OTHER
    other=$(e2e_find_window OTHER 30)
    e2e_activate "$other"
    e2e_until 10 "Always On Top did not put the main window above another program's" above
    timeout 5 wmctrl -i -c "$other"
    log "Always On Top: the main window went above another program's window"
fi
e2e_click "$win" 3000 1920 1095 195    # AutoStart
e2e_click "$win" 3000 2160 1095 195    # AutoClose (enabled by ticking AutoStart)
e2e_move "$win" 180 140
moved_x=$E2E_FX moved_y=$E2E_FY
e2e_click "$win" 7320 2040 975 495    # Exit
e2e_wait_exit "$app" 20 0
# The place is stored in twips, 15 to the pixel.
left=$(reg_value MAIN-Left) && top=$(reg_value MAIN-Top) &&
    near "${left%%.*}" $((moved_x * 15)) 60 && near "${top%%.*}" $((moved_y * 15)) 60 ||
    fail "MAIN stored at ${left:-?},${top:-?} twips; the frame was moved to $moved_x,$moved_y px"
for pair in AUTOSTART_TICKBOX=1 AUTOCLOSE_TICKBOX=1 P4P_TICKBOX=1 AlwaysOnTopTimer_TICKBOX=1 \
            SUBJECT_TEXTBOX='Nightly report' SEND_FROM_ADDRESS_TEXTBOX=robot@example.org.uk \
            'SE_RUNNER_BAT_LOCATION_TEXTBOX="C:\SendEmail\SENDEMAIL-RUNNER.BAT"'; do
    got=$(reg_value "${pair%%=*}") || got="(none)"
    [ "$got" = "${pair#*=}" ] || fail "registry ${pair%%=*} = '$got', expected '${pair#*=}'"
done
log "moved to $moved_x,$moved_y and closed with Exit: the registry holds the place ($left,$top) and the options"

# ---- Second run: unattended -------------------------------------------------
start_program
e2e_frame_origin "$win"
near "$E2E_FX" "$moved_x" 4 && near "$E2E_FY" "$moved_y" 4 ||
    fail "reopened at $E2E_FX,$E2E_FY, left at $moved_x,$moved_y"
for status in "EMAIL AUTOSEND IN 10 SECS..." "!!! AUTOSENDING EMAIL NOW !!!" \
              "!!! SendEmail.exe IS RUNNING...!!!" "COMPLETED..." "!!! COMPLETED - CLOSING NOW !!!"; do
    e2e_wait_status "$profile" "$status" 15
done
e2e_wait_exit "$app" 20 0
[ "$(grep -c '^ARGC ' "$record")" = 3 ] || fail "the mail client ran $(grep -c '^ARGC ' "$record") times, not 3"
log "unattended run: reopened in place, counted down, sent and closed itself"
echo "PASS"
