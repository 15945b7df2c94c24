#!/usr/bin/env python3
"""Runs the Minix battery under a runner and prints what held.

    run.py RUNNER               every program of bin/ under RUNNER
    run.py --native             the host builds in bin-native/ (build-native.sh),
                                to check the programs themselves
    options: --only NAME[,NAME] --user USER --timeout SECONDS --verbose --keep
             --binfmt auto|system|no

Each program runs in a fresh folder of its own (its M16_CWD), with a
small environment (PATH starts with the programs' folder, M16BIN names
it, M16_UID/M16_GID give the identity it runs with, TZ is GMT0).  Run as
root, run.py runs the programs as USER (default "tester", else another
user whose user ID is below 32768) and with a group ID below 256: the
Minix library's gid_t is an unsigned char, so a larger group ID cannot
come back from getgid() (run.py then takes group 100, "users", or the
first group below 256).  Entries marked "root" keep the superuser's
identity (skipped when run.py is not root).

A program prints "plan N", then "ok NAME", "ok NAME # skip: WHY" or
"FAIL NAME: detail" per check; checks it never reached count as
failures, skips count as held.  t_tty runs twice: on a pseudo-terminal
that run.py answers, and with its output a pipe.  The table gives, per
program, the checks that held, the exit status and the first failures;
then "N/M checks hold, P/Q programs pass", and last "minix-programs: P
passed, F failed, S skipped".  The exit status is 0 when every program
passed, 77 when every program that ran passed but some were skipped, and
1 otherwise.

Descriptors: a Minix process has 20 (OPEN_MAX).  Native programs get a
limit of 20; under a runner the runner's process gets 256 and the
program must still see 20.

system() and popen() run /bin/sh, the host's shell; for that shell to
start Minix programs by name (mchild on PATH), the Minix magics (the
same bytes as the tavi system's) must be registered with binfmt_misc for
the runner.  With --binfmt auto (the default) run.py moves into a user
namespace of its own and registers RUNNER in that namespace's
binfmt_misc (Linux 6.7 and later), else relies on a registration of the
system's own; --binfmt system relies on the latter alone.  Without one,
or with --binfmt no, the programs that need it are skipped with one
line, and with the environment variable CI set that counts as a failure.
"""
import grp
import os
import pwd
import re
import sys
import termios

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from battery import Battery, arguments, make_preexec, run_battery  # noqa: E402

STDIO_INPUT = b"alpha\nbeta gamma\n" + b"x" * 300 + b"\nlast line without newline"

# name, program, arguments, standard input, mode, time limit (s)
PROGRAMS = [
    ("t_stdio", "t_stdio", [], STDIO_INPUT, "plain", 30),
    ("t_stdio_c", "t_stdio_c", [], STDIO_INPUT, "plain", 30),
    ("t_malloc", "t_malloc", [], None, "plain", 30),
    ("t_malloc_c", "t_malloc_c", [], None, "plain", 30),
    ("t_fileio", "t_fileio", [], None, "plain", 30),
    ("t_fileio_c", "t_fileio_c", [], None, "plain", 30),
    ("t_fd", "t_fd", [], None, "plain", 30),
    ("t_stat", "t_stat", [], None, "plain", 30),
    ("t_perm", "t_perm", [], None, "plain", 30),
    ("t_names", "t_names", [], None, "plain", 30),
    ("t_dir", "t_dir", [], None, "plain", 30),
    ("t_proc", "t_proc", [], None, "plain", 40),
    ("t_proc_c", "t_proc_c", [], None, "plain", 40),
    ("t_exec", "t_exec", [], None, "plain", 40),
    ("t_signal", "t_signal", [], None, "plain", 45),
    ("t_time", "t_time", [], None, "plain", 60),
    ("t_ids", "t_ids", [], None, "plain", 30),
    ("t_ids root", "t_ids", ["root"], None, "root", 30),
    ("t_tty pty", "t_tty", ["pty"], None, "pty", 40),
    ("t_tty pipe", "t_tty", ["pipe"], None, "plain", 30),
    ("t_env", "t_env", ["first arg", "second", "", "x y z"], None, "plain", 30),
    ("t_pwd", "t_pwd", [], None, "plain", 30),
    ("t_misc", "t_misc", [], None, "plain", 40),
    ("t_errno", "t_errno", [], None, "plain", 30),
]

