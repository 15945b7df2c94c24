#!/bin/sh
# Times the virtual-8086 engine on a compute-bound 16-bit program
# (engine_bench.asm: a bitwise CRC-32, a sieve and a string search, in a
# loop) and prints emulated instructions per second of processor time. The
# program runs ROUNDS times (default 5) and the best run counts: the machine
# is shared and timings wander. There is no other engine on this machine to
# run beside it; the figures quoted for scale (DOSBox's interpreting core
# about 120 and its recompiling core about 330 million per second here) are
# printed as ratios, with the 300 million target. Then it times a loop that
# rewrites an instruction of its own body on each of its million turns
# (selfmod_bench.asm) against the same loop writing data, best of ROUNDS
# each, and prints the ratio of the times: what writes into decoded code
# cost.
#
#   sh taviemu/bench/engine_bench.sh [BIN_DIR] [WORK_DIR]
#
# BIN_DIR holds the release build's engine-bench (default
# build-engine-rel/bin: cmake --preset release -B build-engine-rel
# -DSUITE_TOOLS=taviemu && cmake --build build-engine-rel --target
# engine-bench); WORK_DIR takes the assembled program (default /tmp).
#
# With BASELINE=DIR (the engine-bench of another build, an older commit's
# say) it compares the two instead: ROUNDS runs of each, taken in turn,
# and the ratio of their best rates (this build's over the baseline's);
# then, where valgrind is installed, the ratio of the instructions each
# executes under callgrind, which other load on the machine does not move.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
bin=${1:-$top/build-engine-rel/bin}
work=${2:-${TMPDIR:-/tmp}}
rounds=${ROUNDS:-5}
bench=$bin/engine-bench
[ -x "$bench" ] || { echo "no engine-bench in $bin" >&2; exit 1; }
command -v nasm >/dev/null || { echo "nasm is needed to assemble the program" >&2; exit 1; }
program=$work/engine_bench.bin
nasm -f bin -o "$program" "$here/engine_bench.asm"

# The rate in a line that engine-bench prints.
rate_in() {
    echo "$1" | sed -n 's/.*: \([0-9.]*\) million instructions per second.*/\1/p'
}

if [ -n "${BASELINE:-}" ]; then
    base=$BASELINE/engine-bench
    [ -x "$base" ] || { echo "no engine-bench in $BASELINE" >&2; exit 1; }
    best_base=0
    best_this=0
    i=0
    while [ "$i" -lt "$rounds" ]; do
        r_base=$(rate_in "$("$base" "$program")")
        r_this=$(rate_in "$("$bench" "$program")")
        echo "round $((i + 1)): baseline $r_base, this build $r_this million instructions per second"
        best_base=$(echo "$r_base $best_base" | awk '{ print ($1 > $2) ? $1 : $2 }')
        best_this=$(echo "$r_this $best_this" | awk '{ print ($1 > $2) ? $1 : $2 }')
        i=$((i + 1))
    done
    echo "$best_this $best_base" | awk '{ printf "best of %d: this build %.1f, baseline %.1f: ratio %.3f\n", '"$rounds"', $1, $2, $1 / $2 }'
    if command -v valgrind >/dev/null; then
        count() {
            valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" "$program" 2>&1 |
                sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
        }
        c_base=$(count "$base")
        c_this=$(count "$bench")
        echo "$c_this $c_base" | awk '{ printf "callgrind: this build %d, baseline %d instructions: ratio %.3f\n", $1, $2, $1 / $2 }'
    fi
    exit 0
fi

best=0
i=0
while [ "$i" -lt "$rounds" ]; do
    line=$("$bench" "$program")
    echo "$line"
    rate=$(rate_in "$line")
    best=$(echo "$rate $best" | awk '{ print ($1 > $2) ? $1 : $2 }')
    i=$((i + 1))
done
echo "best of $rounds: $best million instructions per second"
echo "$best" | awk '{ printf "ratio to the 300 million target: %.2f; to the quoted DOSBox figures: interpreting core (120) %.2f, recompiling core (330) %.2f\n", $1 / 300, $1 / 120, $1 / 330 }'

for variant in code data; do
    define=""
    [ "$variant" = data ] && define=-DDATA
    nasm -f bin $define -o "$work/selfmod_$variant.bin" "$here/selfmod_bench.asm"
    fastest=0
    i=0
    while [ "$i" -lt "$rounds" ]; do
        t=$("$bench" "$work/selfmod_$variant.bin" | sed -n 's/.* in \([0-9.]*\) s of processor time.*/\1/p')
        fastest=$(echo "$t $fastest" | awk '{ print ($2 == 0 || $1 < $2) ? $1 : $2 }')
        i=$((i + 1))
    done
    eval "selfmod_$variant=$fastest"
done
echo "$selfmod_code $selfmod_data" | awk '{ printf "a million turns rewriting their own code: %.3f s; writing data: %.3f s; ratio %.1f\n", $1, $2, $1 / $2 }'
