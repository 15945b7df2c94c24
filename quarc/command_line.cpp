#include "command_line.h"

#include "archive_output.h"
#include "exclude_table.h"
#include "hard_links.h"
#include "member_writer.h"
#include "messages.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quarc {
namespace {

bool is_exclude_switch(const char *arg) {
    return std::strcmp(arg, "-x") == 0 || std::strcmp(arg, "--exclude") == 0;
}

void usage() {
    std::fputs("\nquarc: (very) cut-down tar.  Basic usage: quarc filename(s)\n", stderr);
    std::fputs("Switches quarc knows about: [-x | --exclude | -] filename\n", stderr);
    std::fputs("\t\t-X filename(s)\n", stderr);
}

// Calls `take` with every exclude name in command-line order; returns the
// count, or -1 when "-x" or "--exclude" stands last with no name after it.
template <typename F> int scan_excludes(int argc, char **argv, F take) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        if (is_exclude_switch(argv[i])) {
            if (i + 1 == argc)
                return -1;
            take(argv[++i]);
            ++count;
        } else if (std::strcmp(argv[i], "-X") == 0) {
            for (++i; i < argc; ++i, ++count)
                take(argv[i]);
        }
    }
    return count;
}

[[noreturn]] void exclude_alloc_failed() {
    std::fputs("malloc() error in main(), exclude", stderr);
    std::exit(1);
}

// The buffer that getdelim grows, freed when reading ends.
struct input_name {
    char *text = nullptr;
    std::size_t capacity = 0;
    ~input_name() { std::free(text); }
};

// Member names from standard input, each ended by `end` (a newline, or a
// NUL byte after "--null"), of any length: a long name is one name (too
// long for the archive, it is named and left out), never pieces that would
// name other files. Nor is a line cut at a NUL byte: such a line names no
// file and is left out. A name that is gone when it is examined is named and
// left out, as the entries of a directory are. Input that cannot be read
// fails like a member: the names it held would be missing from the archive.
bool names_from_input(char end) {
    // After an end of input a terminal can give more: every "-" reads on.
    std::clearerr(stdin);
    input_name name;
    ssize_t got;
    while ((got = getdelim(&name.text, &name.capacity, end, stdin)) >= 0) {
        std::size_t len = std::size_t(got);
        if (len > 0 && name.text[len - 1] == end)
            name.text[--len] = '\0';
        if (std::memchr(name.text, '\0', len) != nullptr)
            report_incomplete({name.text, len}, "name holds a NUL byte, left out");
        else if (create(name.text, named_by::listing) != code::ok)
            return false;
    }
    if (!std::feof(stdin)) {
        std::fprintf(stderr, "quarc: standard input: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

// Hands every member name to create, in order; false at the first failure.
// "--null" makes every later "-" read names that end with NUL bytes.
bool archive_members(int argc, char **argv) {
    char end = '\n';
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-X") == 0)
            break;
        if (is_exclude_switch(argv[i])) {
            ++i;
        } else if (std::strcmp(argv[i], "--null") == 0) {
            end = '\0';
        } else if (std::strcmp(argv[i], "-") == 0) {
            if (!names_from_input(end))
                return false;
        } else if (create(argv[i], named_by::caller) != code::ok) {
            return false;
        }
    }
    return true;
}

// A run that could not write its archive says why; the other failures of a
// member have said what they have to say.
void report_write_error() {
    if (write_error() != 0)
        std::fprintf(stderr, "quarc: write error: %s\n", std::strerror(write_error()));
}

} // namespace

int run(int argc, char **argv) {
    if (argc < 2) {
        usage();
        return 1;
    }
    int count = scan_excludes(argc, argv, [](const char *) {});
    if (count < 0) {
        std::fprintf(stderr, "quarc: %s needs a name after it\n", argv[argc - 1]);
        return 1;
    }
    if (!make_exclude_table(count))
        exclude_alloc_failed();
    scan_excludes(argc, argv, [](const char *name) {
        if (!add_exclude(name))
            exclude_alloc_failed();
    });

    start_archive();
    if (!archive_members(argc, argv)) {
        report_write_error();
        return 1; // no end marker: the archive visibly stops short
    }
    bool written = finish_archive();
    if (!written)
        report_write_error();
    release_hardlinks();
    release_exclude_table();
    return written && !archive_incomplete ? 0 : 1;
}

} // namespace quarc
