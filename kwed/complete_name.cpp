// Completing a file name in a question: the names in the folder of the
// typed path that begin with its last part.
#include "editor_core.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace kwed {

namespace {

// The names in the open folder that begin with prefix; a folder's name
// ends in '/'. Names that begin with a dot only when the prefix does.
std::vector<std::string> matchingnames(const place &folder, const std::string &prefix) {
    std::vector<std::string> names;
    int fd = ::openat(folder.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent *e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name.compare(0, prefix.size(), prefix) != 0 ||
            (name[0] == '.' && prefix.empty()))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))
            name += '/';
        names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

name_completion completename(const std::string &typed) {
    std::size_t slash = typed.rfind('/');
    std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
    std::string prefix = typed.substr(cut);
    // The folder is opened as saving opens it: the place of a name in it.
    place folder;
    if (openplace((typed.substr(0, cut) + ".").c_str(), &folder) != 0)
        return {};
    name_completion c;
    c.names = matchingnames(folder, prefix);
    if (c.names.empty())
        return c;
    const std::string &first = c.names.front();
    std::size_t common = first.size();
    for (const std::string &n : c.names) {
        std::size_t i = prefix.size();
        while (i < common && i < n.size() && n[i] == first[i])
            ++i;
        common = i;
    }
    c.added = first.substr(prefix.size(), common - prefix.size());
    return c;
}

} // namespace kwed
