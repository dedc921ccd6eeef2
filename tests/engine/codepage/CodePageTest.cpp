// Tests of code pages and language drivers.

#include <gtest/gtest.h>

#include "engine/codepage/CodePage.h"
#include "engine/codepage/LanguageDrivers.h"

using namespace tessel::engine::codepage;

TEST(CodePageTest, DecodesEachCodePageToUtf8) {
    struct Case {
        int codePage;
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {1252, "caf\xe9 \x80", "caf\xc3\xa9 \xe2\x82\xac"},
        {437, "\x81\x9a", "\xc3\xbc\xc3\x9c"},
        {850, "\x81\xd1", "\xc3\xbc\xc3\x90"},
        {866, "\x8f\xe0\xa8", "\xd0\x9f\xd1\x80\xd0\xb8"},
        {1251, "\xcf\xf0\xe8", "\xd0\x9f\xd1\x80\xd0\xb8"},
        {10000, "\x8a", "\xc3\xa4"},
        {932, "\x82\xa0", "\xe3\x81\x82"},  // Shift-JIS hiragana A
        {1252, "plain", "plain"},
    };
    for (const auto& c : cases) {
        CodePageConverter conv(c.codePage);
        EXPECT_EQ(conv.CodePage(), c.codePage);
        EXPECT_EQ(conv.ToUtf8(c.bytes), c.utf8) << "code page " << c.codePage;
        std::string back;
        EXPECT_TRUE(conv.FromUtf8(c.utf8, back)) << "code page " << c.codePage;
        EXPECT_EQ(back, c.bytes) << "code page " << c.codePage;
    }
}

// A byte a single-byte code page (or UTF-8) does not define is kept: it reads as a private-use
// character, goes back as the same byte into that code page, and is refused by a code page that
// has a character of its own at that byte.
TEST(CodePageTest, UndefinedBytesAreKept) {
    CodePageConverter cp1252(1252), cp437(437), utf8(kUtf8CodePage);
    const std::string kept = cp1252.ToUtf8("a\x81z");
    EXPECT_EQ(kept, "a\uF781z");
    std::string out;
    char32_t bad = 0;
    ASSERT_TRUE(cp1252.FromUtf8(kept, out));
    EXPECT_EQ(out, "a\x81z");
    EXPECT_FALSE(cp437.FromUtf8(kept, out, SIZE_MAX, &bad));  // 0x81 is ü there
    EXPECT_EQ(bad, U'\uF781');
    EXPECT_NE(NoPlaceText(bad, 437).find("the byte 0x81"), std::string::npos);
    // UTF-8: valid text as it is, a stray byte kept.
    const std::string mixed = utf8.ToUtf8("Z\xc3\xbcrich \xff\xc3");
    EXPECT_EQ(mixed, "Z\xc3\xbcrich \uF7FF\uF7C3");
    ASSERT_TRUE(utf8.FromUtf8(mixed, out));
    EXPECT_EQ(out, "Z\xc3\xbcrich \xff\xc3");
    ASSERT_TRUE(utf8.FromUtf8("\xc3\xa9t\xc3\xa9", out, 3));
    EXPECT_EQ(out, "\xc3\xa9t");  // never half a character
}

TEST(CodePageTest, CodePageNames) {
    const std::pair<const char*, int> cases[] = {{"UTF-8\n", kUtf8CodePage},
                                                 {" utf8 ", kUtf8CodePage},
                                                 {"1252", 1252},
                                                 {"CP1250", 1250},
                                                 {"ANSI 1251", 1251},
                                                 {"OEM 852", 852},
                                                 {"ISO-8859-1", 28591},
                                                 {"88591", 28591},
                                                 {"8859-2", 28592},
                                                 {"LDID/87", 1252},
                                                 {"65001", kUtf8CodePage},
                                                 {"klingon", 0},
                                                 {"", 0}};
    for (const auto& [name, codePage] : cases) EXPECT_EQ(CodePageFromName(name), codePage) << name;
    EXPECT_EQ(CodePageFileText(kUtf8CodePage), "UTF-8");
    EXPECT_EQ(CodePageFileText(28592), "ISO-8859-2");
    EXPECT_EQ(CodePageFileText(1250), "1250");
    EXPECT_TRUE(IsCodePageSupported(28591));
}

