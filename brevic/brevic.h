// The process lister's shared records, limits and routines: the options
// record filled from the command line, the record of one process read from
// its stat line, and the routines that read, select and print processes.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string_view>

namespace brevic {

// Where the kernel's process table is mounted; everything below main takes it
// as a parameter so that tests can point the reader at a tree of their own.
constexpr const char *proc_root = "/proc";

// Largest process number of the systems the lister was first made for; the
// running kernel's pid_max may allow more (see read_pid_ceiling).
constexpr long classic_pid_ceiling = 32767;

// The stat line is read once into a buffer of this size, at most one byte
// less than it; the fields the lister needs always fit.
constexpr std::size_t stat_buffer_size = 800;

// A stat text shorter than this cannot hold the fields the lister needs.
constexpr std::size_t min_stat_length = 80;

// Significant characters of a command name (the kernel's own limit).
constexpr std::size_t comm_length = 15;

// How many stat fields after the name must convert (through `blocked`).
constexpr int min_stat_fields = 30;

// The status file is read once into a buffer of this size; its "Uid:" line
// comes early, after the name (at most 64 bytes with the kernel's escapes)
// and a few short lines.
constexpr std::size_t status_buffer_size = 1024;

// The stat line's flag of a kernel thread, whose owner is always root.
constexpr std::uint64_t kernel_thread_flag = 0x00200000;

// Format codes: the option letter for the dash formats, the letter with bit 7
// set for the bare formats.
constexpr int bare_format_bit = 0x80;
constexpr int format_default = 0;
constexpr int format_full = 'f';
constexpr int format_jobs = 'j';
constexpr int format_long = 'l';
constexpr int format_pid_only = 'o';
constexpr int format_bare_jobs = 'j' | bare_format_bit;
constexpr int format_bare_long = 'l' | bare_format_bit;
constexpr int format_user_oriented = 'u' | bare_format_bit;
constexpr int format_virtual = 'v' | bare_format_bit;

// What the command line asks for; every field zero at start.
struct ps_options {
    int pid;             // process number to show alone; 0 = none
    const char *command; // command name to select by; null = none
    int x_count;         // `x` given (-A and -e count too)
    int a_count;         // `a` given (-A and -e count too)
    int format;          // format code; 0 = the default format
    int h_count;         // header switched off (`h`, and -o pid=)
    int bracket;         // 1 = command name in square brackets
    int c_count;         // `c` given
};

// One process as read from /proc/<pid>/stat, at the widths the running
// kernel writes (virtual sizes above 4 GiB included).
struct ps_process {
    int pid;
    char comm[comm_length + 1]; // zero-filled, at most 15 significant bytes
    std::uint32_t uid;          // owner of the stat file
    char state;
    int ppid;
    int pgrp;
    int session;
    int tty_nr;
    int tpgid;
    std::uint64_t flags;
    std::uint64_t minflt;
    std::uint64_t cminflt;
    std::uint64_t majflt;
    std::uint64_t cmajflt;
    std::uint64_t utime;
    std::uint64_t stime;
    std::int64_t cutime;
    std::int64_t cstime;
    std::int64_t priority;
    std::int64_t nice;
    std::int64_t timeout;
    std::int64_t itrealvalue;
    std::uint64_t starttime;
    std::uint64_t vsize; // KiB after reading
    std::int64_t rss;    // KiB after reading
    std::uint64_t rsslim;
    std::uint64_t startcode;
    std::uint64_t endcode;
    std::uint64_t startstack;
    std::uint64_t kstkesp;
    std::uint64_t kstkeip;
    std::uint64_t signal;
    std::uint64_t blocked;
    std::uint64_t sigignore;
    std::uint64_t sigcatch;
    std::uint64_t wchan;
    std::uint64_t nswap;
    std::uint64_t cnswap;
};

// Command line (options.cpp). Fills `options` and returns true when the
// command line is valid; false means the caller shows the help text.
bool parse_arguments(int argc, const char *const argv[], long pid_ceiling, ps_options &options);

// The help text, fifteen lines (help_text.cpp).
extern const char help_text[];

// Largest process number the running kernel can hand out, never below the
// classic 32767 (pid_ceiling.cpp).
long read_pid_ceiling(const char *proc_dir);

// Parses the text of one stat line (stat_line.cpp); true when it names a
// process and converts at least min_stat_fields fields after the name.
bool parse_stat_line(std::string_view line, ps_process &process);

// Reads /proc/<pid>/stat below the open directory `proc_fd` (proc_reader.cpp).
bool read_stat(int proc_fd, int pid, ps_process &process);

// The effective user ID from the text of /proc/<pid>/status: the second
// number of its "Uid:" line (status_file.cpp). False when there is none.
bool parse_status_uid(std::string_view status, std::uint32_t &euid);

// The kernel gives the /proc files of a process that is not dumpable (one
// that changed its identity, or asked to be so) to root, whoever runs it.
// For a process whose stat file root owns, this takes the effective user ID
// from its status file instead (proc_reader.cpp); the owner of any other
// process is already right.
void read_owner(int proc_fd, ps_process &process);

// Column texts (columns.cpp).
using time_text = std::array<char, 32>;
using tty_text = std::array<char, 16>;
using user_text = std::array<char, 16>;
using comm_text = std::array<char, comm_length + 1>;

const char *format_time(std::uint64_t ticks, time_text &text);
const char *format_tty(int tty_nr, tty_text &text);
const char *format_user(std::uint32_t uid, const char *login_name, user_text &text);
const char *printable_comm(const char (&comm)[comm_length + 1], comm_text &text);
bool has_terminal(int tty_nr);

// USER column texts from the password database, remembering the last user.
class user_names {
  public:
    const char *lookup(std::uint32_t uid);

  private:
    bool valid_ = false;
    std::uint32_t uid_ = 0;
    user_text text_{};
};

// Output formats (formats.cpp).
const char *header_line(int format);
bool shows_owner(int format); // a USER or UID column
void print_process(std::FILE *out, const ps_options &options, const ps_process &process,
                   user_names &users);

// Selection and the listing itself (listing.cpp). run_listing prints the
// header and the selected processes of the open directory `proc`, and
// returns true when at least one process line was printed.
bool is_selected(const ps_options &options, const ps_process &process, std::uint32_t caller_uid);
bool run_listing(std::FILE *out, const ps_options &options, DIR *proc, std::uint32_t caller_uid);

} // namespace brevic
