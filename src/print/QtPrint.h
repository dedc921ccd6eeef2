#pragma once

// The print job on Qt: a canvas over QPainter, and documents on the default printer or in a
// PDF file laid out like the page the job assumes without a printer (A4, 300 dots per inch).

#include <QPainter>
#include <QPrinter>
#include <memory>
#include <optional>
#include <string>

#include "print/CodeEditPrint.h"
#include "print/PrintCanvas.h"

namespace tessel {

// Whether the system has any printer.
bool HasPrinter();
// The default printer's page, if there is one.
std::optional<TPrinterGeometry> DefaultPrinterGeometry();
// A PDF printer with the page of "no printer": A4 at 300 dpi, the same printable area.
void SetUpPdfPrinter(QPrinter& printer, const std::string& path);

class TQtPrintCanvas : public TPrintCanvas {
public:
    // `device`: what font metrics are measured for (the printer).
    TQtPrintCanvas(QPainter& painter, QPaintDevice* device) : painter_(painter), device_(device) {}
    void SetFont(const TPrintFont& font) override;
    const TPrintFont& Font() const override { return font_; }
    TTextMetrics Metrics() override;
    int TextWidth(std::string_view text) override;
    void TextOut(int x, int y, std::string_view text, int advance, TColor background) override;
    void FillRect(const TPrintRect& rect, TColor color) override;
    void Rectangle(const TPrintRect& rect, TColor pen, TColor brush) override;
    void Line(int x1, int y1, int x2, int y2, TColor color) override;

private:
    QPainter& painter_;
    QPaintDevice* device_;
    TPrintFont font_;
    QFont qfont_;
};

// A document on a QPrinter (a real printer or a PDF file). Failures to start or to write
// raise Exception with the printer's or file's name.
class TQtPrintTarget : public TPrintTarget {
public:
    // `geometry`: the page the job lays out for (none: the page of "no printer").
    TQtPrintTarget(QPrinter& printer, std::optional<TPrinterGeometry> geometry);
    ~TQtPrintTarget() override;
    std::optional<TPrinterGeometry> Geometry() override { return geometry_; }
    void BeginDoc(const std::string& jobName) override;
    TPrintCanvas& Canvas() override { return *canvas_; }
    void NewPage() override;
    void EndDoc() override;
    void Abort() override;
    int Pages() const { return pages_; }

private:
    QPrinter& printer_;
    std::optional<TPrinterGeometry> geometry_;
    QPainter painter_;
    std::unique_ptr<TQtPrintCanvas> canvas_;
    int pages_ = 0;
};

// Prints the job into a PDF file; returns the number of sheets.
int PrintToPdf(TCodeEditPrint& job, const std::string& path);
// Prints the job on the default printer without a dialog.
void PrintOnDefaultPrinter(TCodeEditPrint& job);

}  // namespace tessel
