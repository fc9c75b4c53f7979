#!/bin/bash
# Start-up and idle cost of the real program under Xvfb and openbox:
#  - time from process start to the main window being mapped (median of 10),
#  - resident memory once the window is up (VmRSS),
#  - CPU time used over 10 s of idling, with and without "Always On Top".
# Prints figures; asserts nothing about them.
# Usage: bench/startup.sh BUILD_DIR
E2E_NAME=bench-startup
. "$(dirname "$0")/../tests/e2e/lib.sh" "$@"

RUNS=${RUNS:-10}
e2e_start_x 170
e2e_program STARTUP
e2e_program ONTOP
e2e_install_folder home
e2e_setup ONTOP "INSTALL_FOLDER_TEXTBOX=$E2E_HOME" AlwaysOnTopTimer_TICKBOX=1
[ "$(e2e_ini_value ONTOP AlwaysOnTopTimer_TICKBOX)" = 1 ] || fail "Always On Top was not stored"

# The program itself, the child of the timeout wrapper that e2e_run starts.
program_pid() {
    local c
    for _ in $(seq 50); do
        c=$(cat "/proc/$1/task/$1/children" 2>/dev/null | awk '{ print $1 }')
        [ -n "$c" ] && { echo "$c"; return; }
        sleep 0.02
    done
    fail "no program process under $1"
}
# CPU time of all the program's threads in nanoseconds (scheduler statistics).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'; }
mapped() { timeout 2 xwininfo -name "$1" 2>/dev/null | grep -q 'IsViewable'; }
stop_program() {
    kill -TERM "$1" 2>/dev/null
    e2e_wait_exit "$1" 10
}

starts=() rss=()
for i in $(seq "$RUNS"); do
    t0=$(date +%s%N)
    e2e_run STARTUP 30
    tp=$E2E_LAST_PID
    until mapped "FH-SW - STARTUP"; do
        [ $(($(date +%s%N) - t0)) -lt 20000000000 ] || fail "no window within 20 s"
        sleep 0.005
    done
    t1=$(date +%s%N)
    starts+=($(((t1 - t0) / 1000000)))
    pid=$(program_pid "$tp")
    sleep 1
    rss+=($(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status"))
    stop_program "$tp"
done
echo "start to window mapped (ms), $RUNS runs: ${starts[*]}"
echo "  median $(printf '%s\n' "${starts[@]}" | e2e_median) ms"
echo "resident memory 1 s after start (kB): ${rss[*]}"
echo "  median $(printf '%s\n' "${rss[@]}" | e2e_median) kB"

# Idle: the window alone; then "Always On Top" with the window in the
# foreground (each tick finds it there and does nothing) and with another
# program's window in the foreground (each tick moves both in the z-order).
timeout 100 xterm -geometry 30x4+500+500 -title other-program -e sleep 90 >/dev/null 2>&1 &
xterm_pid=$!
E2E_PIDS+=("$xterm_pid")
other=$(e2e_find_window other-program 20)
for mode in idle ontop ontop-other; do
    name=STARTUP
    [ "$mode" = idle ] || name=ONTOP
    e2e_run "$name" 40
    tp=$E2E_LAST_PID
    win=$(e2e_find_window "FH-SW - $name" 20)
    pid=$(program_pid "$tp")
    if [ "$mode" = ontop-other ]; then e2e_activate "$other"; else e2e_activate "$win"; fi
    sleep 2
    c0=$(cpu_ns "$pid")
    sleep 10
    c1=$(cpu_ns "$pid")
    stop_program "$tp"
    case $mode in
    idle) label="idle" ;;
    ontop) label="idle, Always On Top, own window in front" ;;
    ontop-other) label="idle, Always On Top, another window in front" ;;
    esac
    echo "CPU over 10 s ($label): $(e2e_calc "($c1 - $c0) / 1000000") ms ($(e2e_calc "($c1 - $c0) / 100000000") %)"
done
