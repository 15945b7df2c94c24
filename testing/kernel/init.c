/* The init of the kernel test stage's guests, and its stand-in on the host.
 *
 * As /init of an initramfs it mounts /proc, /sys, /dev and /dev/pts, loads
 * the modules listed in /modules (one path a line, in dependency order),
 * registers the binfmt_misc lines of /binfmt (one registration a line),
 * runs the steps listed in /steps, writes what each step wrote and how it
 * ended to the second serial port (kernel messages stay on the first), and
 * restarts the machine, which the stage's qemu takes as its end.
 *
 *   init --host STEPS REPORT   runs the same steps on the host and writes
 *                              the same report into the file REPORT.
 *
 * A step is one line of tab-separated fields:
 *   name limit uid dir input env until trace program [argument...]
 * limit   seconds the step may take; then its process group is killed
 * uid     the user it runs as, and as UID:GID its group, else the group of
 *         the user's number; 0 keeps root
 * dir     its working directory, made (owned by that user) when missing,
 *         with its missing parents (owned by root)
 * input   the file on its standard input, or @pty:ANSWERS: a
 *         pseudo-terminal of 33 rows and 101 columns is its controlling
 *         terminal and its standard input, output and error, and what the
 *         program writes there is answered as a user at that terminal
 *         would, as the file ANSWERS says (see load_answers)
 * env     its whole environment, NAME=VALUE words separated by the byte
 *         0x1F (so that a value may hold blanks), or -
 * until   - or PATH=TEXT[|TEXT...]: a step that does not end by itself (a
 *         daemon) is ended as soon as the file PATH holds every TEXT
 * trace   vm86: report what the program's first vm86old call returned, or -
 * program an absolute path, @cat PATH to report a file's contents, or
 *         @symlink TARGET NAME to leave the symbolic link NAME, leading to
 *         TARGET, in dir for a later step (both owned by the step's user)
 *
 * The report, per step, with exact byte counts so that any output survives:
 *   @@step NAME\n @@out N\n <N bytes> @@err N\n <N bytes>
 *   [@@vm86 RESULT | none\n] @@status exit N | signal N | timeout | stopped\n
 * and @@end\n once every step has run.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum { max_fields = 256, max_line = 16384, poll_ms = 20 };

/* The pseudo-terminal of an @pty step: its size, and how long a typed key
 * may go unread before a newline follows it (a program that wanted a whole
 * line must not be left waiting). */
enum { pty_rows = 33, pty_cols = 101, pty_nudge_ms = 3000, max_pty_output = 65536 };
enum { max_answers = 16, max_pairs = 4, max_text = 64 };

/* What the user at an @pty step's terminal types once the program has
 * written a prompt, after a pause: a text, or a report of which texts the
 * terminal echoed after their markers, "echo:yes,no,...\n". */
struct answer {
    char prompt[max_text], text[max_text];
    int delay_ms, pairs;
    char marker[max_pairs][max_text], echoed[max_pairs][max_text];
};
static struct answer pty_answers[max_answers];
static int pty_answer_count;
/* Control characters the terminal starts with: c_cc index and value. */
static int pty_controls[NCCS][2], pty_control_count;

static int report_fd = -1;
static char out_path[256], err_path[256];

