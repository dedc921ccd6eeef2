// The editing commands of the editor control: typing, deletion, line breaks, tabs and
// indentation, case, the clipboard, undo and redo, and dragging the selection.

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "base/TextEncoding.h"
#include "editor/CodeEditEditing.h"
#include "editor/CodeEditTextUtil.h"
#include "editor/widget/CodeEditAccessible.h"
#include "editor/widget/CustomCodeEdit.h"

namespace tessel {

namespace {

constexpr int kHardColumnLimit = 32767;

std::string Spaces(int n) {
    return std::string(static_cast<size_t>(std::max(n, 0)), ' ');
}

// Switches an option bit on for a scope and restores it.
class OptionOn {
public:
    OptionOn(TCodeEditorOptions& options, TCodeEditorOption o)
        : options_(options), saved_(options), mask_(OptionBit(o)) {
        options_ |= mask_;
    }
    ~OptionOn() { options_ = (options_ & ~mask_) | (saved_ & mask_); }
    OptionOn(const OptionOn&) = delete;
    OptionOn& operator=(const OptionOn&) = delete;

private:
    TCodeEditorOptions& options_;
    TCodeEditorOptions saved_;
    TCodeEditorOptions mask_;
};

// Opens an undo block for a scope.
class UndoBlock {
public:
    explicit UndoBlock(TCodeEditUndoList& list) : list_(list) { list_.BeginBlock(); }
    ~UndoBlock() { list_.EndBlock(); }
    UndoBlock(const UndoBlock&) = delete;
    UndoBlock& operator=(const UndoBlock&) = delete;

private:
    TCodeEditUndoList& list_;
};

// Suspends recording on both lists for a scope.
class SuspendBoth {
public:
    SuspendBoth(TCodeEditUndoList& a, TCodeEditUndoList& b) : a_(a), b_(b) {
        a_.Suspend();
        b_.Suspend();
    }
    ~SuspendBoth() {
        a_.Resume();
        b_.Resume();
    }
    SuspendBoth(const SuspendBoth&) = delete;
    SuspendBoth& operator=(const SuspendBoth&) = delete;

private:
    TCodeEditUndoList& a_;
    TCodeEditUndoList& b_;
};

// Case mapping one character at a time, so a text keeps its length in characters.
template <typename Map>
std::string MapChars(std::string_view s, Map map) {
    std::u32string chars;
    DecodeUtf8(s, chars);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < chars.size(); ++i) AppendUtf8(out, map(chars[i], i));
    return out;
}

char32_t Upper(char32_t c) {
    return static_cast<char32_t>(QChar::toUpper(static_cast<char32_t>(c)));
}
char32_t Lower(char32_t c) {
    return static_cast<char32_t>(QChar::toLower(static_cast<char32_t>(c)));
}

std::string CaseMapped(std::string_view s, TCodeEditorCommand command) {
    switch (command) {
        case ecUpperCase:
            return MapChars(s, [](char32_t c, size_t) { return Upper(c); });
        case ecLowerCase:
            return MapChars(s, [](char32_t c, size_t) { return Lower(c); });
        case ecTitleCase:
            return MapChars(s, [](char32_t c, size_t i) { return i == 0 ? Upper(c) : Lower(c); });
        case ecToggleCase:
            return MapChars(s, [](char32_t c, size_t) { return c != Upper(c) ? Upper(c) : Lower(c); });
        default:
            return std::string(s);
    }
}

}  // namespace

// --- small helpers ----------------------------------------------------------------------------------

std::string TCustomCodeEdit::LineAt(int line) const {
    return line >= 1 && line <= lines_->Count() ? lines_->Get(line - 1) : std::string();
}

int TCustomCodeEdit::LeadingWhite(std::string_view s) const {
    return HasOption(eoAutoIndent) ? LeadingWhiteCount(s) : 0;
}

int TCustomCodeEdit::LeadingWidth(std::string_view s) const {
    return HasOption(eoAutoIndent) ? LeadingWhiteWidth(s, tabWidth_) : 0;
}

std::string TCustomCodeEdit::IndentString(int n) const {
    return IndentText(n, tabWidth_, HasOption(eoTabsToSpaces));
}

void TCustomCodeEdit::PlaceSelection(TBufferCoord caret, TBufferCoord anchor, TBufferCoord active) {
    BeginPaintLock();
    SetCaretXYEx(caret, true);
    const int count = std::max(1, lines_->Count());
    auto clamp = [&](TBufferCoord p) {
        p.Line = std::clamp(p.Line, 1, count);
        p.Column = std::clamp(p.Column, 1, kHardColumnLimit);
        return p;
    };
    const bool had = HasSelection();
    selAnchor_ = clamp(anchor);
    selActive_ = clamp(active);
    if (had || HasSelection()) InvalidateAll();
    StatusChanged(stSelection);
    EndPaintLock();
}

void TCustomCodeEdit::SetModified(bool value) {
    if (value == modified_) return;
    modified_ = value;
    StatusChanged(stModified);
}

void TCustomCodeEdit::SetMaxUndo(int value) {
    if (value < 0) return;
    undoList_.SetLimit(value);
    redoList_.SetLimit(value);
}

void TCustomCodeEdit::ItemAdded(TCodeEditUndoList* sender) {
    SetModified(undoList_.HasItems() || undoList_.Truncated());
    // A new edit discards everything that could have been redone.
    if (sender == &undoList_ && !insideRedo_ && undoList_.LastReason() != urGroupBreak) redoList_.Clear();
    NotifyCodeEditTextChanged(*this);
    if (OnChange) OnChange(this);
}

void TCustomCodeEdit::ScrollRightForTyping() {
    const int d = LogicalToDisplay(caret_).Column;
    if (visibleColumnCount_ > 0 && d >= firstVisibleColumn_ + visibleColumnCount_)
        SetFirstVisibleColumn(firstVisibleColumn_ + std::min(25, std::max(1, visibleColumnCount_ - 1)));
}

// --- text replacement -----------------------------------------------------------------------------

void TCustomCodeEdit::ReplaceSelectionRaw(TSelectionMode mode, std::string_view text, bool recordColumn) {
    BeginPaintLock();
    lines_->BeginUpdate();
    try {
        TBufferCoord at = caret_;
        const bool trim = HasOption(eoTrimTrailingSpaces);
        if (HasSelection()) {
            const TDeleteResult r = DeleteSelectionText(*lines_, SelStartPos(), SelEndPos(), selActive_, mode, trim,
                                                        trim && HasOption(eoScrollPastEol));
            ShiftMarksForDeletedLines(r.MarkFirst, r.MarkCount);
            at = r.Caret;
            selAnchor_ = selActive_ = at;
        }
        if (!text.empty()) {
            std::function<void(TBufferCoord, TBufferCoord)> record;
            if (recordColumn)
                record = [this](TBufferCoord from, TBufferCoord to) {
                    undoList_.RecordChange(urPaste, from, to, std::string(), selectionMode_);
                };
            const TInsertResult r = InsertTextAt(*lines_, at, mode, text, trim, record);
            if (r.LinesAdded > 0) ShiftMarksForInsertedLines(at.Line, r.LinesAdded);
            at = r.Caret;
        }
        at.Line = std::max(at.Line, 1);
        {
            OptionOn past(options_, eoScrollPastEol);
            SetCaretXYEx(at, true);
        }
        selAnchor_ = selActive_ = caret_;
    } catch (...) {
        lines_->EndUpdate();
        EndPaintLock();
        throw;
    }
    lines_->EndUpdate();
    EndPaintLock();
}

