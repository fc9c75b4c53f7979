#!/usr/bin/env bash
# Builds the Debian package fh-sendwarden_VERSION_ARCH.deb (installing under
# /usr) in build-package/ and prints its path. Install it with
#
#   sudo apt install ./build-package/fh-sendwarden_*.deb
#
#   scripts/package.sh [BUILD_DIR]     (default: build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-package}"
bash scripts/install-deps.sh run build
generator=(-G Ninja)
if [ -f "$dir/CMakeCache.txt" ]; then generator=(); fi
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr -DFHSW_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target fh-sendwarden fh-sendwarden-run fh-sendwarden-setup
rm -f "$dir"/fh-sendwarden_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$PWD/$dir"/fh-sendwarden_*.deb
