#!/usr/bin/env python3
"""The kernel stage: boots real Linux kernels in qemu and runs the suite's
programs and 32-bit test binaries inside them.

  stage.py TOP

Three guests, each a kernel with an initramfs whose /init (init.c) runs a
list of steps and reports on the second serial port:
  vm86   a small 32-bit kernel built here with the vm86 call: the taviemu
         tests, and every test program as root (the kernel runs it) and as
         an unprivileged user (the kernel refuses, the engine runs it)
  vm86-c the same kernel: the C programs of the tavi system and of Minix
         both ways, the runner registered with binfmt_misc so that 16-bit
         programs also start by name
  686    Debian's 32-bit kernel, without the call: the programs through the
         engine, the brevic and sysapplets tests against its /proc, update
  amd64  Debian's 64-bit kernel with the dummy sound card and two ATAPI
         drives: Sonarel against the real mixer and CD-ROM drivers
Kernels and downloads are kept in build-kernel/ and reused while their
inputs are unchanged. Each check prints one line; the last line is the
count of checks passed and failed.
"""
import concurrent.futures
import hashlib
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import time

TOP = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
HERE = os.path.join(TOP, "testing", "kernel")
CACHE = os.path.join(TOP, "build-kernel")
I386 = os.path.join(TOP, "build-i386")
DEV = os.path.join(TOP, "build")
PROGRAMS = os.path.join(I386, "taviemu", "tests", "programs")
C_PROGRAMS = os.path.join(TOP, "taviemu", "tests", "c-programs")
# The shell functions that download packages, shared with the install steps.
APT_STEPS = os.path.join(TOP, "scripts", "apt-steps")
GUEST_C_PROGRAMS = "/c-programs"
MINIX_PROGRAMS = os.path.join(TOP, "taviemu", "tests", "minix-programs")
GUEST_MINIX_PROGRAMS = "/minix-programs"
USER = 1000  # the unprivileged user of the guests and the host runs
# The group the Minix programs run with as that user: the Minix library
# keeps group IDs in 8 bits.
MINIX_GROUP = 100

# Seconds a whole guest may run, boot and power-off included.
GUEST_LIMIT = {"vm86": 420, "vm86-c": 600, "686": 420, "amd64": 240}
# The guests in the order they start, two at a time: the longest first.
GUEST_ORDER = ["vm86-c", "vm86", "686", "amd64"]
# Seconds one step may run inside a guest.
STEP_LIMIT = 300

KERNEL_PACKAGES = {"686": "linux-image-686:i386", "amd64": "linux-image-amd64"}
I386_PACKAGES = ["strace:i386", "libunwind8:i386", "liblzma5:i386", "dash:i386"]
# Changed whenever vm86_kernel builds differently, so that the cache is rebuilt.
KERNEL_RECIPE = "tinyconfig + vm86.config, bzImage, 2"
MODULES = ["snd-dummy", "snd-mixer-oss", "snd-pcm-oss", "sr_mod", "cdrom", "ata_piix"]


class Skip(Exception):
    """The stage cannot run on this machine; the text says why."""


def log(text):
    print(text, flush=True)


def sh(args, **kw):
    kw.setdefault("check", True)
    kw.setdefault("stdout", subprocess.PIPE)
    kw.setdefault("stderr", subprocess.PIPE)
    return subprocess.run(args, text=True, **kw)


def digest(*parts):
    h = hashlib.sha256()
    for part in parts:
        h.update(part if isinstance(part, bytes) else str(part).encode())
        h.update(b"\0")
    return h.hexdigest()[:16]


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


# --- Packages from the archive ---------------------------------------------


def package_field(name, field):
    out = sh(["apt-cache", "show", "--no-all-versions", name], check=False).stdout
    match = re.search(r"^%s: (.*)$" % field, out, re.M)
    if not match:
        raise Skip("the package archive does not know %s (apt-get update?)" % name)
    return match.group(1).strip()


def kernel_package(meta):
    """The versioned kernel package that a meta package stands for."""
    arch = meta.split(":")[1] if ":" in meta else None
    for dep in package_field(meta, "Depends").split(","):
        name = dep.split()[0]
        if name.startswith("linux-image-"):
            return name + (":" + arch if arch and ":" not in name else "")
    raise Skip("%s names no kernel package" % meta)


def fetch(name):
    """The .deb of a package in the cache, downloaded when missing."""
    debs = os.path.join(CACHE, "debs")
    os.makedirs(debs, exist_ok=True)
    version = package_field(name, "Version").split(":")[-1]
    base = name.split(":")[0]
    for entry in os.listdir(debs):
        if entry.startswith(base + "_" + version + "_") and entry.endswith(".deb"):
            return os.path.join(debs, entry)
    r = sh(["sh", "-c", 'me=test-kernel; . "$1"; apt_download "$2" "$3"', "sh", APT_STEPS, debs, name],
           check=False)
    sys.stderr.write(r.stderr)
    for entry in os.listdir(debs):
        if entry.startswith(base + "_" + version + "_") and entry.endswith(".deb"):
            return os.path.join(debs, entry)
    lines = r.stderr.strip().splitlines() or ["apt-get download %s failed" % name]
    raise Skip(lines[-1])


