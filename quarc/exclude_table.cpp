#include "exclude_table.h"

#include "header_block.h"
#include "normpath.h"

#include <cstdlib>
#include <cstring>

namespace quarc {

char **exclude = nullptr;
int nexclude = 0;
namespace {
int nfilled = 0;
} // namespace

bool is_excluded(std::string_view name) {
    for (int i = 0; i < nfilled; ++i)
        if (name == exclude[i])
            return true;
    return false;
}

bool make_exclude_table(int count) {
    nexclude = count;
    if (count == 0)
        return true;
    exclude = static_cast<char **>(std::malloc(sizeof(char *) * std::size_t(count)));
    return exclude != nullptr;
}

bool add_exclude(const char *name) {
    // Most names fit the archive's name buffer; a longer one can only match a
    // member that is named the same way, and is kept whole for that.
    char buffer[kNameSize];
    std::size_t len = normpath(name, buffer);
    char *copy = static_cast<char *>(std::malloc(len + 1));
    if (copy == nullptr)
        return false;
    if (len < kNameSize)
        std::memcpy(copy, buffer, len + 1);
    else
        normpath(name, std::span<char>(copy, len + 1));
    exclude[nfilled++] = copy;
    return true;
}

void release_exclude_table() {
    for (int i = 0; i < nfilled; ++i)
        std::free(exclude[i]);
    std::free(exclude);
    exclude = nullptr;
    nexclude = nfilled = 0;
}

} // namespace quarc
