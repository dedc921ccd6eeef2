// The print job laid out on a recording canvas: margins, pages, wrapping, line numbers,
// copies and abort, highlighting, header and footer.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RecordingCanvas.h"
#include "highlight/SQLHighlighter.h"
#include "print/CodeEditPrint.h"

namespace tessel::test {
namespace {

// Without a printer and with the default margins: text from x 230 to 2239 (83 columns of 24
// pixels), y from 245, 58 lines of 50 pixels per page.
constexpr int kLeft = 230, kTop = 245, kColumns = 83, kLinesPerPage = 58;

std::vector<std::string> Numbered(int n) {
    std::vector<std::string> lines;
    for (int i = 1; i <= n; ++i) lines.push_back("line " + std::to_string(i));
    return lines;
}

TEST(PrintMargins, PixelsFollowUnitsPrinterAndMirroring) {
    TCodeEditPrintMargins m;
    TCodeEditPrinterInfo info;  // no printer: A4 at 300 dpi
    RecordingCanvas canvas;
    m.ComputePixels(canvas, 1, info, false, false, 0);
    EXPECT_EQ(m.PixelLeft, 230);
    EXPECT_EQ(m.PixelTop, 245);
    EXPECT_EQ(m.PixelRight, 2239);
    EXPECT_EQ(m.PixelBottom, 3162);
    EXPECT_EQ(m.PixelHeader, 127);  // 15 mm from the top edge
    EXPECT_EQ(m.PixelHFInternalMargin, 6);

    m.SetUnitSystem(TUnitSystem::usInch);
    m.SetLeft(1);
    m.SetUnitSystem(TUnitSystem::usMM);
    EXPECT_DOUBLE_EQ(m.Left(), 25.4);
    m.SetUnitSystem(TUnitSystem::muThousandthsOfInches);
    EXPECT_NEAR(m.Left(), 1000, 1e-9);
    m.SetUnitSystem(TUnitSystem::usCM);
    EXPECT_NEAR(m.Left(), 2.54, 1e-12);

    // Mirrored with a gutter: the gutter is on the binding side of each page.
    TCodeEditPrintMargins mirrored;
    mirrored.SetMirrorMargins(true);
    mirrored.SetGutter(10);
    mirrored.ComputePixels(canvas, 2, info, false, false, 0);
    EXPECT_EQ(mirrored.PixelLeft, info.PixelsFromLeft(15));
    EXPECT_EQ(mirrored.PixelRight, info.PageWidth() - info.PixelsFromRight(35));
    mirrored.ComputePixels(canvas, 3, info, false, false, 0);
    EXPECT_EQ(mirrored.PixelLeft, info.PixelsFromLeft(35));
    EXPECT_EQ(mirrored.PixelGutter, 118);
    // A margin inside the printer's offset starts outside the printable area.
    TCodeEditPrintMargins tight;
    tight.SetLeft(2);
    tight.ComputePixels(canvas, 1, info, false, false, 0);
    EXPECT_LT(tight.PixelLeft, 0);

    TCodeEditPrintMargins copy;
    copy.Assign(mirrored);
    EXPECT_TRUE(copy.MirrorMargins());
    EXPECT_DOUBLE_EQ(copy.Gutter(), 10);
}

TEST(PrintLayout, TabsAreExpandedToTheNextMultipleOfTheTabWidth) {
    TCodeEditPrint job;
    job.SetLines({"a\tb", "\t", "abcdefgh\tx", "x\ty"});
    EXPECT_EQ(job.Lines()[0], "a       b");
    EXPECT_EQ(job.Lines()[1], "        ");
    EXPECT_EQ(job.Lines()[2], "abcdefgh        x");
    job.SetTabWidth(1);
    job.SetLines({"x\ty"});
    EXPECT_EQ(job.Lines()[0], "x y");
}

TEST(PrintLayout, WrapPositionsPreferBlanksThenPunctuationThenCut) {
    struct Case {
        std::u32string line;
        int columns;
        std::vector<int> positions;
    };
    const Case cases[] = {
        {U"abc def", 10, {}},                               // fits
        {U"aaaa bbbb cccc", 10, {10}},                      // after the last blank of the first ten
        {U"aaaa,bbbb-cccc,dddd eeee", 10, {10, 20}},        // comma, hyphen and blank are breaks
        {U"aaaa(bbbb)cccc.dddd;eeee", 10, {10, 20}},        // then parentheses, full stops, semicolons
        {U"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 10, {10, 20}},  // no break at all: cut every 10
        {U"a bbbbbbbbbbbbbbbbbbbbbbbb", 10, {10, 20}},      // one row cannot break: cut
    };
    for (const Case& c : cases)
        EXPECT_EQ(TCodeEditPrint::WrapPositions(c.line, c.columns), c.positions)
            << std::string(c.line.begin(), c.line.end());
}

TEST(PrintLayout, PagesRowsAndLineNumbers) {
    // An empty text prints one blank page.
    {
        TCodeEditPrint job;
        RecordingTarget target;
        job.Print(target);
        ASSERT_EQ(target.pages.size(), 1u);
        EXPECT_TRUE(target.pages[0].texts.empty());
        EXPECT_TRUE(target.ended);
    }
    // Lines fill pages of 58; the next starts a new page at the top.
    {
        TCodeEditPrint job;
        job.SetLines(Numbered(kLinesPerPage + 1));
        RecordingTarget target;
        job.Print(target);
        ASSERT_EQ(target.pages.size(), 2u);
        EXPECT_EQ(target.pages[0].texts.size(), static_cast<size_t>(kLinesPerPage));
        ASSERT_EQ(target.pages[1].texts.size(), 1u);
        EXPECT_EQ(target.pages[1].texts[0].text, "line 59");
        EXPECT_EQ(target.pages[1].texts[0].y, kTop);
        EXPECT_EQ(target.pages[0].texts[1].y, kTop + 50);
    }
    // A line with no break characters three column counts long: three rows of 83.
    {
        TCodeEditPrint job;
        job.SetLines({std::string(3 * kColumns, 'x'), "next"});
        RecordingTarget target;
        job.Print(target);
        const auto& t = target.pages[0].texts;
        ASSERT_EQ(t.size(), 4u);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(t[static_cast<size_t>(row)].text, std::string(kColumns, 'x'));
            EXPECT_EQ(t[static_cast<size_t>(row)].y, kTop + 50 * row);
            EXPECT_EQ(t[static_cast<size_t>(row)].x, kLeft);
        }
        EXPECT_EQ(t[3].y, kTop + 150);
        job.Wrap = false;
        RecordingTarget unwrapped;
        job.Print(unwrapped);
        EXPECT_EQ(unwrapped.pages[0].texts[0].text, std::string(kColumns, 'x'));
        EXPECT_EQ(unwrapped.pages[0].texts[1].y, kTop + 50);
    }
    // Numbers of ten lines move the text by the width of "10: ", right-aligned against it.
    {
        TCodeEditPrint job;
        job.LineNumbers = true;
        job.SetLines(Numbered(10));
        RecordingTarget target;
        job.Print(target);
        const auto& t = target.pages[0].texts;
        ASSERT_EQ(t.size(), 20u);
        const int left = kLeft + 4 * RecordingCanvas::kChar;
        EXPECT_EQ(t[0].text, "1: ");
        EXPECT_EQ(t[0].x, left - 3 * RecordingCanvas::kChar);
        EXPECT_EQ(t[1].x, left);
        EXPECT_EQ(t[18].text, "10: ");
        EXPECT_EQ(t[18].x, kLeft);
        job.LineNumbersInMargin = true;
        job.LineOffset = 100;
        RecordingTarget inMargin;
        job.Print(inMargin);
        EXPECT_EQ(inMargin.pages[0].texts[1].x, kLeft);
        EXPECT_EQ(inMargin.pages[0].texts[0].text, "101: ");
    }
}

TEST(PrintLayout, CopiesRepeatThePagesAndAbortStopsAtOnce) {
    TCodeEditPrint job;
    job.SetLines(Numbered(2 * kLinesPerPage + 1));  // three pages
    job.Copies = 2;
    std::vector<int> newPages;
    job.OnPrintStatus = [&](TCodeEditPrint&, TPrintStatus status, int page, bool&) {
        if (status == TPrintStatus::spsNewPage) newPages.push_back(page);
    };
    RecordingTarget target;
    job.Print(target);
    EXPECT_EQ(newPages, (std::vector<int>{1, 2, 3, 1, 2, 3}));
    ASSERT_EQ(target.pages.size(), 6u);
    EXPECT_EQ(target.pages[3].texts.front().text, "line 1");

    job.Copies = 1;
    std::vector<TPrintStatus> statuses;
    job.OnPrintStatus = [&](TCodeEditPrint&, TPrintStatus status, int page, bool& abort) {
        statuses.push_back(status);
        if (status == TPrintStatus::spsNewPage && page == 2) abort = true;
    };
    RecordingTarget aborted;
    job.Print(aborted);
    EXPECT_EQ(aborted.pages.size(), 1u);
    EXPECT_TRUE(aborted.aborted);
    EXPECT_FALSE(aborted.ended);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), TPrintStatus::spsEnd), 0);
}

