// The grid's indicator and navigator glyphs, drawn in code.

#include "grid/GridGlyphs.h"

#include <array>

namespace tessel {

namespace {

QImage FromRows(std::initializer_list<const char*> rows) {
    const int h = static_cast<int>(rows.size());
    const int w = static_cast<int>(std::char_traits<char>::length(*rows.begin()));
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    int y = 0;
    for (const char* row : rows) {
        for (int x = 0; x < w && row[x]; ++x)
            if (row[x] == '#') image.setPixelColor(x, y, Qt::black);
        ++y;
    }
    return image;
}

const std::array<QImage, kIndicatorGlyphCount>& Glyphs() {
    static const std::array<QImage, kIndicatorGlyphCount> glyphs = {
        FromRows({"......", "......", "#.....", "##....", "###...", "####..", "###...", "##....", "#.....", "......",
                  "......"}),
        FromRows({"......", "##.##.", "..#...", "..#...", "..#...", "..#...", "..#...", "..#...", "..#...", "##.##.",
                  "......"}),
        FromRows({"......", "......", "..#...", "#.#.#.", ".###..", "#####.", ".###..", "#.#.#.", "..#...", "......",
                  "......"}),
        FromRows({"......", "......", "......", ".##...", "####..", "####..", ".##...", "......", "......", "......",
                  "......"}),
        FromRows({"#.....", "##....", "#.#...", "#..#..", "#.#...", "##....", "#.....", "......", ".##...", "####..",
                  ".##..."}),
    };
    return glyphs;
}

}  // namespace

const QImage& IndicatorGlyph(int index) {
    const auto& glyphs = Glyphs();
    return glyphs[static_cast<size_t>(std::clamp(index, 0, kIndicatorGlyphCount - 1))];
}

const QImage& DragArrowGlyph(bool right) {
    static const QImage rightArrow = FromRows({
        ".....#.......",
        ".....##......",
        ".....###.....",
        ".....####....",
        "###########..",
        "############.",
        "#############",
        "############.",
        "###########..",
        ".....####....",
        ".....###.....",
        ".....##......",
        ".....#.......",
        ".............",
    });
    static const QImage leftArrow = rightArrow.mirrored(true, false);
    return right ? rightArrow : leftArrow;
}

QImage RecolorGlyph(const QImage& glyph, const QColor& color) {
    QImage out = glyph.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QColor c = out.pixelColor(x, y);
            if (c.alpha() == 255 && c.red() == 0 && c.green() == 0 && c.blue() == 0) out.setPixelColor(x, y, color);
        }
    return out;
}

}  // namespace tessel
