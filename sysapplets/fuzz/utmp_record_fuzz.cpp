// Feeds arbitrary bytes to the utmp record decoder, record by record and as
// a whole stream with a short final record.
#include "../sessdump.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace sysapplets;
    std::array<char, utmp_line_max> line;
    for (std::size_t at = 0; at + utmp_record_size <= size; at += utmp_record_size) {
        const std::size_t length =
            format_utmp_record(utmp_record(data + at, utmp_record_size), line);
        // Eight numbers of at least one digit, eleven separators, a newline.
        if (length < 20 || length > line.size() || line[length - 1] != '\n')
            std::abort();
    }
    static std::FILE *sink = std::fopen("/dev/null", "w");
    std::FILE *in = fmemopen(const_cast<std::uint8_t *>(data), size, "r");
    if (in && sink) {
        if (sessdump_stream(in, sink) != 0)
            std::abort();
        std::fclose(in);
    }
    return 0;
}
