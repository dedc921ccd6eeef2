// The print job: pages, wrapping, highlighted drawing.

#include "print/CodeEditPrint.h"

#include <algorithm>

#include "base/TextEncoding.h"

namespace tessel {

namespace {

std::u32string Chars(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) out.push_back(NextCodePoint(utf8, i));
    return out;
}

std::string Utf8(std::u32string_view chars) {
    std::string out;
    for (char32_t c : chars) AppendUtf8(out, c);
    return out;
}

bool IsBreak(char32_t c, int set) {
    if (set == 0) return c == U'\t' || c == U' ' || c == U',' || c == U'-';
    return c == U')' || c == U'.' || c == U';';
}

}  // namespace

TCodeEditPrint::TCodeEditPrint() {
    Header.DefaultFont = TPrintFont::FromHeight("Arial", -13);
    Footer.DefaultFont = TPrintFont::FromHeight("Arial", -11);
}

void TCodeEditPrint::SetLines(const std::vector<std::string>& lines) {
    lines_.clear();
    lines_.reserve(lines.size());
    for (const std::string& line : lines) {
        if (line.find('\t') == std::string::npos) {
            lines_.push_back(line);
            continue;
        }
        std::u32string out;
        for (char32_t c : Chars(line)) {
            if (c != U'\t') {
                out.push_back(c);
                continue;
            }
            if (tabWidth_ <= 1) {
                out.push_back(U' ');
                continue;
            }
            do out.push_back(U' ');
            while (out.size() % static_cast<size_t>(tabWidth_) != 0);
        }
        lines_.push_back(Utf8(out));
    }
    statesValid_ = false;
    pages_.clear();
}

void TCodeEditPrint::SetHighlighter(TCustomHighlighter* highlighter) {
    highlighter_ = highlighter;
    statesValid_ = false;
}

void TCodeEditPrint::ComputeLineStates() {
    if (statesValid_ || !highlighter_ || lines_.empty()) return;
    states_.assign(lines_.size(), 0);
    highlighter_->ResetLineState();
    states_[0] = highlighter_->LineState();
    for (size_t i = 1; i < lines_.size(); ++i) {
        highlighter_->StartLine(lines_[i - 1], static_cast<int>(i - 1));
        highlighter_->SkipToLineEnd();
        states_[i] = highlighter_->LineState();
    }
    statesValid_ = true;
}

std::vector<int> TCodeEditPrint::WrapPositions(const std::u32string& line, int columns) {
    const int n = std::max(1, columns);
    const int length = static_cast<int>(line.size());
    std::vector<int> positions;
    if (length <= n) return positions;
    for (int set = 0; set < 2; ++set) {
        positions.clear();
        int previous = 0;
        bool failed = false;
        while (length - previous > n) {
            // The last break character of the next n, the row ending after it.
            int found = 0;
            for (int i = previous + 1; i <= previous + n; ++i)
                if (IsBreak(line[static_cast<size_t>(i - 1)], set)) found = i;
            if (!found) {
                failed = true;
                break;
            }
            positions.push_back(found);
            previous = found;
        }
        if (!failed) return positions;
    }
    positions.clear();
    for (int p = n; length - (p - n) > n; p += n) positions.push_back(p);
    return positions;
}

int TCodeEditPrint::Rows(int index) const {
    const std::u32string line = Chars(lines_[static_cast<size_t>(index)]);
    if (!Wrap || static_cast<int>(line.size()) * charWidth_ <= textWidth_) return 1;
    return 1 + static_cast<int>(WrapPositions(line, columns_).size());
}

void TCodeEditPrint::UpdatePages(TPrintCanvas& canvas) {
    info_.Refresh();
    canvas.SetFont(Font);
    const TTextMetrics m = canvas.Metrics();
    charWidth_ = std::max(1, m.aveCharWidth);
    Margins.ComputePixels(canvas, 1, info_, LineNumbers, LineNumbersInMargin,
                          static_cast<int>(lines_.size()) + LineOffset);
    ComputeLineStates();
    // The column count: the most 'W's narrower than the text area.
    const int area = Margins.PixelRight - Margins.PixelLeft;
    const int w = std::max(1, canvas.TextWidth("W"));
    int n = std::max(1, area / w);
    while (n > 1 && canvas.TextWidth(std::string(static_cast<size_t>(n), 'W')) >= area) --n;
    while (canvas.TextWidth(std::string(static_cast<size_t>(n + 1), 'W')) < area) ++n;
    columns_ = n;
    textWidth_ = canvas.TextWidth(std::string(static_cast<size_t>(n), 'W'));
    lineHeight_ = m.height + m.externalLeading;

    pages_.assign(1, 0);
    int y = Margins.PixelTop;
    for (int i = 0; i < static_cast<int>(lines_.size()); ++i) {
        if (Margins.PixelBottom < y + lineHeight_) {
            pages_.push_back(i);
            y = Margins.PixelTop;
        }
        y += lineHeight_ * Rows(i);
    }
    Header.PrepareJob(canvas, PageCount(), Margins, Title);
    Footer.PrepareJob(canvas, PageCount(), Margins, Title);
    canHighlight_ = Highlight && highlighter_ && !lines_.empty();
}

void TCodeEditPrint::Status(TPrintStatus status, int page) {
    if (OnPrintStatus) OnPrintStatus(*this, status, page, abort_);
    if (abort_ && printing_ && target_) target_->Abort();
}