void TCustomCodeEdit::ReplaceSelection(std::string_view text) {
    if (readOnly_) return;
    ReplaceSelectionRaw(selectionMode_, text);
}

void TCustomCodeEdit::SetSelectedText(const std::string& text) {
    if (readOnly_) return;
    UndoBlock block(undoList_);
    if (HasSelection()) undoList_.RecordChange(urDeleteBefore, selAnchor_, selActive_, SelectedText(), selectionMode_);
    const TBufferCoord start = SelStartPos();
    const TBufferCoord end = SelEndPos();
    selAnchor_ = start;
    selActive_ = end;
    {
        SuspendBoth suspend(undoList_, redoList_);
        ReplaceSelection(text);
    }
    undoList_.RecordChange(urInsert, start, SelEndPos(), SelectedText(), selectionMode_);
}

void TCustomCodeEdit::ReplaceAllText(const std::string& text) {
    if (readOnly_) return;
    BeginPaintLock();
    const TSelectionMode saved = selectionMode_;
    selectionMode_ = smNormal;
    // A step of its own: typing before or after never joins it in one undo.
    undoList_.AddBreak();
    {
        UndoBlock block(undoList_);
        SelectAll();
        SetSelectedText(text);
    }
    undoList_.AddBreak();
    selectionMode_ = saved;
    SetCaretXY({1, 1});
    EndPaintLock();
}

void TCustomCodeEdit::DeleteSelectionRecorded() {
    const std::string text = SelectedText();
    if (selAnchor_ < selActive_)
        undoList_.RecordChange(urDeleteBefore, selAnchor_, selActive_, text, selectionMode_);
    else
        undoList_.RecordChange(urDeleteAfter, selActive_, selAnchor_, text, selectionMode_);
    ReplaceSelection(std::string_view());
}

void TCustomCodeEdit::InsertColumnBlock(TBufferCoord topLeft, std::string_view text, bool record) {
    PlaceSelection(topLeft, topLeft, topLeft);
    selectionMode_ = smColumn;
    ReplaceSelectionRaw(smColumn, text, record);
    StatusChanged(stSelection);
}

void TCustomCodeEdit::ClearAll() {
    BeginPaintLock();
    lines_->Clear();
    // The bookmarks go with the text, so none points at a line that no longer exists.
    for (int n = 0; n <= 9; ++n) {
        TCodeEditMark* mark = bookmarks_[static_cast<size_t>(n)];
        bookmarks_[static_cast<size_t>(n)] = nullptr;
        if (mark != nullptr) marks_.Delete(mark);
    }
    marks_.Clear();
    InvalidateGutter();
    undoList_.Clear();
    redoList_.Clear();
    SetModified(false);
    EndPaintLock();
}

// --- the command switch ----------------------------------------------------------------------------

bool TCustomCodeEdit::ExecuteEditing(TCodeEditorCommand command, char32_t ch, void* payload) {
    if (command >= ecGotoMarker0 && command <= ecGotoMarker9) {
        if (bookMarkOpt_.EnableKeys()) GotoBookMark(command - ecGotoMarker0);
        return true;
    }
    if (command >= ecSetMarker0 && command <= ecSetMarker9) {
        if (bookMarkOpt_.EnableKeys())
            SetMarkerCommand(command - ecSetMarker0, static_cast<const TBufferCoord*>(payload));
        return true;
    }
    if (command == ecCopy) {
        CopyToClipboard();
        return true;
    }
    if (readOnly_) return false;
    switch (command) {
        case ecChar:
            TypeChar(ch);
            break;
        case ecImeStr:
            if (payload != nullptr) TypeString(*static_cast<const std::string*>(payload));
            break;
        case ecLineBreak:
            LineBreak(true);
            break;
        case ecInsertLine:
            LineBreak(false);
            break;
        case ecDeleteLastChar:
            DeleteLastChar();
            break;
        case ecDeleteChar:
            DeleteChar();
            break;
        case ecDeleteWord:
        case ecDeleteEOL: {
            if (caret_.Line > lines_->Count()) break;
            const int n = LineCharCount(LineAt(caret_.Line));
            TBufferCoord target;
            if (command == ecDeleteWord) {
                if (caret_.Column > n + 1) SetCaretX(n + 1);
                target = NextWordStart(*lines_, caret_, WordChars());
            } else {
                if (caret_.Column > n) break;
                target = {n + 1, caret_.Line};
            }
            DoOnPaintTransient(ttBefore);
            DeleteTo(target, true);
            break;
        }
        case ecDeleteLastWord:
        case ecDeleteBOL: {
            if (caret_.Line > lines_->Count()) break;
            const TBufferCoord target = command == ecDeleteLastWord ? PrevWordStart(*lines_, caret_, WordChars())
                                                                    : TBufferCoord{1, caret_.Line};
            DoOnPaintTransient(ttBefore);
            DeleteTo(target, false);
            DoOnPaintTransient(ttAfter);
            break;
        }
        case ecDeleteLine:
            DeleteLine();
            break;
        case ecClearAll:
            ClearAll();
            break;
        case ecUndo:
            UndoGroup();
            break;
        case ecRedo:
            RedoGroup();
            break;
        case ecCut:
            CutToClipboard();
            break;
        case ecPaste:
            PasteFromClipboard();
            break;
        case ecBlockIndent:
            BlockIndent();
            break;
        case ecBlockUnindent:
            BlockUnindent();
            break;
        case ecTab:
            InsertTab();
            break;
        case ecShiftTab:
            ShiftTab();
            break;
        case ecUpperCase:
        case ecLowerCase:
        case ecTitleCase:
        case ecToggleCase:
            ChangeCase(command);
            break;
        default:
            return false;
    }
    return true;
}

// --- typing -----------------------------------------------------------------------------------------

