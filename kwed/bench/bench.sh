#!/bin/sh
# Times kwed and vim -u NONE on the same 100 MiB text file, driven through
# the same tmux terminal with the same keys: start-up to the first full
# screen, a jump to the last line, typing 1,000 characters in the middle,
# and quitting without saving. Each step is the best of several runs (the
# machine is shared); the last column is kwed's time over vim's.
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
lines=$(wc -l < "$file")
middle=$((lines / 2))
insert=$(awk 'BEGIN { for (i = 0; i < 988; i++) printf "%c", 97 + i % 26; printf "END-OF-TEXT!" }')
mkdir -p "$work/etc"
cp "$top/kwed/kwed.rc" "$work/etc/kwed.rc"

now() { date +%s%N; }
screen() { tmux_ capture-pane -p -J -t bench 2>/dev/null || true; }
# Waits until the screen holds the text; fails after 120 seconds.
wait_for() {
    limit=$(($(now) + 120000000000))
    until screen | grep -qF -- "$1"; do
        [ "$(now)" -lt "$limit" ] || {
            echo "timed out waiting for: $1" >&2
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

# One run of one editor: prints four times in milliseconds.
run_editor() {
    editor=$1
    run=$((run + 1))
    sock=kwed-bench-$$-$editor-$run
    rm -f "$work/status" "$work/.big.txt.swp"
    if [ "$editor" = kwed ]; then
        cmd="env ETCDIR=$work/etc HOME=$work LANG=C.UTF-8 $kwed big.txt"
        first="Read big.txt"
    else
        cmd="env HOME=$work LANG=C.UTF-8 vim -u NONE big.txt"
        first="104857600 bytes"
    fi
    t0=$(now)
    tmux_ new-session -d -s bench -x 80 -y 24 -c "$work" "$cmd; echo \$? > $work/status; sleep 600"
    wait_for "$first"
    wait_for "0000001 the quick"
    t1=$(now)
    if [ "$editor" = kwed ]; then
        # The first key closes the help panel: not timed.
        tmux_ send-keys -t bench C-l
        until ! screen | grep -qF "kwed keys"; do :; done
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
    if [ "$editor" = kwed ]; then
        t5=$(now)
        tmux_ send-keys -t bench C-q
        wait_for "Discard unsaved changes?"
        tmux_ send-keys -t bench y
    else
        # Leaving insert mode waits out vim's Escape timeout: not timed.
        tmux_ send-keys -t bench Escape
        sleep 2
        t5=$(now)
        tmux_ send-keys -t bench ":q!" Enter
    fi
    wait_exit
    t6=$(now)
    stop_server
    echo "$(ms "$t0" "$t1") $(ms "$tj" "$t2") $(ms "$t3" "$t4") $(ms "$t5" "$t6")"
}

best() { # keeps the smallest of each column
    awk '{ for (i = 1; i <= NF; i++) if (NR == 1 || $i < b[i]) b[i] = $i }
         END { for (i = 1; i <= 4; i++) printf "%s ", b[i]; print "" }'
}

echo "file: $(wc -c < "$file") bytes, $lines lines; best of $runs runs each (ms)"
k=$(i=0; while [ $i -lt "$runs" ]; do run_editor kwed; i=$((i + 1)); done | best)
v=$(i=0; while [ $i -lt "$runs" ]; do run_editor vim; i=$((i + 1)); done | best)
printf '%-34s %8s %8s %8s\n' step kwed vim kwed/vim
set -- "start-up to the first full screen" "jump to the last line" \
    "type 1,000 characters mid-file" "quit without saving"
i=1
for step in "$@"; do
    kt=$(echo "$k" | cut -d' ' -f$i)
    vt=$(echo "$v" | cut -d' ' -f$i)
    ratio=$(awk -v a="$kt" -v b="$vt" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    printf '%-34s %8s %8s %8s\n' "$step" "$kt" "$vt" "$ratio"
    i=$((i + 1))
done
