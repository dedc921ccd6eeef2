// The editor's undo and redo lists.

#include "editor/CodeEditUndo.h"

namespace tessel {

void TCodeEditUndoList::Assign(const TCodeEditUndoList& source) {
    if (&source == this) return;
    items_.clear();
    for (const auto& item : source.items_) items_.push_back(std::make_unique<TCodeEditUndoItem>(*item));
    blockNumber_ = source.blockNumber_;
    blockDepth_ = source.blockDepth_;
    truncated_ = source.truncated_;
    suspendDepth_ = source.suspendDepth_;
    limit_ = source.limit_;
    nextNumber_ = source.nextNumber_;
}

void TCodeEditUndoList::Advance() {
    // Group numbers only grow; 0 means "no block" and is never handed out.
    ++nextNumber_;
    if (nextNumber_ == 0) ++nextNumber_;
}

void TCodeEditUndoList::RecordChange(TChangeReason reason, TBufferCoord startPos, TBufferCoord endPos,
                                     const std::string& text, TSelectionMode mode) {
    if (suspendDepth_ > 0) return;
    RecordChange(reason, startPos, endPos, std::string(text), mode);
}

void TCodeEditUndoList::RecordChange(TChangeReason reason, TBufferCoord startPos, TBufferCoord endPos,
                                     std::string&& text, TSelectionMode mode) {
    if (suspendDepth_ > 0) return;
    auto item = std::make_unique<TCodeEditUndoItem>();
    item->Reason = reason;
    item->Mode = mode;
    item->StartPos = startPos;
    item->EndPos = endPos;
    item->Text = std::move(text);
    if (blockNumber_ != 0) {
        item->GroupNumber = blockNumber_;
    } else {
        item->GroupNumber = nextNumber_;
        if (blockDepth_ == 0) Advance();
    }
    Push(std::move(item));
}

void TCodeEditUndoList::Push(std::unique_ptr<TCodeEditUndoItem> item) {
    const bool isBreak = item->Reason == urGroupBreak;
    items_.push_back(std::move(item));
    EnforceLimit();
    if (!isBreak && OnItemAdded) OnItemAdded(this);
}

std::unique_ptr<TCodeEditUndoItem> TCodeEditUndoList::Pop() {
    if (items_.empty()) return nullptr;
    std::unique_ptr<TCodeEditUndoItem> item = std::move(items_.back());
    items_.pop_back();
    return item;
}

void TCodeEditUndoList::BeginBlock() {
    ++blockDepth_;
    blockNumber_ = nextNumber_;
}

void TCodeEditUndoList::EndBlock() {
    if (blockDepth_ <= 0) return;
    if (--blockDepth_ == 0) {
        blockNumber_ = 0;
        Advance();
    }
}

void TCodeEditUndoList::AddBreak() {
    if (items_.empty() || items_.back()->Reason == urGroupBreak) return;
    RecordChange(urGroupBreak, {0, 0}, {0, 0}, std::string(), smNormal);
}

void TCodeEditUndoList::Clear() {
    items_.clear();
    truncated_ = false;
}

void TCodeEditUndoList::SetLimit(int value) {
    if (value < 0) value = 0;
    if (value == limit_) return;
    limit_ = value;
    EnforceLimit();
}

void TCodeEditUndoList::EnforceLimit() {
    if (static_cast<int>(items_.size()) <= limit_) return;
    truncated_ = true;
    while (static_cast<int>(items_.size()) > limit_) items_.pop_front();
}

}  // namespace tessel
