"""What the two batteries of 16-bit programs share (c-programs/run.py, the
tavi system's, and minix-programs/run.py, Minix's): registering the runner
with binfmt_misc, so that a /bin/sh the programs start runs 16-bit
programs by name, and running a program on a pseudo-terminal that answers
it as a user at that terminal would."""
import argparse
import ctypes
import errno
import fcntl
import os
import pwd
import resource
import select
import signal
import struct
import subprocess
import tempfile
import termios
import time

HERE = os.path.dirname(os.path.abspath(__file__))

CLONE_NEWNS = 0x00020000
CLONE_NEWUSER = 0x10000000
BINFMT_MISC = "/proc/sys/fs/binfmt_misc"
# The registrations that make install puts into binfmt.d, with @TAVIEMU@ for
# the runner: one per layout's magic, which both systems' programs share.
BINFMT_TEMPLATE = os.path.join(HERE, "..", "binfmt.conf.in")

# The pseudo-terminal's size.
PTY_ROWS, PTY_COLS = 33, 101
# Output kept per program, and the amount after which a program that only
# floods its output is stopped.
KEEP_OUT = 256 * 1024
FLOOD = 8 * 1024 * 1024


def binfmt_lines(runner):
    """The binfmt_misc registrations of runner for both magics."""
    with open(BINFMT_TEMPLATE) as f:
        return [l.strip().replace("@TAVIEMU@", runner) for l in f
                if l.strip() and not l.startswith("#")]


def write_file(path, text):
    with open(path, "w") as f:
        f.write(text)


def map_identities(pid):
    """Maps every user and group of the namespace of pid to itself; a root
    process outside that namespace may write such a map."""
    for name in ("uid_map", "gid_map"):
        write_file("/proc/%d/%s" % (pid, name), "0 0 4294967295\n")


def enter_user_namespace(libc):
    """Moves this process into a new user namespace with a mount namespace of
    its own.  Run as root, a helper left outside maps every ID to itself, so
    that the programs can still run as another user; otherwise the caller's
    IDs map to themselves."""
    uid, gid = os.getuid(), os.getgid()
    go_r, go_w = os.pipe()
    helper = None
    if uid == 0:
        helper = os.fork()
        if helper == 0:
            os.close(go_w)
            status = 1
            try:
                if os.read(go_r, 1) == b"u":
                    map_identities(os.getppid())
                    status = 0
            finally:
                os._exit(status)
    os.close(go_r)
    if libc.unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0:
        err = ctypes.get_errno()
        os.close(go_w)
        if helper:
            os.waitpid(helper, 0)
        raise OSError(err, "unshare: " + os.strerror(err))
    if helper is None:
        write_file("/proc/self/setgroups", "deny")
        write_file("/proc/self/uid_map", "%d %d 1\n" % (uid, uid))
        write_file("/proc/self/gid_map", "%d %d 1\n" % (gid, gid))
        os.close(go_w)
        return
    os.write(go_w, b"u")
    os.close(go_w)
    _, status = os.waitpid(helper, 0)
    if status != 0:
        raise OSError(errno.EPERM, "the identity map could not be written")


def private_binfmt(runner):
    """Registers runner for 16-bit executables in a binfmt_misc of this
    process's own user namespace; None when done, else why not."""
    libc = ctypes.CDLL(None, use_errno=True)
    try:
        enter_user_namespace(libc)
        if libc.mount(b"binfmt_misc", BINFMT_MISC.encode(), b"binfmt_misc", 0, None) != 0:
            err = ctypes.get_errno()
            raise OSError(err, "mount binfmt_misc: " + os.strerror(err))
        for line in binfmt_lines(runner):
            write_file(os.path.join(BINFMT_MISC, "register"), line)
        return None
    except OSError as error:
        return "no private binfmt_misc registration (%s)" % (error.strerror or error)


