// Helpers for end-to-end runs of taviemu on the test programs that
// tavi_add_program builds into PROGRAM_DIR.
#pragma once

#include "run_program.h"

#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

extern char **environ;

namespace taviemu_testing {

inline std::string program(const std::string &name) {
    return std::string(PROGRAM_DIR) + "/" + name;
}

// Options that hand the program exactly the environment `env`.
inline suite_testing::RunOptions only_env(std::vector<std::pair<std::string, std::string>> env) {
    suite_testing::RunOptions options;
    for (char **e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        options.unset_env.push_back(entry.substr(0, entry.find('=')));
    }
    options.env = std::move(env);
    return options;
}

} // namespace taviemu_testing
