#pragma once

// The print job: lines of text laid out in pages between the margins, wrapped, drawn token by
// token in a highlighter's styles, optionally numbered, with a header and footer on every page.

#include <functional>
#include <string>
#include <vector>

#include "highlight/Highlighter.h"
#include "print/HeaderFooter.h"
#include "print/PrintCanvas.h"
#include "print/PrintMargins.h"

namespace tessel {

enum class TPrintStatus { spsBegin, spsNewPage, spsEnd };

class TCodeEditPrint {
public:
    TCodeEditPrint();

    int Copies = 1;
    THeader Header;
    TFooter Footer;
    TCodeEditPrintMargins Margins;
    TPrintFont Font = TPrintFont::FromHeight("Courier New", -13);
    std::string Title;
    std::string DocTitle;
    bool Wrap = true;
    bool Highlight = true;
    bool SelectedOnly = false;
    bool Colors = false;
    bool LineNumbers = false;
    int LineOffset = 0;
    int PageOffset = 0;
    bool LineNumbersInMargin = false;
    TColor Color = clWhite;

    std::function<void(TCodeEditPrint& sender, int lineNumber, int pageNumber)> OnPrintLine;
    std::function<void(TCodeEditPrint& sender, TPrintStatus status, int pageNumber, bool& abort)> OnPrintStatus;

    // The lines, tabs expanded to the next multiple of TabWidth.
    void SetLines(const std::vector<std::string>& lines);
    const std::vector<std::string>& Lines() const { return lines_; }
    int TabWidth() const { return tabWidth_; }
    void SetTabWidth(int width) { tabWidth_ = width; }
    TCustomHighlighter* Highlighter() const { return highlighter_; }
    void SetHighlighter(TCustomHighlighter* highlighter);

    // Prints every page, Copies times, on `target`; pages first..last (last < 0: the last).
    void Print(TPrintTarget& target) { PrintRange(target, 1, -1); }
    void PrintRange(TPrintTarget& target, int firstPage, int lastPage);
    // Lays the job out for `canvas` with `info`'s printer; PageCount is known afterwards.
    void UpdatePages(TPrintCanvas& canvas);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    TCodeEditPrinterInfo& PrinterInfo() { return info_; }
    // Draws page `page` (1-based) on `canvas` after UpdatePages (the preview draws so).
    void PrintPage(TPrintCanvas& canvas, int page);
    // The wrap positions of a line (1-based ends of its rows but the last) for `columns`.
    static std::vector<int> WrapPositions(const std::u32string& line, int columns);
    int Columns() const { return columns_; }

private:
    void Status(TPrintStatus status, int page);
    void ComputeLineStates();
    void WriteLine(TPrintCanvas& canvas, int index);
    void DrawHighlighted(TPrintCanvas& canvas, int index, const std::vector<int>& wraps);
    void DrawPlain(TPrintCanvas& canvas, int index);
    int Rows(int index) const;

    std::vector<std::string> lines_;
    std::vector<TCustomHighlighter::TLineState> states_;
    bool statesValid_ = false;
    int tabWidth_ = 8;
    TCustomHighlighter* highlighter_ = nullptr;
    TCodeEditPrinterInfo info_;
    std::vector<int> pages_;  // first line of each page
    int charWidth_ = 0, lineHeight_ = 0, textWidth_ = 0, columns_ = 1;
    int y_ = 0;
    bool canHighlight_ = false;
    bool abort_ = false;
    bool printing_ = false;
    TPrintTarget* target_ = nullptr;
};

}  // namespace tessel
