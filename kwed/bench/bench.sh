#!/bin/sh
# Times kwed against vim -u NONE and nano, driven through the same tmux
# terminal with the same keys, and, when a second kwed is given, that one
# too (another build, to tell whether a change made a step slower). On a
# 100 MiB text file: start-up to the first full screen, a search for the
# last line from the top, the same search as a regular expression (not for
# a kwed that has none), a jump to the last line, typing 1,000 characters
# in the middle, replacing all 17 occurrences of a text, saving the file,
# and quitting. On a file of one 10 MB
# line: going to the line's end, going to the end of the text from the
# line's start, and a page up from there. The editors take turns run by
# run, so that a busy spell of the shared machine falls on all of them, and
# each step is the best of the runs; the last columns are ratios of times.
#
#   sh kwed/bench/bench.sh [BUILD_DIR] [RUNS] [OTHER_KWED]
#
# BUILD_DIR is a release build (cmake --preset release -B build-kwed-rel);
# OTHER_KWED is the path of another kwed program, shown as "base" (with
# the kwed.rc of its build's etc folder, if it has one).
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build-kwed-rel}" && pwd)
runs=${2:-3}
base=${3:-}
kwed=$build/bin/kwed
[ -x "$kwed" ] || { echo "no kwed in $build/bin (build the release preset)" >&2; exit 1; }
[ -z "$base" ] || [ -x "$base" ] || { echo "no program $base" >&2; exit 1; }
command -v vim >/dev/null || { echo "vim is not installed" >&2; exit 1; }
command -v nano >/dev/null || { echo "nano is not installed" >&2; exit 1; }

work=$(mktemp -d)
# Each run gets a tmux server of its own, so none meets a dying one.
sock=kwed-bench-$$
tmux_() { tmux -L "$sock" -f /dev/null "$@"; }
# Ends the server and removes the socket that tmux leaves behind.
stop_server() {
    path=$(tmux_ display-message -p '#{socket_path}' 2>/dev/null || true)
    tmux_ kill-server 2>/dev/null || true
    [ -z "$path" ] || rm -f "$path"
}
run=0
trap 'stop_server; rm -rf "$work"' EXIT INT TERM

# 100 MiB of numbered lines; the last line carries a marker to wait for.
file=$work/big.txt
awk 'BEGIN { for (i = 1; i <= 1747627; i++)
        printf "%07d the quick brown fox jumps over the lazy dog %07d\n", i, i }' > "$file"
truncate -s 104857582 "$file"
printf '\nLAST-LINE-MARKER\n' >> "$file"
# Each run saves its changes, so it starts from a fresh copy.
mv "$file" "$work/big.orig"
lines=$(wc -l < "$work/big.orig")
middle=$((lines / 2))
insert=$(awk 'BEGIN { for (i = 0; i < 988; i++) printf "%c", 97 + i % 26; printf "END-OF-TEXT!" }')
# One line of exactly 10,000,000 bytes, its start and end marked. The
# length is a multiple of the 80 columns, so when the line wraps the end
# marker fills the end of a row and is never cut in two.
long=$work/long.txt
awk 'BEGIN { s = "LONG-LINE-START"; e = "LONG-LINE-END"; w = " lorem ipsum dolor sit amet"
    printf "%s", s; n = length(s); m = 10000000 - length(e)
    for (; n + length(w) <= m; n += length(w)) printf "%s", w
    for (; n < m; n++) printf "."
    print e }' > "$long"
mkdir -p "$work/etc" "$work/etc-base"
# Each kwed reads the key map of its own build, where there is one: an
# older build may not know every command of today's. Both are typed the
# same keys, those of kwed's earlier map, which a newer build keeps as
# kwed-classic.rc.
if [ -f "$build/etc/kwed-classic.rc" ]; then
    cp "$build/etc/kwed-classic.rc" "$work/etc/kwed.rc"
elif [ -f "$build/etc/kwed.rc" ]; then
    cp "$build/etc/kwed.rc" "$work/etc/kwed.rc"
else
    cp "$top/kwed/kwed.rc" "$work/etc/kwed.rc"
