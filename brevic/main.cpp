// brevic: lists processes from /proc/<pid>/stat in one of nine fixed formats.
#include "brevic.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Output is written in large blocks: a full listing is one or two writes.
constexpr std::size_t output_buffer_size = 64 * 1024;
char output_buffer[output_buffer_size];

[[noreturn]] void usage() {
    std::fputs(brevic::help_text, stderr);
    std::exit(1);
}

} // namespace

int main(int argc, char **argv) {
    using namespace brevic;
    ps_options options{};
    if (!parse_arguments(argc, argv, read_pid_ceiling(proc_root), options))
        usage();
    DIR *proc = ::opendir(proc_root);
    if (proc == nullptr) {
        std::fprintf(stderr, "brevic: %s: %s\n", proc_root, std::strerror(errno));
        return 1;
    }
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    const bool printed = run_listing(stdout, options, proc, ::getuid());
    ::closedir(proc);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "brevic: standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return printed ? 0 : 1;
}