void TCustomCodeEdit::ReplaceSelectionTyped(const std::string& s) {
    // The selection goes in its own mode; the typed text then stands where it began (a column
    // selection leaves it on the active end's line), so the insertion's record covers exactly it.
    UndoBlock block(undoList_);
    undoList_.RecordChange(urDeleteBefore, selAnchor_, selActive_, SelectedText(), selectionMode_);
    ReplaceSelectionRaw(selectionMode_, std::string_view(), false);
    const TBufferCoord start = caret_;
    ReplaceSelectionRaw(selectionMode_ == smLine ? smLine : smNormal, s, false);
    undoList_.RecordChange(urInsert, start, caret_, std::string(), smNormal);
}

void TCustomCodeEdit::TypeChar(char32_t ch) {
    if (ch < 32 || ch == 127) return;
    std::string s;
    AppendUtf8(s, ch);
    if (HasSelection()) {
        ReplaceSelectionTyped(s);
        DoOnPaintTransient(ttAfter);
        return;
    }
    if (caret_.Column >= kHardColumnLimit) {
        QApplication::beep();
        return;
    }
    if (lines_->Count() == 0) lines_->Add(std::string());
    const int index = std::min(caret_.Line, lines_->Count()) - 1;
    std::string line = lines_->Get(index);
    const int n = LineCharCount(line);
    const TBufferCoord old = caret_;
    const int x = caret_.Column;
    std::string fill;
    if (n < x) {
        const int f = insertMode_ ? x - n - 1 : x - n;
        fill = n == 0 ? IndentString(f) : Spaces(f);
    }
    const int fillLength = LineCharCount(fill);
    line += fill;
    OptionOn past(options_, eoScrollPastEol);
    const bool trim = HasOption(eoTrimTrailingSpaces);
    const int lineNo = index + 1;
    if (insertMode_) {
        const int at = n < x ? n + fillLength + 1 : x;
        line.insert(ColumnToByte(line, at), s);
        TrimmedPutLine(*lines_, index, line, trim);
        const TBufferCoord now{at + 1, lineNo};
        MakeRoomForCaret(now.Column);
        SetCaretXY(now);
        if (fill.empty()) {
            undoList_.RecordChange(urInsert, old, now, std::string(), smNormal);
        } else {
            UndoBlock block(undoList_);
            undoList_.RecordChange(urFillSpaces, {at, lineNo}, {n + 1, lineNo}, std::string(), smNormal);
            undoList_.RecordChange(urInsert, {at, lineNo}, now, std::string(), smNormal);
        }
    } else {
        const int at = n < x ? n + fillLength : x;
        const size_t from = ColumnToByte(line, at);
        const size_t to = ColumnToByte(line, at + 1);
        const std::string replaced = n < x ? std::string() : line.substr(from, to - from);
        line.replace(from, to - from, s);
        TrimmedPutLine(*lines_, index, line, trim);
        undoList_.RecordChange(urInsert, {at, lineNo}, {at + (replaced.empty() ? 0 : 1), lineNo}, replaced, smNormal);
        MakeRoomForCaret(at + 1);
        SetCaretXY({at + 1, lineNo});
    }
    ScrollRightForTyping();
    DoOnPaintTransient(ttAfter);
}

void TCustomCodeEdit::TypeString(const std::string& s) {
    if (s.empty()) return;
    if (HasSelection()) {
        ReplaceSelectionTyped(s);
        InvalidateGutter();
        return;
    }
    // A composed string is one line of text; breaks and NULs inside it are dropped.
    std::string clean;
    for (char c : s)
        if (c != '\r' && c != '\n' && c != '\0') clean += c;
    if (clean.empty()) return;
    const int length = LineCharCount(clean);
    if (caret_.Column + length >= kHardColumnLimit) {
        QApplication::beep();
        return;
    }
    if (lines_->Count() == 0) lines_->Add(std::string());
    const int index = std::min(caret_.Line, lines_->Count()) - 1;
    std::string line = lines_->Get(index);
    const int n = LineCharCount(line);
    const int x = caret_.Column;
    if (n < x) line += Spaces(x - n - 1);
    OptionOn past(options_, eoScrollPastEol);
    std::string replaced;
    const size_t at = ColumnToByte(line, x);
    if (!insertMode_) {
        const size_t end = at + ColumnToByte(std::string_view(line).substr(at), length + 1);
        replaced = line.substr(at, end - at);
        line.erase(at, end - at);
    }
    line.insert(at, clean);
    TrimmedPutLine(*lines_, index, line, HasOption(eoTrimTrailingSpaces));
    const TBufferCoord old{x, index + 1};
    const TBufferCoord now{x + length, index + 1};
    MakeRoomForCaret(now.Column);
    SetCaretXY(now);
    undoList_.RecordChange(urInsert, old, now, replaced, smNormal);
    ScrollRightForTyping();
}

// --- deletion ---------------------------------------------------------------------------------------

void TCustomCodeEdit::DeleteLastChar() {
    DoOnPaintTransient(ttBefore, true);
    if (HasSelection()) {
        DeleteSelectionRecorded();
    } else if (lines_->Count() > 0 && caret_.Line <= lines_->Count()) {
        const int L = caret_.Line;
        const std::string t = lines_->Get(L - 1);
        std::u32string chars;
        DecodeUtf8(t, chars);
        const int n = static_cast<int>(chars.size());
        const int x = caret_.Column;
        const TBufferCoord old = caret_;
        std::string removed;
        // The nearest line above whose leading white space is less than `limit`: its count.
        auto indentAbove = [&](int limit) {
            for (int l = L - 1; l >= 1; --l) {
                const int w = LeadingWhite(lines_->Get(l - 1));
                if (w < limit) return w;
            }
            return 0;
        };
        if (x > n + 1) {
            OptionOn past(options_, eoScrollPastEol);
            if (HasOption(eoSmartTabDelete)) {
                if (n == 0)
                    SetCaretX(indentAbove(x - 1) + 1);
                else
                    SetCaretX(n + 1);
            } else {
                SetCaretX(x - 1);
            }
        } else if (x == 1) {
            if (L > 1) {
                const std::string above = lines_->Get(L - 2);
                const TBufferCoord to{LineCharCount(above) + 1, L - 1};
                lines_->BeginUpdate();
                lines_->Put(L - 2, above + (HasOption(eoTrimTrailingSpaces) ? TrimTrailingSpaces(t) : t));
                lines_->Delete(L - 1);
                SetCaretXY(to);
                lines_->EndUpdate();
                removed = "\r\n";
                ShiftMarksForDeletedLines(to.Line, 1);
            }
        } else {
            const int k = LeadingWhite(t);
            const char32_t before = chars[static_cast<size_t>(x - 2)];
            int remove = 1;
            if (before <= 32 && x - 1 == k) {
                if (HasOption(eoSmartTabDelete)) {
                    remove = k - indentAbove(k);
                } else {
                    // Back to the previous tab stop over blanks; a tab counts once.
                    const int d = LogicalToDisplay(caret_).Column;
                    int q = (d - 1) % tabWidth_;
                    if (q == 0) q = tabWidth_;
                    const std::string expanded = lines_->ExpandedText(L - 1);
                    std::u32string cells;
                    DecodeUtf8(expanded, cells);
                    remove = 0;
                    for (int cell = d - 1; cell >= d - q && cell >= 1; --cell) {
                        ++remove;
                        if (cell <= static_cast<int>(cells.size()) && cells[static_cast<size_t>(cell - 1)] == U'\t')
                            break;
                    }
                    remove = std::clamp(remove, 1, x - 1);
                }
            }
            if (remove > 0) {
                const size_t from = ColumnToByte(t, x - remove);
                const size_t to = ColumnToByte(t, x);
                removed = t.substr(from, to - from);
                std::string out = t;
                out.erase(from, to - from);
                lines_->Put(L - 1, out);
                OptionOn past(options_, eoScrollPastEol);
                SetCaretXY({x - remove, L});
            }
        }
        if (caret_ != old) undoList_.RecordChange(urQuietDeleteBefore, caret_, old, removed, smNormal);
        EnsureCaretVisible(false);
    }
    DoOnPaintTransient(ttAfter, true);
}