TEST(CodePageTest, UndefinedSequencesOfMultiByteCodePagesAreReplaced) {
    CodePageConverter sjis(932);
    // A lead byte without its trail byte, then text: only the broken byte is replaced.
    EXPECT_EQ(sjis.ToUtf8("\x82"), "\xef\xbf\xbd");
    EXPECT_EQ(sjis.ToUtf8("ab\x82"), "ab\xef\xbf\xbd");
}

TEST(CodePageTest, CharactersWithoutAPlaceAreReported) {
    CodePageConverter conv(437);
    std::string out;
    char32_t bad = 0;
    EXPECT_FALSE(conv.FromUtf8("x\xe2\x82\xac", out, SIZE_MAX, &bad));  // euro sign
    EXPECT_EQ(bad, U'\u20AC');
    EXPECT_FALSE(conv.FromUtf8("\xff", out, SIZE_MAX, &bad));  // malformed UTF-8
}

TEST(CodePageTest, TruncationNeverSplitsACharacter) {
    CodePageConverter sjis(932);
    std::string out;
    ASSERT_TRUE(sjis.FromUtf8("a\xe3\x81\x82\xe3\x81\x82", out, 4));
    EXPECT_EQ(out, "a\x82\xa0");
    CodePageConverter cp1252(1252);
    ASSERT_TRUE(cp1252.FromUtf8("\xc3\xa9t\xc3\xa9", out, 2));
    EXPECT_EQ(out, "\xe9t");
}

TEST(CodePageTest, UnknownCodePageFallsBackToWindowsAnsi) {
    CodePageConverter conv(895);  // Kamenicky: no converter here
    EXPECT_EQ(conv.CodePage(), kDefaultCodePage);
    EXPECT_EQ(conv.ToUtf8("\xe9"), "\xc3\xa9");
    CodePageConverter none(0);
    EXPECT_EQ(none.CodePage(), kDefaultCodePage);
}

TEST(LanguageDriverTest, DbaseBytesNamesAndCodePages) {
    struct Case {
        uint8_t id;
        int codePage;
        const char* name;
    } cases[] = {
        {0x01, 437, "DB437US0"},  {0x03, 1252, "DBWINUS0"}, {0x57, 1252, "DBWINUS0"},
        {0x58, 1252, "DBWINWE0"}, {0x65, 866, ""},          {0x66, 865, ""},
        {0xC9, 1251, ""},         {0x26, 866, ""},          {0x1A, 850, "DB850UK0"},
    };
    for (const auto& c : cases) {
        const auto* d = FindDbaseDriver(c.id);
        ASSERT_NE(d, nullptr) << int(c.id);
        EXPECT_EQ(d->codePage, c.codePage) << int(c.id);
        EXPECT_STREQ(d->name, c.name) << int(c.id);
    }
    EXPECT_EQ(FindDbaseDriver(0x00), nullptr);
    EXPECT_EQ(FindDbaseDriver(0xEE), nullptr);
    ASSERT_NE(FindDbaseDriverByName("dbwinwe0"), nullptr);
    EXPECT_EQ(FindDbaseDriverByName("dbwinwe0")->id, 0x58);
    EXPECT_EQ(DbaseDriverForCodePage(1252), 0x03);
    EXPECT_EQ(DbaseDriverForCodePage(866), 0x65);
    EXPECT_EQ(DbaseDriverForCodePage(12345), 0);
}

TEST(LanguageDriverTest, ParadoxDriversByIdAndBySortOrder) {
    ASSERT_NE(FindParadoxDriver("ansiintl"), nullptr);
    EXPECT_EQ(FindParadoxDriver("ANSIINTL")->codePage, 1252);
    // 0x4C is shared by two drivers; the code page tells them apart.
    ASSERT_NE(FindParadoxDriver(0x4C, 1255), nullptr);
    EXPECT_STREQ(FindParadoxDriver(0x4C, 1255)->id, "ANHEBREW");
    EXPECT_STREQ(FindParadoxDriver(0x4C, 1252)->id, "DBWINUS0");
}
