// Tests of the editor control's view: scrolling, caret, cells.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "base/StringList.h"
#include "editor/CodeEditTextUtil.h"
#include "editor/widget/CustomCodeEdit.h"
#include "highlight/SQLHighlighter.h"

namespace tessel {
namespace {

TEST(CodeEditColumns, LogicalAndDisplayColumns) {
    struct Row {
        const char* line;
        int tabWidth;
        int logical;
        int display;
    };
    const Row rows[] = {
        {"abc", 8, 1, 1},   {"abc", 8, 3, 3},  {"abc", 8, 10, 10},  // beyond the end: one cell each
        {"\tx", 8, 2, 9},   {"a\tb", 4, 3, 5}, {"a\tb", 4, 2, 2},
        {"éa\tz", 4, 4, 5},  // a column is a character, not a byte
        {"", 8, 50, 50},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.line) + " col " + std::to_string(r.logical));
        EXPECT_EQ(LogicalToDisplayColumn(r.line, r.logical, r.tabWidth), r.display);
        EXPECT_EQ(DisplayToLogicalColumn(r.line, r.display, r.tabWidth), r.logical);
    }
    // A cell inside a tab maps to the tab's own column.
    EXPECT_EQ(DisplayToLogicalColumn("\tx", 4, 8), 1);
    EXPECT_EQ(DisplayToLogicalColumn("a\tb", 3, 4), 2);
}

TEST(CodeEditSelectionText, EachModeOnTableOfCases) {
    const TStringList lines{"select a,", "  b from t", "where x", "end"};
    struct Row {
        TBufferCoord s, e;
        TSelectionMode mode;
        bool trim;
        const char* expected;
    };
    const Row rows[] = {
        {{1, 1}, {7, 1}, smNormal, true, "select"},
        {{8, 1}, {3, 2}, smNormal, true, "a,\r\n  "},
        {{8, 1}, {1, 4}, smNormal, true, "a,\r\n  b from t\r\nwhere x\r\n"},
        {{5, 2}, {3, 3}, smLine, true, "  b from t\r\nwhere x\r\n"},
        {{2, 3}, {2, 4}, smLine, true, "where x\r\nend"},  // no break after the buffer's last line
        {{2, 2}, {6, 4}, smColumn, true, " b f\r\nhere\r\nnd"},
        {{2, 2}, {6, 4}, smColumn, false, " b f\r\nhere\r\nnd  "},
        {{6, 1}, {2, 1}, smColumn, true, "elec"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.expected);
        EXPECT_EQ(SelectedTextOf(lines, r.s, r.e, r.mode, r.trim), r.expected);
    }
}

TEST(CodeEditWords, WordStartsOnTableOfCases) {
    const TStringList lines{"abc def", "  ghi", ""};
    const TCharSet w = DefaultWordChars();
    struct Row {
        TBufferCoord from;
        TBufferCoord next;
        TBufferCoord prev;
    };
    const Row rows[] = {
        {{1, 1}, {5, 1}, {1, 1}}, {{2, 1}, {5, 1}, {1, 1}},
        {{5, 1}, {8, 1}, {1, 1}}, {{8, 1}, {3, 2}, {5, 1}},  // at the end: the first word of the next line
        {{3, 2}, {6, 2}, {8, 1}},                            // before the first word: the end of the line above
        {{6, 2}, {1, 3}, {3, 2}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.from.Column) + "," + std::to_string(r.from.Line));
        EXPECT_EQ(NextWordStart(lines, r.from, w), r.next);
        EXPECT_EQ(PrevWordStart(lines, r.from, w), r.prev);
    }
}

