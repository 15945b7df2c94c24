// The fixture of the editor's end-to-end tests: a temporary tree with a
// key map as etc/kwed.rc, a home folder, and kwed started inside a tmux
// session of its own. Editor takes the earlier map (kwed-classic.rc),
// whose keys the tests written for it type; DefaultMap the default one.
#pragma once

#include "temp_tree.h"
#include "tmux_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kwed_testing {

class Editor : public ::testing::Test {
  protected:
    void SetUp() override {
        etc = tree.dir("etc");
        home = tree.dir("home");
        tree.file("etc/kwed.rc", tree.read(std::string(SOURCE_DIR "/") + keymap()));
    }

    virtual const char *keymap() const { return "kwed-classic.rc"; }

    // Starts kwed with the arguments (already quoted for sh) and, with
    // wait, waits for its first screen: the hint of its keys, or the
    // position on the header where a long message leaves the hint no room.
    std::unique_ptr<TmuxSession> start(const std::string &args, const std::string &env = "",
                                       bool wait = true, const std::string &wrapper = "") {
        // "-u NAME" options go first; assignments after ours replace them.
        bool unset = env.rfind("-u", 0) == 0;
        std::string command = "env " + (unset ? env : "") + " LANG=C.UTF-8 LC_ALL=C.UTF-8 " +
                              (unset ? "" : "HOME=" + quote(home)) + " ETCDIR=" + quote(etc) + " " +
                              (unset ? "" : env) + " " + wrapper + " " + quote(KWED_PATH) + " " +
                              args;
        auto session = std::make_unique<TmuxSession>(command, tree.root());
        EXPECT_TRUE(session->started());
        if (wait) {
            EXPECT_TRUE(session->wait_for([](const std::string &s) {
                return s.find(" help  ") != s.npos || s.find(", col ") < s.find('\n');
            })) << session->screen();
        }
        return session;
    }

    suite_testing::TempTree tree;
    std::string etc;
    std::string home;
};

class DefaultMap : public Editor {
  protected:
    const char *keymap() const override { return "kwed.rc"; }
};

} // namespace kwed_testing
