// The options record that accepted command lines produce.
#include "brevic.h"

#include <gtest/gtest.h>
#include <vector>

using brevic::ps_options;

namespace {

constexpr long classic = brevic::classic_pid_ceiling;

bool parse(std::vector<const char *> args, ps_options &options, long ceiling = classic) {
    args.insert(args.begin(), "brevic");
    options = ps_options{};
    return brevic::parse_arguments(static_cast<int>(args.size()), args.data(), ceiling, options);
}

ps_options parsed(std::vector<const char *> args) {
    ps_options options{};
    EXPECT_TRUE(parse(args, options));
    return options;
}

bool same(const ps_options &a, const ps_options &b) {
    return a.pid == b.pid && a.command == b.command && a.x_count == b.x_count &&
           a.a_count == b.a_count && a.format == b.format && a.h_count == b.h_count &&
           a.bracket == b.bracket && a.c_count == b.c_count;
}

} // namespace

TEST(BrevicOptions, CombinedGroups) {
    EXPECT_EQ(parsed({}).bracket, 0);
    const ps_options o = parsed({"-o", "pid="});
    EXPECT_EQ(o.format, 111);
    EXPECT_EQ(o.h_count, 1);
    const ps_options ef = parsed({"-ef"});
    EXPECT_EQ(ef.a_count, 1);
    EXPECT_EQ(ef.x_count, 1);
    EXPECT_EQ(ef.format, 'f');
    EXPECT_EQ(ef.bracket, 1);
    EXPECT_EQ(parsed({"-ef", "c"}).bracket, 0);
    EXPECT_TRUE(same(ef, parsed({"-e", "-f"})));
    EXPECT_TRUE(same(o, parsed({"-opid="})));
    const ps_options aux = parsed({"aux"});
    EXPECT_EQ(aux.a_count + aux.x_count, 2);
    EXPECT_EQ(aux.format, 'u' | 0x80);
    for (const char *all : {"ax", "-A", "-e"}) {
        const ps_options scope = parsed({all});
        EXPECT_EQ(scope.a_count * 10 + scope.x_count, 11) << all;
    }
    EXPECT_STREQ(parsed({"-Cbash"}).command, "bash");
    EXPECT_STREQ(parsed({"-C", "bash"}).command, "bash");
    EXPECT_STREQ(parsed({"-fCa b"}).command, "a b");
    EXPECT_STREQ(parsed({"-C", "-e"}).command, "-e");
}

TEST(BrevicOptions, ProcessNumbersAndBrackets) {
    EXPECT_EQ(parsed({"-p", "0x10"}).pid, 16);
    EXPECT_EQ(parsed({"-p", "010"}).pid, 8);
    EXPECT_EQ(parsed({"-p", " +7"}).pid, 7);
    EXPECT_EQ(parsed({"-p32767"}).pid, 32767);
    EXPECT_EQ(parsed({"p42"}).pid, 42);
    const ps_options bare = parsed({"42"});
    EXPECT_EQ(bare.pid, 42);
    EXPECT_EQ(bare.bracket, 1);
    EXPECT_EQ(parsed({"-p", "42"}).bracket, 0);
    EXPECT_EQ(parsed({"42", "c"}).bracket, 0);
}

TEST(BrevicOptions, CeilingComesFromTheCaller) {
    ps_options o;
    EXPECT_FALSE(parse({"-p", "100000"}, o));
    EXPECT_FALSE(parse({"-p", "32768"}, o));
    ASSERT_TRUE(parse({"-p", "100000"}, o, 4194303));
    EXPECT_EQ(o.pid, 100000);
    EXPECT_TRUE(parse({"4194303"}, o, 4194303));
    EXPECT_FALSE(parse({"4194304"}, o, 4194303));
    EXPECT_FALSE(parse({"-p", "0"}, o, 4194303));
}
