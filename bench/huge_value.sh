#!/usr/bin/env bash
# The windows over a very long stored value: a subject of CHARS characters
# (default 1,000,000) in the Profile, against a short one. Prints, for each,
# the seconds from the start to the main window shown and idle, and from the
# press of "Settings" to the settings window shown and idle after the
# composer's first tick (idle: the program used under a tenth of a second of
# CPU in a second; the composer runs once a second). The Qt
# program of BUILD_DIR under Xvfb and openbox; given WIN_BUILD_DIR (a build of
# scripts/build-windows.sh), its FH-SENDWARDEN.exe under Wine as well, with
# the Wine prefix WIN_BUILD_DIR/wineprefix. Prints figures; asserts nothing.
#
#   bench/huge_value.sh BUILD_DIR [WIN_BUILD_DIR]
E2E_NAME=bench-huge
. "$(dirname "$0")/../tests/e2e/lib.sh" "$1"
CHARS=${CHARS:-1000000}
win_build=${2:+$(cd "$2" && pwd)}

# subject N: N characters of words.
subject() { /usr/bin/python3 -c 'import sys; n = int(sys.argv[1]); print(("Nightly report " * (n // 15 + 1))[:n])' "$1"; }

cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; }
since() { e2e_calc "$(date +%s.%N) - $1"; }
# wait_idle PID: returns once PID is idle (at most 20 min).
wait_idle() {
    local a b
    for _ in $(seq 1200); do
        a=$(cpu "$1") && sleep 1 && b=$(cpu "$1") || return
        [ $((b - a)) -lt $(($(getconf CLK_TCK) / 10)) ] && return
    done
}

# measure LABEL PROFILE STARTED_AT PID: the program's windows, timed.
measure() {
    local label=$1 profile=$2 t0=$3 pid=$4 main settings shown idle t
    main=$(e2e_find_window "FH-SW - $profile" 1200)
    shown=$(since "$t0")
    wait_idle "$pid"
    idle=$(e2e_calc "$(since "$t0") - 1")
    printf '%-34s main window shown %7.2f s, idle %7.2f s\n' "$label" "$shown" "$idle"
    e2e_click "$main" 5760 2400 1335 375    # Settings
    t=$(date +%s.%N)
    settings=$(e2e_find_window "FH-SENDWARDEN - SETTINGS - MAIN" 1200)
    shown=$(since "$t")
    sleep 1.5
    wait_idle "$pid"
    idle=$(e2e_calc "$(since "$t") - 1")
    printf '%-34s Settings shown    %7.2f s, idle %7.2f s\n' "" "$shown" "$idle"
    timeout 5 wmctrl -i -c "$settings"
    e2e_window_gone "FH-SENDWARDEN - SETTINGS - MAIN" 600
    timeout 5 wmctrl -i -c "$main"
}

e2e_need wmctrl
e2e_start_x 3600
echo "== a stored subject of $CHARS characters against one of 14"

# ---- Qt ----------------------------------------------------------------------
e2e_program HUGE
for n in 14 "$CHARS"; do
    printf '[HUGE]\nSEND_TO_ADDRESS_TEXTBOX=ops@example.org\nSUBJECT_TEXTBOX=%s\n' "$(subject "$n")" >"$E2E_INI"
    t0=$(date +%s.%N)
    e2e_run HUGE 1800
    run=$E2E_LAST_PID
    sleep 0.2
    measure "Qt, subject of $n" HUGE "$t0" "$(pgrep -P "$run" | head -1)"
    e2e_wait_exit "$run" 600
done

# ---- Wine --------------------------------------------------------------------
[ -n "$win_build" ] || exit 0
[ -f "$win_build/FH-SENDWARDEN.exe" ] || fail "no $win_build/FH-SENDWARDEN.exe"
e2e_need wine wineserver wineboot
export WINEPREFIX="$win_build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'timeout 20 wineserver -k >/dev/null 2>&1; e2e_cleanup' EXIT
mkdir -p "$WINEPREFIX"
e2e_bg wineserver 3600 wineserver -p -f
timeout 300 wineboot -i >/dev/null 2>&1 || fail "wineboot did not make the prefix"
mkdir -p "$WINEPREFIX/drive_c/FHSW"
cp "$win_build/FH-SENDWARDEN.exe" "$WINEPREFIX/drive_c/FHSW/HUGE.exe"
for n in first 14 "$CHARS"; do    # a first start warms Wine up
    label="Wine, subject of $n"
    [ "$n" = first ] && label="Wine, first start" n=14
    { printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\FH_SENDWARDEN\\HUGE]\n'
      printf '"SEND_TO_ADDRESS_TEXTBOX"="ops@example.org"\n"SUBJECT_TEXTBOX"="%s"\n' "$(subject "$n")"; } \
        >"$E2E_WORK/huge.reg"
    timeout 300 wine reg import "$E2E_WORK/huge.reg" >/dev/null 2>&1 || fail "cannot store the subject"
    t0=$(date +%s.%N)
    e2e_bg HUGE-wine 1800 wine 'C:\FHSW\HUGE.exe'
    run=$E2E_LAST_PID
    for _ in $(seq 100); do pid=$(pgrep -n -x HUGE.exe) && break; sleep 0.1; done
    measure "$label" HUGE "$t0" "$pid"
    e2e_wait_exit "$run" 600
done