static void put(const void *data, size_t size) {
    const char *p = data;
    while (size > 0) {
        ssize_t n = write(report_fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        size -= (size_t)n;
    }
}

static void putf(const char *format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0)
        put(line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
}

/* Reports a file as one block: its byte count, then its bytes. The whole
 * file is read first, since files of /proc give no size. */
static void put_file(const char *tag, const char *path) {
    static char *data;
    static size_t room;
    size_t size = 0;
    int fd = open(path, O_RDONLY);
    while (fd >= 0) {
        if (size == room) {
            char *more = realloc(data, room * 2 + 65536);
            if (more == NULL)
                break;
            data = more;
            room = room * 2 + 65536;
        }
        ssize_t n = read(fd, data + size, room - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        size += (size_t)n;
    }
    if (fd >= 0)
        close(fd);
    putf("@@%s %zu\n", tag, size);
    put(data, size);
}

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Whether the file at path holds every one of the |-separated texts. */
static int file_holds(const char *path, const char *texts) {
    static char buffer[1 << 20];
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    ssize_t n = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (n <= 0)
        return 0;
    buffer[n] = 0;
    for (const char *text = texts;; ++text) {
        const char *end = strchr(text, '|');
        size_t length = end != NULL ? (size_t)(end - text) : strlen(text);
        if (memmem(buffer, (size_t)n, text, length) == NULL)
            return 0;
        if (end == NULL)
            return 1;
        text = end;
    }
}

/* Splits line at tabs into fields; the count. */
static int split(char *line, char **fields, char separator) {
    int count = 0;
    char *p = line;
    while (count < max_fields - 1) {
        fields[count++] = p;
        char *end = strchr(p, separator);
        if (end == NULL)
            break;
        *end = 0;
        p = end + 1;
    }
    fields[count] = NULL;
    return count;
}

struct step {
    const char *name;
    int limit;
    uid_t uid;
    gid_t gid;
    const char *dir, *input, *env, *until;
    int trace;
    char **argv;
    const char *pty; /* the terminal's device for an @pty step, or NULL */
};

/* Makes the step's folder when it is missing, and its missing parents; the
 * folder is the step's user's. 0, or -1. */
static int make_folder(const struct step *s) {
    char path[512];
    snprintf(path, sizeof path, "%s", s->dir);
    for (char *slash = strchr(path + 1, '/'); slash != NULL; slash = strchr(slash + 1, '/')) {
        *slash = 0;
        mkdir(path, 0755);
        *slash = '/';
    }
    if (mkdir(path, 0755) == 0 && chown(path, s->uid, s->gid) != 0)
        return -1;
    return 0;
}

/* Standard input, output and error of the child: the files of the step,
 * or its terminal, which becomes the controlling terminal of a new
 * session. */
static int connect_descriptors(const struct step *s) {
    if (s->pty != NULL) {
        setsid();
        int tty = open(s->pty, O_RDWR);
        if (tty < 0 || ioctl(tty, TIOCSCTTY, 0) != 0)
            return -1;
        return dup2(tty, 0) < 0 || dup2(tty, 1) < 0 || dup2(tty, 2) < 0 ? -1 : 0;
    }
    setpgid(0, 0);
    int in = open(s->input, O_RDONLY);
    int out = open(out_path, O_WRONLY | O_TRUNC);
    int err = open(err_path, O_WRONLY | O_TRUNC);
    if (in < 0 || out < 0 || err < 0)
        return -1;
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    return 0;
}

/* The child's side: its identity, directory, descriptors and program. */
static void start_program(const struct step *s, char **envp) {
    /* Nothing of init's own (the report, the step list, the files just
     * opened) stays open in the program: it starts with 0, 1 and 2 alone,
     * as under a shell. */
    if (connect_descriptors(s) != 0 || close_range(3, ~0U, 0) != 0)
        _exit(126);
    if (make_folder(s) != 0)
        _exit(126);
    if (s->uid != 0 && (setgroups(0, NULL) != 0 || setgid(s->gid) != 0 || setuid(s->uid) != 0)) {
        perror("init: identity");
        _exit(126);
    }
    if (chdir(s->dir) != 0) {
        perror(s->dir);
        _exit(126);
    }
    if (s->trace) {
        ptrace(PTRACE_TRACEME, 0, NULL, NULL);
        raise(SIGSTOP);
    }
    execve(s->argv[0], s->argv, envp);
    perror(s->argv[0]);
    _exit(127);
}

/* Follows the traced child's system calls up to the end of its first
 * vm86old call (number 113 on i386) and lets it go on untraced; what that
 * call returned (as -errno for an error), or none_seen when the program
 * ended before making one (its wait status then in *ended). */
static const long none_seen = 1L << 30;

static long first_vm86_result(pid_t pid, int *ended) {
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) {
        *ended = status;
        return none_seen;
    }
    ptrace(PTRACE_SETOPTIONS, pid, NULL, (void *)PTRACE_O_TRACESYSGOOD);
    int entering = 1;
    for (;;) {
        if (ptrace(PTRACE_SYSCALL, pid, NULL, NULL) != 0 || waitpid(pid, &status, 0) != pid)
            return none_seen;
        if (!WIFSTOPPED(status)) {
            *ended = status;
            return none_seen;
        }
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            entering = 1;
            continue;
        }
        struct user_regs_struct regs;
        ptrace(PTRACE_GETREGS, pid, NULL, &regs);
#if defined(__i386__)
        long number = regs.orig_eax, result = regs.eax;
#else
        long number = (long)regs.orig_rax, result = (long)regs.rax;
#endif
        if (!entering && number == 113) {
            ptrace(PTRACE_DETACH, pid, NULL, NULL);
            return result;
        }
        entering = !entering;
    }
}

