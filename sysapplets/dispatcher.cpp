// The multi-call program: runs the applet named by the name it was started
// as (a link named update or sessdump) or by its first argument.
#include "sessdump.h"
#include "support.h"
#include "update.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace sysapplets {
namespace {

// Every applet gets the argument vector that starts with its own name.
using applet_fn = int (*)(int argc, char **argv);

struct applet {
    std::string_view name;
    const char *usage;
    applet_fn run;
    bool takes_arguments; // false: any argument is a usage error
};

// The argument vector the program was started with.
char **process_argv;

bool wants_help(int argc, char **argv) {
    return argc > 1 && std::strcmp(argv[1], "--help") == 0;
}

// The daemon's children keep running after this process has ended.
int run_update(int argc, char **) {
    // update writes its title over the program's argument strings: hand it
    // all of them, from the program name on, so the title has their room.
    return update_main(nullptr, argc, process_argv);
}

int run_sessdump(int argc, char **argv) {
    if (argc < 2)
        return sessdump_fn(nullptr);
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const file_info file{argv[i]};
        if (sessdump_fn(&file) != 0)
            status = 1;
    }
    return status;
}

constexpr applet applets[] = {
    {"sessdump", sessdump_usage, run_sessdump, true},
    {"update", update_usage, run_update, false},
};

const applet *find_applet(std::string_view name) {
    for (const applet &a : applets)
        if (a.name == name)
            return &a;
    return nullptr;
}

const char *base_name(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

int usage(const applet *which) {
    if (which) {
        std::fputs(which->usage, stderr);
        return 1;
    }
    std::fputs("Usage: sysapplets APPLET [ARGUMENT]...\n\nApplets:\n\n", stderr);
    for (const applet &a : applets)
        std::fputs(a.usage, stderr);
    return 1;
}

// Output still in the buffer may fail to be written; that is a failure of
// the run, not something to drop at exit.
int flush_output(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        name_and_error("standard output");
        return 1;
    }
    return status;
}

int dispatch(int argc, char **argv) {
    process_argv = argv;
    const applet *which = argc > 0 ? find_applet(base_name(argv[0])) : nullptr;
    if (!which) {
        // Started under its own name: the applet is the first argument.
        if (argc < 2)
            return usage(nullptr);
        which = find_applet(argv[1]);
        if (!which) {
            std::fprintf(stderr, "sysapplets: %s: applet not found\n", argv[1]);
            return usage(nullptr);
        }
        --argc;
        ++argv;
    }
    set_program_name(base_name(argv[0]));
    if (wants_help(argc, argv) || (argc > 1 && !which->takes_arguments))
        return usage(which);
    const int result = which->run(argc, argv);
    if (result < 0) {
        // Only a failed fork gives a negative result; errno still tells why.
        name_and_error("fork");
        return 1;
    }
    return flush_output(result);
}

} // namespace
} // namespace sysapplets

int main(int argc, char **argv) {
    return sysapplets::dispatch(argc, argv);
}
