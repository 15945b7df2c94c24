// A description of a file tree that two trees can be compared by: kind,
// permissions, owner, size, modification time, contents, link targets,
// device numbers and which names share one file.
#pragma once

#include <string>

namespace quarc_test {

struct snapshot_options {
    bool symlink_times = true; // compare the modification times of symbolic links
};

// One line per entry below `root`, sorted by path; paths are relative.
std::string snapshot(const std::string &root, const snapshot_options &options = {});

} // namespace quarc_test
