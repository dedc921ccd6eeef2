// Docks that hold tool windows and lay them out.

#include "toolbars/Dock.h"

#include <QChildEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <map>
#include <set>

#include "toolbars/ToolWindow.h"

namespace tessel {

TDock::TDock(QWidget* parent, TDockPosition position) : QWidget(parent), position_(position) {
    for (QWidget* up = parent; up; up = up->parentWidget()) {
        if (qobject_cast<TDock*>(up) || qobject_cast<TCustomToolWindow*>(up))
            throw EToolbarError("A TDock control cannot be placed inside a tool window or another TDock");
    }
    setAutoFillBackground(false);
    if (parent) parent->installEventFilter(this);
    AlignToParent();
}

TDock::~TDock() {
    // Tool windows still docked here are children and go with the dock; they must not call
    // back into it while it is being taken apart.
    for (TCustomToolWindow* bar : dockList_) bar->dockedTo_ = nullptr;
    dockList_.clear();
}

void TDock::SetPosition(TDockPosition position) {
    if (position == position_) return;
    for (QObject* child : children())
        if (child->isWidgetType())
            throw EToolbarError("Cannot change Position of a TDock if it already contains controls");
    position_ = position;
    AlignToParent();
    ArrangeToolbars();
}

void TDock::SetAllowDrag(bool allow) {
    if (allow == allowDrag_) return;
    allowDrag_ = allow;
    for (TCustomToolWindow* bar : dockList_) bar->update();
    ArrangeToolbars();
}

void TDock::SetLimitToOneRow(bool limit) {
    if (limit == limitToOneRow_) return;
    limitToOneRow_ = limit;
    ArrangeToolbars();
}

void TDock::SetFixAlign(bool fix) {
    if (fix == fixAlign_) return;
    fixAlign_ = fix;
    ArrangeToolbars();
}

void TDock::SetBoundLines(TDockBoundLines lines) {
    if (lines == boundLines_) return;
    boundLines_ = lines;
    ArrangeToolbars();
    update();
}

void TDock::SetBackground(const QImage& background) {
    background_ = background;
    update();
    for (TCustomToolWindow* bar : dockList_) bar->update();
}

void TDock::SetBackgroundOnToolbars(bool on) {
    backgroundOnToolbars_ = on;
    for (TCustomToolWindow* bar : dockList_) bar->update();
}

void TDock::SetBackgroundTransparent(bool on) {
    backgroundTransparent_ = on;
    update();
    for (TCustomToolWindow* bar : dockList_) bar->update();
}

QColor TDock::Color() const {
    return color_ ? *color_ : palette().color(QPalette::Button);
}

void TDock::SetColor(const QColor& color) {
    if (color.isValid())
        color_ = color;
    else
        color_.reset();
    update();
}

QString TDock::Version() const {
    return "Tessel toolbars 1.0";
}

std::vector<TCustomToolWindow*> TDock::VisibleList() const {
    std::vector<TCustomToolWindow*> visible;
    for (TCustomToolWindow* bar : dockList_)
        if (bar->Visible()) visible.push_back(bar);
    return visible;
}

int TDock::InnerLength() const {
    if (IsVertical()) return height() - ((boundLines_ & blTop) ? 1 : 0) - ((boundLines_ & blBottom) ? 1 : 0);
    return width() - ((boundLines_ & blLeft) ? 1 : 0) - ((boundLines_ & blRight) ? 1 : 0);
}

QPoint TDock::InnerOrigin() const {
    return QPoint((boundLines_ & blLeft) ? 1 : 0, (boundLines_ & blTop) ? 1 : 0);
}

void TDock::InsertBar(TCustomToolWindow* bar) {
    if (std::find(dockList_.begin(), dockList_.end(), bar) != dockList_.end()) return;
    if (bar->dockPos_ == -1) {
        // -1: after the others of its row.
        int end = 0;
        for (TCustomToolWindow* other : dockList_)
            if (other->dockRow_ == bar->dockRow_ && other->Visible()) {
                const QSize size = other->DockedSize(position_, allowDrag_);
                end = std::max(end, other->dockPos_ + (IsVertical() ? size.height() : size.width()));
            }
        bar->dockPos_ = end;
    }
    dockList_.push_back(bar);
    ArrangeToolbars();
    if (bar->Visible() && OnInsertRemoveBar) OnInsertRemoveBar(this, true, bar);
}

void TDock::RemoveBar(TCustomToolWindow* bar) {
    auto it = std::find(dockList_.begin(), dockList_.end(), bar);
    if (it == dockList_.end()) return;
    dockList_.erase(it);
    ArrangeToolbars();
    if (bar->Visible() && OnInsertRemoveBar) OnInsertRemoveBar(this, false, bar);
}

void TDock::BarVisibilityChanged(TCustomToolWindow* bar, bool visible) {
    ArrangeToolbars();
    if (OnInsertRemoveBar) OnInsertRemoveBar(this, visible, bar);
}

void TDock::EndUpdate() {
    if (updateLock_ > 0 && --updateLock_ == 0 && arrangePending_) ArrangeToolbars();
}

void TDock::ArrangeToolbars(bool keepPositions) {
    if (updateLock_ > 0 || arranging_) {
        arrangePending_ = true;
        return;
    }
    arranging_ = true;
    arrangePending_ = false;
    const bool vertical = IsVertical();

    // Rows: one row if so limited, no gaps, then by row and position.
    std::vector<TCustomToolWindow*> bars = dockList_;
    for (TCustomToolWindow* bar : bars)
        if (limitToOneRow_ || bar->dockRow_ < 0) bar->dockRow_ = 0;
    auto compactRows = [&bars] {
        std::set<int> used;
        for (TCustomToolWindow* bar : bars) used.insert(bar->dockRow_);
        std::map<int, int> renumber;
        int next = 0;
        for (int row : used) renumber[row] = next++;
        for (TCustomToolWindow* bar : bars) bar->dockRow_ = renumber[bar->dockRow_];
    };
    auto sortBars = [&bars] {
        std::stable_sort(bars.begin(), bars.end(), [](const TCustomToolWindow* a, const TCustomToolWindow* b) {
            if (a->dockRow_ != b->dockRow_) return a->dockRow_ < b->dockRow_;
            return a->dockPos_ < b->dockPos_;
        });
    };
    compactRows();
    sortBars();
    // A full-size tool window has its row to itself.
    for (bool moved = true; moved;) {
        moved = false;
        for (TCustomToolWindow* full : bars) {
            if (!full->fullSize_) continue;
            const bool shared = std::any_of(bars.begin(), bars.end(), [full](const TCustomToolWindow* b) {
                return b != full && b->dockRow_ == full->dockRow_;
            });
            if (!shared) continue;
            const int row = full->dockRow_;
            for (TCustomToolWindow* other : bars)
                if (other != full && other->dockRow_ >= row) ++other->dockRow_;
            sortBars();
            moved = true;
            break;
        }
    }

    const int rowCount = bars.empty() ? 0 : bars.back()->dockRow_ + 1;
    std::vector<int> contentThickness(static_cast<size_t>(rowCount), 0);
    for (TCustomToolWindow* bar : bars) {
        if (!bar->Visible()) continue;
        int& t = contentThickness[static_cast<size_t>(bar->dockRow_)];
        t = std::max({t, bar->ContentThickness(vertical), toolwindow::kMinContentThickness});
    }
    rowSizes_.assign(static_cast<size_t>(rowCount), 0);
    for (int row = 0; row < rowCount; ++row) {
        const int t = contentThickness[static_cast<size_t>(row)];
        rowSizes_[static_cast<size_t>(row)] = t > 0 ? t + 2 * toolwindow::kDockedBorder : 0;
    }

    // Positions along each row, then placement.
    const int inner = std::max(0, InnerLength());
    const QPoint origin = InnerOrigin();
    int rowOffset = 0;
    for (int row = 0; row < rowCount; ++row) {
        std::vector<TCustomToolWindow*> inRow;
        for (TCustomToolWindow* bar : bars)
            if (bar->dockRow_ == row && bar->Visible()) inRow.push_back(bar);
        const size_t n = inRow.size();
        std::vector<int> pos(n), len(n);
        int prevEnd = 0;
        for (size_t i = 0; i < n; ++i) {
            TCustomToolWindow* bar = inRow[i];
            const QSize size = bar->DockedSize(position_, allowDrag_);
            len[i] = bar->fullSize_ ? inner : (vertical ? size.height() : size.width());
            pos[i] = bar->fullSize_ ? 0 : bar->dockPos_;
            if (pos[i] < prevEnd) pos[i] = prevEnd;
            prevEnd = pos[i] + len[i];
        }
        int limit = inner;
        for (size_t k = n; k-- > 0;) {
            if (pos[k] + len[k] > limit) pos[k] = limit - len[k];
            limit = pos[k];
        }
        prevEnd = 0;
        for (size_t i = 0; i < n; ++i) {
            pos[i] = std::max(pos[i], prevEnd);
            prevEnd = pos[i] + len[i];
        }
        const int rowSize = rowSizes_[static_cast<size_t>(row)];
        for (size_t i = 0; i < n; ++i) {
            TCustomToolWindow* bar = inRow[i];
            if (keepPositions) bar->dockPos_ = pos[i];
            const QRect bounds = vertical ? QRect(origin.x() + rowOffset, origin.y() + pos[i], rowSize, len[i])
                                          : QRect(origin.x() + pos[i], origin.y() + rowOffset, len[i], rowSize);
            bar->SetDockedBounds(bounds, contentThickness[static_cast<size_t>(row)]);
        }
        rowOffset += rowSize;
    }

    int thickness = rowOffset;
    if (thickness == 0) {
        thickness = fixAlign_ ? 1 : 0;
    } else if (vertical) {
        thickness += ((boundLines_ & blLeft) ? 1 : 0) + ((boundLines_ & blRight) ? 1 : 0);
    } else {
        thickness += ((boundLines_ & blTop) ? 1 : 0) + ((boundLines_ & blBottom) ? 1 : 0);
    }
    thickness_ = std::max(thickness, minThickness_);
    AlignToParent();
    arranging_ = false;
    if (arrangePending_) ArrangeToolbars();
}

void TDock::SetMinThickness(int thickness) {
    thickness = std::max(0, thickness);
    if (thickness == minThickness_) return;
    minThickness_ = thickness;
    ArrangeToolbars();
}

void TDock::AlignToParent() {
    QWidget* parent = parentWidget();
    if (!parent || aligning_) return;
    aligning_ = true;
    const QSize area = parent->size();
    QRect bounds;
    switch (position_) {
        case dpTop:
            bounds = QRect(0, 0, area.width(), thickness_);
            break;
        case dpBottom:
            bounds = QRect(0, area.height() - thickness_, area.width(), thickness_);
            break;
        case dpLeft:
            bounds = QRect(0, 0, thickness_, area.height());
            break;
        case dpRight:
            bounds = QRect(area.width() - thickness_, 0, thickness_, area.height());
            break;
    }
    const QSize before = size();
    setGeometry(bounds);
    aligning_ = false;
    if (before != bounds.size() && OnResize) OnResize(this);
}

void TDock::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const bool alongChanged = IsVertical() ? event->oldSize().height() != event->size().height()
                                           : event->oldSize().width() != event->size().width();
    if (alongChanged) ArrangeToolbars();
}

