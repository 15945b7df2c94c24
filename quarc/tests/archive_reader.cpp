#include "archive_reader.h"

#include "run_program.h"

#include <cstdio>
#include <cstring>

namespace quarc_test {

long long number(std::string_view f) {
    if (!f.empty() && (static_cast<unsigned char>(f[0]) & 0x80)) {
        long long v = static_cast<unsigned char>(f[0]) == 0xff ? -1 : 0;
        for (std::size_t i = 1; i < f.size(); ++i)
            v = static_cast<long long>(static_cast<unsigned long long>(v) << 8) |
                static_cast<unsigned char>(f[i]);
        return v;
    }
    long long v = 0;
    for (char c : f) {
        if (c >= '0' && c <= '7')
            v = v * 8 + (c - '0');
        else if (c == '\0')
            break;
    }
    return v;
}

unsigned block_sum(std::string_view block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < block.size(); ++i)
        sum += (i >= 148 && i < 156) ? unsigned(' ') : static_cast<unsigned char>(block[i]);
    return sum;
}

archive read_archive(std::string_view bytes) {
    archive a;
    const std::string zeros(512, '\0');
    std::size_t pos = 0;
    while (pos + 512 <= bytes.size()) {
        std::string_view block = bytes.substr(pos, 512);
        if (block == zeros) {
            a.has_end_marker = bytes.substr(pos) == std::string(bytes.size() - pos, '\0') &&
                               bytes.size() - pos == 1024;
            if (!a.has_end_marker)
                a.error =
                    "zero block not followed by exactly one more at offset " + std::to_string(pos);
            return a;
        }
        member m;
        m.header = std::string(block);
        m.name = std::string(block.substr(0, strnlen(block.data(), 100)));
        m.type = block[156];
        m.size = number(block.substr(124, 12));
        unsigned stored = unsigned(number(block.substr(148, 8)));
        if (stored != block_sum(block))
            a.error = "bad checksum in the header of " + m.name;
        pos += 512;
        std::size_t data = std::size_t((m.size + 511) / 512 * 512);
        if (pos + data > bytes.size()) {
            a.error = "data of " + m.name + " cut short";
            a.members.push_back(m);
            return a;
        }
        m.data = std::string(bytes.substr(pos, data));
        pos += data;
        a.members.push_back(std::move(m));
    }
    if (pos != bytes.size())
        a.error = "archive length is not a multiple of 512";
    return a;
}

std::string expected_header(const expected_fields &s) {
    std::string h(512, '\0');
    auto put = [&](std::size_t offset, const std::string &text) {
        std::memcpy(&h[offset], text.data(), text.size());
    };
    put(0, s.name);
    put(100, s.mode);
    put(108, s.uid);
    put(116, s.gid);
    put(124, s.size);
    put(136, s.mtime);
    h[156] = s.type;
    put(157, s.linkname);
    put(257, std::string("ustar  \0", 8));
    put(265, s.uname);
    put(297, s.gname);
    put(329, s.devmajor);
    put(337, s.devminor);
    char sum[8];
    std::snprintf(sum, sizeof sum, "%6o", block_sum(h));
    std::memcpy(&h[148], sum, 7);
    h[155] = ' ';
    return h;
}

shell_result shell(const std::string &command, const std::string &cwd) {
    suite_testing::RunOptions options;
    options.cwd = cwd;
    options.no_stdin = true;
    options.timeout_seconds = 300;
    auto r = suite_testing::run({"/bin/sh", "-c", command}, options);
    return {r.out, r.err, r.status};
}

std::string quoted(std::string_view s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

} // namespace quarc_test
