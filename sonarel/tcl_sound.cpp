// The package's init function and the volume command: reads and sets the
// master volume of the sound card's mixer through /dev/mixer.
#include "sonarel.h"

#include "device_file.h"
#include "result_text.h"
#include "volume_level.h"

#include <cstdint>
#include <fcntl.h>
#include <linux/soundcard.h>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace sonarel {

namespace {

constexpr const char *mixer_path = "/dev/mixer";

// The mixer, opened by the newest Sonarel_Init of the process and shared by
// every interpreter that loaded the package; -1 when that open failed.
int mixer_fd = -1;

int print_usage(const char *name, Tcl_Interp *interp) {
    set_result(interp, "Usage: %s [-r volume] [-l volume] master_volume", name);
    return TCL_ERROR;
}

// The level a volume word names, or false with the bad-setting message when
// it names none. Only the word "0" (or "0%") may give level 0.
bool read_level(Tcl_Interp *interp, const char *word, std::uint8_t &level) {
    const std::string_view number = without_percent(word);
    level = getvolume(word);
    if (level == 0 && number != "0") {
        set_result(interp, "Bad volume setting: %.*s", static_cast<int>(number.size()),
                   number.data());
        return false;
    }
    return true;
}

int report_volume(Tcl_Interp *interp, std::uint32_t value) {
    set_result(interp, "%d", level_percent(static_cast<std::uint8_t>(value >> 8)));
    return TCL_OK;
}

// Applies the options and then the master value among the words to value,
// in the order the command takes them; a bad word sets the result and leaves
// the rest unapplied.
int apply_words(Tcl_Interp *interp, int argc, const char *argv[], std::uint32_t &value) {
    // optind 0 makes the C library start a fresh scan, forgetting also the
    // place inside a word of clustered options where an earlier call stopped.
    optind = 0;
    int option;
    while ((option = getopt(argc, const_cast<char *const *>(argv), "hr:l:")) != -1) {
        unsigned mask;
        if (option == 'r')
            mask = right_channel;
        else if (option == 'l')
            mask = left_channel;
        else
            return print_usage(argv[0], interp);
        std::uint8_t level;
        if (!read_level(interp, optarg, level))
            return TCL_ERROR;
        setvolume(mask, level, value);
    }
    if (argc - optind > 1)
        return print_usage(argv[0], interp);
    if (argc - optind == 1) {
        std::uint8_t level;
        if (!read_level(interp, argv[optind], level))
            return TCL_ERROR;
        setvolume(both_channels, level, value);
    }
    return TCL_OK;
}

} // namespace

} // namespace sonarel

using namespace sonarel;

int VolumeCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[]) {
    int mixer_value = 0;
    if (ioctl(mixer_fd, SOUND_MIXER_READ_VOLUME, &mixer_value) == -1) {
        set_result(interp, "Can't obtain current volume settings");
        return TCL_ERROR;
    }
    auto value = static_cast<std::uint32_t>(mixer_value);
    if (argc < 2)
        return report_volume(interp, value);

    if (apply_words(interp, argc, argv, value) != TCL_OK)
        return TCL_ERROR;

    mixer_value = static_cast<int>(value);
    if (ioctl(mixer_fd, SOUND_MIXER_WRITE_VOLUME, &mixer_value) == -1) {
        set_result(interp, "Can't set current volume settings");
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int Sonarel_Init(Tcl_Interp *interp) {
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr)
        return TCL_ERROR;
    if (Tcl_PkgProvide(interp, "Sonarel", SONAREL_VERSION) != TCL_OK)
        return TCL_ERROR;
    Tcl_CreateCommand(interp, "volume", VolumeCmd, nullptr, nullptr);
    Tcl_CreateCommand(interp, "cdrom", CDROM_Cmd, nullptr, nullptr);
    // The descriptor of an earlier init is closed first, so loading the
    // package into many interpreters holds one descriptor only.
    return reopen_device(interp, mixer_fd, mixer_path, O_RDWR);
}