TEST(PrintLayout, HighlightedTokensCarryTheirStylesAndWrapWithTheRow) {
    TSQLHighlighter sql;
    TCodeEditPrint job;
    job.SetHighlighter(&sql);
    job.Title = "report.sql";
    // The comment spans two lines: the second line's state comes from the first.
    job.SetLines({"SELECT name /* a", "note */ FROM t", std::string(80, 'a') + " FROM b"});
    RecordingTarget target;
    job.Print(target);
    EXPECT_EQ(target.jobName, "report.sql");
    const auto& t = target.pages[0].texts;
    auto find = [&](const std::string& text, int y) -> const DrawnText* {
        for (const auto& d : t)
            if (d.text == text && d.y == y) return &d;
        return nullptr;
    };
    const DrawnText* select = find("SELECT", kTop);
    ASSERT_NE(select, nullptr);
    EXPECT_TRUE(select->font.style.Contains(TFontStyle::fsBold));
    EXPECT_EQ(select->advance, RecordingCanvas::kChar);
    const DrawnText* name = find("name", kTop);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->x, kLeft + 7 * RecordingCanvas::kChar);
    EXPECT_FALSE(name->font.style.Contains(TFontStyle::fsBold));
    const DrawnText* note = find("note */", kTop + 50);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->font.style, sql.CommentAttri()->Style());
    EXPECT_TRUE(find("FROM", kTop + 50)->font.style.Contains(TFontStyle::fsBold));
    // The long line wraps after its blank: "FROM" starts the second row at the left edge.
    const DrawnText* from = find("FROM", kTop + 150);
    ASSERT_NE(from, nullptr);
    EXPECT_EQ(from->x, kLeft);
    EXPECT_TRUE(from->font.style.Contains(TFontStyle::fsBold));
    EXPECT_EQ(from->font.color, job.Font.color);  // colours only with Colors

    sql.KeyAttri()->SetForeground(0x0000FF);
    job.Colors = true;
    RecordingTarget coloured;
    job.Print(coloured);
    for (const auto& d : coloured.pages[0].texts)
        if (d.text == "SELECT") EXPECT_EQ(d.font.color, 0x0000FFu);
    // Without highlighting the rows are the same, in the plain font.
    job.Highlight = false;
    RecordingTarget plain;
    job.Print(plain);
    ASSERT_EQ(plain.pages[0].texts.size(), 4u);
    EXPECT_EQ(plain.pages[0].texts[0].text, "SELECT name /* a");
    EXPECT_EQ(plain.pages[0].texts[3].text, "FROM b");
    EXPECT_EQ(plain.pages[0].texts[3].y, kTop + 150);
}

