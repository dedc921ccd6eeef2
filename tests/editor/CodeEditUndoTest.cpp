// Tests of the editor's undo and redo lists.

#include <gtest/gtest.h>

#include <vector>

#include "editor/CodeEditEditing.h"
#include "editor/CodeEditMarks.h"
#include "editor/CodeEditStringList.h"
#include "editor/CodeEditUndo.h"

namespace tessel {
namespace {

TEST(CodeEditUndoList, GroupNumbersBlocksSuspendAndBreaks) {
    TCodeEditUndoList list;
    int added = 0;
    list.OnItemAdded = [&](TCodeEditUndoList*) { ++added; };
    list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    list.RecordChange(urInsert, {2, 1}, {3, 1}, "", smNormal);
    EXPECT_EQ(list.Item(0).GroupNumber, 1);
    EXPECT_EQ(list.Item(1).GroupNumber, 2);

    // Nested blocks share one number; the number moves on when the outer block ends.
    list.BeginBlock();
    list.RecordChange(urDeleteBefore, {1, 1}, {2, 1}, "x", smNormal);
    list.BeginBlock();
    list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    list.EndBlock();
    list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    list.EndBlock();
    list.EndBlock();  // unbalanced: ignored
    EXPECT_EQ(list.Item(2).GroupNumber, 3);
    EXPECT_EQ(list.Item(3).GroupNumber, 3);
    EXPECT_EQ(list.Item(4).GroupNumber, 3);
    list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    EXPECT_EQ(list.Item(5).GroupNumber, 4);

    list.Suspend();
    list.Suspend();
    list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    list.Resume();
    list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    EXPECT_EQ(list.Count(), 6);
    list.Resume();
    list.Resume();  // not below 0
    list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(added, 7);

    // Breaks: never on an empty list, never two in a row, and not reported.
    list.AddBreak();
    list.AddBreak();
    EXPECT_EQ(list.Count(), 8);
    EXPECT_EQ(list.LastReason(), urGroupBreak);
    EXPECT_EQ(added, 7);
    list.Clear();
    EXPECT_EQ(list.LastReason(), urNone);
    list.AddBreak();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Pop(), nullptr);
    EXPECT_EQ(list.Peek(), nullptr);
}

TEST(CodeEditUndoList, LimitDropsTheOldestAndSetsTruncated) {
    struct Row {
        int limit;
        int records;
        int count;
        bool truncated;
    };
    const Row rows[] = {{1024, 3, 3, false}, {2, 3, 2, true}, {0, 1, 0, true}, {-5, 1, 0, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.limit);
        TCodeEditUndoList list;
        list.SetLimit(r.limit);
        EXPECT_GE(list.Limit(), 0);
        for (int i = 0; i < r.records; ++i) list.RecordChange(urInsert, {i + 1, 1}, {i + 2, 1}, "", smNormal);
        EXPECT_EQ(list.Count(), r.count);
        EXPECT_EQ(list.Truncated(), r.truncated);
        if (r.count > 0) {
            EXPECT_EQ(list.Peek()->StartPos.Column, r.records);  // the newest stays
        }
        list.Clear();
        EXPECT_FALSE(list.Truncated());
    }
    // Lowering the limit of a full list drops at once.
    TCodeEditUndoList list;
    for (int i = 0; i < 5; ++i) list.RecordChange(urInsert, {1, 1}, {2, 1}, "", smNormal);
    list.SetLimit(3);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.Truncated());

    TCodeEditUndoList copy;
    copy.Assign(list);
    EXPECT_EQ(copy.Count(), 3);
    EXPECT_EQ(copy.Limit(), 3);
    EXPECT_TRUE(copy.Truncated());
    EXPECT_EQ(copy.Item(2).GroupNumber, list.Item(2).GroupNumber);
}

// --- marks -------------------------------------------------------------------------------------

class Owner : public TCodeEditMarkOwner {
public:
    void InvalidateGutterLine(int line) override { repainted.push_back(line); }
    const TCodeEditMarkList& MarkList() const override { return list; }
    TCodeEditMarkList list;
    std::vector<int> repainted;
};

