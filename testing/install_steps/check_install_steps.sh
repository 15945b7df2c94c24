#!/bin/sh
# The install steps (scripts/install-deps, scripts/install-kernel-deps and
# the kernel stage's package download) run against the stand-in apt-get,
# dpkg-query and dpkg of stand-ins/, one behaviour a case:
#   check_install_steps.sh TOP CASE
# update_fails     the package lists never come whole: one warning, then
#                  the install goes on and succeeds
# update_retried   an update that fails once is tried again, without warning
# install_fails    a package apt cannot install is named, with apt's error
# nothing_missing  with every package there, apt is never called
# download         a package the archive lacks is named after one refresh
set -u
top=$1 case=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PATH="$here/stand-ins:$PATH" STUB_LOG="$work/log" APT_RETRY_PAUSE=0
export PATH STUB_LOG APT_RETRY_PAUSE
: >"$STUB_LOG"
failed=0

# run STEP [NAME=VALUE]...: runs scripts/STEP with the case's settings;
# $status, $work/out and $work/err hold what came of it.
run() {
    step=$1
    shift
    env "$@" sh "$top/scripts/$step" >"$work/out" 2>"$work/err"
    status=$?
}

# expect WHAT GOT WANTED
expect() {
    [ "$2" = "$3" ] && return 0
    printf '%s: %s\n  got:    %s\n  wanted: %s\n' "$case" "$1" "$2" "$3"
    failed=1
}

calls() { grep -c "^apt-get $1" "$STUB_LOG"; }
lists_error="E: Some index files failed to download. They have been ignored, or old ones used instead."

case $case in
update_fails)
    for step in install-deps:cmake install-kernel-deps:qemu-system-x86; do
        first=${step#*:} step=${step%:*}
        : >"$STUB_LOG"
        rm -f "$STUB_LOG.updates"
        run "$step" STUB_UPDATE_FAILS=99 STUB_FOREIGN=i386
        expect "$step status" "$status" 0
        expect "$step warning" "$(cat "$work/err")" \
            "$step: the package lists are incomplete, going on with those apt has ($lists_error)"
        expect "$step updates" "$(calls update)" 3
        expect "$step installs" "$(calls "install -y -qq --no-install-recommends $first ")" 1
    done
    ;;
update_retried)
    run install-kernel-deps STUB_UPDATE_FAILS=1 STUB_INSTALLED="*"
    expect "status" "$status" 0
    expect "standard error" "$(cat "$work/err")" ""
    expect "updates" "$(calls update)" 2
    expect "i386 added" "$(grep -c '^dpkg --add-architecture i386$' "$STUB_LOG")" 1
    expect "installs" "$(calls install)" 0
    ;;
install_fails)
    run install-deps STUB_UPDATE_FAILS=99 STUB_UNAVAILABLE=nasm STUB_INSTALLED="cmake tmux"
    expect "status" "$status" 1
    expect "message" "$(tail -n 1 "$work/err")" "install-deps: cannot install nasm (E: Unable to locate package nasm)"
    ;;
nothing_missing)
    for step in install-deps install-kernel-deps; do
        : >"$STUB_LOG"
        run "$step" STUB_INSTALLED="*" STUB_FOREIGN=i386 STUB_UPDATE_FAILS=99
        expect "$step status" "$status" 0
        expect "$step output" "$(cat "$work/out" "$work/err")" ""
        expect "$step apt calls" "$(grep -c '^apt-get' "$STUB_LOG")" 0
    done
    ;;
download)
    mkdir "$work/debs"
    for package in dash:i386 linux-image-6.1.0-99-686:i386; do
        : >"$STUB_LOG"
        env STUB_UNAVAILABLE=linux-image-6.1.0-99-686:i386 sh -c \
            'me=test-kernel; . "$1"; apt_download "$2" "$3"' sh "$top/scripts/apt-steps" \
            "$work/debs" "$package" >"$work/out" 2>"$work/err"
        status=$?
        case $package in
        dash*)
            expect "$package status" "$status" 0
            expect "$package file" "$(ls "$work/debs")" dash_1.0_all.deb
            expect "$package updates" "$(calls update)" 0
            ;;
        *)
            expect "$package status" "$status" 1
            expect "$package message" "$(cat "$work/err")" \
                "test-kernel: cannot download $package (E: Can't find a source to download version '1.0' of '$package')"
            expect "$package tries" "$(grep -o '^apt-get [a-z]*' "$STUB_LOG" | tr '\n' ' ')" \
                "apt-get download apt-get update apt-get download "
            ;;
        esac
    done
    ;;
*)
    echo "no such case: $case"
    exit 2
    ;;
esac
[ "$failed" -eq 0 ] && echo "$case: passed"
exit "$failed"
