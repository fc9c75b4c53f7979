#!/usr/bin/env bash
# The Windows side, run for real under Wine: cross-builds with MinGW-w64 the
# unit tests (GoogleTest from Debian's source package), the Windows platform
# tests, the cmd.exe quoting round trip, the stand-in SendEmail.exe and the
# setup tool, then runs them under Wine and prints "N passed, N failed".
#
#   bash scripts/test-windows.sh [BUILD_DIR]    (default: build-wine)
#
# As root it installs what is missing (wine, MinGW-w64, googletest). The Wine
# prefix is made once, in BUILD_DIR/wineprefix; one wineserver serves the
# whole run and is stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build-wine}"
mkdir -p "$build_dir"
build_dir="$(cd "$build_dir" && pwd)"

bash scripts/install-deps.sh windows-build windows-test

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
echo "== build ($build_dir)"
timeout 300 cmake -S . -B "$build_dir" -G Ninja --no-warn-unused-cli \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DFHSW_BUILD_VIEW=OFF -DFHSW_BUILD_TESTS=ON "${launcher[@]}" >/dev/null
timeout 1800 cmake --build "$build_dir" -j2 \
  --target windows_unit_tests cmd_roundtrip sendemail_stub fh-sendwarden-setup

export WINEPREFIX="$build_dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY  # nothing here needs a display
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix"
  timeout 300 wineboot -i >/dev/null 2>&1
fi
# One server for the whole run (one left running for this prefix is reused).
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT

passed=0 failed=0
# run NAME TIMEOUT COMMAND...: one gtest program; its counts join the total.
run() {
  local name=$1 limit=$2 log="$build_dir/$1.log"
  shift 2
  echo "== $name"
  local rc=0
  timeout "$limit" "$@" >"$log" 2>&1 || rc=$?
  grep -E '^\[  (FAILED|SKIPPED) |^  |^cmd round trip' "$log" | grep -v '^  *$' || true
  local p f
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
  f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
  p=${p:-0} f=${f:-0}
  if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
    echo "$name: exit status $rc"; tail -20 "$log"; f=1
  fi
  echo "$name: $p passed, $f failed"
  passed=$((passed + p)) failed=$((failed + f))
}

run windows_unit_tests 600 wine "$build_dir/tests/windows_unit_tests.exe" --gtest_brief=1
run cmd_roundtrip 900 wine "$build_dir/tests/cmd_roundtrip.exe"

# The setup tool takes wide arguments (the profile's name holds a character
# outside the ANSI code page) and stores them as typed; the values hold only
# characters that both code pages of the runner script hold.
echo "== fh-sendwarden-setup"
setup_ok=1
profile="FHSW-SETUP-TEST-Ω-$$"
key="HKCU\\Software\\VB and VBA Program Settings\\FH_SENDWARDEN\\$profile"
install="$build_dir/setup-test"
rm -rf "$install" && mkdir -p "$install/café folder"
winpath="$(winepath -w "$install/café folder")"
if ! timeout 60 wine "$build_dir/fh-sendwarden-setup.exe" "$profile" \
     "INSTALL_FOLDER_TEXTBOX=$winpath" 'FILE_ATTACHMENT_TEXTBOX=C:\nope' \
     'SUBJECT_TEXTBOX=café ½ 50% "q"' >"$build_dir/setup.log" 2>&1 </dev/null; then
  echo "fh-sendwarden-setup failed: $(cat "$build_dir/setup.log")"; setup_ok=0
fi
# The values as the registry holds them: exported as UTF-16 (reg query
# would print them in the OEM code page), unescaped.
timeout 60 wine reg export "$key" "$(winepath -w "$build_dir/setup.reg")" /y >/dev/null 2>&1 || true
query() {
  iconv -f UTF-16LE -t UTF-8 "$build_dir/setup.reg" 2>/dev/null | tr -d '\r' |
    sed -n "s/^\"$1\"=\"\(.*\)\"\$/\1/p" | sed 's/\\\\/\x01/g; s/\\"/"/g; s/\x01/\\/g'
}
for pair in "FILE_ATTACHMENT_TEXTBOX=C:\\nope" "SUBJECT_TEXTBOX=café ½ 50% \"q\"" "INSTALL_FOLDER_TEXTBOX=$winpath"; do
  name=${pair%%=*} want=${pair#*=}
  got=$(query "$name")
  if [ "$got" != "$want" ]; then echo "$name: stored [$got], typed [$want]"; setup_ok=0; fi
done
[ -f "$install/café folder/SENDEMAIL-RUNNER.BAT" ] || { echo "no runner script in $winpath"; setup_ok=0; }
timeout 60 wine reg delete "$key" /f >/dev/null 2>&1 || true
if [ "$setup_ok" -eq 1 ]; then passed=$((passed + 1)); echo "fh-sendwarden-setup: 1 passed, 0 failed"
else failed=$((failed + 1)); echo "fh-sendwarden-setup: 0 passed, 1 failed"; fi

echo "== Windows under Wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
