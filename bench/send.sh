#!/bin/bash
# The unattended run, timed (median of RUNS, default 5) under Xvfb and openbox:
#  - launch: from "!!! AUTOSENDING EMAIL NOW !!!" to the mail client starting,
#  - watch: from the mail client's exit to "COMPLETED...",
#  - overhead: the whole run beyond its 20 s of fixed waits and the send
#    (total - 20 s - time from the launch to "COMPLETED...").
# SendEmail.exe is a small wrapper around the real client that notes when it
# starts and when it is about to exit; the process watch sees the wrapper.
# Prints figures; asserts nothing about them. Also run by bench/run.sh.
# Usage: bench/send.sh BUILD_DIR
E2E_NAME=bench-send
. "$(dirname "$0")/../tests/e2e/lib.sh" "$@"

RUNS=${RUNS:-5}
P=BENCH-SEND
e2e_start_x 170
e2e_start_sink sink --delay 0.5
E2E_HOME="$E2E_WORK/home"
mkdir -p "$E2E_HOME"
E2E_LOGS+=("$E2E_HOME/SENDEMAIL-LOG.txt")
cat >"$E2E_HOME/SendEmail.exe" <<'SH'
#!/bin/sh
here=$(dirname "$0")
date +%s.%N >>"$here/client-start"
/usr/bin/sendemail "$@" </dev/null
rc=$?
date +%s.%N >>"$here/client-exit"
exit $rc
SH
chmod +x "$E2E_HOME/SendEmail.exe"
e2e_program "$P"
e2e_unattended_profile "$P" "$E2E_PORT"
# The program runs as an ordinary user, whose watch counts only that user's
# SendEmail.exe: run as root, it runs as nobody here, so that mail clients of
# other jobs on the machine (root's) do not hold its watch.
RUN_AS=() USER_ENV=()
if [ "$(id -u)" = 0 ]; then
    RUN_AS=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    mkdir -p "$E2E_WORK/runtime-nobody"
    chmod 700 "$E2E_WORK/runtime-nobody"
    chmod 755 "$E2E_WORK" "$E2E_WORK/bin"
    chown -R 65534:65534 "$XDG_CONFIG_HOME" "$E2E_HOME" "$E2E_WORK/runtime-nobody"
    USER_ENV=(XDG_RUNTIME_DIR="$E2E_WORK/runtime-nobody")
fi

ms() { e2e_calc "($1) * 1000" | cut -d. -f1; }
launches=() watches=() overheads=() totals=()
for i in $(seq "$RUNS"); do
    : >"$E2E_WORK/$P.log"
    rm -f "$E2E_HOME/client-start" "$E2E_HOME/client-exit"
    E2E_START_AT=$(date +%s.%N)
    e2e_bg "$P" 60 "${RUN_AS[@]}" env "${USER_ENV[@]}" "$E2E_WORK/bin/$P"
    e2e_wait_exit "$E2E_LAST_PID" 60
    [ "$E2E_RC" = 0 ] || fail "run $i ended with status $E2E_RC"
    [ -s "$E2E_HOME/client-exit" ] || fail "run $i: the mail client did not run"
    t_launch=$(e2e_status_time "$P" "!!! AUTOSENDING EMAIL NOW !!!")
    t_done=$(e2e_status_time "$P" "COMPLETED...")
    t_cstart=$(cat "$E2E_HOME/client-start")
    t_cexit=$(cat "$E2E_HOME/client-exit")
    total=$(e2e_calc "$E2E_EXIT_AT - $E2E_START_AT")
    launches+=($(ms "$t_cstart - $t_launch"))
    watches+=($(ms "$t_done - $t_cexit"))
    overheads+=($(ms "$total - 20 - ($t_done - $t_launch)"))
    totals+=("$total")
    log "run $i: total ${total}s, launch ${launches[-1]} ms, watch ${watches[-1]} ms, overhead ${overheads[-1]} ms"
done
n=$(find "$E2E_WORK/sink" -name '*.json' | wc -l)
[ "$n" = "$RUNS" ] || fail "$n mails arrived for $RUNS runs"
echo "launch to mail client started (ms): ${launches[*]}; median $(printf '%s\n' "${launches[@]}" | e2e_median)"
echo "mail client exit to COMPLETED... (ms): ${watches[*]}; median $(printf '%s\n' "${watches[@]}" | e2e_median)"
echo "run beyond 20 s of waits and the send (ms): ${overheads[*]}; median $(printf '%s\n' "${overheads[@]}" | e2e_median)"
echo "whole runs (s): ${totals[*]}"
