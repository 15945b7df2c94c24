# sysapplets' part of the demo: sessdump dumps utmp records, update leaves a
# daemon that syncs and sleeps.
set -eu
bin=$1 work=$3
[ -x "$bin/sysapplets" ] || exit 0
printf '\n== sysapplets: sessdump prints utmp records as pipe-delimited lines; update starts its sync daemon\n'

# Little-endian numbers and zero-padded text fields of a 384-byte record.
byte() { printf "\\$(printf %03o $(($1 & 255)))"; }
le16() { v=$(($1 & 65535)); byte "$v"; byte $((v >> 8)); }
le32() { v=$(($1 & 4294967295)); byte "$v"; byte $((v >> 8)); byte $((v >> 16)); byte $((v >> 24)); }
text() { printf '%s' "$1"; head -c $(($2 - ${#1})) /dev/zero; }
record() { # type pid line id user host session seconds addr-word
    le16 "$1"; le16 0; le32 "$2"
    text "$3" 32; text "$4" 4; text "$5" 32; text "$6" 256
    le16 0; le16 0; le32 "$7"; le32 "$8"; le32 0; le32 "$9"
    head -c 32 /dev/zero
}
{
    record 2 0 '~' '~~' reboot '6.1.0' 0 1765152000 0
    record 7 812 tty1 1 root '' 812 1765152060 0
    record 7 1290 pts/0 ts/0 guest 192.168.1.20 1290 1765152125 $((192 | 168 << 8 | 1 << 16 | 20 << 24))
    record 8 640 tty2 2 '' '' 640 1765152200 0
} > "$work/utmp"
echo "\$ sysapplets sessdump utmp   (4 records, $(wc -c < "$work/utmp") bytes)"
"$bin/sysapplets" sessdump "$work/utmp"
if [ -s /var/run/utmp ]; then
    echo "\$ sysapplets sessdump < /var/run/utmp"
    "$bin/sysapplets" sessdump < /var/run/utmp
fi

# update returns at once; its daemon runs under the name it was started as,
# a link made only for this demo, so it can be found and ended again. The
# flush request may still carry that name for a moment: both are ended, and
# on any way out of this script, so no daemon outlives the demo.
mkdir -p "$work/update-demo-$$"
link="$work/update-demo-$$/update"
ln -sf "$(cd "$bin" && pwd)/sysapplets" "$link"
found=
trap '[ -z "$found" ] || kill $found 2>/dev/null || :' EXIT
status=0
"$link" > /dev/null 2>&1 || status=$?
echo "\$ $link   (returned $status)"
try=0
while [ -z "$found" ] && [ "$try" -lt 50 ]; do
    try=$((try + 1))
    for dir in /proc/[0-9]*; do
        if [ "$({ tr '\0' ' ' < "$dir/cmdline"; } 2>/dev/null)" = "$link " ]; then
            found="$found ${dir#/proc/}"
        fi
    done
    [ -n "$found" ] || sleep 0.2
done
if [ -n "$found" ]; then
    sleep 0.2
    ps -o pid,stat,wchan:20,args -p "$(echo $found | tr ' ' ',')" || :
    kill $found 2>/dev/null || :
    echo "(daemon ended)"
fi
