#pragma once

// A canvas that records what the print job draws, with fixed metrics: every character 24
// pixels wide, a font 50 pixels high (ascent 40), no external leading.

#include <string>
#include <vector>

#include "print/PrintCanvas.h"

namespace tessel::test {

struct DrawnText {
    int x, y;
    std::string text;
    TPrintFont font;
    int advance;
};

class RecordingCanvas : public TPrintCanvas {
public:
    static constexpr int kChar = 24, kHeight = 50, kAscent = 40;
    void SetFont(const TPrintFont& font) override { font_ = font; }
    const TPrintFont& Font() const override { return font_; }
    TTextMetrics Metrics() override { return {kHeight, kAscent, kHeight - kAscent, 0, kChar}; }
    int TextWidth(std::string_view text) override {
        int n = 0;
        for (unsigned char c : text) n += (c & 0xC0) != 0x80;
        return n * kChar;
    }
    void TextOut(int x, int y, std::string_view text, int advance, TColor) override {
        texts.push_back({x, y, std::string(text), font_, advance});
    }
    void FillRect(const TPrintRect& rect, TColor) override { fills.push_back(rect); }
    void Rectangle(const TPrintRect& rect, TColor pen, TColor brush) override {
        rectangles.push_back({rect, pen, brush});
    }
    void Line(int x1, int y1, int x2, int y2, TColor) override { lines.push_back({x1, y1, x2, y2}); }

    struct Rect {
        TPrintRect rect;
        TColor pen, brush;
    };
    std::vector<DrawnText> texts;
    std::vector<TPrintRect> fills;
    std::vector<Rect> rectangles;
    std::vector<TPrintRect> lines;  // x1, y1, x2, y2

private:
    TPrintFont font_;
};

// A document of recorded pages; no printer unless a geometry is given.
class RecordingTarget : public TPrintTarget {
public:
    std::optional<TPrinterGeometry> Geometry() override { return geometry; }
    void BeginDoc(const std::string& name) override {
        jobName = name;
        pages.assign(1, RecordingCanvas());
    }
    TPrintCanvas& Canvas() override { return pages.back(); }
    void NewPage() override {
        const TPrintFont font = pages.back().Font();
        pages.emplace_back();
        pages.back().SetFont(font);
    }
    void EndDoc() override { ended = true; }
    void Abort() override { aborted = true; }

    std::optional<TPrinterGeometry> geometry;
    std::string jobName;
    std::vector<RecordingCanvas> pages;
    bool ended = false, aborted = false;
};

}  // namespace tessel::test
