#!/usr/bin/env python3
"""Runs the battery of tavi programs under a 16-bit runner and prints what held.

    run.py TAVIEMU              every program of bin/ under TAVIEMU
    run.py --native             the same sources built for the host into
                                bin-native/ (build-native.sh), to check the
                                programs' own expectations
    options: --only NAME[,NAME] --user USER --timeout SECONDS --verbose
             --keep --binfmt auto|system|no

Each program runs in a fresh folder of its own (its R16_CWD), with a
small environment (PATH starts with the programs' folder, R16BIN names
it, R16_UID/R16_GID give the user it runs as).  Run as root, run.py runs
the programs as USER (default "tester", or another user whose IDs are
below 32768) so that permission checks mean something.  A program prints
"plan N", then "ok NAME" or "FAIL NAME: detail" per check; checks it never
reached count as failures.  t_tty runs twice: on a pseudo-terminal that
run.py answers, and with its output a pipe.

system() and popen() start "/bin/sh -c", which must start tavi programs by
name.  With --binfmt auto (the default) run.py moves into a user namespace
of its own, mounts that namespace's binfmt_misc and registers TAVIEMU for
both executable magics there, so nothing outside the run sees it (Linux
6.7 and later allow this; run as root, every user ID maps to itself).
Where the kernel refuses, a registration of the system's own that names
TAVIEMU for both magics serves instead; without one, or with --binfmt no,
the programs that need it are skipped with one line, and with the
environment variable CI set that counts as a failure.  --binfmt system
relies on the system's registration alone.

The table gives, per program, the checks that held, the exit status and
the first failures, then "N/M checks hold, P/Q programs pass"; the last
line is "c-programs: P passed, F failed, S skipped".  The exit status is 0
when every program passed, 77 when every program that ran passed but some
were skipped, and 1 otherwise.
"""
import os
import pwd
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from battery import Battery, arguments, binfmt_lines, make_preexec, run_battery  # noqa: E402,F401

STDIO_INPUT = b"alpha\nbeta gamma\n" + b"x" * 300 + b"\nlast line without newline"

# name, program, arguments, standard input, mode, time limit (s)
PROGRAMS = [
    ("t_stdio", "t_stdio", [], STDIO_INPUT, "plain", 30),
    ("t_stdio_c", "t_stdio_c", [], STDIO_INPUT, "plain", 30),
    ("t_malloc", "t_malloc", [], None, "plain", 30),
    ("t_malloc_c", "t_malloc_c", [], None, "plain", 30),
    ("t_fileio", "t_fileio", [], None, "plain", 30),
    ("t_fileio_c", "t_fileio_c", [], None, "plain", 30),
    ("t_stat", "t_stat", [], None, "plain", 30),
    ("t_dir", "t_dir", [], None, "plain", 30),
    ("t_perm", "t_perm", [], None, "plain", 30),
    ("t_fd", "t_fd", [], None, "plain", 30),
    ("t_proc", "t_proc", [], None, "plain", 30),
    ("t_proc_c", "t_proc_c", [], None, "plain", 30),
    ("t_exec", "t_exec", [], None, "plain", 40),
    ("t_ids", "t_ids", [], None, "plain", 30),
    ("t_signal", "t_signal", [], None, "plain", 45),
    ("t_time", "t_time", [], None, "plain", 45),
    ("t_tty pty", "t_tty", ["pty"], None, "pty", 30),
    ("t_tty pipe", "t_tty", ["pipe"], None, "plain", 30),
    ("t_env", "t_env", ["first arg", "second", "", "x y z"], None, "plain", 30),
    ("t_pwd", "t_pwd", [], None, "plain", 30),
    ("t_misc", "t_misc", [], None, "plain", 30),
    ("t_errno", "t_errno", [], None, "plain", 30),
]

# Programs that start tavi programs by name through /bin/sh (system, popen).
NEEDS_BINFMT = {"t_exec"}

# Checks that no system can pass, because the tavi system's C library
# itself gets them wrong (read from its code in the executables): program,
# check, the detail its failure shows, and why.  Such a failure, showing
# that detail, does not fail its program; the table still lists it.
LIBRARY_FAULTS = {
    ("t_exec", "execle-env"): (
        r"child exited 20$",
        "its execle passes execve the address of envp, not envp: a garbage environment"),
    ("t_exec", "pclose-status"): (
        r"pclose gave 0x[0-9a-f]+$",
        "its pclose returns wait()'s result, the child's number, not the status"),
}

# What run.py types on the pseudo-terminal when the program asks, and how
# long it waits first.
PTY_ANSWERS = [(b"READY-LINE", b"typed line\n", 0.2), (b"READY-RAW", b"q", 0.2)]