// The widget with a known size: 10 px cells would be nice, but the grid comes from the font;
// the tests work in cells of CharWidth x LineHeight.
class CodeEditView : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font("Liberation Mono");
        font.setPixelSize(13);
        edit.SetEditorFont(font);
        edit.resize(400, 300);
        edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    }
    void Fill(int n) {
        TStringList l;
        for (int i = 1; i <= n; ++i) l.Add("line " + std::to_string(i));
        edit.Lines().Assign(l);
    }
    QPoint CellCenter(int displayColumn, int line) const {
        return {edit.ColumnToX(displayColumn) + edit.CharWidth() / 4,
                (line - edit.FirstVisibleLine()) * edit.LineHeight() + edit.LineHeight() / 2};
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier,
               Qt::MouseButtons buttons = Qt::LeftButton) {
        QMouseEvent e(type, QPointF(at), edit.viewport()->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, mods);
        QCoreApplication::sendEvent(edit.viewport(), &e);
    }
    TCodeEdit edit;
};

TEST_F(CodeEditView, CaretIsClampedWithAndWithoutPastEndOfLine) {
    edit.Lines().SetText("abc\n\nxy\n");
    struct Row {
        bool pastEol;
        TBufferCoord want;
        TBufferCoord got;
    };
    const Row rows[] = {
        {true, {50, 2}, {50, 2}}, {false, {50, 2}, {1, 2}}, {false, {9, 1}, {4, 1}},
        {true, {0, 0}, {1, 1}},   {true, {3, 99}, {3, 3}},  {true, {40000, 1}, {1024, 1}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.want.Column) + "," + std::to_string(r.want.Line));
        edit.SetOptions(r.pastEol ? CodeEditDefaultOptions : CodeEditDefaultOptions & ~OptionBit(eoScrollPastEol));
        edit.SetCaretXY(r.want);
        EXPECT_EQ(edit.CaretXY(), r.got);
    }
}

TEST_F(CodeEditView, LongLinesRaiseTheColumnLimitSoTheirEndIsReachable) {
    edit.Lines().SetText(std::string(3000, 'x') + "\nshort\n");
    edit.SetCaretXY({3001, 1});
    EXPECT_EQ(edit.CaretX(), 3001);
    edit.SetCaretXY({5000, 2});
    EXPECT_EQ(edit.CaretX(), 3001);
    // Never past the hard limit.
    edit.Lines().SetText(std::string(40000, 'y') + "\n");
    edit.SetCaretXY({40001, 1});
    EXPECT_EQ(edit.CaretX(), 32767);
}

TEST_F(CodeEditView, MovementCommandsOnTableOfCases) {
    edit.Lines().SetText("select a, b\n\tfrom t\nwhere x = 1\n");
    struct Row {
        TBufferCoord start;
        TCodeEditorCommand command;
        TBufferCoord caret;
        bool selection;
    };
    const Row rows[] = {
        {{1, 1}, ecRight, {2, 1}, false},       {{1, 1}, ecLeft, {1, 1}, false},
        {{12, 1}, ecRight, {13, 1}, false},  // past the end of the line (eoScrollPastEol)
        {{5, 1}, ecDown, {1, 2}, false},     // display column 5 lies inside the tab: before it
        {{10, 1}, ecDown, {3, 2}, false},    // display column 10 is the 'r' of from
        {{2, 2}, ecUp, {9, 1}, false},          {{1, 3}, ecDown, {1, 3}, false},  // no line below
        {{1, 1}, ecWordRight, {8, 1}, false},   {{8, 1}, ecWordLeft, {1, 1}, false},
        {{4, 1}, ecLineEnd, {12, 1}, false},    {{4, 1}, ecLineStart, {1, 1}, false},
        {{4, 2}, ecEditorTop, {1, 1}, false},   {{4, 1}, ecEditorBottom, {12, 3}, false},
        {{1, 1}, ecSelRight, {2, 1}, true},     {{1, 1}, ecSelDown, {1, 2}, true},
        {{3, 1}, ecSelWordRight, {8, 1}, true}, {{5, 3}, ecSelLineStart, {1, 3}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(EditorCommandToIdent(r.command) + " from " + std::to_string(r.start.Column) + "," +
                     std::to_string(r.start.Line));
        edit.SetCaretAndSelect(r.start, r.start, r.start);
        edit.ProcessEditorCommand(r.command, 0, nullptr);
        EXPECT_EQ(edit.CaretXY(), r.caret);
        EXPECT_EQ(edit.HasSelection(), r.selection);
        if (r.selection) {
            EXPECT_EQ(edit.SelAnchor(), r.start);
            EXPECT_EQ(edit.SelActive(), r.caret);
        }
    }
}

TEST_F(CodeEditView, HorizontalMovementWrapsWithoutPastEndOfLine) {
    edit.Lines().SetText("ab\ncd\n");
    edit.SetOptions(CodeEditDefaultOptions & ~OptionBit(eoScrollPastEol));
    edit.SetCaretXY({3, 1});
    edit.ProcessEditorCommand(ecRight, 0, nullptr);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{1, 2}));
    edit.ProcessEditorCommand(ecLeft, 0, nullptr);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{3, 1}));
}

