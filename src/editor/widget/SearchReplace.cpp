// Finding and replacing text in the editor.

#include <QString>

#include <algorithm>
#include <vector>

#include "editor/widget/CustomCodeEdit.h"

namespace tessel {

namespace {

struct Match {
    TBufferCoord start;
    int length = 0;  // in characters
    TBufferCoord End() const { return {start.Column + length, start.Line}; }
};

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// The matches of `search` on one line, left to right, none overlapping.
void LineMatches(const std::string& line, int lineNo, const QString& search, TSearchOptions options,
                 std::vector<Match>& out) {
    const QString text = QString::fromStdString(line);
    const Qt::CaseSensitivity cs = (options & ssoMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    qsizetype from = 0;
    int column = 1;         // the column of text[counted]
    qsizetype counted = 0;  // UTF-16 units counted into `column` so far
    while (from <= text.size()) {
        const qsizetype at = text.indexOf(search, from, cs);
        if (at < 0) break;
        const qsizetype end = at + search.size();
        if ((options & ssoWholeWord) &&
            ((at > 0 && IsWordChar(text[at - 1])) || (end < text.size() && IsWordChar(text[end])))) {
            from = at + 1;
            continue;
        }
        column += static_cast<int>(QStringView(text).mid(counted, at - counted).toUcs4().size());
        counted = at;
        const int length = static_cast<int>(QStringView(text).mid(at, end - at).toUcs4().size());
        out.push_back({{column, lineNo}, length});
        from = end;
    }
}

}  // namespace

int TCustomCodeEdit::SearchReplace(const std::string& search, const std::string& replacement, TSearchOptions options) {
    searchWrapped_ = false;
    if (search.empty() || search.find_first_of("\r\n") != std::string::npos) return 0;
    const QString pattern = QString::fromStdString(search);
    const int count = lines_->Count();
    auto matchesOf = [&](int lineNo) {
        std::vector<Match> found;
        LineMatches(lines_->Get(lineNo - 1), lineNo, pattern, options, found);
        return found;
    };
    // Replacing goes through the selection in normal mode, as typing over it does.
    const TSelectionMode savedMode = selectionMode_;
    auto replaceAt = [&](const Match& m) {
        selectionMode_ = smNormal;
        SetCaretAndSelect(m.End(), m.start, m.End());
        SetSelectedText(replacement);
    };

    if (options & ssoReplaceAll) {
        if (readOnly_) return 0;
        TBufferCoord from{1, 1};
        TBufferCoord to{1, count + 1};
        if ((options & ssoSelectedOnly) && HasSelection() && selectionMode_ == smNormal) {
            from = SelStartPos();
            to = SelEndPos();
        }
        std::vector<Match> all;
        for (int line = from.Line; line <= std::min(to.Line, count); ++line)
            for (const Match& m : matchesOf(line))
                if (!(m.start < from) && !(to < m.End())) all.push_back(m);
        if (all.empty()) return 0;
        BeginPaintLock();
        undoList_.AddBreak();
        undoList_.BeginBlock();
        try {
            // From the last to the first: the places still to come do not move.
            for (auto it = all.rbegin(); it != all.rend(); ++it) replaceAt(*it);
        } catch (...) {
            undoList_.EndBlock();
            selectionMode_ = savedMode;
            EndPaintLock();
            throw;
        }
        undoList_.EndBlock();
        undoList_.AddBreak();
        selectionMode_ = savedMode;
        EndPaintLock();
        return static_cast<int>(all.size());
    }

    int replaced = 0;
    if ((options & ssoReplace) && !readOnly_ && HasSelection() && selectionMode_ == smNormal &&
        SelStartPos().Line == SelEndPos().Line) {
        for (const Match& m : matchesOf(SelStartPos().Line)) {
            if (m.start == SelStartPos() && m.End() == SelEndPos()) {
                replaceAt(m);
                selectionMode_ = savedMode;
                replaced = 1;
                break;
            }
        }
    }
    if (count == 0) return replaced;
    const bool backwards = options & ssoBackwards;
    const TBufferCoord here = HasSelection() ? (backwards ? SelStartPos() : SelEndPos()) : caret_;
    const int startLine = std::clamp(here.Line, 1, count);
    // Round the text once: the lines from here on, then the ones before, then this line's
    // part that was skipped at first.
    for (int step = 0; step <= count; ++step) {
        const int offset = backwards ? -step : step;
        const int line = ((startLine - 1 + offset) % count + count) % count + 1;
        std::vector<Match> found = matchesOf(line);
        if (backwards) std::reverse(found.begin(), found.end());
        for (const Match& m : found) {
            const bool first = step == 0;
            const bool last = step == count;
            if (!backwards && first && m.start < here) continue;
            if (!backwards && last && !(m.start < here)) continue;
            if (backwards && first && !(m.End() < here || m.End() == here)) continue;
            if (backwards && last && (m.End() < here || m.End() == here)) continue;
            searchWrapped_ = backwards ? (line > startLine || (line == startLine && last))
                                       : (line < startLine || (line == startLine && last));
            SetCaretAndSelect(m.End(), m.start, m.End());
            EnsureCaretVisible(false);
            return replaced + 1;
        }
    }
    return replaced;
}

}  // namespace tessel