# Programs that start Minix programs by name through /bin/sh (system, popen).
NEEDS_BINFMT = {"t_exec"}


# The answers whose echo READY-REPORT tells of: after READY-LINE (echo on),
# after READY-NOECHO (echo off) and after the password prompt (getpass
# turns echo off).
ECHO_REPORT = [(b"READY-LINE", b"typed line"), (b"READY-NOECHO", b"hidden word"),
               (b"Password:", b"pw123")]


def pty_report(out):
    """Whether each answer of ECHO_REPORT came back as echo after its
    prompt: "echo:yes,no,no\n" and the like."""
    def echoed(marker, text):
        at = out.find(marker)
        return "yes" if at >= 0 and text in out[at + len(marker):] else "no"
    return ("echo:%s\n" % ",".join(echoed(m, t) for m, t in ECHO_REPORT)).encode()


# What run.py types on the pseudo-terminal when the program asks, and how
# long it waits first.  READY-REPORT is answered with what run.py saw
# echoed (see pty_report).
PTY_ANSWERS = [
    (b"READY-LINE", b"typed line\n", 0.3),
    (b"READY-NOECHO", b"hidden word\n", 0.3),
    (b"READY-CBREAK", b"k", 0.3),
    (b"READY-INTR", b"\x03", 1.0),
    (b"READY-RAW", b"\x03", 0.5),
    (b"Password:", b"pw123\n", 0.3),
    (b"READY-REPORT", pty_report, 0.3),
]
# The control characters run.py gives the terminal (t_tty checks that the
# program sees these, not defaults): erase ^H, kill ^X.
PTY_CONTROL = {termios.VERASE: 0x08, termios.VKILL: 0x18, termios.VINTR: 0x03,
               termios.VQUIT: 0x1C, termios.VEOF: 0x04, termios.VSTART: 0x11,
               termios.VSTOP: 0x13}

# Checks that no runner can pass because the library linked into the
# programs does the wrong thing itself; such a check counts as held when
# it fails with exactly this detail.  (None so far: where this library is
# wrong, the checks avoid the faulty function or test around it.)
LIBRARY_FAULTS = {}

# Symbolic links a program finds in its folder: a loop, for t_errno (the
# host's ELOOP, which Minix has no number for).
LINKS = {"t_errno": [("loop2", "loop1"), ("loop1", "loop2")]}

LINE = re.compile(r"^(plan (\d+)|ok (\S+)( # skip: (.*))?|FAIL (\S+): ?(.*))$")


def identity(user):
    """The user to run as: none to change to unless run.py runs as root."""
    if os.geteuid() != 0:
        return None, os.getuid(), os.getgid()
    if user:
        entry = pwd.getpwnam(user)
    else:
        users = pwd.getpwall()
        fits = [u for u in users if 1000 <= u.pw_uid < 32768]
        named = [u for u in users if u.pw_name == "tester"]
        entry = (named or fits or [pwd.getpwnam("daemon")])[0]
    gid = entry.pw_gid
    if gid >= 256:
        try:
            gid = grp.getgrnam("users").gr_gid
        except KeyError:
            gid = min(g.gr_gid for g in grp.getgrall() if g.gr_gid > 0)
    return entry, entry.pw_uid, gid


def parse(text):
    """The plan and the checks; a check line seen again (a runner that
    reports a short write makes the program write the rest of the line
    again) is counted once, as it came first."""
    planned, oks, skips, fails, seen, repeated = None, [], [], [], set(), 0
    for raw in text.splitlines():
        m = LINE.match(raw.strip())
        if not m:
            continue
        if m.group(2):
            if planned is None:
                planned = int(m.group(2))
            continue
        name = m.group(3) or m.group(6)
        if name in seen:
            repeated += 1
            continue
        seen.add(name)
        if m.group(3):
            oks.append(m.group(3))
            if m.group(4):
                skips.append((m.group(3), m.group(5)))
        else:
            fails.append((m.group(6), m.group(7)))
    return planned, oks, skips, fails, repeated


