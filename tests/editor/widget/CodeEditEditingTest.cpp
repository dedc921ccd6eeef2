// Tests of the editor control's editing commands.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QTest>
#include <string>
#include <vector>

#include "editor/widget/CustomCodeEdit.h"

namespace tessel {
namespace {

using Lines = std::vector<std::string>;

Lines TextOf(const TCustomCodeEdit& edit) {
    Lines out;
    for (int i = 0; i < edit.Lines().Count(); ++i) out.push_back(edit.Lines().Get(i));
    return out;
}

void Load(TCustomCodeEdit& edit, const Lines& lines) {
    edit.Lines().Clear();
    for (const std::string& s : lines) edit.Lines().Add(s);
}

void Exec(TCustomCodeEdit& edit, TCodeEditorCommand c, char32_t ch = 0, void* data = nullptr) {
    edit.ProcessEditorCommand(c, ch, data);
}

void Type(TCustomCodeEdit& edit, const std::u32string& s) {
    for (char32_t c : s) Exec(edit, ecChar, c);
}

// --- undo and redo -----------------------------------------------------------------------------

// A step of a script: a command, or typing (command 0 with text).
struct Step {
    TCodeEditorCommand command;
    const char32_t* text = nullptr;
};

TEST(CodeEditUndo, GroupingEdgeCases) {
    struct Row {
        const char* name;
        Lines start;
        TBufferCoord caret;
        bool groupUndo;
        std::vector<Step> steps;
        Lines expected;
        bool modified;
    };
    const Row rows[] = {
        {"three typed characters, one undo", {""}, {1, 1}, true, {{0, U"abc"}, {ecUndo}}, {""}, false},
        {"without group undo one each", {""}, {1, 1}, false, {{0, U"abc"}, {ecUndo}}, {"ab"}, true},
        {"a caret move separates runs", {""}, {1, 1}, true, {{0, U"ab"}, {ecLeft}, {0, U"c"}, {ecUndo}}, {"ab"}, true},
        {"the run before the move is next",
         {""},
         {1, 1},
         true,
         {{0, U"ab"}, {ecLeft}, {0, U"c"}, {ecUndo}, {ecUndo}},
         {""},
         false},
        {"backspace between runs",
         {""},
         {1, 1},
         true,
         {{0, U"ab"}, {ecDeleteLastChar}, {0, U"cd"}, {ecUndo}},
         {"a"},
         true},
        {"then the backspace",
         {""},
         {1, 1},
         true,
         {{0, U"ab"}, {ecDeleteLastChar}, {0, U"cd"}, {ecUndo}, {ecUndo}},
         {"ab"},
         true},
        {"redo after undo", {"x"}, {2, 1}, true, {{0, U"yz"}, {ecUndo}, {ecRedo}}, {"xyz"}, true},
        {"a new edit empties the redo list",
         {"x"},
         {2, 1},
         true,
         {{0, U"yz"}, {ecUndo}, {0, U"q"}, {ecRedo}},
         {"xq"},
         true},
        {"a caret move keeps the redo list",
         {"x"},
         {2, 1},
         true,
         {{0, U"yz"}, {ecUndo}, {ecLeft}, {ecRedo}},
         {"xyz"},
         true},
        {"undo on an empty list", {"x"}, {1, 1}, true, {{ecUndo}, {ecRedo}}, {"x"}, false},
        {"line break undone and redone", {"abcd"}, {3, 1}, true, {{ecLineBreak}, {ecUndo}}, {"abcd"}, false},
        {"line break redone", {"abcd"}, {3, 1}, true, {{ecLineBreak}, {ecUndo}, {ecRedo}}, {"ab", "cd"}, true},
        {"overwrite undone and redone",
         {"abcd"},
         {2, 1},
         true,
         {{ecOverwriteMode}, {0, U"XY"}, {ecUndo}, {ecRedo}},
         {"aXYd"},
         true},
        {"overwrite undone", {"abcd"}, {2, 1}, true, {{ecOverwriteMode}, {0, U"XY"}, {ecUndo}}, {"abcd"}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TCodeEdit edit;
        edit.resize(400, 200);
        Load(edit, r.start);
        TCodeEditorOptions o = edit.Options();
        if (!r.groupUndo) o &= ~OptionBit(eoGroupUndo);
        edit.SetOptions(o);
        edit.SetCaretXY(r.caret);
        for (const Step& s : r.steps) {
            if (s.command == 0)
                Type(edit, s.text);
            else
                Exec(edit, s.command);
        }
        EXPECT_EQ(TextOf(edit), r.expected);
        EXPECT_EQ(edit.IsModified(), r.modified);
    }
}

TEST(CodeEditUndo, BlockIndentIsOneStepBothWays) {
    TCodeEdit edit;
    edit.resize(400, 200);
    Load(edit, {"a", "b", "c", "d"});
    edit.SetCaretAndSelect({2, 3}, {1, 1}, {2, 3});
    Exec(edit, ecBlockIndent);
    const Lines indented{"        a", "        b", "        c", "d"};
    EXPECT_EQ(TextOf(edit), indented);
    EXPECT_EQ(edit.SelAnchor(), (TBufferCoord{9, 1}));
    EXPECT_EQ(edit.SelActive(), (TBufferCoord{10, 3}));
    Exec(edit, ecUndo);
    EXPECT_EQ(TextOf(edit), (Lines{"a", "b", "c", "d"}));
    EXPECT_FALSE(edit.IsModified());
    Exec(edit, ecRedo);
    EXPECT_EQ(TextOf(edit), indented);
    Exec(edit, ecBlockUnindent);
    EXPECT_EQ(TextOf(edit), (Lines{"a", "b", "c", "d"}));
    Exec(edit, ecUndo);
    EXPECT_EQ(TextOf(edit), indented);
    Exec(edit, ecRedo);
    EXPECT_EQ(TextOf(edit), (Lines{"a", "b", "c", "d"}));
}

TEST(CodeEditUndo, MaxUndoZeroAndOnChange) {
    TCodeEdit edit;
    Load(edit, {""});
    int changes = 0;
    edit.OnChange = [&](TCustomCodeEdit*) { ++changes; };
    Exec(edit, ecUndo);
    EXPECT_EQ(changes, 0) << "undo on an empty list fires nothing";
    edit.Lines().Add("loading does not fire either");
    EXPECT_EQ(changes, 0);
    edit.SetMaxUndo(0);
    edit.SetMaxUndo(-3);  // ignored
    EXPECT_EQ(edit.MaxUndo(), 0);
    Type(edit, U"a");
    EXPECT_TRUE(edit.IsModified());
    EXPECT_TRUE(edit.UndoList().Truncated());
    EXPECT_EQ(edit.UndoList().Count(), 0);
    Exec(edit, ecUndo);
    EXPECT_EQ(edit.Lines().Get(0), "a");
    EXPECT_EQ(changes, 1);
}

TEST(CodeEditUndo, ReadOnlyChangesNothing) {
    TCodeEdit edit;
    Load(edit, {"abc", "def"});
    edit.SetCaretXY({2, 1});
    Type(edit, U"x");
    edit.SetReadOnly(true);
    const TCodeEditorCommand commands[] = {
        ecChar, ecDeleteLastChar, ecDeleteChar, ecDeleteWord, ecDeleteLine, ecLineBreak, ecUndo,      ecRedo,
        ecTab,  ecUpperCase,      ecPaste,      ecCut,        ecClearAll,   ecDeleteEOL, ecInsertLine};
    for (TCodeEditorCommand c : commands) Exec(edit, c, U'q');
    EXPECT_EQ(TextOf(edit), (Lines{"axbc", "def"}));
}

// --- the editing commands ------------------------------------------------------------------------

// Each row runs one command, checks the text and the caret, then checks that one undo brings the
// start back and one redo the result.
TEST(CodeEditCommands, EachCommandUndoesAndRedoesInOneStep) {
    struct Row {
        const char* name;
        Lines start;
        TBufferCoord caret;
        TSelectionMode mode;
        TBufferCoord anchor;  // {0,0}: no selection
        TCodeEditorCommand command;
        char32_t ch;
        Lines expected;
        TBufferCoord caretAfter;
        TCodeEditorOptions clear = 0;  // options switched off
    };
    const TCodeEditorOptions smartDelete = OptionBit(eoSmartTabDelete);
    const Row rows[] = {
        {"type into an empty line beyond its end",
         {"", "", "", "", ""},
         {10, 5},
         smNormal,
         {0, 0},
         ecChar,
         U'x',
         {"", "", "", "", "         x"},
         {11, 5}},
        {"type over a selection", {"abcdef"}, {5, 1}, smNormal, {2, 1}, ecChar, U'X', {"aXef"}, {3, 1}},
        {"type over a line selection", {"ab", "cd", "ef"}, {1, 2}, smLine, {1, 1}, ecChar, U'X', {"Xef"}, {2, 1}},
        {"type over a column selection",
         {"abcd", "efgh"},
         {3, 2},
         smColumn,
         {2, 1},
         ecChar,
         U'X',
         {"acd", "eXgh"},
         {3, 2}},
        {"backspace joins lines", {"ab", "cd"}, {1, 2}, smNormal, {0, 0}, ecDeleteLastChar, 0, {"abcd"}, {3, 1}},
        {"backspace one character", {"aéb"}, {3, 1}, smNormal, {0, 0}, ecDeleteLastChar, 0, {"ab"}, {2, 1}},
        {"backspace deletes the selection",
         {"abc", "def"},
         {2, 2},
         smNormal,
         {2, 1},
         ecDeleteLastChar,
         0,
         {"aef"},
         {2, 1}},
        {"smart backspace to the indent above",
         {"x", "    y", "        z"},
         {9, 3},
         smNormal,
         {0, 0},
         ecDeleteLastChar,
         0,
         {"x", "    y", "    z"},
         {5, 3}},
        {"smart backspace with every line above deeper",
         {"          y", "        z"},
         {9, 2},
         smNormal,
         {0, 0},
         ecDeleteLastChar,
         0,
         {"          y", "z"},
         {1, 2}},
        {"backspace back to the tab stop",
         {"      z"},
         {7, 1},
         smNormal,
         {0, 0},
         ecDeleteLastChar,
         0,
         {"z"},
         {1, 1},
         smartDelete},
        {"delete a character", {"abc"}, {2, 1}, smNormal, {0, 0}, ecDeleteChar, 0, {"ac"}, {2, 1}},
        {"delete at the end joins", {"ab", "cd"}, {5, 1}, smNormal, {0, 0}, ecDeleteChar, 0, {"ab  cd"}, {5, 1}},
        {"delete word", {"abc def"}, {3, 1}, smNormal, {0, 0}, ecDeleteWord, 0, {"abdef"}, {3, 1}},
        {"delete to end of line", {"abc def"}, {3, 1}, smNormal, {0, 0}, ecDeleteEOL, 0, {"ab"}, {3, 1}},
        {"delete back to word", {"abc def"}, {7, 1}, smNormal, {0, 0}, ecDeleteLastWord, 0, {"abc f"}, {5, 1}},
        {"delete to line start", {"abc def"}, {5, 1}, smNormal, {0, 0}, ecDeleteBOL, 0, {"def"}, {1, 1}},
        {"delete line", {"a", "b", "c"}, {1, 2}, smNormal, {0, 0}, ecDeleteLine, 0, {"a", "c"}, {1, 2}},
        {"delete the last line", {"a", "b"}, {2, 2}, smNormal, {0, 0}, ecDeleteLine, 0, {"a"}, {1, 1}},
        {"enter keeps the indent",
         {"    abc"},
         {6, 1},
         smNormal,
         {0, 0},
         ecLineBreak,
         U'\r',
         {"    a", "    bc"},
         {5, 2}},
        {"enter at column 1", {"abc"}, {1, 1}, smNormal, {0, 0}, ecLineBreak, U'\r', {"", "abc"}, {1, 2}},
        {"enter after the end", {"  ab"}, {5, 1}, smNormal, {0, 0}, ecLineBreak, U'\r', {"  ab", "  "}, {3, 2}},
        {"insert line keeps the caret", {"abcd"}, {3, 1}, smNormal, {0, 0}, ecInsertLine, U'\r', {"ab", "cd"}, {3, 1}},
        {"tab to the next stop",
         {"ab"},
         {2, 1},
         smNormal,
         {0, 0},
         ecTab,
         0,
         {"a       b"},
         {9, 1},
         OptionBit(eoSmartTabs)},
        {"smart tab to the next word above",
         {"select  x", "ab"},
         {1, 2},
         smNormal,
         {0, 0},
         ecTab,
         0,
         {"select  x", "        ab"},
         {9, 2}},
        {"shift tab removes blanks",
         {"x", "        ab"},
         {9, 2},
         smNormal,
         {0, 0},
         ecShiftTab,
         0,
         {"x", "ab"},
         {1, 2},
         OptionBit(eoSmartTabs)},
        {"upper case word", {"select x"}, {3, 1}, smNormal, {0, 0}, ecUpperCase, 0, {"SELECT x"}, {3, 1}},
        {"lower case word", {"SELECT x"}, {3, 1}, smNormal, {0, 0}, ecLowerCase, 0, {"select x"}, {3, 1}},
        {"title case word", {"sELECT x"}, {3, 1}, smNormal, {0, 0}, ecTitleCase, 0, {"Select x"}, {3, 1}},
        {"toggle case keeps the sharp s", {"aßB"}, {1, 1}, smNormal, {4, 1}, ecToggleCase, 0, {"Aßb"}, {1, 1}},
        {"toggle one character", {"ab"}, {1, 1}, smNormal, {0, 0}, ecToggleCase, 0, {"Ab"}, {2, 1}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TCodeEdit edit;
        edit.resize(400, 200);
        Load(edit, r.start);
        edit.SetOptions(edit.Options() & ~r.clear);
        edit.SetSelectionMode(r.mode);
        if (r.anchor.Line > 0)
            edit.SetCaretAndSelect(r.caret, r.anchor, r.caret);
        else
            edit.SetCaretXY(r.caret);
        Exec(edit, r.command, r.ch);
        EXPECT_EQ(TextOf(edit), r.expected);
        EXPECT_EQ(edit.CaretXY(), r.caretAfter);
        Exec(edit, ecUndo);
        EXPECT_EQ(TextOf(edit), r.start) << "after undo";
        EXPECT_FALSE(edit.IsModified());
        Exec(edit, ecRedo);
        EXPECT_EQ(TextOf(edit), r.expected) << "after redo";
    }
}

TEST(CodeEditCommands, ClearAllEmptiesTextHistoryAndBookmarks) {
    TCodeEdit edit;
    Load(edit, {"a", "b"});
    Type(edit, U"x");
    edit.SetBookMark(1, 1, 2);
    Exec(edit, ecClearAll);
    EXPECT_EQ(edit.Lines().Count(), 0);
    EXPECT_FALSE(edit.IsModified());
    EXPECT_FALSE(edit.CanUndo());
    EXPECT_EQ(edit.BookMark(1), nullptr);
    EXPECT_EQ(edit.Marks().Count(), 0);
    Type(edit, U"z");
    EXPECT_EQ(TextOf(edit), (Lines{"z"}));
}

TEST(CodeEditCommands, ReplaceAllTextIsOneUndoableEdit) {
    TCodeEdit edit;
    Load(edit, {"old one", "old two"});
    edit.ReplaceAllText("select *\r\nfrom t");
    EXPECT_EQ(TextOf(edit), (Lines{"select *", "from t"}));
    Exec(edit, ecUndo);
    EXPECT_EQ(TextOf(edit), (Lines{"old one", "old two"}));
}

// --- clipboard -----------------------------------------------------------------------------------

class CodeEditClipboard : public ::testing::Test {
protected:
    void SetUp() override { edit.resize(400, 200); }
    static void SetPlain(const QByteArray& utf8) {
        auto* mime = new QMimeData;
        mime->setText(QString::fromUtf8(utf8));
        QGuiApplication::clipboard()->setMimeData(mime);
    }
    static void SetBlock(const QByteArray& block) {
        auto* mime = new QMimeData;
        mime->setData(CodeEditClipboardMimeType, block);
        QGuiApplication::clipboard()->setMimeData(mime);
    }
    TCodeEdit edit;
};

TEST_F(CodeEditClipboard, CopyOffersPlainTextAndTheBlockWithItsMode) {
    Load(edit, {"abc", "def"});
    edit.SetSelectionMode(smColumn);
    edit.SetCaretAndSelect({3, 2}, {1, 1}, {3, 2});
    Exec(edit, ecCopy);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(mime->text(), "ab\r\nde");
    EXPECT_EQ(mime->data(CodeEditClipboardMimeType), QByteArray("\x02"
                                                                "ab\r\nde",
                                                                7) +
                                                         QByteArray(1, '\0'));
}

TEST_F(CodeEditClipboard, PasteInEachModeAndUndoInOneStep) {
    struct Row {
        const char* name;
        QByteArray block;  // empty: plain text
        QByteArray plain;
        TBufferCoord caret;
        Lines expected;
    };
    const Lines start{"l1", "l2", "l3", "l4", "line5", "ab", "abcdef"};
    const Row rows[] = {
        {"line block of two lines keeps line 5 below",
         QByteArray("\x01"
                    "x\r\ny\r\n",
                    7) +
             QByteArray(1, '\0'),
         {},
         {3, 5},
         {"l1", "l2", "l3", "l4", "x", "y", "line5", "ab", "abcdef"}},
        {"column block of three pieces at column 4",
         QByteArray("\x02"
                    "11\r\n22\r\n33",
                    11) +
             QByteArray(1, '\0'),
         {},
         {4, 5},
         {"l1", "l2", "l3", "l4", "lin11e5", "ab 22", "abc33def"}},
        {"plain text", {}, "P\r\nQ", {2, 1}, {"lP", "Q1", "l2", "l3", "l4", "line5", "ab", "abcdef"}},
        {"lone CR is a line break and NUL ends the text",
         {},
         QByteArray("A\rB\0C", 5),
         {1, 1},
         {"A", "Bl1", "l2", "l3", "l4", "line5", "ab", "abcdef"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Load(edit, start);
        edit.SetCaretXY(r.caret);
        if (r.block.isEmpty())
            SetPlain(r.plain);
        else
            SetBlock(r.block);
        Exec(edit, ecPaste);
        EXPECT_EQ(TextOf(edit), r.expected);
        Exec(edit, ecUndo);
        EXPECT_EQ(TextOf(edit), start);
        Exec(edit, ecRedo);
        EXPECT_EQ(TextOf(edit), r.expected);
    }
}

TEST_F(CodeEditClipboard, CutAndPasteOverASelection) {
    Load(edit, {"select a from t"});
    edit.SetCaretAndSelect({9, 1}, {8, 1}, {9, 1});
    Exec(edit, ecCut);
    EXPECT_EQ(TextOf(edit), (Lines{"select  from t"}));
    edit.SetCaretAndSelect({15, 1}, {14, 1}, {15, 1});
    Exec(edit, ecPaste);
    EXPECT_EQ(TextOf(edit), (Lines{"select  from a"}));
    Exec(edit, ecUndo);
    EXPECT_EQ(TextOf(edit), (Lines{"select  from t"}));
    Exec(edit, ecUndo);
    EXPECT_EQ(TextOf(edit), (Lines{"select a from t"}));
}

TEST_F(CodeEditClipboard, DamagedBlockIsReportedAndChangesNothing) {
    Load(edit, {"abc"});
    const QByteArray bad[] = {QByteArray("\x01", 1), QByteArray("\x07xy", 3) + QByteArray(1, '\0'),
                              QByteArray("\x00xy", 3)};
    for (const QByteArray& b : bad) {
        SetBlock(b);
        try {
            Exec(edit, ecPaste);
            ADD_FAILURE() << "no error";
        } catch (const ECodeEditError& e) {
            EXPECT_STREQ(e.what(), "Clipboard paste operation failed.");
        }
        EXPECT_EQ(TextOf(edit), (Lines{"abc"}));
        EXPECT_EQ(edit.UndoList().BlockDepth(), 0) << "the undo block is closed";
    }
}

TEST_F(CodeEditClipboard, TenMegabytePasteUndoesInOneStep) {
    Load(edit, {"before"});
    std::string big;
    big.reserve(10 * 1024 * 1024 + 64);
    while (big.size() < 10 * 1024 * 1024) big += "select a, b, c from some_table where x = 1;\r\n";
    SetPlain(QByteArray::fromStdString(big));
    edit.SetCaretXY({7, 1});
    Exec(edit, ecPaste);
    EXPECT_GT(edit.Lines().Count(), 200000);
    Exec(edit, ecUndo);
    EXPECT_EQ(TextOf(edit), (Lines{"before"}));
}

// --- bookmarks and the gutter ------------------------------------------------------------------------

TEST(CodeEditBookmarks, SetToggleMoveAndGo) {
    TCodeEdit edit;
    edit.resize(400, 200);
    Lines text;
    for (int i = 1; i <= 30; ++i) text.push_back("line " + std::to_string(i));
    Load(edit, text);
    std::vector<std::string> events;
    edit.OnPlaceBookmark = [&](TCustomCodeEdit*, TCodeEditMark*& m) {
        events.push_back("place " + std::to_string(m->Line()));
    };
    edit.OnClearBookmark = [&](TCustomCodeEdit*, TCodeEditMark*& m) {
        events.push_back("clear " + std::to_string(m->Line()));
    };
    TBufferCoord at{3, 10};
    Exec(edit, ecSetMarker0 + 3, 0, &at);
    ASSERT_NE(edit.BookMark(3), nullptr);
    EXPECT_EQ(edit.BookMark(3)->Line(), 10);
    EXPECT_EQ(edit.BookMark(3)->ImageIndex(), 3);
    Exec(edit, ecSetMarker0 + 3, 0, &at);
    EXPECT_EQ(edit.BookMark(3), nullptr) << "again on its own line removes it";
    Exec(edit, ecSetMarker0 + 3, 0, &at);
    at = {1, 20};
    Exec(edit, ecSetMarker0 + 3, 0, &at);
    ASSERT_NE(edit.BookMark(3), nullptr);
    EXPECT_EQ(edit.BookMark(3)->Line(), 20);
    EXPECT_EQ(events, (std::vector<std::string>{"place 10", "clear 10", "place 10", "clear 10", "place 20"}));
    EXPECT_EQ(edit.Marks().Count(), 1);

    edit.SetCaretXY({1, 1});
    Exec(edit, ecGotoMarker0 + 3);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{1, 20}));
    EXPECT_LE(edit.FirstVisibleLine(), 20);
    EXPECT_GE(edit.FirstVisibleLine() + edit.VisibleLineCount(), 20);

    // Out of range: ignored.
    edit.SetBookMark(10, 1, 1);
    edit.SetBookMark(-1, 1, 1);
    edit.SetBookMark(2, 1, 31);
    edit.SetBookMark(2, 1, 0);
    edit.ClearBookMark(12);
    edit.GotoBookMark(99);
    EXPECT_EQ(edit.Marks().Count(), 1);
    TBufferCoord none{1, 1};
    Exec(edit, ecSetMarker0 + 1, 0, &none);
    Exec(edit, ecGotoMarker0 + 7);
    EXPECT_EQ(edit.Marks().Count(), 2);

    // A bookmark beyond the text is not gone to.
    for (int i = 0; i < 15; ++i) edit.Lines().Delete(edit.Lines().Count() - 1);
    edit.SetCaretXY({1, 1});
    Exec(edit, ecGotoMarker0 + 3);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{1, 1}));

    edit.BookMarkOptions().SetEnableKeys(false);
    Exec(edit, ecSetMarker0 + 1, 0, &none);
    EXPECT_NE(edit.BookMark(1), nullptr) << "keys disabled";

    TCodeEdit empty;
    empty.SetBookMark(0, 1, 1);
    EXPECT_NE(empty.BookMark(0), nullptr) << "an empty buffer accepts line 1";
}

TEST(CodeEditBookmarks, FollowEditsAndTheirUndo) {
    struct Row {
        const char* name;
        TBufferCoord caret;
        TBufferCoord anchor;  // {0,0}: no selection
        TCodeEditorCommand command;
        int line;  // where the bookmark on line 4 goes
    };
    const Row rows[] = {
        {"enter above", {1, 2}, {0, 0}, ecLineBreak, 5},
        {"enter at the start of its line", {1, 4}, {0, 0}, ecLineBreak, 5},
        {"enter at the end of its line", {7, 4}, {0, 0}, ecLineBreak, 4},
        {"backspace joining above", {1, 3}, {0, 0}, ecDeleteLastChar, 3},
        {"delete line above", {1, 2}, {0, 0}, ecDeleteLine, 3},
        {"delete of a selection across it", {2, 5}, {2, 2}, ecDeleteLastChar, 2},
        {"change below", {1, 6}, {0, 0}, ecDeleteLine, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TCodeEdit edit;
        Load(edit, {"line 1", "line 2", "line 3", "line 4", "line 5", "line 6"});
        edit.SetBookMark(0, 1, 4);
        if (r.anchor.Line > 0)
            edit.SetCaretAndSelect(r.caret, r.anchor, r.caret);
        else
            edit.SetCaretXY(r.caret);
        Exec(edit, r.command, U'\r');
        EXPECT_EQ(edit.BookMark(0)->Line(), r.line);
    }
    // Undo of a line break takes the mark back.
    TCodeEdit edit;
    Load(edit, {"a", "b", "c"});
    edit.SetBookMark(5, 1, 3);
    edit.SetCaretXY({1, 1});
    Exec(edit, ecLineBreak, U'\r');
    EXPECT_EQ(edit.BookMark(5)->Line(), 4);
    Exec(edit, ecUndo);
    EXPECT_EQ(edit.BookMark(5)->Line(), 3);
}

TEST(CodeEditGutter, WidthDigitsAndGlyphs) {
    TCodeEdit edit;
    edit.resize(300, 200);
    EXPECT_EQ(edit.GutterPixelWidth(), 30);
    EXPECT_EQ(edit.TextOrigin(), 32);
    TGutter& g = edit.Gutter();
    g.SetDigitCount(1);
    EXPECT_EQ(g.DigitCount(), 2);
    g.SetDigitCount(20);
    EXPECT_EQ(g.DigitCount(), 12);
    g.SetDigitCount(4);
    g.SetLeadingZeros(true);
    EXPECT_EQ(g.FormatLineNumber(7), "0007");
    g.SetLeadingZeros(false);
    g.SetShowLineNumbers(true);
    g.SetAutoSize(true);
    Lines many(12345, "x");
    Load(edit, many);
    EXPECT_EQ(g.EffectiveDigits(), 5);
    EXPECT_EQ(edit.GutterPixelWidth(), 16 + 2 + 5 * edit.CharWidth() + 2);
    Load(edit, Lines(9999, "x"));
    EXPECT_EQ(g.EffectiveDigits(), 4);
    g.SetZeroStart(true);
    Load(edit, Lines(10000, "x"));
    EXPECT_EQ(g.EffectiveDigits(), 4);
    g.SetVisible(false);
    EXPECT_EQ(edit.GutterPixelWidth(), 0);
    EXPECT_EQ(edit.TextOrigin(), 2);

    // The digit strip: silver ground, white and grey frame, the digit in black.
    const QImage strip = MakeBookmarkDigitStrip();
    EXPECT_EQ(strip.size(), QSize(110, 14));
    EXPECT_EQ(strip.pixel(0, 0), qRgb(192, 192, 192));
    EXPECT_EQ(strip.pixel(11 * 3 + 1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(strip.pixel(11 * 3 + 9, 12), qRgb(128, 128, 128));
    int black = 0;
    for (int y = 3; y < 11; ++y)
        for (int x = 3; x < 8; ++x) black += strip.pixel(11 * 3 + x, y) == qRgb(0, 0, 0);
    EXPECT_GT(black, 8);
}

TEST(CodeEditGutter, BookmarkGlyphIsPaintedAndClickFindsTheMark) {
    TCodeEdit edit;
    edit.resize(300, 200);
    Load(edit, {"a", "b", "c"});
    edit.SetBookMark(3, 1, 2);
    edit.SetBookMark(4, 1, 2);
    const QImage image = edit.RenderToImage();
    const int y = edit.LineHeight();  // line 2
    // The frame's white top-left corner of the glyph at x = LeftMargin.
    const int top = y + (edit.LineHeight() - 14) / 2;
    if (edit.LineHeight() >= 14) {
        EXPECT_EQ(image.pixel(2 + 1, top + 1), qRgb(255, 255, 255));
        EXPECT_EQ(image.pixel(2 + 9, top + 12), qRgb(128, 128, 128));
    }
    // Only the first glyph of a line is drawn: the second slot shows the gutter's colour.
    EXPECT_EQ(image.pixel(2 + 12 + 1, y + edit.LineHeight() / 2), image.pixel(25, y + edit.LineHeight() / 2));

    TCodeEditMark* clicked = nullptr;
    int clickedLine = 0;
    edit.OnGutterClick = [&](TCustomCodeEdit*, int, int, int line, TCodeEditMark* m) {
        clicked = m;
        clickedLine = line;
    };
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(15, y + 2));
    EXPECT_EQ(clickedLine, 2);
    EXPECT_EQ(clicked, edit.BookMark(4)) << "x 12..23 is the second mark in list order";
}

// --- the real keyboard -----------------------------------------------------------------------------

TEST(CodeEditKeys, TypingUndoRedoAndBookmarkKeys) {
    TCodeEdit edit;
    edit.resize(400, 200);
    Load(edit, {"", "second"});
    edit.show();
    QTest::keyClicks(&edit, "sel");
    EXPECT_EQ(edit.Lines().Get(0), "sel");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.Lines().Get(0), "se");
    QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.Lines().Get(0), "sel");
    QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit.Lines().Get(0), "se");
    QTest::keyClick(&edit, Qt::Key_Down);
    QKeyEvent setMark(QEvent::KeyPress, Qt::Key_NumberSign, Qt::ControlModifier | Qt::ShiftModifier, 12, 0x23, 0, "#");
    QCoreApplication::sendEvent(&edit, &setMark);
    ASSERT_NE(edit.BookMark(3), nullptr);
    EXPECT_EQ(edit.BookMark(3)->Line(), 2);
    QTest::keyClick(&edit, Qt::Key_Up);
    QTest::keyClick(&edit, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(edit.CaretY(), 2);
}

}  // namespace
}  // namespace tessel
