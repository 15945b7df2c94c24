# quarc's part of the demo: archive a small tree, list it with tar and bsdtar,
# and extract it again to show that the copy equals the original.
set -eu
bin=$(cd "$1" 2>/dev/null && pwd) || exit 0
work=$3
[ -x "$bin/quarc" ] || exit 0
printf '\n== quarc archives a small tree (files, a folder, a symbolic link, a hard link, a FIFO), leaving out one name; tar -tvf lists it and the extracted copy equals the original\n'
mkdir -p "$work/sample/docs" "$work/sample/cache"
printf 'hello, world\n' > "$work/sample/hello.txt"
seq 1 2000 > "$work/sample/docs/numbers.txt"
printf 'scratch\n' > "$work/sample/cache/tmp.bin"
ln -s hello.txt "$work/sample/greeting"
ln "$work/sample/docs/numbers.txt" "$work/sample/docs/same-numbers.txt"
mkfifo "$work/sample/pipe"
(cd "$work" && "$bin/quarc" sample -x sample/cache > sample.tar)
echo "\$ quarc sample -x sample/cache > sample.tar   ($(wc -c < "$work/sample.tar") bytes)"
echo "\$ tar -tvf sample.tar"
tar -tvf "$work/sample.tar"
if command -v bsdtar > /dev/null; then
    echo "\$ bsdtar -tf sample.tar | sort"
    bsdtar -tf "$work/sample.tar" | sort
fi
mkdir "$work/copy"
(cd "$work/copy" && tar -xf ../sample.tar)
rm -r "$work/sample/cache"
echo "\$ tar -xf sample.tar; diff -r -x pipe sample copy/sample; test -p copy/sample/pipe"
if diff -r --no-dereference -x pipe "$work/sample" "$work/copy/sample" && [ -p "$work/copy/sample/pipe" ]; then
    echo "(no differences)"
fi
