// Header and footer rows, their macros and frames.

#include "print/HeaderFooter.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace tessel {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Now(const char* format) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[64];
    return std::strftime(buf, sizeof buf, format, &local) ? buf : "";
}

}  // namespace

std::string THeaderFooter::RomanNumeral(int n) {
    static const std::pair<int, const char*> kSteps[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"},
                                                         {90, "XC"},  {50, "L"},   {40, "XL"}, {10, "X"},   {9, "IX"},
                                                         {5, "V"},    {4, "IV"},   {1, "I"}};
    std::string out;
    for (const auto& [value, letters] : kSteps) {
        // The subtractive pairs come at most once; the single letters as often as they fit.
        const bool once = std::string_view(letters).size() == 2;
        while (n >= value) {
            out += letters;
            n -= value;
            if (once) break;
        }
    }
    return out;
}

std::string THeaderFooterItem::ExpandText(int pageCount, int pageNumber, bool roman, const std::string& title,
                                          const std::string& timeText, const std::string& dateText) const {
    if (Text.find_first_not_of(' ') == std::string::npos) return std::string();
    std::string out;
    size_t i = 0;
    while (i < Text.size()) {
        if (Text[i] != '$') {
            out += Text[i++];
            continue;
        }
        const size_t close = Text.find('$', i + 1);
        if (close == std::string::npos) {
            out.append(Text, i, std::string::npos);
            break;
        }
        const std::string macro = Upper(Text.substr(i, close - i + 1));
        std::string value;
        bool known = true;
        if (macro == "$PAGENUM$")
            value = roman ? THeaderFooter::RomanNumeral(pageNumber) : std::to_string(pageNumber);
        else if (macro == "$PAGECOUNT$")
            value = std::to_string(pageCount);
        else if (macro == "$TITLE$")
            value = title;
        else if (macro == "$DATE$")
            value = dateText;
        else if (macro == "$TIME$")
            value = timeText;
        else if (macro == "$DATETIME$")
            value = dateText + " " + timeText;
        else if (macro == "$TIMEDATE$")
            value = timeText + " " + dateText;
        else
            known = false;
        if (known) {
            out += value;
            i = close + 1;
        } else {
            // Not a macro: the text up to the second '$', which may start the next one.
            out.append(Text, i, close - i);
            i = close;
        }
    }
    return out;
}

THeaderFooter::THeaderFooter(Kind kind) : kind_(kind) {
    DefaultFont.name = "Arial";
    DefaultFont.points = 10;
    DefaultFont.color = clBlack;
}

void THeaderFooter::Assign(const TAssignable& source) {
    const auto* other = dynamic_cast<const THeaderFooter*>(&source);
    if (!other) AssignError(&source);
    ClearItems();
    kind_ = other->kind_;
    FrameTypes = other->FrameTypes;
    ShadedColor = other->ShadedColor;
    LineColor = other->LineColor;
    for (const auto& item : other->items_) AddItem(item->Text, &item->Font, item->Alignment, item->LineNumber);
    DefaultFont = other->DefaultFont;
    RomanNumbers = other->RomanNumbers;
    MirrorPosition = other->MirrorPosition;
}

int THeaderFooter::AddItem(const std::string& text, const TPrintFont* font, TAlignment alignment, int lineNumber) {
    auto item = std::make_unique<THeaderFooterItem>();
    item->Text = text;
    item->Font = font ? *font : DefaultFont;
    item->Alignment = alignment;
    item->LineNumber = std::max(1, lineNumber);
    item->Index = static_cast<int>(items_.size());
    items_.push_back(std::move(item));
    return items_.back()->Index;
}

