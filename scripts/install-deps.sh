#!/usr/bin/env bash
# Installs the Debian 12 packages that FH-SendWarden needs. Only packages that
# are missing are installed.
#
#   scripts/install-deps.sh [run] [build] [test] [windows-build] [windows-test]
#                                                    (default: run build)
#
#   run    what the program needs at run time: the mail client and its TLS
#          support, the desktop opener for the log, the loopback SMTP server
#          of the demo
#   build  compilers, CMake (with both Ninja and make), Qt 6, GoogleTest,
#          the Debian packaging tools
#   test   what the tests use besides: an X server, a window manager, window
#          and screenshot tools, a terminal for the visible output window
#   windows-build  MinGW-w64, CMake and Ninja: the Windows program
#   windows-test   Wine and GoogleTest's source: the Windows tests
#
# As root it installs with apt-get; otherwise with sudo when sudo is there
# and may be used, and if not it names the packages to install and stops.
set -euo pipefail

run_packages=(sendemail libio-socket-ssl-perl libnet-ssleay-perl xdg-utils python3
  python3-aiosmtpd procps)
build_packages=(cmake ninja-build make g++ pkg-config qt6-base-dev libgl-dev libx11-dev
  googletest libgtest-dev dpkg-dev file)
test_packages=(openssl xvfb openbox xdotool x11-utils wmctrl imagemagick xterm)
windows_build_packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  cmake ninja-build)
windows_test_packages=(wine wine64 googletest)

sets=("$@")
if ((${#sets[@]} == 0)); then sets=(run build); fi
packages=()
for s in "${sets[@]}"; do
  case "$s" in
    run) packages+=("${run_packages[@]}") ;;
    build) packages+=("${build_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    windows-build) packages+=("${windows_build_packages[@]}") ;;
    windows-test) packages+=("${windows_test_packages[@]}") ;;
    *) echo "usage: $0 [run] [build] [test] [windows-build] [windows-test]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  # sudo only when it can be used: without a password, or with a terminal to ask one on.
  if command -v sudo >/dev/null 2>&1 && { sudo -n true 2>/dev/null || [ -t 0 ]; }; then
    as_root=(sudo)
  else
    {
      echo "FH-SendWarden needs these Debian packages, which are not installed:"
      echo
      echo "  ${missing[*]}"
      echo
      echo "Install them as root, then run this command again:"
      echo
      echo "  su -c 'apt-get update && apt-get install --no-install-recommends ${missing[*]}'"
    } >&2
    exit 1
  fi
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get -o DPkg::Lock::Timeout=300 update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}"