fi
if [ -n "$base" ] && [ -f "$(dirname "$base")/../etc/kwed.rc" ]; then
    cp "$(dirname "$base")/../etc/kwed.rc" "$work/etc-base/kwed.rc"
else
    cp "$work/etc/kwed.rc" "$work/etc-base/kwed.rc"
fi

now() { date +%s%N; }
screen() { tmux_ capture-pane -p -J -t bench 2>/dev/null || true; }
# Waits until the screen holds the text, or with "gone" after it until the
# screen no longer holds it; fails after 120 seconds.
wait_for() {
    limit=$(($(now) + 120000000000))
    found=0
    [ "${2:-}" != gone ] || found=1
    until screen | grep -qF -- "$1"; [ $? -eq $found ]; do
        [ "$(now)" -lt "$limit" ] || {
            echo "timed out waiting for: $1 ${2:-}" >&2
            screen >&2
            stop_server
            exit 1
        }
    done
}
wait_exit() {
    limit=$(($(now) + 120000000000))
    until [ -s "$work/status" ]; do
        [ "$(now)" -lt "$limit" ] || {
            echo "timed out waiting for the end" >&2
            stop_server
            exit 1
        }
    done
}
ms() { echo $((($2 - $1) / 1000000)); }
keys() { tmux_ send-keys -t bench "$@"; }

# Starts the editor (kwed, base, vim or nano) on the file in a tmux server
# of its own (its name holds the editor, the file and the run), with an
# 80x24 screen.
start() {
    editor=$1
    sock=kwed-bench-$$-$editor-${2%.txt}-$run
    rm -f "$work/status" "$work/.$2.swp"
    case $editor in
    kwed) cmd="env ETCDIR=$work/etc HOME=$work LANG=C.UTF-8 $kwed $2" ;;
    base) cmd="env ETCDIR=$work/etc-base HOME=$work LANG=C.UTF-8 $base $2" ;;
    vim) cmd="env HOME=$work LANG=C.UTF-8 vim -u NONE $2" ;;
    nano) cmd="env HOME=$work LANG=C.UTF-8 nano --ignorercfiles --constantshow $2" ;;
    esac
    tmux_ new-session -d -s bench -x 80 -y 24 -c "$work" "$cmd; echo \$? > $work/status; sleep 600"
}
is_kwed() { [ "$editor" = kwed ] || [ "$editor" = base ]; }
# A kwed that shows a help panel at start-up closes it with its first key:
# not timed (a kwed without one only redraws).
close_help() {
    keys C-l
    wait_for "kwed keys" gone
}

# Quits an editor that holds no unsaved changes, waits until it has ended
# and ends its tmux server.
quit_editor() {
    case $editor in
    vim) keys ":q" Enter ;;
    nano) keys C-x ;;
    *) keys C-q ;;
    esac
    wait_exit
    stop_server
}

# Back to the top of the text (not timed).
top_of_text() {
    case $editor in
    vim) keys gg ;;
    nano) keys M-\\ ;;
    *) keys C-Home ;;
    esac
    wait_for "0000001 the quick"
}