void TCustomCodeEdit::DeleteChar() {
    DoOnPaintTransient(ttBefore);
    if (HasSelection()) {
        DeleteSelectionRecorded();
    } else if (lines_->Count() > 0 && caret_.Line <= lines_->Count()) {
        const int L = caret_.Line;
        std::string t = lines_->Get(L - 1);
        const int n = LineCharCount(t);
        const int x = caret_.Column;
        if (x > n && L < lines_->Count()) {
            t += Spaces(x - 1 - n);
            lines_->BeginUpdate();
            lines_->Put(L - 1, t + lines_->Get(L));
            lines_->Delete(L);
            lines_->EndUpdate();
            ShiftMarksForDeletedLines(L, 1);
            undoList_.RecordChange(urQuietDeleteAfter, caret_, {1, L + 1}, "\r\n", smNormal);
        } else if (x <= n) {
            const size_t from = ColumnToByte(t, x);
            const size_t to = ColumnToByte(t, x + 1);
            const std::string removed = t.substr(from, to - from);
            t.erase(from, to - from);
            lines_->Put(L - 1, t);
            undoList_.RecordChange(urQuietDeleteAfter, caret_, {x + 1, L}, removed, smNormal);
        }
    }
    DoOnPaintTransient(ttAfter);
}

void TCustomCodeEdit::DeleteTo(TBufferCoord target, bool after) {
    if (target == caret_) return;
    const TSelectionMode saved = selectionMode_;
    selectionMode_ = smNormal;
    const TBufferCoord from = caret_;
    selAnchor_ = from;
    selActive_ = target;
    const std::string text = SelectedText();
    if (after)
        undoList_.RecordChange(urQuietDeleteAfter, from, target, text, smNormal);
    else
        undoList_.RecordChange(urQuietDeleteBefore, target, from, text, smNormal);
    try {
        ReplaceSelection(std::string_view());
    } catch (...) {
        selectionMode_ = saved;
        throw;
    }
    selectionMode_ = saved;
    SetCaretXY(caret_);
}

void TCustomCodeEdit::DeleteLine() {
    const int count = lines_->Count();
    if (count == 0 || (count == 1 && lines_->Get(0).empty())) return;
    DoOnPaintTransient(ttBefore);
    selAnchor_ = selActive_ = caret_;
    const int L = std::min(caret_.Line, count);
    const std::string text = lines_->Get(L - 1);
    // The record spans the removed text, so a redo removes the same line again.
    if (count == 1) {
        undoList_.RecordChange(urDeleteAfter, {1, L}, {LineCharCount(text) + 1, L}, text, smNormal);
        lines_->Put(0, std::string());
    } else if (L < count) {
        undoList_.RecordChange(urDeleteAfter, {1, L}, {1, L + 1}, text + "\r\n", smNormal);
        lines_->Delete(L - 1);
    } else {
        // The last line takes the break before it along.
        const TBufferCoord from{LineCharCount(lines_->Get(L - 2)) + 1, L - 1};
        undoList_.RecordChange(urDeleteAfter, from, {LineCharCount(text) + 1, L}, "\r\n" + text, smNormal);
        lines_->Delete(L - 1);
    }
    ShiftMarksForDeletedLines(L - 1, 1);
    SetCaretXY({1, L});
    InvalidateAll();
}

// --- line breaks ------------------------------------------------------------------------------------

void TCustomCodeEdit::LineBreak(bool moveCaret) {
    BeginPaintLock();
    lines_->BeginUpdate();
    try {
        if (HasSelection()) {
            undoList_.RecordChange(urDeleteBefore, selAnchor_, selActive_, SelectedText(), selectionMode_);
            ReplaceSelection(std::string_view());
        }
        if (lines_->Count() == 0) lines_->Add(std::string());
        const int L = std::min(caret_.Line, lines_->Count());
        const std::string t = lines_->Get(L - 1);
        const int n = LineCharCount(t);
        const int x = caret_.Column;
        const TBufferCoord old{x, L};
        // The nearest non-empty line at or above the caret line.
        auto indentSource = [&]() -> std::string {
            for (int l = L; l >= 1; --l) {
                std::string s = lines_->Get(l - 1);
                if (!s.empty()) return s;
            }
            return std::string();
        };
        OptionOn past(options_, eoScrollPastEol);
        if (t.empty()) {
            const int w = HasOption(eoAutoIndent) ? LeadingWidth(indentSource()) : 0;
            undoList_.RecordChange(urLineBreak, old, old, std::string(), smNormal);
            lines_->Insert(L - 1, std::string());
            ShiftMarksForInsertedLines(L, 1);
            if (moveCaret) SetCaretXY({w + 1, L + 1});
        } else if (x > n) {
            undoList_.RecordChange(urLineBreak, old, old, std::string(), smNormal);
            const std::string source = indentSource();
            const int w = LeadingWhite(source);
            const std::string indent = moveCaret && w > 0 ? CopyColumns(source, 1, w) : std::string();
            lines_->Insert(L, indent);
            ShiftMarksForInsertedLines(L + 1, 1);
            if (moveCaret) SetCaretXY({w + 1, L + 1});
        } else if (x == 1) {
            lines_->Insert(L - 1, std::string());
            undoList_.RecordChange(urLineBreak, old, old, t, smNormal);
            ShiftMarksForInsertedLines(L, 1);
            if (moveCaret) SetCaretXY({x, L + 1});
        } else {
            const std::string left = CopyColumns(t, 1, x - 1);
            const std::string rest = CopyColumns(t, x);
            const std::string indent = IndentString(LeadingWidth(left));
            TrimmedPutLine(*lines_, L - 1, left, HasOption(eoTrimTrailingSpaces));
            lines_->Insert(L, indent + rest);
            undoList_.RecordChange(urLineBreak, old, old, rest, smNormal);
            ShiftMarksForInsertedLines(L + 1, 1);
            if (moveCaret) SetCaretXY({LineCharCount(indent) + 1, L + 1});
        }
        selAnchor_ = selActive_ = caret_;
    } catch (...) {
        lines_->EndUpdate();
        EndPaintLock();
        throw;
    }
    lines_->EndUpdate();
    EnsureCaretVisible(false);
    desiredColumn_ = LogicalToDisplay(caret_).Column;
    EndPaintLock();
}

