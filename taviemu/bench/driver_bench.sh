#!/bin/sh
# Times what a compiler driver does: one program that forks and execs 200
# short programs in turn and waits for each. The tavi driver (driver.asm)
# runs a short tavi program (short_run.asm) under taviemu; the same driver
# and short program in C (driver.c, short_run.c), built for the host, do
# the same natively. Each is run in turn, ROUNDS times (default 5), and the
# best run of each counts; it prints the time of one of the 200 runs and
# the ratio taviemu / host.
#
#   sh taviemu/bench/driver_bench.sh [BUILD_DIR]
#
# BUILD_DIR is a release build (default build-release) with taviemu built.
# With BASELINE=DIR, the bin/ folder of another build (an older commit's
# release, say), that build's taviemu runs the tavi driver too, in the
# same rounds.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=${1:-$top/build-release}
runs=${ROUNDS:-5}
. "$here/bench_common.sh"
find_runners driver_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cc -O2 -o "$work/driver_host" "$here/driver.c"
cc -O2 -o "$work/short_host" "$here/short_run.c"
for program in driver short_run; do
    nasm -f bin -I"$here/../tests/programs/" -o "$work/$program.bin" "$here/$program.asm"
    tavi_executable "$work/$program.bin" "$work/$program"
done

run_taviemu() { "$taviemu" "$work/driver" "$work/short_run"; }
run_baseline() { "$baseline" "$work/driver" "$work/short_run"; }
run_host() { "$work/driver_host" "$work/short_host"; }
labels="taviemu host"
if [ -n "$baseline" ]; then labels="$labels baseline"; fi
# shellcheck disable=SC2086
best_in_turn $labels

echo "a driver that forks and execs 200 short programs in turn, best of $runs runs:"
show() { awk -v what="$1" -v t="$2" 'BEGIN { printf "  %-36s %8.1f ms, %6.1f us a program\n", what, t / 1e6, t / 200 / 1e3 }'; }
show "taviemu, the tavi driver" "$best_taviemu"
if [ -n "$baseline" ]; then show "the baseline's taviemu, the same" "$best_baseline"; fi
show "the host's driver and program" "$best_host"
awk -v t="$best_taviemu" -v h="$best_host" 'BEGIN { printf "  ratio taviemu / host: %.2f\n", t / h }'
baseline_ratio