# One run of one editor on the 100 MiB file: prints eight times in
# milliseconds ("-" for a step it does not have).
run_editor() {
    editor=$1
    case $editor in
    vim) first="104857600 bytes" ;;
    nano) first="Read $lines lines" ;;
    *) first="Read big.txt" ;;
    esac
    cp "$work/big.orig" "$file"
    t0=$(now)
    start "$editor" big.txt
    wait_for "$first"
    wait_for "0000001 the quick"
    t1=$(now)
    ! is_kwed || close_help
    # A search from the top for a text on the last line.
    ts=$(now)
    case $editor in
    vim) keys "/E-MARK" Enter ;;
    nano) keys C-w "E-MARK" Enter ;;
    *) keys C-f "E-MARK" Enter ;;
    esac
    wait_for "LAST-LINE-MARKER"
    tse=$(now)
    # Back to the top (not timed), then the same search as a regular
    # expression, which a kwed without them does not have.
    top_of_text
    tr=$(now)
    case $editor in
    vim) keys '/\vE-M[A-Z]+ER$' Enter ;;
    nano) keys C-w M-r 'E-M[A-Z]+ER$' Enter ;;
    kwed) keys C-f M-r 'E-M[A-Z]+ER$' Enter ;;
    # A kwed without them searches for the plain text again (not timed),
    # so that every kwed comes to the later steps the same way: how long
    # the steps before a save took changes what the save costs.
    base) keys C-f "E-MARK" Enter ;;
    esac
    wait_for "LAST-LINE-MARKER"
    tre=$(now)
    [ "$editor" != base ] || tre=-
    # Back to the top (not timed), then the jump to the last line.
    top_of_text
    tj=$(now)
    case $editor in
    vim) keys G ;;
    nano) keys M-/ ;;
    *) keys C-End ;;
    esac
    wait_for "LAST-LINE-MARKER"
    t2=$(now)
    # Go to the middle (not timed), then type.
    case $editor in
    vim)
        keys ":$middle" Enter
        wait_for "$(printf '%07d the quick' "$middle")"
        keys i
        ;;
    nano)
        keys C-_ "$middle" Enter
        wait_for " $middle/"
        ;;
    *)
        keys C-g "$middle" Enter
        wait_for "line $middle, col 1"
        ;;
    esac
    t3=$(now)
    keys -l "$insert"
    wait_for "END-OF-TEXT!"
    t4=$(now)
    # Every occurrence of a text replaced (a plain text again: the choice
    # of a regular expression made above is switched off in the question).
    tp=$(now)
    case $editor in
    vim)
        keys Escape
        sleep 2
        tp=$(now)
        keys ':%s/99999 the/99999 THE/g' Enter
        wait_for "17 substitutions"
        keys i
        ;;
    nano)
        keys 'C-\' M-r "99999 the" Enter "99999 THE" Enter
        wait_for "Replace this instance"
        keys A
        wait_for "Replaced 17 occurrences"
        ;;
    kwed)
        keys 'C-\' M-r "99999 the" Enter "99999 THE" Enter
        wait_for "Replace this one"
        keys a
        wait_for "Replaced 17 occurrences"
        ;;
    base)
        keys 'C-\' "99999 the" Enter "99999 THE" Enter
        wait_for "Replace this one"
        keys a
        wait_for "Replaced 17 occurrences"
        ;;
    esac
    tpe=$(now)
    # Save; the message names the file once all of it is written.
    case $editor in
    vim)
        # Leaving insert mode waits out vim's Escape timeout: not timed.
        keys Escape
        sleep 2
        t5=$(now)
        keys ":w" Enter
        wait_for "written"
        ;;
    nano)
        t5=$(now)
        keys C-o
        wait_for "File Name to Write"
        keys Enter
        wait_for "Wrote $lines lines"
        ;;
    *)
        t5=$(now)
        keys C-s
        wait_for "Wrote big.txt"
        ;;
    esac
    t6=$(now)
    # Nothing is left unsaved, so each quits without a question.
    quit_editor
    t7=$(now)
    regex=-
    [ "$tre" = - ] || regex=$(ms "$tr" "$tre")
    echo "$(ms "$t0" "$t1") $(ms "$ts" "$tse") $regex $(ms "$tj" "$t2") $(ms "$t3" "$t4")" \
        "$(ms "$tp" "$tpe") $(ms "$t5" "$t6") $(ms "$t6" "$t7")"
}

