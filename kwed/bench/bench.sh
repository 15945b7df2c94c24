#!/bin/sh
# Times kwed and vim -u NONE, driven through the same tmux terminal with the
# same keys. On a 100 MiB text file: start-up to the first full screen, a
# jump to the last line, typing 1,000 characters in the middle, saving the
# file, and quitting. On a file of one 10 MB line: going to the line's end,
# going to the end of the text from the line's start, and a page up from
# there. Each step is the best of several runs (the machine is shared); the
# last column is kwed's time over vim's.
#
#   sh kwed/bench/bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a release build (cmake --preset release -B build-kwed-rel).
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build-kwed-rel}" && pwd)
runs=${2:-3}
kwed=$build/bin/kwed
[ -x "$kwed" ] || { echo "no kwed in $build/bin (build the release preset)" >&2; exit 1; }
command -v vim >/dev/null || { echo "vim is not installed" >&2; exit 1; }

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
mkdir -p "$work/etc"
cp "$top/kwed/kwed.rc" "$work/etc/kwed.rc"

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

# Starts the editor on the file in a tmux server of its own (its name holds
# the editor, the file and the run), with an 80x24 screen.
start() {
    editor=$1
    sock=kwed-bench-$$-$editor-${2%.txt}-$run
    rm -f "$work/status" "$work/.$2.swp"
    if [ "$editor" = kwed ]; then
        cmd="env ETCDIR=$work/etc HOME=$work LANG=C.UTF-8 $kwed $2"
    else
        cmd="env HOME=$work LANG=C.UTF-8 vim -u NONE $2"
    fi
    tmux_ new-session -d -s bench -x 80 -y 24 -c "$work" "$cmd; echo \$? > $work/status; sleep 600"
}
# kwed's first key closes the help panel: not timed.
close_help() {
    tmux_ send-keys -t bench C-l
    wait_for "kwed keys" gone
}

# Quits an editor that holds no unsaved changes, waits until it has ended
# and ends its tmux server.
quit_editor() {
    if [ "$editor" = kwed ]; then
        tmux_ send-keys -t bench C-q
    else
        tmux_ send-keys -t bench ":q" Enter
    fi
    wait_exit
    stop_server
}

# One run of one editor on the 100 MiB file: prints five times in
# milliseconds.
run_editor() {
    editor=$1
    if [ "$editor" = kwed ]; then
        first="Read big.txt"
    else
        first="104857600 bytes"
    fi
    cp "$work/big.orig" "$file"
    t0=$(now)
    start "$editor" big.txt
    wait_for "$first"
    wait_for "0000001 the quick"
    t1=$(now)
    if [ "$editor" = kwed ]; then
        close_help
        tj=$(now)
        tmux_ send-keys -t bench C-End
    else
        tj=$(now)
        tmux_ send-keys -t bench G
    fi
    wait_for "LAST-LINE-MARKER"
    t2=$(now)
    # Go to the middle (not timed), then type.
    if [ "$editor" = kwed ]; then
        tmux_ send-keys -t bench C-g "$middle" Enter
        wait_for "line $middle, col 1"
    else
        tmux_ send-keys -t bench ":$middle" Enter
        wait_for "$(printf '%07d the quick' "$middle")"
        tmux_ send-keys -t bench i
    fi
    t3=$(now)
    tmux_ send-keys -t bench -l "$insert"
    wait_for "END-OF-TEXT!"
    t4=$(now)
    # Save; the message names the file once all of it is written.
    if [ "$editor" = kwed ]; then
        t5=$(now)
        tmux_ send-keys -t bench C-s
        wait_for "Wrote big.txt"
    else
        # Leaving insert mode waits out vim's Escape timeout: not timed.
        tmux_ send-keys -t bench Escape
        sleep 2
        t5=$(now)
        tmux_ send-keys -t bench ":w" Enter
        wait_for "written"
    fi
    t6=$(now)
    # Nothing is left unsaved, so both quit without a question.
    quit_editor
    t7=$(now)
    echo "$(ms "$t0" "$t1") $(ms "$tj" "$t2") $(ms "$t3" "$t4") $(ms "$t5" "$t6")" \
        "$(ms "$t6" "$t7")"
}

# One run of one editor on the file of one 10 MB line: prints three times
# in milliseconds. Both editors wrap the line, so the screen shows the part
# of it around the cursor.
run_long() {
    editor=$1
    start "$editor" long.txt
    if [ "$editor" = kwed ]; then
        wait_for "Read long.txt"
        wait_for "LONG-LINE-START"
        close_help
        endkey=End
        homekey=Home
    else
        wait_for "10000001 bytes"
        wait_for "LONG-LINE-START"
        endkey='$'
        homekey=0
    fi
    t0=$(now)
    tmux_ send-keys -t bench "$endkey"
    wait_for "LONG-LINE-END"
    t1=$(now)
    # Back to the line's start (not timed), until its end is off the screen.
    tmux_ send-keys -t bench "$homekey"
    wait_for "LONG-LINE-START"
    wait_for "LONG-LINE-END" gone
    # To the end of the text. vim's G would stay where it is, on the only
    # line; its C-End goes to the line's last character.
    t2=$(now)
    tmux_ send-keys -t bench C-End
    wait_for "LONG-LINE-END"
    t3=$(now)
    if [ "$editor" = kwed ]; then
        # A page up from the end of the text lands on the line's start.
        tmux_ send-keys -t bench PPage
        wait_for "LONG-LINE-START"
    else
        # On the first line vim's C-b changes nothing on the screen: a
        # message asked for after it shows when vim has dealt with the key.
        # It is joined from two halves, so the typed command does not hold it.
        tmux_ send-keys -t bench C-b ':echo "PAGE-UP" . "-DONE"' Enter
        wait_for "PAGE-UP-DONE"
    fi
    t4=$(now)
    quit_editor
    echo "$(ms "$t0" "$t1") $(ms "$t2" "$t3") $(ms "$t3" "$t4")"
}

# All runs of one editor, one line of eight times per run.
measure() {
    run=0
    while [ $run -lt "$runs" ]; do
        run=$((run + 1))
        echo "$(run_editor "$1") $(run_long "$1")"
    done
}

best() { # keeps the smallest of each column
    awk '{ for (i = 1; i <= NF; i++) if (NR == 1 || $i < b[i]) b[i] = $i }
         END { for (i = 1; i <= NF; i++) printf "%s ", b[i]; print "" }'
}

echo "file: $(wc -c < "$work/big.orig") bytes, $lines lines; best of $runs runs each (ms)"
echo "long line: $(wc -c < "$long") bytes in one line"
k=$(measure kwed | best)
v=$(measure vim | best)
# A run that timed out leaves a column out.
for times in "$k" "$v"; do
    [ "$(echo "$times" | wc -w)" -eq 8 ] || { echo "a run failed" >&2; exit 1; }
done
printf '%-34s %8s %8s %8s\n' step kwed vim kwed/vim
set -- "start-up to the first full screen" "jump to the last line" \
    "type 1,000 characters mid-file" "save the 100 MiB file" \
    "quit after saving" "End on a 10 MB line" \
    "C-End on the 10 MB line" "then PgUp (vim: C-b)"
i=1
for step in "$@"; do
    kt=$(echo "$k" | cut -d' ' -f$i)
    vt=$(echo "$v" | cut -d' ' -f$i)
    ratio=$(awk -v a="$kt" -v b="$vt" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    printf '%-34s %8s %8s %8s\n' "$step" "$kt" "$vt" "$ratio"
    i=$((i + 1))
done