/* Waits for the step's program until the deadline; the status line. */
static void finish(const struct step *s, pid_t pid, int ended, double deadline, char *status_line,
                   size_t size) {
    char until_path[512] = "";
    const char *until_text = NULL;
    if (strcmp(s->until, "-") != 0) {
        snprintf(until_path, sizeof until_path, "%s", s->until);
        char *eq = strchr(until_path, '=');
        if (eq != NULL) {
            *eq = 0;
            until_text = eq + 1;
        }
    }
    for (;;) {
        int status = ended;
        if (ended >= 0 || waitpid(pid, &status, WNOHANG) == pid) {
            if (WIFEXITED(status))
                snprintf(status_line, size, "exit %d", WEXITSTATUS(status));
            else
                snprintf(status_line, size, "signal %d", WTERMSIG(status));
            kill(-pid, SIGKILL);
            return;
        }
        int stop = now() > deadline;
        if (!stop && until_text != NULL && file_holds(until_path, until_text))
            stop = 2;
        if (stop) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            snprintf(status_line, size, "%s", stop == 2 ? "stopped" : "timeout");
            return;
        }
        struct timespec pause = {0, poll_ms * 1000000L};
        nanosleep(&pause, NULL);
    }
}

/* Copies text into a field of max_text bytes, the escapes \n, \t, \\ and
 * \xHH made the bytes they stand for. */
static void unescape(char *into, const char *text) {
    size_t n = 0;
    for (const char *p = text; *p != 0 && n < max_text - 1; ++p) {
        if (*p != '\\' || p[1] == 0) {
            into[n++] = *p;
            continue;
        }
        ++p;
        if (*p == 'x' && p[1] != 0 && p[2] != 0) {
            char hex[3] = {p[1], p[2], 0};
            into[n++] = (char)strtol(hex, NULL, 16);
            p += 2;
        } else {
            into[n++] = *p == 'n' ? '\n' : *p == 't' ? '\t' : *p;
        }
    }
    into[n] = 0;
}

/* Reads an @pty step's answers, one a line of tab-separated fields:
 *   answer DELAY_MS PROMPT TEXT
 *   report DELAY_MS PROMPT MARKER TEXT [MARKER TEXT...]
 *   control INDEX VALUE   (a control character of the terminal)
 * with the texts escaped as unescape takes them. */
static void load_answers(const char *path) {
    pty_answer_count = pty_control_count = 0;
    FILE *list = fopen(path, "r");
    if (list == NULL)
        return;
    char line[1024];
    while (fgets(line, sizeof line, list) != NULL) {
        line[strcspn(line, "\n")] = 0;
        char *f[max_fields];
        int count = split(line, f, '\t');
        if (count == 3 && strcmp(f[0], "control") == 0 && pty_control_count < NCCS) {
            pty_controls[pty_control_count][0] = atoi(f[1]);
            pty_controls[pty_control_count++][1] = atoi(f[2]);
            continue;
        }
        if (count < 4 || pty_answer_count == max_answers)
            continue;
        struct answer *a = &pty_answers[pty_answer_count++];
        memset(a, 0, sizeof *a);
        a->delay_ms = atoi(f[1]);
        unescape(a->prompt, f[2]);
        if (strcmp(f[0], "report") != 0) {
            unescape(a->text, f[3]);
            continue;
        }
        for (int i = 3; i + 1 < count && a->pairs < max_pairs; i += 2, ++a->pairs) {
            unescape(a->marker[a->pairs], f[i]);
            unescape(a->echoed[a->pairs], f[i + 1]);
        }
    }
    fclose(list);
}

/* A new pseudo-terminal of the size of the answers' user, with their
 * control characters, its device given to the user; the master's
 * descriptor, and the device's name in name. */
