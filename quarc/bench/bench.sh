#!/bin/sh
# Times quarc against GNU tar (--format=gnu) and bsdtar on the same trees, in
# one run, each writing its archive through a pipe into a file on the same disk:
#   (a) 20,000 files of 1 to 8 KiB in nested directories
#   (b) four files of 256 MiB
#   (c) 40,000 files in 20,000 hard-linked pairs (every file of one folder has
#       a second name in another), where the hard-link table is searched for
#       every file
#   (d) the files of (a) named on standard input, one a line and (with
#       --null) ended by NUL bytes, as find lists them
# with reference points: reading every file with cat (a), an in-kernel copy
# of the files into one file (b), and cat sending the files through the same
# pipe (b), which is about as fast as anything can be that has the reading
# cat at the other end of its pipe. Every command runs ROUNDS times (default 5), interleaved,
# and the best time counts: the machine is shared and timings wander.
#
#   sh quarc/bench/bench.sh [BIN_DIR] [WORK_DIR]
#
# BIN_DIR holds the release build's quarc (default build-quarc-rel/bin);
# WORK_DIR takes the trees and archives, about 2.5 GiB (default
# build-quarc-rel/bench). The trees are kept for later runs. With
# BASELINE=DIR (the bin folder of another release build, an older commit's)
# that quarc is timed in the same rounds too, and the ratios of this build's
# times to the baseline's are printed (for (d), names one a line only, which
# every build reads).
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
bin=${1:-$top/build-quarc-rel/bin}
work=${2:-$top/build-quarc-rel/bench}
rounds=${ROUNDS:-5}
[ -x "$bin/quarc" ] || { echo "no quarc in $bin: cmake --preset release -B build-quarc-rel && cmake --build build-quarc-rel --target quarc" >&2; exit 1; }
quarc=$(cd "$bin" && pwd)/quarc # the runs below take place in the work folder
base=
if [ -n "${BASELINE:-}" ]; then
    [ -x "$BASELINE/quarc" ] || { echo "no quarc in $BASELINE" >&2; exit 1; }
    base=$(cd "$BASELINE" && pwd)/quarc
fi
mkdir -p "$work"
cd "$work"

if [ ! -f small/.complete ]; then
    echo "making (a): 20,000 files of 1 to 8 KiB"
    rm -rf small
    python3 - <<'PY'
import os, random
rng = random.Random(20000)
n = 0
for top in range(20):
    for sub in range(10):
        d = f"small/d{top:02}/s{sub}"
        os.makedirs(d)
        for i in range(100):
            with open(f"{d}/f{i:03}", "wb") as f:
                f.write(rng.randbytes(rng.randint(1024, 8192)))
            n += 1
open("small/.complete", "w").close()
PY
fi
if [ ! -f large/.complete ]; then
    echo "making (b): four files of 256 MiB"
    rm -rf large
    mkdir large
    for i in 1 2 3 4; do
        head -c 256M /dev/urandom > large/part$i
    done
    : > large/.complete
fi
if [ ! -f links/.complete ]; then
    echo "making (c): 40,000 files in 20,000 hard-linked pairs"
    rm -rf links
    python3 - <<'PY'
import os
for top in range(20):
    first, second = f"links/p{top:02}/first", f"links/p{top:02}/second"
    os.makedirs(first)
    os.makedirs(second)
    for i in range(1000):
        with open(f"{first}/f{i:03}", "wb") as f:
            f.write(b"x" * (i % 100))
        os.link(f"{first}/f{i:03}", f"{second}/f{i:03}")
open("links/.complete", "w").close()
PY
fi
# Read everything once so that every tool finds it in the page cache.
find small large links -type f -print0 | xargs -0 cat > /dev/null
find small -type f > names.lines
find small -type f -print0 > names.nul

now() { date +%s.%N; }

# best NAME COMMAND: runs COMMAND once, keeps the least time seen for NAME.
best() {
    name=$1
    shift
    rm -f out.tar
    sync
    t0=$(now)
    sh -c "$*"
    t1=$(now)
    # The pipe hides the archiver's status; an archive that is not there
    # would otherwise count as the fastest run.
    [ -s out.tar ] || { echo "$name: no archive written" >&2; exit 1; }
    secs=$(echo "$t0 $t1" | awk '{ printf "%.3f", $2 - $1 }')
    old=$(grep "^$name " times 2>/dev/null | cut -d' ' -f2 || true)
    if [ -z "$old" ] || awk -v a="$secs" -v b="$old" 'BEGIN { exit !(a < b) }'; then
        grep -v "^$name " times > times.new 2>/dev/null || true
        echo "$name $secs" >> times.new
        mv times.new times
    fi
}
get() { grep "^$1 " times | cut -d' ' -f2; }
ratio() { awk -v a="$(get "$1")" -v b="$(get "$2")" 'BEGIN { printf "%.2f", a / b }'; }