def system_binfmt(runner):
    """Whether the system's own binfmt_misc hands both layouts to runner
    (a registration that make install's file enabled, or that a test
    machine made)."""
    for line in binfmt_lines(runner):
        name = line.split(":")[1]
        try:
            with open(os.path.join(BINFMT_MISC, name)) as f:
                entry = f.read().splitlines()
        except OSError:
            return False
        if "enabled" not in entry or "interpreter " + runner not in entry:
            return False
    return True


def arrange_binfmt(runner, how):
    """Makes 16-bit programs start by name under runner, as `how` says:
    "auto" (a private registration, else the system's), "system" (the
    system's alone) or "no"; None when they will, else why not."""
    if how == "no":
        return "no binfmt_misc registration asked for"
    if how == "system":
        return None
    why = private_binfmt(runner)
    return None if why and system_binfmt(runner) else why


def runner_starts(runner):
    """None when the runner can be started here, else why not (a 32-bit
    runner on a kernel without 32-bit support, for one)."""
    try:
        subprocess.run(runner, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        return None
    except OSError as error:
        return "%s cannot be started: %s" % (runner[0], error.strerror or error)


def kill_group(pid):
    try:
        os.killpg(pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def describe_end(code, stopped):
    if stopped:
        return stopped
    if code is None:
        return "no status"
    if code < 0:
        return "killed by signal %d" % -code
    return "exit %d" % code


def run_plain(cmd, env, cwd, stdin_data, preexec, limit):
    """Runs cmd with stdin_data on a pipe (or /dev/null); gives its output
    (at most KEEP_OUT bytes of each stream), its status and why it was
    stopped (None, "timed out" or "flooded its output")."""
    stdin = subprocess.PIPE if stdin_data is not None else subprocess.DEVNULL
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdin=stdin, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, preexec_fn=preexec)
    out_fd, err_fd = p.stdout.fileno(), p.stderr.fileno()
    outs = {out_fd: bytearray(), err_fd: bytearray()}
    open_fds = set(outs)
    pending = stdin_data or b""
    if stdin_data is not None and not pending:
        p.stdin.close()
    deadline = time.time() + limit
    total = 0
    stopped = None
    while open_fds:
        wfds = [p.stdin] if stdin_data is not None and not p.stdin.closed else []
        left = deadline - time.time()
        if left <= 0:
            stopped = "timed out"
            break
        r, w, _ = select.select(list(open_fds), wfds, [], min(left, 0.5))
        if w:
            try:
                n = os.write(p.stdin.fileno(), pending[:4096])
                pending = pending[n:]
            except OSError:
                pending = b""
            if not pending:
                p.stdin.close()
        for fd in r:
            chunk = os.read(fd, 65536)
            if not chunk:
                open_fds.discard(fd)
                continue
            total += len(chunk)
            if len(outs[fd]) < KEEP_OUT:
                outs[fd] += chunk[:KEEP_OUT - len(outs[fd])]
        if total > FLOOD:
            stopped = "flooded its output"
            break
    if stopped:
        kill_group(p.pid)
    finish(p)
    for f in (p.stdout, p.stderr, p.stdin):
        if f and not f.closed:
            f.close()
    return bytes(outs[out_fd]), bytes(outs[err_fd]), p.returncode, stopped


def print_table(battery, runner, bindir, who, rows, passed, failed, skipped):
    """The table of a run: a row per program (name, checks held, checks,
    end, notes), the totals, and the line "BATTERY: P passed, F failed, S
    skipped"."""
    width = max([len(r[0]) for r in rows] + [10])
    print("runner: %s; programs: %s; user: %s" % (runner or "none (native)", bindir, who))
    print("%-*s  %-7s  %-18s  %s" % (width, "program", "checks", "end", "first failures"))
    for name, good, count, end, notes in rows:
        print("%-*s  %-7s  %-18s  %s" % (width, name, "%d/%d" % (good, count), end,
                                         (notes[0] if notes else "")[:150]))
        for extra in notes[1:]:
            print("%-*s  %-7s  %-18s  %s" % (width, "", "", "", extra[:150]))
    total_ok = sum(r[1] for r in rows)
    total = sum(r[2] for r in rows)
    print("%d/%d checks hold, %d/%d programs pass" % (total_ok, total, passed, len(rows)))
    print("%s: %d passed, %d failed, %d skipped" % (battery, passed, failed, skipped))


def answer_prompts(master, out, answers, answered):
    """Types, once each, the answer of every prompt that the output so far
    holds; whether anything was typed.  An answer is bytes, or a function
    of the output that gives them."""
    typed = False
    for marker, answer, delay in answers:
        if marker in out and marker not in answered:
            answered.add(marker)
            time.sleep(delay)
            os.write(master, answer(out.replace(b"\r", b"")) if callable(answer) else answer)
            typed = True
    return typed


def pty_terminal(owner, control):
    """A new pseudo-terminal of the battery's size with the given control
    characters ({termios index: byte}), its device given to owner (a user
    and group, or None); its master and slave descriptors."""
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", PTY_ROWS, PTY_COLS, 0, 0))
    if control:
        attrs = termios.tcgetattr(slave)
        for index, byte in control.items():
            attrs[6][index] = bytes([byte])
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
    if owner:
        os.fchown(slave, *owner)
    return master, slave


def finish(p):
    try:
        p.wait(timeout=5)
    except subprocess.TimeoutExpired:
        kill_group(p.pid)
        p.wait()
    kill_group(p.pid)


def run_pty(cmd, env, cwd, preexec, limit, answers, owner=None, control=None):
    """Runs cmd with a pseudo-terminal as its standard input, output and
    error (preexec makes it the controlling terminal), typing the answers
    as their prompts come; a key typed in a mode that wanted a line gets a
    newline after three seconds.  Its output (CRs dropped), no error
    output, its status and why it was stopped (None, "timed out" or
    "flooded its output")."""
    master, slave = pty_terminal(owner, control)
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdin=slave, stdout=slave, stderr=slave,
                         preexec_fn=preexec, close_fds=True)
    os.close(slave)
    out = b""
    answered = set()
    deadline = time.time() + limit
    last_output = time.time()
    nudged = False
    stopped = None
    while True:
        if time.time() > deadline or len(out) > FLOOD:
            stopped = "timed out" if len(out) <= FLOOD else "flooded its output"
            kill_group(p.pid)
            break
        r, _, _ = select.select([master], [], [], 0.2)
        if r:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            out += chunk
            last_output = time.time()
            if answer_prompts(master, out, answers, answered):
                nudged = False
        elif p.poll() is not None:
            break
        elif answered and not nudged and time.time() - last_output > 3:
            os.write(master, b"\n")
            nudged = True
    finish(p)
    os.close(master)
    return out[:KEEP_OUT].replace(b"\r", b""), b"", p.returncode, stopped


