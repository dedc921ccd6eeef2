#pragma once

// The ruler over the rich text editor: a white strip in inches (eight ticks to the inch) or
// centimetres (four to the centimetre) with the current paragraph's first-line, left and right
// indent markers and its tab stops. Dragging a marker and letting it go reports the new
// indents; a click on the strip sets a tab stop, dragging one moves it and dragging it off the
// strip clears it. Positions are in pixels from the text's left edge, which on the screen are
// the document's layout units.

#include <QList>
#include <QWidget>
#include <functional>

#include "richedit/DbRichEdit.h"

namespace tessel {

class TDbRulerPanel : public QWidget {
public:
    enum TMarker { FirstIndentMarker, LeftIndentMarker, RightIndentMarker, NoMarker };
    // The nearest the left and right indents come to each other, in pixels.
    static constexpr int kMinimumTextWidth = 48;

    explicit TDbRulerPanel(QWidget* parent = nullptr);

    void SetUnits(TDbMeasurementUnits units);
    TDbMeasurementUnits Units() const { return units_; }
    // Where the text starts in the ruler's own coordinates, and the text's width.
    void SetOrigin(int x);
    void SetLength(int pixels);
    int Length() const { return length_; }
    // The paragraph's indents: the first line and the left edge from the text's left, the
    // right edge from its right; tab stops from the text's left.
    void SetIndents(double firstLine, double left, double right);
    void SetTabs(const QList<double>& tabs);
    double FirstIndent() const { return first_; }
    double LeftIndent() const { return left_; }
    double RightIndent() const { return right_; }
    const QList<double>& Tabs() const { return tabs_; }

    // Pixels of one tick (an eighth of an inch, a quarter of a centimetre).
    double TickPixels() const;
    // The point a marker or a tab stop is grabbed at, in the ruler's coordinates.
    QPoint MarkerPoint(TMarker marker) const;
    QPoint TabPoint(int index) const;

    // After a drag or click: the new indents (as SetIndents takes them) or tab stops.
    std::function<void(double firstLine, double left, double right)> OnIndentsChanged;
    std::function<void(const QList<double>& tabs)> OnTabsChanged;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double Snap(double x) const;
    void Drag(QPoint at);

    TDbMeasurementUnits units_ = TDbMeasurementUnits::muInches;
    int origin_ = 0, length_ = 0;
    double first_ = 0, left_ = 0, right_ = 0;
    QList<double> tabs_;
    TMarker dragging_ = NoMarker;
    int draggingTab_ = -1;  // the tab stop being dragged, or -1
    bool tabOff_ = false;   // dragged off the strip: cleared when let go
};

}  // namespace tessel
