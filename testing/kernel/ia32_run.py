#!/usr/bin/env python3
"""Runs a command that needs 32-bit x86 programs, on a host whose kernel may
run none.

  ia32_run.py TOP [--cwd DIR] [--limit SECONDS] [--binfmt FILE] -- COMMAND [ARGUMENT]...

Where the host's kernel runs 32-bit programs (a static probe program built
with -m32 runs), the command simply runs here. Where it does not (a 64-bit
kernel built or booted without its IA-32 emulation), the command runs in a
guest: Debian's 64-bit kernel, whose IA-32 emulation is on, in qemu, with
the host's own root file system shared into it over 9p (the guest's /tmp,
/run, /proc, /sys and /dev are its own), and the binfmt_misc registrations
in FILE (one a line) made in the guest. The command then sees the same
files, programs and build trees as on the host, and its output and exit
status come back as if it had run here.

Kernels and downloads are kept in TOP/build-kernel, beside the kernel
stage's. Without root, qemu or the package archive the command cannot run
in a guest: the script says why in one line and exits 0, unless CI is set,
when it fails.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import stage  # noqa: E402  (shares the kernel stage's cache and helpers)

CACHE = stage.CACHE
# The modules that bring the 9p share, in any order: their dependencies are
# looked up and loaded first.
MODULES = ["virtio_pci", "9pnet_virtio", "9p", "binfmt_misc"]
GUEST_MEMORY = "3072"


class CannotRun(Exception):
    """The command cannot run on this machine; the text says why."""


def host_runs_ia32():
    probe = os.path.join(CACHE, "bin", "ia32-probe")
    if not os.path.exists(probe):
        os.makedirs(os.path.dirname(probe), exist_ok=True)
        source = probe + ".c"
        with open(source, "w") as f:
            f.write("int main(void) { return 0; }\n")
        r = subprocess.run(["gcc", "-m32", "-static", "-o", probe, source],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if r.returncode != 0:
            raise RuntimeError("cannot build a 32-bit probe program: " + r.stdout.strip())
    try:
        return subprocess.run([probe]).returncode == 0
    except OSError:
        return False


def share_modules():
    """The amd64 kernel and the modules of the 9p share, in load order."""
    try:
        kernel, home = stage.debian_kernel("amd64")
    except stage.Skip as why:
        raise CannotRun(str(why))
    package = stage.kernel_package(stage.KERNEL_PACKAGES["amd64"])
    deb = stage.fetch(package)
    abi = package.split(":")[0][len("linux-image-"):]
    mods = os.path.join(CACHE, "ia32", os.path.basename(deb)[:-4], stage.digest(*MODULES))
    order = os.path.join(mods, "modules.order")
    if os.path.exists(order):
        return kernel, mods
    work = os.path.join(CACHE, "ia32", "unpacked")
    shutil.rmtree(work, ignore_errors=True)
    stage.extract(deb, work, ["./lib/modules/*"])
    stage.pick_modules(work, abi, mods, MODULES)
    shutil.rmtree(work)
    return kernel, mods


def guest_init():
    out = os.path.join(CACHE, "bin", "ia32-init")
    src = os.path.join(HERE, "ia32_init.c")
    if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(src):
        os.makedirs(os.path.dirname(out), exist_ok=True)
        stage.sh(["gcc", "-static", "-O2", "-Wall", "-Wextra", "-Werror", "-o", out, src])
    return out


def job_text(cwd, output, argv):
    lines = [cwd, output]
    lines += ["%s=%s" % kv for kv in sorted(os.environ.items())]
    lines.append("--")
    lines += argv
    if any("\n" in line for line in lines):
        raise CannotRun("a newline in the command, the folder or the environment")
    return "\n".join(lines) + "\n"


def run_in_guest(cwd, argv, limit, binfmt):
    if os.geteuid() != 0:
        raise CannotRun("this kernel runs no 32-bit programs, and a guest needs root")
    if shutil.which("qemu-system-x86_64") is None:
        install = subprocess.run([os.path.join(stage.TOP, "scripts", "install-kernel-deps")],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if install.returncode != 0 or shutil.which("qemu-system-x86_64") is None:
            raise CannotRun("this kernel runs no 32-bit programs, and qemu could not be "
                            "installed (%s)" % install.stderr.strip()[-200:])
    kernel, mods = share_modules()
    run_dir = os.path.join(CACHE, "run")
    os.makedirs(run_dir, exist_ok=True)
    output = os.path.join(run_dir, "ia32.out")
    console = os.path.join(run_dir, "ia32.console")
    report = os.path.join(run_dir, "ia32.report")
    for f in (output, console, report):
        open(f, "w").close()

    image = stage.Image("ia32")
    image.add("/init", guest_init())
    for ko in os.listdir(os.path.join(mods, "modules")):
        image.add("/kmod/" + ko, os.path.join(mods, "modules", ko))
    image.text("/modules", open(os.path.join(mods, "modules.order")).read())
    image.text("/job", job_text(cwd, output, argv))
    if binfmt:
        image.add("/binfmt", binfmt)
    initrd = image.write(os.path.join(CACHE, "images", "ia32.cpio"))

    cmd = ["qemu-system-x86_64", "-accel", "tcg,thread=multi", "-smp", "2", "-m", GUEST_MEMORY,
           "-nodefaults", "-no-reboot", "-display", "none", "-monitor", "none",
           "-kernel", kernel, "-initrd", initrd,
           "-append", "console=ttyS0 panic=-1 quiet ia32_emulation=on",
           "-serial", "file:" + console, "-serial", "file:" + report,
           "-virtfs", "local,path=/,mount_tag=hostroot,security_model=passthrough,"
                      "multidevs=remap,id=hostroot"]
    start = time.monotonic()
    qemu = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    shown = 0
    while True:
        try:
            qemu.wait(timeout=1)
            break
        except subprocess.TimeoutExpired:
            pass
        shown = relay(output, shown)
        if time.monotonic() - start > limit:
            qemu.kill()
            qemu.wait()
            relay(output, shown)
            print("ia32: the guest did not finish within %d s" % limit)
            print(tail(console))
            return 1
    shown = relay(output, shown)
    status = [l for l in open(report, errors="replace").read().splitlines()
              if l.startswith("@@status ")]
    if not status:
        print("ia32: the guest ended without a status (qemu: %s)" % qemu.stdout.read().strip())
        print(tail(console))
        return 1
    kind, value = status[-1].split()[1:3]
    return int(value) if kind == "exit" else 128 + int(value)


def relay(path, shown):
    """Prints what the job has written since `shown` bytes; the new count."""
    with open(path, "rb") as f:
        f.seek(shown)
        data = f.read()
    if data:
        sys.stdout.buffer.write(data)
        sys.stdout.flush()
    return shown + len(data)


def tail(path, lines=20):
    text = open(path, errors="replace").read().replace("\r", "")
    return "\n".join("   | " + l for l in text.splitlines()[-lines:])


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("top")
    ap.add_argument("--cwd", default=os.getcwd())
    ap.add_argument("--limit", type=int, default=3600, help="seconds the guest may run")
    ap.add_argument("--binfmt", help="binfmt_misc registrations to make in the guest")
    words = sys.argv[1:]
    if "--" not in words or words.index("--") == len(words) - 1:
        ap.error("give the command after --")
    split = words.index("--")
    args = ap.parse_args(words[:split])
    argv = words[split + 1:]
    if host_runs_ia32():
        return subprocess.run(argv, cwd=args.cwd).returncode
    print("ia32: this kernel runs no 32-bit programs; running in a 64-bit guest with "
          "IA-32 emulation: %s" % " ".join(argv), flush=True)
    return run_in_guest(os.path.abspath(args.cwd), argv, args.limit,
                        args.binfmt and os.path.abspath(args.binfmt))


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (CannotRun, stage.Skip) as why:
        if os.environ.get("CI"):
            print("ia32: cannot run, and CI needs it: %s" % why)
            sys.exit(1)
        print("ia32: skipped: %s" % why)
        sys.exit(0)