TEST_F(CodeEditView, ShiftArrowsAndColumnSelection) {
    edit.Lines().SetText("abcdef\nghijkl\nmnopqr\n");
    edit.SetCaretXY({2, 1});
    edit.ProcessEditorCommand(ecSelRight, 0, nullptr);
    edit.ProcessEditorCommand(ecSelRight, 0, nullptr);
    edit.ProcessEditorCommand(ecSelDown, 0, nullptr);
    EXPECT_EQ(edit.SelectedText(), "bcdef\r\nghi");
    edit.ProcessEditorCommand(ecColumnSelect, 0, nullptr);
    EXPECT_EQ(edit.SelectionMode(), smColumn);
    EXPECT_EQ(edit.SelectedText(), "bc\r\nhi");
    edit.ProcessEditorCommand(ecSelDown, 0, nullptr);
    EXPECT_EQ(edit.SelectedText(), "bc\r\nhi\r\nno");
    edit.ProcessEditorCommand(ecLineSelect, 0, nullptr);
    EXPECT_EQ(edit.SelectedText(), "abcdef\r\nghijkl\r\nmnopqr");
    // Column mode with both ends in one column: nothing is selected.
    edit.ProcessEditorCommand(ecColumnSelect, 0, nullptr);
    edit.SetCaretAndSelect({3, 3}, {3, 1}, {3, 3});
    EXPECT_FALSE(edit.HasSelection());
    EXPECT_EQ(edit.SelectedText(), "");
    edit.ProcessEditorCommand(ecNormalSelect, 0, nullptr);
    EXPECT_TRUE(edit.HasSelection());
    edit.ProcessEditorCommand(ecSelectAll, 0, nullptr);
    EXPECT_EQ(edit.SelAnchor(), (TBufferCoord{1, 1}));
    EXPECT_EQ(edit.SelActive(), (TBufferCoord{7, 3}));
}

TEST_F(CodeEditView, ChangingTheLinesCollapsesTheSelectionOntoTheCaret) {
    edit.Lines().SetText("abc\ndef\n");
    edit.SetCaretAndSelect({3, 2}, {1, 1}, {3, 2});
    ASSERT_TRUE(edit.HasSelection());
    edit.Lines().Add("ghi");
    EXPECT_FALSE(edit.HasSelection());
    EXPECT_EQ(edit.SelAnchor(), (TBufferCoord{3, 2}));
}

