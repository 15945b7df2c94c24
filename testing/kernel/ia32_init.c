/* The /init of the guest that runs 32-bit programs for a host whose kernel
 * runs none: a 64-bit kernel with its IA-32 emulation on, and the host's
 * own root file system shared into the guest over 9p.
 *
 * It mounts /proc, /sys and /dev, loads the modules listed in /modules (one
 * path a line, in dependency order), mounts the share "hostroot" at /host,
 * mounts fresh /proc, /sys, /dev, /dev/pts, /dev/shm, /tmp and /run inside
 * it, makes it the root, and runs the job that /job describes:
 *
 *   line 1      the folder to run in
 *   line 2      the file (a path on the host) that receives the job's
 *               standard output and standard error
 *   then        NAME=VALUE lines: the job's whole environment
 *   a line "--" and then one argument a line: the command
 *
 * Where the image holds /binfmt, its lines are registered with the guest's
 * binfmt_misc once the share is the root (module binfmt_misc), so that the
 * programs they name run by name.
 *
 * The job's exit status goes to the second serial port as "@@status exit N"
 * or "@@status signal N"; init's own failures go to the console. Then the
 * guest powers off. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

enum { MAX_LINES = 4096, LINE_SIZE = 65536 };

static FILE *report;

static void say(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    fputs("ia32-init: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
}

static void finish(const char *status) {
    if (report != NULL) {
        fprintf(report, "@@status %s\n@@end\n", status);
        fflush(report);
    }
    sync();
    reboot(RB_POWER_OFF);
    _exit(0);
}

static void load_modules(const char *list) {
    FILE *f = fopen(list, "r");
    char path[512];
    if (f == NULL)
        return;
    while (fgets(path, sizeof path, f) != NULL) {
        path[strcspn(path, "\n")] = 0;
        if (path[0] == 0)
            continue;
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0 || syscall(SYS_finit_module, fd, "", 0) != 0)
            if (errno != EEXIST)
                say("cannot load %s: %s", path, strerror(errno));
        if (fd >= 0)
            close(fd);
    }
    fclose(f);
}

static int mount_inside(void) {
    static const struct {
        const char *source, *target, *type, *options;
    } mounts[] = {
        {"proc", "/host/proc", "proc", NULL},
        {"sysfs", "/host/sys", "sysfs", NULL},
        {"devtmpfs", "/host/dev", "devtmpfs", NULL},
        {"devpts", "/host/dev/pts", "devpts", "mode=620,ptmxmode=666"},
        {"tmpfs", "/host/dev/shm", "tmpfs", "mode=1777"},
        {"tmpfs", "/host/tmp", "tmpfs", "mode=1777"},
        {"tmpfs", "/host/run", "tmpfs", "mode=755"},
    };
    for (size_t i = 0; i < sizeof mounts / sizeof mounts[0]; i++) {
        mkdir(mounts[i].target, 0755);
        if (mount(mounts[i].source, mounts[i].target, mounts[i].type, 0, mounts[i].options) != 0) {
            say("cannot mount %s: %s", mounts[i].target, strerror(errno));
            return -1;
        }
    }
    return 0;
}

/* The job's lines; the count, or -1. */
static int read_job(char **lines) {
    FILE *f = fopen("/job", "r");
    static char text[LINE_SIZE * 4];
    int n = 0;
    size_t used = 0;
    if (f == NULL)
        return -1;
    while (n < MAX_LINES && used < sizeof text &&
           fgets(text + used, (int)(sizeof text - used), f)) {
        lines[n++] = text + used;
        used += strlen(text + used) + 1;
        lines[n - 1][strcspn(lines[n - 1], "\n")] = 0;
    }
    fclose(f);
    return n;
}

/* Registers each line of `text` with the binfmt_misc mounted where the
 * root's /proc expects it. */
static int register_binfmt(const char *text) {
    const char *dir = "/proc/sys/fs/binfmt_misc";
    if (mount("binfmt_misc", dir, "binfmt_misc", 0, NULL) != 0) {
        say("cannot mount binfmt_misc: %s", strerror(errno));
        return -1;
    }
    char path[64];
    snprintf(path, sizeof path, "%s/register", dir);
    for (const char *line = text; *line != 0;) {
        size_t length = strcspn(line, "\n");
        int fd = open(path, O_WRONLY | O_CLOEXEC);
        if (length > 0 && line[0] != '#' &&
            (fd < 0 || write(fd, line, length) != (ssize_t)length)) {
            say("cannot register %.*s: %s", (int)length, line, strerror(errno));
            return -1;
        }
        if (fd >= 0)
            close(fd);
        line += length + (line[length] != 0);
    }
    return 0;
}

static void run_job(char **lines, int n) {
    static char *env[MAX_LINES + 1], *argv[MAX_LINES + 1];
    int e = 0, a = 0, i = 2;
    for (; i < n && strcmp(lines[i], "--") != 0; i++)
        env[e++] = lines[i];
    for (i++; i < n; i++)
        argv[a++] = lines[i];
    env[e] = argv[a] = NULL;
    if (a == 0) {
        say("the job names no command");
        finish("exit 127");
    }
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(lines[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0 || chdir(lines[0]) != 0) {
            say("cannot start the job: %s", strerror(errno));
            _exit(127);
        }
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        setsid();
        execvpe(argv[0], argv, env);
        dprintf(2, "ia32-init: cannot run %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
        ;
    char text[40];
    if (WIFEXITED(status))
        snprintf(text, sizeof text, "exit %d", WEXITSTATUS(status));
    else
        snprintf(text, sizeof text, "signal %d", WTERMSIG(status));
    finish(text);
}

int main(void) {
    static char *lines[MAX_LINES];
    mount("proc", "/proc", "proc", 0, NULL);
    mount("sysfs", "/sys", "sysfs", 0, NULL);
    mount("devtmpfs", "/dev", "devtmpfs", 0, NULL);
    report = fopen("/dev/ttyS1", "w");
    load_modules("/modules");
    static char binfmt[8192];
    int b = open("/binfmt", O_RDONLY | O_CLOEXEC);
    if (b >= 0) {
        ssize_t got = read(b, binfmt, sizeof binfmt - 1);
        binfmt[got > 0 ? got : 0] = 0;
        close(b);
    }
    int n = read_job(lines);
    if (n < 3) {
        say("no job");
        finish("exit 127");
    }
    mkdir("/host", 0755);
    if (mount("hostroot", "/host", "9p", 0,
              "trans=virtio,version=9p2000.L,msize=262144,cache=loose") != 0) {
        say("cannot mount the host's files: %s", strerror(errno));
        finish("exit 127");
    }
    /* The share becomes the root, as switch_root makes it, rather than a
     * chroot: the kernel refuses a chrooted process some things (a new
     * user namespace among them) that the tests need. */
    if (mount_inside() != 0 || chdir("/host") != 0 ||
        mount("/host", "/", NULL, MS_MOVE, NULL) != 0 || chroot(".") != 0 || chdir("/") != 0) {
        say("cannot enter the host's files: %s", strerror(errno));
        finish("exit 127");
    }
    if (binfmt[0] != 0 && register_binfmt(binfmt) != 0)
        finish("exit 127");
    run_job(lines, n);
    return 0;
}