def make_preexec(drop, uid, gid, on_pty, nofile):
    """What the program's process does before it starts: a session of its
    own (with the pseudo-terminal as its controlling terminal), `nofile`
    descriptors at the most, the user and group it runs as when drop says
    so, and SIGPIPE at its default."""
    def preexec():
        os.setsid()
        if on_pty:
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)
        resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))
        if drop:
            os.setgroups([])
            os.setgid(gid)
            os.setuid(uid)
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    return preexec


class Battery:
    """What every program of one run of a battery shares: its folder of
    programs (bin/, or bin-native/ built for the host), the runner, the
    user the programs run as (identity(user) gives the entry, user ID and
    group ID), and a fresh top folder for their work folders."""

    def __init__(self, args, here, prefix, identity):
        self.bindir = os.path.join(here, "bin-native" if args.native else "bin")
        self.runner = [] if args.native else [os.path.abspath(args.runner)]
        self.entry, self.uid, self.gid = identity(args.user)
        self.drop = self.entry is not None
        self.timeout = args.timeout
        self.verbose = args.verbose
        self.keep = args.keep
        self.top = tempfile.mkdtemp(prefix=prefix)
        os.chmod(self.top, 0o755)

    def work_folder(self, name, uid, gid, drop):
        work = os.path.realpath(os.path.join(self.top, name.replace(" ", "_")))
        os.mkdir(work)
        if drop:
            os.chown(work, uid, gid)
        return work

    def execute(self, name, prog, pargs, env, work, stdin_data, limit, preexec, pty=None):
        """Runs prog with its arguments in work, on a pipe or, with pty
        (answers, owner and control characters for run_pty), on a
        pseudo-terminal; its output as text and how it ended."""
        limit = self.timeout or limit
        cmd = self.runner + [os.path.join(self.bindir, prog)] + pargs
        start = time.time()
        if pty is not None:
            answers, owner, control = pty
            out, err, code, stopped = run_pty(cmd, env, work, preexec, limit, answers,
                                              owner=owner, control=control)
        else:
            out, err, code, stopped = run_plain(cmd, env, work, stdin_data, preexec, limit)
        text = out.decode("latin-1")
        end = describe_end(code, stopped)
        if self.verbose:
            print("==== %s (%s, %.1f s)" % (name, end, time.time() - start))
            print("\n".join(l for l in text.splitlines() if l.strip()))
            if err:
                print("---- stderr")
                print(err.decode("latin-1").rstrip())
        return text, end


