// Tests of text encodings.

#include "base/TextEncoding.h"

#include <gtest/gtest.h>

using namespace tessel;

TEST(TextEncoding, DetectsByMarkThenByValidity) {
    struct Case {
        std::string bytes;
        TTextEncoding expected;
    };
    const Case cases[] = {
        {"", TTextEncoding::Utf8},
        {"plain ascii", TTextEncoding::Utf8},
        {"caf\xC3\xA9", TTextEncoding::Utf8},
        {"caf\xE9", TTextEncoding::Windows1252},
        {"\xC3", TTextEncoding::Windows1252},          // cut short
        {"\xC0\x80", TTextEncoding::Windows1252},      // overlong
        {"\xED\xA0\x80", TTextEncoding::Windows1252},  // a surrogate
        {"\xEF\xBB\xBFx", TTextEncoding::Utf8Bom},
        {"\xFF\xFEx\0", TTextEncoding::Utf16LeBom},
        {"\xFE\xFF\0x", TTextEncoding::Utf16BeBom},
    };
    for (const auto& c : cases) EXPECT_EQ(DetectTextEncoding(c.bytes), c.expected) << testing::PrintToString(c.bytes);
}

TEST(TextEncoding, RoundTripsGiveTheSameBytes) {
    const std::string samples[] = {
        std::string("caf\xE9 \x80 \x81 \x9F\r\n", 10),  // Windows-1252 incl. undefined bytes
        "\xEF\xBB\xBF"
        "SELECT '\xC3\xA9'\r\n",  // UTF-8 with mark
        std::string("\xFF\xFE"
                    "a\0\r\0\n\0\x3D\xD8\x00\xDE",
                    12),                      // UTF-16 LE with a surrogate pair
        std::string("\xFE\xFF\0a\0\xE9", 6),  // UTF-16 BE
    };
    for (const std::string& bytes : samples) {
        const TTextEncoding enc = DetectTextEncoding(bytes);
        const std::string utf8 = DecodeText(bytes, enc);
        EXPECT_TRUE(IsValidUtf8(utf8));
        std::string back;
        ASSERT_TRUE(EncodeText(utf8, enc, back));
        EXPECT_EQ(back, bytes);
    }
}

TEST(TextEncoding, Windows1252RefusesWhatItCannotHold) {
    std::string out;
    EXPECT_TRUE(EncodeText("\xE2\x82\xAC", TTextEncoding::Windows1252, out));  // euro sign
    EXPECT_EQ(out, "\x80");
    EXPECT_FALSE(EncodeText("\xE2\x98\x83", TTextEncoding::Windows1252, out));  // snowman
}

TEST(TextEncoding, LengthCountsCharactersNotBytes) {
    EXPECT_EQ(Utf8Length("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), 4u);
}
