// A temporary directory that tests fill with files, links and folders; it
// and everything in it are removed when the object goes away.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace suite_testing {

class TempTree {
  public:
    TempTree();
    // With `in_memory`, the tree goes to /dev/shm when that is a writable
    // tmpfs: for tests that make tens of thousands of files, which a disk
    // file system makes many times more slowly.
    explicit TempTree(bool in_memory);
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    // The absolute path of the tree's root, or of a name inside it.
    const std::string &root() const { return root_; }
    std::string path(std::string_view rel) const;

    // Each returns the absolute path it made. Parent folders are made as needed.
    std::string file(std::string_view rel, std::string_view content = {}, mode_t mode = 0644);
    std::string dir(std::string_view rel, mode_t mode = 0755);
    std::string symlink(std::string_view target, std::string_view rel);
    std::string hardlink(std::string_view existing_rel, std::string_view rel);
    std::string fifo(std::string_view rel, mode_t mode = 0644);
    // Sets access and modification time (seconds since the epoch), without following links.
    void set_mtime(std::string_view rel, long long seconds);

    // The whole contents of a file inside (or, given an absolute path, outside) the tree.
    std::string read(std::string_view rel) const;

  private:
    void make_parents(std::string_view rel);
    std::string root_;
};

} // namespace suite_testing
