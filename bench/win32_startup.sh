#!/usr/bin/env bash
# Start-up of the Windows program under Wine (Xvfb and openbox), against a
# bare Win32 window built the same way (fhsw-win32-anchor.exe):
#  - time from `wine PROGRAM` to its window being mapped (median of RUNS),
#  - the size of each executable,
#  - the cost of one process query (Toolhelp snapshot) under Wine, against
#    starting tasklist for the same answer.
# Prints figures; asserts nothing about them. One Wine prefix and one
# wineserver for the whole run, so that no start pays for either.
# Usage: bench/win32_startup.sh BUILD_DIR    (a build of scripts/build-windows.sh)
E2E_NAME=bench-win32
. "$(dirname "$0")/../tests/e2e/lib.sh" "$@"

RUNS=${RUNS:-7}
exe="$E2E_BUILD/FH-SENDWARDEN.exe"
anchor="$E2E_BUILD/bench/fhsw-win32-anchor.exe"
query="$E2E_BUILD/bench/win32_process_query_bench.exe"
for f in "$exe" "$anchor" "$query"; do
    [ -f "$f" ] || fail "no $f: run scripts/build-windows.sh first"
done
e2e_need wine wineserver wineboot wmctrl

export WINEPREFIX="$E2E_WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'timeout 20 wineserver -k >/dev/null 2>&1; e2e_cleanup' EXIT
e2e_start_x 600
mkdir -p "$WINEPREFIX"
e2e_bg wineserver 600 wineserver -p -f
timeout 120 wineboot -i >/dev/null 2>&1 || fail "wineboot did not make the prefix"
drive="$WINEPREFIX/drive_c"
mkdir -p "$drive/FHSW"
cp "$exe" "$drive/FHSW/BENCH.exe"
cp "$anchor" "$drive/FHSW/ANCHOR.exe"
cp "$query" "$drive/FHSW/QUERY.exe"

mapped() { timeout 2 xwininfo -name "$1" 2>/dev/null | grep -q 'IsViewable'; }

# time_start TITLE PROGRAM [ARG]: milliseconds from start to mapped window.
time_start() {
    local title=$1 t0 t1 id
    shift
    t0=$(date +%s%N)
    e2e_bg start 60 wine "$@"
    local pid=$E2E_LAST_PID
    until mapped "$title"; do
        kill -0 "$pid" 2>/dev/null || fail "$* ended before its window showed"
        [ $(( ($(date +%s%N) - t0) / 1000000 )) -lt 30000 ] || fail "no window '$title' in 30 s"
        sleep 0.01
    done
    t1=$(date +%s%N)
    id=$(timeout 5 xdotool search --name "^$title\$" | head -1)
    timeout 5 wmctrl -i -c "$id"    # closed as a user would
    e2e_wait_exit "$pid" 20
    echo $(( (t1 - t0) / 1000000 ))
}

# A first start of each warms the file cache.
time_start "FH-SW - BENCH" 'C:\FHSW\BENCH.exe' >/dev/null
time_start "ANCHOR" 'C:\FHSW\ANCHOR.exe' ANCHOR >/dev/null
app=() bare=()
for _ in $(seq "$RUNS"); do
    app+=("$(time_start "FH-SW - BENCH" 'C:\FHSW\BENCH.exe')")
    bare+=("$(time_start "ANCHOR" 'C:\FHSW\ANCHOR.exe' ANCHOR)")
done
app_ms=$(printf '%s\n' "${app[@]}" | e2e_median)
bare_ms=$(printf '%s\n' "${bare[@]}" | e2e_median)

echo "== Windows program under Wine ($(wine --version 2>/dev/null)), $RUNS starts each"
printf 'start to window shown, FH-SENDWARDEN.exe: median %s ms  (%s)\n' "$app_ms" "${app[*]}"
printf 'start to window shown, bare Win32 window:  median %s ms  (%s)\n' "$bare_ms" "${bare[*]}"
printf 'the program'"'"'s own share:                 %s ms\n' "$(e2e_calc "$app_ms - $bare_ms")"
printf 'size FH-SENDWARDEN.exe: %s bytes; bare window: %s bytes\n' \
    "$(stat -c %s "$exe")" "$(stat -c %s "$anchor")"
# Wine's helpers would hold a pipe open: through a file.
timeout 120 wine 'C:\FHSW\QUERY.exe' 200 QUERY.exe SendEmail.exe >"$E2E_WORK/query.out" 2>/dev/null
tr -d '\r' <"$E2E_WORK/query.out"
