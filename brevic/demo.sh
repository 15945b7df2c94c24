# brevic's part of the demo: list real processes from /proc in several formats.
set -eu
bin=$1
[ -x "$bin/brevic" ] || exit 0
printf '\n== brevic lists processes from /proc: two sleepers started here, by number, by name and in full\n'
sleep 30 &
first=$!
sleep 30 &
second=$!
trap 'kill $first $second 2>/dev/null || true' EXIT
# A background job is a forked shell until it has started sleep: wait for
# that (at most about ten seconds) so that both are listed under their name.
for pid in $first $second; do
    tries=0
    while [ "$(cat /proc/$pid/comm 2>/dev/null)" != sleep ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
done
echo "\$ brevic j -p $first"
"$bin/brevic" j -p "$first"
echo "\$ brevic v $second"
"$bin/brevic" v "$second"
echo "\$ brevic -o pid= -C sleep    (every process named sleep)"
"$bin/brevic" -o pid= -C sleep
echo "\$ brevic -ef | head -4"
"$bin/brevic" -ef | head -4
echo "\$ brevic -p 0   (rejected: status 1 and the help text, first lines shown)"
"$bin/brevic" -p 0 2>&1 | head -3 || true