def extract(deb, into, members=()):
    os.makedirs(into, exist_ok=True)
    tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", deb], stdout=subprocess.PIPE)
    sh(["tar", "-x", "-C", into, "--wildcards"] + list(members), stdin=tar.stdout)
    tar.wait()


# --- Kernels -----------------------------------------------------------------


def vm86_kernel():
    """Our own 32-bit kernel with the vm86 call, from Debian's source."""
    deb = fetch("linux-source-6.1")
    fragment = read_bytes(os.path.join(HERE, "vm86.config"))
    key = digest(os.path.basename(deb), fragment, KERNEL_RECIPE)
    image = os.path.join(CACHE, "vm86", key, "bzImage")
    if os.path.exists(image):
        return image
    work = os.path.join(CACHE, "vm86", "src")
    shutil.rmtree(work, ignore_errors=True)
    extract(deb, work, ["./usr/src/linux-source-*.tar.xz"])
    tarball = [f for f in os.listdir(os.path.join(work, "usr", "src")) if f.endswith(".tar.xz")][0]
    sh(["tar", "-xf", os.path.join(work, "usr", "src", tarball), "-C", work])
    src = os.path.join(work, tarball[: -len(".tar.xz")])
    log("   building the vm86 kernel from %s" % os.path.basename(deb))
    make = ["make", "-C", src, "ARCH=i386", "-j%d" % len(os.sched_getaffinity(0))]
    sh(make + ["tinyconfig"])
    frag = os.path.join(work, "vm86.config")
    shutil.copy(os.path.join(HERE, "vm86.config"), frag)
    sh([os.path.join(src, "scripts", "kconfig", "merge_config.sh"), "-m", "-O", src,
        os.path.join(src, ".config"), frag], cwd=src)
    sh(make + ["olddefconfig"])
    config = open(os.path.join(src, ".config")).read()
    for line in fragment.decode().splitlines():
        if line.startswith("CONFIG_") and line not in config.splitlines():
            raise RuntimeError("the kernel configuration lacks %s" % line)
    r = sh(make + ["bzImage"], check=False)
    if r.returncode != 0:
        raise RuntimeError("the vm86 kernel did not build:\n" + "\n".join(
            (r.stdout + r.stderr).splitlines()[-20:]))
    os.makedirs(os.path.dirname(image), exist_ok=True)
    shutil.copy(os.path.join(src, "arch", "x86", "boot", "bzImage"), image)
    shutil.rmtree(work)
    return image


def debian_kernel(flavour):
    """Debian's kernel image, and for amd64 the modules the sound and
    CD-ROM checks load, in dependency order."""
    package = kernel_package(KERNEL_PACKAGES[flavour])
    deb = fetch(package)
    abi = package.split(":")[0][len("linux-image-"):]
    home = os.path.join(CACHE, flavour, os.path.basename(deb)[:-4])
    image = os.path.join(home, "vmlinuz")
    order = os.path.join(home, "modules.order")
    if os.path.exists(image) and (flavour != "amd64" or os.path.exists(order)):
        return image, home
    work = os.path.join(CACHE, flavour, "unpacked")
    shutil.rmtree(work, ignore_errors=True)
    members = ["./boot/vmlinuz-*"] + (["./lib/modules/*"] if flavour == "amd64" else [])
    extract(deb, work, members)
    os.makedirs(home, exist_ok=True)
    shutil.copy(os.path.join(work, "boot", "vmlinuz-" + abi), image)
    if flavour == "amd64":
        pick_modules(work, abi, home)
    shutil.rmtree(work)
    return image, home


def pick_modules(root, abi, home, modules=MODULES):
    """The modules named (and those they need) of the kernel unpacked at
    root, into home/modules, with home/modules.order listing them in load
    order as the guest sees them (/kmod/NAME.ko)."""
    sh(["depmod", "-b", root, abi])
    moddir = os.path.join(root, "lib", "modules", abi)
    deps = {}
    for line in open(os.path.join(moddir, "modules.dep")):
        module, _, needs = line.partition(":")
        deps[module] = needs.split()

    def name_of(path):
        return os.path.basename(path).split(".ko")[0].replace("-", "_")

    by_name = {name_of(m): m for m in deps}
    wanted = []

    def want(module):
        for dep in deps[module]:
            want(dep)
        if module not in wanted:
            wanted.append(module)

    for name in modules:
        module = by_name.get(name.replace("-", "_"))
        if module is None:
            raise RuntimeError("the amd64 kernel has no module %s" % name)
        want(module)
    os.makedirs(os.path.join(home, "modules"), exist_ok=True)
    lines = []
    for module in wanted:
        src = os.path.join(moddir, module)
        dst = os.path.join(home, "modules", name_of(module) + ".ko")
        if src.endswith(".xz"):
            with open(dst, "wb") as out:
                sh(["xz", "-dc", src], stdout=out, text=False)
        else:
            shutil.copy(src, dst)
        lines.append("/kmod/" + name_of(module) + ".ko")
    with open(os.path.join(home, "modules.order"), "w") as f:
        f.write("\n".join(lines) + "\n")


