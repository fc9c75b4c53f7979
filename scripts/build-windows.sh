#!/usr/bin/env bash
# Builds the Windows program on Debian with MinGW-w64 (warnings as errors):
# build-windows/FH-SENDWARDEN.exe, the profile setup tool, and the Windows
# benchmark programs. Checks that the executables are 64-bit Windows programs
# that import nothing but Windows system DLLs (the C and C++ runtimes are
# linked in), so that each copies and runs on its own.
#
#   bash scripts/build-windows.sh [BUILD_DIR]    (default: build-windows)
#
# Needs the Debian packages g++-mingw-w64-x86-64-posix, binutils-mingw-w64-x86-64,
# mingw-w64-tools, cmake and ninja-build (scripts/install-deps.sh windows-build
# installs them, or names them to a user who cannot).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build-windows}"

bash scripts/install-deps.sh windows-build

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

echo "== configure ($build_dir)"
timeout 300 cmake -S . -B "$build_dir" -G Ninja --no-warn-unused-cli \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS=-Werror \
  "${launcher[@]}" \
  -DFHSW_BUILD_VIEW=ON -DFHSW_BUILD_TESTS=OFF >/dev/null

echo "== build"
timeout 1800 cmake --build "$build_dir" -j2 --target \
  fh-sendwarden fh-sendwarden-setup fhsw-win32-anchor win32_process_query_bench win32_settings_bench

echo "== check"
# The Windows platform library, not the Linux one, and nothing of X11 or Qt.
objects=$(x86_64-w64-mingw32-ar t "$build_dir/libfhsw_platform.a")
for want in registry_settings_backend launcher_windows process_query_windows \
            files_windows win32_z_order platform_services_windows; do
  grep -q "^$want\.cpp\.obj$" <<<"$objects" || { echo "missing from fhsw_platform: $want" >&2; exit 1; }
done
if grep -q "/linux/" <<<"$objects"; then
  echo "Linux sources in the Windows platform library" >&2
  exit 1
fi
if grep -qiE "x11|qt6" "$build_dir/build.ninja"; then
  echo "X11 or Qt appears in the Windows build" >&2
  exit 1
fi
# DLLs that every Windows since 7 has in its system folder.
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll gdiplus.dll kernel32.dll"
system_dlls+=" msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll"
system_dlls+=" uxtheme.dll version.dll ws2_32.dll "
for exe in "$build_dir/FH-SENDWARDEN.exe" "$build_dir/fh-sendwarden-setup.exe"; do
  format=$(x86_64-w64-mingw32-objdump -f "$exe" | sed -n 's/.*file format //p')
  [ "$format" = "pei-x86-64" ] || { echo "$exe: unexpected format '$format'" >&2; exit 1; }
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' |
         tr 'A-Z' 'a-z' | sort -u)
  for dll in $dlls; do
    case "$system_dlls" in
      *" $dll "*) ;;
      *) echo "$exe imports $dll, which is not a Windows system DLL" >&2; exit 1 ;;
    esac
  done
  echo "$exe: $format, $(stat -c %s "$exe") bytes, imports: $(echo $dlls)"
done
# The program's resources: the manifest, the icon and the pictures.
if ! grep -qa "PerMonitorV2" "$build_dir/FH-SENDWARDEN.exe"; then
  echo "FH-SENDWARDEN.exe: no DPI-aware manifest among its resources" >&2
  exit 1
fi
echo "Windows build OK: $build_dir/FH-SENDWARDEN.exe"
