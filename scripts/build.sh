#!/usr/bin/env bash
# Builds the program, its runner-script interpreter, the setup tool and the
# tests into a build folder (default build/).
#
#   scripts/build.sh [BUILD_DIR [TARGET...]]
#
# A folder that was already configured keeps its generator (Ninja or make);
# a new one is made with Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
generator=(-G Ninja)
if [ -f "$dir/CMakeCache.txt" ]; then generator=(); fi
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
