#!/usr/bin/env bash
# Installs what is needed, builds FH-SendWarden and shows its main job on a
# demo profile "FH-SW-DEMO", sending through the real mail client
# (SendEmail.exe, Debian's sendemail) to a loopback SMTP server that this
# script starts on 127.0.0.1 and stops again.
#
# With a display: opens the program on the demo profile; press START (or
# "Send Email Now") and close the program; the delivered mail is printed.
# Without a display (a server, a CI box): runs the demo profile unattended,
# the way a scheduler would ("AutoStart" and "AutoClose" ticked), then prints
# the delivered mail and where its files are.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh run build
bash scripts/build.sh build fh-sendwarden fh-sendwarden-run fh-sendwarden-setup

demo="$root/demo"
rm -rf "$demo"
mkdir -p "$demo/bin" "$demo/SendEmail" "$demo/config" "$demo/mailbox"
# One program file per profile: the demo copy is named after its profile.
cp build/fh-sendwarden "$demo/bin/FH-SW-DEMO"
cp build/fh-sendwarden-run "$demo/bin/"
ln -s /usr/bin/sendemail "$demo/SendEmail/SendEmail.exe"
printf 'Report of the demo run: everything went fine.\n' > "$demo/report.txt"
export XDG_CONFIG_HOME="$demo/config"

interactive=""
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then interactive=1; fi
lifetime=120
if [ -n "$interactive" ]; then lifetime=3600; fi

/usr/bin/python3 scripts/smtp_sink.py "$demo/mailbox" --lifetime "$lifetime" \
  >"$demo/smtp-server.log" 2>&1 &
sink=$!
trap 'kill "$sink" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -f "$demo/mailbox/port" ] && break; sleep 0.1; done
port=$(cat "$demo/mailbox/port")

options=(AUTOSTART_TICKBOX=0 AUTOCLOSE_TICKBOX=0)
if [ -z "$interactive" ]; then options=(AUTOSTART_TICKBOX=1 AUTOCLOSE_TICKBOX=1); fi
build/fh-sendwarden-setup FH-SW-DEMO \
  INSTALL_FOLDER_TEXTBOX="$demo/SendEmail" \
  SEND_FROM_ADDRESS_TEXTBOX=backup@example.org \
  SEND_TO_ADDRESS_TEXTBOX=ops@example.org \
  SEND_CC_ADDRESS_TEXTBOX=team@example.org \
  SUBJECT_TEXTBOX="Nightly backup finished" \
  MESSAGE_TEXTBOX="Hello,\n\nthe nightly backup finished at $(date +%H:%M).\n\n-- FH-SendWarden demo" \
  SMTP_SERVER_ADDRESS_PORT_TEXTBOX="127.0.0.1:$port" \
  ATTACHMENT_TICKBOX=1 FILE_ATTACHMENT_TEXTBOX="$demo/report.txt" \
  P4P_TICKBOX=1 "${options[@]}"

if [ -n "$interactive" ]; then
  echo "Opening FH-SendWarden on the demo profile: press START or \"Send Email Now\", then Exit."
  "$demo/bin/FH-SW-DEMO"
else
  echo "No display: sending the demo profile unattended (10 s countdown, send, 10 s wait)..."
  QT_QPA_PLATFORM=offscreen timeout 120 "$demo/bin/FH-SW-DEMO"
fi

echo
shopt -s nullglob
mails=("$demo"/mailbox/*.eml)
if ((${#mails[@]} == 0)); then
  echo "No mail was delivered. The mail client's log says:"
  cat "$demo/SendEmail/SENDEMAIL-LOG.txt" 2>/dev/null || echo "(no log)"
  exit 1
fi
for m in "${mails[@]}"; do
  echo "===== delivered to the loopback SMTP server: $m"
  echo "envelope: $(cat "${m%.eml}.json")"
  cat "$m"
done
cat <<EOF

Where things are:
  program (profile FH-SW-DEMO)   $demo/bin/FH-SW-DEMO
  settings file                  $XDG_CONFIG_HOME/FH_SENDWARDEN.ini
  runner script                  $demo/SendEmail/SENDEMAIL-RUNNER.BAT
  message file                   $demo/SendEmail/SENDEMAIL-MESSAGE.txt
  mail client's log              $demo/SendEmail/SENDEMAIL-LOG.txt
  delivered mail                 $demo/mailbox/
EOF
