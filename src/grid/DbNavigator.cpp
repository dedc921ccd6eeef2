// The record navigator: its buttons and their hints.

#include "grid/DbNavigator.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

namespace tessel {

namespace {

class TNavButton : public QAbstractButton {
public:
    TNavButton(TNavigateBtn kind, QWidget* parent) : QAbstractButton(parent), kind_(kind) {
        setFocusPolicy(Qt::NoFocus);
        setAutoRepeat(kind == TNavigateBtn::nbPrior || kind == TNavigateBtn::nbNext);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(r, palette().color(QPalette::Button));
        const bool down = isDown();
        const QColor light = palette().color(QPalette::Light), dark = palette().color(QPalette::Dark);
        p.setPen(down ? dark : light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(down ? light : Qt::black);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        QRect glyph(0, 0, 11, 11);
        glyph.moveCenter(r.center() + (down ? QPoint(1, 1) : QPoint(0, 0)));
        TDbNavigator::DrawGlyph(p, kind_, glyph, isEnabled());
    }

private:
    TNavigateBtn kind_;
};

}  // namespace

TDbNavigator::TDbNavigator(QWidget* parent) : QWidget(parent) {
    for (int i = 0; i < kNavigateButtonCount; ++i) {
        const auto kind = static_cast<TNavigateBtn>(i);
        auto* button = new TNavButton(kind, this);
        button->setToolTip(Hint(kind));
        connect(button, &QAbstractButton::clicked, this, [this, kind] { BtnClick(kind); });
        buttons_[static_cast<size_t>(i)] = button;
    }
    logic_.OnChange = [this] { UpdateButtons(); };
    logic_.OnConfirm = [this](const std::string& question) {
        if (OnConfirm) return OnConfirm(question);
        return QMessageBox::question(this, "Tessel", QString::fromStdString(question),
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    UpdateButtons();
    resize(240, 25);
}

TDbNavigator::~TDbNavigator() {
    logic_.OnChange = nullptr;
}

void TDbNavigator::BtnClick(TNavigateBtn button) {
    logic_.Click(button);
}

const char* TDbNavigator::Hint(TNavigateBtn button) {
    static const char* const kHints[kNavigateButtonCount] = {// With the key that does the same in the grid.
                                                             "First record (Ctrl+Home)", "Prior record (Up)",
                                                             "Next record (Down)",       "Last record (Ctrl+End)",
                                                             "Insert record (Insert)",   "Delete record (Ctrl+Delete)",
                                                             "Edit record (F2)",         "Post edit",
                                                             "Cancel edit (Esc)",        "Refresh data"};
    return kHints[static_cast<int>(button)];
}

void TDbNavigator::UpdateButtons() {
    for (int i = 0; i < kNavigateButtonCount; ++i)
        buttons_[static_cast<size_t>(i)]->setEnabled(logic_.Enabled(static_cast<TNavigateBtn>(i)));
}

void TDbNavigator::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void TDbNavigator::LayOut() {
    // Equal widths; the pixels left over go to the first buttons.
    const int w = width() / kNavigateButtonCount, extra = width() % kNavigateButtonCount;
    int x = 0;
    for (int i = 0; i < kNavigateButtonCount; ++i) {
        const int bw = w + (i < extra ? 1 : 0);
        buttons_[static_cast<size_t>(i)]->setGeometry(x, 0, bw, height());
        x += bw;
    }
}

void TDbNavigator::DrawGlyph(QPainter& p, TNavigateBtn button, const QRect& r, bool enabled) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink = enabled ? QColor(Qt::black) : QColor(128, 128, 128);
    const int l = r.left(), t = r.top(), cx = r.center().x(), cy = r.center().y();
    auto triangle = [&](int tipX, int dir) {  // dir -1 points left, +1 right; 4 wide, 7 high
        QPainterPath path;
        path.moveTo(tipX, cy);
        path.lineTo(tipX - dir * 4, cy - 4);
        path.lineTo(tipX - dir * 4, cy + 4);
        path.closeSubpath();
        p.fillPath(path, ink);
    };
    switch (button) {
        case TNavigateBtn::nbFirst:
            p.fillRect(QRect(l + 2, cy - 4, 2, 9), ink);
            triangle(l + 5, -1);
            break;
        case TNavigateBtn::nbPrior:
            triangle(cx - 2, -1);
            break;
        case TNavigateBtn::nbNext:
            triangle(cx + 2, 1);
            break;
        case TNavigateBtn::nbLast:
            triangle(l + 7, 1);
            p.fillRect(QRect(l + 8, cy - 4, 2, 9), ink);
            break;
        case TNavigateBtn::nbInsert:
            p.fillRect(QRect(cx - 4, cy - 1, 9, 2), ink);
            p.fillRect(QRect(cx - 1, cy - 4, 2, 9), ink);
            break;
        case TNavigateBtn::nbDelete:
            p.fillRect(QRect(cx - 4, cy - 1, 9, 2), ink);
            break;
        case TNavigateBtn::nbEdit: {
            QPainterPath path;
            path.moveTo(cx, t + 2);
            path.lineTo(cx + 4, t + 7);
            path.lineTo(cx - 4, t + 7);
            path.closeSubpath();
            p.fillPath(path, ink);
            break;
        }
        case TNavigateBtn::nbPost: {
            const QColor tick = enabled ? QColor(0, 128, 0) : ink;
            p.setPen(QPen(tick, 2));
            p.drawLine(l + 1, cy, l + 4, cy + 3);
            p.drawLine(l + 4, cy + 3, l + 9, cy - 3);
            break;
        }
        case TNavigateBtn::nbCancel: {
            const QColor cross = enabled ? QColor(160, 0, 0) : ink;
            p.setPen(QPen(cross, 2));
            p.drawLine(l + 2, t + 2, l + 8, t + 8);
            p.drawLine(l + 8, t + 2, l + 2, t + 8);
            break;
        }
        case TNavigateBtn::nbRefresh: {
            p.setPen(QPen(ink, 2));
            p.drawArc(QRect(l + 1, t + 1, 8, 8), 60 * 16, 270 * 16);
            QPainterPath head;
            head.moveTo(l + 6, t);
            head.lineTo(l + 10, t + 2);
            head.lineTo(l + 6, t + 5);
            head.closeSubpath();
            p.fillPath(head, ink);
            break;
        }
    }
    p.restore();
}

}  // namespace tessel
