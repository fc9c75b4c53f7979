#!/usr/bin/env bash
# Installs what FH-SendWarden needs to build, run and test on Debian 12.
# Only packages that are missing are installed; run as root (or with sudo).
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libx11-dev googletest libgtest-dev
  # run: the outside mail client, the desktop opener for the log
  sendemail libio-socket-ssl-perl libnet-ssleay-perl xdg-utils
  # demo and tests: loopback SMTP server, X server, window manager, window tools
  python3-aiosmtpd openssl xvfb openbox xdotool x11-utils wmctrl imagemagick xterm procps
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=300 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}"
