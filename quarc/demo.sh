# quarc's part of the demo: archive a small tree and list it with tar.
set -eu
bin=$1 work=$3
[ -x "$bin/quarc" ] || exit 0
printf '\n== quarc archives a small tree (files, a folder, a symbolic link, a hard link); tar -tvf lists it\n'
mkdir -p "$work/sample/docs"
printf 'hello, world\n' > "$work/sample/hello.txt"
seq 1 2000 > "$work/sample/docs/numbers.txt"
ln -s hello.txt "$work/sample/greeting"
ln "$work/sample/docs/numbers.txt" "$work/sample/docs/same-numbers.txt"
(cd "$work" && "$bin/quarc" sample > sample.tar)
echo "\$ quarc sample > sample.tar   ($(wc -c < "$work/sample.tar") bytes)"
echo "\$ tar -tvf sample.tar"
tar -tvf "$work/sample.tar"
