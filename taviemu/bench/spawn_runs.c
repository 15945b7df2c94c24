/* What startup_bench.sh times: "spawn_runs N PROGRAM ARG..." starts
 * PROGRAM with the arguments that follow N times in turn and waits for
 * each, the way a shell or make starts a command. Exits with 0 when every
 * run exited with 0, else with 1 at the first that did not. */
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

extern char **environ;

int main(int argc, char **argv)
{
    long i, runs;
    int status;
    pid_t pid;
    if (argc < 3)
        return 1;
    runs = strtol(argv[1], NULL, 10);
    for (i = 0; i < runs; i++)
        if (posix_spawn(&pid, argv[2], NULL, NULL, argv + 2, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || status != 0)
            return 1;
    return 0;
}
