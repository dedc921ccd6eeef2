// Tests of the editor control's keystrokes.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "editor/CodeEditKeyCmds.h"
#include "editor/widget/CustomCodeEdit.h"
#include "editor/widget/KeyMapping.h"

namespace tessel {
namespace {

TEST(CodeEditKeyStrokes, DefaultTableHasEightyTwoItemsInOrder) {
    TCodeEditKeyStrokes keys;
    keys.ResetKeystrokes();
    ASSERT_EQ(keys.Count(), 82);
    struct Row {
        int index;
        TCodeEditorCommand command;
        TShortCut shortCut;
    };
    const Row rows[] = {
        {0, ecUp, 38},
        {1, ecSelUp, 8230},
        {9, ecSelWordLeft, 24613},
        {39, ecRedo, 40968},
        {45, ecSelectAll, 0x4000 + 'A'},
        {58, ecGotoMarker0, 0x4000 + '0'},
        {68, ecSetMarker0, 0x6000 + '0'},
        {77, ecSetMarker9, 24633},
        {78, ecNormalSelect, 0x6000 + 'N'},
        {81, ecMatchBracket, 0x6000 + 'B'},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.index);
        EXPECT_EQ(keys.Item(r.index).Command, r.command);
        EXPECT_EQ(keys.Item(r.index).ShortCut(), r.shortCut);
        EXPECT_EQ(keys.Item(r.index).ShortCut2(), 0);
    }
}

TEST(CodeEditKeyStrokes, FindsKeysChordsAndPairs) {
    TCodeEditKeyStrokes keys;
    keys.ResetKeystrokes();
    EXPECT_EQ(keys.FindKeystroke(vk::Left, ssCtrl | ssShift), 9);
    EXPECT_EQ(keys.FindKeystroke('K', ssCtrl), -1);
    EXPECT_EQ(keys.FindShortcutPair(8230, 0), 1);
    keys.AddKey(ecUserFirst, 'K', ssCtrl, 'B', ssCtrl);
    EXPECT_EQ(keys.FindChord('K', ssCtrl, 'B', ssCtrl), 82);
    EXPECT_EQ(keys.FindKeystroke('K', ssCtrl), -1) << "a chord is not a single key";
}

TEST(CodeEditKeyStrokes, DuplicateShortcutIsRefusedAndKeepsTheItem) {
    TCodeEditKeyStrokes keys;
    keys.ResetKeystrokes();
    TCodeEditKeyStroke& item = keys.Item(0);  // ecUp on Up
    try {
        item.SetShortCut(8230);  // Shift+Up belongs to ecSelUp
        FAIL() << "no error";
    } catch (const ECodeEditKeyError& e) {
        EXPECT_STREQ(e.what(), "Shortcut already exists");
    }
    EXPECT_EQ(item.ShortCut(), 38);
    EXPECT_THROW(keys.AddKey(ecCopy, 'C', ssCtrl), ECodeEditKeyError);
    EXPECT_EQ(keys.Count(), 82);
    item.SetShortCut(0);
    EXPECT_EQ(item.Key, 0);
    item.SetShortCut(38);  // its own pair again is not a duplicate
    EXPECT_EQ(item.ShortCut(), 38);
}

TEST(CodeEditKeyStrokes, CommandNamesRoundTrip) {
    TCodeEditorCommand c = ecNone;
    EXPECT_TRUE(IdentToEditorCommand("ecSelWordLeft", c));
    EXPECT_EQ(c, ecSelWordLeft);
    EXPECT_EQ(EditorCommandToIdent(ecSetMarker9), "ecSetMarker9");
    EXPECT_FALSE(IdentToEditorCommand("ecNoSuchThing", c));
}

TEST(CodeEditKeyTranslator, RemembersAFirstKeyForAChord) {
    TCodeEditKeyStrokes keys;
    keys.ResetKeystrokes();
    TCodeEditKeyTranslator t;
    // Ctrl+K is unbound and lies in 30..145: remembered; without a chord, B is looked up alone.
    EXPECT_EQ(t.TranslateKey(keys, 'K', ssCtrl), ecNone);
    EXPECT_EQ(t.LastKey(), 'K');
    EXPECT_EQ(t.TranslateKey(keys, 'B', ssCtrl | ssShift), ecMatchBracket);
    EXPECT_EQ(t.LastKey(), 0);
    // With a chord in the table the pair runs it.
    keys.AddKey(ecUserFirst, 'K', ssCtrl, 'B', ssCtrl);
    t.TranslateKey(keys, 'K', ssCtrl);
    EXPECT_EQ(t.TranslateKey(keys, 'B', ssCtrl), ecUserFirst);
    // A modifier key alone lies below 30 and resets the memory.
    t.TranslateKey(keys, 'K', ssCtrl);
    t.TranslateKey(keys, vk::Control, ssCtrl);
    EXPECT_EQ(t.LastKey(), 0);
}

TEST(KeyMapping, QtKeysBecomeVirtualKeys) {
    struct Row {
        int qtKey;
        Qt::KeyboardModifiers mods;
        uint32_t scan;
        uint32_t native;
        uint16_t key;
        TShiftState shift;
    };
    const Row rows[] = {
        {Qt::Key_Up, Qt::NoModifier, 0, 0, vk::Up, 0},
        {Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier, 0, 0, vk::Left, ssCtrl | ssShift},
        {Qt::Key_Backspace, Qt::AltModifier | Qt::ShiftModifier, 0, 0, vk::Back, ssAlt | ssShift},
        {Qt::Key_Enter, Qt::KeypadModifier, 0, 0, vk::Return, 0},
        {Qt::Key_Backtab, Qt::ShiftModifier, 0, 0, vk::Tab, ssShift},
        {Qt::Key_F1, Qt::ControlModifier, 0, 0, vk::F1, ssCtrl},
        {Qt::Key_A, Qt::ControlModifier, 0, 0, 'A', ssCtrl},
        {Qt::Key_5, Qt::ControlModifier, 0, 0, '5', ssCtrl},
        // Ctrl+Shift+digit arrives as the layout's shifted symbol: the digit comes from the
        // native key code (X11 keycodes 10..19) ...
        {Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, 10, 0x21, '1', ssCtrl | ssShift},
        {Qt::Key_ParenRight, Qt::ControlModifier | Qt::ShiftModifier, 19, 0x29, '0', ssCtrl | ssShift},
        // ... also on a layout whose shifted digit row is different (French: Shift+& is 1) ...
        {Qt::Key_Eacute, Qt::ControlModifier | Qt::ShiftModifier, 11, 0xC9, '2', ssCtrl | ssShift},
        // ... from a native virtual key that is the digit ...
        {Qt::Key_At, Qt::ControlModifier | Qt::ShiftModifier, 0, '2', '2', ssCtrl | ssShift},
        // ... and without native codes from the US layout's symbols.
        {Qt::Key_NumberSign, Qt::ControlModifier | Qt::ShiftModifier, 0, 0, '3', ssCtrl | ssShift},
        {Qt::Key_Exclam, Qt::ShiftModifier, 0, 0, '1', ssShift},
        {Qt::Key_Comma, Qt::NoModifier, 0, 0, 188, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.qtKey);
        const TVirtualKey v = VirtualKeyOf(r.qtKey, static_cast<unsigned>(r.mods.toInt()), r.scan, r.native);
        EXPECT_EQ(v.key, r.key);
        EXPECT_EQ(v.shift, r.shift);
    }
}

// The keyboard path of the widget: key events become commands or typed characters.
class CodeEditKeyboard : public ::testing::Test {
protected:
    void SetUp() override {
        edit.resize(400, 200);
        edit.Lines().SetText("abc\ndef\n");
        edit.OnCommandProcessed = [this](TCustomCodeEdit*, TCodeEditorCommand& c, char32_t& ch, void*) {
            commands.push_back(c);
            chars.push_back(ch);
        };
    }
    void Press(int key, Qt::KeyboardModifiers mods, const QString& text = {}, quint32 scan = 0, quint32 native = 0) {
        QKeyEvent event(QEvent::KeyPress, key, mods, scan, native, 0, text);
        QCoreApplication::sendEvent(&edit, &event);
    }
    TCodeEdit edit;
    std::vector<TCodeEditorCommand> commands;
    std::vector<char32_t> chars;
};

TEST_F(CodeEditKeyboard, BoundKeysRunTheirCommandAndTheirTextIsNotTyped) {
    Press(Qt::Key_Return, Qt::NoModifier, "\r");
    ASSERT_EQ(commands.size(), 1U);
    EXPECT_EQ(commands[0], ecLineBreak);
    Press(Qt::Key_X, Qt::NoModifier, "x");
    ASSERT_EQ(commands.size(), 2U);
    EXPECT_EQ(commands[1], ecChar);
    EXPECT_EQ(chars[1], U'x');
}

TEST_F(CodeEditKeyboard, AColumnBlockKeepsItsAnchorWhicheverWayItStarts) {
    // Down first, then sideways, or the other way round: the same block.
    for (const bool downFirst : {true, false}) {
        SCOPED_TRACE(downFirst);
        edit.Lines().SetText("abcdef\nghijkl\nmnopqr\n");
        edit.SetCaretXY({2, 1});
        Press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_EQ(edit.SelectionMode(), smColumn);
        auto down = [&] {
            for (int i = 0; i < 2; ++i) Press(Qt::Key_Down, Qt::ShiftModifier);
        };
        auto right = [&] {
            for (int i = 0; i < 4; ++i) Press(Qt::Key_Right, Qt::ShiftModifier);
        };
        if (downFirst) {
            down();
            right();
        } else {
            right();
            down();
        }
        EXPECT_EQ(edit.SelAnchor(), (TBufferCoord{2, 1}));
        EXPECT_EQ(edit.SelectedText(), "bcde\r\nhijk\r\nnopq");
        edit.SetSelectionMode(smNormal);
    }
}

TEST_F(CodeEditKeyboard, CtrlShiftDigitReachesTheBookmarkCommand) {
    TBufferCoord seen{0, 0};
    edit.OnProcessCommand = [&](TCustomCodeEdit*, TCodeEditorCommand& c, char32_t&, void* data) {
        if (c == ecSetMarker0 + 1 && data != nullptr) seen = *static_cast<TBufferCoord*>(data);
    };
    edit.SetCaretXY({3, 2});
    Press(Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, "!", 10, 0x21);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), ecSetMarker0 + 1);
    EXPECT_EQ(seen, (TBufferCoord{3, 2})) << "the set-marker command carries the caret";
    EXPECT_EQ(edit.Lines().Get(1), "def") << "the symbol is not typed";
}