static int open_pty(uid_t uid, gid_t gid, char *name, size_t size) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, size) != 0 || chown(name, uid, gid) != 0) {
        if (master >= 0)
            close(master);
        return -1;
    }
    struct winsize size_of_screen = {.ws_row = pty_rows, .ws_col = pty_cols};
    ioctl(master, TIOCSWINSZ, &size_of_screen);
    struct termios settings;
    if (pty_control_count > 0 && tcgetattr(master, &settings) == 0) {
        for (int i = 0; i < pty_control_count; ++i)
            if (pty_controls[i][0] >= 0 && pty_controls[i][0] < NCCS)
                settings.c_cc[pty_controls[i][0]] = (cc_t)pty_controls[i][1];
        tcsetattr(master, TCSANOW, &settings);
    }
    return master;
}

static void sleep_ms(long ms) {
    struct timespec pause = {ms / 1000, ms % 1000 * 1000000L};
    nanosleep(&pause, NULL);
}

/* Whether text came after marker in what the terminal showed, its CRs
 * left out. */
static int echoed_after(const char *seen, size_t size, const char *marker, const char *text) {
    static char plain[max_pty_output];
    size_t n = 0;
    for (size_t i = 0; i < size; ++i)
        if (seen[i] != '\r')
            plain[n++] = seen[i];
    const char *at = memmem(plain, n, marker, strlen(marker));
    if (at == NULL)
        return 0;
    at += strlen(marker);
    return memmem(at, n - (size_t)(at - plain), text, strlen(text)) != NULL;
}

/* What the user types for answer a, with the terminal's output so far. */
static void compose(const struct answer *a, const char *seen, size_t size, char *into,
                    size_t room) {
    if (a->pairs == 0) {
        snprintf(into, room, "%s", a->text);
        return;
    }
    size_t n = (size_t)snprintf(into, room, "echo:");
    for (int i = 0; i < a->pairs && n < room; ++i)
        n += (size_t)snprintf(into + n, room - n, "%s%s", i > 0 ? "," : "",
                              echoed_after(seen, size, a->marker[i], a->echoed[i]) ? "yes" : "no");
    if (n < room)
        snprintf(into + n, room - n, "\n");
}

/* Types the answer to each prompt that the terminal's output seen so far
 * holds, once; whether anything was typed. */
static int type_answers(int master, const char *seen, size_t size, int *answered) {
    int typed = 0;
    for (int i = 0; i < pty_answer_count; ++i) {
        const char *prompt = pty_answers[i].prompt;
        if (answered[i] || memmem(seen, size, prompt, strlen(prompt)) == NULL)
            continue;
        sleep_ms(pty_answers[i].delay_ms); /* the program reads after its prompt */
        answered[i] = 1;
        typed = 1;
        char text[max_text * (max_pairs + 1)];
        compose(&pty_answers[i], seen, size, text, sizeof text);
        if (write(master, text, strlen(text)) < 0)
            return typed;
    }
    return typed;
}

/* Copies what the program writes on its terminal into the step's output
 * file and answers its prompts, until the program has ended and its
 * output is read, or the deadline; the program's wait status in *ended
 * once it has ended. */
static void pump_pty(int master, pid_t pid, double deadline, int *ended) {
    static char seen[max_pty_output];
    size_t size = 0;
    int answered[max_answers] = {0};
    int typed = 0, nudged = 0;
    double last_output = now();
    int out = open(out_path, O_WRONLY | O_TRUNC);
    while (now() < deadline) {
        struct pollfd ready = {.fd = master, .events = POLLIN};
        if (poll(&ready, 1, 200) > 0) {
            char chunk[4096];
            ssize_t n = read(master, chunk, sizeof chunk);
            if (n <= 0)
                break; /* every descriptor of the terminal is closed */
            if (out >= 0 && write(out, chunk, (size_t)n) != n)
                break;
            size_t room = sizeof seen - size, kept = (size_t)n < room ? (size_t)n : room;
            memcpy(seen + size, chunk, kept);
            size += kept;
            last_output = now();
            if (type_answers(master, seen, size, answered))
                typed = 1, nudged = 0;
            continue;
        }
        int status;
        if (*ended < 0 && waitpid(pid, &status, WNOHANG) == pid)
            *ended = status;
        else if (*ended >= 0)
            break; /* ended, and nothing more to read */
        else if (typed && !nudged && now() - last_output > pty_nudge_ms / 1000.0)
            nudged = write(master, "\n", 1) == 1;
    }
    if (out >= 0)
        close(out);
}

