// Bookmarks and other marks of the editor's lines.

#include "editor/CodeEditMarks.h"

#include <algorithm>

namespace tessel {

void TCodeEditMark::InvalidateLine(int line) {
    if (TCodeEditMarkOwner* owner = GetEditor(); owner != nullptr && line > 0) owner->InvalidateGutterLine(line);
}

TCodeEditMarkOwner* TCodeEditMark::GetEditor() {
    if (owner_ != nullptr && !owner_->MarkList().Contains(this)) owner_ = nullptr;
    return owner_;
}

void TCodeEditMark::SetLine(int value) {
    if (visible_ && GetEditor() != nullptr) {
        InvalidateLine(line_);
        line_ = value;
        InvalidateLine(line_);
    } else {
        line_ = value;
    }
}

void TCodeEditMark::SetImageIndex(int value) {
    imageIndex_ = value;
    if (visible_) InvalidateLine(line_);
}

void TCodeEditMark::SetInternalImage(bool value) {
    internalImage_ = value;
    if (visible_) InvalidateLine(line_);
}

void TCodeEditMark::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    InvalidateLine(line_);
}

TCodeEditMarkList::~TCodeEditMarkList() {
    OnChange = nullptr;
    Clear();
}

int TCodeEditMarkList::Add(TCodeEditMark* mark) {
    marks_.push_back(mark);
    if (OnChange) OnChange();
    return static_cast<int>(marks_.size()) - 1;
}

int TCodeEditMarkList::Remove(TCodeEditMark* mark) {
    const auto it = std::find(marks_.begin(), marks_.end(), mark);
    if (it == marks_.end()) return -1;
    const int index = static_cast<int>(it - marks_.begin());
    marks_.erase(it);
    if (OnChange) OnChange();
    return index;
}

void TCodeEditMarkList::Delete(TCodeEditMark* mark) {
    if (Remove(mark) >= 0) delete mark;
}

bool TCodeEditMarkList::Contains(const TCodeEditMark* mark) const {
    return std::find(marks_.begin(), marks_.end(), mark) != marks_.end();
}

void TCodeEditMarkList::GetMarksForLine(int line, TCodeEditMarks& out) const {
    out.fill(nullptr);
    size_t n = 0;
    for (TCodeEditMark* mark : marks_) {
        if (mark->Line() != line) continue;
        out[n++] = mark;
        if (n == out.size()) break;
    }
}

void TCodeEditMarkList::Clear() {
    std::vector<TCodeEditMark*> gone;
    gone.swap(marks_);
    for (TCodeEditMark* mark : gone) delete mark;
}

void TCodeEditMarkList::ShiftForDeletedLines(int first, int count) {
    if (count <= 0) return;
    for (TCodeEditMark* mark : marks_) {
        const int line = mark->Line();
        if (line >= first + count)
            mark->SetLine(line - count);
        else if (line > first)
            mark->SetLine(first);
    }
}

void TCodeEditMarkList::ShiftForInsertedLines(int first, int count) {
    if (count <= 0) return;
    for (TCodeEditMark* mark : marks_)
        if (mark->Line() >= first) mark->SetLine(mark->Line() + count);
}

}  // namespace tessel
