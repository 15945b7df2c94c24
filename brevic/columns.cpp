// The texts of the computed columns: TIME, TTY, USER and the command name.
#include "brevic.h"

#include "control_chars.h"
#include "owner_db.h"

#include <cstring>

namespace brevic {
namespace {

// Clock ticks per second in the stat line's time fields.
constexpr std::uint64_t ticks_per_second = 100;

} // namespace

// CPU time as [days-]hh:mm:ss.
const char *format_time(std::uint64_t ticks, time_text &text) {
    const std::uint64_t seconds = ticks / ticks_per_second;
    const std::uint64_t hours = seconds / 3600;
    const auto hh = static_cast<unsigned>(hours % 24);
    const auto mm = static_cast<unsigned>(seconds / 60 % 60);
    const auto ss = static_cast<unsigned>(seconds % 60);
    const std::uint64_t days = hours / 24;
    if (days >= 1)
        std::snprintf(text.data(), text.size(), "%llu-%02u:%02u:%02u",
                      static_cast<unsigned long long>(days), hh, mm, ss);
    else
        std::snprintf(text.data(), text.size(), "%02u:%02u:%02u", hh, mm, ss);
    return text.data();
}

// The terminal's major and minor device numbers. The kernel encodes a device
// as minor bits 0-7, major bits 8-19 and the rest of the minor above that, so
// a minor of 2^19 or more sets the sign bit; only the old marker -1 for "no
// terminal" keeps its 8-bit reading 255,255.
const char *format_tty(int tty_nr, tty_text &text) {
    const auto dev = static_cast<std::uint32_t>(tty_nr);
    unsigned major = (dev >> 8) & 0xff;
    unsigned minor = dev & 0xff;
    if (tty_nr != -1) {
        major = (dev >> 8) & 0xfff;
        minor |= (dev >> 12) & 0xfff00;
    }
    std::snprintf(text.data(), text.size(), "%3u,%-3u", major, minor);
    return text.data();
}

// The login name in exactly 8 columns, or the number when there is none.
const char *format_user(std::uint32_t uid, const char *login_name, user_text &text) {
    if (login_name != nullptr)
        std::snprintf(text.data(), text.size(), "%-8.8s", login_name);
    else
        std::snprintf(text.data(), text.size(), "%5u   ", static_cast<unsigned>(uid));
    return text.data();
}

// Any process may name itself; each control character (a newline, a terminal
// escape, a C1 control such as 0x9B, raw or as U+009B, which terminals take
// as the start of an escape sequence) is shown as one '?', so that a name can
// neither break the one line per process nor drive the reader's terminal.
// Other UTF-8 text stays as it is.
const char *printable_comm(const char (&comm)[comm_length + 1], comm_text &text) {
    *suite::mark_controls(text.data(), {comm, ::strnlen(comm, comm_length)}) = '\0';
    return text.data();
}

// Today's kernels write 0 for a process without a controlling terminal, the
// old ones -1; device 0,0 is never a terminal.
bool has_terminal(int tty_nr) {
    return tty_nr != 0 && tty_nr != -1;
}

// Consecutive lines mostly belong to the same user, so the last answer is
// kept and the password database is asked only when the user changes.
const char *user_names::lookup(std::uint32_t uid) {
    if (!valid_ || uid != uid_) {
        char name[9]; // the column shows 8 characters of it
        int len = suite::user_name(uid, std::span<char>(name, 8));
        if (len >= 0)
            name[len] = '\0';
        format_user(uid, len >= 0 ? name : nullptr, text_);
        uid_ = uid;
        valid_ = true;
    }
    return text_.data();
}

} // namespace brevic