# this_and_base TREE ARGS: times this build as TREE_quarc and the baseline,
# if any, as TREE_base, one right after the other, each first in every
# other round, so that neither always meets the machine as the previous
# run left it.
this_and_base() {
    if [ -z "$base" ]; then
        best "$1_quarc" "'$quarc' $2 | cat > out.tar"
    elif [ $((round % 2)) -eq 1 ]; then
        best "$1_quarc" "'$quarc' $2 | cat > out.tar"
        best "$1_base" "'$base' $2 | cat > out.tar"
    else
        best "$1_base" "'$base' $2 | cat > out.tar"
        best "$1_quarc" "'$quarc' $2 | cat > out.tar"
    fi
}

: > times
round=1
while [ "$round" -le "$rounds" ]; do
    this_and_base a small
    best a_gnutar "tar -cf - --format=gnu small | cat > out.tar"
    best a_bsdtar "bsdtar -cf - small | cat > out.tar"
    best a_cat "find small -type f -print0 | xargs -0 cat | cat > out.tar"
    this_and_base b large
    best b_gnutar "tar -cf - --format=gnu large | cat > out.tar"
    best b_bsdtar "bsdtar -cf - large | cat > out.tar"
    best b_kernel "cat large/part1 large/part2 large/part3 large/part4 > out.tar"
    best b_catpipe "cat large/part1 large/part2 large/part3 large/part4 | cat > out.tar"
    this_and_base c links
    best c_gnutar "tar -cf - --format=gnu links | cat > out.tar"
    best c_bsdtar "bsdtar -cf - links | cat > out.tar"
    this_and_base d "- < names.lines"
    best d_quarc0 "'$quarc' --null - < names.nul | cat > out.tar"
    best d_gnutar "tar -cf - --format=gnu -T names.lines | cat > out.tar"
    best d_gnutar0 "tar -cf - --format=gnu --null -T names.nul | cat > out.tar"
    round=$((round + 1))
done

# The archive is the same whichever way its data went.
"$quarc" large > direct.tar
"$quarc" large | cat > piped.tar
cmp direct.tar piped.tar
tar -tf piped.tar > /dev/null
# Every second name went in as a link.
links=$("$quarc" links | tar -tvf - | grep -c ' link to ')
[ "$links" -eq 20000 ] || { echo "(c): $links hard links stored, not 20000" >&2; exit 1; }
# Every name of the list is a member, and both forms of it give one archive.
listed=$(wc -l < names.lines)
[ "$("$quarc" - < names.lines | tar -tf - | wc -l)" -eq "$listed" ] || { echo "(d): not $listed members" >&2; exit 1; }
"$quarc" - < names.lines > lines.tar
"$quarc" --null - < names.nul > nul.tar
cmp lines.tar nul.tar
rm -f direct.tar piped.tar out.tar lines.tar nul.tar names.lines names.nul

echo "best of $rounds, seconds (archive through a pipe into a file):"
printf '  (a) 20,000 small files: quarc %s  GNU tar %s  bsdtar %s  cat of every file %s\n' \
    "$(get a_quarc)" "$(get a_gnutar)" "$(get a_bsdtar)" "$(get a_cat)"
printf '  (b) 4 x 256 MiB:        quarc %s  GNU tar %s  bsdtar %s  in-kernel copy %s  cat through the pipe %s\n' \
    "$(get b_quarc)" "$(get b_gnutar)" "$(get b_bsdtar)" "$(get b_kernel)" "$(get b_catpipe)"
printf '  (c) 20,000 linked pairs: quarc %s  GNU tar %s  bsdtar %s\n' \
    "$(get c_quarc)" "$(get c_gnutar)" "$(get c_bsdtar)"
printf '  (d) (a) from a list:     quarc %s (--null %s)  GNU tar %s (--null %s)\n' \
    "$(get d_quarc)" "$(get d_quarc0)" "$(get d_gnutar)" "$(get d_gnutar0)"
echo "ratios (quarc's time / the other's):"
printf '  (a) quarc/GNU tar %s  quarc/bsdtar %s  quarc/cat %s\n' \
    "$(ratio a_quarc a_gnutar)" "$(ratio a_quarc a_bsdtar)" "$(ratio a_quarc a_cat)"
printf '  (b) quarc/GNU tar %s  quarc/bsdtar %s  quarc/in-kernel copy %s  quarc/cat through the pipe %s\n' \
    "$(ratio b_quarc b_gnutar)" "$(ratio b_quarc b_bsdtar)" "$(ratio b_quarc b_kernel)" "$(ratio b_quarc b_catpipe)"
printf '  (c) quarc/GNU tar %s  quarc/bsdtar %s\n' "$(ratio c_quarc c_gnutar)" "$(ratio c_quarc c_bsdtar)"
printf '  (d) quarc/GNU tar %s  with --null %s\n' "$(ratio d_quarc d_gnutar)" "$(ratio d_quarc0 d_gnutar0)"
if [ -n "$base" ]; then
    echo "this build / the baseline ($base), same rounds:"
    printf '  (a) %s  (b) %s  (c) %s  (d) %s\n' "$(ratio a_quarc a_base)" "$(ratio b_quarc b_base)" \
        "$(ratio c_quarc c_base)" "$(ratio d_quarc d_base)"
fi
