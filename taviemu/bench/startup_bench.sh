#!/bin/sh
# Times the start-up of a tavi program: 1,000 runs of one that exits at once
# (exit_at_once.asm) under taviemu, against 1,000 runs of /bin/true and of a
# static native program that does the same (exit_at_once.c), in one run.
# Each program is started 1,000 times in turn (spawn_runs.c, as a shell
# starts a command), for ROUNDS rounds (default 5), and the best round of
# each counts. It prints the time of a start and the ratios, then the
# maximum resident set size and the minor page faults of one run of each
# (where /usr/bin/time is installed).
#
#   sh taviemu/bench/startup_bench.sh [BUILD_DIR]
#
# BUILD_DIR is a release build (default build-release) with taviemu built.
# With BASELINE=DIR, the bin/ folder of another build (an older commit's
# release, say), that build's taviemu is timed and measured beside it in
# the same rounds.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=${1:-$top/build-release}
runs=${ROUNDS:-5}
starts=1000
. "$here/bench_common.sh"
find_runners startup_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cc -O2 -o "$work/spawn_runs" "$here/spawn_runs.c"
cc -O2 -static -o "$work/exit_static" "$here/exit_at_once.c"
nasm -f bin -o "$work/exit.bin" "$here/exit_at_once.asm"
tavi_executable "$work/exit.bin" "$work/exit"

run_taviemu() { "$work/spawn_runs" $starts "$taviemu" "$work/exit"; }
run_baseline() { "$work/spawn_runs" $starts "$baseline" "$work/exit"; }
run_true() { "$work/spawn_runs" $starts /bin/true; }
run_static() { "$work/spawn_runs" $starts "$work/exit_static"; }
labels="taviemu true static"
if [ -n "$baseline" ]; then labels="$labels baseline"; fi
# shellcheck disable=SC2086
best_in_turn $labels

echo "$starts starts of each, best of $runs rounds:"
show() { awk -v what="$1" -v t="$2" -v n=$starts 'BEGIN { printf "  %-44s %7.1f us a start\n", what, t / n / 1e3 }'; }
show "taviemu, a tavi program that exits at once" "$best_taviemu"
if [ -n "$baseline" ]; then show "the baseline's taviemu, the same program" "$best_baseline"; fi
show "/bin/true" "$best_true"
show "a static native program that exits at once" "$best_static"
awk -v t="$best_taviemu" -v r="$best_true" -v s="$best_static" 'BEGIN {
    printf "  ratio taviemu / /bin/true: %.2f; taviemu / static native: %.2f; /bin/true / static native: %.2f\n", t / r, t / s, r / s
}'
baseline_ratio

if [ -x /usr/bin/time ]; then
    echo "one run of each: maximum resident set size, minor page faults:"
    measure() {
        what=$1
        shift
        /usr/bin/time -f '%M %R' -o "$work/usage" "$@"
        awk -v what="$what" '{ printf "  %-44s %7d KiB %6d faults\n", what, $1, $2 }' "$work/usage"
    }
    measure "taviemu, a tavi program that exits at once" "$taviemu" "$work/exit"
    if [ -n "$baseline" ]; then
        measure "the baseline's taviemu, the same program" "$baseline" "$work/exit"
    fi
    measure "/bin/true" /bin/true
    measure "a static native program that exits at once" "$work/exit_static"
fi
