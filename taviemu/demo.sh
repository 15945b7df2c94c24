# taviemu's part of the demo: run 16-bit test programs (written in nasm) in
# virtual-8086 mode, their system calls served by the runner.
set -eu
bin=$1 build=$2 work=$3
progs=$build/taviemu/tests/programs
[ -x "$bin/taviemu" ] && [ -f "$progs/echo" ] || exit 0
printf '\n== taviemu runs 16-bit tavi executables: arguments, files, pipes, fork, Minix messages\n'
echo "\$ taviemu echo hello 'tavi world'"
"$bin/taviemu" "$progs/echo" hello 'tavi world' | sed -n '2,3p'
echo "\$ seq 3 | taviemu cat"
seq 3 | "$bin/taviemu" "$progs/cat"
seq 1 500 > "$work/numbers"
"$bin/taviemu" "$progs/copy" "$work/numbers" "$work/copied"
echo "\$ taviemu copy numbers copied; cmp numbers copied && echo same"
cmp "$work/numbers" "$work/copied" && echo same
echo "\$ taviemu fork"
"$bin/taviemu" "$progs/fork"
printf 'from a file, through Minix messages\n' > "$work/note"
echo "\$ taviemu minix note; echo status \$?"
status=0
"$bin/taviemu" "$progs/minix" "$work/note" || status=$?
echo "status $status"
echo "\$ taviemu int21   (an interrupt the runner does not serve)"
status=0
"$bin/taviemu" "$progs/int21" 2> /dev/null || status=$?
echo "status $status (128 + 4: ended by SIGILL)"