TEST(HeaderFooterTest, MacrosAndRomanNumerals) {
    struct Case {
        std::string text;
        bool roman;
        std::string expanded;
    };
    const Case cases[] = {
        {"Page $PAGENUM$ of $PAGECOUNT$", false, "Page 3 of 7"},
        {"Page $PAGENUM$ of $PAGECOUNT$", true, "Page III of 7"},
        {"$pagenum$", false, "3"},
        {"$$PAGENUM$", false, "$3"},
        {"$ABC$ x", false, "$ABC$ x"},
        {"cost $5", false, "cost $5"},
        {"$TITLE$: $DATETIME$", false, "t.sql: D T"},
        {"$TIMEDATE$", false, "T D"},
        {"   ", false, ""},
    };
    for (const Case& c : cases) {
        THeaderFooterItem item;
        item.Text = c.text;
        EXPECT_EQ(item.ExpandText(7, 3, c.roman, "t.sql", "T", "D"), c.expanded) << c.text;
    }
    EXPECT_EQ(THeaderFooter::RomanNumeral(1994), "MCMXCIV");
    EXPECT_EQ(THeaderFooter::RomanNumeral(4), "IV");
    EXPECT_EQ(THeaderFooter::RomanNumeral(3888), "MMMDCCCLXXXVIII");
    EXPECT_EQ(THeaderFooter::RomanNumeral(0), "");
    EXPECT_EQ(THeaderFooter::RomanNumeral(-5), "");
}

