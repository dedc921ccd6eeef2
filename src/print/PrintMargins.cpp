// Margins in millimetres and the printer's page in pixels.

#include "print/PrintMargins.h"

#include <cmath>
#include <string>

namespace tessel {

namespace {

// Halves to even, as the platform's rounding of pixel positions.
int RoundEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

}  // namespace

TPrintFont TPrintFont::FromHeight(std::string name, int height, TColor color) {
    TPrintFont f;
    f.name = std::move(name);
    f.points = std::abs(height) * 72.0 / 96.0;
    f.color = color;
    return f;
}

TPrinterGeometry TCodeEditPrinterInfo::NoPrinter() {
    TPrinterGeometry g;
    g.physicalWidth = 2481;
    g.physicalHeight = 3507;
    g.pageWidth = 2358;
    g.pageHeight = 3407;
    g.offsetLeft = 65;
    g.offsetTop = 50;
    g.dpiX = g.dpiY = 300;
    return g;
}

void TCodeEditPrinterInfo::Refresh() {
    updated_ = true;
    std::optional<TPrinterGeometry> g = source_ ? source_() : std::nullopt;
    geometry_ = g && g->dpiX > 0 && g->dpiY > 0 ? *g : NoPrinter();
}

int TCodeEditPrinterInfo::PixelsFromLeft(double mm) {
    return RoundEven(mm * DotsPerMmX() - OffsetLeft());
}
int TCodeEditPrinterInfo::PixelsFromRight(double mm) {
    return RoundEven(mm * DotsPerMmX() - OffsetRight());
}
int TCodeEditPrinterInfo::PixelsFromTop(double mm) {
    return RoundEven(mm * DotsPerMmY() - OffsetTop());
}
int TCodeEditPrinterInfo::PixelsFromBottom(double mm) {
    return RoundEven(mm * DotsPerMmY() - OffsetBottom());
}

void TCodeEditPrintMargins::Assign(const TAssignable& source) {
    const auto* other = dynamic_cast<const TCodeEditPrintMargins*>(&source);
    if (!other) AssignError(&source);
    left_ = other->left_;
    right_ = other->right_;
    top_ = other->top_;
    bottom_ = other->bottom_;
    header_ = other->header_;
    footer_ = other->footer_;
    leftIndent_ = other->leftIndent_;
    rightIndent_ = other->rightIndent_;
    internal_ = other->internal_;
    gutter_ = other->gutter_;
    mirror_ = other->mirror_;
    unit_ = other->unit_;
}

double TCodeEditPrintMargins::ToMM(double v) const {
    switch (unit_) {
        case TUnitSystem::usCM:
            return v * 10;
        case TUnitSystem::usInch:
            return v * 25.4;
        case TUnitSystem::muThousandthsOfInches:
            return v * 25.4 / 1000;
        default:
            return v;
    }
}

double TCodeEditPrintMargins::FromMM(double mm) const {
    switch (unit_) {
        case TUnitSystem::usCM:
            return mm / 10;
        case TUnitSystem::usInch:
            return mm / 25.4;
        case TUnitSystem::muThousandthsOfInches:
            return mm * 1000 / 25.4;
        default:
            return mm;
    }
}

void TCodeEditPrintMargins::ComputePixels(TPrintCanvas& canvas, int page, TCodeEditPrinterInfo& info, bool lineNumbers,
                                          bool lineNumbersInMargin, int maxLineNumber) {
    if (!mirror_ || page % 2 == 1) {
        PixelLeft = info.PixelsFromLeft(left_ + gutter_);
        PixelRight = info.PageWidth() - info.PixelsFromRight(right_);
    } else {
        PixelLeft = info.PixelsFromLeft(right_);
        PixelRight = info.PageWidth() - info.PixelsFromRight(left_ + gutter_);
    }
    if (lineNumbers && !lineNumbersInMargin) PixelLeft += canvas.TextWidth(std::to_string(maxLineNumber) + ": ");
    PixelTop = info.PixelsFromTop(top_);
    PixelBottom = info.PageHeight() - info.PixelsFromBottom(bottom_);
    PixelHeader = info.PixelsFromTop(header_);
    PixelFooter = info.PageHeight() - info.PixelsFromBottom(footer_);
    PixelHFInternalMargin = RoundEven(info.DotsPerMmY() * internal_);
    PixelGutter = RoundEven(info.DotsPerMmX() * gutter_);
    PixelRightHFTextIndent = PixelRight - RoundEven(info.DotsPerMmX() * rightIndent_);
    PixelLeftHFTextIndent = PixelLeft + RoundEven(info.DotsPerMmX() * leftIndent_);
}

}  // namespace tessel
