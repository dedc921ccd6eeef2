// Tests of picture masks.

#include <gtest/gtest.h>

#include "base/StringList.h"
#include "framework/data/PictureValidator.h"

namespace tessel {
namespace {

constexpr TPicResult kComplete = TPicResult::prComplete;
constexpr TPicResult kIncomplete = TPicResult::prIncomplete;
constexpr TPicResult kEmpty = TPicResult::prEmpty;
constexpr TPicResult kError = TPicResult::prError;
constexpr TPicResult kSyntax = TPicResult::prSyntax;

struct Case {
    const char* picture;
    const char* input;
    bool fill;
    TPicResult expected;
    const char* stored;  // the text after the check; nullptr: unchanged
};

const char* Name(TPicResult r) {
    switch (r) {
        case kComplete:
            return "complete";
        case kIncomplete:
            return "incomplete";
        case kEmpty:
            return "empty";
        case kError:
            return "error";
        case kSyntax:
            return "syntax";
    }
    return "?";
}

// The picture language, one line per case.
const Case kCases[] = {
    // Digits: too few, exactly, too many, a wrong character, nothing.
    {"###", "12", false, kIncomplete, nullptr},
    {"###", "123", false, kComplete, nullptr},
    {"###", "1234", false, kError, nullptr},
    {"###", "12a", false, kError, nullptr},
    {"###", "", false, kEmpty, nullptr},
    // Letter classes and their case conversion.
    {"??", "aZ", false, kComplete, "aZ"},
    {"??", "a1", false, kError, nullptr},
    {"&&", "ab", false, kComplete, "AB"},
    {"~~", "AB", false, kComplete, "ab"},
    {"?", "\xC3\xA9", false, kComplete, "\xC3\xA9"},  // a letter above code 128, one character
    {"&", "\xC3\xA9", false, kComplete, "\xC3\x89"},  // stored upper case
    {"@@", "1-", false, kComplete, nullptr},
    {"!!", "a1", false, kComplete, "A1"},
    // Literals: matched without regard to case, stored as the picture writes them.
    {"AB#", "ab1", false, kComplete, "AB1"},
    {"AB#", "ac1", false, kError, nullptr},
    {";##", "#5", false, kComplete, nullptr},
    {";##", "55", false, kError, nullptr},
    {";*#", "*5", false, kComplete, nullptr},
    // A blank typed last stands for the literal the picture expects there.
    {"##-##", "12 ", false, kIncomplete, "12-"},
    {"##-##", "12 3", false, kError, nullptr},
    // Fill: literals that follow are appended, up to the next class character.
    {"(###)", "(12", true, kIncomplete, "(12"},
    {"(###)", "(123", true, kComplete, "(123)"},
    {"(###)", "(123", false, kIncomplete, "(123"},
    {"###-###", "123", true, kIncomplete, "123-"},
    {"#;*#", "1", true, kIncomplete, "1*"},
    // Optional parts.
    {"[abc]#", "5", false, kComplete, nullptr},
    {"[abc]#", "abc5", false, kComplete, nullptr},
    {"[abc]#", "ab", false, kIncomplete, nullptr},
    {"[abc]#", "ab5", false, kError, nullptr},
    {"#[#]", "1", false, kComplete, nullptr},
    {"#[#]", "12", false, kComplete, nullptr},
    {"#[#]", "123", false, kError, nullptr},
    // Repetitions.
    {"*#", "1", false, kComplete, nullptr},
    {"*#", "12345", false, kComplete, nullptr},
    {"*#", "12a", false, kError, nullptr},
    {"*3#", "12", false, kIncomplete, nullptr},
    {"*3#", "123", false, kComplete, nullptr},
    {"*3#", "1234", false, kError, nullptr},
    {"*2[#]", "1", false, kComplete, nullptr},
    {"&*?", "abc", false, kComplete, "Abc"},
    {"*{#-}", "1-2-", false, kComplete, nullptr},
    // Groups and alternatives.
    {"{Yes,No}", "yes", false, kComplete, "Yes"},
    {"{Yes,No}", "n", false, kIncomplete, "N"},
    {"{Yes,No}", "x", false, kError, nullptr},
    {"{Y,N}", "n", false, kComplete, "N"},
    // The first alternative that completes wins, so a shorter one first leaves text over.
    {"Mr,Mrs", "mrs", false, kError, nullptr},
    {"Mr,Mrs", "mr", false, kComplete, "Mr"},
    {"Mrs,Mr", "mrs", false, kComplete, "Mrs"},
    {"Mrs,Mr", "mr", false, kComplete, "Mr"},
    {"{Mon,Tue}day", "tue", true, kComplete, "Tueday"},
    {"{Mon,Tue}day", "tue", false, kIncomplete, "Tue"},
    {"#{a,b}", "1c", false, kError, nullptr},
    {"[#]{a,b}", "b", false, kComplete, nullptr},
    // Text ends where the rest can match nothing.
    {"#[-#]", "1", false, kComplete, nullptr},
    {"#*#", "1", false, kComplete, nullptr},
    {"#{[a]}", "1", false, kComplete, nullptr},
    {"##{a}", "1", false, kIncomplete, nullptr},
    // Syntax errors answer 4 for every text, even the empty one.
    {"#;", "1", false, kSyntax, nullptr},
    {"#*", "1", false, kSyntax, nullptr},
    {"[#", "1", false, kSyntax, nullptr},
    {"#]", "1", false, kSyntax, nullptr},
    {"{#", "", false, kSyntax, nullptr},
    {"#}", "1", false, kSyntax, nullptr},
    {"*3", "1", false, kSyntax, nullptr},
    // An escaped ";" or "*" at the end is fine.
    {"#;;", "1;", false, kComplete, nullptr},
    {"#;*", "1*", false, kComplete, nullptr},
    {"#;[", "1[", false, kComplete, nullptr},
};

TEST(PictureValidator, LanguageTable) {
    for (const Case& c : kCases) {
        TDbPictureValidator v(c.picture, c.fill);
        std::string text = c.input;
        const TPicResult r = v.Check(text, c.fill);
        EXPECT_EQ(Name(r), std::string(Name(c.expected)))
            << "picture \"" << c.picture << "\" input \"" << c.input << "\" fill " << c.fill;
        EXPECT_EQ(text, c.stored ? c.stored : c.input) << "picture \"" << c.picture << "\" input \"" << c.input << '"';
    }
}

TEST(PictureValidator, ValidAndValidInput) {
    TDbPictureValidator digits("###", true);
    EXPECT_TRUE(digits.IsValid(""));
    EXPECT_TRUE(digits.IsValid("123"));
    EXPECT_FALSE(digits.IsValid("12"));
    EXPECT_FALSE(digits.IsValid("1a3"));
    std::string partial = "12";
    EXPECT_TRUE(digits.IsValidInput(partial, false));
    std::string wrong = "1a";
    EXPECT_FALSE(digits.IsValidInput(wrong, false));
    EXPECT_TRUE(TDbPictureValidator("", false).IsValid("anything"));
    // A bad picture fails every non-empty text but is no "invalid input" while typing.
    TDbPictureValidator bad("##;", false);
    EXPECT_TRUE(bad.BadPicture());
    EXPECT_FALSE(bad.IsValid("12"));
    std::string typed = "12";
    EXPECT_TRUE(bad.IsValidInput(typed, false));

    // Fill through IsValidInput follows the validator's auto-fill flag and its suppression.
    TDbPictureValidator phone("(###)###", true);
    std::string t = "(555";
    EXPECT_TRUE(phone.IsValidInput(t, false));
    EXPECT_EQ(t, "(555)");
    std::string u = "(555";
    EXPECT_TRUE(phone.IsValidInput(u, true));
    EXPECT_EQ(u, "(555");
}

TEST(PictureValidator, MaskLines) {
    TStringList masks;
    masks.Add("Phone\t(###)###-####\tT\tT");
    masks.Add("ZIP\t#####\tF");
    masks.Add("CODE\t&&");
    const TPictureMask phone = FindPictureMask(masks, "PHONE");
    EXPECT_TRUE(phone.Found);
    EXPECT_EQ(phone.Picture, "(###)###-####");
    EXPECT_TRUE(phone.AutoFill);
    EXPECT_TRUE(phone.UseInGrid);
    const TPictureMask zip = FindPictureMask(masks, "zip");
    EXPECT_EQ(zip.Picture, "#####");
    EXPECT_FALSE(zip.AutoFill);
    EXPECT_FALSE(zip.UseInGrid);
    const TPictureMask code = FindPictureMask(masks, "Code");
    EXPECT_FALSE(code.AutoFill);
    EXPECT_FALSE(code.UseInGrid);
    const TPictureMask none = FindPictureMask(masks, "NAME");
    EXPECT_FALSE(none.Found);
    EXPECT_TRUE(none.Picture.empty());
    EXPECT_TRUE(none.AutoFill);
    EXPECT_TRUE(none.UseInGrid);
}

}  // namespace
}  // namespace tessel