// --- indentation and tabs ---------------------------------------------------------------------------

void TCustomCodeEdit::BlockIndent() {
    if (!HasSelection()) return;
    const TBufferCoord s = SelStartPos(), e = SelEndPos();
    const int last = std::max(s.Line, e.Column == 1 ? e.Line - 1 : e.Line);
    const std::string unit = HasOption(eoTabsToSpaces) ? Spaces(tabWidth_) : std::string("\t");
    const int unitLength = LineCharCount(unit);
    std::string text;
    for (int l = s.Line; l <= last; ++l) {
        if (l > s.Line) text += "\r\n";
        text += unit;
    }
    const TSelectionMode saved = selectionMode_;
    const TBufferCoord oldCaret = caret_;
    {
        UndoBlock block(undoList_);
        undoList_.RecordChange(urIndent, s, e, std::string(), smColumn);
        InsertColumnBlock({1, s.Line}, text, true);
        undoList_.RecordChange(urIndent, {s.Column + unitLength, s.Line}, {e.Column + unitLength, e.Line},
                               std::string(), smColumn);
    }
    selectionMode_ = saved;
    const int caretColumn = e.Column == 1 && oldCaret.Line == e.Line ? 1 : oldCaret.Column + unitLength;
    const int activeColumn = e.Column == 1 ? 1 : e.Column + unitLength;
    OptionOn past(options_, eoScrollPastEol);
    PlaceSelection({caretColumn, oldCaret.Line}, {s.Column + unitLength, s.Line}, {activeColumn, e.Line});
}

void TCustomCodeEdit::BlockUnindent() {
    if (!HasSelection()) return;
    const TBufferCoord s = SelStartPos(), e = SelEndPos();
    const int last = std::min(std::max(s.Line, e.Column == 1 ? e.Line - 1 : e.Line), lines_->Count());
    std::vector<int> prefix;
    std::string removed;
    bool any = false;
    for (int l = s.Line; l <= last; ++l) {
        const std::string t = lines_->Get(l - 1);
        int p = 0;
        if (!t.empty() && t[0] == '\t') {
            p = 1;
        } else {
            while (p < static_cast<int>(t.size()) && p < tabWidth_ && t[static_cast<size_t>(p)] == ' ') ++p;
            if (p < static_cast<int>(t.size()) && t[static_cast<size_t>(p)] == '\t') ++p;
        }
        prefix.push_back(p);
        if (l > s.Line) removed += "\r\n";
        removed += t.substr(0, static_cast<size_t>(p));
        any = any || p > 0;
    }
    TBufferCoord caret = caret_;
    if (caret.Line >= s.Line && caret.Line <= last && caret.Column != 1)
        caret.Column = std::max(1, caret.Column - prefix[static_cast<size_t>(caret.Line - s.Line)]);
    const int first = prefix.empty() ? 0 : prefix.front();
    const int lastPrefix = e.Line <= last && !prefix.empty() ? prefix.back() : 0;
    if (any) {
        lines_->BeginUpdate();
        for (int l = s.Line; l <= last; ++l) {
            const int p = prefix[static_cast<size_t>(l - s.Line)];
            if (p > 0) lines_->Put(l - 1, lines_->Get(l - 1).substr(static_cast<size_t>(p)));
        }
        lines_->EndUpdate();
        undoList_.RecordChange(urUnindent, s, e, removed, smColumn);
    }
    OptionOn past(options_, eoScrollPastEol);
    PlaceSelection(caret, {std::max(1, s.Column - first), s.Line}, {std::max(1, e.Column - lastPrefix), e.Line});
}

void TCustomCodeEdit::InsertTab() {
    const bool blockCase =
        HasSelection() && ((SelStartPos().Line != SelEndPos().Line && selectionMode_ != smColumn) ||
                           (std::min(selAnchor_.Column, selActive_.Column) == 1 &&
                            std::max(selAnchor_.Column, selActive_.Column) > LineCharCount(LineAt(caret_.Line))));
    if (HasOption(eoTabIndent) && blockCase) {
        if (SelStartPos().Line == SelEndPos().Line) {
            if (selAnchor_.Column < selActive_.Column)
                selAnchor_.Column = 1;
            else
                selActive_.Column = 1;
        }
        BlockIndent();
        return;
    }
    UndoBlock block(undoList_);
    if (HasSelection()) {
        undoList_.RecordChange(urDeleteBefore, selAnchor_, selActive_, SelectedText(), selectionMode_);
        ReplaceSelection(std::string_view());
    }
    const int d = LogicalToDisplay(caret_).Column;
    int w = 0;
    if (HasOption(eoSmartTabs)) {
        for (int l = std::min(caret_.Line, lines_->Count()) - 1; l >= 1; --l) {
            std::u32string cells;
            DecodeUtf8(lines_->ExpandedText(l - 1), cells);
            if (static_cast<int>(cells.size()) < d) continue;
            auto blank = [&](int c) {
                return cells[static_cast<size_t>(c - 1)] == U' ' || cells[static_cast<size_t>(c - 1)] == U'\t';
            };
            int c = d;
            while (c <= static_cast<int>(cells.size()) && !blank(c)) ++c;
            while (c <= static_cast<int>(cells.size()) && blank(c)) ++c;
            w = c - d;
            break;
        }
    }
    if (w == 0) w = HasOption(eoTabsToSpaces) ? tabWidth_ - (d - 1) % tabWidth_ : tabWidth_;
    std::string text;
    if (HasOption(eoTabsToSpaces)) {
        text = Spaces(w);
    } else if (HasOption(eoSmartTabs)) {
        // The same display column with tabs and spaces.
        const int target = d + w;
        int at = d;
        const int nextStop = ((d - 1) / tabWidth_ + 1) * tabWidth_ + 1;
        if (target >= nextStop) {
            text += '\t';
            at = nextStop;
            while (at + tabWidth_ <= target) {
                text += '\t';
                at += tabWidth_;
            }
        }
        text += Spaces(target - at);
    } else {
        text = "\t";
    }
    const TBufferCoord old = caret_;
    OptionOn past(options_, eoScrollPastEol);
    ReplaceSelectionRaw(smNormal, text);
    const TBufferCoord now{old.Column + LineCharCount(text), old.Line};
    SetCaretXY(now);
    undoList_.RecordChange(urInsert, old, now, std::string(), smNormal);
    EnsureCaretVisible(false);
}