LINE = re.compile(r"^(plan (\d+)|ok (\S+)|FAIL (\S+): ?(.*))$")


def identity(user):
    """The user to run as: none to change to unless run.py runs as root.
    The default is a user whose IDs are below 32768: the tavi system's
    calls give their result in AX, where a value of 32768 or more reads as
    an error number, so a larger ID (nobody's 65534) cannot come back."""
    if os.geteuid() != 0:
        return None, os.getuid(), os.getgid()
    if user:
        entry = pwd.getpwnam(user)
    else:
        users = pwd.getpwall()
        fits = [u for u in users if 1000 <= u.pw_uid < 32768 and u.pw_gid < 32768]
        named = [u for u in users if u.pw_name == "tester"]
        entry = (named or fits or [pwd.getpwnam("daemon")])[0]
    return entry, entry.pw_uid, entry.pw_gid


def parse(text):
    planned, oks, fails = None, [], []
    for raw in text.splitlines():
        m = LINE.match(raw.strip())
        if not m:
            continue
        if m.group(2):
            planned = int(m.group(2))
        elif m.group(3):
            oks.append(m.group(3))
        else:
            fails.append((m.group(4), m.group(5)))
    return planned, oks, fails


def environment(bindir, prog, work, uid, gid):
    """The whole environment of program prog of bindir, run in the folder
    work as the given user and group."""
    env = {
        "PATH": bindir + ":/usr/bin:/bin",
        "R16BIN": bindir,
        "R16_CWD": work,
        "R16_UID": str(uid),
        "R16_GID": str(gid),
        "R16_FIXED": "fixed value",
        "HOME": work,
        "TERM": "vt100",
    }
    if prog == "t_env":
        env["R16_LONG"] = "L" * 2000
    return env


class Run(Battery):
    """What every program of one run shares."""

    def __init__(self, args):
        super().__init__(args, HERE, "r16-", identity)

    def run(self, name, prog, pargs, stdin_data, mode, limit):
        """Runs one program in a fresh folder; its row of the table and
        whether it passed."""
        work = self.work_folder(name, self.uid, self.gid, self.drop)
        env = environment(self.bindir, prog, work, self.uid, self.gid)
        preexec = make_preexec(self.drop, self.uid, self.gid, mode == "pty", 256)
        pty = (PTY_ANSWERS, (self.uid, self.gid) if self.drop else None, None)
        text, end = self.execute(name, prog, pargs, env, work, stdin_data, limit, preexec,
                                 pty if mode == "pty" else None)
        good, count, notes, ok_program = judge(prog, parse(text), end)
        return (name, good, count, end, notes), ok_program


def library_fault(prog, check, detail):
    """Why the failed check is the library's own fault, or None."""
    known = LIBRARY_FAULTS.get((prog, check))
    return known[1] if known and re.search(known[0], detail) else None


def judge(prog, parsed, end):
    """The checks that held, the checks counted, the notes on what went
    wrong (first failures first) and whether the program passed: every
    check reached and held, or failed through a fault of the library
    alone, and the program ended with status 0 (1 when, and only when, it
    counted such failures)."""
    planned, oks, all_fails = parsed
    excused = [(n, d) for n, d in all_fails if library_fault(prog, n, d)]
    fails = [f for f in all_fails if f not in excused]
    ended_well = end == ("exit 1" if excused else "exit 0")
    seen = len(oks) + len(all_fails)
    notes = []
    if planned is None:
        count = max(seen, 1)
        notes.append("no plan line (%s)" % end)
    else:
        count = max(planned, seen)
        if count > seen:
            notes.append("%d checks not reached (%s)" % (count - seen, end))
        elif seen > planned:
            notes.append("battery error: %d checks, plan %d" % (seen, planned))
    ok_program = not fails and count == seen and ended_well and planned is not None
    if not ok_program and not fails and not notes:
        notes.append(end)
    notes += ["%s: %s" % (n, d) for n, d in fails[:3]]
    if len(fails) > 3:
        notes.append("... %d more" % (len(fails) - 3))
    notes += ["%s: the library's fault: %s" % (n, library_fault(prog, n, d)) for n, d in excused]
    return len(oks), count, notes, ok_program


def main():
    args = arguments(__doc__, "user to run as when started as root (default: tester, or a user "
                     "with IDs below 32768)")
    run = Run(args)
    return run_battery("c-programs", "tavi", run, args, PROGRAMS, NEEDS_BINFMT, run.run)


if __name__ == "__main__":
    sys.exit(main())
