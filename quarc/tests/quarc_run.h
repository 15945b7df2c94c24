// Runs the built quarc inside a test tree.
#pragma once

#include "run_program.h"
#include "temp_tree.h"

#include <string>
#include <vector>

namespace quarc_test {

inline suite_testing::RunResult run_quarc(const suite_testing::TempTree &tree,
                                          std::vector<std::string> args,
                                          std::string_view input = {}) {
    args.insert(args.begin(), QUARC_PATH);
    suite_testing::RunOptions options;
    options.cwd = tree.root();
    options.input = input;
    options.no_stdin = input.empty();
    return suite_testing::run(args, options);
}

inline const std::string kEndMarker(1024, '\0');

} // namespace quarc_test