void TCustomCodeEdit::ShiftTab() {
    const bool blockCase =
        HasSelection() && ((SelStartPos().Line != SelEndPos().Line && selectionMode_ != smColumn) ||
                           (std::min(selAnchor_.Column, selActive_.Column) == 1 &&
                            std::max(selAnchor_.Column, selActive_.Column) > LineCharCount(LineAt(caret_.Line))));
    if (HasOption(eoTabIndent) && blockCase) {
        BlockUnindent();
        return;
    }
    const int count = lines_->Count();
    const int L = caret_.Line;
    if (L > count) return;
    const int col = caret_.Column;
    int x = col;
    if (HasOption(eoSmartTabs) && col > 1 && L > 1) {
        for (int l = L - 1; l >= 1; --l) {
            std::u32string t;
            DecodeUtf8(lines_->Get(l - 1), t);
            if (static_cast<int>(t.size()) < col - 1) continue;
            int c = col - 1;
            while (c > 1 && t[static_cast<size_t>(c - 1)] == U' ') --c;
            while (c > 1 && t[static_cast<size_t>(c - 2)] != U' ') --c;
            x = c;
            break;
        }
    }
    std::u32string line;
    DecodeUtf8(lines_->Get(L - 1), line);
    const int n = static_cast<int>(line.size());
    auto isBlankAt = [&](int c) { return c > n || line[static_cast<size_t>(c - 1)] == U' '; };
    if (x == col) {
        const int stop = tabWidth_ * ((col - 2) / tabWidth_) + 1;
        while (x > stop && x > 1 && isBlankAt(x - 1)) --x;
    }
    // Only blanks go: text left of the caret stays where it is.
    int c = col - 1;
    while (c >= x && c >= 1 && isBlankAt(c)) --c;
    x = std::max(x, c + 1);
    if (x >= col) return;
    const TSelectionMode saved = selectionMode_;
    selectionMode_ = smNormal;
    const TBufferCoord from{x, L};
    const TBufferCoord old = caret_;
    selAnchor_ = from;
    selActive_ = old;
    undoList_.RecordChange(urDeleteAfter, from, old, SelectedText(), smNormal);
    try {
        ReplaceSelection(std::string_view());
    } catch (...) {
        selectionMode_ = saved;
        throw;
    }
    selectionMode_ = saved;
    OptionOn past(options_, eoScrollPastEol);
    SetCaretXY(from);
}

// --- case ---------------------------------------------------------------------------------------------

void TCustomCodeEdit::ChangeCase(TCodeEditorCommand command) {
    const TBufferCoord old = caret_;
    const TSelectionMode saved = selectionMode_;
    if (command == ecToggleCase) {
        const bool had = HasSelection();
        const TBufferCoord anchor = selAnchor_, active = selActive_;
        if (!had) {
            if (caret_.Line > lines_->Count() || caret_.Column > LineCharCount(LineAt(caret_.Line))) return;
            selectionMode_ = smNormal;
            selAnchor_ = caret_;
            selActive_ = {caret_.Column + 1, caret_.Line};
        }
        const std::string text = SelectedText();
        const std::string mapped = CaseMapped(text, command);
        if (mapped != text) SetSelectedText(mapped);
        selectionMode_ = saved;
        OptionOn past(options_, eoScrollPastEol);
        if (had)
            PlaceSelection(old, anchor, active);
        else
            PlaceSelection({old.Column + 1, old.Line}, {old.Column + 1, old.Line}, {old.Column + 1, old.Line});
        return;
    }
    const TBufferCoord from = WordStartAt(*lines_, caret_, WordChars());
    const TBufferCoord to = WordEndAt(*lines_, caret_, WordChars());
    if (!(from < to)) return;
    selectionMode_ = smNormal;
    selAnchor_ = from;
    selActive_ = to;
    const std::string text = SelectedText();
    const std::string mapped = CaseMapped(text, command);
    if (mapped != text) SetSelectedText(mapped);
    selectionMode_ = saved;
    OptionOn past(options_, eoScrollPastEol);
    PlaceSelection(old, old, old);
}

// --- clipboard ------------------------------------------------------------------------------------------

void TCustomCodeEdit::PutClipboard(const std::string& text) {
    if (text.empty()) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* mime = new QMimeData;
    mime->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    QByteArray block;
    block.reserve(static_cast<qsizetype>(text.size()) + 2);
    block.append(static_cast<char>(selectionMode_));
    block.append(text.data(), static_cast<qsizetype>(text.size()));
    block.append('\0');
    mime->setData(CodeEditClipboardMimeType, block);
    clipboard->setMimeData(mime);
    const QMimeData* now = clipboard->mimeData();
    if (now == nullptr || !now->hasFormat(CodeEditClipboardMimeType) || now->data(CodeEditClipboardMimeType) != block)
        throw ECodeEditError("Clipboard copy operation failed");
}

void TCustomCodeEdit::CopyToClipboard() {
    if (HasSelection()) PutClipboard(SelectedText());
}

void TCustomCodeEdit::CutToClipboard() {
    if (readOnly_ || !HasSelection()) return;
    const std::string text = SelectedText();
    PutClipboard(text);
    undoList_.RecordChange(urDeleteBefore, selAnchor_, selActive_, text, selectionMode_);
    SuspendBoth suspend(undoList_, redoList_);
    SetSelectedText(std::string());
}

void TCustomCodeEdit::PasteFromClipboard() {
    if (readOnly_) return;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime == nullptr) return;
    TSelectionMode m = selectionMode_;
    std::string text;
    if (mime->hasFormat(CodeEditClipboardMimeType)) {
        const QByteArray bytes = mime->data(CodeEditClipboardMimeType);
        if (bytes.size() < 2 || bytes.back() != '\0' || static_cast<uint8_t>(bytes.front()) > smColumn)
            throw ECodeEditError("Clipboard paste operation failed.");
        m = static_cast<TSelectionMode>(bytes.front());
        text.assign(bytes.constData() + 1, static_cast<size_t>(bytes.size() - 2));
    } else if (mime->hasText()) {
        text = mime->text().toStdString();
    } else {
        return;
    }
    DoOnPaintTransient(ttBefore);
    BeginPaintLock();
    {
        UndoBlock block(undoList_);
        TBufferCoord start = caret_;
        if (HasSelection()) {
            // The selection goes in its own mode, as recorded; the text comes in its mode.
            undoList_.RecordChange(urDeleteBefore, selAnchor_, selActive_, SelectedText(), selectionMode_);
            start = SelStartPos();
            selAnchor_ = start;
            selActive_ = SelEndPos();
            ReplaceSelectionRaw(selectionMode_, std::string_view(), false);
            start = caret_;
        }
        if (m == smLine) start.Column = 1;
        ReplaceSelectionRaw(m, text);
        const TBufferCoord end = SelEndPos();
        switch (m) {
            case smNormal:
                undoList_.RecordChange(urPaste, start, end, std::string(), smNormal);
                break;
            case smLine:
                if (caret_.Column == 1)
                    undoList_.RecordChange(urPaste, {1, start.Line}, {std::max(1, visibleColumnCount_), end.Line - 1},
                                           std::string(), smLine);
                else
                    undoList_.RecordChange(urPaste, {1, start.Line}, end, std::string(), smNormal);
                break;
            case smColumn: {
                OptionOn past(options_, eoScrollPastEol);
                SetCaretXY({std::min(start.Column, end.Column), std::max(start.Line, end.Line) + 1});
                break;
            }
        }
    }
    EnsureCaretVisible(false);
    StatusChanged(stSelection);
    EndPaintLock();
    DoOnPaintTransient(ttAfter);
}

