#!/bin/sh
# Installs the built suite into a scratch DESTDIR and checks that everything
# lands where its users look for it: programs in bin/, the applet links, the
# Tcl package where tclsh finds it, kwed.rc in the etc folder, the manual
# pages in their sections.
set -eu
top=$1 build=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
PREFIX=/usr DESTDIR=$dest ETCDIR=/etc sh "$top/scripts/install" "$(basename "$build")" >/dev/null

fail=0
need() {
    if [ ! -e "$dest$1" ]; then
        echo "missing after install: $1"
        fail=1
    fi
}
for prog in quarc brevic kwed taviemu sysapplets; do
    [ -x "$build/bin/$prog" ] && need "/usr/bin/$prog"
done
if [ -x "$build/bin/sysapplets" ]; then
    need /usr/bin/update
    need /usr/bin/sessdump
fi
[ -f "$top/kwed/kwed.rc" ] && need /etc/kwed.rc
for page in "$top"/*/*.[18n]; do
    [ -f "$page" ] || continue
    need "/usr/share/man/man${page##*.}/$(basename "$page")"
done
if [ -d "$build/lib/sonarel" ]; then
    need /usr/lib/tcltk/sonarel/pkgIndex.tcl
    # A plain tclsh finds the package below a folder on its search path.
    got=$(echo 'puts [package require Sonarel]' |
        TCLLIBPATH="$dest/usr/lib/tcltk" DEVSIM_MIXER=0x3232 \
        LD_PRELOAD="$build/lib/libdevsim.so" tclsh 2>&1 || true)
    case $got in
        [0-9]*) ;;
        *) echo "package require Sonarel from the installed folder: $got"; fail=1 ;;
    esac
fi
[ $fail -eq 0 ] && echo "install layout complete"
exit $fail
