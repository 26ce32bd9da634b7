// Checks on messages the engine prints once per run.
//
// Such a message may already have been printed by an earlier test in the same
// process, so counting it in this process depends on what ran before. The
// threadsafe death-test style runs the current test again, alone, in a new
// copy of the test program up to the check, where the count is made.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ee/console_out.h"

namespace freshrun {

inline size_t CountPrinted(const std::string& what)
{
    const std::string& text = console::ConsoleText();
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

}  // namespace freshrun

// Expects what to have been printed exactly `times` times by this test run
// on its own, from its start to here.
#define EXPECT_PRINTED_IN_FRESH_RUN(what, times)                                                  \
    do {                                                                                          \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                           \
        EXPECT_EXIT(                                                                              \
            {                                                                                     \
                const size_t n_ = freshrun::CountPrinted(what);                                   \
                std::fprintf(stderr, "printed %zu times\n", n_);                                  \
                std::fflush(stderr);                                                              \
                std::_Exit(n_ == size_t(times) ? 0 : 1);                                          \
            },                                                                                    \
            testing::ExitedWithCode(0), "") << "\"" << (what) << "\" expected " << (times) << " times"; \
    } while (0)
