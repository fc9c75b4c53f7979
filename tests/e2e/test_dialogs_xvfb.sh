#!/bin/bash
# Every dialog of the real program under Xvfb and openbox: opened from its
# button, owned by and modal over the window that opened it, closed with
# Enter (OK) or Esc (Cancel/CANCEL), its position stored when it closes.
# Usage: test_dialogs_xvfb.sh BUILD_DIR
# With E2E_SHOTS=FOLDER a picture of the log manager is written there
# (log-manager.png).
E2E_NAME=dialogs
. "$(dirname "$0")/lib.sh" "$@"

P=DIALOGS
e2e_start_x 100
e2e_program "$P"
shots=${E2E_SHOTS:-$E2E_WORK}

e2e_run "$P" 90
prog=$E2E_LAST_PID
main=$(e2e_find_window "FH-SW - $P")

# open_dialog OWNER LEFT TOP WIDTH HEIGHT TITLE: clicks the button at that
# place in OWNER and leaves the dialog's window id in DLG.
open_dialog() {
    local owner=$1 title=$6 transient state
    e2e_click "$owner" "$2" "$3" "$4" "$5"
    DLG=$(e2e_find_window "$title" 10)
    transient=$(timeout 5 xprop -id "$DLG" WM_TRANSIENT_FOR 2>/dev/null | sed -n 's/.*window id # //p')
    [ -n "$transient" ] && [ $((transient)) = $((owner)) ] ||
        fail "'$title' is not owned by window $owner (WM_TRANSIENT_FOR: ${transient:-none})"
    state=$(timeout 5 xprop -id "$DLG" _NET_WM_STATE 2>/dev/null)
    grep -q _NET_WM_STATE_MODAL <<<"$state" || fail "'$title' is not modal: $state"
    log "opened '$title'"
}

# close_dialog KEY TITLE PREFIX: closes the dialog DLG with KEY, checks that it
# is gone and that its position was stored under PREFIX.
close_dialog() {
    local key=$1 title=$2 prefix=$3 fx fy
    e2e_frame_origin "$DLG"
    fx=$E2E_FX fy=$E2E_FY
    e2e_key "$DLG" "$key"
    e2e_window_gone "$title" 10
    e2e_expect_stored_pos "$P" "$prefix" "$fx" "$fy"
    log "closed '$title' with $key, position $fx,$fy stored"
}

# ---- Log manager: moved, modal over the main window, closed with Enter -----
open_dialog "$main" 1560 1920 1335 375 "FH-SENDWARDEN - LOG MANAGER"
e2e_move "$DLG" 420 320
e2e_click_at "$main" 5760 2400 1335 375                    # Settings, behind the dialog
sleep 1
timeout 5 xdotool search --onlyvisible --name '^FH-SENDWARDEN - SETTINGS - MAIN$' >/dev/null 2>&1 &&
    fail "the main window took a click while the log manager was open"
e2e_shot "$DLG" "$shots/log-manager.png"
close_dialog Return "FH-SENDWARDEN - LOG MANAGER" LOG_MANAGER

# ---- About: closed with Enter ----------------------------------------------
open_dialog "$main" 1560 2400 1335 255 "FH-SENDWARDEN - ABOUT"
close_dialog Return "FH-SENDWARDEN - ABOUT" ABOUT

# ---- Settings and its two dialogs -------------------------------------------
open_dialog "$main" 5760 2400 1335 375 "FH-SENDWARDEN - SETTINGS - MAIN"
settings=$DLG
e2e_move "$settings" 150 260
open_dialog "$settings" 4920 2700 2295 375 "FH-SENDWARDEN - SETTINGS - SHARED"
close_dialog Escape "FH-SENDWARDEN - SETTINGS - SHARED" SHARED-SETTINGS
open_dialog "$settings" 4920 2160 2295 375 "FH-SENDWARDEN - OUTPUT SETTINGS"
close_dialog Return "FH-SENDWARDEN - OUTPUT SETTINGS" OUTPUT_SETTINGS
DLG=$settings
close_dialog Escape "FH-SENDWARDEN - SETTINGS - MAIN" SETTINGS_MAIN
# CANCEL saved nothing.
[ -e "$E2E_WORK/SENDEMAIL-RUNNER.BAT" ] && fail "CANCEL wrote a runner script"
e2e_ini_value "$P" SEND_TO_ADDRESS_TEXTBOX >/dev/null && fail "CANCEL stored the settings fields"

e2e_no_keys_held
e2e_click "$main" 7320 2040 975 495                        # Exit
e2e_wait_exit "$prog" 10
[ "$E2E_RC" = 0 ] || fail "the program ended with status $E2E_RC after Exit"
echo "PASS: dialogs open, close and remember their places"
