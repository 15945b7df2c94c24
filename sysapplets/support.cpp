// The dispatcher's services for the applets: error reporting, environment
// assignment and allocation that cannot fail.
#include "support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sysapplets {
namespace {

const char *current_name = "sysapplets";

} // namespace

void set_program_name(const char *name) {
    current_name = name;
}

int name_and_error(const char *name) {
    const int saved = errno;
    std::fprintf(stderr, "%s: %s: %s\n", current_name, name, std::strerror(saved));
    errno = saved;
    return -1;
}

int addenv(const char *name, const char *value) {
    if (value)
        return setenv(name, value, 1);
    // A complete assignment: split at the first equals sign. setenv copies
    // both halves, so the caller may free its text at once.
    const char *equals = std::strchr(name, '=');
    if (!equals || equals == name) {
        errno = EINVAL;
        return -1;
    }
    char *variable = strndup(name, std::size_t(equals - name));
    if (!variable)
        return -1;
    const int result = setenv(variable, equals + 1, 1);
    std::free(variable);
    return result;
}

void *xmalloc(std::size_t size) {
    // malloc(0) may legitimately return null; ask for one byte instead so a
    // null result always means memory ran out.
    void *block = std::malloc(size ? size : 1);
    if (!block) {
        std::fprintf(stderr, "%s: out of memory\n", current_name);
        std::exit(1);
    }
    return block;
}

} // namespace sysapplets
