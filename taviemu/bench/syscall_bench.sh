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
. "$top/taviemu/bench/bench_common.sh"
tavi_executable "$work/bench.bin" "$work/tavi"

syscall_ratios "$taviemu" "$work/tavi" "$work/host"
