// End-to-end runs of taviemu on 16-bit programs written in nasm.
#include "run_program.h"
#include "temp_tree.h"

#include <gtest/gtest.h>
#include <string>

using suite_testing::run;
using suite_testing::RunOptions;

namespace {

std::string program(const std::string &name) {
    return std::string(PROGRAM_DIR) + "/" + name;
}

} // namespace

TEST(Start, NoArguments) {
    auto r = run({TAVIEMU_PATH});
    EXPECT_EQ(r.err, "taviemu cmd args.....\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
}

TEST(Translators, EchoOfArgumentsAndEnvironment) {
    RunOptions options;
    options.unset_env = {};
    auto r = run({TAVIEMU_PATH, program("echo"), "one", "two words"}, options);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find("two words"))),
              program("echo") + "\none\ntwo words");
    EXPECT_EQ(r.status, 0);
}
