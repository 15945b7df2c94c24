// The text buffer: one block of memory with a gap at the place of the last
// edit, so that typing costs no copying and a file is read in one go.
#include "editor_core.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kwed {

text_buffer buffer;

namespace {

offset_t gapstart() {
    return buffer.gap - buffer.buf;
}

} // namespace

offset_t textsize() {
    return (buffer.gap - buffer.buf) + (buffer.ebuf - buffer.egap);
}

int growgap(std::size_t n) {
    std::size_t before = buffer.gap - buffer.buf;
    std::size_t after = buffer.ebuf - buffer.egap;
    std::size_t room = buffer.egap - buffer.gap;
    std::size_t total = before + after + room + n;
    if (total < before + after || n > SIZE_MAX / 2)
        return 0;
    char *block = static_cast<char *>(std::realloc(buffer.buf, total ? total : 1));
    if (block == nullptr)
        return 0;
    // The part after the gap moves to the new end of the block.
    if (after)
        std::memmove(block + total - after, block + before + room, after);
    buffer.buf = block;
    buffer.gap = buffer.buf + before;
    buffer.egap = buffer.buf + total - after;
    buffer.ebuf = buffer.buf + total;
    return 1;
}

void movegap(offset_t o) {
    char *p = buffer.buf + o;
    if (p < buffer.gap) {
        std::size_t n = buffer.gap - p;
        std::memmove(buffer.egap - n, p, n);
        buffer.gap -= n;
        buffer.egap -= n;
    } else if (p > buffer.gap) {
        std::size_t n = p - buffer.gap;
        std::memmove(buffer.gap, buffer.egap, n);
        buffer.gap += n;
        buffer.egap += n;
    }
}

int raw_insert(offset_t at, const char *s, std::size_t n) {
    if (static_cast<std::size_t>(buffer.egap - buffer.gap) < n) {
        // Grow in proportion to the text so that long pastes stay linear.
        std::size_t want = n + gap_step + static_cast<std::size_t>(textsize()) / 8;
        if (!growgap(want))
            return 0;
    }
    movegap(at);
    std::memcpy(buffer.gap, s, n);
    buffer.gap += n;
    offset_t added = static_cast<offset_t>(std::count(s, s + n, '\n'));
    buffer.newlines += added;
    if (at < buffer.cache_offset) {
        buffer.cache_offset += n;
        buffer.cache_line += added;
    }
    if (at < buffer.mark)
        buffer.mark += static_cast<offset_t>(n);
    notechange(at);
    ++buffer.serial;
    return 1;
}

void raw_delete(offset_t at, std::size_t n) {
    buffer.newlines -= countlines(at, at + static_cast<offset_t>(n));
    if (at < buffer.cache_offset) {
        offset_t end = at + static_cast<offset_t>(n);
        if (end > buffer.cache_offset)
            end = buffer.cache_offset;
        buffer.cache_line -= countlines(at, end);
        buffer.cache_offset -= end - at;
    }
    if (at < buffer.mark)
        buffer.mark = std::max(at, buffer.mark - static_cast<offset_t>(n));
    movegap(at);
    buffer.egap += n;
    notechange(at);
    ++buffer.serial;
}

void copytext(offset_t at, std::size_t n, char *out) {
    offset_t g = gapstart();
    offset_t end = at + static_cast<offset_t>(n);
    if (at < g) {
        offset_t first = (end < g ? end : g) - at;
        std::memcpy(out, buffer.buf + at, first);
        out += first;
        at += first;
    }
    if (at < end)
        std::memcpy(out, buffer.egap + (at - g), end - at);
}

void freebuffer() {
    std::free(buffer.buf);
    buffer.buf = buffer.ebuf = buffer.gap = buffer.egap = nullptr;
    buffer.point = 0;
    buffer.mark = -1;
    buffer.cache_offset = 0;
    buffer.cache_line = 1;
    buffer.newlines = 0;
    notechange(0);
    ++buffer.serial;
}

