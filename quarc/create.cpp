#include "archive_output.h"
#include "exclude_table.h"
#include "hard_links.h"
#include "header_block.h"
#include "member_writer.h"
#include "normpath.h"
#include "owner_names.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quarc {
namespace {

// A normalised name too long for the header: left out (and named, unless an
// exclude name leaves it out anyway). The limit is on the name as it would
// be stored, so a tree gives the same archive however its path is spelled.
void leave_out_long_name(const char *path, std::size_t len) {
    std::string full(len + 1, '\0');
    normpath(path, full);
    full.resize(len);
    if (!is_excluded(full))
        report_incomplete(full.c_str(), "name too long for the archive, left out");
}

// The header fields that come straight from the file status.
header_fields fields_from_status(const struct stat &st) {
    header_fields f;
    f.mode = std::uint32_t(st.st_mode);
    f.uid = st.st_uid;
    f.gid = st.st_gid;
    f.mtime = st.st_mtime;
    f.typeflag = typeflag_for(st.st_mode);
    // Only regular files have data in the archive; a size in any other header
    // would make a reader skip blocks that are not there.
    f.size = S_ISREG(st.st_mode) ? st.st_size : 0;
    f.uname = uidname(st.st_uid);
    f.gname = gidname(st.st_gid);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        f.device = true;
        f.devmajor = major(st.st_rdev);
        f.devminor = minor(st.st_rdev);
    }
    return f;
}

// For a file with more than one link (never a directory): the name it was
// first archived under in this run, or null when this is its first name, which
// is then remembered.
const char *earlier_name(const struct stat &st, const char *name) {
    if (st.st_nlink <= 1 || S_ISDIR(st.st_mode))
        return nullptr;
    file_id id{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    const char *first_name = find_hardlink(id);
    if (first_name == nullptr)
        enter_hardlink(name, id);
    return first_name;
}

// Reads the target of the symbolic link `name` in `dirfd` into `target` and
// points `linkname` at it; a target that does not leave room for a NUL does
// not fit.
int read_link_target(int dirfd, const char *name, char (&target)[kNameSize],
                     std::string_view &linkname) {
    ssize_t n = readlinkat(dirfd, name, target, kNameSize);
    if (n < 0) {
        std::perror("readlink() failed");
        return code::cannot_read_link;
    }
    if (std::size_t(n) >= kNameSize)
        return code::does_not_fit;
    linkname = std::string_view(target, std::size_t(n));
    return code::ok;
}

} // namespace

int create(const char *path) {
    return create_at(AT_FDCWD, path, path);
}

int create_at(int dirfd, const char *at_name, const char *path) {
    char name[kNameSize] = {};
    char second[kNameSize] = {};
    std::size_t len = normpath(path, name);
    if (len >= kNameSize) {
        leave_out_long_name(path, len);
        return code::ok;
    }
    if (is_excluded(std::string_view(name, len)))
        return code::ok;

    struct stat st;
    if (fstatat(dirfd, at_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        std::perror("Can't stat");
        return code::cannot_stat;
    }
    if (len == 0)
        return S_ISDIR(st.st_mode) ? walkdir(dirfd, at_name, path, st) : code::empty_name;
    if (S_ISREG(st.st_mode) && is_the_archive(st.st_dev, st.st_ino)) {
        // Copying the archive into itself would never end well: it grows
        // while it is read.
        std::fprintf(stderr, "quarc: %s: the archive itself is left out\n", path);
        return code::ok;
    }

    const char *first_name = earlier_name(st, name);
    header_fields f = fields_from_status(st);
    f.name = std::string_view(name, len);
    if (S_ISDIR(st.st_mode)) {
        std::memcpy(second, name, len);
        second[len] = '/';
        f.name = std::string_view(second, len + 1);
    }
    if (first_name != nullptr) {
        f.typeflag = typeflag::hard_link;
        f.size = 0;
        f.linkname = first_name;
    } else if (S_ISLNK(st.st_mode)) {
        if (int result = read_link_target(dirfd, at_name, second, f.linkname); result != code::ok)
            return result;
    }

    header_block block;
    if (!fill_header(f, block))
        return code::does_not_fit;
    if (!write_archive(block.data(), block.size()))
        return code::short_write;
    if (first_name != nullptr)
        return code::ok;
    if (S_ISREG(st.st_mode))
        return copydata(dirfd, at_name, path, st);
    if (S_ISDIR(st.st_mode))
        return walkdir(dirfd, at_name, path, st);
    return code::ok;
}

} // namespace quarc
