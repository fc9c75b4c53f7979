#!/usr/bin/env bash
# Cross-compiles the toolkit-free logic, the Windows platform code and the
# profile setup tool for 64-bit Windows with MinGW-w64, warnings as errors.
# Nothing is run: this only shows that the Windows side still builds.
#
#   scripts/check-windows-build.sh [BUILD_DIR]    (default: build-windows)
#
# Needs the Debian packages g++-mingw-w64-x86-64-posix and mingw-w64-tools.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build-windows}"

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "x86_64-w64-mingw32-g++-posix not found; install it with:" >&2
  echo "  apt-get install g++-mingw-w64-x86-64-posix mingw-w64-tools" >&2
  exit 2
fi

echo "== configure ($build_dir)"
timeout 300 cmake -S . -B "$build_dir" -G Ninja --no-warn-unused-cli \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS=-Werror \
  -DFHSW_BUILD_VIEW=OFF -DFHSW_BUILD_TESTS=OFF >/dev/null

echo "== build"
timeout 1800 cmake --build "$build_dir" -j2 --target fhsw_core fhsw_platform fh-sendwarden-setup

echo "== check"
# The Windows platform library, not the Linux one, and nothing of X11.
objects=$(x86_64-w64-mingw32-ar t "$build_dir/libfhsw_platform.a")
for want in registry_settings_backend launcher_windows process_query_windows \
            text_file_windows win32_z_order platform_services_windows; do
  grep -q "^$want\.cpp\.obj$" <<<"$objects" || { echo "missing from fhsw_platform: $want" >&2; exit 1; }
done
if grep -q "/linux/" <<<"$objects"; then
  echo "Linux sources in the Windows platform library" >&2
  exit 1
fi
if grep -qi "x11" "$build_dir/build.ninja"; then
  echo "X11 appears in the Windows build" >&2
  exit 1
fi
exe="$build_dir/fh-sendwarden-setup.exe"
format=$(x86_64-w64-mingw32-objdump -f "$exe" | sed -n 's/.*file format //p')
[ "$format" = "pei-x86-64" ] || { echo "$exe: unexpected format '$format'" >&2; exit 1; }
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
echo "$exe: $format, imports: $dlls"
case " $dlls " in
  *lib*gcc*|*libstdc++*|*libwinpthread*)
    echo "$exe depends on MinGW runtime DLLs" >&2
    exit 1 ;;
esac
echo "Windows build OK"
