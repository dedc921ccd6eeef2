// RTF documents: what we write reads back the same here and in an independent reader
// (unrtf), documents of other writers read with their styles, and damaged input.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "richtext/RtfDocument.h"
#include "richtext/RtfReader.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

TRichDocument Styled() {
    TRichDocument d;
    d.fonts = {{"Arial", 0}, {"Courier New", 0}};
    d.colors = {{}, {255, 0, 0}, {255, 255, 0}};
    TRichParagraph p1;
    p1.align = TRichAlign::Center;
    TRichRun bold{"Bold red", {}};
    bold.format.bold = true;
    bold.format.color = 1;
    p1.runs = {bold, {" plain {braces} \\ caf\u00E9 \u4E2D\u6587 \U0001F600", {}}};
    TRichParagraph p2;
    p2.bullet = true;
    p2.leftIndent = 720;
    p2.firstIndent = -360;
    TRichRun item{"italic item", {}};
    item.format.italic = true;
    item.format.font = 1;
    item.format.highlight = 2;
    p2.runs = {item};
    TRichParagraph p3;
    p3.align = TRichAlign::Justify;
    p3.rightIndent = 144;
    p3.tabs = {1440, 2880};
    p3.spaceBefore = 120;
    p3.spaceAfter = 240;
    p3.lineSpacing = 360;  // one and a half lines
    p3.lineMultiple = true;
    TRichRun under{"under\tlined", {}};
    under.format.underline = true;
    under.format.halfPoints = 32;
    p3.runs = {under};
    TRichParagraph right;
    right.align = TRichAlign::Right;
    right.lineSpacing = -300;  // exactly 15 points
    p2.lineSpacing = 280;      // at least 14 points
    d.paragraphs = {p1, p2, p3, right};
    return d;
}

TEST(RtfDocumentTest, WhatIsWrittenReadsBackTheSame) {
    const TRichDocument d = Styled();
    const TRichDocument back = ReadRtf(WriteRtf(d));
    EXPECT_EQ(back.fonts, d.fonts);
    EXPECT_EQ(back.colors, d.colors);
    ASSERT_EQ(back.paragraphs.size(), d.paragraphs.size());
    for (size_t i = 0; i < d.paragraphs.size(); ++i)
        EXPECT_EQ(back.paragraphs[i], d.paragraphs[i]) << "paragraph " << i;
    EXPECT_EQ(back.PlainLines(), (std::vector<std::string>{d.paragraphs[0].Text(), "italic item", "under\tlined"}));
}

TEST(RtfDocumentTest, AnIndependentReaderSeesTheSameTextAndStyles) {
    if (test::RunCommand("command -v unrtf").empty()) GTEST_SKIP() << "unrtf is not installed";
    test::TempDir dir;
    const std::string file = dir.File("styled.rtf");
    TRichDocument d = Styled();
    d.paragraphs[0].runs[1].text = " plain {braces} \\ caf\u00E9 \u4E2D";  // unrtf keeps no surrogate pairs
    std::ofstream(file, std::ios::binary) << WriteRtf(d);
    const std::string html = test::RunCommand("unrtf --html '" + file + "' 2>/dev/null");
    for (const char* expected :
         {"<center>", "<b><font color=\"#ff0000\">Bold red</font></b>", " plain {braces} \\ caf&eacute; &#20013;",
          "<font face=\"Courier New\">", "<i><span style=\"background:#ffff00\">italic item</span></i>", "&bull;",
          "<span style=\"font-size:16pt\"><u>under"})
        EXPECT_NE(html.find(expected), std::string::npos) << expected << "\n" << html;
    const std::string text = test::RunCommand("unrtf --text '" + file + "' 2>/dev/null");
    EXPECT_NE(text.find("Bold red plain {braces} \\ caf"), std::string::npos) << text;
    EXPECT_NE(text.find("italic item"), std::string::npos);
}

