#!/bin/bash
# Times brevic against the system ps on a process table swollen by 2,000
# extra sleeping processes, in one run: brevic -e, -ef and aux against
# ps -e, -ef and aux, turn about, keeping the best time of each (other work
# shares the machine). Also counts system calls per listed process with
# strace -c and prints the size of the stripped program.
#
#   bash brevic/bench/bench.sh [BIN_DIR]     (BIN_DIR defaults to build-brevic-rel/bin)
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
bin=${1:-$top/build-brevic-rel/bin}
brevic=$bin/brevic
[ -x "$brevic" ] || { echo "no $brevic: build the release preset first" >&2; exit 1; }
extra=${EXTRA:-2000}  # sleeping processes started for the run
runs=${RUNS:-40}      # timed listings of each command; the best one counts

work=$(mktemp -d)
pids=
cleanup() {
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

i=0
while [ "$i" -lt "$extra" ]; do
    sleep 3600 &
    pids="$pids $!"
    i=$((i + 1))
done
echo "processes in /proc: $(ls -d /proc/[0-9]* | wc -l) (with $extra extra sleepers)"

# Wall time of one listing in microseconds (bash's clock, no extra process).
time_us() {
    local t0=${EPOCHREALTIME/./} t1
    "$@" > /dev/null
    t1=${EPOCHREALTIME/./}
    echo $((t1 - t0))
}

# Runs the two commands turn about, $runs times each, so that both meet the
# same load, and keeps the best time of each: other work shares the machine.
best_pair() {
    local ours theirs best_ours= best_theirs= n=0
    while [ "$n" -lt "$runs" ]; do
        ours=$(time_us "$brevic" "$1")
        theirs=$(time_us ps "$1")
        if [ -z "$best_ours" ] || [ "$ours" -lt "$best_ours" ]; then best_ours=$ours; fi
        if [ -z "$best_theirs" ] || [ "$theirs" -lt "$best_theirs" ]; then best_theirs=$theirs; fi
        n=$((n + 1))
    done
    echo "$best_ours $best_theirs"
}

# System calls per listed line, from the calls column of strace's summary
# total line (its fourth field; the errors column may be empty).
calls_per_line() {
    lines=$("$@" | wc -l)
    strace -c -o "$work/strace" "$@" > /dev/null
    total=$(awk '$NF == "total" { print $4 }' "$work/strace")
    awk -v t="$total" -v l="$lines" 'BEGIN { printf "%d calls, %d lines, %.2f per line", t, l, t / l }'
}

printf '%-12s %10s %10s %8s\n' options "brevic us" "ps us" ratio
for opts in -e -ef aux; do
    read -r ours theirs < <(best_pair "$opts")
    ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.3f", a / b }')
    printf '%-12s %10d %10d %8s\n' "$opts" "$ours" "$theirs" "$ratio"
done

if command -v strace > /dev/null; then
    for opts in -e -ef aux; do
        echo "system calls, $opts: brevic $(calls_per_line "$brevic" $opts); ps $(calls_per_line ps $opts)"
    done
fi
echo "stripped size of $brevic: $(wc -c < "$brevic") bytes"
