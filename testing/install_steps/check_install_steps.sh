#!/bin/sh
# The install steps (scripts/install-deps, scripts/install-kernel-deps and
# the kernel stage's package download) against the stand-in apt-get,
# dpkg-query and dpkg of stand-ins/, one behaviour a case:
#   check_install_steps.sh TOP CASE
set -u
top=$1 case=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PATH="$here/stand-ins:$PATH" STUB_LOG="$work/log" APT_RETRY_PAUSE=0
export PATH STUB_LOG APT_RETRY_PAUSE
lists="E: Some index files failed to download. They have been ignored, or old ones used instead."
download='me=test-kernel; . "$1"; apt_download "$2" "$3"'
mkdir "$work/debs"
failed=0

# check SETTINGS STATUS ERROR CALLS COMMAND...: runs the command with the
# stand-ins' settings and compares its status, its standard error (all of
# it) and the calls made of apt-get and dpkg, in order.
check() {
    settings=$1 status=$2 error=$3 calls=$4
    shift 4
    : >"$STUB_LOG"
    (
        [ -z "$settings" ] || eval "export $settings"
        exec "$@" >/dev/null 2>"$work/err"
    )
    got="$? | $(cat "$work/err") | $(tr '\n' ' ' <"$STUB_LOG")"
    wanted="$status | $error | $calls"
    [ "$got" = "$wanted" ] && return 0
    printf '%s: %s\n  got:    %s\n  wanted: %s\n' "$case" "$*" "$got" "$wanted"
    failed=1
}

case $case in
update_fails) # the lists never come whole: one warning, and the install goes on
    check "STUB_UPDATE_FAILS=9 STUB_MISSING=nasm" 0 \
        "install-deps: the package lists are incomplete, going on with those apt has ($lists)" \
        "update update update install " sh "$top/scripts/install-deps" ;;
update_retried) # an update that fails once is tried again, without a word
    check "STUB_UPDATE_FAILS=1" 0 "" "add-architecture update update " \
        sh "$top/scripts/install-kernel-deps" ;;
install_fails) # a package apt cannot install is named, with apt's error
    check "STUB_FOREIGN=i386 STUB_MISSING='flex genisoimage' STUB_UNAVAILABLE=genisoimage" 1 \
        "install-kernel-deps: cannot install genisoimage (E: Unable to locate package genisoimage)" \
        "update install install install " sh "$top/scripts/install-kernel-deps" ;;
nothing_missing) # with every package there, apt is never called
    check "STUB_UPDATE_FAILS=9" 0 "" "" sh "$top/scripts/install-deps"
    check "STUB_FOREIGN=i386 STUB_UPDATE_FAILS=9" 0 "" "" sh "$top/scripts/install-kernel-deps" ;;
download) # a package the archive lacks is named after one refresh
    check "" 0 "" "download " sh -c "$download" sh "$top/scripts/apt-steps" "$work/debs" dash:i386
    [ -f "$work/debs/dash_1.0_all.deb" ] || { echo "$case: no dash_1.0_all.deb"; failed=1; }
    check "STUB_UNAVAILABLE=linux-image-x:i386" 1 \
        "test-kernel: cannot download linux-image-x:i386 (E: Can't find a source to download version '1.0' of 'linux-image-x:i386')" \
        "download update download " sh -c "$download" sh "$top/scripts/apt-steps" "$work/debs" linux-image-x:i386 ;;
*)
    echo "no such case: $case"
    exit 2 ;;
esac
[ "$failed" -eq 0 ] && echo "$case: passed"
exit "$failed"
