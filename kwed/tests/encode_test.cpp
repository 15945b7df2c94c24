// encode: the key notation against the xterm terminal description.
#include "kwed.h"

#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

#include <term.h> // setupterm; last, for it defines many short macros

namespace {

using namespace std::string_literals;

// Loads the xterm description once: capability lookups need a terminal,
// the tests need none.
class Encode : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        int fd = open("/dev/null", O_WRONLY);
        int err = 0;
        ASSERT_EQ(setupterm("xterm", fd, &err), OK) << "no xterm terminal description";
    }

    // The encoded text up to its NUL, or nothing when encode fails.
    // `scratch` gets what the key text holds afterwards.
    static std::optional<std::string> enc(const std::string &text, std::string *scratch = nullptr) {
        std::string buf = text;
        char *result = kwed::encode(buf.data());
        if (scratch != nullptr)
            *scratch = buf.c_str();
        if (result == nullptr)
            return std::nullopt;
        std::string out = result;
        std::free(result);
        return out;
    }

    // For results with zero bytes inside: the first `want.size()` bytes
    // and the closing NUL after them.
    static void expect_bytes(const std::string &text, const std::string &want) {
        std::string buf = text;
        char *result = kwed::encode(buf.data());
        ASSERT_NE(result, nullptr) << text;
        EXPECT_EQ(std::string(result, want.size()), want) << text;
        EXPECT_EQ(result[want.size()], '\0') << text;
        std::free(result);
    }

    static std::string cap(const char *name) { return tigetstr(name); }
};

TEST_F(Encode, PlainCharactersStand) {
    EXPECT_EQ(enc("abc"), "abc");
    EXPECT_EQ(enc(""), "");
    EXPECT_EQ(enc("caf\xc3\xa9"), "caf\xc3\xa9");
    EXPECT_EQ(enc("a(b)c"), "a(b)c");
}

TEST_F(Encode, Carets) {
    EXPECT_EQ(enc("^A"), "\x01");
    EXPECT_EQ(enc("^a"), "\x01");
    EXPECT_EQ(enc("^Z^z"), "\x1a\x1a");
    EXPECT_EQ(enc("^["), "\x1b");
    EXPECT_EQ(enc("^\\"), "\x1c");
    EXPECT_EQ(enc("^]"), "\x1d");
    EXPECT_EQ(enc("^^"), "\x1e");
    EXPECT_EQ(enc("^_"), "\x1f");
    EXPECT_EQ(enc("^?"), "\x7f");
    expect_bytes("^@x", "\0x"s);
    EXPECT_EQ(enc("^1"), std::nullopt);
    EXPECT_EQ(enc("^"), std::nullopt);
    EXPECT_EQ(enc("x^"), std::nullopt);
    EXPECT_EQ(enc("^ "), std::nullopt);
    EXPECT_EQ(enc("^\xc3\xa9"), std::nullopt);
}

TEST_F(Encode, BackslashNumbers) {
    EXPECT_EQ(enc("\\033"), "\x1b");
    EXPECT_EQ(enc("\\0x1b"), "\x1b");
    EXPECT_EQ(enc("\\0X1B"), "\x1b");
    EXPECT_EQ(enc("\\27"), "\x1b");
    EXPECT_EQ(enc("\\255"), "\xff");
    EXPECT_EQ(enc("\\27[A"), "\x1b[A");
    EXPECT_EQ(enc("\\256"), std::nullopt);
    EXPECT_EQ(enc("\\0400"), std::nullopt);
    EXPECT_EQ(enc("\\0x100"), std::nullopt);
    EXPECT_EQ(enc("\\99999999999999999999999"), std::nullopt);
    expect_bytes("\\08", "\0"s
                         "8");
    expect_bytes("\\0", "\0"s);
    expect_bytes("\\0xg", "\0xg"s);
    expect_bytes("a\\0b", "a\0b"s);
}

TEST_F(Encode, BackslashLettersAndLiterals) {
    EXPECT_EQ(enc("\\e\\E\\b\\f\\n\\r\\s\\t"), "\x1b\x1b\b\f\n\r \t");
    EXPECT_EQ(enc("\\\\"), "\\");
    EXPECT_EQ(enc("\\^A"), "^A");
    EXPECT_EQ(enc("\\$(kcuu1)"), "$(kcuu1)");
    EXPECT_EQ(enc("\\q\\ "), "q ");
    // A backslash that ends the text stands for itself; the walk stops there.
    EXPECT_EQ(enc("ab\\"), "ab\\");
    EXPECT_EQ(enc("\\"), "\\");
}

TEST_F(Encode, Capabilities) {
    EXPECT_EQ(enc("$(kcuu1)"), "\x1bOA");
    EXPECT_EQ(enc("$(kdch1)"), "\x1b[3~");
    EXPECT_EQ(enc("x$(kf1)y$(khome)z"), "x\x1bOPy\x1bOHz");
    EXPECT_EQ(enc("$(tsl)"), "\a");            // xterm has no status line
    EXPECT_EQ(enc("$(colors)"), std::nullopt); // a number
    EXPECT_EQ(enc("$(am)"), std::nullopt);     // a flag
    EXPECT_EQ(enc("$(nosuchcap)"), std::nullopt);
    EXPECT_EQ(enc("$()"), std::nullopt);
    EXPECT_EQ(enc("$(kcuu1"), std::nullopt);
    EXPECT_EQ(enc("$kcuu1"), std::nullopt);
    EXPECT_EQ(enc("$"), std::nullopt);
    EXPECT_EQ(enc("a$"), std::nullopt);
}

TEST_F(Encode, LongCapabilitiesExpandInFull) {
    std::string sgr = cap("sgr");
    ASSERT_GT(sgr.size(), 50u);
    EXPECT_EQ(enc("$(sgr)"), sgr);
    EXPECT_EQ(enc("$(sgr)$(sgr)$(rmcup)"), sgr + sgr + cap("rmcup"));
    // After ^\ the dollar still starts a capability, though a backslash
    // comes right before it.
    EXPECT_EQ(enc("^\\$(sgr)"), "\x1c" + sgr);
    EXPECT_EQ(enc("^\\$(sgr)^\\$(sgr)"), "\x1c" + sgr + "\x1c" + sgr);
}

TEST_F(Encode, KeyTextIsScratchSpace) {
    std::string after;
    EXPECT_EQ(enc("^A$(kcuu1)x", &after), "\x01\x1bOAx");
    EXPECT_EQ(after, "^a$(kcuu1");
    EXPECT_EQ(enc("^Q^W", &after), "\x11\x17");
    EXPECT_EQ(after, "^q^w");
    EXPECT_EQ(enc("$(kf1)$(kf2)", &after), "\x1bOP\x1bOQ");
    EXPECT_EQ(after, "$(kf1");
}

TEST_F(Encode, NullText) {
    EXPECT_EQ(kwed::encode(nullptr), nullptr);
}

} // namespace
