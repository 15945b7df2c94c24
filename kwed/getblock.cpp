// Reading the run-control file one logical line at a time. A backslash
// right before a newline joins the next line to this one; two backslashes
// escape nothing.
#include "kwed.h"

#include <climits>
#include <cstdlib>

namespace kwed {

namespace {

// A block buffer starts this large and grows by as much again.
constexpr std::size_t block_step = 8192;

// Makes room for one more character and the closing NUL.
bool make_room(char *&buf, std::size_t &cap, std::size_t len) {
    if (len + 1 < cap)
        return true;
    // The size is returned as an int; a longer block counts as no memory.
    if (cap > static_cast<std::size_t>(INT_MAX) - block_step)
        return false;
    auto *bigger = static_cast<char *>(std::realloc(buf, cap + block_step));
    if (bigger == nullptr)
        return false;
    buf = bigger;
    cap += block_step;
    return true;
}

// Hands the finished block (newline already stored) to the caller.
int finish(char *buf, std::size_t len, char **block) {
    buf[len++] = '\0';
    if (auto *fit = static_cast<char *>(std::realloc(buf, len)))
        buf = fit;
    *block = buf;
    return static_cast<int>(len);
}

} // namespace

int getblock(std::FILE *fp, char **block) {
    *block = nullptr;
    std::size_t cap = block_step;
    auto *buf = static_cast<char *>(std::malloc(cap));
    if (buf == nullptr)
        return gb_nomem;
    std::size_t len = 0;
    bool escaped = false;
    for (;;) {
        int c = std::getc(fp);
        if (c == EOF)
            break;
        if (c == '\n' && escaped) {
            // Drop the backslash and the newline; the next line continues.
            --len;
            escaped = false;
            continue;
        }
        if (!make_room(buf, cap, len)) {
            std::free(buf);
            return gb_nomem;
        }
        buf[len++] = static_cast<char>(c);
        if (c == '\n') {
            if (std::ferror(fp)) {
                std::free(buf);
                return gb_error;
            }
            return finish(buf, len, block);
        }
        escaped = c == '\\' && !escaped;
    }
    if (std::ferror(fp)) {
        std::free(buf);
        return gb_error;
    }
    // A last line that no newline ends is still a line: a trailing
    // backslash continues it into nothing, and a newline closes it.
    if (escaped)
        --len;
    if (len == 0) {
        std::free(buf);
        return gb_eof;
    }
    if (!make_room(buf, cap, len)) {
        std::free(buf);
        return gb_nomem;
    }
    buf[len++] = '\n';
    return finish(buf, len, block);
}

} // namespace kwed