// --- undo and redo ------------------------------------------------------------------------------------

void TCustomCodeEdit::UndoGroup() {
    ReplayGroup(undoList_, redoList_, &TCustomCodeEdit::UndoOneItem);
}

void TCustomCodeEdit::RedoGroup() {
    ReplayGroup(redoList_, undoList_, &TCustomCodeEdit::RedoOneItem);
}

// Undo and redo of one group are mirror images: items come off `from` and their inverses go
// onto `to` under the group's number; with eoGroupUndo a run of items of the same reason
// (indents excepted) goes as one; group breaks at the top of `from` move over to `to`.
// A run only goes on while every item taken so far had that reason, and a group it reaches
// goes whole: undoing "delete, insert" of a replaced text never also takes the insertion of
// the replacement before it, and a run of typing never stops half-way through a block.
void TCustomCodeEdit::ReplayGroup(TCodeEditUndoList& from, TCodeEditUndoList& to, void (TCustomCodeEdit::*one)()) {
    auto dropBreaks = [&] {
        while (from.LastReason() == urGroupBreak) {
            from.Pop();
            to.AddBreak();
        }
    };
    dropBreaks();
    const TChangeReason first = from.LastReason();
    const TCodeEditUndoItem* item = from.Peek();
    if (item == nullptr) return;
    int32_t group = item->GroupNumber;
    const int32_t saved = to.BlockNumber();
    to.SetBlockNumber(group);
    const bool runs = HasOption(eoGroupUndo) && first != urIndent && first != urUnindent;
    bool uniform = true;
    try {
        for (;;) {
            if (from.Peek()->Reason != first) uniform = false;
            (this->*one)();
            const TCodeEditUndoItem* next = from.Peek();
            if (next == nullptr) break;
            if (next->GroupNumber == group) continue;
            if (runs && uniform && next->Reason == first) {
                group = next->GroupNumber;
                continue;
            }
            break;
        }
        dropBreaks();
    } catch (...) {
        to.SetBlockNumber(saved);
        throw;
    }
    to.SetBlockNumber(saved);
}

void TCustomCodeEdit::UndoOneItem() {
    std::unique_ptr<TCodeEditUndoItem> item = undoList_.Pop();
    if (!item) return;
    const TSelectionMode savedMode = selectionMode_;
    selectionMode_ = item->Mode;
    BeginPaintLock();
    OptionOn past(options_, eoScrollPastEol);
    const TCodeEditUndoItem& u = *item;
    try {
        switch (u.Reason) {
            case urInsert:
            case urPaste:
            case urDropInsert:
            case urFillSpaces: {
                PlaceSelection(u.StartPos, u.StartPos, u.EndPos);
                redoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, SelectedText(), u.Mode);
                ReplaceSelectionRaw(u.Mode, u.Text, false);
                if (TCodeEditUndoItem* redo = redoList_.Peek(); redo != nullptr && !u.Text.empty())
                    redo->ReplacedEnd = caret_;
                SetCaretXY(u.StartPos);
                break;
            }
            case urDeleteAfter:
            case urDeleteBefore:
            case urQuietDeleteBefore:
            case urQuietDeleteAfter: {
                TBufferCoord p = u.StartPos < u.EndPos ? u.StartPos : u.EndPos;
                if (u.Mode == smColumn)
                    p = {std::min(u.StartPos.Column, u.EndPos.Column), std::min(u.StartPos.Line, u.EndPos.Line)};
                if ((u.Reason == urDeleteAfter || u.Reason == urQuietDeleteAfter) && lines_->Count() < p.Line) {
                    SetCaretXY({1, lines_->Count()});
                    lines_->Add(std::string());
                }
                PlaceSelection(p, p, p);
                ReplaceSelectionRaw(u.Mode, u.Text, false);
                switch (u.Reason) {
                    case urQuietDeleteBefore:
                        PlaceSelection(u.EndPos, u.EndPos, u.EndPos);
                        break;
                    case urQuietDeleteAfter:
                        PlaceSelection(u.StartPos, u.StartPos, u.StartPos);
                        break;
                    case urDeleteAfter:
                        PlaceSelection(u.StartPos, u.StartPos, u.EndPos);
                        break;
                    default:
                        PlaceSelection(u.EndPos, u.StartPos, u.EndPos);
                        break;
                }
                redoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, std::string(), u.Mode);
                EnsureCaretVisible(false);
                break;
            }
            case urLineBreak: {
                SetCaretXY(u.StartPos);
                redoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, std::string(), u.Mode);
                lines_->BeginUpdate();
                std::string s = LineAt(caret_.Line);
                if (LineCharCount(s) < caret_.Column - 1 && LeadingWhite(u.Text) == 0)
                    s += Spaces(caret_.Column - 1 - LineCharCount(s));
                if (u.EndPos.Line < lines_->Count()) lines_->Delete(u.EndPos.Line);
                SetCaretXY(u.StartPos);
                if (caret_.Line <= lines_->Count())
                    TrimmedPutLine(*lines_, caret_.Line - 1, s + u.Text, HasOption(eoTrimTrailingSpaces));
                lines_->EndUpdate();
                ShiftMarksForDeletedLines(u.StartPos.Line, 1);
                break;
            }
            case urIndent:
                redoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, u.Text, u.Mode);
                PlaceSelection(u.EndPos, u.StartPos, u.EndPos);
                break;
            case urUnindent:
                redoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, u.Text, u.Mode);
                InsertColumnBlock({1, u.StartPos.Line}, u.Text, false);
                PlaceSelection(u.StartPos, u.StartPos, u.EndPos);
                break;
            default:
                break;
        }
    } catch (...) {
        selectionMode_ = savedMode;
        EndPaintLock();
        throw;
    }
    selectionMode_ = savedMode;
    EndPaintLock();
}

