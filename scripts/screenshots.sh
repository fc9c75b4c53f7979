#!/usr/bin/env bash
# Takes the README's pictures (docs/*.png) of the real windows under Xvfb and
# openbox: the main window after a launch that failed (its status line shows
# the reason), the settings window with a SAVE report, the log manager and
# the About window. Needs the test tools (scripts/install-deps.sh test).
#
#   scripts/screenshots.sh [BUILD_DIR]     (default: build)
set -u
cd "$(dirname "$0")/.."
out=$(pwd)/docs
E2E_NAME=screenshots
. tests/e2e/lib.sh "${1:-build}"

P=NIGHTLY-REPORT
e2e_start_x 120
e2e_install_folder "SendEmail"
e2e_program "$P"
# A copy whose runner script was never written: the launch fails visibly.
e2e_setup "$P" "INSTALL_FOLDER_TEXTBOX=$E2E_HOME" SEND_FROM_ADDRESS_TEXTBOX=backup@example.org \
    SEND_TO_ADDRESS_TEXTBOX=ops@example.org "SUBJECT_TEXTBOX=Nightly backup report" \
    'MESSAGE_TEXTBOX=Hello team,\nthe backup ran.' SMTP_SERVER_ADDRESS_PORT_TEXTBOX=mail.example.org:587 \
    SMTP_USERNAME_TEXTBOX=backup SMTP_PASSWORD_TEXTBOX=secret TLS=yes P4P_TICKBOX=1
rm -f "$E2E_HOME/SENDEMAIL-RUNNER.BAT"

e2e_run "$P" 100
main=$(e2e_find_window "FH-SW - $P")
e2e_click "$main" 5760 1920 1335 375                       # Send Email Now
for _ in $(seq 50); do e2e_status_lines "$P" | grep -q '^!!! SEND FAILED' && break; sleep 0.1; done
sleep 0.5
e2e_shot "$main" "$out/main-window.png"

e2e_click "$main" 5760 2400 1335 375                       # Settings
settings=$(e2e_find_window "FH-SENDWARDEN - SETTINGS - MAIN" 10)
e2e_click "$settings" 120 855 4575 315                     # SENDEMAIL HOME: a folder that is not there
e2e_key "$settings" ctrl+a
e2e_type "$settings" "/srv/mail/SendEmail"
sleep 1.2
e2e_click "$settings" 8340 3900 1275 435                   # SAVE
sleep 0.8
e2e_shot "$settings" "$out/settings-window.png"
e2e_key "$settings" Escape
e2e_window_gone "FH-SENDWARDEN - SETTINGS - MAIN" 10

e2e_click "$main" 1560 1920 1335 375                       # Log Manager
dialog=$(e2e_find_window "FH-SENDWARDEN - LOG MANAGER" 10)
sleep 0.5
e2e_shot "$dialog" "$out/log-manager.png"
e2e_key "$dialog" Return
e2e_window_gone "FH-SENDWARDEN - LOG MANAGER" 10

e2e_click "$main" 1560 2400 1335 255                       # About
dialog=$(e2e_find_window "FH-SENDWARDEN - ABOUT" 10)
sleep 0.5
e2e_shot "$dialog" "$out/about-window.png"
e2e_key "$dialog" Return
echo "pictures in $out"
