#!/bin/bash
# One program file copied under two names is two independent mailers: each
# copy's window is titled with its file name, keeps its own position in its
# own section of the settings file, and a new name starts from the defaults;
# a place stored off every screen gives way to the default place.
# Usage: test_profiles_by_name.sh BUILD_DIR
E2E_NAME=profiles
. "$(dirname "$0")/lib.sh" "$@"

e2e_need wmctrl
e2e_start_x 100
e2e_program NIGHTLY-REPORT
e2e_program WEEKLY-REPORT

# expect_frame_at WIN X Y: the window's frame is at X,Y (pixels, +-2).
expect_frame_at() {
    e2e_frame_origin "$1"
    [ $((E2E_FX - $2)) -le 2 ] && [ $(($2 - E2E_FX)) -le 2 ] &&
        [ $((E2E_FY - $3)) -le 2 ] && [ $(($3 - E2E_FY)) -le 2 ] ||
        fail "window $1 opened at $E2E_FX,$E2E_FY, expected $2,$3"
}

# ---- A first start under a new name, moved and closed by its close control --
e2e_run NIGHTLY-REPORT 60
nightly=$E2E_LAST_PID
win=$(e2e_find_window "FH-SW - NIGHTLY-REPORT")
sleep 0.3
expect_frame_at "$win" 67 67            # 1000 twips
e2e_ini_value NIGHTLY-REPORT MAIN-Left >/dev/null && fail "MAIN-Left stored before the window closed"
e2e_move "$win" 300 200
moved_x=$E2E_FX moved_y=$E2E_FY
[ "$moved_x" -ge 290 ] && [ "$moved_y" -ge 190 ] || fail "the window did not move: $moved_x,$moved_y"
log "NIGHTLY-REPORT moved to $moved_x,$moved_y"
timeout 10 wmctrl -c "FH-SW - NIGHTLY-REPORT" || fail "wmctrl could not close the window"
e2e_wait_exit "$nightly" 10
[ "$E2E_RC" = 0 ] || fail "NIGHTLY-REPORT ended with status $E2E_RC"
e2e_expect_stored_pos NIGHTLY-REPORT MAIN "$moved_x" "$moved_y"
for key in AUTOSTART_TICKBOX AUTOCLOSE_TICKBOX SE_EXE_OUTPUT_WINDOW_TICKBOX P4P_TICKBOX; do
    [ "$(e2e_ini_value NIGHTLY-REPORT "$key")" = 0 ] || fail "closing did not store $key=0"
done
e2e_ini_value NIGHTLY-REPORT SE_RUNNER_BAT_LOCATION_TEXTBOX >/dev/null ||
    fail "closing did not store SE_RUNNER_BAT_LOCATION_TEXTBOX"

# ---- Both names at once: the new one at the defaults, the old one where it was
e2e_run WEEKLY-REPORT 60
weekly=$E2E_LAST_PID
e2e_run NIGHTLY-REPORT 60
nightly=$E2E_LAST_PID
wwin=$(e2e_find_window "FH-SW - WEEKLY-REPORT")
nwin=$(e2e_find_window "FH-SW - NIGHTLY-REPORT")
sleep 0.3
expect_frame_at "$wwin" 67 67
expect_frame_at "$nwin" "$moved_x" "$moved_y"
e2e_ini_value WEEKLY-REPORT MAIN-Left >/dev/null && fail "WEEKLY-REPORT has a MAIN-Left before it closed"
e2e_client_origin "$nwin"
[ "$E2E_W" -ge 600 ] && [ "$E2E_W" -le 700 ] || fail "NIGHTLY-REPORT reopened $E2E_W px wide, not at the default size"

# Closed with Alt+F4 and with its own Exit button.
e2e_key "$wwin" alt+F4                                     # the window manager's close
e2e_wait_exit "$weekly" 10
[ "$E2E_RC" = 0 ] || fail "WEEKLY-REPORT ended with status $E2E_RC"
e2e_click "$nwin" 7320 2040 975 495                        # Exit
e2e_wait_exit "$nightly" 10
[ "$E2E_RC" = 0 ] || fail "NIGHTLY-REPORT ended with status $E2E_RC after Exit"
e2e_no_keys_held

e2e_expect_stored_pos WEEKLY-REPORT MAIN 67 67
e2e_expect_stored_pos NIGHTLY-REPORT MAIN "$moved_x" "$moved_y"
[ "$(grep -c '^\[' "$E2E_INI")" = 2 ] || fail "the settings file has other sections: $(grep '^\[' "$E2E_INI" | tr '\n' ' ')"

# ---- A place stored off every screen: the default place, and that is stored
sed -i '/^\[WEEKLY-REPORT\]/,/^\[/ s/^MAIN-Left=.*/MAIN-Left=1e30/' "$E2E_INI"
e2e_run WEEKLY-REPORT 60
weekly=$E2E_LAST_PID
wwin=$(e2e_find_window "FH-SW - WEEKLY-REPORT")
sleep 0.3
expect_frame_at "$wwin" 67 67
timeout 10 wmctrl -c "FH-SW - WEEKLY-REPORT" || fail "wmctrl could not close the window"
e2e_wait_exit "$weekly" 10
e2e_expect_stored_pos WEEKLY-REPORT MAIN 67 67
echo "PASS: profiles by file name"
