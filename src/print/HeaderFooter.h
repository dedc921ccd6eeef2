#pragma once

// The page header and footer of a print job: text items on rows, left, centred or right,
// with macros for page number and count, title, date and time, and an optional frame.

#include <memory>
#include <string>
#include <vector>

#include "framework/data/Fields.h"  // TAlignment
#include "highlight/HighlighterTypes.h"
#include "print/PrintCanvas.h"
#include "print/PrintMargins.h"

namespace tessel {

enum class TFrameType { ftLine = 1, ftBox = 2, ftShaded = 4 };
using TFrameTypes = int;  // a set of TFrameType bits

struct THeaderFooterItem {
    std::string Text;
    TPrintFont Font;
    int LineNumber = 1;
    TAlignment Alignment = TAlignment::taLeftJustify;
    int Index = 0;

    // The text with its macros replaced.
    std::string ExpandText(int pageCount, int pageNumber, bool roman, const std::string& title,
                           const std::string& timeText, const std::string& dateText) const;
};

struct TLineInfo {
    int RowHeight = 0;
    int Ascent = 0;
};

class THeaderFooter : public TAssignable {
public:
    enum class Kind { Header, Footer };
    explicit THeaderFooter(Kind kind);
    const char* ClassName() const override { return kind_ == Kind::Header ? "THeader" : "TFooter"; }
    void Assign(const TAssignable& source) override;

    // The item gets the given font, or DefaultFont when none is given; returns its index.
    int AddItem(const std::string& text, const TPrintFont* font, TAlignment alignment, int lineNumber);
    void ClearItems() { items_.clear(); }
    int ItemCount() const { return static_cast<int>(items_.size()); }
    const THeaderFooterItem& Item(int i) const { return *items_.at(static_cast<size_t>(i)); }

    TFrameTypes FrameTypes = static_cast<int>(TFrameType::ftLine);
    TColor ShadedColor = 0xC0C0C0;
    TColor LineColor = clBlack;
    TPrintFont DefaultFont;
    bool RomanNumbers = false;
    bool MirrorPosition = false;

    // Once per job: the date and time texts, the rows and their heights.
    void PrepareJob(TPrintCanvas& canvas, int pageCount, const TCodeEditPrintMargins& margins,
                    const std::string& title);
    void PrintOnPage(TPrintCanvas& canvas, int pageNumber);
    int FrameHeight() const { return frameHeight_; }
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The date and time texts of the job (tests set them to fixed values after PrepareJob).
    std::string DateText, TimeText;

    static std::string RomanNumeral(int n);

private:
    void DrawFrame(TPrintCanvas& canvas);

    Kind kind_;
    std::vector<std::unique_ptr<THeaderFooterItem>> items_;
    std::vector<TLineInfo> rows_;
    int frameHeight_ = -1;
    int pageCount_ = 0;
    std::string title_;
    const TCodeEditPrintMargins* margins_ = nullptr;
};

class THeader : public THeaderFooter {
public:
    THeader() : THeaderFooter(Kind::Header) {}
};

class TFooter : public THeaderFooter {
public:
    TFooter() : THeaderFooter(Kind::Footer) {}
};

}  // namespace tessel