TEST(CodeEditMarks, FollowInsertedAndDeletedLines) {
    struct Row {
        bool deleted;
        int first, count;
        int before, after;
    };
    const Row rows[] = {
        // Lines 6..8 removed (a deletion of three lines after line 5).
        {true, 5, 3, 5, 5},
        {true, 5, 3, 6, 5},
        {true, 5, 3, 8, 5},
        {true, 5, 3, 9, 6},
        {true, 5, 3, 4, 4},
        {true, 5, 0, 9, 9},
        // Two lines inserted at line 5.
        {false, 5, 2, 5, 7},
        {false, 5, 2, 4, 4},
        {false, 5, 2, 10, 12},
        {false, 5, 0, 10, 10},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.first) + "/" + std::to_string(r.count) + " " + std::to_string(r.before));
        Owner owner;
        auto* mark = new TCodeEditMark(&owner);
        mark->SetLine(r.before);
        owner.list.Add(mark);
        if (r.deleted)
            owner.list.ShiftForDeletedLines(r.first, r.count);
        else
            owner.list.ShiftForInsertedLines(r.first, r.count);
        EXPECT_EQ(mark->Line(), r.after);
    }
}

TEST(CodeEditMarks, ListOrderSlotsAndRepaints) {
    Owner owner;
    int changes = 0;
    owner.list.OnChange = [&] { ++changes; };
    std::vector<TCodeEditMark*> made;
    for (int i = 0; i < 20; ++i) {
        auto* m = new TCodeEditMark(&owner);
        m->SetLine(i < 18 ? 3 : 4);
        m->SetImageIndex(i);
        owner.list.Add(m);
        made.push_back(m);
    }
    EXPECT_EQ(changes, 20);
    TCodeEditMarks slots;
    owner.list.GetMarksForLine(3, slots);
    for (size_t i = 0; i < slots.size(); ++i) EXPECT_EQ(slots[i], made[i]);  // 16 of 18, in order
    owner.list.GetMarksForLine(4, slots);
    EXPECT_EQ(slots[0], made[18]);
    EXPECT_EQ(slots[2], nullptr);

    // A visible mark repaints its old and new line; an invisible one repaints nothing.
    owner.repainted.clear();
    made[0]->SetLine(7);
    EXPECT_TRUE(owner.repainted.empty());
    made[0]->SetVisible(true);
    made[0]->SetLine(9);
    EXPECT_EQ(owner.repainted, (std::vector<int>{7, 7, 9}));

    // Out of the list the mark forgets its editor.
    EXPECT_EQ(owner.list.Remove(made[0]), 0);
    EXPECT_EQ(owner.list.Remove(made[0]), -1);
    EXPECT_EQ(made[0]->GetEditor(), nullptr);
    owner.repainted.clear();
    made[0]->SetLine(2);
    EXPECT_TRUE(owner.repainted.empty());
    delete made[0];
}

// --- text replacement ---------------------------------------------------------------------------

std::vector<std::string> Text(const TCodeEditStringList& lines) {
    std::vector<std::string> out;
    for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.Get(i));
    return out;
}

void Fill(TCodeEditStringList& lines, const std::vector<std::string>& text) {
    lines.Clear();
    for (const std::string& s : text) lines.Add(s);
}

