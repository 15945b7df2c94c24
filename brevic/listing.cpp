// The listing: the header, then one given process or every process of the
// /proc directory in the order the directory returns them.
#include "brevic.h"

#include <cstring>

namespace brevic {
namespace {

// The process number an entry of /proc names, or 0 for any other entry.
int entry_pid(const char *name) {
    if (name[0] < '0' || name[0] > '9')
        return 0;
    long value = 0;
    for (const char *c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || value > (0x7fffffffL - 9) / 10)
            return 0;
        value = value * 10 + (*c - '0');
    }
    return static_cast<int>(value);
}

// Whether the owner of this process matters: for a USER or UID column, or
// when only the caller's own processes are wanted and this one was not
// already turned away for having no terminal.
bool owner_matters(const ps_options &options, const ps_process &process) {
    if (shows_owner(options.format))
        return true;
    if (options.command != nullptr || options.a_count != 0)
        return false;
    return options.x_count != 0 || has_terminal(process.tty_nr);
}

bool show_one(std::FILE *out, const ps_options &options, DIR *proc, user_names &users) {
    ps_process process{};
    if (!read_stat(dirfd(proc), options.pid, process))
        return false;
    if (shows_owner(options.format))
        read_owner(dirfd(proc), process);
    print_process(out, options, process, users);
    return true;
}

bool scan_all(std::FILE *out, const ps_options &options, DIR *proc, std::uint32_t caller_uid,
              user_names &users) {
    bool printed = false;
    ps_process process{};
    while (const dirent *entry = ::readdir(proc)) {
        const int pid = entry_pid(entry->d_name);
        if (pid <= 0 || !read_stat(dirfd(proc), pid, process))
            continue;
        if (owner_matters(options, process))
            read_owner(dirfd(proc), process);
        if (!is_selected(options, process, caller_uid))
            continue;
        print_process(out, options, process, users);
        printed = true;
    }
    return printed;
}

} // namespace

bool is_selected(const ps_options &options, const ps_process &process, std::uint32_t caller_uid) {
    if (options.command != nullptr)
        return std::strcmp(options.command, process.comm) == 0;
    if (options.x_count == 0 && !has_terminal(process.tty_nr))
        return false;
    if (options.a_count == 0 && process.uid != caller_uid)
        return false;
    return true;
}

bool run_listing(std::FILE *out, const ps_options &options, DIR *proc, std::uint32_t caller_uid) {
    if (options.h_count == 0) {
        if (const char *header = header_line(options.format))
            std::fprintf(out, "%s\n", header);
    }
    user_names users;
    if (options.pid != 0)
        return show_one(out, options, proc, users);
    return scan_all(out, options, proc, caller_uid, users);
}

} // namespace brevic
