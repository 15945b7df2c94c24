// The reader of /etc/passwd and /etc/group lines that static programs use.
#include "owner_db.h"
#include "temp_tree.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using suite_testing::TempTree;

// The name found for `id`, "(none)" when there is none.
std::string lookup(const std::string &file, unsigned id, std::size_t room = 32) {
    std::string out(room, '\0');
    int n = suite::name_in_file(file.c_str(), id, out);
    return n < 0 ? "(none)" : out.substr(0, std::size_t(n));
}

TEST(OwnerFile, FirstLineWithTheNumberGivesTheName) {
    TempTree t;
    std::string members;
    for (int i = 0; i < 5000; ++i)
        members += (i ? "," : "") + std::string("member") + std::to_string(i);
    std::string file = t.file("passwd", "# 7 is not here\n"
                                        "\n"
                                        "root:x:0:0:root:/root:/bin/bash\n"
                                        "odd:x:7x:7::/:/bin/sh\n"
                                        "big:x:4294967303:1::/:/bin/sh\n"
                                        "crowd:x:1000:" +
                                            members +
                                            "\n"
                                            "second:x:1000:1000::/:/bin/sh\n"
                                            "averyveryverylongnamethatgoesonandon:x:2000:2000\n"
                                            "last:x:3000");
    const std::pair<unsigned, std::string> cases[] = {
        {0, "root"},     {7, "(none)"}, // "7x" and the comment are no entry for 7
        {1000, "crowd"},                // the first of two, after a long line
        {3000, "last"},                 // no newline and no further fields
        {7, "(none)"},                  // 4294967303 is not 7 cut to 32 bits
        {5, "(none)"},   {2000, "averyveryverylongnamethatgoesonandon"},
    };
    for (const auto &[id, name] : cases)
        EXPECT_EQ(lookup(file, id, 64), name) << id;
    // A name longer than the room is cut to it.
    EXPECT_EQ(lookup(file, 2000, 32),
              std::string("averyveryverylongnamethatgoesonandon").substr(0, 32));
    EXPECT_EQ(lookup(t.path("missing"), 0), "(none)");
}

} // namespace
