// The cdrom command: plays, resumes, pauses, stops and ejects an audio CD
// through the Linux CD-ROM driver. The drive keeps the play state; the
// command keeps only the open device and its name.
#include "sonarel.h"

#include "decimal_byte.h"
#include "device_file.h"
#include "result_text.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <string_view>
#include <sys/ioctl.h>

namespace sonarel {

namespace {

constexpr const char *default_device = "/dev/cdrom";

// The open drive, -1 before the first successful "init" and after a failed one.
int cdrom_fd = -1;
// The device named by the last "init": default_device or device_copy; null
// before the first "init" and after one that could not copy its path.
const char *cdrom_dev = nullptr;
char *device_copy = nullptr;

// Sends one request to the drive. On failure the result names the
// sub-command word, the request and the system's text for the error.
int send_request(Tcl_Interp *interp, const char *word, int fd, unsigned long request,
                 const char *request_name, void *record = nullptr) {
    if (ioctl(fd, request, record) == -1) {
        const int error = errno;
        set_result(interp, "%s: ioctl %s: %s", word, request_name, std::strerror(error));
        return TCL_ERROR;
    }
    return TCL_OK;
}

// words[0] is "play"; a second and third word give the first and last track.
int do_play(Tcl_Interp *interp, int count, const char **words, int fd) {
    cdrom_subchnl subchannel{};
    subchannel.cdsc_format = CDROM_MSF;
    if (count == 1) {
        if (send_request(interp, words[0], fd, CDROMSUBCHNL, "cdromsubchnl", &subchannel) != TCL_OK)
            return TCL_ERROR;
        if (subchannel.cdsc_audiostatus == CDROM_AUDIO_PAUSED)
            return send_request(interp, words[0], fd, CDROMRESUME, "cdromresume");
    }
    cdrom_tochdr contents{};
    if (send_request(interp, words[0], fd, CDROMREADTOCHDR, "cdromreadtochdr", &contents) != TCL_OK)
        return TCL_ERROR;
    // The driver refuses tracks the disc does not have; they are not checked here.
    cdrom_ti tracks{};
    tracks.cdti_trk0 = contents.cdth_trk0;
    tracks.cdti_ind0 = 1;
    tracks.cdti_trk1 = contents.cdth_trk1;
    tracks.cdti_ind1 = 1;
    if (count >= 2)
        tracks.cdti_trk0 = decimal_low_byte(words[1]);
    if (count >= 3)
        tracks.cdti_trk1 = decimal_low_byte(words[2]);
    return send_request(interp, words[0], fd, CDROMPLAYTRKIND, "cdromplaytrkind", &tracks);
}

int do_pause(Tcl_Interp *interp, int, const char **words, int fd) {
    return send_request(interp, words[0], fd, CDROMPAUSE, "cdrompause");
}

int do_stop(Tcl_Interp *interp, int, const char **words, int fd) {
    return send_request(interp, words[0], fd, CDROMSTOP, "cdromstop");
}

int do_eject(Tcl_Interp *interp, int, const char **words, int fd) {
    return send_request(interp, words[0], fd, CDROMEJECT, "cdromeject");
}

using subcommand_proc = int(Tcl_Interp *interp, int count, const char **words, int fd);

struct subcommand {
    std::string_view word;
    subcommand_proc *proc;
};

// Searched in this order; the words are compared exactly, case included.
constexpr std::array<subcommand, 4> subcommands{{
    {"play", do_play},
    {"stop", do_stop},
    {"pause", do_pause},
    {"eject", do_eject},
}};

// Records the device path for "init": the given one copied, or the default.
bool name_device(const char *path) {
    std::free(device_copy);
    device_copy = nullptr;
    cdrom_dev = nullptr;
    if (path == nullptr) {
        cdrom_dev = default_device;
        return true;
    }
    device_copy = strdup(path);
    cdrom_dev = device_copy;
    return device_copy != nullptr;
}

// "init" with an optional path: closes the open drive and opens the named one.
// Without O_NONBLOCK the driver refuses to open a drive that holds no disc
// ("No medium found"), and such a drive could then never be ejected to take
// one; with it, the open is for control requests, and a request that needs a
// disc fails on its own.
int init_device(Tcl_Interp *interp, int argc, const char *argv[]) {
    if (!name_device(argc > 2 ? argv[2] : nullptr)) {
        set_result(interp, "Out of memory");
        return TCL_ERROR;
    }
    return reopen_device(interp, cdrom_fd, cdrom_dev, O_RDONLY | O_NONBLOCK);
}

} // namespace

} // namespace sonarel

using namespace sonarel;

int CDROM_Cmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "init") == 0)
        return init_device(interp, argc, argv);
    if (cdrom_fd < 0) {
        set_result(interp, "CD-ROM not initialized with '%s init' command", argv[0]);
        return TCL_ERROR;
    }
    if (argc < 2) {
        set_result(interp, "%s", cdrom_dev != nullptr ? cdrom_dev : "");
        return TCL_OK;
    }
    for (const subcommand &entry : subcommands) {
        if (entry.word == argv[1])
            return entry.proc(interp, argc - 1, argv + 1, cdrom_fd);
    }
    set_result(interp, "Usage: %s [ init | pause | stop | eject | play N ]", argv[0]);
    return TCL_ERROR;
}
