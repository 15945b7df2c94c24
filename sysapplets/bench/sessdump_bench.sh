#!/bin/sh
# Times sessdump against utmpdump on one file of 200,000 utmp records, both
# writing to /dev/null, and prints the best of several runs of each and the
# ratio. Build the release preset first. With BASELINE=DIR (the bin folder
# of another release build, an older commit's) that sysapplets is timed in
# the same run too, with the ratio of this build's time to its.
#   sh sysapplets/bench/sessdump_bench.sh [BIN_DIR] [RUNS]
set -eu
bin=${1:-build-sysapplets-rel/bin}
runs=${2:-7}
records=200000
prog="$bin/sysapplets"
[ -x "$prog" ] || { echo "no $prog: build the release preset first" >&2; exit 1; }
base=${BASELINE:+$BASELINE/sysapplets}
[ -z "$base" ] || [ -x "$base" ] || { echo "no $base" >&2; exit 1; }
command -v utmpdump >/dev/null || { echo "utmpdump is not installed" >&2; exit 1; }
command -v python3 >/dev/null || { echo "python3 is needed to write the input" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input="$work/utmp"

# A mix like a busy login file: login, user, dead and boot records with
# terminal lines, hosts and IPv4 addresses. One host in 25 is not plain
# ASCII: UTF-8 text, or control characters that are shown as '?'.
python3 - "$input" "$records" <<'PY'
import struct, sys
path, count = sys.argv[1], int(sys.argv[2])
layout = struct.Struct('<hxxi32s4s32s256shhiii4I20x')
odd_hosts = ('höst-ünïcødé.example.net'.encode(), b'evil\x1b[2J\nforged\x9b\xc2\x9b.example.net')
with open(path, 'wb') as out:
    for i in range(count):
        kind = (7, 7, 8, 6, 2)[i % 5]
        host = odd_hosts[i // 25 % 2] if i % 25 == 0 else b'host%d.example.net' % (i % 5000)
        out.write(layout.pack(kind, 1000 + i, b'pts/%d' % (i % 300), b'%d' % (i % 9999),
                              b'user%d' % (i % 700), host,
                              0, i % 3, 1000 + i, 1600000000 + i * 17, (i * 7919) % 1000000,
                              (10 | (i % 256) << 8 | 7 << 16 | 1 << 24), 0, 0, 0))
PY

# Prints the wall-clock time, in seconds, of one run of the command.
time_once() {
    start=$(date +%s.%N)
    "$@" > /dev/null 2>&1
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }'
}

# The lesser of two times, the first of them possibly empty.
least() {
    awk -v b="$1" -v t="$2" 'BEGIN { if (b == "" || t < b) b = t; printf "%.6f", b }'
}

# The runs of the programs take turns, so that a busy moment of the machine
# falls on each alike; the best time of each counts.
ours= theirs= before=
i=0
while [ "$i" -lt "$runs" ]; do
    ours=$(least "$ours" "$(time_once "$prog" sessdump "$input")")
    theirs=$(least "$theirs" "$(TZ=UTC time_once utmpdump "$input")")
    [ -z "$base" ] || before=$(least "$before" "$(time_once "$base" sessdump "$input")")
    i=$((i + 1))
done
printf 'input: %d records, %d bytes; best of %d runs each\n' "$records" "$(wc -c < "$input")" "$runs"
printf 'sessdump: %.3f s\nutmpdump: %.3f s\n' "$ours" "$theirs"
awk -v o="$ours" -v t="$theirs" \
    'BEGIN { printf "ratio sessdump/utmpdump: %.3f (target: at most 0.5)\n", o / t }'
if [ -n "$base" ]; then
    printf 'baseline sessdump (%s): %.3f s\n' "$base" "$before"
    awk -v o="$ours" -v b="$before" 'BEGIN { printf "ratio this build/baseline: %.3f\n", o / b }'
fi
