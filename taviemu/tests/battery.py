"""What the two batteries of 16-bit programs share (c-programs/run.py, the
tavi system's, and minix-programs/run.py, Minix's): registering the runner
with binfmt_misc, so that a /bin/sh the programs start runs 16-bit
programs by name, and running a program on a pseudo-terminal that answers
it as a user at that terminal would."""
import ctypes
import errno
import fcntl
import os
import select
import signal
import struct
import subprocess
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
