#pragma once

// The editor's undo and redo lists and the changes they record.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "editor/CodeEditTypes.h"

namespace tessel {

// The kind of change an undo item records.
enum TChangeReason : uint8_t {
    urInsert = 0,
    urPaste = 1,
    urDropInsert = 2,
    urDeleteAfter = 3,
    urDeleteBefore = 4,
    urLineBreak = 5,
    urIndent = 6,
    urUnindent = 7,
    urQuietDeleteBefore = 8,
    urQuietDeleteAfter = 9,
    urNone = 16,  // never stored: the reason of an empty list
    urGroupBreak = 17,
    urFillSpaces = 21,
};

// One recorded change. The positions are not ordered; what they mean depends on the reason.
struct TCodeEditUndoItem {
    TChangeReason Reason = urNone;
    TSelectionMode Mode = smNormal;
    TBufferCoord StartPos;
    TBufferCoord EndPos;
    std::string Text;
    int32_t GroupNumber = 0;
    // On the redo list, for an insertion whose undo put replaced text back: where that text
    // ends, so a redo replaces it again instead of inserting beside it. Line 0 when unused.
    TBufferCoord ReplacedEnd{0, 0};

    void Assign(const TCodeEditUndoItem& source) { *this = source; }
};

// A stack of undo items. Items with one group number are undone together; a block forces one
// number on everything recorded inside it.
class TCodeEditUndoList {
public:
    TCodeEditUndoList() = default;
    TCodeEditUndoList(const TCodeEditUndoList&) = delete;
    TCodeEditUndoList& operator=(const TCodeEditUndoList&) = delete;

    // Copies every item and every field (not the notification).
    void Assign(const TCodeEditUndoList& source);

    // Records a change unless suspended.
    void RecordChange(TChangeReason reason, TBufferCoord startPos, TBufferCoord endPos, const std::string& text,
                      TSelectionMode mode);
    void RecordChange(TChangeReason reason, TBufferCoord startPos, TBufferCoord endPos, std::string&& text,
                      TSelectionMode mode);
    // Appends, drops the oldest items beyond the limit and, unless it is a group break, reports
    // the addition.
    void Push(std::unique_ptr<TCodeEditUndoItem> item);
    std::unique_ptr<TCodeEditUndoItem> Pop();
    TCodeEditUndoItem* Peek() const { return items_.empty() ? nullptr : items_.back().get(); }

    void BeginBlock();
    void EndBlock();
    void Suspend() { ++suspendDepth_; }
    void Resume() {
        if (suspendDepth_ > 0) --suspendDepth_;
    }
    bool Suspended() const { return suspendDepth_ > 0; }
    // A separator between runs of typing; never two in a row, never on an empty list.
    void AddBreak();
    TChangeReason LastReason() const { return items_.empty() ? urNone : items_.back()->Reason; }
    void Clear();

    int Count() const { return static_cast<int>(items_.size()); }
    bool HasItems() const { return !items_.empty(); }
    const TCodeEditUndoItem& Item(int index) const { return *items_[static_cast<size_t>(index)]; }

    int Limit() const { return limit_; }
    // Negative becomes 0.
    void SetLimit(int value);
    bool Truncated() const { return truncated_; }
    int32_t BlockNumber() const { return blockNumber_; }
    void SetBlockNumber(int32_t value) { blockNumber_ = value; }
    int BlockDepth() const { return blockDepth_; }
    int32_t NextNumber() const { return nextNumber_; }

    std::function<void(TCodeEditUndoList* sender)> OnItemAdded;

private:
    void EnforceLimit();
    void Advance();

    int32_t blockNumber_ = 0;
    int blockDepth_ = 0;
    bool truncated_ = false;
    std::deque<std::unique_ptr<TCodeEditUndoItem>> items_;
    int suspendDepth_ = 0;
    int limit_ = 1024;
    int32_t nextNumber_ = 1;
};

}  // namespace tessel
