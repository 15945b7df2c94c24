// sessdump: records built byte by byte, dumped through the library function
// and through the program, and cross-checked against utmpdump.
#include "sessdump.h"
#include "utmp_builder.h"

#include "peer_program.h"
#include "run_program.h"
#include "temp_tree.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace sysapplets_test;
using suite_testing::run;
using suite_testing::RunOptions;
using suite_testing::TempTree;

std::string format(const std::string &record) {
    std::array<char, sysapplets::utmp_line_max> line;
    const auto *bytes = reinterpret_cast<const unsigned char *>(record.data());
    const size_t length = sysapplets::format_utmp_record(
        sysapplets::utmp_record(bytes, sysapplets::utmp_record_size), line);
    return std::string(line.data(), length);
}

UtmpFields login_record() {
    UtmpFields f;
    f.type = 7;
    f.pid = 123;
    f.line = "tty1";
    f.id = "1";
    f.user = "root";
    return f;
}

TEST(SessdumpRecord, PlainLoginRecord) {
    EXPECT_EQ(format(utmp_record(login_record())), "7|123|tty1|1|root||0|0|0|0|0|0\n");
}

TEST(SessdumpRecord, EveryFieldInTableOrder) {
    UtmpFields f;
    f.type = 8;
    f.pid = 4242;
    f.line = "pts/7";
    f.id = "s7";
    f.user = "guest";
    f.host = "example.org";
    f.termination = 3;
    f.exit = 2;
    f.session = 99;
    f.tv_sec = 1700000000;
    f.tv_usec = 123456;
    f.addr = {ipv4_word(10, 1, 2, 3), 0xdeadbeef, 1, 2};
    EXPECT_EQ(format(utmp_record(f)),
              "8|4242|pts/7|s7|guest|example.org|3|2|99|1700000000|123456|302010a\n");
}

TEST(SessdumpRecord, FourCharacterIdRunsIntoUser) {
    UtmpFields f = login_record();
    f.id = "ts/0";
    EXPECT_EQ(format(utmp_record(f)), "7|123|tty1|ts/0root|root||0|0|0|0|0|0\n");
}

TEST(SessdumpRecord, NegativeAndExtremeNumbers) {
    UtmpFields f = login_record();
    f.type = -1;
    f.pid = -5;
    f.termination = -32768;
    f.exit = -2;
    f.session = -77;
    f.tv_sec = INT32_MIN;
    f.tv_usec = INT32_MAX;
    EXPECT_EQ(format(utmp_record(f)),
              "-1|-5|tty1|1|root||-32768|-2|-77|-2147483648|2147483647|0\n");
}

TEST(SessdumpRecord, LoopbackAddressInNetworkOrder) {
    UtmpFields f = login_record();
    f.addr[0] = ipv4_word(127, 0, 0, 1);
    EXPECT_EQ(format(utmp_record(f)), "7|123|tty1|1|root||0|0|0|0|0|100007f\n");
    f.addr[0] = 0xffffffffu;
    EXPECT_EQ(format(utmp_record(f)), "7|123|tty1|1|root||0|0|0|0|0|ffffffff\n");
}

TEST(SessdumpRecord, FullTextFieldsStopAtTheRecordEnd) {
    // No zero byte anywhere: every text runs to the end of the record, and
    // nothing beyond it is read.
    const std::string record(384, 'x');
    const std::string tail = "|30840|30840|2021161080|2021161080|2021161080|78787878\n";
    const std::string expected = "30840|2021161080|" + std::string(376, 'x') + "|" +
                                 std::string(344, 'x') + "|" + std::string(340, 'x') + "|" +
                                 std::string(308, 'x') + tail;
    EXPECT_EQ(format(record), expected);
    EXPECT_LE(expected.size(), sysapplets::utmp_line_max);
}

TEST(SessdumpRecord, FullHostRunsIntoTheNumbersThatFollow) {
    UtmpFields f = login_record();
    f.host = std::string(256, 'h');
    f.termination = 0x4241; // "AB" as text
    EXPECT_EQ(format(utmp_record(f)),
              "7|123|tty1|1|root|" + std::string(256, 'h') + "AB|16961|0|0|0|0|0\n");
}

// A stream that yields data and then fails, as a disk with a bad block does.
struct FailingSource {
    std::string data;
    size_t at = 0;
    static ssize_t read(void *cookie, char *buf, size_t size) {
        auto *source = static_cast<FailingSource *>(cookie);
        if (source->at == source->data.size()) {
            errno = EIO;
            return -1;
        }
        const size_t count = std::min(size, source->data.size() - source->at);
        std::memcpy(buf, source->data.data() + source->at, count);
        source->at += count;
        return ssize_t(count);
    }
};

// Dumps what source yields through sessdump_stream; returns its result
// (with errno when it failed) and the output.
std::pair<int, std::string> dump_stream(FailingSource &source) {
    std::FILE *in = fopencookie(&source, "r", {FailingSource::read, nullptr, nullptr, nullptr});
    char *text = nullptr;
    size_t size = 0;
    std::FILE *out = open_memstream(&text, &size);
    int result = sysapplets::sessdump_stream(in, out);
    if (result != 0)
        result = -errno;
    std::fclose(in);
    std::fclose(out);
    std::string dumped(text, size);
    std::free(text);
    return {result, dumped};
}

