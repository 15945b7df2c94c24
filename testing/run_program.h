// Runs a program as a child process, the way a shell would, and collects
// what it wrote and how it ended. Every tool's end-to-end tests use it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace suite_testing {

struct RunResult {
    std::string out;     // everything written to standard output
    std::string err;     // everything written to standard error
    int status = -1;     // exit status, or -1 when ended by a signal
    int signal = 0;      // the signal that ended it, or 0
    bool timed_out = false;
};

struct RunOptions {
    std::string_view input;                               // fed to standard input, then closed
    std::vector<std::pair<std::string, std::string>> env; // set (or, with an empty name, ignored)
    std::vector<std::string> unset_env;                   // removed from the environment
    std::string cwd;                                      // working directory, empty for ours
    double timeout_seconds = 60;                          // killed with SIGKILL after this
    bool no_stdin = false;                                // standard input is /dev/null
    std::string argv0;                                    // argv[0] if not the path itself
};

// Runs argv[0] (a path) with the given arguments.
RunResult run(const std::vector<std::string> &argv, const RunOptions &options = {});

// Shorthand: run with standard input and nothing else changed.
inline RunResult run(const std::vector<std::string> &argv, std::string_view input) {
    RunOptions options;
    options.input = input;
    return run(argv, options);
}

} // namespace suite_testing
