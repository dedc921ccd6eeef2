// Tests of the RTF reader.

#include "richtext/RtfReader.h"

#include <gtest/gtest.h>

namespace tessel {
namespace {

const std::string kHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss MS Sans Serif;}{\\f1\\fmodern Courier New;}}"
    "{\\colortbl ;\\red255\\green0\\blue0;}{\\*\\generator Msftedit;}\n\\viewkind4\\uc1\\pard\\f0\\fs16 ";

TEST(RtfReader, ParagraphsBecomeLinesAndFormattingIsDropped) {
    struct Case {
        std::string body;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a\\par\nb\\par\n}", {"a", "b"}},
        {"      \\tab\\tab\\tab ADD x\\par\n}", {"      \t\t\tADD x"}},
        {"DELETE \\f1\\fs20 FROM \"t\"\\f0\\fs16 \\par\n}", {"DELETE FROM \"t\""}},
        {"\\par\n}", {}},
        {"a\\par\n\\par\n}", {"a"}},
        {"a\\par\n\\par\nb\\par\n}", {"a", "", "b"}},
        {"no mark}", {"no mark"}},
        {"\\{x\\} \\\\ caf\\'e9\\par}", {"{x} \\ caf\xe9"}},
        {"\\u8364?uro\\par}",
         {"\xe2\x82\xac"
          "uro"}},
        {"{\\b bold} {\\*\\unknown hidden}plain\\par}", {"bold plain"}},
        {"a\nb\r\nc\\par}", {"abc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(RtfPlainLines(kHead + c.body), c.lines);
    }
}

TEST(RtfReader, StoredDocumentsCarryTheirLength) {
    const std::string rtf = "{\\rtf1 x\\par}";
    std::string stored = std::string(1, static_cast<char>(rtf.size() + 1)) + std::string("\0\0\0", 3) + rtf;
    stored += '\0';
    stored += "trailing bytes of the next property";
    EXPECT_EQ(StoredRtf(stored), rtf);
    EXPECT_EQ(RtfPlainLines(StoredRtf(stored)), (std::vector<std::string>{"x"}));
    EXPECT_TRUE(StoredRtf(std::string("\0\0\0\0", 4)).empty());
    EXPECT_TRUE(StoredRtf("ab").empty());
}

}  // namespace
}  // namespace tessel
