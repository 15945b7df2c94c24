// Messages about members: names from outside (arguments, lines of standard
// input, directory entries) quoted so that they cannot drive the terminal,
// and members that the archive holds incompletely or not at all.
#pragma once

#include <string>
#include <string_view>

namespace quarc {

// `name` with every byte of a control character (C0, DEL, C1; see
// control_chars.h) written as a backslash and three octal digits, so that
// "\033" stands for an escape byte, and every backslash doubled. A backslash
// in the result is thus always followed by another one or by three digits,
// and the name can be read back exactly. Other text, UTF-8 included, stays.
std::string quoted_name(std::string_view name);

// Names on standard error a member that is left out, or whose data could not
// be stored as it was; the archive is still finished, but the run ends with
// status 1.
void report_incomplete(std::string_view name, const char *what);

// Set by report_incomplete.
extern bool archive_incomplete;

} // namespace quarc