/* An @symlink step: the link NAME to TARGET in the step's folder, which is
 * made when missing; both owned by the step's user. */
static void leave_link(const struct step *s) {
    char path[512];
    int failed = s->argv[1] == NULL || s->argv[2] == NULL;
    if (!failed) {
        failed = make_folder(s) != 0;
        snprintf(path, sizeof path, "%s/%s", s->dir, s->argv[2]);
        failed = failed || symlink(s->argv[1], path) != 0 ||
                 lchown(path, s->uid, s->gid) != 0;
    }
    putf("@@out 0\n@@err 0\n@@status exit %d\n", failed);
}

static void run_step(const struct step *s) {
    putf("@@step %s\n", s->name);
    if (strcmp(s->argv[0], "@cat") == 0) {
        put_file("out", s->argv[1] != NULL ? s->argv[1] : "");
        putf("@@err 0\n@@status exit 0\n");
        return;
    }
    if (strcmp(s->argv[0], "@symlink") == 0) {
        leave_link(s);
        return;
    }
    char env_copy[max_line];
    snprintf(env_copy, sizeof env_copy, "%s", s->env);
    char *envp[max_fields] = {NULL};
    if (strcmp(env_copy, "-") != 0)
        split(env_copy, envp, '\x1f');
    close(open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0666));
    close(open(err_path, O_WRONLY | O_CREAT | O_TRUNC, 0666));
    chmod(out_path, 0666);
    chmod(err_path, 0666);

    char status_line[64] = "timeout";
    long vm86 = none_seen;
    double deadline = now() + s->limit;
    struct step with_pty = *s;
    char pty_name[64];
    int master = -1, on_pty = strncmp(s->input, "@pty:", 5) == 0;
    if (on_pty) {
        load_answers(s->input + 5);
        master = open_pty(s->uid, s->gid, pty_name, sizeof pty_name);
        with_pty.pty = pty_name;
    }
    pid_t pid = on_pty && master < 0 ? -1 : fork();
    if (pid == 0)
        start_program(&with_pty, envp);
    if (pid > 0) {
        int ended = -1; /* a wait status, once the program has ended */
        if (s->trace)
            vm86 = first_vm86_result(pid, &ended);
        if (master >= 0)
            pump_pty(master, pid, deadline, &ended);
        finish(s, pid, ended, deadline, status_line, sizeof status_line);
    } else {
        snprintf(status_line, sizeof status_line, "exit 126");
    }
    if (master >= 0)
        close(master);
    put_file("out", out_path);
    put_file("err", err_path);
    if (s->trace && vm86 == none_seen)
        putf("@@vm86 none\n");
    else if (s->trace)
        putf("@@vm86 %ld\n", vm86);
    putf("@@status %s\n", status_line);
}

static void run_steps(const char *path) {
    FILE *steps = fopen(path, "r");
    if (steps == NULL) {
        putf("@@step steps\n@@out 0\n@@err 0\n@@status exit 1\n");
        return;
    }
    static char line[max_line];
    while (fgets(line, sizeof line, steps) != NULL) {
        line[strcspn(line, "\n")] = 0;
        char *f[max_fields];
        if (line[0] == 0 || line[0] == '#' || split(line, f, '\t') < 9)
            continue;
        const char *group = strchr(f[2], ':');
        uid_t uid = (uid_t)atoi(f[2]);
        struct step s = {f[0],
                         atoi(f[1]),
                         uid,
                         group != NULL ? (gid_t)atoi(group + 1) : (gid_t)uid,
                         f[3],
                         f[4],
                         f[5],
                         f[6],
                         strcmp(f[7], "vm86") == 0,
                         f + 8,
                         NULL};
        run_step(&s);
    }
    fclose(steps);
}

