// Reads an archive back in the tests: splits it into members, checks that
// every header's checksum holds, and builds expected header blocks from the
// literal bytes of their fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarc_test {

struct member {
    std::string header; // the 512 bytes
    std::string name;   // up to the first NUL of the name field
    char type = 0;
    long long size = 0;
    std::string data; // the data blocks, padding included
};

struct archive {
    std::vector<member> members;
    bool has_end_marker = false; // two zero blocks close it
    std::string error;           // empty when every block made sense
};

archive read_archive(std::string_view bytes);

// The value of a number field: octal padded with spaces, or base-256.
long long number(std::string_view field);

// The unsigned sum of a block with its chksum field counted as spaces.
unsigned block_sum(std::string_view block);

// An expected header, each field given as the literal bytes it must hold
// (shorter texts are NUL-padded to the field); the checksum is filled in.
struct expected_fields {
    std::string name;
    std::string mode;
    std::string uid = std::string("     0 \0", 8);
    std::string gid = std::string("     0 \0", 8);
    std::string size = "          0 ";
    std::string mtime;
    char type = '0';
    std::string linkname;
    std::string uname = "root";
    std::string gname = "root";
    std::string devmajor;
    std::string devminor;
};
std::string expected_header(const expected_fields &fields);

// Runs a shell command line, returning its standard output; the test fails
// through the returned status when it does not exit 0.
struct shell_result {
    std::string out;
    std::string err;
    int status;
};
shell_result shell(const std::string &command, const std::string &cwd = {});

// Single-quotes a string for /bin/sh.
std::string quoted(std::string_view s);

} // namespace quarc_test
