// The rich text editor's ruler.

#include "richedit/Ruler.h"

#include <qdrawutil.h>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>

#include "richedit/RichTextQt.h"

namespace tessel {

namespace {

constexpr int kGrab = 5;  // pixels either side of a marker that grab it

}  // namespace

TDbRulerPanel::TDbRulerPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("Ruler");
    setFixedHeight(logicalDpiY() > 96 ? 27 : 25);
    setMouseTracking(false);
}

QSize TDbRulerPanel::sizeHint() const {
    return QSize(origin_ + length_ + 12, height());
}

void TDbRulerPanel::SetUnits(TDbMeasurementUnits units) {
    units_ = units;
    update();
}

void TDbRulerPanel::SetOrigin(int x) {
    origin_ = x;
    update();
}

void TDbRulerPanel::SetLength(int pixels) {
    length_ = std::max(0, pixels);
    update();
}

void TDbRulerPanel::SetIndents(double firstLine, double left, double right) {
    if (dragging_ != NoMarker) return;  // the user's drag wins until it is let go
    first_ = firstLine;
    left_ = left;
    right_ = right;
    update();
}

void TDbRulerPanel::SetTabs(const QList<double>& tabs) {
    if (draggingTab_ >= 0) return;
    tabs_ = tabs;
    update();
}

double TDbRulerPanel::TickPixels() const {
    // Screen pixels to the centimetre are the pixels to the inch over 2.537.
    return units_ == TDbMeasurementUnits::muInches ? kLayoutUnitsPerInch / 8 : kLayoutUnitsPerInch / 2.537 / 4;
}

double TDbRulerPanel::Snap(double x) const {
    const double tick = TickPixels();
    return std::round(x / tick) * tick;
}

QPoint TDbRulerPanel::MarkerPoint(TMarker marker) const {
    const int bottom = height() - 4;
    switch (marker) {
        case FirstIndentMarker:
            return QPoint(origin_ + static_cast<int>(std::lround(first_)), 4);
        case LeftIndentMarker:
            return QPoint(origin_ + static_cast<int>(std::lround(left_)), bottom);
        case RightIndentMarker:
            return QPoint(origin_ + length_ - static_cast<int>(std::lround(right_)), bottom);
        default:
            return QPoint(-1, -1);
    }
}

QPoint TDbRulerPanel::TabPoint(int index) const {
    if (index < 0 || index >= tabs_.size()) return QPoint(-1, -1);
    return QPoint(origin_ + static_cast<int>(std::lround(tabs_[index])), height() / 2 + 2);
}

void TDbRulerPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int h = height();
    const QRect strip(origin_, 2, length_ + 1, h - 4);
    p.fillRect(rect(), palette().window());
    p.fillRect(strip, Qt::white);
    qDrawShadePanel(&p, strip.adjusted(-1, -1, 1, 1), palette(), true, 1);
    // Ticks: a number over each whole unit, a longer tick at the half.
    const int perUnit = units_ == TDbMeasurementUnits::muInches ? 8 : 4;
    const double tick = TickPixels();
    QFont small = font();
    small.setPixelSize(9);
    p.setFont(small);
    p.setPen(palette().color(QPalette::WindowText));
    const int mid = h / 2;
    for (int i = 1; i * tick <= length_; ++i) {
        const int x = origin_ + static_cast<int>(std::lround(i * tick));
        if (i % perUnit == 0) {
            const QString number = QString::number(i / perUnit);
            const int w = p.fontMetrics().horizontalAdvance(number);
            p.drawText(x - w / 2, mid + p.fontMetrics().ascent() / 2 - 1, number);
        } else if (i % (perUnit / 2) == 0) {
            p.drawLine(x, mid - 3, x, mid + 3);
        } else {
            p.drawLine(x, mid - 1, x, mid + 1);
        }
    }
    // Tab stops: an L standing on its foot.
    for (int i = 0; i < tabs_.size(); ++i) {
        if (i == draggingTab_ && tabOff_) continue;
        const QPoint t = TabPoint(i);
        p.drawLine(t.x(), t.y() - 4, t.x(), t.y() + 2);
        p.drawLine(t.x(), t.y() + 2, t.x() + 5, t.y() + 2);
    }
    // Indent markers: the first line's hangs from the top, the others stand at the bottom.
    p.setBrush(palette().button());
    p.setPen(palette().color(QPalette::WindowText));
    const QPoint f = MarkerPoint(FirstIndentMarker);
    p.drawPolygon(QPolygon({QPoint(f.x() - 4, 1), QPoint(f.x() + 4, 1), QPoint(f.x(), 7)}));
    for (TMarker m : {LeftIndentMarker, RightIndentMarker}) {
        const QPoint b = MarkerPoint(m);
        p.drawPolygon(QPolygon({QPoint(b.x() - 4, h - 1), QPoint(b.x() + 4, h - 1), QPoint(b.x(), h - 7)}));
    }
}

void TDbRulerPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    auto near = [&](QPoint m, bool top) {
        return std::abs(at.x() - m.x()) <= kGrab && (top ? at.y() < height() / 2 : at.y() > height() - 10);
    };
    if (near(MarkerPoint(FirstIndentMarker), true)) {
        dragging_ = FirstIndentMarker;
    } else if (near(MarkerPoint(RightIndentMarker), false)) {
        dragging_ = RightIndentMarker;
    } else if (near(MarkerPoint(LeftIndentMarker), false)) {
        dragging_ = LeftIndentMarker;
    } else {
        for (int i = 0; i < tabs_.size(); ++i)
            if (std::abs(at.x() - TabPoint(i).x()) <= kGrab) draggingTab_ = i;
        if (draggingTab_ < 0) {
            // A click on the strip sets a tab stop there.
            const double x = Snap(at.x() - origin_);
            if (x <= 0 || x > length_) return;
            tabs_.append(x);
            draggingTab_ = static_cast<int>(tabs_.size()) - 1;
        }
        tabOff_ = false;
    }
    Drag(at);
}

void TDbRulerPanel::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) Drag(event->position().toPoint());
}

void TDbRulerPanel::Drag(QPoint at) {
    const double x = Snap(at.x() - origin_);
    const double room = length_ - kMinimumTextWidth;
    if (dragging_ == FirstIndentMarker) {
        first_ = std::clamp(x, 0.0, std::max(0.0, room - right_));
    } else if (dragging_ == LeftIndentMarker) {
        left_ = std::clamp(x, 0.0, std::max(0.0, room - right_));
    } else if (dragging_ == RightIndentMarker) {
        right_ = std::clamp(length_ - x, 0.0, std::max(0.0, room - left_));
    } else if (draggingTab_ >= 0) {
        tabs_[draggingTab_] = std::clamp(x, 0.0, static_cast<double>(length_));
        tabOff_ = at.y() < -8 || at.y() > height() + 8;
    }
    update();
}

void TDbRulerPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (dragging_ != NoMarker || draggingTab_ >= 0) Drag(event->position().toPoint());
    if (dragging_ != NoMarker) {
        dragging_ = NoMarker;
        if (OnIndentsChanged) OnIndentsChanged(first_, left_, right_);
    } else if (draggingTab_ >= 0) {
        if (tabOff_) tabs_.removeAt(draggingTab_);
        draggingTab_ = -1;
        tabOff_ = false;
        std::sort(tabs_.begin(), tabs_.end());
        tabs_.erase(std::unique(tabs_.begin(), tabs_.end()), tabs_.end());
        if (OnTabsChanged) OnTabsChanged(tabs_);
    }
    update();
}

}  // namespace tessel
