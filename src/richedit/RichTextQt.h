#pragma once

// A rich text document into Qt's text document and back: paragraphs become blocks with their
// alignment, indents, tab stops and bullets; runs become fragments with their character format.

#include <QTextDocument>
#include <QTextFormat>

#include "richtext/RtfDocument.h"

namespace tessel {

void FillTextDocument(const TRichDocument& rich, QTextDocument& document);
TRichDocument FromTextDocument(const QTextDocument& document);
// A paragraph's alignment, indents, spacing and tab stops as a block format and back (no
// runs, no bullet: lists are the document's).
QTextBlockFormat BlockFormat(const TRichParagraph& paragraph);
TRichParagraph ParagraphFormat(const QTextBlockFormat& format);

// Indents, spacing and tab positions: twips (1/1440 inch) in RTF, layout units in Qt's
// document, which lays them out as pixels of its device; on the screen a unit is 1/96 inch.
inline constexpr double kLayoutUnitsPerInch = 96;
inline double TwipsToLayout(int twips) {
    return twips * kLayoutUnitsPerInch / 1440;
}
inline int LayoutToTwips(double units) {
    const double twips = units * 1440 / kLayoutUnitsPerInch;
    return static_cast<int>(twips + (twips < 0 ? -0.5 : 0.5));
}

// Scales a document's paragraph geometry (indents, spacing, tab stops, list indents) for a
// device with a different resolution: printing lays out at the printer's.
void ScaleParagraphGeometry(QTextDocument& document, double factor);

}  // namespace tessel