TEST_F(CodeEditView, FirstVisibleLineAndColumnAreClamped) {
    Fill(100);
    const int visible = edit.VisibleLineCount();
    ASSERT_GT(visible, 5);
    struct Row {
        TCodeEditorOptions options;
        int wanted;
        int got;
    };
    const Row rows[] = {
        {CodeEditDefaultOptions, 0, 1},
        {CodeEditDefaultOptions, 50, 50},
        {CodeEditDefaultOptions, 1000, 100 - visible + 1},
        {CodeEditDefaultOptions | OptionBit(eoScrollPastEof), 1000, 100},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.wanted);
        edit.SetOptions(r.options);
        edit.SetFirstVisibleLine(r.wanted);
        EXPECT_EQ(edit.FirstVisibleLine(), r.got);
    }
    edit.SetOptions(CodeEditDefaultOptions);
    edit.SetFirstVisibleColumn(5000);
    EXPECT_EQ(edit.FirstVisibleColumn(), 1024 - edit.VisibleColumnCount() + 1);
    edit.SetOptions(CodeEditDefaultOptions & ~OptionBit(eoScrollPastEol));
    edit.SetFirstVisibleColumn(5000);
    EXPECT_EQ(edit.FirstVisibleColumn(), 1) << "no line is wider than the view";
}

TEST_F(CodeEditView, CaretMovesKeepItVisible) {
    Fill(200);
    edit.SetCaretXY({1, 150});
    EXPECT_EQ(edit.FirstVisibleLine(), 150 - edit.VisibleLineCount() + 1);
    edit.SetCaretXY({1, 3});
    EXPECT_EQ(edit.FirstVisibleLine(), 3);
    edit.ProcessEditorCommand(ecPageDown, 0, nullptr);
    EXPECT_EQ(edit.FirstVisibleLine(), 3 + edit.VisibleLineCount());
    EXPECT_EQ(edit.CaretY(), 3 + edit.VisibleLineCount());
    edit.SetCaretXY({500, 10});
    EXPECT_EQ(edit.FirstVisibleColumn(), 500 - edit.VisibleColumnCount() + 1);
}

TEST_F(CodeEditView, VerticalScrollBarScalesPastSixteenBits) {
    Fill(100000);
    QScrollBar* bar = edit.verticalScrollBar();
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_LE(bar->maximum(), 32767);
    // The thumb at its bottom shows the last page.
    bar->setValue(bar->maximum());
    EXPECT_EQ(edit.FirstVisibleLine(), 100000 - edit.VisibleLineCount() + 1);
    bar->setValue(0);
    EXPECT_EQ(edit.FirstVisibleLine(), 1);
    edit.SetFirstVisibleLine(50000);
    EXPECT_NEAR(bar->value(), 50000LL * 32767 / 100000, 1);
}

TEST_F(CodeEditView, PixelsAndPositions) {
    edit.Lines().SetText("abcdef\nxyz\n");
    const int cw = edit.CharWidth();
    const int lh = edit.LineHeight();
    const int origin = edit.TextOrigin();
    // The left half of a cell puts the caret before the character, the right half after it.
    EXPECT_EQ(edit.PixelToPosition(origin + 2 * cw + 1, 1), (TBufferCoord{3, 1}));
    EXPECT_EQ(edit.PixelToPosition(origin + 2 * cw + cw / 2 + 1, 1), (TBufferCoord{4, 1}));
    EXPECT_EQ(edit.PixelToPosition(origin, lh + 1), (TBufferCoord{1, 2}));
    // Below the visible lines: the last visible line.
    EXPECT_EQ(edit.PixelToPosition(origin, 100000).Line, edit.VisibleLineCount());
    EXPECT_EQ(edit.PositionToPixel({3, 2}), QPoint(origin + 2 * cw, lh));
}

