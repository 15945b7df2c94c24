// A stand-in for the OSS mixer and the Linux CD-ROM driver, preloaded into
// tclsh by the tests. It intercepts open, close and ioctl for the simulated
// device paths and answers as the drivers do; every other path and
// descriptor goes to the real system. Set up through the environment:
//
//   DEVSIM_MIXER   the mixer's 32-bit value at each open of /dev/mixer
//                  (e.g. 0x00003232); unset, /dev/mixer does not exist
//   DEVSIM_CDROM   comma-separated paths that are drives (/dev/cdrom,/dev/hdc)
//   DEVSIM_TRACKS  the disc's first and last track, as 1-12; unset, no disc
//   DEVSIM_AUDIO   the drive's audio status at open: playing, paused or none
//   DEVSIM_FAIL    requests that fail, with their errno, as CDROMPAUSE:EIO
//                  (several separated by commas); read at every request
//   DEVSIM_LOG     a file that gets one line per request with its argument,
//                  and one per open and close of a simulated device
//   DEVSIM_NOMEM   comma-separated texts whose copy by strdup fails with
//                  ENOMEM (not reached in a sanitized process, whose runtime
//                  answers strdup itself)

// The interposers define open and open64 each under its own name, so the
// headers must not map open onto open64 (the build asks for 64-bit offsets).
#undef _TIME_BITS
#undef _FILE_OFFSET_BITS

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/soundcard.h>
#include <string_view>
#include <unistd.h>

