#!/bin/sh
# Times a system call's round trip through taviemu against the same call
# made by a host program, in one run, each figure the best of 5 runs: a
# tavi program (syscall_bench.asm) and a host C program (syscall_bench.c)
# each make 100,000 getpid calls, then 100,000 one-byte writes to
# /dev/null; the start-up alone (neither) is timed too and taken off, and
# the script prints the time per call and the ratio taviemu / host.
#
#   sh taviemu/bench/syscall_bench.sh [BUILD_DIR]
#
# BUILD_DIR is a release build (default build-release) with taviemu built.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build-release}
runs=5
calls=100000
taviemu=$build/bin/taviemu
if [ ! -x "$taviemu" ]; then
    echo "syscall_bench: build the target taviemu in $build first" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cc -O2 -o "$work/host" "$top/taviemu/bench/syscall_bench.c"
nasm -f bin -o "$work/bench.bin" "$top/taviemu/bench/syscall_bench.asm"
le32() {
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) \
        $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}
size=$(wc -c < "$work/bench.bin")
{
    le32 $((0x04100301)); le32 32; le32 "$size"; le32 0; le32 0; le32 0; le32 0; le32 0
    cat "$work/bench.bin"
} > "$work/tavi"
chmod 755 "$work/tavi"

now() { date +%s%N; }
# best COMMAND...: the shortest wall time of $runs runs, in nanoseconds.
best() {
    b=0 i=0
    while [ $i -lt $runs ]; do
        s=$(now)
        "$@" > /dev/null 2>&1 || { echo "syscall_bench: $* failed" >&2; exit 1; }
        t=$(($(now) - s))
        if [ $b -eq 0 ] || [ $t -lt $b ]; then b=$t; fi
        i=$((i + 1))
    done
    echo $b
}

tavi_empty=$(best "$taviemu" "$work/tavi" n)
host_empty=$(best "$work/host" n)
echo "$calls calls each, best of $runs runs, start-up taken off:"
for mode in p w; do
    case $mode in p) what="getpid" ;; w) what="one-byte write to /dev/null" ;; esac
    tavi_ns=$(best "$taviemu" "$work/tavi" $mode)
    host_ns=$(best "$work/host" $mode)
    awk -v what="$what" -v n=$calls -v t="$tavi_ns" -v te="$tavi_empty" \
        -v h="$host_ns" -v he="$host_empty" 'BEGIN {
        tc = (t - te) / n; hc = (h - he) / n
        printf "  %s: taviemu %.0f ns a call, host %.0f ns a call, ratio %.2f\n", what, tc, hc, tc / hc
    }'
done