TEST(SessdumpStream, ReadErrorKeepsWholeRecordsAndDropsThePiece) {
    // One whole record, then 100 bytes of the next before the error: the
    // piece is not a record that ended early, so it is not printed.
    FailingSource source{utmp_record(login_record()) + std::string(100, 'x')};
    const auto [result, dumped] = dump_stream(source);
    EXPECT_EQ(result, -EIO);
    EXPECT_EQ(dumped, "7|123|tty1|1|root||0|0|0|0|0|0\n");
    FailingSource empty{""};
    EXPECT_EQ(dump_stream(empty), std::make_pair(-EIO, std::string()));
}

class SessdumpProgram : public ::testing::Test {
  protected:
    std::string dump_file(const std::string &name, const std::string &content) {
        return tree.file(name, content);
    }
    TempTree tree;
};

TEST_F(SessdumpProgram, DumpsAFileRecordByRecord) {
    UtmpFields second = login_record();
    second.type = 8;
    second.pid = -9;
    second.user = "guest";
    const auto path = dump_file("utmp", utmp_record(login_record()) + utmp_record(second));
    const auto r = run({SYSAPPLETS_PATH, "sessdump", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "7|123|tty1|1|root||0|0|0|0|0|0\n8|-9|tty1|1|guest||0|0|0|0|0|0\n");
}

TEST_F(SessdumpProgram, ReadsStandardInputWithoutAFile) {
    const auto r = run({SYSAPPLETS_PATH, "sessdump"}, utmp_record(login_record()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "7|123|tty1|1|root||0|0|0|0|0|0\n");
}

TEST_F(SessdumpProgram, EmptyInputPrintsNothing) {
    const auto path = dump_file("empty", "");
    const auto r = run({SYSAPPLETS_PATH, "sessdump", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const auto piped = run({SYSAPPLETS_PATH, "sessdump"}, "");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, "");
}

TEST_F(SessdumpProgram, ShortFinalRecordReadsMissingBytesAsZeros) {
    UtmpFields full = login_record();
    full.host = "previous.example";
    full.session = 55;
    full.addr[0] = ipv4_word(192, 168, 0, 1);
    UtmpFields partial;
    partial.type = 8;
    partial.pid = 9;
    partial.line = "pts/3";
    // Only the type, pid, line and the start of the id reach the input.
    const std::string input = utmp_record(full) + utmp_record(partial).substr(0, 42);
    const auto r = run({SYSAPPLETS_PATH, "sessdump"}, input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "7|123|tty1|1|root|previous.example|0|0|55|0|0|100a8c0\n"
                     "8|9|pts/3||||0|0|0|0|0|0\n");
}

TEST_F(SessdumpProgram, SingleByteInputIsOneRecord) {
    const auto r = run({SYSAPPLETS_PATH, "sessdump"}, std::string(1, '\x05'));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "5|0|||||0|0|0|0|0|0\n");
}

TEST_F(SessdumpProgram, UnopenableFileIsReported) {
    const auto missing = tree.path("no-such-utmp");
    const auto r = run({SYSAPPLETS_PATH, "sessdump", missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "sessdump: " + missing + ": No such file or directory\n");
}

TEST_F(SessdumpProgram, ReadErrorIsAFailureNotAnEmptyDump) {
    const auto dir = tree.dir("a-directory");
    const auto r = run({SYSAPPLETS_PATH, "sessdump", dir});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "sessdump: " + dir + ": Is a directory\n");
}

TEST_F(SessdumpProgram, UnreadableStandardInputIsReported) {
    const auto r = run({"/bin/sh", "-c", "exec \"$0\" sessdump < /", SYSAPPLETS_PATH});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "sessdump: standard input: Is a directory\n");
}

// utmpdump's line: "[type] [pid] [id] [user] [line] [host] [addr] [time]",
// text fields padded with spaces.
std::vector<std::string> utmpdump_fields(const std::string &line) {
    std::vector<std::string> fields;
    size_t at = 0;
    while ((at = line.find('[', at)) != std::string::npos) {
        const size_t end = line.find("] ", at);
        const size_t stop = end == std::string::npos ? line.rfind(']') : end;
        std::string field = line.substr(at + 1, stop - at - 1);
        while (!field.empty() && field.back() == ' ')
            field.pop_back();
        fields.push_back(field);
        at = stop + 1;
    }
    return fields;
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.push_back("");
    return parts;
}

std::string dotted(unsigned long word) {
    return std::to_string(word & 0xff) + "." + std::to_string(word >> 8 & 0xff) + "." +
           std::to_string(word >> 16 & 0xff) + "." + std::to_string(word >> 24 & 0xff);
}

std::string utc_stamp(long seconds, long micro) {
    const time_t t = seconds;
    tm parts{};
    gmtime_r(&t, &parts);
    char text[64];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char micro_text[16];
    snprintf(micro_text, sizeof micro_text, ",%06ld+00:00", micro);
    return text + std::string(micro_text);
}

// Dumps path with both programs and compares every field that both print.
void cross_check_with_utmpdump(const std::string &path) {
    const auto ours = run({SYSAPPLETS_PATH, "sessdump", path});
    ASSERT_EQ(ours.status, 0) << ours.err;
    RunOptions utc;
    utc.env = {{"TZ", "UTC"}};
    const auto theirs = run({"/usr/bin/utmpdump", path}, utc);
    ASSERT_EQ(theirs.status, 0) << theirs.err;
    const auto our_lines = split(ours.out, '\n');
    const auto their_lines = split(theirs.out, '\n');
    ASSERT_EQ(our_lines.size(), their_lines.size());
    for (size_t i = 0; i + 1 < our_lines.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i) + ": " + our_lines[i]);
        const auto o = split(our_lines[i], '|');
        const auto t = utmpdump_fields(their_lines[i]);
        if (o.size() != 12 || t.size() != 8) {
            ADD_FAILURE() << "a field holds a separator; cannot compare";
            continue;
        }
        EXPECT_EQ(o[0], t[0]);                       // type
        EXPECT_EQ(std::stol(o[1]), std::stol(t[1])); // pid
        EXPECT_EQ(o[3].substr(0, 4), t[2]);          // id, at most 4 characters
        EXPECT_EQ(o[4], t[3]);                       // user
        EXPECT_EQ(o[2], t[4]);                       // line
        EXPECT_EQ(o[5], t[5]);                       // host
        if (t[6].find(':') == std::string::npos) {   // IPv4 only: we print one word
            EXPECT_EQ(dotted(std::stoul(o[11], nullptr, 16)), t[6]);
        }
        EXPECT_EQ(utc_stamp(std::stol(o[9]), std::stol(o[10])), t[7]);
    }
}

