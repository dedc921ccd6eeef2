// Rich text printing with header and footer bands.

#include "richedit/RichPrint.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <cmath>
#include <memory>

#include "base/Exceptions.h"
#include "richedit/DbRichEdit.h"
#include "richedit/RichTextQt.h"

namespace tessel {

int TwipsToPrinterPixels(int twips, int dpi) {
    return static_cast<int>(static_cast<long long>(twips) * dpi / 1440);
}

int MarginToPrinterPixels(double margin, TDbMeasurementUnits units, int dpi) {
    const double inches = units == TDbMeasurementUnits::muInches ? margin : margin / 2.54;
    return static_cast<int>(std::trunc(inches * dpi));
}

int PageSetupValue(double margin) {
    return static_cast<int>(std::trunc(margin * 1000 + 1e-9));
}

double FromPageSetupValue(int value) {
    return value / 1000.0;
}

namespace {

void DrawBand(QPainter& painter, const TDbRTFHeaderFooter& band, const TPrintBandEvent& event, QRect rect, int page,
              int top, int dpi) {
    std::string left = band.LeftText, center = band.CenterText, right = band.RightText;
    bool draw = true;
    if (event) event(rect, page, draw, left, center, right);
    if (!draw) return;
    painter.save();
    painter.setFont(band.Font);
    const QFontMetrics fm(band.Font, painter.device());
    auto text = [&](const std::string& s, int x) {
        if (!s.empty()) painter.drawText(QPoint(x, top + fm.ascent()), QString::fromStdString(s));
    };
    const auto width = [&](const std::string& s) { return fm.horizontalAdvance(QString::fromStdString(s)); };
    text(left, rect.left());
    text(right, rect.right() - width(right));
    text(center, rect.left() + (rect.width() - width(center)) / 2);
    if (band.LineSeparator) {
        const bool header = top == rect.top();
        const int gap = fm.height() + TwipsToPrinterPixels(28, dpi);
        const int y = header ? rect.top() + gap : rect.bottom() - gap;
        painter.drawLine(rect.left(), y, rect.right(), y);
    }
    painter.restore();
}

}  // namespace

int PrintRichDocument(const QTextDocument& source, TDbCustomRichEdit& holder, QPrinter& printer) {
    // Paper coordinates: the margins count from the paper's edges.
    printer.setFullPage(true);
    printer.setDocName(
        QString::fromStdString(holder.PrintJobName.empty() ? holder.EditorCaption : holder.PrintJobName));
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString where = printer.outputFormat() == QPrinter::PdfFormat ? "the file " + printer.outputFileName()
                                                                            : "the printer " + printer.printerName();
        throw Exception("Cannot print to " + where.toStdString());
    }
    const int dpiX = printer.resolution(), dpiY = printer.resolution();
    const QRect paper = printer.paperRect(QPrinter::DevicePixel).toRect();
    const TDbMeasurementUnits units = holder.MeasurementUnits;
    const TDbPrintMargins& m = holder.PrintMargins;
    QRect area(QPoint(MarginToPrinterPixels(m.Left, units, dpiX), MarginToPrinterPixels(m.Top, units, dpiY)),
               QPoint(paper.width() - MarginToPrinterPixels(m.Right, units, dpiX) - 1,
                      paper.height() - MarginToPrinterPixels(m.Bottom, units, dpiY) - 1));
    area = area.intersected(QRect(QPoint(0, 0), paper.size()));

    std::unique_ptr<QTextDocument> doc(source.clone());
    // Fonts follow the printer's resolution by themselves; indents and tab stops are device
    // pixels and are scaled from the screen's units.
    doc->documentLayout()->setPaintDevice(&printer);
    ScaleParagraphGeometry(*doc, dpiX / kLayoutUnitsPerInch);
    doc->setDocumentMargin(0);  // the text starts at the print margins
    doc->setPageSize(QSizeF(area.width(), area.height()));
    const int pages = std::max(1, doc->pageCount());
    const int headerTop = MarginToPrinterPixels(holder.PrintHeader.VertMargin, units, dpiY);
    const int footerBottom = paper.height() - MarginToPrinterPixels(holder.PrintFooter.VertMargin, units, dpiY);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1 && !printer.newPage()) throw Exception("The printer refused a new page");
        const QRect header(QPoint(area.left(), headerTop),
                           QPoint(area.right(), headerTop + QFontMetrics(holder.PrintHeader.Font, &printer).height()));
        DrawBand(painter, holder.PrintHeader, holder.OnPrintHeader, header, page, headerTop, dpiY);
        const int footerTop = footerBottom - QFontMetrics(holder.PrintFooter.Font, &printer).height();
        const QRect footer(QPoint(area.left(), footerTop), QPoint(area.right(), footerBottom));
        DrawBand(painter, holder.PrintFooter, holder.OnPrintFooter, footer, page, footerTop, dpiY);
        painter.save();
        painter.translate(area.left(), area.top() - (page - 1) * area.height());
        doc->drawContents(&painter, QRectF(0, (page - 1) * area.height(), area.width(), area.height()));
        painter.restore();
    }
    if (!painter.end()) throw Exception("The printer did not finish the document");
    return pages;
}

}  // namespace tessel
