#!/usr/bin/env bash
# Kept for old notes: the Windows build and its checks live in
# scripts/build-windows.sh now.
#
#   scripts/check-windows-build.sh [BUILD_DIR]    (default: build-windows)
set -euo pipefail
exec bash "$(dirname "$0")/build-windows.sh" "$@"