TEST_F(CodeEditView, MouseClickShiftClickAndDoubleClick) {
    edit.Lines().SetText("select name, city\nfrom customer\n");
    Mouse(QEvent::MouseButtonPress, CellCenter(8, 1));
    Mouse(QEvent::MouseButtonRelease, CellCenter(8, 1), Qt::NoModifier, Qt::NoButton);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{8, 1}));
    EXPECT_FALSE(edit.HasSelection());

    Mouse(QEvent::MouseButtonPress, CellCenter(5, 2), Qt::ShiftModifier);
    Mouse(QEvent::MouseButtonRelease, CellCenter(5, 2), Qt::ShiftModifier, Qt::NoButton);
    EXPECT_EQ(edit.SelAnchor(), (TBufferCoord{8, 1}));
    EXPECT_EQ(edit.SelActive(), (TBufferCoord{5, 2}));
    EXPECT_EQ(edit.SelectedText(), "name, city\r\nfrom");

    // A double click selects the word; on the comma right after a word, that word.
    Mouse(QEvent::MouseButtonPress, CellCenter(10, 1));
    Mouse(QEvent::MouseButtonRelease, CellCenter(10, 1), Qt::NoModifier, Qt::NoButton);
    Mouse(QEvent::MouseButtonDblClick, CellCenter(10, 1));
    Mouse(QEvent::MouseButtonRelease, CellCenter(10, 1), Qt::NoModifier, Qt::NoButton);
    EXPECT_EQ(edit.SelectedText(), "name");
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{12, 1}));
    edit.SelectWordAt({12, 1});
    EXPECT_EQ(edit.SelectedText(), "name");
    // Beyond the end of a line: the caret goes to the end, nothing selected.
    edit.SelectWordAt({40, 2});
    EXPECT_FALSE(edit.HasSelection());
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{14, 2}));
}

TEST_F(CodeEditView, ClickInsideSelectionWaitsForDragAndCollapsesOnRelease) {
    edit.Lines().SetText("select name from t\n");
    edit.SetCaretAndSelect({12, 1}, {8, 1}, {12, 1});
    Mouse(QEvent::MouseButtonPress, CellCenter(9, 1));
    EXPECT_EQ(edit.SelectedText(), "name") << "the selection stays while a drag may start";
    Mouse(QEvent::MouseButtonRelease, CellCenter(9, 1), Qt::NoModifier, Qt::NoButton);
    EXPECT_FALSE(edit.HasSelection());
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{9, 1}));
}

TEST_F(CodeEditView, DraggingBelowTheEdgeScrollsAndExtendsTheSelection) {
    Fill(300);
    Mouse(QEvent::MouseButtonPress, CellCenter(1, 2));
    const QPoint below(edit.ColumnToX(3), edit.viewport()->height() + 3 * edit.LineHeight());
    Mouse(QEvent::MouseMove, below, Qt::NoModifier, Qt::LeftButton);
    // The auto-scroll timer moves the view; wait for it without assuming its speed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit.FirstVisibleLine() > 3; }, 5000));
    Mouse(QEvent::MouseButtonRelease, below, Qt::NoModifier, Qt::NoButton);
    const int top = edit.FirstVisibleLine();
    EXPECT_EQ(edit.SelAnchor(), (TBufferCoord{1, 2}));
    EXPECT_EQ(edit.SelActive().Line, top + edit.VisibleLineCount() - 1);
    QTest::qWait(250);
    EXPECT_EQ(edit.FirstVisibleLine(), top) << "the release stops the scrolling";
}

TEST_F(CodeEditView, WheelScrollsByWholeNotches) {
    Fill(300);
    edit.SetFirstVisibleLine(100);
    auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent e(QPointF(20, 20), edit.viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(edit.viewport(), &e);
    };
    const int perNotch = std::min(QApplication::wheelScrollLines(), edit.VisibleLineCount());
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(edit.FirstVisibleLine(), 100 + perNotch);
    wheel(60, Qt::NoModifier);
    EXPECT_EQ(edit.FirstVisibleLine(), 100 + perNotch) << "half a notch waits for the rest";
    wheel(60, Qt::NoModifier);
    EXPECT_EQ(edit.FirstVisibleLine(), 100);
    wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(edit.FirstVisibleLine(), 100 + edit.VisibleLineCount());
}

