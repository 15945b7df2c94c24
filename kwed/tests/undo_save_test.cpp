// Undo groups and the saved state; saving through a temporary file that
// leaves the original alone when anything fails.
#include "buffer_contents.h"
#include "editor_core.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using kwed_testing::contents;

class Core : public ::testing::Test {
  protected:
    void SetUp() override {
        ed.reader.keycount = 1;
        ASSERT_TRUE(kwed::growgap(ed.buffer, 64));
    }
    void TearDown() override { kwed::freebuffer(ed); }
    // The next key: changes made under it form one undo group.
    void key() { ++ed.reader.keycount; }
    void type(const std::string &s) {
        for (char c : s) {
            key();
            ASSERT_TRUE(kwed::edit_insert(ed, ed.buffer.point, &c, 1));
            ++ed.buffer.point;
        }
    }
    kwed::editor ed;
};

TEST_F(Core, TypingIsUndoneAsOneRunAndOtherChangesOneKeyAtATime) {
    type("hello");
    type("\nworld");
    EXPECT_EQ(contents(ed.buffer), "hello\nworld");
    EXPECT_EQ(ed.modified, 1);
    key();
    kwed::edit_delete(ed, 0, 2); // "llo\nworld"
    key();
    kwed::edit_delete(ed, 3, 1); // "lloworld"
    EXPECT_EQ(contents(ed.buffer), "lloworld");
    ASSERT_TRUE(kwed::undo_last(ed));
    EXPECT_EQ(contents(ed.buffer), "llo\nworld");
    EXPECT_EQ(ed.buffer.point, 3);
    ASSERT_TRUE(kwed::undo_last(ed));
    EXPECT_EQ(contents(ed.buffer), "hello\nworld");
    ASSERT_TRUE(kwed::undo_last(ed)); // "world" typed after the newline
    EXPECT_EQ(contents(ed.buffer), "hello\n");
    ASSERT_TRUE(kwed::undo_last(ed)); // the newline breaks the run
    EXPECT_EQ(contents(ed.buffer), "hello");
    ASSERT_TRUE(kwed::undo_last(ed));
    EXPECT_EQ(contents(ed.buffer), "");
    EXPECT_EQ(ed.modified, 0);
    EXPECT_FALSE(kwed::undo_last(ed));
}

// Each typed key gives one whole character: ASCII, UTF-8 of two to four
// bytes, or a byte that is no UTF-8. A run of them on a line is one step.
TEST_F(Core, TypedRunOfAnyCharactersIsOneUndoStep) {
    type("x\n");
    for (std::string c : {"a", "\xc3\xa9", "\xe6\x97\xa5", "\xf0\x9f\x98\x80", "\xff", "z"}) {
        key();
        ASSERT_TRUE(kwed::edit_insert(ed, ed.buffer.point, c.data(), c.size()));
        ed.buffer.point += static_cast<kwed::offset_t>(c.size());
    }
    ASSERT_TRUE(kwed::undo_last(ed));
    EXPECT_EQ(contents(ed.buffer), "x\n");
    EXPECT_EQ(ed.buffer.point, 2);
}

