// The opcode table reads as it runs: the index comment of every row names
// the operation number that row is for.
#include "opcode_table.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vm86::engine {
namespace {

// The index comment a row of operation `op` carries: the opcode (C4), the
// group's first opcode and ModRM reg (FF/3), or the decoder's own name.
std::string index_name(unsigned op) {
    char name[16];
    if (op < 256) {
        std::snprintf(name, sizeof name, "%02X", op);
        return name;
    }
    if (op >= OP_INVALID) {
        const char *const own[] = {"OP_INVALID", "OP_TOO_LONG", "OP_BLOCK_END"};
        return own[op - OP_INVALID];
    }
    unsigned first = op & ~7u, opcode = 0;
    while (decode_rows[opcode].group != first)
        ++opcode;
    std::snprintf(name, sizeof name, "%02X/%u", opcode, op - first);
    return name;
}

// The index comments of the table's rows, in the order of the source.
std::vector<std::string> index_comments(const char *path) {
    std::ifstream source(path);
    std::vector<std::string> names;
    std::string line;
    bool in_table = false;
    while (std::getline(source, line)) {
        if (line.find("Operation operations[] = {") != std::string::npos)
            in_table = true;
        else if (in_table && line == "};")
            break;
        size_t open = line.find_first_not_of(' ');
        if (!in_table || open == std::string::npos || line.compare(open, 2, "/*") != 0)
            continue;
        size_t close = line.find("*/", open);
        names.push_back(line.substr(open + 2, close - open - 2));
    }
    return names;
}

TEST(OpcodeTable, IndexCommentsNameEveryRowInOrder) {
    std::vector<std::string> names = index_comments(ENGINE_SOURCE_DIR "/opcode_table.h");
    ASSERT_EQ(names.size(), size_t(OP_COUNT));
    for (unsigned op = 0; op < OP_COUNT; ++op)
        ASSERT_EQ(names[op], index_name(op)) << "row " << op;
}

} // namespace
} // namespace vm86::engine
