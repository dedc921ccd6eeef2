// Tests of the editor control's painting.

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <set>

#include "editor/widget/CustomCodeEdit.h"
#include "highlight/SQLHighlighter.h"

namespace tessel {
namespace {

constexpr TColor kBlue = 0xFF0000;  // 0x00BBGGRR
constexpr TColor kGreen = 0x008000;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kYellowBg = 0x00FFFF;

// Colours found in one character cell of the rendered editor.
std::set<QRgb> CellColors(const QImage& image, const TCustomCodeEdit& edit, int displayColumn, int line) {
    std::set<QRgb> colors;
    const int x0 = edit.ColumnToX(displayColumn);
    const int y0 = (line - edit.FirstVisibleLine()) * edit.LineHeight();
    for (int y = y0; y < y0 + edit.LineHeight(); ++y)
        for (int x = x0; x < x0 + edit.CharWidth(); ++x) colors.insert(image.pixel(x, y) & 0xFFFFFF);
    return colors;
}

QRgb Rgb(TColor c) {
    return ResolveColor(c).rgb() & 0xFFFFFF;
}

class CodeEditPaint : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font("Liberation Mono");
        font.setPixelSize(13);
        // Glyphs in pure colours, so a cell's pixels name its token's colour.
        font.setStyleStrategy(QFont::NoAntialias);
        edit.SetEditorFont(font);
        edit.resize(500, 200);
        edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
        edit.SetColor(0xFFFFFF);
        edit.SetFontColor(0x000000);
        sql.KeyAttri()->SetForeground(kBlue);
        sql.CommentAttri()->SetForeground(kGreen);
        sql.StringAttri()->SetForeground(kRed);
        sql.NumberAttri()->SetBackground(kYellowBg);
        edit.SetHighlighter(&sql);
    }
    void TearDown() override { edit.SetHighlighter(nullptr); }
    TSQLHighlighter sql;
    TCodeEdit edit;
};

TEST_F(CodeEditPaint, TokensAreDrawnInTheirAttributesColours) {
    edit.Lines().SetText("select 'abc', 42 -- done\n/* open\nstill */ from\n");
    const QImage image = edit.RenderToImage();
    struct Cell {
        int column, line;
        QRgb ink;         // a colour the glyph must contain
        QRgb background;  // the cell's background
    };
    const QRgb white = Rgb(0xFFFFFF);
    const Cell cells[] = {
        {1, 1, Rgb(kBlue), white},        // s of select
        {9, 1, Rgb(kRed), white},         // a inside the string
        {15, 1, Rgb(0), Rgb(kYellowBg)},  // 4 of 42: default ink, own background
        {21, 1, Rgb(kGreen), white},      // d of the line comment
        {4, 2, Rgb(kGreen), white},       // o of open, inside a comment
        {1, 3, Rgb(kGreen), white},       // still: the comment goes on from the line above
        {10, 3, Rgb(kBlue), white},       // f of from
    };
    for (const Cell& c : cells) {
        SCOPED_TRACE(std::to_string(c.column) + "," + std::to_string(c.line));
        const std::set<QRgb> colors = CellColors(image, edit, c.column, c.line);
        EXPECT_TRUE(colors.count(c.ink)) << "ink missing";
        EXPECT_TRUE(colors.count(c.background)) << "background missing";
        // Nothing from the other token colours bleeds in.
        for (QRgb other : {Rgb(kBlue), Rgb(kRed), Rgb(kGreen)}) {
            if (other != c.ink) {
                EXPECT_FALSE(colors.count(other));
            }
        }
    }
    // The space between select and the string: background only.
    EXPECT_EQ(CellColors(image, edit, 7, 1), (std::set<QRgb>{white}));
}

TEST_F(CodeEditPaint, SelectionIsDrawnInItsColoursAndSplitsATokenRun) {
    edit.Lines().SetText("select abcdef from t\n");
    edit.SelectedColor().SetBackground(0x000080);  // dark red background
    edit.SelectedColor().SetForeground(0xFFFFFF);
    edit.SetCaretAndSelect({11, 1}, {9, 1}, {11, 1});  // "bc" of abcdef
    const QImage image = edit.RenderToImage();
    const QRgb selBg = Rgb(0x000080);
    EXPECT_FALSE(CellColors(image, edit, 8, 1).count(selBg));
    EXPECT_TRUE(CellColors(image, edit, 9, 1).count(selBg));
    EXPECT_TRUE(CellColors(image, edit, 10, 1).count(selBg));
    EXPECT_FALSE(CellColors(image, edit, 11, 1).count(selBg));

    // Line selection reaches the right end of the line.
    edit.SetSelectionMode(smLine);
    const QImage lineMode = edit.RenderToImage();
    EXPECT_TRUE(CellColors(lineMode, edit, 40, 1).count(selBg));
}

TEST_F(CodeEditPaint, AlikeTokensShareOneDrawCall) {
    // Identifiers separated by blanks are one run; a bold keyword next to them is another.
    edit.Lines().SetText("aa bb cc dd\n");
    long before = edit.TextDrawer().DrawCalls();
    edit.RenderToImage();
    const long plain = edit.TextDrawer().DrawCalls() - before;
    edit.Lines().SetText("select bb cc dd\n");
    before = edit.TextDrawer().DrawCalls();
    edit.RenderToImage();
    const long mixed = edit.TextDrawer().DrawCalls() - before;
    EXPECT_EQ(plain, 1);
    EXPECT_EQ(mixed, 2);
}

TEST_F(CodeEditPaint, RightEdgeIsDrawnAlsoBelowTheLastLine) {
    edit.Lines().SetText("x\n");
    edit.SetRightEdge(10);
    edit.SetRightEdgeColor(kRed);
    const QImage image = edit.RenderToImage();
    const int x = 10 * edit.CharWidth() + edit.TextOrigin();
    EXPECT_EQ(image.pixel(x, 2) & 0xFFFFFF, Rgb(kRed));
    EXPECT_EQ(image.pixel(x, image.height() - 3) & 0xFFFFFF, Rgb(kRed));
    EXPECT_EQ(image.pixel(x + 1, image.height() - 3) & 0xFFFFFF, Rgb(0xFFFFFF));
}

TEST_F(CodeEditPaint, GridPutsEveryCharacterInItsOwnCell) {
    // Wide characters do not push the following ones out of their columns.
    edit.SetHighlighter(nullptr);
    edit.Lines().SetText("日x\n");
    const QImage image = edit.RenderToImage();
    EXPECT_TRUE(CellColors(image, edit, 2, 1).count(Rgb(0)));
    EXPECT_FALSE(CellColors(image, edit, 3, 1).count(Rgb(0)));
}

TEST_F(CodeEditPaint, LineHeightFollowsTheTallestStyleAndProportionalFontsAreRefused) {
    QFont proportional("Liberation Sans");
    proportional.setPixelSize(20);
    edit.SetEditorFont(proportional);
    EXPECT_EQ(edit.font().family(), "Liberation Mono");
    EXPECT_EQ(edit.font().pixelSize(), 20);
    EXPECT_GE(edit.LineHeight(), 20);
}

}  // namespace
}  // namespace tessel
