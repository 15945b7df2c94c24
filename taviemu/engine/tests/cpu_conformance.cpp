// cpu-conformance: runs hardware-recorded 80286 single-instruction tests
// through the engine and reports, per file, how many pass.
//
//   cpu-conformance DIR [KEY...]
//
// DIR holds files named KEY.txt.gz; with KEYs only those files run. Prints
// one line per file and, for each failing test, its id and the first
// difference; ends with "N passed, M failed, K skipped". Exit status 0 when
// nothing failed, 1 when a test failed, 2 on a usage or read error.
#include "cpu_test_case.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace vm86::conformance {
namespace {

constexpr std::string_view file_suffix = ".txt.gz";
// Longest test line: a REP instruction lists a few hundred bytes of memory.
constexpr size_t line_max = 1 << 16;

// Files whose instructions read the I/O bus, which the tests do not record.
constexpr std::string_view io_files[] = {"6C", "6D", "6E", "6F", "E4", "E5",
                                         "E6", "E7", "EC", "ED", "EE", "EF"};

struct Totals {
    unsigned passed = 0, failed = 0, skipped = 0;
};

struct GzCloser {
    void operator()(gzFile f) const { gzclose(f); }
};
using GzFile = std::unique_ptr<gzFile_s, GzCloser>;

// Opens a compressed test file; null when it cannot be opened or is not
// gzip data (zlib would otherwise pass plain bytes through unchanged).
GzFile open_gz(const std::string &path) {
    GzFile in(gzopen(path.c_str(), "rb"));
    if (!in)
        return in;
    gzbuffer(in.get(), 1 << 17);
    if (gzdirect(in.get()))
        return nullptr;
    return in;
}

// True when the whole stream was read without a decompression error (a
// truncated file reports one too).
bool read_to_end(gzFile in) {
    int err = Z_OK;
    gzerror(in, &err);
    return gzeof(in) && err == Z_OK;
}

bool is_io_file(std::string_view key) {
    return std::find(std::begin(io_files), std::end(io_files), key) != std::end(io_files);
}

// Runs one file; false when it could not be read.
bool run_file(const std::string &dir, std::string_view key, uint8_t *memory, Totals &all) {
    GzFile in = open_gz(dir + "/" + std::string(key) + std::string(file_suffix));
    if (!in)
        return false;
    Totals t;
    std::vector<std::string> failures;
    std::vector<char> line(line_max);
    CpuTest test;
    bool io = is_io_file(key), any = false;
    while (gzgets(in.get(), line.data(), int(line.size()))) {
        std::string_view s(line.data());
        any = true;
        if (s.empty() || s[0] == '#')
            continue;
        if (!parse_test(s, test)) {
            ++t.failed;
            failures.push_back("  unreadable test line: " + std::string(s.substr(0, 40)));
            continue;
        }
        if (io) {
            ++t.skipped;
            continue;
        }
        std::string diff = run_test(test, memory);
        if (diff.empty()) {
            ++t.passed;
        } else {
            ++t.failed;
            failures.push_back("  " + test.id + " (" + test.disassembly + "): " + diff);
        }
    }
    if (!any || !read_to_end(in.get()))
        return false;
    std::printf("%.*s: %u passed, %u failed, %u skipped\n", int(key.size()), key.data(), t.passed,
                t.failed, t.skipped);
    for (const std::string &f : failures)
        std::printf("%s\n", f.c_str());
    all.passed += t.passed;
    all.failed += t.failed;
    all.skipped += t.skipped;
    return true;
}

std::vector<std::string> file_keys(const std::string &dir) {
    std::vector<std::string> keys;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return keys;
    while (dirent *e = readdir(d)) {
        std::string_view name(e->d_name);
        if (name.size() > file_suffix.size() && name.ends_with(file_suffix))
            keys.emplace_back(name.substr(0, name.size() - file_suffix.size()));
    }
    closedir(d);
    std::sort(keys.begin(), keys.end());
    return keys;
}

int conformance_main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: cpu-conformance DIR [KEY...]\n");
        return 2;
    }
    std::string dir = argv[1];
    std::vector<std::string> keys;
    for (int i = 2; i < argc; ++i)
        keys.emplace_back(argv[i]);
    if (keys.empty())
        keys = file_keys(dir);
    if (keys.empty()) {
        std::fprintf(stderr, "cpu-conformance: no test files in %s\n", dir.c_str());
        return 2;
    }
    std::vector<uint8_t> memory(test_memory_size);
    Totals all;
    int status = 0;
    for (const std::string &key : keys) {
        if (!run_file(dir, key, memory.data(), all)) {
            std::fprintf(stderr, "cpu-conformance: cannot read %s/%s%s\n", dir.c_str(), key.c_str(),
                         file_suffix.data());
            status = 2;
        }
    }
    std::printf("%u passed, %u failed, %u skipped\n", all.passed, all.failed, all.skipped);
    if (status == 0 && all.failed)
        status = 1;
    std::fflush(stdout);
    return status;
}

} // namespace
} // namespace vm86::conformance

int main(int argc, char **argv) {
    return vm86::conformance::conformance_main(argc, argv);
}
