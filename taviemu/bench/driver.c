/* The host side of driver_bench.sh, the same driver as driver.asm:
 * "driver PROGRAM ARG..." runs PROGRAM with the arguments that follow 200
 * times in turn, each in a forked child that execs it, and waits for each.
 * Exits with 0 when every run exited with 0, else with 1. */
#include <sys/wait.h>
#include <unistd.h>

enum { RUNS = 200 };

int main(int argc, char **argv)
{
    int i, status;
    pid_t pid;
    if (argc < 2)
        return 1;
    for (i = 0; i < RUNS; i++) {
        pid = fork();
        if (pid < 0)
            return 1;
        if (pid == 0) {
            execv(argv[1], argv + 1);
            _exit(127);
        }
        if (waitpid(pid, &status, 0) != pid || status != 0)
            return 1;
    }
    return 0;
}