int readfile(int fd) {
    freebuffer();
    struct stat st;
    if (fstat(fd, &st) != 0)
        return errno;
    std::size_t want = gap_step;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (S_ISREG(st.st_mode)) {
        // Offsets into the text are ptrdiff_t: 31 bits on 32-bit machines.
        if (st.st_size > PTRDIFF_MAX / 2)
            return EFBIG;
        want += static_cast<std::size_t>(st.st_size);
    }
    if (!growgap(want))
        return ENOMEM;
    // Read to the end: the size may have changed, and devices have none.
    for (;;) {
        if (buffer.egap - buffer.gap < 4096 && !growgap(gap_step + textsize() / 2))
            return ENOMEM;
        ssize_t got = ::read(fd, buffer.gap, buffer.egap - buffer.gap);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        buffer.gap += got;
    }
    buffer.newlines = countlines(0, textsize());
    return 0;
}

// ------------------------------------------------------------ structure

offset_t linestart(offset_t o) {
    offset_t g = gapstart();
    if (o > g) {
        const char *base = buffer.egap - g;
        const void *nl = memrchr(buffer.egap, '\n', o - g);
        if (nl)
            return static_cast<const char *>(nl) - base + 1;
        o = g;
    }
    const void *nl = memrchr(buffer.buf, '\n', o);
    return nl ? static_cast<const char *>(nl) - buffer.buf + 1 : 0;
}

offset_t lineend(offset_t o) {
    offset_t g = gapstart();
    if (o < g) {
        const void *nl = std::memchr(buffer.buf + o, '\n', g - o);
        if (nl)
            return static_cast<const char *>(nl) - buffer.buf;
        o = g;
    }
    const char *base = buffer.egap - g;
    const void *nl =
        std::memchr(buffer.egap + (o - g), '\n', buffer.ebuf - (buffer.egap + (o - g)));
    return nl ? static_cast<const char *>(nl) - base : textsize();
}

offset_t countlines(offset_t from, offset_t to) {
    offset_t g = gapstart();
    offset_t n = 0;
    // The part before the gap, then the part after it.
    auto count = [&n](const char *p, const char *e) {
        while (p < e) {
            const void *nl = std::memchr(p, '\n', e - p);
            if (!nl)
                break;
            ++n;
            p = static_cast<const char *>(nl) + 1;
        }
    };
    if (from < g)
        count(buffer.buf + from, buffer.buf + (to < g ? to : g));
    if (to > g)
        count(buffer.egap + ((from > g ? from : g) - g), buffer.egap + (to - g));
    return n;
}

offset_t linetooffset(offset_t n) {
    offset_t o = 0;
    offset_t size = textsize();
    while (n > 1) {
        offset_t e = lineend(o);
        if (e >= size)
            break;
        o = e + 1;
        --n;
    }
    return o;
}

offset_t lineof(offset_t o) {
    // Count from the nearest of the last lookup, the start and the end.
    offset_t size = textsize();
    offset_t fromcache =
        o >= buffer.cache_offset ? o - buffer.cache_offset : buffer.cache_offset - o;
    if (size - o < fromcache && size - o < o) {
        buffer.cache_line = buffer.newlines + 1 - countlines(o, size);
    } else if (o >= buffer.cache_offset) {
        buffer.cache_line += countlines(buffer.cache_offset, o);
    } else if (fromcache < o) {
        buffer.cache_line -= countlines(o, buffer.cache_offset);
    } else {
        buffer.cache_line = 1 + countlines(0, o);
    }
    buffer.cache_offset = o;
    return buffer.cache_line;
}

offset_t findtext(offset_t from, std::string_view pat) {
    offset_t size = textsize();
    offset_t m = static_cast<offset_t>(pat.size());
    if (m == 0 || from < 0 || from + m > size)
        return -1;
    offset_t g = gapstart();
    if (from < g) {
        const void *hit = memmem(buffer.buf + from, g - from, pat.data(), m);
        if (hit)
            return static_cast<const char *>(hit) - buffer.buf;
        // Matches that begin before the gap and end after it.
        offset_t s = g - m + 1 > from ? g - m + 1 : from;
        for (; s < g && s + m <= size; ++s) {
            offset_t i = 0;
            while (i < m && byteat(s + i) == static_cast<unsigned char>(pat[i]))
                ++i;
            if (i == m)
                return s;
        }
        from = g;
    }
    const char *base = buffer.egap - g;
    const void *hit = memmem(buffer.egap + (from - g), size - from, pat.data(), m);
    return hit ? static_cast<const char *>(hit) - base : -1;
}

} // namespace kwed
