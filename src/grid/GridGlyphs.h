#pragma once

// The pictures the grid draws by itself: the five record-state glyphs of the indicator
// column (6 x 11, black on transparent) and the two column-drag arrows (13 x 14).

#include <QColor>
#include <QImage>

namespace tessel {

enum TIndicatorGlyph { igArrow = 0, igEdit = 1, igInsert = 2, igMultiSelect = 3, igMultiArrow = 4 };
constexpr int kIndicatorGlyphCount = 5;

const QImage& IndicatorGlyph(int index);
const QImage& DragArrowGlyph(bool right);
// A copy in which every black pixel takes `color`.
QImage RecolorGlyph(const QImage& glyph, const QColor& color);

}  // namespace tessel
