// The print job's canvas and documents on Qt's printing.

#include "print/QtPrint.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinterInfo>

#include "base/Exceptions.h"

namespace tessel {

namespace {

QColor ToQColor(TColor c) {
    if (c & 0x80000000U) {
        // System colours on paper: text black, window white, button faces silver.
        switch (c & 0xFF) {
            case 5:
                return Qt::white;
            case 15:
                return QColor(0xC0, 0xC0, 0xC0);
            default:
                return Qt::black;
        }
    }
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

bool HasPrinter() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

std::optional<TPrinterGeometry> DefaultPrinterGeometry() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return std::nullopt;
    QPrinter printer(info, QPrinter::HighResolution);
    const QRect paper = printer.paperRect(QPrinter::DevicePixel).toRect();
    const QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
    TPrinterGeometry g;
    g.physicalWidth = paper.width();
    g.physicalHeight = paper.height();
    g.pageWidth = page.width();
    g.pageHeight = page.height();
    g.offsetLeft = page.left() - paper.left();
    g.offsetTop = page.top() - paper.top();
    g.dpiX = printer.logicalDpiX();
    g.dpiY = printer.logicalDpiY();
    return g;
}

void SetUpPdfPrinter(QPrinter& printer, const std::string& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    printer.setResolution(300);
    const TPrinterGeometry g = TCodeEditPrinterInfo::NoPrinter();
    const double mm = 25.4 / 300;
    const QMarginsF margins(g.offsetLeft * mm, g.offsetTop * mm, (g.physicalWidth - g.pageWidth - g.offsetLeft) * mm,
                            (g.physicalHeight - g.pageHeight - g.offsetTop) * mm);
    printer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter));
}

void TQtPrintCanvas::SetFont(const TPrintFont& font) {
    font_ = font;
    qfont_ = QFont(Q(font.name));
    qfont_.setPointSizeF(font.points);
    qfont_.setBold(font.style.Contains(TFontStyle::fsBold));
    qfont_.setItalic(font.style.Contains(TFontStyle::fsItalic));
    qfont_.setUnderline(font.style.Contains(TFontStyle::fsUnderline));
    qfont_.setStrikeOut(font.style.Contains(TFontStyle::fsStrikeOut));
    // The metric-compatible stand-ins keep the layout of the named fonts.
    qfont_.setStyleHint(font.name == "Courier New" ? QFont::TypeWriter : QFont::SansSerif);
    painter_.setFont(qfont_);
}

TTextMetrics TQtPrintCanvas::Metrics() {
    const QFontMetrics fm(qfont_, device_);
    TTextMetrics m;
    m.ascent = fm.ascent();
    m.descent = fm.descent();
    m.height = fm.height();
    m.externalLeading = std::max(0, fm.leading());
    m.aveCharWidth = fm.averageCharWidth();
    return m;
}

int TQtPrintCanvas::TextWidth(std::string_view text) {
    return QFontMetrics(qfont_, device_).horizontalAdvance(Q(text));
}

void TQtPrintCanvas::TextOut(int x, int y, std::string_view text, int advance, TColor background) {
    const QFontMetrics fm(qfont_, device_);
    const QString s = Q(text);
    if (background != clNone) {
        const int width = advance > 0 ? static_cast<int>(s.size()) * advance : fm.horizontalAdvance(s);
        painter_.fillRect(QRect(x, y, width, fm.height()), ToQColor(background));
    }
    painter_.setPen(ToQColor(font_.color));
    const int baseline = y + fm.ascent();
    if (advance <= 0) {
        painter_.drawText(QPoint(x, baseline), s);
        return;
    }
    // Every character at its own place: the layout counts columns, not glyph widths.
    int i = 0;
    for (const QChar c : s) {
        if (c.isLowSurrogate()) continue;
        painter_.drawText(QPoint(x + i * advance, baseline), QString(c));
        ++i;
    }
}

void TQtPrintCanvas::FillRect(const TPrintRect& r, TColor color) {
    painter_.fillRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)), ToQColor(color));
}

void TQtPrintCanvas::Rectangle(const TPrintRect& r, TColor pen, TColor brush) {
    painter_.save();
    painter_.setPen(pen == clNone ? QPen(Qt::NoPen) : QPen(ToQColor(pen)));
    painter_.setBrush(brush == clNone ? QBrush(Qt::NoBrush) : QBrush(ToQColor(brush)));
    painter_.drawRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)));
    painter_.restore();
}

void TQtPrintCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
    painter_.save();
    painter_.setPen(QPen(ToQColor(color)));
    painter_.drawLine(x1, y1, x2, y2);
    painter_.restore();
}

TQtPrintTarget::TQtPrintTarget(QPrinter& printer, std::optional<TPrinterGeometry> geometry)
    : printer_(printer), geometry_(geometry) {}

TQtPrintTarget::~TQtPrintTarget() {
    if (painter_.isActive()) painter_.end();
}

void TQtPrintTarget::BeginDoc(const std::string& jobName) {
    printer_.setDocName(QString::fromStdString(jobName));
    if (!painter_.begin(&printer_)) {
        const QString where = printer_.outputFormat() == QPrinter::PdfFormat ? "the file " + printer_.outputFileName()
                                                                             : "the printer " + printer_.printerName();
        throw Exception("Cannot print to " + where.toStdString());
    }
    canvas_ = std::make_unique<TQtPrintCanvas>(painter_, &printer_);
    pages_ = 1;
}

void TQtPrintTarget::NewPage() {
    if (!printer_.newPage()) throw Exception("The printer refused a new page");
    ++pages_;
}

void TQtPrintTarget::EndDoc() {
    if (!painter_.end()) throw Exception("The printer did not finish the document");
    // A PDF file must be there; the preview keeps its pages in memory.
    if (printer_.outputFormat() == QPrinter::PdfFormat && !printer_.outputFileName().isEmpty()) {
        const QFileInfo file(printer_.outputFileName());
        if (!file.exists() || file.size() == 0)
            throw Exception("Cannot write the file " + printer_.outputFileName().toStdString());
    }
}

void TQtPrintTarget::Abort() {
    // The preview (a PDF printer without a file) shows the pages it got; aborting would pull
    // them from under it.
    const bool preview = printer_.outputFormat() == QPrinter::PdfFormat && printer_.outputFileName().isEmpty();
    if (!preview) printer_.abort();
    if (painter_.isActive()) painter_.end();
}

int PrintToPdf(TCodeEditPrint& job, const std::string& path) {
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, path);
    TQtPrintTarget target(printer, std::nullopt);
    job.Print(target);
    return target.Pages();
}

void PrintOnDefaultPrinter(TCodeEditPrint& job) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) throw Exception("No printer is installed");
    QPrinter printer(info, QPrinter::HighResolution);
    TQtPrintTarget target(printer, DefaultPrinterGeometry());
    job.Print(target);
}

}  // namespace tessel