/* Loads each module of the list with finit_module, in the list's order. */
static void load_modules(const char *list) {
    FILE *modules = fopen(list, "r");
    if (modules == NULL)
        return;
    putf("@@step modules\n");
    char failures[4096] = "";
    char line[512];
    while (fgets(line, sizeof line, modules) != NULL) {
        line[strcspn(line, "\n")] = 0;
        if (line[0] == 0)
            continue;
        int fd = open(line, O_RDONLY | O_CLOEXEC);
        if (fd < 0 || (syscall(SYS_finit_module, fd, "", 0) != 0 && errno != EEXIST)) {
            size_t used = strlen(failures);
            snprintf(failures + used, sizeof failures - used, "%s: %s\n", line, strerror(errno));
        }
        if (fd >= 0)
            close(fd);
    }
    fclose(modules);
    putf("@@out 0\n@@err %zu\n", strlen(failures));
    put(failures, strlen(failures));
    putf("@@status exit %d\n", failures[0] != 0);
}

/* Mounts binfmt_misc and registers each line of the list there; reported
 * as the step "binfmt", with the lines refused on its error output. */
static void register_binfmt(const char *list) {
    FILE *lines = fopen(list, "r");
    if (lines == NULL)
        return;
    putf("@@step binfmt\n");
    char failures[4096] = "";
    const char *dir = "/proc/sys/fs/binfmt_misc";
    if (mount("binfmt_misc", dir, "binfmt_misc", 0, NULL) != 0)
        snprintf(failures, sizeof failures, "mount %s: %s\n", dir, strerror(errno));
    char line[512];
    while (failures[0] == 0 && fgets(line, sizeof line, lines) != NULL) {
        line[strcspn(line, "\n")] = 0;
        if (line[0] == 0)
            continue;
        int fd = open("/proc/sys/fs/binfmt_misc/register", O_WRONLY);
        if (fd < 0 || write(fd, line, strlen(line)) != (ssize_t)strlen(line))
            snprintf(failures, sizeof failures, "%s: %s\n", line, strerror(errno));
        if (fd >= 0)
            close(fd);
    }
    fclose(lines);
    putf("@@out 0\n@@err %zu\n", strlen(failures));
    put(failures, strlen(failures));
    putf("@@status exit %d\n", failures[0] != 0);
}

static void mount_all(void) {
    mkdir("/proc", 0555);
    mkdir("/sys", 0555);
    mkdir("/dev", 0755);
    mkdir("/tmp", 01777);
    mkdir("/run", 0700);
    chmod("/tmp", 01777);
    mount("proc", "/proc", "proc", 0, NULL);
    mount("sysfs", "/sys", "sysfs", 0, NULL);
    mount("devtmpfs", "/dev", "devtmpfs", 0, NULL);
    mkdir("/dev/pts", 0755);
    mount("devpts", "/dev/pts", "devpts", 0, "mode=620,ptmxmode=666");
}

/* The report port: raw, so that every byte arrives as written. */
static int open_port(const char *path) {
    int fd = open(path, O_WRONLY | O_NOCTTY);
    struct termios t;
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetospeed(&t, B115200);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

int main(int argc, char **argv) {
    if (argc == 4 && strcmp(argv[1], "--host") == 0) {
        char dir[] = "/tmp/kernel-steps-XXXXXX";
        if (mkdtemp(dir) == NULL || chmod(dir, 0755) != 0)
            return 1;
        snprintf(out_path, sizeof out_path, "%s/out", dir);
        snprintf(err_path, sizeof err_path, "%s/err", dir);
        report_fd = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (report_fd < 0)
            return 1;
        run_steps(argv[2]);
        putf("@@end\n");
        unlink(out_path);
        unlink(err_path);
        rmdir(dir);
        return 0;
    }
    if (getpid() != 1) {
        fputs("usage: init --host STEPS REPORT (or /init of a test machine)\n", stderr);
        return 2;
    }
    mount_all();
    snprintf(out_path, sizeof out_path, "/run/out");
    snprintf(err_path, sizeof err_path, "/run/err");
    report_fd = open_port("/dev/ttyS1");
    load_modules("/modules");
    register_binfmt("/binfmt");
    run_steps("/steps");
    putf("@@end\n");
    tcdrain(report_fd);
    sync();
    reboot(RB_AUTOBOOT);
    return 0;
}