TEST_F(CodeEditKeyboard, TabIsLeftToTheWindowUnlessTheEditorWantsTabs) {
    Press(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_TRUE(commands.empty());
    edit.SetWantTabs(true);
    Press(Qt::Key_Tab, Qt::NoModifier, "\t");
    ASSERT_EQ(commands.size(), 1U);
    EXPECT_EQ(commands[0], ecTab);
}

TEST_F(CodeEditKeyboard, ProcessCommandCanCancelAndUserCommandsSkipTheBuiltIns) {
    edit.OnProcessCommand = [](TCustomCodeEdit*, TCodeEditorCommand& c, char32_t&, void*) {
        if (c == ecDown) c = ecNone;
    };
    Press(Qt::Key_Down, Qt::NoModifier);
    EXPECT_EQ(edit.CaretY(), 1);
    ASSERT_EQ(commands.size(), 1U);
    EXPECT_EQ(commands[0], ecNone) << "OnCommandProcessed still runs";

    bool userSeen = false;
    edit.OnProcessUserCommand = [&](TCustomCodeEdit*, TCodeEditorCommand& c, char32_t&, void*) {
        userSeen = c == 1005;
    };
    const std::string before = edit.Text();
    edit.ProcessEditorCommand(1005, U'x', nullptr);
    EXPECT_TRUE(userSeen);
    EXPECT_EQ(edit.Text(), before);
}

TEST_F(CodeEditKeyboard, InputMethodResultDoesNotSwallowTheNextKeys) {
    QInputMethodEvent ime;
    ime.setCommitString(QString::fromUtf8("日本"));
    QCoreApplication::sendEvent(&edit, &ime);
    ASSERT_EQ(commands.size(), 1U);
    EXPECT_EQ(commands[0], ecImeStr);
    EXPECT_EQ(edit.Lines().Get(0), "日本abc");
    EXPECT_EQ(edit.CaretX(), 3);
    Press(Qt::Key_Z, Qt::NoModifier, "z");
    EXPECT_EQ(edit.Lines().Get(0), "日本zabc");
}

}  // namespace
}  // namespace tessel
