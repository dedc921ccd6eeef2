#pragma once

// The page margins of a print job in physical units, turned into device pixels for one page,
// and the printer's geometry that this needs.

#include <functional>
#include <optional>

#include "highlight/HighlighterTypes.h"
#include "print/PrintCanvas.h"

namespace tessel {

enum class TUnitSystem { usMM, usCM, usInch, muThousandthsOfInches };

class TCodeEditPrinterInfo {
public:
    // Where the geometry comes from (the job sets its target's); none or an empty answer means
    // no printer: A4 at 300 dots per inch.
    void SetSource(std::function<std::optional<TPrinterGeometry>()> source) {
        source_ = std::move(source);
        updated_ = false;
    }
    void Refresh();
    bool Updated() const { return updated_; }

    int PhysicalWidth() { return Get().physicalWidth; }
    int PhysicalHeight() { return Get().physicalHeight; }
    int PageWidth() { return Get().pageWidth; }
    int PageHeight() { return Get().pageHeight; }
    int OffsetLeft() { return Get().offsetLeft; }
    int OffsetTop() { return Get().offsetTop; }
    int OffsetRight() { return Get().physicalWidth - Get().pageWidth - Get().offsetLeft; }
    int OffsetBottom() { return Get().physicalHeight - Get().pageHeight - Get().offsetTop; }
    int DotsPerInchX() { return Get().dpiX; }
    int DotsPerInchY() { return Get().dpiY; }
    float DotsPerMmX() { return static_cast<float>(Get().dpiX / 25.4); }
    float DotsPerMmY() { return static_cast<float>(Get().dpiY / 25.4); }

    // Distances from a paper edge in millimetres as printable-area pixels.
    int PixelsFromLeft(double mm);
    int PixelsFromRight(double mm);
    int PixelsFromTop(double mm);
    int PixelsFromBottom(double mm);

    static TPrinterGeometry NoPrinter();

private:
    const TPrinterGeometry& Get() {
        if (!updated_) Refresh();
        return geometry_;
    }
    std::function<std::optional<TPrinterGeometry>()> source_;
    TPrinterGeometry geometry_;
    bool updated_ = false;
};

class TCodeEditPrintMargins : public TAssignable {
public:
    const char* ClassName() const override { return "TCodeEditPrintMargins"; }
    void Assign(const TAssignable& source) override;

    TUnitSystem UnitSystem() const { return unit_; }
    void SetUnitSystem(TUnitSystem unit) { unit_ = unit; }
    bool MirrorMargins() const { return mirror_; }
    void SetMirrorMargins(bool value) { mirror_ = value; }

    // Each in UnitSystem.
    double Left() const { return FromMM(left_); }
    void SetLeft(double v) { left_ = ToMM(v); }
    double Right() const { return FromMM(right_); }
    void SetRight(double v) { right_ = ToMM(v); }
    double Top() const { return FromMM(top_); }
    void SetTop(double v) { top_ = ToMM(v); }
    double Bottom() const { return FromMM(bottom_); }
    void SetBottom(double v) { bottom_ = ToMM(v); }
    double Header() const { return FromMM(header_); }
    void SetHeader(double v) { header_ = ToMM(v); }
    double Footer() const { return FromMM(footer_); }
    void SetFooter(double v) { footer_ = ToMM(v); }
    double LeftHFTextIndent() const { return FromMM(leftIndent_); }
    void SetLeftHFTextIndent(double v) { leftIndent_ = ToMM(v); }
    double RightHFTextIndent() const { return FromMM(rightIndent_); }
    void SetRightHFTextIndent(double v) { rightIndent_ = ToMM(v); }
    double HFInternalMargin() const { return FromMM(internal_); }
    void SetHFInternalMargin(double v) { internal_ = ToMM(v); }
    double Gutter() const { return FromMM(gutter_); }
    void SetGutter(double v) { gutter_ = ToMM(v); }

    // The pixel values of page `page` (1-based). `maxLineNumber`: the largest printed line
    // number, whose width followed by ": " moves the text when numbers are on and not in
    // the margin (measured in the canvas's current font).
    void ComputePixels(TPrintCanvas& canvas, int page, TCodeEditPrinterInfo& info, bool lineNumbers,
                       bool lineNumbersInMargin, int maxLineNumber);

    int PixelLeft = 0, PixelRight = 0, PixelTop = 0, PixelBottom = 0, PixelHeader = 0, PixelFooter = 0;
    int PixelLeftHFTextIndent = 0, PixelRightHFTextIndent = 0, PixelHFInternalMargin = 0, PixelGutter = 0;

private:
    double ToMM(double v) const;
    double FromMM(double mm) const;

    TUnitSystem unit_ = TUnitSystem::usMM;
    double left_ = 25, right_ = 15, top_ = 25, bottom_ = 25, header_ = 15, footer_ = 15;
    double leftIndent_ = 2, rightIndent_ = 2, internal_ = 0.5, gutter_ = 0;
    bool mirror_ = false;
};

}  // namespace tessel