TEST(HeaderFooterTest, RowsAlignmentMirroringAndFrames) {
    TCodeEditPrint job;
    job.SetLines(Numbered(2 * kLinesPerPage + 1));
    job.PageOffset = 1;  // pages print as 2, 3, 4
    job.Header.MirrorPosition = true;
    job.Header.FrameTypes = static_cast<int>(TFrameType::ftBox) | static_cast<int>(TFrameType::ftShaded);
    job.Header.AddItem("Page $PAGENUM$", nullptr, TAlignment::taLeftJustify, 2);
    job.Header.AddItem("mid", nullptr, TAlignment::taCenter, 5);
    RecordingTarget target;
    job.Print(target);
    ASSERT_EQ(target.pages.size(), 3u);
    EXPECT_EQ(job.Header.RowCount(), 2);
    const int indentLeft = kLeft + 24, indentRight = 2239 - 24;  // 2 mm at 300 dpi
    const int frame = 2 * 50 + 2 * 6;
    auto header = [&](size_t page) {
        std::vector<DrawnText> h;
        for (const auto& d : target.pages[page].texts)
            if (d.y < kTop) h.push_back(d);
        return h;
    };
    // Page 2 (even): the left item stands at the right; rows 2 and 5 print one under the other.
    auto h0 = header(0);
    ASSERT_EQ(h0.size(), 2u);
    EXPECT_EQ(h0[0].text, "Page 2");
    EXPECT_EQ(h0[0].x, indentRight - 6 * 24);
    EXPECT_EQ(h0[0].y, 127 - frame + 6);
    EXPECT_EQ(h0[1].y, 127 - frame + 6 + 50);
    EXPECT_EQ(h0[1].x, (indentLeft + indentRight - 3 * 24) / 2);
    auto h1 = header(1);
    EXPECT_EQ(h1[0].text, "Page 3");
    EXPECT_EQ(h1[0].x, indentLeft);
    // The box and its shading over the frame; no line without ftLine.
    ASSERT_EQ(target.pages[0].rectangles.size(), 1u);
    EXPECT_EQ(target.pages[0].rectangles[0].rect, (TPrintRect{kLeft, 127 - frame, 2239, 127}));
    EXPECT_EQ(target.pages[0].rectangles[0].brush, 0xC0C0C0u);
    EXPECT_TRUE(target.pages[0].lines.empty());

    // A footer without items draws nothing, not even its line.
    EXPECT_EQ(job.Footer.FrameHeight(), -1);
    job.Footer.AddItem("$PAGECOUNT$", nullptr, TAlignment::taRightJustify, 1);
    RecordingTarget withFooter;
    job.Print(withFooter);
    ASSERT_EQ(withFooter.pages[0].lines.size(), 1u);
    const int footerTop = 3407 - (job.PrinterInfo().PixelsFromBottom(15));
    EXPECT_EQ(withFooter.pages[0].lines[0], (TPrintRect{kLeft, footerTop, 2239, footerTop}));
    EXPECT_EQ(withFooter.pages[0].texts.back().text, "3");
}

}  // namespace
}  // namespace tessel::test