def judge(parsed, end):
    """The checks that held, the checks counted, the notes on what went
    wrong (first failures first) and whether the program passed: every
    check reached and held (or failed through a fault of the library
    alone), and the program ended with status 0 (or 1 after such
    failures)."""
    planned, oks, skips, fails, repeated = parsed
    seen = len(oks) + len(fails)
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
    if repeated:
        notes.append("%d check lines repeated" % repeated)
    excused = [(n, d) for n, d in fails if n in LIBRARY_FAULTS and LIBRARY_FAULTS[n].match(d.strip())]
    fails = [f for f in fails if f not in excused]
    good = len(oks) + len(excused)
    ended_well = end == "exit 0" or (excused and end == "exit 1")
    ok_program = not fails and count == seen and ended_well and planned is not None
    if not ok_program and not fails and not notes:
        notes.append(end)
    notes += ["%s: %s" % (n, d) for n, d in fails[:3]]
    if len(fails) > 3:
        notes.append("... %d more" % (len(fails) - 3))
    return good, count, notes, ok_program


def environment(bindir, prog, work, uid, gid, dropped):
    """The whole environment of program prog of bindir, run in the folder
    work with the given identity (dropped: run.py, the parent, keeps
    another)."""
    env = {
        "PATH": bindir + ":/usr/bin:/bin",
        "M16BIN": bindir,
        "M16_CWD": work,
        "M16_UID": str(uid),
        "M16_GID": str(gid),
        "M16_FIXED": "fixed value",
        "HOME": work,
        "TERM": "vt100",
        "TZ": "GMT0",
    }
    if dropped:
        env["M16_DROPPED"] = "1"
    if prog == "t_env":
        env["M16_LONG"] = "L" * 1000
        env["M16_NENV"] = str(len(env) + 1)
    return env


def prepare(prog, work, uid, gid, drop):
    """What a program finds in its folder before it starts."""
    for target, name in LINKS.get(prog, []):
        os.symlink(target, os.path.join(work, name))
        if drop:
            os.lchown(os.path.join(work, name), uid, gid)


class Run(Battery):
    """What every program of one run shares."""

    def __init__(self, args):
        super().__init__(args, HERE, "m16-", identity)
        self.nofile = 20 if args.native else 256
        self.skipped = []  # (program, its checks marked "# skip")

    def run(self, name, prog, pargs, stdin_data, mode, limit):
        """Runs one program in a fresh folder; its row of the table and
        whether it passed."""
        drop = self.drop and mode != "root"
        uid, gid = (0, 0) if mode == "root" else (self.uid, self.gid)
        work = self.work_folder(name, uid, gid, drop)
        prepare(prog, work, uid, gid, drop)
        env = environment(self.bindir, prog, work, uid, gid, drop)
        preexec = make_preexec(drop, uid, gid, mode == "pty", self.nofile)
        pty = (PTY_ANSWERS, (uid, gid) if drop else None, PTY_CONTROL)
        text, end = self.execute(name, prog, pargs, env, work, stdin_data, limit, preexec,
                                 pty if mode == "pty" else None)
        parsed = parse(text)
        if parsed[2]:
            self.skipped.append((name, parsed[2]))
        good, count, notes, ok_program = judge(parsed, end)
        return (name, good, count, end, notes), ok_program


def main():
    args = arguments(__doc__, "user to run as when started as root (default: tester)")
    run = Run(args)
    status = run_battery("minix-programs", "Minix", run, args, PROGRAMS, NEEDS_BINFMT, run.run,
                         lambda mode: "needs run.py as root" if mode == "root" and os.geteuid() != 0
                         else None)
    for name, skips in run.skipped:
        print("skipped in %s: %s" % (name, ", ".join("%s (%s)" % (n, w) for n, w in skips))[:300])
    return status


if __name__ == "__main__":
    sys.exit(main())
