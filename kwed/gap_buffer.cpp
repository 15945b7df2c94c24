// The text buffer: one block of memory with a gap at the place of the last
// edit, so that typing costs no copying and a file is read in one go.
#include "editor_core.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kwed {

char *buf = nullptr;
char *ebuf = nullptr;
char *gap = nullptr;
char *egap = nullptr;
offset_t point = 0;
unsigned serial = 0;

namespace {

// The last line number looked up, so that the next lookup nearby counts
// only the bytes in between.
offset_t cache_offset = 0;
offset_t cache_line = 1;
// Newlines in the whole text, so that lines near the end are counted
// from there.
offset_t newlines = 0;

offset_t gapstart() {
    return gap - buf;
}

} // namespace

offset_t textsize() {
    return (gap - buf) + (ebuf - egap);
}

int growgap(std::size_t n) {
    std::size_t before = gap - buf;
    std::size_t after = ebuf - egap;
    std::size_t room = egap - gap;
    std::size_t total = before + after + room + n;
    if (total < before + after || n > SIZE_MAX / 2)
        return 0;
    char *block = static_cast<char *>(std::realloc(buf, total ? total : 1));
    if (block == nullptr)
        return 0;
    // The part after the gap moves to the new end of the block.
    if (after)
        std::memmove(block + total - after, block + before + room, after);
    buf = block;
    gap = buf + before;
    egap = buf + total - after;
    ebuf = buf + total;
    return 1;
}

void movegap(offset_t o) {
    char *p = buf + o;
    if (p < gap) {
        std::size_t n = gap - p;
        std::memmove(egap - n, p, n);
        gap -= n;
        egap -= n;
    } else if (p > gap) {
        std::size_t n = p - gap;
        std::memmove(gap, egap, n);
        gap += n;
        egap += n;
    }
}

int raw_insert(offset_t at, const char *s, std::size_t n) {
    if (static_cast<std::size_t>(egap - gap) < n) {
        // Grow in proportion to the text so that long pastes stay linear.
        std::size_t want = n + gap_step + static_cast<std::size_t>(textsize()) / 8;
        if (!growgap(want))
            return 0;
    }
    movegap(at);
    std::memcpy(gap, s, n);
    gap += n;
    offset_t added = static_cast<offset_t>(std::count(s, s + n, '\n'));
    newlines += added;
    if (at < cache_offset) {
        cache_offset += n;
        cache_line += added;
    }
    notechange(at);
    ++serial;
    return 1;
}

void raw_delete(offset_t at, std::size_t n) {
    newlines -= countlines(at, at + static_cast<offset_t>(n));
    if (at < cache_offset) {
        offset_t end = at + static_cast<offset_t>(n);
        if (end > cache_offset)
            end = cache_offset;
        cache_line -= countlines(at, end);
        cache_offset -= end - at;
    }
    movegap(at);
    egap += n;
    notechange(at);
    ++serial;
}

void copytext(offset_t at, std::size_t n, char *out) {
    offset_t g = gapstart();
    offset_t end = at + static_cast<offset_t>(n);
    if (at < g) {
        offset_t first = (end < g ? end : g) - at;
        std::memcpy(out, buf + at, first);
        out += first;
        at += first;
    }
    if (at < end)
        std::memcpy(out, egap + (at - g), end - at);
}

void freebuffer() {
    std::free(buf);
    buf = ebuf = gap = egap = nullptr;
    point = 0;
    cache_offset = 0;
    cache_line = 1;
    newlines = 0;
    notechange(0);
    ++serial;
}

int readfile(const char *fn) {
    freebuffer();
    int fd = ::open(fn, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return err;
    }
    std::size_t want = gap_step;
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    if (S_ISREG(st.st_mode)) {
        // Offsets into the text are ptrdiff_t: 31 bits on 32-bit machines.
        if (st.st_size > PTRDIFF_MAX / 2) {
            ::close(fd);
            return EFBIG;
        }
        want += static_cast<std::size_t>(st.st_size);
    }
    if (!growgap(want)) {
        ::close(fd);
        return ENOMEM;
    }
    // Read to the end: the size may have changed, and devices have none.
    for (;;) {
        if (egap - gap < 4096 && !growgap(gap_step + textsize() / 2)) {
            ::close(fd);
            return ENOMEM;
        }
        ssize_t got = ::read(fd, gap, egap - gap);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int err = errno;
            ::close(fd);
            return err;
        }
        if (got == 0)
            break;
        gap += got;
    }
    ::close(fd);
    newlines = countlines(0, textsize());
    return 0;
}

// ------------------------------------------------------------ structure

offset_t linestart(offset_t o) {
    offset_t g = gapstart();
    if (o > g) {
        const char *base = egap - g;
        const void *nl = memrchr(egap, '\n', o - g);
        if (nl)
            return static_cast<const char *>(nl) - base + 1;
        o = g;
    }
    const void *nl = memrchr(buf, '\n', o);
    return nl ? static_cast<const char *>(nl) - buf + 1 : 0;
}

offset_t lineend(offset_t o) {
    offset_t g = gapstart();
    if (o < g) {
        const void *nl = std::memchr(buf + o, '\n', g - o);
        if (nl)
            return static_cast<const char *>(nl) - buf;
        o = g;
    }
    const char *base = egap - g;
    const void *nl = std::memchr(egap + (o - g), '\n', ebuf - (egap + (o - g)));
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
        count(buf + from, buf + (to < g ? to : g));
    if (to > g)
        count(egap + ((from > g ? from : g) - g), egap + (to - g));
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
    offset_t fromcache = o >= cache_offset ? o - cache_offset : cache_offset - o;
    if (size - o < fromcache && size - o < o) {
        cache_line = newlines + 1 - countlines(o, size);
    } else if (o >= cache_offset) {
        cache_line += countlines(cache_offset, o);
    } else if (fromcache < o) {
        cache_line -= countlines(o, cache_offset);
    } else {
        cache_line = 1 + countlines(0, o);
    }
    cache_offset = o;
    return cache_line;
}

offset_t findtext(offset_t from, std::string_view pat) {
    offset_t size = textsize();
    offset_t m = static_cast<offset_t>(pat.size());
    if (m == 0 || from < 0 || from + m > size)
        return -1;
    offset_t g = gapstart();
    if (from < g) {
        const void *hit = memmem(buf + from, g - from, pat.data(), m);
        if (hit)
            return static_cast<const char *>(hit) - buf;
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
    const char *base = egap - g;
    const void *hit = memmem(egap + (from - g), size - from, pat.data(), m);
    return hit ? static_cast<const char *>(hit) - base : -1;
}

} // namespace kwed
