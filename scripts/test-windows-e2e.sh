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

# Wine, GoogleTest's source, and the X server tools of the Linux end-to-end tests.
bash scripts/install-deps.sh windows-test test

echo "== tests of the Win32 renderer (build)"
timeout 300 cmake -S . -B "$build_dir" -DFHSW_WIN32_VIEW_TESTS=ON >/dev/null
timeout 1800 cmake --build "$build_dir" -j2 --target win32_view_tests

echo "== FH-SENDWARDEN.exe under Wine"
timeout 600 bash tests/windows/e2e_win32.sh "$build_dir"