TEST(CodeEditReplacement, DeleteSelectionInEachMode) {
    struct Row {
        TBufferCoord s, e;
        TSelectionMode mode;
        std::vector<std::string> after;
        TBufferCoord caret;
        int markFirst, markCount;
    };
    const std::vector<std::string> text{"select a,", "  b from t", "where x", "end"};
    const Row rows[] = {
        {{2, 1}, {5, 1}, smNormal, {"sct a,", "  b from t", "where x", "end"}, {2, 1}, 1, 0},
        {{8, 1}, {3, 3}, smNormal, {"select ere x", "end"}, {8, 1}, 1, 2},
        {{3, 2}, {1, 3}, smLine, {"select a,", "end"}, {1, 2}, 2, 2},
        // The last line is emptied rather than removed.
        {{1, 3}, {2, 4}, smLine, {"select a,", "  b from t", ""}, {1, 3}, 3, 2},
        {{2, 1}, {4, 4}, smColumn, {"sect a,", "  from t", "wre x", "e"}, {2, 4}, 0, 0},
        {{4, 1}, {6, 2}, smColumn, {"selt a,", "  brom t", "where x", "end"}, {4, 2}, 0, 0},
        // Lines shorter than the block lose what they have.
        {{3, 3}, {9, 4}, smColumn, {"select a,", "  b from t", "wh", "en"}, {3, 4}, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.after.front());
        TCodeEditStringList lines;
        Fill(lines, text);
        const TDeleteResult d = DeleteSelectionText(lines, r.s, r.e, r.e, r.mode, true, true);
        EXPECT_EQ(Text(lines), r.after);
        EXPECT_EQ(d.Caret, r.caret);
        EXPECT_EQ(d.MarkFirst, r.markFirst);
        EXPECT_EQ(d.MarkCount, r.markCount);
    }
    TCodeEditStringList lines;
    Fill(lines, {"aébc", "x"});
    DeleteSelectionText(lines, {2, 1}, {3, 1}, {3, 1}, smNormal, true, true);
    EXPECT_EQ(lines.Get(0), "abc");  // a column is a character, never a byte
}

TEST(CodeEditReplacement, InsertTextInEachMode) {
    struct Row {
        TBufferCoord at;
        TSelectionMode mode;
        const char* text;
        std::vector<std::string> after;
        TBufferCoord caret;
        int added;
        int pieces;  // column pieces reported
    };
    const std::vector<std::string> text{"abcd", "ef", ""};
    const Row rows[] = {
        {{3, 1}, smNormal, "XY", {"abXYcd", "ef", ""}, {5, 1}, 0, 0},
        {{7, 2}, smNormal, "Z", {"abcd", "ef    Z", ""}, {8, 2}, 0, 0},  // padded to the caret
        {{3, 1}, smNormal, "1\r\n2\n3", {"ab1", "2", "3cd", "ef", ""}, {2, 3}, 2, 0},
        {{3, 1}, smNormal, "1\r\n", {"ab1", "cd", "ef", ""}, {1, 2}, 1, 0},
        {{3, 1}, smNormal, "1\r2\0ignored", {"ab1", "2cd", "ef", ""}, {2, 2}, 1, 0},  // lone CR, NUL ends
        {{3, 2}, smLine, "L1\r\nL2\r\n", {"abcd", "L1", "L2", "ef", ""}, {1, 4}, 2, 0},
        {{1, 2}, smLine, "L1\r\nx", {"abcd", "L1", "xef", ""}, {2, 3}, 1, 0},
        {{4, 1}, smColumn, "11\r\n22\r\n33\r\n44", {"abc11d", "ef 22", "   33", "   44"}, {6, 4}, 0, 4},
        {{2, 1}, smColumn, "1\r\n\r\n3", {"a1bcd", "ef", " 3"}, {3, 3}, 0, 2},  // empty piece: no change
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        TCodeEditStringList lines;
        Fill(lines, text);
        int pieces = 0;
        const std::string_view t(r.text,
                                 std::string_view(r.text).size() + (std::string_view(r.text) == "1\r2" ? 8 : 0));
        const TInsertResult res = InsertTextAt(lines, r.at, r.mode, t, true, [&](TBufferCoord from, TBufferCoord to) {
            ++pieces;
            EXPECT_EQ(from.Line, to.Line);
            EXPECT_EQ(from.Column, r.at.Column);
        });
        EXPECT_EQ(Text(lines), r.after);
        EXPECT_EQ(res.Caret, r.caret);
        EXPECT_EQ(res.LinesAdded, r.added);
        EXPECT_EQ(pieces, r.pieces);
    }
}

TEST(CodeEditReplacement, IndentationHelpers) {
    EXPECT_EQ(LeadingWhiteCount("  \tx "), 3);
    EXPECT_EQ(LeadingWhiteWidth("  \tx", 8), 10);
    EXPECT_EQ(IndentText(10, 8, false), "\t  ");
    EXPECT_EQ(IndentText(10, 8, true), std::string(10, ' '));
    EXPECT_EQ(IndentText(5, 8, false), "     ");
    EXPECT_EQ(TrimTrailingSpaces("a \t  "), "a \t");
}

}  // namespace
}  // namespace tessel
