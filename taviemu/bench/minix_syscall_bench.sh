#!/bin/sh
# Times a Minix system call's round trip through taviemu against the same
# call made by a host program, in one run, each figure the best of 5 runs:
# a Minix program (minix_syscall_bench.asm, which sends its messages as the
# Minix library does) and the host C program of syscall_bench.sh each make
# 100,000 getpid calls, then 100,000 one-byte writes to /dev/null; the
# start-up alone (neither) is timed too and taken off, and the script
# prints the time per call and the ratio taviemu / host.
#
#   sh taviemu/bench/minix_syscall_bench.sh [BUILD_DIR]
#
# BUILD_DIR is a release build (default build-release) with taviemu built.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/taviemu/bench/bench_common.sh"
syscall_bench minix_syscall_bench "$top/taviemu/bench/minix_syscall_bench.asm" "${1:-$top/build-release}"