// Undo all the way down and redo all the way up again, one step at a time,
// checking the text, the cursor and [modified] (saved at "b") at each.
TEST_F(Core, RedoTakesBackUndoStepByStepUntilANewChange) {
    struct state {
        const char *text;
        kwed::offset_t point; // after redoing the step that led here
    };
    const state states[] = {{"", 0}, {"ab", 2}, {"b", 0}, {"bXY", 3}, {"bY", 1}};
    type("ab");
    key();
    kwed::edit_delete(ed, 0, 1);
    kwed::undo_mark_saved(ed);
    key();
    ASSERT_TRUE(kwed::edit_insert(ed, 1, "XY", 2)); // as a paste does
    key();
    kwed::edit_delete(ed, 1, 1);
    kwed::edit_delete(ed, 1, 0); // a second change of the same key
    EXPECT_EQ(kwed::redo_last(ed), 0);
    for (int round = 0; round < 2; ++round) {
        for (int i = 4; i > 0; --i) {
            key();
            ASSERT_TRUE(kwed::undo_last(ed));
            EXPECT_EQ(contents(ed.buffer), states[i - 1].text);
            EXPECT_EQ(ed.modified, i - 1 != 2) << i;
        }
        EXPECT_EQ(kwed::undo_last(ed), 0);
        for (int i = 1; i <= 4; ++i) {
            key();
            ASSERT_TRUE(kwed::redo_last(ed));
            EXPECT_EQ(contents(ed.buffer), states[i].text);
            EXPECT_EQ(ed.buffer.point, states[i].point);
            EXPECT_EQ(ed.modified, i != 2) << i;
            EXPECT_STREQ(ed.msgline, "Redone.");
        }
        EXPECT_EQ(kwed::redo_last(ed), 0);
    }
    // A new change after undo: nothing to redo, and the saved state is gone.
    key();
    kwed::undo_last(ed);
    key();
    kwed::undo_last(ed);
    EXPECT_EQ(ed.modified, 0);
    key();
    kwed::undo_last(ed);
    ed.buffer.point = 2;
    type("q");
    EXPECT_EQ(kwed::redo_last(ed), 0);
    EXPECT_EQ(contents(ed.buffer), "abq");
    key();
    kwed::undo_last(ed);
    EXPECT_EQ(contents(ed.buffer), "ab");
    EXPECT_EQ(kwed::redo_last(ed), 1);
    EXPECT_EQ(kwed::undo_last(ed), 1);
    EXPECT_EQ(ed.modified, 1);
}

// The mark moves with changes before it and never points past the text.
TEST_F(Core, MarkFollowsChangesBeforeIt) {
    type("hello world");
    ed.buffer.mark = 6; // at "world"
    key();
    ASSERT_TRUE(kwed::edit_insert(ed, 6, "big ", 4));
    EXPECT_EQ(ed.buffer.mark, 6); // inserting at the mark leaves it
    ASSERT_TRUE(kwed::edit_insert(ed, 0, "oh ", 3));
    EXPECT_EQ(ed.buffer.mark, 9);
    kwed::edit_delete(ed, 1, 2);
    EXPECT_EQ(ed.buffer.mark, 7);
    kwed::edit_delete(ed, 5, 8); // across the mark: it goes where they were
    EXPECT_EQ(ed.buffer.mark, 5);
    kwed::edit_delete(ed, 0, static_cast<std::size_t>(kwed::textsize(ed.buffer)));
    EXPECT_EQ(ed.buffer.mark, 0);
    while (kwed::undo_last(ed)) {
    }
    EXPECT_LE(ed.buffer.mark, kwed::textsize(ed.buffer));
}

TEST_F(Core, RandomChangesAllUndoneGiveTheOriginalBack) {
    std::mt19937 rng(7);
    std::string original = "line one\nline two\n";
    ASSERT_TRUE(kwed::raw_insert(ed, 0, original.data(), original.size()));
    kwed::undo_mark_saved(ed);
    for (int i = 0; i < 500; ++i) {
        key();
        kwed::offset_t size = kwed::textsize(ed.buffer);
        if (rng() % 2 || size == 0) {
            kwed::offset_t at = static_cast<kwed::offset_t>(rng() % (size + 1));
            ASSERT_TRUE(kwed::edit_insert(ed, at, "ab\n", 1 + rng() % 3));
        } else {
            kwed::offset_t at = static_cast<kwed::offset_t>(rng() % size);
            kwed::edit_delete(ed, at, 1 + rng() % std::min<kwed::offset_t>(size - at, 4));
        }
    }
    while (kwed::undo_last(ed)) {
    }
    EXPECT_EQ(contents(ed.buffer), original);
    EXPECT_EQ(ed.modified, 0);
}