TEST_F(SessdumpProgram, AgreesWithUtmpdumpOnBuiltRecords) {
    SUITE_REQUIRE_PROGRAMS("/usr/bin/utmpdump");
    std::string records;
    for (int i = 0; i < 50; ++i) {
        UtmpFields f;
        f.type = std::int16_t(i % 9);
        f.pid = i * 977 - 3000;
        f.line = "pts/" + std::to_string(i);
        f.id = i % 2 ? "ts/" + std::to_string(i % 10) : std::to_string(i);
        f.user = i % 3 ? "user" + std::to_string(i) : "";
        f.host = i % 4 ? "host" + std::to_string(i) + ".example.net" : "";
        f.session = i;
        f.tv_sec = 1600000000 + i * 86401;
        f.tv_usec = i * 1234;
        f.addr[0] = ipv4_word(10, unsigned(i), 0, unsigned(255 - i));
        records += utmp_record(f);
    }
    cross_check_with_utmpdump(tree.file("utmp", records));
}

// A login record's texts come partly from outside: a remote host names
// itself. Each control character in any text field, newlines and terminal
// escapes included, C1 controls raw or in UTF-8, shows as one '?', and so
// does each '|', so that a record is one line of twelve fields, cannot forge
// another line or fields of its own, and cannot drive the terminal;
// utmpdump, where there is one, shows the controls the same way.
TEST_F(SessdumpProgram, ControlCharactersAndBarsInTextFieldsShowAsQuestionMarks) {
    UtmpFields forged = login_record();
    forged.line = "tty\x1b[2J|";
    forged.id = "\x9b|z";
    forged.user = "ro\ro|t";
    forged.host = "evil\n7|1|tty9|9|root|forged|0|0|0|0|0|0\x7f\x1b]0;title\a h\xc2\x9b\xc3\xa9";
    const auto r =
        run({SYSAPPLETS_PATH, "sessdump"}, utmp_record(forged) + utmp_record(login_record()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "7|123|tty?[2J?|??z|ro?o?t|evil?7?1?tty9?9?root?forged?0?0?0?0?0?0??]0;title? "
                     "h?\xc3\xa9|0|0|0|0|0|0\n"
                     "7|123|tty1|1|root||0|0|0|0|0|0\n");
    UtmpFields controls = login_record();
    controls.line = "pts\t1";
    controls.user = "us\x1b(0er\x85";
    controls.host = "a\x1b(0b\nc\rd\x7f\x9b";
    if (suite_testing::missing_program({"/usr/bin/utmpdump"}).empty())
        cross_check_with_utmpdump(tree.file("utmp", utmp_record(controls)));
}

TEST_F(SessdumpProgram, AgreesWithUtmpdumpOnThisMachinesUtmp) {
    SUITE_REQUIRE_PROGRAMS("/usr/bin/utmpdump");
    struct stat st;
    if (stat("/var/run/utmp", &st) != 0)
        GTEST_SKIP() << "this machine has no /var/run/utmp";
    const std::string contents = tree.read("/var/run/utmp");
    // A copy, so that a login between the two runs cannot make them differ.
    cross_check_with_utmpdump(tree.file("utmp-copy", contents));
}

} // namespace
