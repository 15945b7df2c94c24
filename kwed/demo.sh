# kwed's part of the demo: edit a file in a terminal that tmux provides,
# then show the screen and the file as saved.
set -eu
bin=$1 build=$2 work=$3
[ -x "$bin/kwed" ] || exit 0
# The editor runs in the work folder: the other folders are made absolute.
bin=$(cd "$bin" && pwd) build=$(cd "$build" && pwd) work=$(cd "$work" && pwd)
command -v tmux >/dev/null || { echo "(kwed demo skipped: no tmux)"; exit 0; }
printf '\n== kwed edits a UTF-8 file in a tmux terminal: moves, types, cuts and pastes a line, saves, quits\n'
printf 'first line\nsecond line: grüße\nthird line\n' > "$work/notes.txt"
sock=kwed-demo-$$
t() { tmux -L "$sock" -f /dev/null "$@"; }
# tmux leaves its socket behind after kill-server: remove it too.
trap 'p=$(t display-message -p "#{socket_path}" 2>/dev/null || true)
      t kill-server 2>/dev/null || true
      [ -z "$p" ] || rm -f "$p"' EXIT
t new-session -d -s demo -x 60 -y 12 -c "$work" \
    "env LANG=C.UTF-8 ETCDIR='$build/etc' HOME='$work' '$bin/kwed' +2 notes.txt; echo \$? > status; sleep 60"
wait_for() {
    i=0
    until t capture-pane -p -t demo | grep -qF -- "$1"; do
        i=$((i + 1))
        [ $i -lt 400 ] || { echo "kwed demo: gave up waiting for: $1" >&2; exit 1; }
        sleep 0.05
    done
}
wait_for "line 2, col 1"
t send-keys -t demo C-l End
t send-keys -t demo -l ' – edited, 日本語 too'
t send-keys -t demo Up C-k Down C-u C-s
wait_for "Wrote notes.txt"
echo "\$ kwed +2 notes.txt   (keys: End, typing, Up, ^K cut, Down, ^U paste, ^S save, ^X quit)"
t capture-pane -p -t demo | sed 's/^/  | /'
t send-keys -t demo C-x
i=0
until [ -s "$work/status" ] || [ $i -ge 400 ]; do i=$((i + 1)); sleep 0.05; done
[ -s "$work/status" ] || { echo "kwed demo: kwed did not end at ^X" >&2; exit 1; }
echo "exit status $(cat "$work/status"); the file now holds:"
sed 's/^/  /' "$work/notes.txt"