def i386_extras():
    """strace and dash for the 32-bit guests, from the archive."""
    root = os.path.join(CACHE, "i386-extras")
    debs = [fetch(p) for p in I386_PACKAGES]
    key = digest(*[os.path.basename(d) for d in debs])
    done = os.path.join(root, key)
    if not os.path.exists(done):
        shutil.rmtree(root, ignore_errors=True)
        for deb in debs:
            extract(deb, os.path.join(root, "tree"))
        open(done, "w").close()
    return os.path.join(root, "tree")


# --- Programs of our own for the guests --------------------------------------


def build_helpers():
    out = os.path.join(CACHE, "bin")
    os.makedirs(out, exist_ok=True)
    for name, flags in (("init", ["-m32"]), ("mixer-value", [])):
        src = os.path.join(HERE, name.replace("-", "_") + ".c")
        sh(["gcc", "-static", "-O2", "-Wall", "-Wextra", "-Werror"] + flags +
           ["-o", os.path.join(out, name), src])
    return out


def disc_image():
    iso = os.path.join(CACHE, "disc.iso")
    if not os.path.exists(iso):
        content = os.path.join(CACHE, "disc")
        os.makedirs(content, exist_ok=True)
        with open(os.path.join(content, "README"), "w") as f:
            f.write("A data disc for the CD-ROM checks.\n")
        sh(["genisoimage", "-quiet", "-V", "SUITE", "-o", iso, content])
    return iso


# --- Guest images --------------------------------------------------------------


LIBRARY_DIRS = {
    "ELF32": ["/lib/i386-linux-gnu", "/usr/lib/i386-linux-gnu", "/lib32", "/usr/lib32"],
    "ELF64": ["/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib64", "/usr/lib64"],
}


def needed_libraries(path, search=()):
    """The loader and every shared library that the program at `path`
    needs, read from its ELF headers rather than by running it (ldd runs
    the program's loader, which this kernel may not run: a 32-bit one on a
    kernel without IA-32 emulation)."""
    found, todo = [], [path]
    while todo:
        elf = todo.pop()
        headers = sh(["readelf", "-hld", "-W", elf], check=False).stdout
        kind = re.search(r"Class:\s+(ELF\d\d)", headers)
        dirs = list(search) + LIBRARY_DIRS.get(kind.group(1) if kind else "", [])
        wanted = re.findall(r"Requesting program interpreter: (/[^\]]+)\]", headers)
        for name in re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", headers):
            for d in dirs:
                if os.path.exists(os.path.join(d, name)):
                    wanted.append(os.path.join(d, name))
                    break
            else:
                raise RuntimeError("%s needs %s, found in none of %s" % (elf, name, dirs))
        for lib in wanted:
            if lib not in found:
                found.append(lib)
                todo.append(lib)
    return found


class Image:
    """The files of an initramfs, each at its path in the guest."""

    def __init__(self, name):
        self.name = name
        self.files = {}  # guest path -> host path, or bytes
        self.dirs = {"/tmp", "/root", "/run", "/dev", "/proc", "/sys", "/etc"}

    def add(self, guest, host=None):
        self.files[guest] = host or guest

    def text(self, guest, content):
        self.files[guest] = content.encode() if isinstance(content, str) else content

    def add_program(self, path, guest=None, lib_dir=None, search=()):
        """A program or library and every library it needs, at the paths
        its loader looks in (lib_dir for those that come from elsewhere,
        looked for first in `search`)."""
        self.add(guest or path, path)
        for lib in needed_libraries(path, search):
            where = lib
            if lib_dir and not os.path.dirname(lib) in ("/lib", "/lib32", "/lib64"):
                where = os.path.join(lib_dir, os.path.basename(lib))
            self.add(where, lib)

    def add_tree(self, host, guest=None):
        for dirpath, _, files in os.walk(host):
            for f in files:
                p = os.path.join(dirpath, f)
                self.add(os.path.join(guest or host, os.path.relpath(p, host)), p)

    def write(self, path):
        stage = path + ".d"
        shutil.rmtree(stage, ignore_errors=True)
        for d in self.dirs:
            os.makedirs(stage + d, exist_ok=True)
        for guest, host in sorted(self.files.items()):
            dst = stage + guest
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            if isinstance(host, bytes):
                with open(dst, "wb") as f:
                    f.write(host)
            else:
                shutil.copy(host, dst)  # follows links: the guest gets the file
        os.chmod(stage + "/tmp", 0o1777)
        names = sh(["find", "."], cwd=stage).stdout
        with open(path, "wb") as out:
            subprocess.run(["cpio", "-o", "-H", "newc", "--quiet", "-R", "0:0"], cwd=stage,
                           input=names.encode(), stdout=out, check=True)
        shutil.rmtree(stage)
        return path


PASSWD = "root:x:0:0:root:/root:/bin/sh\ntester:x:%d:%d:tester:/tmp:/bin/sh\n" % (USER, USER)
GROUP = "root:x:0:\nusers:x:%d:\ntester:x:%d:\n" % (MINIX_GROUP, USER)


def base_image(name, helpers):
    image = Image(name)
    image.add("/init", os.path.join(helpers, "init"))
    image.text("/etc/passwd", PASSWD)
    image.text("/etc/group", GROUP)
    return image


