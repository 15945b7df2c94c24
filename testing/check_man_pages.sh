#!/bin/sh
# Renders every manual page of the suite (*/*.1, */*.8, */*.n under the
# repository root given as $1) with all groff warnings switched on, prints
# one line per page, and fails when any page makes the formatter say
# anything on standard error or renders to nothing.
#
#   sh testing/check_man_pages.sh REPOSITORY_ROOT
#
# Pages are rendered with man -l, as a user reads them; where man is missing,
# groff -ww -man -z checks them instead. Exit status: 0 when every page is
# clean, 1 when any page warned or failed (or no page was found), 77 when
# neither formatter is installed.
set -u

root=${1:-}
if [ -z "$root" ] || [ ! -d "$root" ]; then
    echo "usage: sh check_man_pages.sh REPOSITORY_ROOT" >&2
    exit 1
fi

if command -v man >/dev/null 2>&1; then
    formatter=man
elif command -v groff >/dev/null 2>&1; then
    formatter=groff
else
    echo "neither man nor groff is installed: manual pages not checked" >&2
    exit 77
fi

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT HUP INT TERM

# Renders one page; its text goes to $work/out, the formatter's complaints
# to $work/err.
render() {
    if [ "$formatter" = man ]; then
        # --warnings=w: every groff warning, not only the default ones.
        LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 MANPAGER=cat PAGER=cat \
            man --warnings=w -E UTF-8 -l "$1" >"$work/out" 2>"$work/err"
    else
        LC_ALL=C.UTF-8 groff -ww -man -Tutf8 "$1" >"$work/out" 2>"$work/err"
    fi
}

pages=0
failed=
for page in "$root"/*/*.1 "$root"/*/*.8 "$root"/*/*.n; do
    [ -f "$page" ] || continue
    case ${page#"$root"/} in
    build/* | build-*/*) continue ;; # build trees are not sources
    esac
    pages=$((pages + 1))
    name=${page#"$root"/}
    render "$page"
    status=$?
    if [ "$status" -ne 0 ] || [ -s "$work/err" ] || [ ! -s "$work/out" ]; then
        echo "FAIL $name ($formatter, status $status)"
        sed 's/^/    /' "$work/err"
        [ -s "$work/out" ] || echo "    (nothing rendered)"
        failed="$failed $name"
    else
        echo "ok   $name ($(wc -l <"$work/out" | tr -d ' ') lines)"
    fi
done

if [ "$pages" -eq 0 ]; then
    echo "no manual pages found under $root" >&2
    exit 1
fi
if [ -n "$failed" ]; then
    echo "manual pages with warnings or errors:$failed" >&2
    exit 1
fi
echo "$pages manual pages checked, no warnings"
exit 0
