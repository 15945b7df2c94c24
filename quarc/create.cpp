#include "archive_output.h"
#include "exclude_table.h"
#include "hard_links.h"
#include "header_block.h"
#include "member_writer.h"
#include "messages.h"
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

// Returned inside this file for a member that was named on standard error
// and left out: create then returns ok, and the run goes on.
constexpr int left_out = -1;

// A member that was there when it was listed or examined and is gone now
// (temporary files come and go while a tree is archived): named and left out.
void report_gone(const char *path) {
    report_incomplete(path, "no longer there, left out");
}

// lstat failed. A listed name that is gone now is left out; a name the
// caller gave that cannot be examined ends the run, and so does the empty
// name of an empty line, which no file ever had.
int stat_failed(named_by who, const char *path) {
    if (who == named_by::listing && *path != '\0' && is_gone(errno)) {
        report_gone(path);
        return code::ok;
    }
    std::perror("Can't stat");
    return code::cannot_stat;
}

// Reads the target of the symbolic link `name` in `dirfd` into `target` and
// points `linkname` at it. A link that is gone, or is no link any more, since
// lstat saw it, and a target that does not leave room for a NUL, leave the
// member out.
int read_link_target(int dirfd, const char *name, const char *path, char (&target)[kNameSize],
                     std::string_view &linkname) {
    ssize_t n = readlinkat(dirfd, name, target, kNameSize);
    if (n < 0 && (is_gone(errno) || errno == EINVAL)) {
        report_gone(path);
        return left_out;
    }
    if (n < 0) {
        std::perror("readlink() failed");
        return code::cannot_read_link;
    }
    if (std::size_t(n) >= kNameSize) {
        report_incomplete(path, "symbolic link target too long for the archive, left out");
        return left_out;
    }
    linkname = std::string_view(target, std::size_t(n));
    return code::ok;
}

// Writes the header of the examined member `name` (its normalised name) with
// the fields `f` so far, then its data or its directory's entries.
int write_member(int dirfd, const char *at_name, const char *path, const struct stat &st,
                 std::string_view name, header_fields &f) {
    char dir_name[kNameSize + 1];
    const char *first_name = earlier_name(st, name.data());
    f.name = name;
    if (S_ISDIR(st.st_mode)) {
        std::memcpy(dir_name, name.data(), name.size());
        dir_name[name.size()] = '/';
        f.name = std::string_view(dir_name, name.size() + 1);
    }
    if (first_name != nullptr) {
        f.typeflag = typeflag::hard_link;
        f.size = 0;
        f.linkname = first_name;
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

} // namespace

int create(const char *path, named_by who) {
    return create_at(AT_FDCWD, path, path, who);
}

int create_at(int dirfd, const char *at_name, const char *path, named_by who) {
    char name[kNameSize] = {};
    std::size_t len = normpath(path, name);
    if (len >= kNameSize) {
        leave_out_long_name(path, len);
        return code::ok;
    }
    if (is_excluded(std::string_view(name, len)))
        return code::ok;

    struct stat st;
    if (fstatat(dirfd, at_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return stat_failed(who, path);
    if (len == 0)
        return S_ISDIR(st.st_mode) ? walkdir(dirfd, at_name, path, st) : code::empty_name;
    if (S_ISREG(st.st_mode) && is_the_archive(st.st_dev, st.st_ino)) {
        // Copying the archive into itself would never end well: it grows
        // while it is read.
        std::fprintf(stderr, "quarc: %s: the archive itself is left out\n",
                     quoted_name(path).c_str());
        return code::ok;
    }

    // The link is read before the file enters the hard-link table, so that a
    // link left out there never becomes the first name of a later one.
    char target[kNameSize];
    header_fields f = fields_from_status(st);
    if (S_ISLNK(st.st_mode)) {
        int result = read_link_target(dirfd, at_name, path, target, f.linkname);
        if (result != code::ok)
            return result == left_out ? code::ok : result;
    }
    return write_member(dirfd, at_name, path, st, std::string_view(name, len), f);
}

} // namespace quarc
