// Finding the whole name of a cut one.
#include "minix_names.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

namespace taviemu {

namespace {

// The first entry of `folder` whose name is longer than `cut` and begins
// with it; empty when there is none.
std::string longer_entry(const std::string &folder, std::string_view cut) {
    DIR *listing = opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr)
        return {};
    std::string found;
    while (const struct dirent *entry = readdir(listing)) {
        std::string_view name = entry->d_name;
        if (name.size() > cut.size() && name.substr(0, cut.size()) == cut) {
            found = name;
            break;
        }
    }
    closedir(listing);
    return found;
}

bool names_nothing(const std::string &path) {
    struct stat status;
    return fstatat(AT_FDCWD, path.c_str(), &status, AT_SYMLINK_NOFOLLOW) < 0 && errno == ENOENT;
}

} // namespace

std::string whole_name(const char *name) {
    std::string_view rest = name;
    std::string path;
    bool replaced = false;
    while (!rest.empty()) {
        size_t end = rest.find('/');
        std::string_view component = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
        std::string folder = path;
        path += component;
        if (component.size() == kMinixNameMax && names_nothing(path)) {
            std::string whole = longer_entry(folder, component);
            if (!whole.empty()) {
                path = folder + whole;
                replaced = true;
            }
        }
        // The slashes after the component, as they were.
        size_t slashes = rest.find_first_not_of('/');
        slashes = slashes == std::string_view::npos ? rest.size() : slashes;
        path += rest.substr(0, slashes);
        rest.remove_prefix(slashes);
    }
    return replaced ? path : std::string{};
}

} // namespace taviemu