TEST(RtfDocumentTest, DocumentsOfOtherWritersKeepTheirTextAndStyles) {
    // As a word processor writes: a style sheet, a generator, a field, a code page, \uc0.
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\froman\\fcharset204 Times New Roman;}"
        "{\\f2\\fswiss Arial;}}{\\colortbl\\red0\\green0\\blue255;}"
        "{\\stylesheet{\\s0 Normal;}}{\\*\\generator Writer 1.0;}{\\info{\\title secret}}\r\n"
        "\\pard\\plain\\qc\\f2\\fs28\\b \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\b0  world\\par\r\n"
        "\\pard\\li360\\tx720 {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}} \\uc0\\u8364 "
        "\\emdash\\tab {\\cf0 blue}\\line next\\par}";
    const TRichDocument d = ReadRtf(rtf);
    ASSERT_EQ(d.PlainLines(), (std::vector<std::string>{"\u041F\u0440\u0438\u0432\u0435\u0442 world",
                                                        "link \u20AC\u2014\tblue", "next"}));
    EXPECT_EQ(d.codePage, 1251);
    EXPECT_EQ(d.fonts[1].name, "Arial");
    const TRichParagraph& p = d.paragraphs[0];
    EXPECT_EQ(p.align, TRichAlign::Center);
    EXPECT_TRUE(p.runs[0].format.bold);
    EXPECT_EQ(p.runs[0].format.font, 1);
    EXPECT_EQ(p.runs[0].format.halfPoints, 28);
    EXPECT_FALSE(p.runs[1].format.bold);
    EXPECT_EQ(d.paragraphs[1].leftIndent, 360);
    EXPECT_EQ(d.paragraphs[1].tabs, std::vector<int>{720});
    // A colour table without the automatic entry: \cf0 is its first colour, blue.
    const TRichRun& blue = d.paragraphs[1].runs.back();
    EXPECT_EQ(blue.text, "blue");
    EXPECT_EQ(d.colors.at(static_cast<size_t>(blue.format.color)), (TRichColor{0, 0, 255}));
}

TEST(RtfDocumentTest, DamagedInputEndsTheTextOrFailsClearly) {
    struct Case {
        std::string name, rtf;
        std::vector<std::string> lines;  // empty with `fails`
        bool fails = false;
    };
    const Case cases[] = {
        {"not rtf", "Hello, world", {}, true},
        {"truncated group", "{\\rtf1 first\\par {\\b second", {"first", "second"}},
        {"stray closing brace", "{\\rtf1 first\\par}} after\\par", {"first"}},
        {"cut escape", "{\\rtf1 a\\'4", {"a"}},
        {"cut control word", "{\\rtf1 a\\", {"a"}},
        {"binary junk",
         std::string("{\\rtf1 ok\\par \x01\x02\xff\xfe\x7f", 19) + "\\bin99999 x",
         {"ok", "\u00FF\u00FE"}},
        {"unknown destination", "{\\rtf1 {\\*\\mystery {nested} text}shown\\par}", {"shown"}},
        {"deep nesting", "{\\rtf1 " + std::string(100000, '{') + "x", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fails) {
            EXPECT_THROW(ReadRtf(c.rtf), ERtfError);
            continue;
        }
        TRichDocument d;
        ASSERT_NO_THROW(d = ReadRtf(c.rtf));
        EXPECT_EQ(d.PlainLines(), c.lines);
    }
    try {
        ReadRtf("{\\rtf1 " + std::string(2000, '{'));
        ADD_FAILURE();
    } catch (const ERtfError& e) {
        EXPECT_NE(std::string(e.what()).find("nested too deeply"), std::string::npos) << e.what();
    }
}

TEST(RtfDocumentTest, TheStoredSamplesReadAsTheirPlainLines) {
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TESSEL_SOURCE_DIR) + "/src/app/samples")) {
        if (entry.path().extension() != ".rtf") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string rtf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(ReadRtf(rtf).PlainLines(), RtfPlainLines(rtf));
    }
}

}  // namespace
}  // namespace tessel