TEST_F(Core, SavedStateIsKnownAgainAfterUndoAndRedoneChanges) {
    suite_testing::TempTree tree;
    std::string file = tree.file("f.txt", "");
    type("ab");
    ASSERT_EQ(kwed::savefile(ed, file.c_str()), 0);
    EXPECT_EQ(ed.modified, 0);
    type("c"); // a new run after the save
    EXPECT_EQ(ed.modified, 1);
    kwed::undo_last(ed);
    EXPECT_EQ(ed.modified, 0);
    kwed::undo_last(ed);
    EXPECT_EQ(ed.modified, 1);
    type("x"); // the saved state can no longer come back
    kwed::undo_last(ed);
    EXPECT_EQ(contents(ed.buffer), "");
    EXPECT_EQ(ed.modified, 1);
}

TEST_F(Core, SaveReplacesTheFileKeepingItsModeAndLeavesNoTemporaryFile) {
    suite_testing::TempTree tree;
    std::string file = tree.file("f.txt", "old", 0751);
    type("new text");
    ASSERT_EQ(kwed::savefile(ed, file.c_str()), 0);
    // A text that no file was read into is new: it gets a final newline.
    EXPECT_EQ(tree.read("f.txt"), "new text\n");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751);
    EXPECT_STREQ(ed.msgline, ("Wrote " + file + ", 9 bytes.").c_str());
    std::string names;
    DIR *dir = opendir(tree.root().c_str());
    ASSERT_NE(dir, nullptr);
    while (dirent *e = readdir(dir))
        if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.' && e->d_name[2]))
            names += std::string(e->d_name) + "\n";
    closedir(dir);
    EXPECT_EQ(names, "f.txt\n");
}

// A write that fails half-way (here: past the file size limit) leaves the
// original and no temporary file behind. A file with a second name is
// written in place: there the failure comes after the file was partly
// written over, the message says so, and the text stays in the editor.
TEST_F(Core, WriteFailingHalfWayKeepsTheOriginalOrSaysItWasPartlyWritten) {
    type(std::string(5000, 'z'));
    for (bool linked : {false, true}) {
        suite_testing::TempTree tree;
        std::string file = tree.file("f.txt", "the original text\n");
        if (linked)
            tree.hardlink("f.txt", "g.txt");
        struct rlimit old;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        auto oldsig = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 1000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        int err = kwed::savefile(ed, file.c_str());
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldsig);
        EXPECT_EQ(err, EFBIG);
        EXPECT_EQ(std::string(ed.msgline),
                  "Not saved, " + file + ": File too large. " +
                      (linked ? "The file on disk was only partly written; the text is still "
                                "here: save it elsewhere."
                              : "The file on disk is unchanged."));
        EXPECT_EQ(tree.read("f.txt"), linked ? std::string(1000, 'z') : "the original text\n");
        EXPECT_EQ(ed.modified, 1);
        EXPECT_EQ(contents(ed.buffer), std::string(5000, 'z'));
        DIR *dir = opendir(tree.root().c_str());
        ASSERT_NE(dir, nullptr);
        int entries = 0;
        while (dirent *e = readdir(dir))
            entries += e->d_name[0] != '.';
        closedir(dir);
        EXPECT_EQ(entries, linked ? 2 : 1);
    }
}

TEST_F(Core, FailedSaveSaysWhyAndChangesNothing) {
    suite_testing::TempTree tree;
    tree.dir("sub");
    type("text");
    EXPECT_EQ(kwed::savefile(ed, tree.path("missing/f.txt").c_str()), ENOENT);
    // There is no file on disk that could be said to be unchanged.
    EXPECT_EQ(std::string(ed.msgline),
              "Not saved, " + tree.path("missing/f.txt") + ": No such file or directory.");
    EXPECT_EQ(ed.modified, 1);
    EXPECT_EQ(kwed::savefile(ed, tree.path("sub").c_str()), EISDIR);
    EXPECT_EQ(ed.modified, 1);
    // A file that is not ours to write, when permissions apply to us.
    if (getuid() != 0) {
        std::string ro = tree.file("ro.txt", "keep", 0444);
        EXPECT_EQ(kwed::savefile(ed, ro.c_str()), EACCES);
        EXPECT_EQ(tree.read("ro.txt"), "keep");
    }
}

} // namespace
