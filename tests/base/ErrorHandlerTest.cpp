// Tests of the application's error handling.

#include "base/ErrorHandler.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"

using namespace tessel;

TEST(ErrorHandler, FullStopOnlyAfterCharactersThatSortAfterIt) {
    struct Case {
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        {"Key violation", "Key violation."},
        {"Done.", "Done."},
        {"Why?", "Why?."},
        {"Stop!", "Stop!"},
        {"(x)", "(x)"},
        {"count 7", "count 7."},
        {"", ""},
        {"caf\xC3\xA9", "caf\xC3\xA9."},
        {"Unable to write to /x/y.INI", "Unable to write to /x/y.INI."},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorDisplayText(c.message), c.shown) << c.message;
}

TEST(ErrorHandler, GuardShowsFailuresButNotSilentAborts) {
    std::vector<std::string> shown;
    SetErrorPresenter([&](const std::string& text) { shown.push_back(text); });
    EXPECT_FALSE(RunGuarded([] { throw Exception("Table is busy"); }));
    EXPECT_FALSE(RunGuarded([] { Abort(); }));
    EXPECT_FALSE(RunGuarded([] { throw 42; }));
    EXPECT_TRUE(RunGuarded([] {}));
    SetErrorPresenter(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string>{"Table is busy.", "Unknown error."}));
}