# One run of one editor on the file of one 10 MB line: prints three times
# in milliseconds. kwed and vim wrap the line, so the screen shows the part
# of it around the cursor; nano scrolls it sideways, and shows nothing of
# it from the end of the text (the empty line after it): its last two
# steps are not timed ("-").
run_long() {
    editor=$1
    start "$editor" long.txt
    case $editor in
    vim) wait_for "10000001 bytes" ;;
    nano) wait_for "Read 1 line" ;;
    *) wait_for "Read long.txt" ;;
    esac
    wait_for "LONG-LINE-START"
    ! is_kwed || close_help
    endkey=End
    homekey=Home
    [ "$editor" != vim ] || { endkey='$'; homekey=0; }
    t0=$(now)
    keys "$endkey"
    wait_for "LONG-LINE-END"
    t1=$(now)
    # Back to the line's start (not timed), until its end is off the screen.
    keys "$homekey"
    wait_for "LONG-LINE-START"
    wait_for "LONG-LINE-END" gone
    if [ "$editor" = nano ]; then
        quit_editor
        echo "$(ms "$t0" "$t1") - -"
        return
    fi
    # To the end of the text. vim's G would stay where it is, on the only
    # line; its C-End goes to the line's last character.
    t2=$(now)
    keys C-End
    wait_for "LONG-LINE-END"
    t3=$(now)
    if is_kwed; then
        # A page up from the end of the text: a kwed that pages by rows
        # shows the rows above, one that pages by lines the line's start;
        # either way the end of the line leaves the screen.
        keys PPage
        wait_for "LONG-LINE-END" gone
    else
        # On the first line vim's C-b changes nothing on the screen: a
        # message asked for after it shows when vim has dealt with the key.
        # It is joined from two halves, so the typed command does not hold it.
        keys C-b ':echo "PAGE-UP" . "-DONE"' Enter
        wait_for "PAGE-UP-DONE"
    fi
    t4=$(now)
    quit_editor
    echo "$(ms "$t0" "$t1") $(ms "$t2" "$t3") $(ms "$t3" "$t4")"
}

editors="kwed${base:+ base} vim nano"
# All runs, the editors taking turns: one line of eleven times per editor
# and run, into a file per editor.
run=0
# Each run starts with the next editor, so that none always comes first,
# right after the one before it saved 100 MiB that the disk still takes in.
order=$editors
while [ $run -lt "$runs" ]; do
    run=$((run + 1))
    for e in $order; do
        echo "$(run_editor "$e") $(run_long "$e")" >> "$work/times.$e"
    done
    order="${order#* } ${order%% *}"
done

best() { # keeps the smallest of each column ("-" where not timed)
    awk '{ for (i = 1; i <= NF; i++) if (NR == 1 || $i < b[i] + 0) b[i] = $i }
         END { for (i = 1; i <= NF; i++) printf "%s ", b[i]; print "" }' "$work/times.$1"
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b <= 0) print "-";
        else printf "%.2f\n", a / b }'
}

echo "file: $(wc -c < "$work/big.orig") bytes, $lines lines; long line: $(wc -c < "$long") bytes;" \
    "best of $runs runs each (ms)"
for e in $editors; do
    eval "t_$e=\"\$(best $e)\""
    [ "$(eval echo "\$t_$e" | wc -w)" -eq 11 ] || { echo "a run of $e failed" >&2; exit 1; }
done
header="step kwed"
[ -z "$base" ] || header="$header base"
header="$header vim nano kwed/vim kwed/nano"
[ -z "$base" ] || header="$header base/vim base/nano kwed/base"
echo "$header" | awk '{ printf "%-26s", $1; for (i = 2; i <= NF; i++) printf " %9s", $i; print "" }'
set -- "start-up to the first screen" "search from the top" "regex search from the top" \
    "jump to the last line" "type 1,000 characters" "replace all 17" \
    "save the 100 MiB file" "quit after saving" \
    "End on a 10 MB line" "C-End on the 10 MB line" "then PgUp (vim: C-b)"
i=1
for step in "$@"; do
    k=$(echo "$t_kwed" | cut -d' ' -f$i)
    v=$(echo "$t_vim" | cut -d' ' -f$i)
    n=$(echo "$t_nano" | cut -d' ' -f$i)
    row="$k"
    [ -z "$base" ] || { b=$(echo "$t_base" | cut -d' ' -f$i); row="$row $b"; }
    row="$row $v $n $(ratio "$k" "$v") $(ratio "$k" "$n")"
    [ -z "$base" ] || row="$row $(ratio "$b" "$v") $(ratio "$b" "$n") $(ratio "$k" "$b")"
    printf '%-26s' "$step"
    echo "$row" | awk '{ for (i = 1; i <= NF; i++) printf " %9s", $i; print "" }'
    i=$((i + 1))
done