bool TDock::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) AlignToParent();
    return QWidget::eventFilter(watched, event);
}

void TDock::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    if (event->removed()) {
        // A tool window taken out by other means than docking elsewhere.
        auto* bar = static_cast<TCustomToolWindow*>(nullptr);
        for (TCustomToolWindow* b : dockList_)
            if (b == event->child()) bar = b;
        if (bar && bar->dockedTo_ == this) {
            bar->dockedTo_ = nullptr;
            RemoveBar(bar);
        }
    }
}

QPixmap TDock::BackgroundPixmap() const {
    if (background_.isNull()) return {};
    if (!backgroundTransparent_) return QPixmap::fromImage(background_);
    QImage image = background_.convertToFormat(QImage::Format_RGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    const QRgb fill = Color().rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == key) line[x] = fill;
    }
    return QPixmap::fromImage(image);
}

void TDock::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Color());
    const QPixmap tile = BackgroundPixmap();
    if (!tile.isNull()) p.drawTiledPixmap(rect(), tile);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    if (boundLines_ & blTop) {
        p.setPen(shadow);
        p.drawLine(0, 0, width() - 1, 0);
    }
    if (boundLines_ & blBottom) {
        p.setPen(light);
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
    }
    if (boundLines_ & blLeft) {
        p.setPen(shadow);
        p.drawLine(0, 0, 0, height() - 1);
    }
    if (boundLines_ & blRight) {
        p.setPen(light);
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    }
}

}  // namespace tessel