TEST_F(CodeEditView, StatusChangesArriveOnceAfterThePaintLock) {
    edit.Lines().SetText("abc\ndef\n");
    std::vector<TStatusChanges> seen;
    edit.OnStatusChange = [&](TCustomCodeEdit*, TStatusChanges c) { seen.push_back(c); };
    seen.clear();
    edit.BeginPaintLock();
    edit.SetCaretXY({2, 2});
    edit.ProcessEditorCommand(ecToggleMode, 0, nullptr);
    EXPECT_TRUE(seen.empty());
    edit.EndPaintLock();
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0] & (stCaretColumn | stCaretLine | stInsertMode), stCaretColumn | stCaretLine | stInsertMode);
    EXPECT_FALSE(edit.InsertMode());
}

TEST_F(CodeEditView, MatchBracketSkipsStringsAndComments) {
    TSQLHighlighter sql;
    edit.SetHighlighter(&sql);
    edit.Lines().SetText("f(a(b)c)\nx( ')' /* ) */\n)\n");
    edit.SetCaretXY({2, 1});
    edit.ProcessEditorCommand(ecMatchBracket, 0, nullptr);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{8, 1}));
    edit.ProcessEditorCommand(ecMatchBracket, 0, nullptr);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{2, 1}));
    edit.SetCaretXY({2, 2});
    edit.ProcessEditorCommand(ecMatchBracket, 0, nullptr);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{1, 3}));
    edit.SetHighlighter(nullptr);
}

TEST_F(CodeEditView, CaretShapesFollowTheInsertMode) {
    edit.setFocus();
    edit.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit.hasFocus(); }, 5000));
    edit.Lines().SetText("abc\n");
    edit.SetCaretXY({2, 1});
    const QPoint at = edit.PositionToPixel({2, 1});
    EXPECT_EQ(edit.CaretRect(), QRect(at.x() - 1, at.y() + 1, 2, edit.LineHeight() - 2));
    edit.ProcessEditorCommand(ecOverwriteMode, 0, nullptr);
    EXPECT_EQ(edit.CaretRect(), QRect(at.x(), at.y() + 1, edit.CharWidth(), edit.LineHeight() - 2));
}

// Rescanning keeps every line's highlighter state valid and scans no more than needed.
TEST(CodeEditRescan, EditingOneLineRescansExactlyTheLinesWhoseStateChanged) {
    TSQLHighlighter sql;
    TCodeEdit edit;
    TStringList text;
    for (int i = 0; i < 10; ++i) text.Add("select " + std::to_string(i));
    edit.Lines().Assign(text);
    edit.SetHighlighter(&sql);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(edit.Lines().LineState(i), lsNormal);

    struct Step {
        int line;
        const char* text;
        long scanned;                // lines scanned by the edit
        int commentFrom, commentTo;  // lines (0-based) that must now start inside a comment
    };
    const Step steps[] = {
        {0, "select 0 -- note", 1, -1, -1},  // no state changes: only the line itself
        {3, "select /* open", 7, 4, 9},      // every later line starts inside the comment
        {6, "end */", 4, 4, 6},              // the comment closes: lines 7..9 change back
        {5, "still inside", 1, 4, 6},        // inside the comment, nothing after it changes
        {9, "last /*", 0, 4, 6},             // the last line's end state is never needed
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        const long before = edit.ScannedLines();
        edit.Lines().Put(s.line, s.text);
        EXPECT_EQ(edit.ScannedLines() - before, s.scanned);
        for (int i = 0; i < 10; ++i) {
            const bool inComment = i >= s.commentFrom && i <= s.commentTo;
            EXPECT_EQ(edit.Lines().LineState(i) == lsComment, inComment) << "line " << i;
        }
    }
    // Inserting and deleting lines rescans from the line above.
    edit.Lines().Insert(2, "/*");
    EXPECT_EQ(edit.Lines().LineState(3), lsComment);
    edit.Lines().Delete(2);
    EXPECT_EQ(edit.Lines().LineState(3), lsNormal);
    edit.SetHighlighter(nullptr);
}

}  // namespace
}  // namespace tessel
