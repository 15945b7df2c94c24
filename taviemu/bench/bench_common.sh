# What the taviemu benchmarks share; sourced by them, with $runs set.

# find_runners NAME: sets taviemu to the runner of the build in $build and
# baseline to the one in $BASELINE (empty without it), and ends benchmark
# NAME when one of them is missing.
find_runners() {
    taviemu=$build/bin/taviemu
    if [ ! -x "$taviemu" ]; then
        echo "$1: build the target taviemu in $build first" >&2
        exit 1
    fi
    baseline=${BASELINE:+$BASELINE/taviemu}
    if [ -n "$baseline" ] && [ ! -x "$baseline" ]; then
        echo "$1: no taviemu in $BASELINE" >&2
        exit 1
    fi
}

# baseline_ratio: with a baseline, the line comparing its best time with
# this build's (the best_ variables of best_in_turn).
baseline_ratio() {
    if [ -n "$baseline" ]; then
        awk -v t="$best_taviemu" -v b="$best_baseline" 'BEGIN { printf "  ratio baseline / taviemu: %.2f\n", b / t }'
    fi
}

# tavi_executable BIN OUT: the flat binary BIN as a tavi executable OUT, all
# of it text, in the combined layout.
le32() {
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) \
        $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}
tavi_executable() {
    size=$(wc -c < "$1")
    {
        le32 $((0x04100301)); le32 32; le32 "$size"; le32 0; le32 0; le32 0; le32 0; le32 0
        cat "$1"
    } > "$2"
    chmod 755 "$2"
}

now() { date +%s%N; }
# best COMMAND...: the shortest wall time of $runs runs, in nanoseconds. A
# run that fails counts as well when $best_may_fail is set; else it ends
# the benchmark.
best() {
    b=0 i=0
    while [ $i -lt $runs ]; do
        s=$(now)
        if ! "$@" > /dev/null 2>&1 && [ -z "${best_may_fail:-}" ]; then
            echo "$0: $* failed" >&2
            exit 1
        fi
        t=$(($(now) - s))
        if [ $b -eq 0 ] || [ $t -lt $b ]; then b=$t; fi
        i=$((i + 1))
    done
    echo $b
}

# best_in_turn LABEL...: runs the function run_LABEL of each label in turn,
# $runs rounds, so that a change in the machine's load falls on all of them
# alike, and sets best_LABEL to the shortest wall time of each, in
# nanoseconds. A run that fails ends the benchmark.
best_in_turn() {
    for label in "$@"; do
        eval "best_$label=0"
    done
    round=0
    while [ $round -lt $runs ]; do
        for label in "$@"; do
            s=$(now)
            if ! "run_$label" > /dev/null 2>&1; then
                echo "$0: run_$label failed" >&2
                exit 1
            fi
            t=$(($(now) - s))
            eval "b=\$best_$label"
            if [ "$b" -eq 0 ] || [ $t -lt "$b" ]; then eval "best_$label=$t"; fi
        done
        round=$((round + 1))
    done
}

# syscall_ratios TAVIEMU PROGRAM HOST: the time per call of PROGRAM under
# TAVIEMU and of HOST, and their ratio, for the getpid calls ("p") and the
# one-byte writes ("w") each makes $calls of, the start-up ("n") taken off.
syscall_ratios() {
    guest_empty=$(best "$1" "$2" n)
    host_empty=$(best "$3" n)
    echo "$calls calls each, best of $runs runs, start-up taken off:"
    for mode in p w; do
        case $mode in p) what="getpid" ;; w) what="one-byte write to /dev/null" ;; esac
        guest_ns=$(best "$1" "$2" $mode)
        host_ns=$(best "$3" $mode)
        awk -v what="$what" -v n=$calls -v t="$guest_ns" -v te="$guest_empty" \
            -v h="$host_ns" -v he="$host_empty" 'BEGIN {
            tc = (t - te) / n; hc = (h - he) / n
            printf "  %s: taviemu %.0f ns a call, host %.0f ns a call, ratio %.2f\n", what, tc, hc, tc / hc
        }'
    done
}

# syscall_bench NAME PROGRAM BUILD: the system-call benchmark of NAME
# (syscall_bench or minix_syscall_bench): the assembly PROGRAM, made a tavi
# executable, and syscall_bench.c built for the host, timed with BUILD's
# taviemu by syscall_ratios, 100,000 calls each, best of 5 runs.
syscall_bench() {
    runs=5
    calls=100000
    build=$3
    find_runners "$1"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cc -O2 -o "$work/host" "$top/taviemu/bench/syscall_bench.c"
    nasm -f bin -o "$work/bench.bin" "$2"
    tavi_executable "$work/bench.bin" "$work/guest"
    syscall_ratios "$taviemu" "$work/guest" "$work/host"
}
