// Tests that check our output against another program (a tar reader, the
// system's ps, utmpdump) need that program installed. On a developer's
// machine a missing one skips the test with its name; under CI (the CI
// variable set) it fails the test, so that CI never passes with the check
// silently left out.
#pragma once

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <string_view>

namespace suite_testing {

// The first of `programs` that cannot be run (a path, or a name looked up
// in PATH), or an empty string when all of them can.
std::string missing_program(std::initializer_list<std::string_view> programs);

// True when the CI variable is set to anything but an empty string.
bool running_in_ci();

} // namespace suite_testing

// Skips (or, under CI, fails) the current test unless every named program
// is installed.
#define SUITE_REQUIRE_PROGRAMS(...)                                                                \
    do {                                                                                           \
        const std::string suite_missing_ = suite_testing::missing_program({__VA_ARGS__});          \
        if (!suite_missing_.empty()) {                                                             \
            if (suite_testing::running_in_ci())                                                    \
                FAIL() << suite_missing_ << " is not installed, and CI must run this check";      \
            GTEST_SKIP() << suite_missing_ << " is not installed";                                 \
        }                                                                                          \
    } while (0)
