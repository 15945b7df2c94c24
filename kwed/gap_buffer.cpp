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

namespace {

offset_t gapstart(const text_buffer &buffer) {
    return buffer.gap - buffer.buf;
}

} // namespace

int growgap(text_buffer &buffer, std::size_t n) {
    std::size_t before = buffer.gap - buffer.buf;
    std::size_t after = buffer.ebuf - buffer.egap;
    std::size_t room = buffer.egap - buffer.gap;
    std::size_t total = before + after + room + n;
    if (total < before + after || n > SIZE_MAX / 2 || total == SIZE_MAX)
        return 0;
    // One byte more, a NUL after the text's end: the regular expression
    // matcher is handed the text from its start on as a C string.
    char *block = static_cast<char *>(std::realloc(buffer.buf, total + 1));
    if (block == nullptr)
        return 0;
    // The part after the gap moves to the new end of the block.
    if (after)
        std::memmove(block + total - after, block + before + room, after);
    block[total] = '\0';
    buffer.buf = block;
    buffer.gap = buffer.buf + before;
    buffer.egap = buffer.buf + total - after;
    buffer.ebuf = buffer.buf + total;
    return 1;
}

void movegap(text_buffer &buffer, offset_t o) {
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

int raw_insert(editor &ed, offset_t at, const char *s, std::size_t n) {
    text_buffer &buffer = ed.buffer;
    if (static_cast<std::size_t>(buffer.egap - buffer.gap) < n) {
        // Grow in proportion to the text so that long pastes stay linear.
        std::size_t want = n + gap_step + static_cast<std::size_t>(textsize(buffer)) / 8;
        if (!growgap(buffer, want))
            return 0;
    }
    movegap(buffer, at);
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
    notechange(ed, at);
    ++buffer.serial;
    return 1;
}

void raw_delete(editor &ed, offset_t at, std::size_t n) {
    text_buffer &buffer = ed.buffer;
    buffer.newlines -= countlines(buffer, at, at + static_cast<offset_t>(n));
    if (at < buffer.cache_offset) {
        offset_t end = at + static_cast<offset_t>(n);
        if (end > buffer.cache_offset)
            end = buffer.cache_offset;
        buffer.cache_line -= countlines(buffer, at, end);
        buffer.cache_offset -= end - at;
    }
    if (at < buffer.mark)
        buffer.mark = std::max(at, buffer.mark - static_cast<offset_t>(n));
    movegap(buffer, at);
    buffer.egap += n;
    notechange(ed, at);
    ++buffer.serial;
}

void copytext(const text_buffer &buffer, offset_t at, std::size_t n, char *out) {
    offset_t g = gapstart(buffer);
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

void freebuffer(editor &ed) {
    text_buffer &buffer = ed.buffer;
    undo_clear(ed);
    std::free(buffer.buf);
    buffer.buf = buffer.ebuf = buffer.gap = buffer.egap = nullptr;
    buffer.point = 0;
    buffer.mark = -1;
    buffer.cache_offset = 0;
    buffer.cache_line = 1;
    buffer.newlines = 0;
    notechange(ed, 0);
    ++buffer.serial;
}

int readfile(editor &ed, int fd) {
    freebuffer(ed);
    text_buffer &buffer = ed.buffer;
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
    if (!growgap(buffer, want))
        return ENOMEM;
    // Read to the end: the size may have changed, and devices have none.
    for (;;) {
        if (buffer.egap - buffer.gap < 4096 && !growgap(buffer, gap_step + textsize(buffer) / 2))
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
    buffer.newlines = countlines(buffer, 0, textsize(buffer));
    return 0;
}

// ------------------------------------------------------------ structure

offset_t linestart(const text_buffer &buffer, offset_t o) {
    offset_t g = gapstart(buffer);
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

offset_t lineend(const text_buffer &buffer, offset_t o) {
    offset_t g = gapstart(buffer);
    if (o < g) {
        const void *nl = std::memchr(buffer.buf + o, '\n', g - o);
        if (nl)
            return static_cast<const char *>(nl) - buffer.buf;
        o = g;
    }
    const char *base = buffer.egap - g;
    const void *nl =
        std::memchr(buffer.egap + (o - g), '\n', buffer.ebuf - (buffer.egap + (o - g)));
    return nl ? static_cast<const char *>(nl) - base : textsize(buffer);
}

offset_t countlines(const text_buffer &buffer, offset_t from, offset_t to) {
    offset_t g = gapstart(buffer);
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

offset_t linetooffset(const text_buffer &buffer, offset_t n) {
    offset_t o = 0;
    offset_t size = textsize(buffer);
    while (n > 1) {
        offset_t e = lineend(buffer, o);
        if (e >= size)
            break;
        o = e + 1;
        --n;
    }
    return o;
}

offset_t lineof(text_buffer &buffer, offset_t o) {
    // Count from the nearest of the last lookup, the start and the end.
    offset_t size = textsize(buffer);
    offset_t fromcache =
        o >= buffer.cache_offset ? o - buffer.cache_offset : buffer.cache_offset - o;
    if (size - o < fromcache && size - o < o) {
        buffer.cache_line = buffer.newlines + 1 - countlines(buffer, o, size);
    } else if (o >= buffer.cache_offset) {
        buffer.cache_line += countlines(buffer, buffer.cache_offset, o);
    } else if (fromcache < o) {
        buffer.cache_line -= countlines(buffer, o, buffer.cache_offset);
    } else {
        buffer.cache_line = 1 + countlines(buffer, 0, o);
    }
    buffer.cache_offset = o;
    return buffer.cache_line;
}

offset_t findtext(const text_buffer &buffer, offset_t from, std::string_view pat) {
    offset_t size = textsize(buffer);
    offset_t m = static_cast<offset_t>(pat.size());
    if (m == 0 || from < 0 || from + m > size)
        return -1;
    offset_t g = gapstart(buffer);
    if (from < g) {
        const void *hit = memmem(buffer.buf + from, g - from, pat.data(), m);
        if (hit)
            return static_cast<const char *>(hit) - buffer.buf;
        // Matches that begin before the gap and end after it.
        offset_t s = g - m + 1 > from ? g - m + 1 : from;
        for (; s < g && s + m <= size; ++s) {
            offset_t i = 0;
            while (i < m && byteat(buffer, s + i) == static_cast<unsigned char>(pat[i]))
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
