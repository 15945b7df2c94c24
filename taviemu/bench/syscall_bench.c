/* The host side of syscall_bench.sh: the same calls as syscall_bench.asm,
 * made directly. "p": 100,000 getpid calls; "w": 100,000 one-byte writes
 * to /dev/null; "n": neither. */
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

enum { CALLS = 100000 };

int main(int argc, char **argv)
{
    int i, fd;
    char mode = argc > 1 ? argv[1][0] : 'n';
    if (mode == 'p') {
        for (i = 0; i < CALLS; i++)
            syscall(SYS_getpid); /* the call itself, whatever the library caches */
    } else if (mode == 'w') {
        fd = open("/dev/null", O_WRONLY);
        if (fd < 0)
            return 1;
        for (i = 0; i < CALLS; i++)
            if (write(fd, "x", 1) != 1)
                return 1;
    }
    return 0;
}
