#pragma once

// A rich text document into Qt's text document and back: paragraphs become blocks with their
// alignment, indents, tab stops and bullets; runs become fragments with their character format.

#include <QTextDocument>

#include "richtext/RtfDocument.h"

namespace tessel {

void FillTextDocument(const TRichDocument& rich, QTextDocument& document);
TRichDocument FromTextDocument(const QTextDocument& document);

// Twips (1/1440 inch) and Qt's points (1/72 inch) of indents and tab positions.
inline double TwipsToPoints(int twips) {
    return twips / 20.0;
}
inline int PointsToTwips(double points) {
    return static_cast<int>(points * 20.0 + (points < 0 ? -0.5 : 0.5));
}

}  // namespace tessel
