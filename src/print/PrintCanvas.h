#pragma once

// What the print job draws on: a page's canvas in device pixels (text with its metrics, text
// with a fixed advance per character, rectangles, lines), and the document it belongs to. The
// Qt printer stands behind them in the program (QtPrint.h); tests record the calls.

#include <optional>
#include <string>
#include <string_view>

#include "highlight/HighlighterTypes.h"

namespace tessel {

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

// A font by family, size in points (kept at any resolution), styles and colour.
struct TPrintFont {
    std::string name = "Arial";
    double points = 10;
    TFontStyles style;
    TColor color = clBlack;
    bool operator==(const TPrintFont&) const = default;
    // A font given as a screen height: -13 is a character height of 13 pixels at 96 dots per
    // inch (9.75 points); a positive height counts the internal leading too (taken as points
    // of the same size here).
    static TPrintFont FromHeight(std::string name, int height, TColor color = clBlack);
};

// The metrics of the canvas's font, in device pixels.
struct TTextMetrics {
    int height = 0;  // ascent + descent
    int ascent = 0;
    int descent = 0;
    int externalLeading = 0;
    int aveCharWidth = 0;
};

struct TPrintRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const TPrintRect&) const = default;
};

class TPrintCanvas {
public:
    virtual ~TPrintCanvas() = default;
    virtual void SetFont(const TPrintFont& font) = 0;
    virtual const TPrintFont& Font() const = 0;
    virtual TTextMetrics Metrics() = 0;
    // Width of UTF-8 text in the canvas's font.
    virtual int TextWidth(std::string_view text) = 0;
    // Text whose cell top is at y (the baseline lies the font's ascent lower). With
    // `advance` > 0 each character stands that far right of the one before. A background of
    // clNone leaves the paper as it is.
    virtual void TextOut(int x, int y, std::string_view text, int advance = 0, TColor background = clNone) = 0;
    virtual void FillRect(const TPrintRect& rect, TColor color) = 0;
    // A rectangle outlined in `pen` and filled with `brush` (clNone: no outline / no fill).
    virtual void Rectangle(const TPrintRect& rect, TColor pen, TColor brush) = 0;
    virtual void Line(int x1, int y1, int x2, int y2, TColor color) = 0;
};

// A printer's page in device pixels (Part of the printer information).
struct TPrinterGeometry {
    int physicalWidth = 0, physicalHeight = 0;
    int pageWidth = 0, pageHeight = 0;
    int offsetLeft = 0, offsetTop = 0;
    int dpiX = 0, dpiY = 0;
};

// One print document: pages are started and ended by the job, drawn through Canvas().
class TPrintTarget {
public:
    virtual ~TPrintTarget() = default;
    // The printer's page; none when there is no printer (the job then assumes A4 at 300 dpi).
    virtual std::optional<TPrinterGeometry> Geometry() = 0;
    virtual void BeginDoc(const std::string& jobName) = 0;
    virtual TPrintCanvas& Canvas() = 0;
    virtual void NewPage() = 0;
    virtual void EndDoc() = 0;
    // Cancels the document: nothing more is printed.
    virtual void Abort() = 0;
};

}  // namespace tessel
