#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit and window-logic
# tests, Qt view tests, and the end-to-end tests of the real program with the
# real mail client and a loopback SMTP server under Xvfb. Then builds the
# logic with AddressSanitizer and UndefinedBehaviorSanitizer and runs the
# unit tests once more there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

echo "== tests (Release build)"
ctest --test-dir build --output-on-failure -j2 --timeout 600

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFHSW_SANITIZE=ON \
  -DFHSW_BUILD_VIEW=OFF >/dev/null
cmake --build build-sanitize -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j2 -L unit --timeout 600
