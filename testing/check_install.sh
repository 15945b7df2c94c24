#!/bin/sh
# Installs the built suite into a scratch DESTDIR and checks that everything
# lands where its users look for it: programs in bin/, the applet links, the
# Tcl package where tclsh finds it, kwed.rc in the etc folder the build was
# configured with (and the installed kwed looking there), the manual pages
# in their sections.
#   check_install.sh TOP BUILD PREFIX
set -eu
top=$1 build=$2 prefix=$3
etcdir=$(cat "$build/sysconfdir")
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
PREFIX=$prefix DESTDIR=$dest sh "$top/scripts/install" "$(basename "$build")" >/dev/null

fail=0
need() {
    if [ ! -e "$dest$1" ]; then
        echo "missing after install: $1"
        fail=1
    fi
}
for prog in quarc brevic kwed taviemu sysapplets; do
    [ -x "$build/bin/$prog" ] && need "$prefix/bin/$prog"
done
if [ -x "$build/bin/sysapplets" ]; then
    need "$prefix/bin/update"
    need "$prefix/bin/sessdump"
fi
[ -f "$top/kwed/kwed.rc" ] && need "$etcdir/kwed.rc"
[ -f "$top/kwed/kwed-classic.rc" ] && need "$etcdir/kwed-classic.rc"
for page in "$top"/*/*.[18n]; do
    [ -f "$page" ] || continue
    need "$prefix/share/man/man${page##*.}/$(basename "$page")"
done
if [ -d "$build/lib/sonarel" ]; then
    need "$prefix/lib/tcltk/sonarel/pkgIndex.tcl"
    # A plain tclsh finds the package below a folder on its search path.
    got=$(echo 'puts [package require Sonarel]' |
        TCLLIBPATH="$dest$prefix/lib/tcltk" DEVSIM_MIXER=0x3232 \
        LD_PRELOAD="$build/lib/libdevsim.so" tclsh 2>&1 || true)
    case $got in
        [0-9]*) ;;
        *) echo "package require Sonarel from the installed folder: $got"; fail=1 ;;
    esac
fi
# The binfmt_misc registrations name the installed runner, one per magic,
# with no flags; where a private binfmt_misc can be had (a user namespace of
# our own, Linux 6.7 and later), the kernel must accept them as written.
conf="$prefix/lib/binfmt.d/taviemu.conf"
[ -x "$build/bin/taviemu" ] && need "$conf"
if [ -f "$dest$conf" ]; then
    want=":tavi-combined:M:0:\\x01\\x03\\x10\\x04::$prefix/bin/taviemu:
:tavi-separate:M:0:\\x01\\x03\\x20\\x04::$prefix/bin/taviemu:"
    got=$(grep -v '^#' "$dest$conf" 2>/dev/null || true)
    if [ "$got" != "$want" ]; then
        printf 'the binfmt_misc registrations are\n%s\nrather than\n%s\n' "$got" "$want"
        fail=1
    fi
    registered=$(unshare --user --map-root-user --mount sh -c '
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || exit 0
        grep -v "^#" "$1" | while read -r line; do
            printf "%s" "$line" >/proc/sys/fs/binfmt_misc/register || echo "refused: $line"
        done
        cat /proc/sys/fs/binfmt_misc/tavi-separate' sh "$dest$conf" 2>&1 || true)
    case $registered in
        "" | *"Operation not permitted"* | *"Permission denied"*) ;;
        *"interpreter $prefix/bin/taviemu"*"flags: "*"magic 01032004"*) ;;
        *) echo "the kernel took the binfmt_misc registrations otherwise: $registered"; fail=1 ;;
    esac
fi
# With ETCDIR unset the installed kwed asks for the key map in the etc folder
# it was built for (it then stops, as that file is not there outside DESTDIR).
# It opens that folder first and the name in it after, so the folder's open
# is what shows. It takes keys only from a terminal, so script gives it one.
if [ -x "$dest$prefix/bin/kwed" ] && command -v strace >/dev/null && command -v script >/dev/null; then
    scratch=$(mktemp -d)
    (cd "$scratch" && env -u ETCDIR HOME="$scratch" TERM=xterm timeout 20 \
        script -qec "strace -f -e trace=open,openat -o '$scratch/trace' '$dest$prefix/bin/kwed'" \
        /dev/null </dev/null >/dev/null 2>&1) || true
    if ! grep -q "\"$etcdir\", .*O_PATH" "$scratch/trace"; then
        echo "the installed kwed did not look for $etcdir/kwed.rc:"
        grep -e kwed.rc -e O_PATH "$scratch/trace" || true
        fail=1
    fi
    rm -rf "$scratch"
fi
[ $fail -eq 0 ] && echo "install layout complete"
exit $fail