def i386_image(name, helpers, extras, binaries):
    image = base_image(name, helpers)
    for path in binaries:
        image.add_program(path)
    image.add_tree(PROGRAMS)
    image.add_program(os.path.join(I386, "lib", "libtavi_occupy_area.so"))
    for prog in ("usr/bin/strace", "bin/dash"):
        image.add_program(os.path.join(extras, prog), "/" + prog, lib_dir="/lib32",
                          search=[os.path.join(extras, "usr", "lib", "i386-linux-gnu")])
    for lib in os.listdir(os.path.join(extras, "usr", "lib", "i386-linux-gnu")):
        path = os.path.join(extras, "usr", "lib", "i386-linux-gnu", lib)
        if os.path.isfile(path):
            image.add("/lib32/" + lib, path)
    image.add("/bin/sh", os.path.join(extras, "bin", "dash"))
    return image


# --- Steps ---------------------------------------------------------------------

ENV = ["PATH=/usr/bin:/bin", "HOME=/tmp", "TERM=dumb"]


def step(name, argv, uid=0, dir="/tmp", input="/dev/null", env=ENV, until="-", trace="-",
         limit=STEP_LIMIT):
    fields = [name, str(limit), str(uid), dir, input, "\x1f".join(env), until, trace] + list(argv)
    assert all("\t" not in f and "\n" not in f for f in fields)
    assert all("\x1f" not in word for word in env)
    return "\t".join(fields) + "\n"


def program_args(name):
    """The arguments a test program runs with here: enough to do its work."""
    p = os.path.join(PROGRAMS, name)
    table = {
        "echo": ["one", "two words"],
        "echo-separate": ["one", "two words"],
        "status": ["42"],
        "exec": [os.path.join(PROGRAMS, "echo"), "after", "exec"],
        "copy": [os.path.join(PROGRAMS, "copy"), "/dev/null"],
        "minix": [os.path.join(PROGRAMS, "data123")],
    }
    inputs = {"cat": os.path.join(PROGRAMS, "echo")}
    return [p] + table.get(name, []), inputs.get(name, "/dev/null")


def test_programs():
    return sorted(f for f in os.listdir(PROGRAMS)
                  if not f.endswith(".bin") and os.access(os.path.join(PROGRAMS, f), os.X_OK))


def program_steps(taviemu, users, dir="/tmp"):
    steps = []
    for name in test_programs():
        argv, stdin = program_args(name)
        for uid in users:
            steps.append(step("program %s uid %d" % (name, uid), [taviemu] + argv, uid=uid,
                              dir=dir, input=stdin, trace="vm86"))
    return "".join(steps)


