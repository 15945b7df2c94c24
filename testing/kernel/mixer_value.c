/* mixer-value [VALUE]: writes VALUE (when given) as the master volume of
 * /dev/mixer, then prints the 32-bit value the mixer reports, in hex: the
 * left level in byte 0, the right level in byte 1. The kernel stage's
 * check of what Sonarel's volume command stores. */
#include <fcntl.h>
#include <linux/soundcard.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv) {
    int fd = open("/dev/mixer", O_RDWR);
    if (fd < 0) {
        perror("/dev/mixer");
        return 1;
    }
    int value;
    if (argc > 1) {
        value = (int)strtol(argv[1], NULL, 0);
        if (ioctl(fd, SOUND_MIXER_WRITE_VOLUME, &value) != 0) {
            perror("SOUND_MIXER_WRITE_VOLUME");
            return 1;
        }
    }
    if (ioctl(fd, SOUND_MIXER_READ_VOLUME, &value) != 0) {
        perror("SOUND_MIXER_READ_VOLUME");
        return 1;
    }
    printf("0x%08x\n", (unsigned)value);
    return 0;
}
