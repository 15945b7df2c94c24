// Extended attributes handed from a file to the new file that replaces it:
// its access ACL (system.posix_acl_access), its security label
// (security.selinux), its capabilities (security.capability) and the
// user's own (user.*), whatever the file system lists.
#include "write_file.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/xattr.h>
#include <vector>

namespace kwed {

namespace {

constexpr std::string_view capability = "security.capability";

// The names of fd's extended attributes, each followed by a NUL; false
// when they cannot be listed. A file system without attributes has none.
bool listnames(int fd, std::vector<char> *names) {
    for (;;) {
        ssize_t n = ::flistxattr(fd, nullptr, 0);
        if (n < 0) {
            names->clear();
            return errno == ENOTSUP;
        }
        names->resize(static_cast<std::size_t>(n));
        if (n == 0)
            return true;
        n = ::flistxattr(fd, names->data(), names->size());
        if (n >= 0) {
            names->resize(static_cast<std::size_t>(n));
            return true;
        }
        if (errno != ERANGE) // else it grew in between: again
            return false;
    }
}

// Calls each(name) for every name in the list, until one gives false.
template <typename F> bool eachname(const std::vector<char> &names, F each) {
    for (std::size_t at = 0; at < names.size();) {
        const char *name = names.data() + at;
        if (!each(name))
            return false;
        at += std::strlen(name) + 1;
    }
    return true;
}

bool listed(const std::vector<char> &names, std::string_view name) {
    return !eachname(names, [name](const char *n) { return name != n; });
}

bool copyone(int from, int to, const char *name) {
    std::vector<char> value;
    for (;;) {
        ssize_t n = ::fgetxattr(from, name, nullptr, 0);
        if (n < 0)
            return false;
        value.resize(static_cast<std::size_t>(n) + 1);
        n = ::fgetxattr(from, name, value.data(), value.size());
        if (n >= 0)
            return ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(n), 0) == 0;
        if (errno != ERANGE)
            return false;
    }
}

} // namespace

bool copyattributes(int from, int to) {
    std::vector<char> had;
    std::vector<char> has;
    if (!listnames(from, &had) || !listnames(to, &has))
        return false;
    // The new file may have been given attributes of its own (a folder's
    // default ACL): those the original lacks go.
    bool ok = eachname(
        has, [&](const char *name) { return listed(had, name) || ::fremovexattr(to, name) == 0; });
    ok = ok && eachname(had, [&](const char *name) {
             return name == capability || copyone(from, to, name);
         });
    return ok && (!listed(had, capability) || copyone(from, to, capability.data()));
}

} // namespace kwed