def battery(folder):
    """The harness of a battery of 16-bit programs (C_PROGRAMS, the tavi
    system's, or MINIX_PROGRAMS): its table, its environment, how its
    output is judged, its terminal's answers."""
    name = os.path.basename(folder).replace("-", "_")
    spec = importlib.util.spec_from_file_location(name, os.path.join(folder, "run.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def program_input(guest, prog):
    return "%s/input-%s" % (guest, prog)


def escape(data):
    r"""Bytes as init's answer files write them: \\ for a backslash and
    \xHH for what is not printable."""
    out = ""
    for b in data:
        c = chr(b)
        out += "\\\\" if c == "\\" else c if 32 <= b < 127 else "\\x%02x" % b
    return out


def pty_answers(run):
    """A battery's answers at the terminal, as init's answer file: a line
    per answer (a callable one is the report of what was echoed after
    ECHO_REPORT's prompts), then the control characters the terminal
    starts with."""
    lines = []
    for prompt, answer, delay in run.PTY_ANSWERS:
        ms = str(int(delay * 1000))
        if callable(answer):
            pairs = [escape(x) for pair in run.ECHO_REPORT for x in pair]
            lines.append("\t".join(["report", ms, escape(prompt)] + pairs))
        else:
            lines.append("\t".join(["answer", ms, escape(prompt), escape(answer)]))
    for index, value in getattr(run, "PTY_CONTROL", {}).items():
        lines.append("control\t%d\t%d" % (index, value))
    return "\n".join(lines) + "\n"


def add_battery(image, folder, guest):
    """A battery's programs, the standard input each is given and its
    terminal's answers."""
    run = battery(folder)
    image.add_tree(os.path.join(folder, "bin"), guest + "/bin")
    for _, prog, _, stdin_data, _, _ in run.PROGRAMS:
        if stdin_data is not None:
            image.text(program_input(guest, prog), stdin_data)
    image.text(guest + "/pty-answers", pty_answers(run))
    return run


def program_input_field(guest, prog, stdin_data, mode):
    if mode == "pty":
        return "@pty:%s/pty-answers" % guest
    return program_input(guest, prog) if stdin_data is not None else "/dev/null"


def c_program_steps(taviemu, users):
    """Each C program as each user, in a folder of its own, with the
    arguments, input and environment that run.py gives it."""
    run = battery(C_PROGRAMS)
    bindir = GUEST_C_PROGRAMS + "/bin"
    steps = []
    for name, prog, pargs, stdin_data, mode, limit in run.PROGRAMS:
        for uid in users:
            work = "/tmp/r16-%s-%d" % (name.replace(" ", "_"), uid)
            env = run.environment(bindir, prog, work, uid, uid)
            steps.append(step("c-program %s uid %d" % (name, uid),
                              [taviemu, os.path.join(bindir, prog)] + pargs, uid=uid, dir=work,
                              input=program_input_field(GUEST_C_PROGRAMS, prog, stdin_data, mode),
                              env=["%s=%s" % kv for kv in env.items()],
                              trace="vm86", limit=limit))
    return "".join(steps)


def minix_program_steps(taviemu, users):
    """Each Minix program as each user (those run.py runs as root always
    as root), with group MINIX_GROUP, in a folder of its own with the
    links run.py leaves there, with its arguments, input and environment."""
    run = battery(MINIX_PROGRAMS)
    bindir = GUEST_MINIX_PROGRAMS + "/bin"
    steps = []
    for name, prog, pargs, stdin_data, mode, limit in run.PROGRAMS:
        for user in users:
            uid = 0 if mode == "root" else user
            who = "%d:%d" % (uid, MINIX_GROUP if uid else 0)
            # Every component of the folder within Minix's 14 bytes, as
            # getcwd and the library's other names need.
            work = "/tmp/m16-%d/%s" % (user, name.replace(" ", "_"))
            for target, link in run.LINKS.get(prog, []):
                steps.append(step("link %s %s" % (work, link), ["@symlink", target, link],
                                  uid=who, dir=work))
            env = run.environment(bindir, prog, work, uid, MINIX_GROUP if uid else 0, uid != 0)
            steps.append(step("minix-program %s uid %d" % (name, user),
                              [taviemu, os.path.join(bindir, prog)] + pargs, uid=who, dir=work,
                              input=program_input_field(GUEST_MINIX_PROGRAMS, prog, stdin_data,
                                                        mode),
                              env=["%s=%s" % kv for kv in env.items()],
                              trace="vm86", limit=limit))
    return "".join(steps)


# --- Running a guest -----------------------------------------------------------


def parse_report(data):
    """The steps of a report: name -> dict(out, err, status, vm86)."""
    steps, order, pos = {}, [], 0
    current = None
    while pos < len(data):
        end = data.find(b"\n", pos)
        if end < 0:
            break
        line = data[pos:end].decode(errors="replace")
        pos = end + 1
        if line.startswith("@@step "):
            current = {"out": b"", "err": b"", "status": None, "vm86": None}
            steps[line[7:]] = current
            order.append(line[7:])
        elif current is not None and (line.startswith("@@out ") or line.startswith("@@err ")):
            n = int(line.split()[1])
            current[line[2:5]] = data[pos:pos + n]
            pos += n
        elif current is not None and line.startswith("@@vm86 "):
            current["vm86"] = line[7:]
        elif current is not None and line.startswith("@@status "):
            current["status"] = line[9:]
        elif line == "@@end":
            steps["@@end"] = True
    return steps, order


def qemu_command(kind, kernel, initrd, console, report, accel):
    system = "qemu-system-x86_64" if kind == "amd64" else "qemu-system-i386"
    cmd = [system, "-accel", accel, "-m", "768", "-nodefaults", "-no-reboot", "-display", "none",
           "-monitor", "none", "-kernel", kernel, "-initrd", initrd,
           "-append", "console=ttyS0 panic=-1 quiet",
           "-serial", "file:" + console, "-serial", "file:" + report]
    if kind == "amd64":
        cmd += ["-drive", "file=%s,if=ide,index=0,media=cdrom,format=raw,readonly=on" % disc_image(),
                "-drive", "if=ide,index=1,media=cdrom"]
    return cmd


def boot(kind, kernel, initrd, accel, limit):
    """Boots a guest until it restarts; its report, console and a failure text."""
    out = os.path.join(CACHE, "run")
    os.makedirs(out, exist_ok=True)
    console = os.path.join(out, kind + ".console")
    report = os.path.join(out, kind + ".report")
    for f in (console, report):
        open(f, "w").close()
    cmd = qemu_command(kind, kernel, initrd, console, report, accel)
    messages = os.path.join(out, kind + ".qemu")
    start = time.monotonic()
    with open(messages, "w") as qemu_out:
        proc = subprocess.Popen(cmd, stdout=qemu_out, stderr=subprocess.STDOUT)
    failure = None
    while proc.poll() is None:
        # A KVM that cannot run the guest stops it with an internal error.
        if "internal error" in open(messages, errors="replace").read():
            failure = "qemu stopped: " + open(messages, errors="replace").read().strip()[:300]
        elif time.monotonic() - start > limit:
            failure = "did not finish within %d s" % limit
        if failure:
            proc.kill()
            proc.wait()
            break
        time.sleep(0.2)
    if failure is None and proc.returncode != 0:
        failure = "qemu ended with status %d: %s" % (
            proc.returncode, open(messages, errors="replace").read().strip()[-500:])
    seconds = time.monotonic() - start
    return read_bytes(report), read_bytes(console), failure, seconds


def console_tail(console, lines=15):
    text = console.decode(errors="replace").replace("\r", "")
    return "\n".join("      | " + l for l in text.splitlines()[-lines:])


def kvm_works(kernel, helpers):
    """Whether qemu's KVM runs our 32-bit guest here: a guest without steps,
    given a few seconds to report its end."""
    if not os.access("/dev/kvm", os.R_OK | os.W_OK):
        return False
    image = base_image("probe", helpers)
    image.text("/steps", "")
    initrd = image.write(os.path.join(CACHE, "images", "probe.cpio"))
    report, _, failure, _ = boot("probe", kernel, initrd, "kvm", 20)
    return failure is None and b"@@end" in report


# --- Checks ----------------------------------------------------------------------


class Tally:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, ok, name, detail=""):
        if ok:
            self.passed += 1
            log("   ok   %s" % name)
        else:
            self.failed += 1
            log("   FAIL %s%s" % (name, ": " + detail if detail else ""))
        return ok


def show(data, limit=300):
    text = data.decode(errors="replace")
    return repr(text if len(text) <= limit else text[:limit] + "...")


def gtest_summary(out):
    text = out.decode(errors="replace")
    passed = re.findall(r"\[  PASSED  \] (\d+) test", text)
    skipped = re.findall(r"\[  SKIPPED \] (\d+) test", text)
    failed = re.findall(r"\[  FAILED  \] (\d+) test", text)
    return "%s passed, %s skipped, %s failed" % (
        passed[-1] if passed else 0, skipped[-1] if skipped else 0, failed[-1] if failed else 0)


def check_gtest(tally, steps, name):
    s = steps.get(name)
    if s is None:
        return tally.check(False, name, "did not run")
    ok = s["status"] == "exit 0"
    detail = "%s; %s" % (s["status"], gtest_summary(s["out"]))
    if not ok:
        failures = [l for l in s["out"].decode(errors="replace").splitlines()
                    if "Failure" in l or l.startswith("[  FAILED")]
        detail += "\n      " + "\n      ".join(failures[-20:])
    return tally.check(ok, "%s (%s)" % (name, gtest_summary(s["out"])), "" if ok else detail)


# Where the kernel's own vm86 path answers otherwise than the engine, by
# design: vm86old hands a divide error back to the kernel's trap handling,
# which sends SIGFPE, while the engine reports the exception to the runner
# (SIGILL, then a message when SIGILL is ignored).
KERNEL_PATH_ANSWERS = {"exception": {"status": "signal 8"}}


def check_programs(tally, steps, host, users, expect_vm86, kind):
    kernel_path = 0
    for name in test_programs():
        for uid in users:
            key = "program %s uid %d" % (name, uid)
            g, h = steps.get(key), host.get(key)
            if g is None or h is None:
                tally.check(False, "%s: %s" % (kind, key), "did not run")
                continue
            problems = []
            want = dict(h)
            if kind == "vm86" and uid == 0:
                want.update(KERNEL_PATH_ANSWERS.get(name, {}))
            for field in ("out", "err", "status"):
                if g[field] != want[field]:
                    problems.append("%s %s, on the host %s" % (
                        field, show(g[field]) if field != "status" else g[field],
                        show(want[field]) if field != "status" else want[field]))
            wanted = expect_vm86(uid)
            if not wanted(g["vm86"]):
                problems.append("first vm86old call gave %s" % g["vm86"])
            if not problems and uid == 0 and kind == "vm86":
                kernel_path += 1
            tally.check(not problems, "%s: %s (%s, vm86old %s)" % (kind, key, g["status"], g["vm86"]),
                        "; ".join(problems))
    return kernel_path


def check_battery(tally, steps, users, expect_vm86, kind, folder, label, judge):
    """One check per program of a battery and user: every check of the
    program held, it ended with status 0, and the first vm86old call
    answered as expected for the user it ran as; then the battery's
    totals."""
    run = battery(folder)
    held = counted = 0
    for name, prog, _, _, mode, _ in run.PROGRAMS:
        for uid in users:
            key = "%s %s uid %d" % (label, name, uid)
            s = steps.get(key)
            if s is None:
                tally.check(False, "%s: %s" % (kind, key), "did not run")
                continue
            text = s["out"].decode("latin-1").replace("\r", "")
            good, count, notes, ok = judge(run, prog, text, s["status"])
            held, counted = held + good, counted + count
            if not expect_vm86(0 if mode == "root" else uid)(s["vm86"]):
                ok = False
                notes.insert(0, "first vm86old call gave %s" % s["vm86"])
            tally.check(ok, "%s: %s (%d/%d checks, %s, vm86old %s)" % (
                kind, key, good, count, s["status"], s["vm86"]), "; ".join(notes))
    log("   %s: %d/%d checks hold" % (label, held, counted))


def check_c_programs(tally, steps, users, expect_vm86, kind):
    check_battery(tally, steps, users, expect_vm86, kind, C_PROGRAMS, "c-program",
                  lambda run, prog, text, end: run.judge(prog, run.parse(text), end))


def check_minix_programs(tally, steps, users, expect_vm86, kind):
    check_battery(tally, steps, users, expect_vm86, kind, MINIX_PROGRAMS, "minix-program",
                  lambda run, prog, text, end: run.judge(run.parse(text), end))


def succeeded(result):
    return result not in (None, "none") and not (-4095 <= int(result) < 0)


def vm86_answer(uid):
    """What the vm86 kernel's first vm86old call must give: success to
    root, EPERM to an unprivileged user."""
    return succeeded if uid == 0 else (lambda r: r == "-1")


def check_tcl(tally, steps, name):
    s = steps.get(name)
    if s is None:
        return tally.check(False, name, "did not run")
    for line in s["out"].decode(errors="replace").splitlines():
        if line.startswith("ok ") or line.startswith("FAIL "):
            tally.check(line.startswith("ok "), "amd64: " + line.split(" ", 1)[1])
        elif line.startswith("result "):
            log("        " + line)
    tally.check(s["status"] == "exit 0", "amd64: %s ended (%s)" % (name, s["status"]),
                show(s["err"]))


# --- The guests ------------------------------------------------------------------


def i386_binaries(*names):
    paths = []
    for n in names:
        p = os.path.join(I386, n)
        if not os.path.exists(p):
            raise RuntimeError("%s is missing: build the i386 preset first" % p)
        paths.append(p)
    return paths


def vm86_guest(helpers, extras):
    binaries = i386_binaries("bin/taviemu", "bin/deny-vm86", "tests/taviemu_test",
                             "tests/taviemu_unit_test", "tests/taviemu_kernel_vm86_test")
    image = i386_image("vm86", helpers, extras, binaries)
    # The Minix program that the runner's tests exec, where they find it.
    image.add(os.path.join(MINIX_PROGRAMS, "bin", "mchild"))
    taviemu = binaries[0]
    steps = "".join(step(os.path.basename(b), [b]) for b in binaries[2:])
    steps += program_steps(taviemu, (0, USER))
    image.text("/steps", steps)
    return image


def c_programs_guest(helpers, extras):
    binaries = i386_binaries("bin/taviemu")
    image = i386_image("vm86-c", helpers, extras, binaries)
    run = add_battery(image, C_PROGRAMS, GUEST_C_PROGRAMS)
    add_battery(image, MINIX_PROGRAMS, GUEST_MINIX_PROGRAMS)
    image.text("/binfmt", "\n".join(run.binfmt_lines(binaries[0])) + "\n")
    image.text("/steps", c_program_steps(binaries[0], (0, USER)) +
               minix_program_steps(binaries[0], (0, USER)))
    return image


def i686_guest(helpers, extras):
    binaries = i386_binaries("bin/taviemu", "bin/sysapplets", "bin/brevic", "tests/brevic_test",
                             "tests/brevic_cli_test", "tests/brevic_live_test",
                             "tests/sysapplets_test")
    image = i386_image("686", helpers, extras, binaries)
    steps = "".join(step(os.path.basename(b), [b]) for b in binaries[3:])
    trace = "/tmp/update.trace"
    steps += step("update", ["/usr/bin/strace", "-f", "-qq", "-o", trace, "-e",
                             "trace=bdflush,sync,clock_nanosleep,nanosleep", binaries[1], "update"],
                  until=trace + "=tv_sec=30|ENOSYS", limit=120)
    steps += step("update trace", ["@cat", trace])
    steps += program_steps(binaries[0], (0,))
    image.text("/steps", steps)
    return image


def amd64_guest(helpers, home):
    image = base_image("amd64", helpers)
    tclsh = shutil.which("tclsh8.6") or "/usr/bin/tclsh8.6"
    image.add_program(os.path.realpath(tclsh), "/usr/bin/tclsh8.6")
    image.add_tree("/usr/share/tcltk/tcl8.6")
    lib = os.path.join(DEV, "lib", "sonarel", "libsonarel.so")
    if not os.path.exists(lib):
        raise RuntimeError("%s is missing: build the dev preset's sonarel first" % lib)
    image.add_program(lib)
    image.add(os.path.join(DEV, "lib", "sonarel", "pkgIndex.tcl"))
    image.add("/bin/mixer-value", os.path.join(helpers, "mixer-value"))
    image.add("/sonarel.tcl", os.path.join(HERE, "sonarel.tcl"))
    for ko in os.listdir(os.path.join(home, "modules")):
        image.add("/kmod/" + ko, os.path.join(home, "modules", ko))
    image.text("/modules", open(os.path.join(home, "modules.order")).read())
    image.text("/steps", step("sonarel", ["/usr/bin/tclsh8.6", "/sonarel.tcl", lib]))
    return image


def whole_calls(trace):
    """strace -f lines with each call that another process interrupted
    ("<unfinished ...>", later "<... resumed>") joined into one line."""
    pending, calls = {}, []
    for line in trace.splitlines():
        pid, _, call = line.strip().partition(" ")
        call = call.strip()
        if call.endswith("<unfinished ...>"):
            pending[pid] = call[: -len("<unfinished ...>")].rstrip()
            continue
        m = re.match(r"<\.\.\. \S+ resumed>(.*)", call)
        if m:
            call = pending.pop(pid, "") + m.group(1)
        calls.append(pid + " " + call)
    calls += [pid + " " + call for pid, call in pending.items()]
    return "\n".join(calls)


def check_686_update(tally, steps):
    s = steps.get("update")
    t = whole_calls(steps.get("update trace", {}).get("out", b"").decode(errors="replace"))
    tally.check(s is not None and s["status"] == "stopped",
                "686: sysapplets update leaves a syncer asleep for 30 s",
                "status %s" % (s or {}).get("status"))
    tally.check(re.search(r"bdflush\(.*\) += -1 ENOSYS", t) is not None,
                "686: the flush request answers ENOSYS", show(t.encode()))
    tally.check(re.search(r"sync\(\) += 0", t) is not None and "tv_sec=30" in t,
                "686: the sync loop runs: sync, then a 30-second pause", show(t.encode()))
    for line in t.splitlines():
        if "bdflush" in line or "tv_sec=30" in line:
            log("        " + line)


def main():
    started = time.monotonic()
    log("== test-kernel: real kernels in qemu")
    os.makedirs(CACHE, exist_ok=True)
    helpers = build_helpers()
    extras = i386_extras()
    k686, _ = debian_kernel("686")
    kamd64, amd64_home = debian_kernel("amd64")
    kvm86 = vm86_kernel()
    log("   kernels ready after %.0f s" % (time.monotonic() - started))

    images = os.path.join(CACHE, "images")
    os.makedirs(images, exist_ok=True)
    guests = {
        "vm86": (kvm86, vm86_guest(helpers, extras)),
        "vm86-c": (kvm86, c_programs_guest(helpers, extras)),
        "686": (k686, i686_guest(helpers, extras)),
        "amd64": (kamd64, amd64_guest(helpers, amd64_home)),
    }
    accel = "kvm" if kvm_works(kvm86, helpers) else "tcg"
    log("   qemu accelerator: %s" % accel)

    # The engine's results on the host, for the same runs.
    host_dir = os.path.join(CACHE, "host-tmp")
    shutil.rmtree(host_dir, ignore_errors=True)
    os.makedirs(host_dir)
    os.chmod(host_dir, 0o1777)
    host_steps = os.path.join(CACHE, "run", "host.steps")
    os.makedirs(os.path.dirname(host_steps), exist_ok=True)
    with open(host_steps, "w") as f:
        f.write(program_steps(os.path.join(I386, "bin", "taviemu"), (0, USER), dir=host_dir))
    host_report = os.path.join(CACHE, "run", "host.report")
    # init and the runner are 32-bit programs: where this kernel runs none,
    # ia32_run.py runs them in a 64-bit guest that sees this machine's files.
    sh([sys.executable, os.path.join(HERE, "ia32_run.py"), TOP, "--",
        os.path.join(helpers, "init"), "--host", host_steps, host_report], stdout=None)
    host, _ = parse_report(read_bytes(host_report))

    def run(kind):
        kernel, image = guests[kind]
        initrd = image.write(os.path.join(images, kind + ".cpio"))
        return kind, boot(kind, kernel, initrd, accel, GUEST_LIMIT[kind])

    tally = Tally()
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = dict(pool.map(run, GUEST_ORDER))

    for kind in GUEST_ORDER:
        report, console, failure, seconds = results[kind]
        steps, _ = parse_report(report)
        log("-- %s kernel (%s, %.0f s)" % (kind, os.path.basename(guests[kind][0]), seconds))
        finished = failure is None and "@@end" in steps
        if not tally.check(finished, "%s: the guest ran every step and restarted" % kind,
                           (failure or "its report ends early") + "\n" + console_tail(console)):
            pass
        if "modules" in steps:
            tally.check(steps["modules"]["status"] == "exit 0", "%s: modules loaded" % kind,
                        show(steps["modules"]["err"]))
        if "binfmt" in steps:
            tally.check(steps["binfmt"]["status"] == "exit 0",
                        "%s: tavi programs registered with binfmt_misc" % kind,
                        show(steps["binfmt"]["err"]))
        if kind == "vm86":
            for name in ("taviemu_test", "taviemu_unit_test", "taviemu_kernel_vm86_test"):
                check_gtest(tally, steps, name)
            count = check_programs(tally, steps, host, (0, USER), vm86_answer, kind)
            log("   %d test programs ran on the kernel's vm86 path" % count)
        elif kind == "vm86-c":
            check_c_programs(tally, steps, (0, USER), vm86_answer, kind)
            check_minix_programs(tally, steps, (0, USER), vm86_answer, kind)
        elif kind == "686":
            for name in ("brevic_test", "brevic_cli_test", "brevic_live_test", "sysapplets_test"):
                check_gtest(tally, steps, name)
            check_686_update(tally, steps)
            check_programs(tally, steps, host, (0,), lambda uid: (lambda r: r == "-38"), kind)
        else:
            check_tcl(tally, steps, "sonarel")
    log("   stage time %.0f s" % (time.monotonic() - started))
    log("%d passed, %d failed" % (tally.passed, tally.failed))
    return 0 if tally.failed == 0 else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Skip as reason:
        if os.environ.get("CI"):
            log("test-kernel: cannot run, and CI needs it: %s" % reason)
            log("0 passed, 1 failed")
            sys.exit(1)
        log("test-kernel: skipped: %s" % reason)
        sys.exit(0)
    except (RuntimeError, OSError, subprocess.CalledProcessError) as error:
        detail = getattr(error, "stderr", None) or ""
        log("test-kernel: FAILED: %s %s" % (error, detail.strip()[-2000:]))
        log("0 passed, 1 failed")
        sys.exit(1)
