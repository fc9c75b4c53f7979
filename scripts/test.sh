#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit and window-logic
# tests, Qt view tests, and the end-to-end tests of the real program with the
# real mail client and a loopback SMTP server under Xvfb (among them the
# Debian package: built, installed, and a copied program sending a mail).
# Then builds the logic with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the unit tests once more there. Both stages always run; the
# command fails if either failed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run build test
bash scripts/build.sh build

failed=()
echo "== tests (Release build)"
ctest --test-dir build --output-on-failure -j2 --timeout 600 --no-tests=error || failed+=("tests")

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
generator=(-G Ninja)
if [ -f build-sanitize/CMakeCache.txt ]; then generator=(); fi
if cmake -S . -B build-sanitize "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DFHSW_SANITIZE=ON \
     -DFHSW_BUILD_VIEW=OFF >/dev/null &&
   cmake --build build-sanitize -j"$(nproc)"; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j2 -L unit --timeout 600 \
      --no-tests=error || failed+=("sanitizer tests")
else
  failed+=("sanitizer build")
fi

if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "All tests passed."