void THeaderFooter::PrepareJob(TPrintCanvas& canvas, int pageCount, const TCodeEditPrintMargins& margins,
                               const std::string& title) {
    const TPrintFont saved = canvas.Font();
    DateText = Now("%x");
    TimeText = Now("%X");
    pageCount_ = pageCount;
    margins_ = &margins;
    title_ = title;
    std::stable_sort(items_.begin(), items_.end(),
                     [](const auto& a, const auto& b) { return a->LineNumber < b->LineNumber; });
    // Rows numbered 1, 2, 3 ... whatever gaps the items' numbers had.
    rows_.clear();
    int previous = 0;
    for (auto& item : items_) {
        if (rows_.empty() || item->LineNumber != previous) rows_.emplace_back();
        previous = item->LineNumber;
        item->LineNumber = static_cast<int>(rows_.size());
    }
    if (items_.empty()) {
        frameHeight_ = -1;
    } else {
        for (const auto& item : items_) {
            canvas.SetFont(item->Font);
            const TTextMetrics m = canvas.Metrics();
            TLineInfo& row = rows_[static_cast<size_t>(item->LineNumber - 1)];
            row.RowHeight = std::max(row.RowHeight, m.height);  // the height of "W"
            row.Ascent = std::max(row.Ascent, m.ascent);
        }
        frameHeight_ = 2 * margins.PixelHFInternalMargin;
        for (const TLineInfo& row : rows_) frameHeight_ += row.RowHeight;
    }
    canvas.SetFont(saved);
}

void THeaderFooter::DrawFrame(TPrintCanvas& canvas) {
    if (FrameTypes == 0) return;
    const TCodeEditPrintMargins& m = *margins_;
    const bool header = kind_ == Kind::Header;
    const TPrintRect area = header ? TPrintRect{m.PixelLeft, m.PixelHeader - frameHeight_, m.PixelRight, m.PixelHeader}
                                   : TPrintRect{m.PixelLeft, m.PixelFooter, m.PixelRight, m.PixelFooter + frameHeight_};
    const bool box = FrameTypes & static_cast<int>(TFrameType::ftBox);
    const bool shaded = FrameTypes & static_cast<int>(TFrameType::ftShaded);
    if (box || shaded) canvas.Rectangle(area, box ? LineColor : clNone, shaded ? ShadedColor : clNone);
    if (FrameTypes & static_cast<int>(TFrameType::ftLine)) {
        const int y = header ? m.PixelHeader : m.PixelFooter;
        canvas.Line(m.PixelLeft, y, m.PixelRight, y, LineColor);
    }
}

void THeaderFooter::PrintOnPage(TPrintCanvas& canvas, int pageNumber) {
    if (frameHeight_ <= 0 || !margins_) return;
    const TPrintFont saved = canvas.Font();
    DrawFrame(canvas);
    const TCodeEditPrintMargins& m = *margins_;
    int y = (kind_ == Kind::Footer ? m.PixelFooter : m.PixelHeader - frameHeight_) + m.PixelHFInternalMargin;
    int current = 1;
    for (const auto& item : items_) {
        canvas.SetFont(item->Font);
        if (item->LineNumber != current) {
            y += rows_[static_cast<size_t>(current - 1)].RowHeight;
            current = item->LineNumber;
        }
        const std::string text = item->ExpandText(pageCount_, pageNumber, RomanNumbers, title_, TimeText, DateText);
        TAlignment align = item->Alignment;
        if (MirrorPosition && pageNumber % 2 == 0) {
            if (align == TAlignment::taLeftJustify)
                align = TAlignment::taRightJustify;
            else if (align == TAlignment::taRightJustify)
                align = TAlignment::taLeftJustify;
        }
        const int width = canvas.TextWidth(text);
        int x = m.PixelLeftHFTextIndent;
        if (align == TAlignment::taRightJustify) x = m.PixelRightHFTextIndent - width;
        if (align == TAlignment::taCenter) x = (m.PixelLeftHFTextIndent + m.PixelRightHFTextIndent - width) / 2;
        // The baseline at y + the row's ascent.
        const int baseline = y + rows_[static_cast<size_t>(current - 1)].Ascent;
        canvas.TextOut(x, baseline - canvas.Metrics().ascent, text);
    }
    canvas.SetFont(saved);
}

}  // namespace tessel
