// The editor through its accessible text interface: lines joined by "\n", offsets in UTF-16
// units, the caret and the selection both ways, characters at points.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>

#include "editor/widget/CustomCodeEdit.h"

namespace tessel {
namespace {

TEST(CodeEditAccessible, TheTextInterfaceReadsAndMovesCaretAndSelection) {
    TCustomCodeEdit edit;
    edit.resize(400, 200);
    edit.show();
    edit.SetText("SELECT *\r\nFROM \"caf\xC3\xA9 \xF0\x9F\x98\x80.db\"\r\n");  // é (1 unit), an emoji (2)
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&edit);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::EditableText);
    QAccessibleTextInterface* text = iface->textInterface();
    ASSERT_NE(text, nullptr);
    const QString all = QString::fromUtf8("SELECT *\nFROM \"caf\xC3\xA9 \xF0\x9F\x98\x80.db\"");
    EXPECT_EQ(text->text(0, text->characterCount()), all);
    EXPECT_EQ(text->characterCount(), all.size());

    // Line 2, column 13 is just after the emoji: ten units, the blank, the emoji's two.
    edit.SetCaretXY({13, 2});
    EXPECT_EQ(text->cursorPosition(), 9 + 13);
    text->setCursorPosition(9 + 13);
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{13, 2}));
    text->setCursorPosition(9 + 5);  // after "FROM "
    EXPECT_EQ(edit.CaretXY(), (TBufferCoord{6, 2}));
    EXPECT_EQ(text->selectionCount(), 0);
    text->setSelection(0, 0, 6);
    EXPECT_EQ(edit.SelectedText(), "SELECT");
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 6);
    text->removeSelection(0);
    EXPECT_FALSE(edit.HasSelection());

    // The character under a point is the one whose rectangle holds it.
    const QRect r = text->characterRect(9 + 2);
    EXPECT_EQ(text->offsetAtPoint(r.center() - QPoint(r.width() / 4, 0)), 9 + 2);
}

}  // namespace
}  // namespace tessel
