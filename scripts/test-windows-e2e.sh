#!/usr/bin/env bash
# The Windows program end to end: builds FH-SENDWARDEN.exe with MinGW-w64
# (scripts/build-windows.sh, with its checks) and the tests of the Win32
# renderer, then runs both under Wine and Xvfb (tests/windows/e2e_win32.sh).
# Installs what is missing when run as root: MinGW-w64, Wine, GoogleTest's
# source, and the X server tools of the Linux end-to-end tests.
#
#   bash scripts/test-windows-e2e.sh [BUILD_DIR]    (default: build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build-windows}"

bash scripts/build-windows.sh "$build_dir"

need=()
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v wine >/dev/null || need+=(wine)
dpkg-query -W -f='${Status}' wine64 2>/dev/null | grep -q "install ok installed" || need+=(wine64)
for tool in Xvfb:xvfb openbox:openbox xdotool:xdotool xprop:x11-utils wmctrl:wmctrl bc:bc; do
  command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    echo "== installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    timeout 600 apt-get -o DPkg::Lock::Timeout=300 update -qq >/dev/null
    timeout 900 apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends \
      "${need[@]}" >/dev/null
  else
    echo "Missing for the Windows end-to-end test. Install, as root:" >&2
    echo "  apt-get install ${need[*]}" >&2
    exit 2
  fi
fi

echo "== tests of the Win32 renderer (build)"
timeout 300 cmake -S . -B "$build_dir" -DFHSW_WIN32_VIEW_TESTS=ON >/dev/null
timeout 1800 cmake --build "$build_dir" -j2 --target win32_view_tests

echo "== FH-SENDWARDEN.exe under Wine"
timeout 600 bash tests/windows/e2e_win32.sh "$build_dir"
