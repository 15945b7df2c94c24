// The nine output formats: a header line and a line format each. Columns
// that would need sampling over time print fixed placeholders.
#include "brevic.h"

#include <cinttypes>

namespace brevic {
namespace {

// Placeholder texts of the columns that are not computed.
constexpr const char *cpu_placeholder = " ?";      // C
constexpr const char *share_placeholder = " ?.?";  // %CPU, %MEM
constexpr const char *start_placeholder = "STIME"; // STIME, START

struct format_header {
    int code;
    const char *line;
};

constexpr format_header headers[] = {
    {format_default, "  PID TTY         TIME CMD"},
    {format_full, "USER       PID  PPID  C STIME   TTY       TIME CMD"},
    {format_jobs, "  PID  PGID   SID TTY         TIME CMD"},
    {format_long, "  F S   UID   PID  PPID  C PRI  NI ADDR SZ WCHAN    TTY       TIME CMD"},
    {format_bare_jobs, " PPID   PID  PGID   SID   TTY   TPGID S   UID     TIME COMMAND"},
    {format_bare_long,
     "  F   UID   PID  PPID PRI  NI   VSZ  RSS WCHAN  S   TTY       TIME COMMAND"},
    {format_user_oriented, "USER       PID %CPU %MEM   VSZ  RSS   TTY   S START     TIME COMMAND"},
    {format_virtual, "  PID   TTY   S     TIME  MAJFL TRS DRS   RSS %MEM COMMAND"},
};

// The texts one line needs, in fixed buffers reused for every line.
struct line_texts {
    time_text time;
    tty_text tty;
    comm_text comm;
};

unsigned flags_column(const ps_process &p) {
    return static_cast<unsigned>(p.flags & 0x777);
}
unsigned wchan_column(const ps_process &p) {
    return static_cast<unsigned>(p.wchan & 0xFFFFFF);
}
unsigned uid_column(const ps_process &p) {
    return static_cast<unsigned>(p.uid);
}

// The columns before the command name.
void print_columns(std::FILE *out, int format, const ps_process &p, const char *tty,
                   const char *time, user_names &users) {
    switch (format) {
    case format_full:
        std::fprintf(out, "%8s %5d %5d %s %s %s %s", users.lookup(p.uid), p.pid, p.ppid,
                     cpu_placeholder, start_placeholder, tty, time);
        break;
    case format_jobs:
        std::fprintf(out, "%5d %5d %5d %s %s", p.pid, p.pgrp, p.session, tty, time);
        break;
    case format_long:
        std::fprintf(out,
                     "%03x %c %5u %5d %5d %s %3" PRId64 " %3" PRId64 " - %5" PRIu64 " %06x %s %s",
                     flags_column(p), p.state, uid_column(p), p.pid, p.ppid, cpu_placeholder,
                     p.priority, p.nice, p.vsize >> 2, wchan_column(p), tty, time);
        break;
    case format_bare_jobs:
        std::fprintf(out, "%5d %5d %5d %5d %s %5d %c %5u %s", p.ppid, p.pid, p.pgrp, p.session, tty,
                     p.tpgid, p.state, uid_column(p), time);
        break;
    case format_bare_long:
        std::fprintf(out,
                     "%03x %5u %5d %5d %3" PRId64 " %3" PRId64 " %5" PRIu64 " %4" PRId64
                     " %06x %c %s %s",
                     flags_column(p), uid_column(p), p.pid, p.ppid, p.priority, p.nice, p.vsize,
                     p.rss, wchan_column(p), p.state, tty, time);
        break;
    case format_user_oriented:
        std::fprintf(out, "%8s %5d %s %s %5" PRIu64 " %4" PRId64 " %s %c %s %s",
                     users.lookup(p.uid), p.pid, share_placeholder, share_placeholder, p.vsize,
                     p.rss, tty, p.state, start_placeholder, time);
        break;
    case format_virtual:
        std::fprintf(out, "%5d %s %c %s %6" PRIu64 "   -   - %5" PRId64 " %s", p.pid, tty, p.state,
                     time, p.majflt, p.rss, share_placeholder);
        break;
    default:
        std::fprintf(out, "%5d %s %s", p.pid, tty, time);
        break;
    }
}

} // namespace

const char *header_line(int format) {
    for (const auto &header : headers)
        if (header.code == format)
            return header.line;
    return nullptr;
}

bool shows_owner(int format) {
    return format == format_full || format == format_long || format == format_bare_jobs ||
           format == format_bare_long || format == format_user_oriented;
}

void print_process(std::FILE *out, const ps_options &options, const ps_process &process,
                   user_names &users) {
    if (options.format == format_pid_only) {
        std::fprintf(out, "%d\n", process.pid);
        return;
    }
    line_texts texts;
    print_columns(out, options.format, process, format_tty(process.tty_nr, texts.tty),
                  format_time(process.utime + process.stime, texts.time), users);
    std::fprintf(out, options.bracket ? " [%s]\n" : " %s\n",
                 printable_comm(process.comm, texts.comm));
}

} // namespace brevic
