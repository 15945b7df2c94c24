// The sessdump applet: decodes utmp records by their byte offsets, so the
// output is the same whatever the width of the C library's own utmp struct.
#include "sessdump.h"

#include "control_chars.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace sysapplets {

const char sessdump_usage[] = "sessdump\n\n\tDump file or stdin utmp file format to stdout, pipe "
                              "delimited.\n\tsessdump /var/run/utmp\n";

namespace {

std::uint16_t load_u16(utmp_record record, std::size_t at) {
    return std::uint16_t(record[at] | record[at + 1] << 8);
}

std::uint32_t load_u32(utmp_record record, std::size_t at) {
    return std::uint32_t(record[at]) | std::uint32_t(record[at + 1]) << 8 |
           std::uint32_t(record[at + 2]) << 16 | std::uint32_t(record[at + 3]) << 24;
}

// Writes v in decimal at out and returns the end.
char *put_decimal(char *out, std::int32_t v) {
    // Work on the magnitude as unsigned so the most negative value works.
    std::uint32_t magnitude = std::uint32_t(v);
    if (v < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    int count = 0;
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    while (count)
        *out++ = digits[--count];
    return out;
}

// Writes v in lower-case hexadecimal without leading zeros.
char *put_hex(char *out, std::uint32_t v) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[v & 0xf];
        v >>= 4;
    } while (v);
    while (count)
        *out++ = digits[--count];
    return out;
}

// Copies the text starting at offset up to its zero byte, which may lie in
// a later field, but never past the end of the record. A login record's
// texts come from outside (a remote host's name, a terminal line), so each
// control character, a newline or a terminal escape, shows as one '?': a
// record stays one line and cannot drive the reader's terminal. So does
// each '|', so that a line always has its twelve fields.
char *put_text(char *out, utmp_record record, std::size_t at) {
    const char *start = reinterpret_cast<const char *>(record.data()) + at;
    const void *zero = std::memchr(start, 0, utmp_record_size - at);
    std::string_view text(start, zero ? std::size_t(static_cast<const char *>(zero) - start)
                                      : utmp_record_size - at);
    return suite::mark_controls(out, text, '|');
}

struct file_closer {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

} // namespace

std::size_t format_utmp_record(utmp_record record, std::span<char, utmp_line_max> line) {
    namespace at = utmp_offset;
    char *out = line.data();
    out = put_decimal(out, std::int16_t(load_u16(record, at::type)));
    *out++ = '|';
    out = put_decimal(out, std::int32_t(load_u32(record, at::pid)));
    for (const std::size_t text : {at::line, at::id, at::user, at::host}) {
        *out++ = '|';
        out = put_text(out, record, text);
    }
    *out++ = '|';
    out = put_decimal(out, std::int16_t(load_u16(record, at::termination)));
    *out++ = '|';
    out = put_decimal(out, std::int16_t(load_u16(record, at::exit)));
    for (const std::size_t number : {at::session, at::tv_sec, at::tv_usec}) {
        *out++ = '|';
        out = put_decimal(out, std::int32_t(load_u32(record, number)));
    }
    *out++ = '|';
    out = put_hex(out, load_u32(record, at::addr));
    *out++ = '\n';
    return std::size_t(out - line.data());
}

int sessdump_stream(std::FILE *in, std::FILE *out) {
    std::array<unsigned char, utmp_record_size> record;
    std::array<char, utmp_line_max> line;
    for (;;) {
        const std::size_t got = std::fread(record.data(), 1, record.size(), in);
        // A read error leaves a piece of a record, not a record that ended
        // early: it is not printed.
        if (got == 0 || (got < record.size() && std::ferror(in)))
            break;
        // A short final record: what the input did not hold reads as zeros,
        // never as bytes of the record before.
        std::memset(record.data() + got, 0, record.size() - got);
        std::fwrite(line.data(), 1, format_utmp_record(record, line), out);
    }
    return std::ferror(in) ? -1 : 0;
}

int sessdump_fn(const file_info *file) {
    std::unique_ptr<std::FILE, file_closer> opened;
    std::FILE *in = stdin;
    const char *name = "standard input";
    if (file) {
        name = file->source;
        opened.reset(std::fopen(name, "r"));
        if (!opened) {
            name_and_error(name);
            return 1;
        }
        in = opened.get();
    }
    if (sessdump_stream(in, stdout) != 0) {
        name_and_error(name);
        return 1;
    }
    return 0;
}

} // namespace sysapplets
