// Names swapped in the tree while quarc archives it, at the worst moment:
// after quarc has looked at a name and before it opens it. A preloaded shim
// does the swap when quarc opens the name.
#include "archive_reader.h"
#include "quarc_run.h"

#include <gtest/gtest.h>

namespace {

using quarc_test::read_archive;
using suite_testing::TempTree;

struct swap {
    std::string on;   // the last component of the name whose opening swaps
    std::string from; // relative to the tree
    std::string to;
    bool exchange = false; // exchanged, not renamed over
};

// The swap comes as quarc opens the name, or with `when` "readdir" as the
// directory listing gives it out.
suite_testing::RunResult run_with_swap(const TempTree &t, const swap &s,
                                       std::vector<std::string> members,
                                       const std::string &when = "open") {
    suite_testing::RunOptions options;
    options.cwd = t.root();
    options.no_stdin = true;
    options.env = {{"LD_PRELOAD", QUARC_SWAP_SHIM_PATH},
                   {"QUARC_SWAP_ON", s.on},
                   {"QUARC_SWAP_FROM", t.path(s.from)},
                   {"QUARC_SWAP_TO", t.path(s.to)}};
    if (s.exchange)
        options.env.push_back({"QUARC_SWAP_EXCHANGE", "1"});
    options.env.push_back({"QUARC_SWAP_WHEN", when});
    members.insert(members.begin(), QUARC_PATH);
    return suite_testing::run(members, options);
}

// A tree "d/sub/f" to archive, and beside it what is swapped in: a file
// "spare" of f's size, a directory "other" with "f" of the same size, and a
// symbolic link "lnk" to a directory "secret" with "f" of the same size.
void build_tree(TempTree &t) {
    t.file("d/sub/f", "the real data");
    t.file("spare", "SPARE DATA!!!");
    t.file("other/f", "OTHER DATA!!!");
    t.file("secret/f", "SECRET DATA!!");
    t.symlink(t.path("secret"), "lnk");
}

struct stored {
    std::string name;
    std::string data; // without padding
};

std::vector<stored> members_of(const std::string &out) {
    quarc_test::archive a = read_archive(out);
    EXPECT_EQ(a.error, "");
    EXPECT_TRUE(a.has_end_marker);
    std::vector<stored> v;
    for (const auto &m : a.members)
        v.push_back({m.name, m.data.substr(0, std::size_t(m.size))});
    return v;
}

bool operator==(const stored &a, const stored &b) {
    return a.name == b.name && a.data == b.data;
}

void PrintTo(const stored &s, std::ostream *os) {
    *os << s.name << " [" << s.data << "]";
}

// A file renamed over the one that was looked at: its data does not go under
// the header of the first; zeros of the header's size stand in for it.
TEST(Swaps, FileReplacedBeforeItIsOpenedGivesZeros) {
    TempTree t;
    build_tree(t);
    auto r = run_with_swap(t, {"f", "spare", "d/sub/f"}, {"d"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: d/sub/f: file was replaced while it was read\n");
    EXPECT_EQ(
        members_of(r.out),
        (std::vector<stored>{{"d/", ""}, {"d/sub/", ""}, {"d/sub/f", std::string(13, '\0')}}));
}

// A directory exchanged for a symbolic link to another directory, or for
// another directory, after its header is written: its entries are left out.
TEST(Swaps, DirectoryReplacedBeforeItIsOpenedIsNotEntered) {
    for (const char *replacement : {"lnk", "other"}) {
        TempTree t;
        build_tree(t);
        auto r = run_with_swap(t, {"sub", replacement, "d/sub", true}, {"d"});
        EXPECT_EQ(r.status, 1) << replacement;
        EXPECT_EQ(r.err, "quarc: d/sub: directory was replaced while it was read\n") << replacement;
        EXPECT_EQ(members_of(r.out), (std::vector<stored>{{"d/", ""}, {"d/sub/", ""}}))
            << replacement;
    }
}

// A symbolic link put in the place of a parent directory of the next entry
// is not followed: the entry is read from the directory that was walked.
TEST(Swaps, SymbolicLinkPutInAParentIsNotFollowed) {
    TempTree t;
    build_tree(t);
    auto r = run_with_swap(t, {"f", "lnk", "d/sub", true}, {"d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(members_of(r.out),
              (std::vector<stored>{{"d/", ""}, {"d/sub/", ""}, {"d/sub/f", "the real data"}}));
}

// Names removed while the tree is archived, as temporary files come and go:
// a name that the listing gave and that is gone when it is examined is left
// out; a file or directory gone by the time it is opened keeps its header,
// with zeros for the file's data. Each is named, the run goes on to the next
// member, and the archive is finished.
TEST(Swaps, MembersRemovedWhileTheTreeIsReadDoNotStopTheRun) {
    struct removal {
        swap s;
        std::string when;
        std::string err;
        std::vector<stored> tree_members;
    };
    const removal cases[] = {
        {{"f", "d/sub/f", "gone", false},
         "readdir",
         "quarc: d/sub/f: no longer there, left out\n",
         {{"d/", ""}, {"d/sub/", ""}}},
        {{"f", "d/sub/f", "gone", false},
         "open",
         "quarc: d/sub/f: file was removed while it was read\n",
         {{"d/", ""}, {"d/sub/", ""}, {"d/sub/f", std::string(13, '\0')}}},
        {{"sub", "d/sub", "gone", false},
         "open",
         "quarc: d/sub: directory was removed while it was read\n",
         {{"d/", ""}, {"d/sub/", ""}}},
    };
    for (const removal &c : cases) {
        TempTree t;
        build_tree(t);
        auto r = run_with_swap(t, c.s, {"d", "spare"}, c.when);
        SCOPED_TRACE(c.err);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        std::vector<stored> want = c.tree_members;
        want.push_back({"spare", "SPARE DATA!!!"});
        EXPECT_EQ(members_of(r.out), want);
    }
}

} // namespace