def arguments(doc, user_help):
    ap = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("runner", nargs="?", help="the runner (taviemu) binary")
    ap.add_argument("--native", action="store_true", help="run bin-native/ without a runner")
    ap.add_argument("--only", default="", help="comma-separated names (first word) to run")
    ap.add_argument("--user", default="", help=user_help)
    ap.add_argument("--timeout", type=float, default=0, help="time limit per program (s)")
    ap.add_argument("--verbose", action="store_true", help="print every program's output")
    ap.add_argument("--keep", action="store_true", help="keep the work folders")
    ap.add_argument("--binfmt", choices=("auto", "system", "no"), default="auto",
                    help="register the runner in a private binfmt_misc (auto), rely on a "
                    "registration of the system's own (system), or neither (no)")
    args = ap.parse_args()
    if not args.native and not args.runner:
        ap.error("give the runner binary, or --native")
    return args


def run_battery(label, system, run, args, programs, needs_binfmt, run_one, not_run=None):
    """Runs the programs (name, program, arguments, input, mode, limit)
    that --only names with run_one (which gives a program's row of the
    table and whether it passed), those of needs_binfmt only when the
    system's programs can be started by name, and prints the table; the
    exit status: 0 when every program passed, 77 when some were skipped
    and every other passed, else 1. not_run(mode) may give why a program
    of that mode does not run here."""
    if run.runner:
        why = runner_starts(run.runner)
        if why:
            print(why)
            print("%s: 0 passed, %d failed, 0 skipped" % (label, len(programs)))
            return 1
    no_binfmt = arrange_binfmt(run.runner[0], args.binfmt) if run.runner else None
    only = set(x for x in args.only.split(",") if x)
    ci = bool(os.environ.get("CI"))
    rows, passed, skipped = [], 0, 0
    for name, prog, pargs, stdin_data, mode, limit in programs:
        if only and name.split()[0] not in only and name not in only:
            continue
        why = not_run(mode) if not_run else None
        if why:
            print("not run: %s (%s)" % (name, why))
            continue
        if no_binfmt and prog in needs_binfmt:
            verdict = "fails, as CI needs it" if ci else "skipped"
            print("%s: %s: it starts %s programs by name, and there is %s" % (
                name, verdict, system, no_binfmt))
            skipped += 1
            continue
        row, ok_program = run_one(name, prog, pargs, stdin_data, mode, limit)
        rows.append(row)
        passed += ok_program
    if not run.keep:
        subprocess.run(["rm", "-rf", run.top])
    else:
        print("work folders kept in %s" % run.top)
    failed = len(rows) - passed + (skipped if ci else 0)
    who = "%s (%d:%d)" % (pwd.getpwuid(run.uid).pw_name if run.drop else "the caller", run.uid,
                          run.gid)
    print_table(label, run.runner[0] if run.runner else None, run.bindir, who, rows, passed,
                failed, 0 if ci else skipped)
    if failed:
        return 1
    return 77 if skipped else 0