void TCodeEditPrint::PrintRange(TPrintTarget& target, int firstPage, int lastPage) {
    if (SelectedOnly) return;  // no selection is ever handed to the job
    printing_ = true;
    abort_ = false;
    target_ = &target;
    info_.SetSource([&target] { return target.Geometry(); });
    try {
        target.BeginDoc(DocTitle.empty() ? Title : DocTitle);
        Status(TPrintStatus::spsBegin, firstPage);
        UpdatePages(target.Canvas());
        const int last = lastPage < 0 || lastPage > PageCount() ? PageCount() : lastPage;
        bool sheet = false;
        for (int copy = 0; copy < Copies && !abort_; ++copy) {
            for (int page = std::max(1, firstPage); page <= last && !abort_; ++page) {
                Status(TPrintStatus::spsNewPage, page);
                if (abort_) break;
                // A new sheet only for a page that is printed.
                if (sheet) target.NewPage();
                PrintPage(target.Canvas(), page);
                sheet = true;
            }
        }
        if (!abort_) {
            Status(TPrintStatus::spsEnd, last);
            if (!abort_) target.EndDoc();
        }
    } catch (...) {
        printing_ = false;
        target_ = nullptr;
        try {
            target.Abort();
        } catch (...) {
        }
        throw;
    }
    printing_ = false;
    target_ = nullptr;
}

void TCodeEditPrint::PrintPage(TPrintCanvas& canvas, int page) {
    canvas.SetFont(Font);
    Margins.ComputePixels(canvas, page, info_, LineNumbers, LineNumbersInMargin,
                          static_cast<int>(lines_.size()) + LineOffset);
    canvas.FillRect({Margins.PixelLeft, Margins.PixelTop, Margins.PixelRight, Margins.PixelBottom}, Color);
    Header.PrintOnPage(canvas, page + PageOffset);
    canvas.SetFont(Font);
    y_ = Margins.PixelTop;
    const int first = pages_.at(static_cast<size_t>(page - 1));
    const int end = page < PageCount() ? pages_[static_cast<size_t>(page)] : static_cast<int>(lines_.size());
    for (int i = first; i < end; ++i) {
        WriteLine(canvas, i);
        if (OnPrintLine) OnPrintLine(*this, i + 1, page);
    }
    Footer.PrintOnPage(canvas, page + PageOffset);
}

void TCodeEditPrint::WriteLine(TPrintCanvas& canvas, int index) {
    if (LineNumbers) {
        TPrintFont plain = Font;
        plain.style = {};
        plain.color = clBlack;
        canvas.SetFont(plain);
        const std::string number = std::to_string(index + 1 + LineOffset) + ": ";
        canvas.TextOut(Margins.PixelLeft - canvas.TextWidth(number), y_, number);
        canvas.SetFont(Font);
    }
    const std::u32string line = Chars(lines_[static_cast<size_t>(index)]);
    std::vector<int> wraps;
    if (Wrap && static_cast<int>(line.size()) * charWidth_ > textWidth_) wraps = WrapPositions(line, columns_);
    if (canHighlight_) {
        DrawHighlighted(canvas, index, wraps);
    } else {
        // Rows between the wrap positions; without Wrap only what fits the first row.
        const int length = static_cast<int>(line.size());
        int start = 0;
        for (size_t k = 0; k <= wraps.size(); ++k) {
            const int end = k < wraps.size() ? wraps[k] : Wrap ? length : std::min(length, columns_);
            if (k) y_ += lineHeight_;
            canvas.TextOut(Margins.PixelLeft, y_, Utf8(std::u32string_view(line).substr(start, end - start)),
                           charWidth_);
            start = end;
        }
    }
    y_ += lineHeight_;
}

void TCodeEditPrint::DrawHighlighted(TPrintCanvas& canvas, int index, const std::vector<int>& wraps) {
    TCustomHighlighter& h = *highlighter_;
    const std::string& text = lines_[static_cast<size_t>(index)];
    h.SetLineState(states_[static_cast<size_t>(index)]);
    h.StartLine(text, index);
    int rowStart = 0;
    size_t next = 0;
    for (; !h.AtLineEnd(); h.Advance()) {
        const THighlighterAttributes* attr = h.TokenStyle();
        TPrintFont font = Font;
        TColor background = clNone;
        if (attr) {
            font.style = attr->Style();
            if (Colors) {
                font.color = attr->Foreground() == clNone ? Font.color : attr->Foreground();
                if (attr->Background() != clNone && attr->Background() != Color) background = attr->Background();
            }
        }
        canvas.SetFont(font);
        std::u32string piece = Chars(h.TokenText());
        int start = h.TokenStart();
        while (next < wraps.size()) {
            const int wrap = wraps[next];
            if (start >= wrap) {
                y_ += lineHeight_;
                rowStart = start;
                ++next;
            } else if (start + static_cast<int>(piece.size()) > wrap) {
                const size_t head = static_cast<size_t>(wrap - start);
                canvas.TextOut(Margins.PixelLeft + (start - rowStart) * charWidth_, y_, Utf8(piece.substr(0, head)),
                               charWidth_, background);
                y_ += lineHeight_;
                rowStart = wrap;
                ++next;
                piece.erase(0, head);
                start = wrap;
            } else {
                break;
            }
        }
        if (!piece.empty())
            canvas.TextOut(Margins.PixelLeft + (start - rowStart) * charWidth_, y_, Utf8(piece), charWidth_,
                           background);
    }
    canvas.SetFont(Font);
}

}  // namespace tessel
