// The rich text holder over Qt's text document: styles, paragraphs and the stored form.

#include <gtest/gtest.h>

#include <QTextDocument>

#include "richedit/DbRichEdit.h"
#include "richedit/RichTextQt.h"
#include "richtext/RtfReader.h"

namespace tessel {
namespace {

TRichDocument Sample() {
    TRichDocument d;
    d.fonts = {{"Liberation Sans", 0}, {"Liberation Mono", 0}};
    d.colors = {{}, {200, 0, 0}, {255, 255, 0}};
    TRichParagraph title;
    title.align = TRichAlign::Center;
    TRichRun bold{"Title", {}};
    bold.format.bold = true;
    bold.format.halfPoints = 32;
    bold.format.color = 1;
    title.runs = {bold};
    TRichParagraph item;
    item.bullet = true;
    item.leftIndent = 720;
    TRichRun code{"x = 1", {}};
    code.format.font = 1;
    code.format.italic = true;
    code.format.highlight = 2;
    item.runs = {code, {" and more\twith a tab", {}}};
    TRichParagraph plain;
    plain.align = TRichAlign::Justify;
    plain.firstIndent = 360;
    plain.rightIndent = 240;
    plain.tabs = {1440};
    plain.spaceBefore = 120;
    plain.lineSpacing = 480;  // double
    plain.lineMultiple = true;
    title.spaceAfter = 240;
    item.lineSpacing = -300;  // exactly 15 points
    TRichRun under{"underlined \u00E9", {}};
    under.format.underline = true;
    plain.runs = {under};
    d.paragraphs = {title, item, plain};
    return d;
}

TEST(RichEdit, ParagraphsAndStylesSurviveQtsDocument) {
    QTextDocument doc;
    FillTextDocument(Sample(), doc);
    EXPECT_EQ(doc.blockCount(), 3);
    const TRichDocument back = FromTextDocument(doc);
    const TRichDocument want = Sample();
    ASSERT_EQ(back.paragraphs.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TRichParagraph &a = back.paragraphs[i], &b = want.paragraphs[i];
        EXPECT_EQ(a.Text(), b.Text());
        EXPECT_EQ(a.align, b.align);
        EXPECT_EQ(a.firstIndent, b.firstIndent);
        EXPECT_EQ(a.rightIndent, b.rightIndent);
        EXPECT_EQ(a.tabs, b.tabs);
        EXPECT_EQ(a.spaceBefore, b.spaceBefore);
        EXPECT_EQ(a.spaceAfter, b.spaceAfter);
        EXPECT_EQ(a.lineSpacing, b.lineSpacing);
        EXPECT_EQ(a.lineMultiple, b.lineMultiple);
        EXPECT_EQ(a.bullet, b.bullet);
        ASSERT_EQ(a.runs.size(), b.runs.size());
        for (size_t k = 0; k < a.runs.size(); ++k) {
            const TRichCharFormat &fa = a.runs[k].format, &fb = b.runs[k].format;
            EXPECT_EQ(fa.bold, fb.bold);
            EXPECT_EQ(fa.italic, fb.italic);
            EXPECT_EQ(fa.underline, fb.underline);
            EXPECT_EQ(fa.halfPoints, fb.halfPoints);
            EXPECT_EQ(back.fonts[static_cast<size_t>(fa.font)].name, want.fonts[static_cast<size_t>(fb.font)].name);
            EXPECT_EQ(fa.color ? back.colors[static_cast<size_t>(fa.color)] : TRichColor{},
                      fb.color ? want.colors[static_cast<size_t>(fb.color)] : TRichColor{});
            EXPECT_EQ(fa.highlight ? back.colors[static_cast<size_t>(fa.highlight)] : TRichColor{},
                      fb.highlight ? want.colors[static_cast<size_t>(fb.highlight)] : TRichColor{});
        }
    }
}

TEST(RichEdit, TheHolderKeepsItsDocumentInTheStoredFormAndAsLines) {
    TDbRichEdit holder;
    holder.SetDocument(Sample());
    const std::string stored = holder.StoredDocument();
    // A 4-byte length that counts the RTF and its closing NUL.
    ASSERT_GT(stored.size(), 5u);
    const uint32_t n = static_cast<unsigned char>(stored[0]) | static_cast<unsigned char>(stored[1]) << 8 |
                       static_cast<unsigned char>(stored[2]) << 16 | static_cast<unsigned char>(stored[3]) << 24;
    EXPECT_EQ(n, stored.size() - 4);
    EXPECT_EQ(stored.back(), '\0');
    EXPECT_EQ(RtfPlainLines(StoredRtf(stored)).front(), "Title");

    TDbRichEdit other;
    other.LoadStoredDocument(stored);
    EXPECT_EQ(other.Lines(), (std::vector<std::string>{"Title", "x = 1 and more\twith a tab", "underlined \u00E9"}));
    other.SetLines({"one", "", "three"});
    EXPECT_EQ(other.Lines(), (std::vector<std::string>{"one", "", "three"}));
    other.LoadStoredDocument(std::string(4, '\0'));  // no document
    EXPECT_TRUE(other.Lines().empty());
    EXPECT_DOUBLE_EQ(other.MarginMM(1.0), 25.4);
    other.MeasurementUnits = TDbMeasurementUnits::muCentimeters;
    EXPECT_DOUBLE_EQ(other.MarginMM(1.5), 15);
}

}  // namespace
}  // namespace tessel
