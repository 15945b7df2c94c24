// openrc's search through the current directory, $HOME and $ETCDIR (or
// the installed etc folder), and pathname's joining.
#include "kwed.h"
#include "temp_tree.h"

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

std::string joined(const char *dir, const char *name) {
    char *p = kwed::pathname(dir, name);
    EXPECT_NE(p, nullptr);
    std::string s = p == nullptr ? "" : p;
    std::free(p);
    return s;
}

TEST(Pathname, PutsExactlyOneSlashBetween) {
    EXPECT_EQ(joined("/home/ann", "kwed.rc"), "/home/ann/kwed.rc");
    EXPECT_EQ(joined("/home/ann/", "kwed.rc"), "/home/ann//kwed.rc");
    EXPECT_EQ(joined("/etc", "/my.rc"), "/etc//my.rc");
    EXPECT_EQ(joined("", "kwed.rc"), "/kwed.rc");
    EXPECT_EQ(joined(nullptr, "kwed.rc"), "/kwed.rc");
    EXPECT_EQ(joined("dir", nullptr), "dir/");
    EXPECT_EQ(joined(nullptr, nullptr), "/");
}

// Runs each test in a tree of its own with the working directory and the
// two variables put back afterwards.
class Openrc : public ::testing::Test {
  protected:
    void SetUp() override {
        char buf[PATH_MAX];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        saved_cwd_ = buf;
        save("HOME", saved_home_);
        save("ETCDIR", saved_etc_);
        tree_.file("cwd/kwed.rc", "from cwd\n");
        tree_.file("home/kwed.rc", "from home\n");
        tree_.file("etc/kwed.rc", "from etc\n");
        tree_.dir("empty");
        chdir_to("cwd");
        setenv("HOME", tree_.path("home").c_str(), 1);
        setenv("ETCDIR", tree_.path("etc").c_str(), 1);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(saved_cwd_.c_str()), 0);
        restore("HOME", saved_home_);
        restore("ETCDIR", saved_etc_);
    }
    void chdir_to(const char *rel) { ASSERT_EQ(chdir(tree_.path(rel).c_str()), 0); }

    // The first line of what openrc opened, or "none".
    static std::string opened(const char *name) {
        std::FILE *fp = kwed::openrc(name);
        if (fp == nullptr)
            return "none";
        char line[256] = "";
        if (std::fgets(line, sizeof line, fp) == nullptr)
            line[0] = '\0';
        std::fclose(fp);
        std::string s = line;
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        return s;
    }

    suite_testing::TempTree tree_;

  private:
    static void save(const char *var, std::optional<std::string> &into) {
        if (const char *v = std::getenv(var))
            into = v;
    }
    static void restore(const char *var, const std::optional<std::string> &value) {
        if (value)
            setenv(var, value->c_str(), 1);
        else
            unsetenv(var);
    }
    std::string saved_cwd_;
    std::optional<std::string> saved_home_;
    std::optional<std::string> saved_etc_;
};

TEST_F(Openrc, CurrentDirectoryThenHomeThenEtcdir) {
    EXPECT_EQ(opened("kwed.rc"), "from cwd");
    chdir_to("empty");
    EXPECT_EQ(opened("kwed.rc"), "from home");
    std::remove(tree_.path("home/kwed.rc").c_str());
    EXPECT_EQ(opened("kwed.rc"), "from etc");
    std::remove(tree_.path("etc/kwed.rc").c_str());
    EXPECT_EQ(opened("kwed.rc"), "none");
}

TEST_F(Openrc, UnsetHomeIsSkipped) {
    chdir_to("empty");
    unsetenv("HOME");
    EXPECT_EQ(opened("kwed.rc"), "from etc");
}

TEST_F(Openrc, EmptyHomeMeansTheRootDirectory) {
    chdir_to("empty");
    setenv("HOME", "", 1);
    // The name relative to the root: "" + "/" + "tmp/.../home/kwed.rc".
    std::string below_root = tree_.path("home/kwed.rc").substr(1);
    EXPECT_EQ(opened(below_root.c_str()), "from home");
}

// Without ETCDIR the last place is the etc folder the build installs into
// (install_layout checks that the installed program really opens it there).
TEST_F(Openrc, UnsetEtcdirMeansTheInstalledEtcFolder) {
    chdir_to("empty");
    EXPECT_EQ(std::string(kwed::etcdir()), tree_.path("etc"));
    unsetenv("ETCDIR");
    EXPECT_STREQ(kwed::etcdir(), KWED_SYSCONFDIR);
    EXPECT_EQ(opened("kwed.rc"), "from home");
}

TEST_F(Openrc, AbsoluteNameIsTriedUnderHomeAndEtcWithADoubledSlash) {
    tree_.file("home/abs/my.rc", "abs under home\n");
    tree_.file("etc/abs/other.rc", "abs under etc\n");
    EXPECT_EQ(opened("/abs/my.rc"), "abs under home");
    EXPECT_EQ(opened("/abs/other.rc"), "abs under etc");
    std::string existing = tree_.path("cwd/kwed.rc");
    EXPECT_EQ(opened(existing.c_str()), "from cwd");
}

TEST_F(Openrc, ADirectoryOfThatNameIsPassedOver) {
    chdir_to("empty");
    tree_.dir("empty/kwed.rc");
    EXPECT_EQ(opened("kwed.rc"), "from home");
    EXPECT_EQ(opened(""), "none"); // $HOME/ and $ETCDIR/ are directories
}

} // namespace
