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
. "$top/taviemu/bench/bench_common.sh"
syscall_bench syscall_bench "$top/taviemu/bench/syscall_bench.asm" "${1:-$top/build-release}"