namespace devsim {

namespace {

constexpr std::string_view mixer_path = "/dev/mixer";
constexpr std::size_t max_devices = 16;
constexpr std::size_t max_path = 256;

enum class device_kind { none, mixer, drive };

struct device {
    int fd = -1;
    device_kind kind = device_kind::none;
    char path[max_path] = {};
    std::uint32_t mixer_value = 0;
    bool has_disc = false;
    std::uint8_t first_track = 0;
    std::uint8_t last_track = 0;
    std::uint8_t audio_status = CDROM_AUDIO_NO_STATUS;
};

std::array<device, max_devices> devices;

using open_fn = int (*)(const char *, int, ...);
using openat_fn = int (*)(int, const char *, int, ...);
using close_fn = int (*)(int);
using ioctl_fn = int (*)(int, unsigned long, ...);
using strdup_fn = char *(*)(const char *);

template <typename Fn> Fn real(const char *name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// Appends one line to the log named by DEVSIM_LOG, keeping errno.
void log_line(const char *format, ...) __attribute__((format(printf, 1, 2)));
void log_line(const char *format, ...) {
    const char *log_path = std::getenv("DEVSIM_LOG");
    if (log_path == nullptr || *log_path == '\0')
        return;
    const int saved = errno;
    static const open_fn real_open = real<open_fn>("open");
    static const close_fn real_close = real<close_fn>("close");
    const int fd = real_open(log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        va_list args;
        va_start(args, format);
        vdprintf(fd, format, args);
        va_end(args);
        dprintf(fd, "\n");
        real_close(fd);
    }
    errno = saved;
}

// Whether name appears in the comma-separated list.
bool in_list(const char *list, std::string_view name) {
    std::string_view rest = list != nullptr ? list : "";
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (rest.substr(0, comma) == name)
            return true;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return false;
}

struct errno_name {
    std::string_view name;
    int value;
};

constexpr std::array<errno_name, 13> errno_names{{
    {"EACCES", EACCES},
    {"EAGAIN", EAGAIN},
    {"EBUSY", EBUSY},
    {"EINVAL", EINVAL},
    {"EIO", EIO},
    {"ENODEV", ENODEV},
    {"ENOMEDIUM", ENOMEDIUM},
    {"ENOMEM", ENOMEM},
    {"ENOSYS", ENOSYS},
    {"ENOTTY", ENOTTY},
    {"ENXIO", ENXIO},
    {"EPERM", EPERM},
    {"EROFS", EROFS},
}};

// The errno DEVSIM_FAIL gives the request, or 0 when it should succeed.
int planned_failure(std::string_view request) {
    const char *plan = std::getenv("DEVSIM_FAIL");
    std::string_view rest = plan != nullptr ? plan : "";
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view entry = rest.substr(0, comma);
        const std::size_t colon = entry.find(':');
        if (colon != std::string_view::npos && entry.substr(0, colon) == request) {
            const std::string_view error = entry.substr(colon + 1);
            for (const errno_name &known : errno_names) {
                if (known.name == error)
                    return known.value;
            }
            return EIO;
        }
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return 0;
}

std::uint8_t audio_status_at_open() {
    const char *status = std::getenv("DEVSIM_AUDIO");
    std::string_view text = status != nullptr ? status : "none";
    if (text == "playing")
        return CDROM_AUDIO_PLAY;
    if (text == "paused")
        return CDROM_AUDIO_PAUSED;
    return CDROM_AUDIO_NO_STATUS;
}

void load_disc(device &drive) {
    const char *tracks = std::getenv("DEVSIM_TRACKS");
    unsigned first = 0, last = 0;
    drive.has_disc = tracks != nullptr && std::sscanf(tracks, "%u-%u", &first, &last) == 2;
    drive.first_track = static_cast<std::uint8_t>(first);
    drive.last_track = static_cast<std::uint8_t>(last);
}

device *find_device(int fd) {
    for (device &candidate : devices) {
        if (candidate.kind != device_kind::none && candidate.fd == fd)
            return &candidate;
    }
    return nullptr;
}

const char *mode_name(int flags) {
    const bool nonblock = (flags & O_NONBLOCK) != 0;
    switch (flags & O_ACCMODE) {
    case O_RDONLY:
        return nonblock ? "O_RDONLY|O_NONBLOCK" : "O_RDONLY";
    case O_WRONLY:
        return nonblock ? "O_WRONLY|O_NONBLOCK" : "O_WRONLY";
    default:
        return nonblock ? "O_RDWR|O_NONBLOCK" : "O_RDWR";
    }
}

// Which simulated device path names, if any.
device_kind kind_of(const char *path) {
    if (path == nullptr)
        return device_kind::none;
    if (path == mixer_path)
        return device_kind::mixer;
    if (in_list(std::getenv("DEVSIM_CDROM"), path))
        return device_kind::drive;
    return device_kind::none;
}

// Opens a simulated device: a descriptor of /dev/null stands for it.
int open_device(device_kind kind, const char *path, int flags) {
    if (kind == device_kind::mixer && std::getenv("DEVSIM_MIXER") == nullptr) {
        errno = ENOENT;
        return -1;
    }
    device *slot = nullptr;
    for (device &candidate : devices) {
        if (candidate.kind == device_kind::none) {
            slot = &candidate;
            break;
        }
    }
    if (slot == nullptr || std::strlen(path) >= max_path) {
        errno = ENFILE;
        return -1;
    }
    static const open_fn real_open = real<open_fn>("open");
    const int fd = real_open("/dev/null", O_RDWR);
    if (fd < 0)
        return -1;
    *slot = device{};
    slot->fd = fd;
    slot->kind = kind;
    std::strcpy(slot->path, path);
    if (kind == device_kind::mixer) {
        slot->mixer_value =
            static_cast<std::uint32_t>(std::strtoul(std::getenv("DEVSIM_MIXER"), nullptr, 0));
    } else {
        load_disc(*slot);
        slot->audio_status = audio_status_at_open();
    }
    log_line("open %s %s", path, mode_name(flags));
    return fd;
}

// Ends a request: fails it with the planned errno, if any.
int finish(std::string_view request) {
    const int error = planned_failure(request);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

// Logs a request that takes no record worth showing and tells whether it
// goes ahead; a planned failure has set errno.
bool accepted(const char *request) {
    log_line("%s", request);
    return finish(request) == 0;
}

int mixer_request(device &mixer, unsigned long request, void *arg) {
    auto *value = static_cast<int *>(arg);
    if (request == SOUND_MIXER_READ_VOLUME) {
        if (!accepted("SOUND_MIXER_READ_VOLUME"))
            return -1;
        *value = static_cast<int>(mixer.mixer_value);
        return 0;
    }
    if (request == SOUND_MIXER_WRITE_VOLUME) {
        log_line("SOUND_MIXER_WRITE_VOLUME 0x%08x", static_cast<unsigned>(*value));
        if (finish("SOUND_MIXER_WRITE_VOLUME") != 0)
            return -1;
        mixer.mixer_value = static_cast<std::uint32_t>(*value);
        return 0;
    }
    log_line("mixer request 0x%lx", request);
    errno = EINVAL;
    return -1;
}

// Plays the track range the way a driver checks it: the start must be on the
// disc and the end neither before the start nor after the last track.
int play_tracks(device &drive, const cdrom_ti &tracks) {
    log_line("CDROMPLAYTRKIND %u.%u-%u.%u", tracks.cdti_trk0, tracks.cdti_ind0, tracks.cdti_trk1,
             tracks.cdti_ind1);
    if (finish("CDROMPLAYTRKIND") != 0)
        return -1;
    if (!drive.has_disc) {
        errno = ENOMEDIUM;
        return -1;
    }
    if (tracks.cdti_trk0 < drive.first_track || tracks.cdti_trk0 > drive.last_track ||
        tracks.cdti_trk1 < tracks.cdti_trk0 || tracks.cdti_trk1 > drive.last_track) {
        errno = EINVAL;
        return -1;
    }
    drive.audio_status = CDROM_AUDIO_PLAY;
    return 0;
}

int drive_request(device &drive, unsigned long request, void *arg) {
    switch (request) {
    case CDROMSUBCHNL: {
        auto *subchannel = static_cast<cdrom_subchnl *>(arg);
        log_line("CDROMSUBCHNL %u", subchannel->cdsc_format);
        if (finish("CDROMSUBCHNL") != 0)
            return -1;
        subchannel->cdsc_audiostatus = drive.audio_status;
        return 0;
    }
    case CDROMREADTOCHDR: {
        if (!accepted("CDROMREADTOCHDR"))
            return -1;
        if (!drive.has_disc) {
            errno = ENOMEDIUM;
            return -1;
        }
        auto *contents = static_cast<cdrom_tochdr *>(arg);
        contents->cdth_trk0 = drive.first_track;
        contents->cdth_trk1 = drive.last_track;
        return 0;
    }
    case CDROMPLAYTRKIND:
        return play_tracks(drive, *static_cast<const cdrom_ti *>(arg));
    case CDROMPAUSE:
        if (!accepted("CDROMPAUSE"))
            return -1;
        if (drive.audio_status == CDROM_AUDIO_PLAY)
            drive.audio_status = CDROM_AUDIO_PAUSED;
        return 0;
    case CDROMRESUME:
        if (!accepted("CDROMRESUME"))
            return -1;
        if (drive.audio_status == CDROM_AUDIO_PAUSED)
            drive.audio_status = CDROM_AUDIO_PLAY;
        return 0;
    case CDROMSTOP:
        if (!accepted("CDROMSTOP"))
            return -1;
        drive.audio_status = CDROM_AUDIO_NO_STATUS;
        return 0;
    case CDROMEJECT:
        if (!accepted("CDROMEJECT"))
            return -1;
        drive.audio_status = CDROM_AUDIO_NO_STATUS;
        drive.has_disc = false;
        return 0;
    default:
        log_line("drive request 0x%lx", request);
        errno = EINVAL;
        return -1;
    }
}

// A request on a simulated device is answered here, any other goes to the
// system through real_ioctl.
int device_request(int fd, unsigned long request, void *arg, ioctl_fn real_ioctl) {
    if (device *simulated = find_device(fd)) {
        if (simulated->kind == device_kind::mixer)
            return mixer_request(*simulated, request, arg);
        return drive_request(*simulated, request, arg);
    }
    return real_ioctl(fd, request, arg);
}

// The mode argument open takes only when it creates a file.
mode_t creation_mode(int flags, va_list args) {
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        return static_cast<mode_t>(va_arg(args, int));
    return 0;
}

} // namespace

} // namespace devsim

using namespace devsim;

extern "C" {

int open(const char *path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = creation_mode(flags, args);
    va_end(args);
    if (const device_kind kind = kind_of(path); kind != device_kind::none)
        return open_device(kind, path, flags);
    static const open_fn real_open = real<open_fn>("open");
    return real_open(path, flags, mode);
}

int open64(const char *path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = creation_mode(flags, args);
    va_end(args);
    if (const device_kind kind = kind_of(path); kind != device_kind::none)
        return open_device(kind, path, flags);
    static const open_fn real_open64 = real<open_fn>("open64");
    return real_open64(path, flags, mode);
}

int openat(int dirfd, const char *path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = creation_mode(flags, args);
    va_end(args);
    if (const device_kind kind = kind_of(path); kind != device_kind::none)
        return open_device(kind, path, flags);
    static const openat_fn real_openat = real<openat_fn>("openat");
    return real_openat(dirfd, path, flags, mode);
}

int close(int fd) {
    if (device *simulated = find_device(fd)) {
        log_line("close %s", simulated->path);
        simulated->kind = device_kind::none;
        simulated->fd = -1;
    }
    static const close_fn real_close = real<close_fn>("close");
    return real_close(fd);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    static const ioctl_fn real_ioctl = real<ioctl_fn>("ioctl");
    return device_request(fd, request, arg, real_ioctl);
}

#if __TIMESIZE == 32
// A 32-bit build asking for 64-bit time reaches the C library's ioctl under
// this name, so the simulated devices must answer it too.
int __ioctl_time64(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    static const ioctl_fn real_ioctl = real<ioctl_fn>("__ioctl_time64");
    return device_request(fd, request, arg, real_ioctl);
}
#endif

// The copy of a path named in DEVSIM_NOMEM fails as if memory had run out.
char *strdup(const char *text) noexcept {
    if (in_list(std::getenv("DEVSIM_NOMEM"), text)) {
        errno = ENOMEM;
        return nullptr;
    }
    static const strdup_fn real_strdup = real<strdup_fn>("strdup");
    return real_strdup(text);
}

} // extern "C"
