#pragma once

// Printing a rich text document with its holder's settings: the page area between the print
// margins, a one-line header and footer band with left, centre and right texts, and the
// numbers of the page setup dialog.

#include <QFont>
#include <QRect>
#include <functional>
#include <string>

class QPrinter;
class QTextDocument;

namespace tessel {

class TDbCustomRichEdit;
enum class TDbMeasurementUnits;

struct TDbRTFHeaderFooter {
    double VertMargin = 0.5;  // from the paper's edge, in the holder's units
    std::string LeftText, CenterText, RightText;
    QFont Font;
    bool LineSeparator = false;
};

// A band about to be printed: its rectangle, the page number, whether to draw it, its texts.
using TPrintBandEvent =
    std::function<void(QRect& band, int page, bool& draw, std::string& left, std::string& center, std::string& right)>;

// Printer pixels of a length, truncated: twips (1/1440 inch), or a margin in inches or
// centimetres.
int TwipsToPrinterPixels(int twips, int dpi);
int MarginToPrinterPixels(double margin, TDbMeasurementUnits units, int dpi);
// The page setup dialog counts margins in thousandths of an inch or hundredths of a
// millimetre: the margin times 1000, truncated, and back.
int PageSetupValue(double margin);
double FromPageSetupValue(int value);

// Prints `document` on `printer` (already set up: a printer or a PDF file) with the settings
// of `holder`; returns the number of pages.
int PrintRichDocument(const QTextDocument& document, TDbCustomRichEdit& holder, QPrinter& printer);

}  // namespace tessel
