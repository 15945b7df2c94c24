#include "peer_program.h"

#include <cstdlib>
#include <unistd.h>

namespace suite_testing {
namespace {

bool runnable(std::string_view program) {
    if (program.find('/') != std::string_view::npos)
        return access(std::string(program).c_str(), X_OK) == 0;
    const char *path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/bin:/bin";
    while (true) {
        size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        std::string candidate = (dir.empty() ? "." : dir) + "/" + std::string(program);
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string_view::npos)
            return false;
        dirs.remove_prefix(colon + 1);
    }
}

} // namespace

std::string missing_program(std::initializer_list<std::string_view> programs) {
    for (std::string_view program : programs) {
        if (!runnable(program))
            return std::string(program);
    }
    return "";
}

bool running_in_ci() {
    const char *ci = std::getenv("CI");
    return ci && *ci;
}

} // namespace suite_testing