void TCustomCodeEdit::RedoOneItem() {
    std::unique_ptr<TCodeEditUndoItem> item = redoList_.Pop();
    if (!item) return;
    const TSelectionMode savedMode = selectionMode_;
    selectionMode_ = item->Mode;
    BeginPaintLock();
    insideRedo_ = true;
    OptionOn past(options_, eoScrollPastEol);
    const TCodeEditUndoItem& u = *item;
    try {
        switch (u.Reason) {
            case urInsert:
            case urPaste:
            case urDropInsert: {
                const TBufferCoord end = u.ReplacedEnd.Line > 0 ? u.ReplacedEnd : u.StartPos;
                PlaceSelection(u.StartPos, u.StartPos, end);
                const std::string replaced = HasSelection() ? SelectedText() : std::string();
                ReplaceSelectionRaw(u.Mode, u.Text, false);
                SetCaretXY(u.EndPos);
                undoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, replaced, u.Mode);
                if (u.Reason == urDropInsert) PlaceSelection(u.StartPos, u.StartPos, u.EndPos);
                break;
            }
            case urDeleteAfter:
            case urDeleteBefore:
            case urQuietDeleteBefore:
            case urQuietDeleteAfter:
                PlaceSelection(u.StartPos, u.StartPos, u.EndPos);
                undoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, SelectedText(), u.Mode);
                ReplaceSelectionRaw(u.Mode, u.Text, false);
                SetCaretXY(u.StartPos);
                break;
            case urLineBreak:
                PlaceSelection(u.StartPos, u.StartPos, u.StartPos);
                ProcessEditorCommand(ecLineBreak, U'\r', nullptr);
                break;
            case urIndent:
                undoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, u.Text, u.Mode);
                PlaceSelection(u.EndPos, u.StartPos, u.EndPos);
                break;
            case urUnindent: {
                undoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, u.Text, smColumn);
                const std::vector<std::string_view> segments = SplitTextLines(u.Text);
                lines_->BeginUpdate();
                int line = u.StartPos.Line;
                for (std::string_view segment : segments) {
                    if (line > lines_->Count()) break;
                    const int k = LineCharCount(segment);
                    if (k > 0) lines_->Put(line - 1, CopyColumns(lines_->Get(line - 1), k + 1));
                    ++line;
                }
                lines_->EndUpdate();
                const int firstLength = segments.empty() ? 0 : LineCharCount(segments.front());
                const int lastLength = segments.empty() ? 0 : LineCharCount(segments.back());
                const TBufferCoord p{std::max(1, u.StartPos.Column - firstLength), u.StartPos.Line};
                const TBufferCoord q{std::max(1, u.EndPos.Column - lastLength), u.EndPos.Line};
                PlaceSelection(p, p, q);
                break;
            }
            case urFillSpaces:
                undoList_.RecordChange(u.Reason, u.StartPos, u.EndPos, std::string(), u.Mode);
                PlaceSelection(u.EndPos, u.EndPos, u.EndPos);
                ReplaceSelectionRaw(u.Mode, u.Text, false);
                SetCaretXY(u.StartPos);
                break;
            default:
                break;
        }
    } catch (...) {
        insideRedo_ = false;
        selectionMode_ = savedMode;
        EndPaintLock();
        throw;
    }
    insideRedo_ = false;
    selectionMode_ = savedMode;
    EndPaintLock();
}

// --- dragging the selection -----------------------------------------------------------------------------

void TCustomCodeEdit::StartDragOperation() {
    if (!HasSelection()) return;
    const std::string text = SelectedText();
    auto* mime = new QMimeData;
    mime->setText(QString::fromStdString(text));
    QByteArray block;
    block.append(static_cast<char>(selectionMode_));
    block.append(text.data(), static_cast<qsizetype>(text.size()));
    block.append('\0');
    mime->setData(CodeEditClipboardMimeType, block);
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    dragging_ = true;
    dropMoved_ = false;
    drag->exec(readOnly_ ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    dragging_ = false;
}

void TCustomCodeEdit::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls() && HasOption(eoDropFiles)) {
        event->acceptProposedAction();
        return;
    }
    if (readOnly_ || !HasOption(eoDragDropEditing) || !mime->hasText()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TCustomCodeEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls() && HasOption(eoDropFiles)) {
        event->acceptProposedAction();
        return;
    }
    if (readOnly_ || !HasOption(eoDragDropEditing)) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    dropCaret_ = PixelToPosition(pos.x(), pos.y());
    // Dropping the selection onto itself does nothing.
    if (dragging_ && event->source() == this && IsPointInSelection(dropCaret_)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TCustomCodeEdit::dragLeaveEvent(QDragLeaveEvent* event) {
    event->accept();
}

void TCustomCodeEdit::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    const QPoint pos = event->position().toPoint();
    if (mime->hasUrls() && HasOption(eoDropFiles)) {
        std::vector<std::string> files;
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
        if (OnDropFiles && !files.empty()) OnDropFiles(this, pos.x(), pos.y(), files);
        event->acceptProposedAction();
        return;
    }
    if (readOnly_ || !HasOption(eoDragDropEditing) || !mime->hasText()) {
        event->ignore();
        return;
    }
    TBufferCoord at = PixelToPosition(pos.x(), pos.y());
    at.Line = std::clamp(at.Line, 1, std::max(1, lines_->Count()));
    at.Column = std::min(at.Column, LineCharCount(LineAt(at.Line)) + 1);
    const bool ours = dragging_ && event->source() == this;
    if (ours && IsPointInSelection(at)) {
        event->ignore();
        return;
    }
    const bool move = ours && event->dropAction() == Qt::MoveAction;
    std::string text = mime->text().toStdString();
    if (mime->hasFormat(CodeEditClipboardMimeType)) {
        const QByteArray bytes = mime->data(CodeEditClipboardMimeType);
        if (bytes.size() >= 2 && bytes.back() == '\0')
            text.assign(bytes.constData() + 1, static_cast<size_t>(bytes.size() - 2));
    }
    BeginPaintLock();
    {
        UndoBlock block(undoList_);
        if (move) {
            const TBufferCoord s = SelStartPos(), e = SelEndPos();
            DeleteSelectionRecorded();
            // The drop point moves with the text that left above it.
            if (e <= at) {
                if (at.Line == e.Line) {
                    at = {s.Column + (at.Column - e.Column), s.Line};
                } else {
                    at.Line -= e.Line - s.Line;
                }
            }
        }
        const TSelectionMode saved = selectionMode_;
        selectionMode_ = smNormal;
        PlaceSelection(at, at, at);
        ReplaceSelectionRaw(smNormal, text);
        const TBufferCoord end = caret_;
        undoList_.RecordChange(urDropInsert, at, end, std::string(), smNormal);
        PlaceSelection(end, at, end);
        selectionMode_ = saved;
    }
    EndPaintLock();
    dropMoved_ = move;
    event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

}  // namespace tessel
