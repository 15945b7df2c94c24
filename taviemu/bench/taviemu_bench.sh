#!/bin/sh
# Times taviemu end to end, each figure the best of 5 runs, against a peer
# timed in the same run on the same work:
#  1. the engine benchmark program (engine_bench.asm, a CRC-32, a sieve and a
#     string search) wrapped as a tavi executable and run by taviemu, against
#     the same program on the bare engine (engine-bench): emulated
#     instructions per second end to end, and the ratio of the times;
#  2. a program that writes one byte a million times to /dev/null, against
#     dd copying a million single bytes to /dev/null: system-call round trips
#     per second through the runner, and the ratio of the times.
#
#   sh taviemu/bench/taviemu_bench.sh [BUILD_DIR]
#
# BUILD_DIR is a release build (default build-release) with the targets
# taviemu and taviemu_programs built.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build-release}
runs=5
taviemu=$build/bin/taviemu
writeloop=$build/taviemu/tests/programs/writeloop
if [ ! -x "$taviemu" ] || [ ! -f "$writeloop" ]; then
    echo "taviemu_bench: build the targets taviemu and taviemu_programs in $build first" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The bare-engine driver: the build's own, or compiled here against the
# build's engine library.
engine_bench=$build/bin/engine-bench
if [ ! -x "$engine_bench" ]; then
    engine_bench=$work/engine-bench
    g++ -O2 -std=c++20 -I"$top/taviemu" -o "$engine_bench" \
        "$top/taviemu/bench/engine_bench.cpp" "$build/lib/libvm86_engine.a"
fi

# The benchmark program as a tavi executable: all of it text, combined layout.
nasm -f bin -o "$work/bench.bin" "$top/taviemu/bench/engine_bench.asm"
. "$top/taviemu/bench/bench_common.sh"
tavi_executable "$work/bench.bin" "$work/bench"
# dd and the engine driver may end with a status of their own.
best_may_fail=1

count=$("$engine_bench" "$work/bench.bin" | awk '{ print $1 }')
engine_ns=$(best "$engine_bench" "$work/bench.bin")
tavi_ns=$(best "$taviemu" "$work/bench")
echo "engine benchmark program, $count instructions (best of $runs):"
awk -v n="$count" -v e="$engine_ns" -v t="$tavi_ns" 'BEGIN {
    printf "  taviemu      %.3f s  %.1f million instructions per second\n", t / 1e9, n / t * 1e3
    printf "  engine-bench %.3f s  %.1f million instructions per second\n", e / 1e9, n / e * 1e3
    printf "  ratio taviemu / engine-bench: %.2f\n", t / e
}'

loop_ns=$(best "$taviemu" "$writeloop")
dd_ns=$(best dd if=/dev/zero of=/dev/null bs=1 count=1000000)
echo "one byte written a million times to /dev/null (best of $runs):"
awk -v t="$loop_ns" -v d="$dd_ns" 'BEGIN {
    printf "  taviemu      %.3f s  %.0f system-call round trips per second\n", t / 1e9, 1e6 / t * 1e9
    printf "  dd bs=1      %.3f s  (a read and a write per byte)\n", d / 1e9
    printf "  ratio taviemu / dd: %.2f\n", t / d
}'
