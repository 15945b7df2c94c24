#include "tree_snapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quarc_test {
namespace {

struct found {
    std::string path;
    struct stat st;
};

void walk(const std::string &root, const std::string &rel, std::vector<found> &out) {
    std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    while (const dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string child = rel.empty() ? name : rel + "/" + name;
        found f{child, {}};
        if (lstat((root + "/" + child).c_str(), &f.st) != 0)
            continue;
        out.push_back(f);
        if (S_ISDIR(f.st.st_mode))
            walk(root, child, out);
    }
    closedir(d);
}

std::string content_hash(const std::string &path) {
    std::uint64_t h = 1469598103934665603ULL; // FNV-1a
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "unreadable";
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            h = (h ^ static_cast<unsigned char>(buf[i])) * 1099511628211ULL;
    close(fd);
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

} // namespace

std::string snapshot(const std::string &root, const snapshot_options &options) {
    std::vector<found> all;
    walk(root, "", all);
    std::sort(all.begin(), all.end(),
              [](const found &a, const found &b) { return a.path < b.path; });
    // Every name of a multiply-linked file points at the first of its names.
    std::map<std::pair<dev_t, ino_t>, std::string> first_name;
    std::string text;
    for (const found &f : all) {
        const struct stat &st = f.st;
        char line[512];
        std::snprintf(line, sizeof line, "%s mode=%o owner=%u:%u mtime=%lld", f.path.c_str(),
                      unsigned(S_ISLNK(st.st_mode) ? S_IFLNK : st.st_mode), unsigned(st.st_uid),
                      unsigned(st.st_gid),
                      S_ISLNK(st.st_mode) && !options.symlink_times
                          ? 0LL
                          : static_cast<long long>(st.st_mtime));
        text += line;
        std::string full = root + "/" + f.path;
        if (S_ISREG(st.st_mode))
            text += " size=" + std::to_string(st.st_size) + " data=" + content_hash(full);
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            ssize_t n = readlink(full.c_str(), target, sizeof target);
            text += " target=" + std::string(target, n > 0 ? std::size_t(n) : 0);
        }
        if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
            text += " dev=" + std::to_string(major(st.st_rdev)) + "," +
                    std::to_string(minor(st.st_rdev));
        if (!S_ISDIR(st.st_mode) && st.st_nlink > 1) {
            auto [it, fresh] = first_name.emplace(std::make_pair(st.st_dev, st.st_ino), f.path);
            text += " links=" + std::to_string(st.st_nlink) + " same-as=" + it->second;
        }
        text += "\n";
    }
    return text;
}

} // namespace quarc_test
