// Dockable and floating tool windows: geometry, dragging, docking.

#include "toolbars/ToolWindow.h"

#include <QApplication>
#include <QChildEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <memory>

namespace tessel {

// ---- geometry --------------------------------------------------------------------------

namespace toolwindow {

int GripSize(TDragHandleStyle style, bool closeButtonWhenDocked) {
    if (closeButtonWhenDocked) return 14;
    switch (style) {
        case dhDouble:
            return 9;
        case dhNone:
            return 0;
        case dhSingle:
            return 6;
    }
    return 0;
}

namespace {
int Scale(int offset, int oldLength, int newLength) {
    if (oldLength <= 1) return 0;
    return offset * (newLength - 1) / (oldLength - 1);
}
}  // namespace

QRect PlaceAtCursor(const QPoint& cursor, const QPoint& grab, const QSize& oldSize, const QSize& newSize) {
    return QRect(cursor.x() - Scale(grab.x(), oldSize.width(), newSize.width()),
                 cursor.y() - Scale(grab.y(), oldSize.height(), newSize.height()), newSize.width(), newSize.height());
}

bool InDockZone(const QRect& dock, bool dockEmpty, bool verticalDock, const QPoint& cursor, const QPoint& grab,
                const QSize& oldSize, const QSize& newSize) {
    // Half-open edges: right and bottom are the first pixels outside.
    int left = dock.x(), top = dock.y();
    int right = dock.x() + dock.width(), bottom = dock.y() + dock.height();
    if (dockEmpty) {
        // A dock of no thickness: widened so that it can be hit at all.
        if (verticalDock) {
            --left;
            ++right;
        } else {
            --top;
            ++bottom;
        }
    }
    const int a = oldSize.width() > 1 ? 32 * grab.x() / (oldSize.width() - 1) : 0;
    const int c = oldSize.height() > 1 ? 20 * grab.y() / (oldSize.height() - 1) : 0;
    if (cursor.x() < left + a - 32 || cursor.x() > right + a - 1) return false;
    if (cursor.y() < top + c - 20 || cursor.y() > bottom + c - 1) return false;
    if (verticalDock && (cursor.y() < top || cursor.y() >= bottom)) return false;
    if (right <= left || bottom <= top) return false;
    const QRect placed = PlaceAtCursor(cursor, grab, oldSize, newSize);
    return placed.x() < right && placed.x() + placed.width() > left && placed.y() < bottom &&
           placed.y() + placed.height() > top;
}

QRect KeepFloatingInWorkArea(QRect rect, const QRect& workArea) {
    const int inset = kFloatingFrame + 4;
    const QRect inner = rect.adjusted(inset, inset, -inset, -inset);
    int dx = 0, dy = 0;
    if (inner.right() > workArea.right()) dx = workArea.right() - inner.right();
    if (inner.left() + dx < workArea.left()) dx = workArea.left() - inner.left();
    if (inner.bottom() > workArea.bottom()) dy = workArea.bottom() - inner.bottom();
    if (inner.top() + dy < workArea.top()) dy = workArea.top() - inner.top();
    rect.translate(dx, dy);
    if (rect.top() < workArea.top()) rect.moveTop(workArea.top());
    return rect;
}

QString ShortenCaption(const QString& caption, int width, const std::function<int(const QString&)>& measure) {
    if (measure(caption) <= width) return caption;
    QString kept = caption;
    QString shown = kept + "...";
    while (measure(shown) > width && shown.size() > 4 && !kept.isEmpty()) {
        kept.chop(1);
        shown = kept + "...";
    }
    return shown;
}

}  // namespace toolwindow

using namespace toolwindow;

namespace {

std::vector<QPointer<QWidget>>& ExtraDockForms() {
    static std::vector<QPointer<QWidget>> forms;
    return forms;
}

// Docks in `container` at top, bottom, left and right in that order, then those deeper down.
void CollectDocks(QWidget* container, std::vector<TDock*>& out) {
    std::vector<QWidget*> children;
    for (QObject* child : container->children())
        if (child->isWidgetType() && !static_cast<QWidget*>(child)->isWindow())
            children.push_back(static_cast<QWidget*>(child));
    for (TDockPosition position : {dpTop, dpBottom, dpLeft, dpRight})
        for (QWidget* child : children)
            if (auto* dock = qobject_cast<TDock*>(child); dock && dock->Position() == position) out.push_back(dock);
    for (QWidget* child : children)
        if (!qobject_cast<TDock*>(child) && !qobject_cast<TCustomToolWindow*>(child)) CollectDocks(child, out);
}

QRect WorkAreaAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void RaisedEdge(QPainter& p, const QRect& r, const QColor& light, const QColor& shadow) {
    p.setPen(light);
    p.drawLine(r.left(), r.bottom(), r.left(), r.top());
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.setPen(shadow);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
}

}  // namespace

// The outline shown while a tool window is dragged or sized: a frame of a 50 per cent checker
// over the screen, in a window of its own that never takes the mouse.
class TDragOutline : public QWidget {
public:
    TDragOutline()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                               Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setObjectName("DragOutline");
    }
    void Show(const QRect& rect, int thickness) {
        if (rect.isEmpty()) {
            hide();
            return;
        }
        thickness = std::max(1, std::min({thickness, rect.width() / 2, rect.height() / 2}));
        setGeometry(rect);
        const QRegion outer(0, 0, rect.width(), rect.height());
        const QRegion inner(thickness, thickness, rect.width() - 2 * thickness, rect.height() - 2 * thickness);
        setMask(outer.subtracted(inner));
        thickness_ = thickness;
        show();
        raise();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QImage checker(2, 2, QImage::Format_RGB32);
        checker.setPixel(0, 0, qRgb(0, 0, 0));
        checker.setPixel(1, 1, qRgb(0, 0, 0));
        checker.setPixel(1, 0, qRgb(255, 255, 255));
        checker.setPixel(0, 1, qRgb(255, 255, 255));
        p.fillRect(rect(), QBrush(checker));
    }

private:
    int thickness_ = 1;
};

struct TCustomToolWindow::DragState {
    QPoint grab;
    QSize startSize;
    QPoint startCursor;
    bool moved = false;
    std::vector<std::pair<TDock*, QSize>> candidates;
    QSize floatingSize;
    QPoint cursor;
    bool ctrl = false;
    QPointer<TDock> target;
    bool floats = false;
    QRect rect;
    TDragOutline outline;
};

struct TCustomToolWindow::ResizeState {
    int edge = 0;  // 1 left, 2 right, 3 top, 4 bottom
    std::vector<std::pair<QSize, int>> arrangements;
    QRect startRect;
    int chosen = -1;
    TDragOutline outline;
};

// ---- the tool window ---------------------------------------------------------------------

TCustomToolWindow::TCustomToolWindow(QWidget* parent) : QWidget(nullptr) {
    auto* dock = qobject_cast<TDock*>(parent);
    if (parent && !dock && !parent->isWindow())
        throw EToolbarError("A tool window can only be placed on a TDock or directly on the form");
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    form_ = dock ? nullptr : parent;
    // Visible unless hidden, also when made after its dock or form is on screen.
    if (dock) {
        dockedTo_ = dock;
        setParent(dock);
        QWidget::setVisible(true);
        dock->InsertBar(this);
    } else {
        floatParent_ = new TFloatingWindowParent(this, parent, false);
        setParent(floatParent_);
        QWidget::setVisible(true);
        if (parent) {
            floatingPos_ = parent->mapToGlobal(QPoint(0, 0));
            floatingPosKnown_ = true;
            floatParent_->move(floatingPos_);
        }
        WatchForm(parent);
    }
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        // Another program taking over ends a drag the way a lost capture does: nothing changes.
        if (state != Qt::ApplicationActive && drag_) EndDrag(false);
        UpdateFloatingVisibility();
    });
}

TCustomToolWindow::~TCustomToolWindow() {
    delete drag_;
    drag_ = nullptr;
    delete resize_;
    resize_ = nullptr;
    if (dockedTo_) {
        TDock* dock = dockedTo_;
        dockedTo_ = nullptr;
        dock->RemoveBar(this);
    }
    if (floatParent_ && parentWidget() == floatParent_) {
        // The holder goes once we have left it.
        floatParent_->deleteLater();
    }
}

QString TCustomToolWindow::Version() const {
    return "Tessel toolbars 1.0";
}

QWidget* TCustomToolWindow::ParentForm() const {
    if (dockedTo_) return dockedTo_->window();
    return form_;
}

QWidget* TCustomToolWindow::FloatingWindow() const {
    return dockedTo_ ? nullptr : floatParent_;
}

bool TCustomToolWindow::DockAllowsDrag() const {
    return dockedTo_ && dockedTo_->AllowDrag();
}

void TCustomToolWindow::SetDockedTo(TDock* dock) {
    if (dock == dockedTo_) return;
    if (dock)
        DockInto(dock, dockRow_, dockPos_);
    else
        FloatAt(floatingPosKnown_ ? floatingPos_ : mapToGlobal(QPoint(0, 0)));
}

void TCustomToolWindow::SetDockRow(int row) {
    if (row == dockRow_) return;
    dockRow_ = row;
    if (dockedTo_) dockedTo_->ArrangeToolbars();
}

void TCustomToolWindow::SetDockPos(int pos) {
    if (pos == dockPos_) return;
    dockPos_ = pos;
    if (dockedTo_) dockedTo_->ArrangeToolbars();
}

void TCustomToolWindow::SetDockMode(TToolWindowDockMode mode) {
    dockMode_ = mode;
    if (mode != dmCanFloat && !dockedTo_) ReturnToDock();
}

void TCustomToolWindow::SetDragHandleStyle(TDragHandleStyle style) {
    if (style == dragHandleStyle_) return;
    dragHandleStyle_ = style;
    ContentChanged();
}

void TCustomToolWindow::SetFullSize(bool fullSize) {
    if (fullSize == fullSize_) return;
    fullSize_ = fullSize;
    ContentChanged();
}

void TCustomToolWindow::SetFloatingMode(TToolWindowFloatingMode mode) {
    if (mode == floatingMode_) return;
    floatingMode_ = mode;
    if (!dockedTo_) FloatAt(floatingPos_);
}

void TCustomToolWindow::SetHideWhenInactive(bool hide) {
    hideWhenInactive_ = hide;
    UpdateFloatingVisibility();
}

void TCustomToolWindow::SetBorderStyle(TToolWindowBorderStyle style) {
    borderStyle_ = style;
    update();
}

void TCustomToolWindow::SetCloseButton(bool on) {
    closeButton_ = on;
    update();
}

void TCustomToolWindow::SetCloseButtonWhenDocked(bool on) {
    if (on == closeButtonWhenDocked_) return;
    closeButtonWhenDocked_ = on;
    ContentChanged();
}

void TCustomToolWindow::SetShowCaption(bool on) {
    if (on == showCaption_) return;
    showCaption_ = on;
    ContentChanged();
}

void TCustomToolWindow::SetCaption(const QString& caption) {
    caption_ = caption;
    if (floatParent_) floatParent_->setWindowTitle(caption);
    update();
}

void TCustomToolWindow::SetFloatingPosition(const QPoint& topLeft) {
    floatingPos_ = topLeft;
    floatingPosKnown_ = true;
    if (!dockedTo_ && floatParent_) floatParent_->move(topLeft);
}

void TCustomToolWindow::SetFloatRightX(int width) {
    width = std::max(0, width);
    if (width == floatRightX_) return;
    floatRightX_ = width;
    if (!dockedTo_) RelayoutFloating();
}

void TCustomToolWindow::SetVisible(bool visible) {
    setVisible(visible);
}

void TCustomToolWindow::setVisible(bool visible) {
    const bool was = Visible();
    QWidget::setVisible(visible);
    if (was == visible) return;
    if (dockedTo_) dockedTo_->BarVisibilityChanged(this, visible);
    UpdateFloatingVisibility();
    if (OnVisibleChanged) OnVisibleChanged(this);
}

// ---- sizes --------------------------------------------------------------------------------

std::vector<QWidget*> TCustomToolWindow::Controls() const {
    std::vector<QWidget*> result;
    for (const QPointer<QWidget>& control : controls_)
        if (control && control->parentWidget() == this) result.push_back(control);
    return result;
}

int TCustomToolWindow::ContentThickness(bool vertical) const {
    int thickness = 0;
    for (QWidget* control : Controls()) {
        if (!control->isVisibleTo(this) || qobject_cast<TToolbarSep*>(control)) continue;
        thickness = std::max(thickness, vertical ? control->width() : control->height());
    }
    return std::max(thickness, kMinContentThickness);
}

QMargins TCustomToolWindow::NonClient(bool docked, TDockPosition position, bool withGrip) const {
    if (docked) {
        QMargins m(kDockedBorder, kDockedBorder, kDockedBorder, kDockedBorder);
        if (withGrip) {
            const int grip = GripSize(dragHandleStyle_, closeButtonWhenDocked_);
            if (position == dpLeft || position == dpRight)
                m.setTop(m.top() + grip);
            else
                m.setLeft(m.left() + grip);
        }
        return m;
    }
    return QMargins(kFloatingFrame, kFloatingFrame + (showCaption_ ? kSmallCaption : 0), kFloatingFrame,
                    kFloatingFrame);
}

QMargins TCustomToolWindow::ContentMargins(bool docked) const {
    if (docked) return {};
    return QMargins(kFloatingMarginLeft, kFloatingMarginTop, kFloatingMarginRight, kFloatingMarginBottom);
}

QSize TCustomToolWindow::DockedSize(TDockPosition position, bool withGrip) const {
    const bool vertical = position == dpLeft || position == dpRight;
    const int thickness = ContentThickness(vertical);
    const QSize extent = const_cast<TCustomToolWindow*>(this)->ArrangeContent(false, vertical, thickness, 0, QPoint());
    const QMargins nc = NonClient(true, position, withGrip);
    return QSize(extent.width() + nc.left() + nc.right(), extent.height() + nc.top() + nc.bottom());
}

QSize TCustomToolWindow::FloatingSizeFor(int wrapWidth) const {
    const int thickness = ContentThickness(false);
    const QSize extent =
        const_cast<TCustomToolWindow*>(this)->ArrangeContent(false, false, thickness, wrapWidth, QPoint());
    const QMargins nc = NonClient(false, dpTop, false);
    const QMargins m = ContentMargins(false);
    return QSize(extent.width() + m.left() + m.right() + nc.left() + nc.right(),
                 extent.height() + m.top() + m.bottom() + nc.top() + nc.bottom());
}

QSize TCustomToolWindow::FloatingSize() const {
    return FloatingSizeFor(floatRightX_);
}

std::vector<std::pair<QSize, int>> TCustomToolWindow::FloatingArrangements() const {
    std::vector<std::pair<QSize, int>> result;
    const QSize widest = FloatingSizeFor(0);
    result.push_back({widest, 0});
    const QMargins nc = NonClient(false, dpTop, false);
    const int widestWrap = widest.width() - nc.left() - nc.right();
    for (int wrap = widestWrap - 1; wrap >= 8; --wrap) {
        const QSize size = FloatingSizeFor(wrap);
        if (size != result.back().first) result.push_back({size, wrap});
    }
    return result;
}

QRect TCustomToolWindow::CaptionRect() const {
    if (dockedTo_ || !showCaption_) return {};
    return QRect(kFloatingFrame, kFloatingFrame, width() - 2 * kFloatingFrame, kSmallCaption - 1);
}

QRect TCustomToolWindow::CloseButtonRect() const {
    if (dockedTo_) {
        if (!closeButtonWhenDocked_ || !DockAllowsDrag()) return {};
        return IsVertical() ? QRect(width() - kDockedBorder - 11, kDockedBorder + 1, 10, 10)
                            : QRect(kDockedBorder + 1, kDockedBorder + 1, 10, 10);
    }
    if (!closeButton_ || !showCaption_) return {};
    const QRect caption = CaptionRect();
    const int side = caption.height();
    return QRect(caption.right() - side + 1, caption.top(), side, side).adjusted(1, 1, -1, -1);
}

// ---- arrangement ------------------------------------------------------------------------

QSize TCustomToolWindow::ArrangeContent(bool apply, bool vertical, int thickness, int wrapWidth, const QPoint& origin) {
    // A plain tool window lays its controls side by side without groups.
    int along = 0;
    for (QWidget* control : Controls()) {
        if (!control->isVisibleTo(this)) continue;
        const int length = vertical ? control->height() : control->width();
        const int across = vertical ? control->width() : control->height();
        if (apply) {
            const int offset = (thickness - across) / 2;
            control->move(vertical ? QPoint(origin.x() + offset, origin.y() + along)
                                   : QPoint(origin.x() + along, origin.y() + offset));
        }
        along += length;
    }
    (void)wrapWidth;
    return vertical ? QSize(thickness, along) : QSize(along, thickness);
}

QSize TCustomToolbar::ArrangeContent(bool apply, bool vertical, int thickness, int wrapWidth, const QPoint& origin) {
    // Groups of controls split at separators; wrapping only happens while floating, where the
    // layout is horizontal.
    struct Group {
        TToolbarSep* separatorBefore = nullptr;
        std::vector<QWidget*> controls;
    };
    std::vector<Group> groups(1);
    for (QWidget* control : Controls()) {
        if (!control->isVisibleTo(this)) continue;
        if (auto* sep = qobject_cast<TToolbarSep*>(control)) {
            groups.push_back({sep, {}});
            continue;
        }
        groups.back().controls.push_back(control);
    }
    // A wrap width narrower than the margins still wraps: one control to a line.
    const int limit = wrapWidth > 0 ? std::max(1, wrapWidth - kFloatingMarginRight - kFloatingMarginLeft) : 0;
    auto lengthOf = [vertical](QWidget* w) { return vertical ? w->height() : w->width(); };
    auto acrossOf = [vertical](QWidget* w) { return vertical ? w->width() : w->height(); };
    auto place = [&](QWidget* w, int a, int c, int length, int across) {
        if (!apply) return;
        const QRect r = vertical ? QRect(origin.x() + c, origin.y() + a, across, length)
                                 : QRect(origin.x() + a, origin.y() + c, length, across);
        w->setGeometry(r);
    };
    struct WrappedSep {
        TToolbarSep* sep;
        int line;
    };
    std::vector<WrappedSep> wrappedSeps;
    int along = 0, line = 0, maxAlong = 0;
    bool forceNewLine = false;
    bool lineEmpty = true;
    for (size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        int groupLength = 0;
        for (QWidget* w : group.controls) groupLength += lengthOf(w);
        if (group.separatorBefore) {
            TToolbarSep* sep = group.separatorBefore;
            const int sepLength = vertical ? sep->SizeVert() : sep->SizeHorz();
            if (limit > 0 && !lineEmpty && (forceNewLine || along + sepLength + groupLength > limit)) {
                line += thickness + kWrappedLineGap;
                along = 0;
                lineEmpty = true;
                wrappedSeps.push_back({sep, line - kWrappedLineGap});
            } else {
                place(sep, along, line, sepLength, thickness);
                along += sepLength;
                maxAlong = std::max(maxAlong, along);
            }
        }
        forceNewLine = false;
        for (QWidget* w : group.controls) {
            const int length = lengthOf(w);
            if (limit > 0 && along > 0 && along + length > limit) {
                line += thickness;
                along = 0;
                forceNewLine = true;
            }
            place(w, along, line + (thickness - acrossOf(w)) / 2, length, acrossOf(w));
            along += length;
            lineEmpty = false;
            maxAlong = std::max(maxAlong, along);
        }
    }
    // A separator before a wrapped line becomes an etched line across the whole toolbar.
    for (const WrappedSep& wrapped : wrappedSeps)
        if (apply) wrapped.sep->setGeometry(origin.x(), origin.y() + wrapped.line, maxAlong, kWrappedLineGap);
    const int across = line + thickness;
    return vertical ? QSize(across, maxAlong) : QSize(maxAlong, across);
}

void TCustomToolWindow::SetDockedBounds(const QRect& bounds, int rowThickness) {
    rowThickness_ = rowThickness;
    arranging_ = true;
    setGeometry(bounds);
    const QMargins nc = NonClient(true, dockedTo_ ? dockedTo_->Position() : dpTop, DockAllowsDrag());
    ArrangeContent(true, IsVertical(), rowThickness, 0, QPoint(nc.left(), nc.top()));
    arranging_ = false;
    update();
}

void TCustomToolWindow::RelayoutFloating() {
    if (dockedTo_) return;
    arranging_ = true;
    const QSize size = FloatingSize();
    const QMargins nc = NonClient(false, dpTop, false);
    const QMargins m = ContentMargins(false);
    ArrangeContent(true, false, ContentThickness(false), floatRightX_,
                   QPoint(nc.left() + m.left(), nc.top() + m.top()));
    resize(size);
    if (floatParent_) floatParent_->resize(size);
    arranging_ = false;
    update();
}

void TCustomToolWindow::ContentChanged() {
    if (arranging_) return;
    if (dockedTo_)
        dockedTo_->ArrangeToolbars();
    else
        RelayoutFloating();
}

void TCustomToolWindow::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    if (!event->child()->isWidgetType()) return;
    auto* widget = static_cast<QWidget*>(event->child());
    if (event->added()) {
        controls_.push_back(widget);
        widget->installEventFilter(this);
        // The control is still being made: arrange once it has its size.
        if (!layoutPosted_) {
            layoutPosted_ = true;
            QCoreApplication::postEvent(this, new QEvent(QEvent::LayoutRequest));
        }
    } else if (event->removed()) {
        controls_.erase(std::remove(controls_.begin(), controls_.end(), QPointer<QWidget>(widget)), controls_.end());
        ContentChanged();
    }
}

bool TCustomToolWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedForm_) {
        switch (event->type()) {
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::WindowStateChange:
                UpdateFloatingVisibility();
                break;
            default:
                break;
        }
        return false;
    }
    if (watched->isWidgetType() && static_cast<QWidget*>(watched)->parentWidget() == this) {
        switch (event->type()) {
            case QEvent::Resize:
            case QEvent::ShowToParent:
            case QEvent::HideToParent:
                if (!arranging_) ContentChanged();
                break;
            default:
                break;
        }
    }
    return false;
}

void TCustomToolWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (OnMove) OnMove(this);
}

void TCustomToolWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize) OnResize(this);
}

// ---- docking and floating ------------------------------------------------------------------

void TCustomToolWindow::WatchForm(QWidget* form) {
    if (watchedForm_ == form) return;
    if (watchedForm_) watchedForm_->removeEventFilter(this);
    watchedForm_ = form;
    if (form) form->installEventFilter(this);
}

void TCustomToolWindow::UpdateFloatingVisibility() {
    if (dockedTo_ || !floatParent_) return;
    QWidget* form = form_;
    const bool formShown = !form || (form->isVisible() && !form->isMinimized());
    const bool appActive = QGuiApplication::applicationState() == Qt::ApplicationActive;
    const bool show = Visible() && formShown && (!hideWhenInactive_ || appActive);
    if (show != floatParent_->isVisible()) floatParent_->setVisible(show);
}

void TCustomToolWindow::FloatAt(const QPoint& topLeft) {
    if (!CanFloat()) return;
    TDock* old = dockedTo_;
    QWidget* form = ParentForm();
    if (OnDockChanging) OnDockChanging(this);
    if (OnDockChangingEx) OnDockChangingEx(this, nullptr);
    const bool wasHidden = !Visible();
    if (old) {
        if (OnDockChangingHidden) OnDockChangingHidden(this);
        lastDock_ = old;
        lastRow_ = dockRow_;
        lastPos_ = dockPos_;
        dockedTo_ = nullptr;
        old->RemoveBar(this);
    }
    form_ = form;
    WatchForm(form);
    const bool onTopOfAll = floatingMode_ == fmOnTopOfAllForms;
    if (OnRecreating) OnRecreating(this);
    TFloatingWindowParent* previous = floatParent_;
    if (!previous || previous->parentWidget() != (onTopOfAll ? nullptr : form)) {
        floatParent_ = new TFloatingWindowParent(this, form, onTopOfAll);
        setParent(floatParent_);
        if (previous) previous->deleteLater();
    } else if (parentWidget() != floatParent_) {
        setParent(floatParent_);
    }
    floatParent_->setWindowTitle(caption_);
    move(0, 0);
    RelayoutFloating();
    const QRect placed = KeepFloatingInWorkArea(QRect(topLeft, size()), WorkAreaAt(topLeft));
    floatingPos_ = placed.topLeft();
    floatingPosKnown_ = true;
    floatParent_->setGeometry(placed);
    QWidget::setVisible(!wasHidden);
    UpdateFloatingVisibility();
    if (OnRecreated) OnRecreated(this);
    if (OnDockChanged) OnDockChanged(this);
}

void TCustomToolWindow::DockInto(TDock* dock, int row, int pos) {
    if (!dock) return;
    TDock* old = dockedTo_;
    if (old == dock) {
        dockRow_ = row;
        dockPos_ = pos;
        dock->ArrangeToolbars(true);
        return;
    }
    if (OnDockChanging) OnDockChanging(this);
    if (OnDockChangingEx) OnDockChangingEx(this, dock);
    const bool wasHidden = !Visible();
    if (old) {
        if (OnDockChangingHidden) OnDockChangingHidden(this);
        lastDock_ = old;
        lastRow_ = dockRow_;
        lastPos_ = dockPos_;
        dockedTo_ = nullptr;
        old->RemoveBar(this);
    } else if (floatParent_) {
        floatingPos_ = floatParent_->pos();
        floatingPosKnown_ = true;
    }
    if (OnRecreating) OnRecreating(this);
    dockedTo_ = dock;
    dockRow_ = row;
    dockPos_ = pos;
    setParent(dock);
    QWidget::setVisible(!wasHidden);
    if (floatParent_) {
        floatParent_->hide();
        floatParent_->deleteLater();
        floatParent_ = nullptr;
    }
    WatchForm(nullptr);
    // The drop position stands: arrange so that the positions found become DockPos.
    dock->BeginUpdate();
    dock->InsertBar(this);
    dock->EndUpdate();
    dock->ArrangeToolbars(true);
    if (OnRecreated) OnRecreated(this);
    if (OnDockChanged) OnDockChanged(this);
}

bool TCustomToolWindow::ReturnToDock() {
    if (dockedTo_) return false;
    if (useLastDock_ && lastDock_) {
        DockInto(lastDock_, lastRow_, lastPos_);
        return true;
    }
    if (defaultDock_) {
        DockInto(defaultDock_, 0, -8);
        return true;
    }
    return false;
}

bool TCustomToolWindow::ToggleDocking() {
    if (dockedTo_) {
        if (!CanFloat()) return false;
        FloatAt(floatingPosKnown_ ? floatingPos_ : mapToGlobal(QPoint(0, 0)));
        return true;
    }
    return ReturnToDock();
}

void TCustomToolWindow::Close() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    SetVisible(false);
    if (OnClose) OnClose(this);
}

void TCustomToolWindow::RegisterDockForm(QWidget* form) {
    auto& forms = ExtraDockForms();
    if (std::find(forms.begin(), forms.end(), form) == forms.end()) forms.push_back(form);
}

void TCustomToolWindow::UnregisterDockForm(QWidget* form) {
    auto& forms = ExtraDockForms();
    forms.erase(std::remove(forms.begin(), forms.end(), QPointer<QWidget>(form)), forms.end());
}

// ---- dragging ----------------------------------------------------------------------------

std::vector<TDock*> TCustomToolWindow::DragCandidates() const {
    std::vector<TDock*> docks;
    if (dockMode_ == dmCannotFloatOrChangeDocks) {
        if (dockedTo_) docks.push_back(dockedTo_);
        return docks;
    }
    std::vector<QWidget*> forms;
    if (QWidget* form = ParentForm()) forms.push_back(form);
    for (const QPointer<QWidget>& extra : ExtraDockForms())
        if (extra && std::find(forms.begin(), forms.end(), extra.data()) == forms.end()) forms.push_back(extra);
    for (QWidget* form : forms) {
        std::vector<TDock*> found;
        CollectDocks(form, found);
        for (TDock* dock : found)
            if (dock->isVisible() && dock->AllowDrag() && (dockableTo_ & (1 << dock->Position())))
                docks.push_back(dock);
    }
    return docks;
}

void TCustomToolWindow::BeginDrag(const QPoint& grabOffset) {
    delete drag_;
    drag_ = new DragState;
    drag_->grab = grabOffset;
    drag_->startSize = size();
    drag_->startCursor = mapToGlobal(grabOffset);
    drag_->cursor = drag_->startCursor;
    for (TDock* dock : DragCandidates())
        drag_->candidates.push_back({dock, DockedSize(dock->Position(), dock->AllowDrag())});
    drag_->floatingSize = FloatingSize();
}

void TCustomToolWindow::DragTo(const QPoint& cursor, bool ctrlHeld) {
    if (!drag_) return;
    if (cursor != drag_->startCursor) drag_->moved = true;
    drag_->cursor = cursor;
    drag_->ctrl = ctrlHeld;
    EvaluateDrag();
}

void TCustomToolWindow::EvaluateDrag() {
    DragState& d = *drag_;
    d.target = nullptr;
    d.floats = false;
    d.rect = QRect();
    if (!d.ctrl) {
        for (const auto& [dock, newSize] : d.candidates) {
            const QRect screenRect(dock->mapToGlobal(QPoint(0, 0)), dock->size());
            if (!InDockZone(screenRect, dock->VisibleList().empty(), dock->IsVertical(), d.cursor, d.grab, d.startSize,
                            newSize))
                continue;
            bool accept = true;
            if (dock->OnRequestDock) dock->OnRequestDock(dock, this, accept);
            if (!accept) continue;
            d.target = dock;
            d.rect = PlaceAtCursor(d.cursor, d.grab, d.startSize, newSize);
            break;
        }
    }
    if (!d.target && CanFloat()) {
        const QRect work = WorkAreaAt(d.cursor);
        const QPoint clamped(std::clamp(d.cursor.x(), work.left(), work.right()),
                             std::clamp(d.cursor.y(), work.top(), work.bottom()));
        d.rect = KeepFloatingInWorkArea(PlaceAtCursor(clamped, d.grab, d.startSize, d.floatingSize), work);
        d.floats = true;
    }
    if (d.rect.isNull()) {
        d.outline.hide();
        setCursor(Qt::ForbiddenCursor);
    } else {
        unsetCursor();
        d.outline.Show(d.rect, d.floats ? kFloatingFrame : 1);
    }
}

TDock* TCustomToolWindow::DragTarget() const {
    return drag_ ? drag_->target.data() : nullptr;
}
bool TCustomToolWindow::DragWouldFloat() const {
    return drag_ && drag_->floats;
}
QRect TCustomToolWindow::DragRect() const {
    return drag_ ? drag_->rect : QRect();
}

void TCustomToolWindow::EndDrag(bool drop) {
    if (!drag_) return;
    std::unique_ptr<DragState> d(drag_);
    drag_ = nullptr;
    d->outline.hide();
    unsetCursor();
    releaseKeyboard();
    if (!drop || !d->moved) return;
    if (TDock* dock = d->target) {
        // The row from the middle of the rectangle across the dock; near a row boundary a new
        // row opens there.
        const QPoint inDock = dock->mapFromGlobal(d->rect.topLeft()) - dock->InnerOrigin();
        const QSize size = d->rect.size();
        const bool vertical = dock->IsVertical();
        const int middle = vertical ? inDock.x() + size.width() / 2 : inDock.y() + size.height() / 2;
        const std::vector<int>& rows = dock->RowSizes();
        const int n = static_cast<int>(rows.size());
        int row = -1;
        bool newRow = false;
        int boundary = 0;
        for (int k = 0; k <= n; ++k) {
            if (std::abs(middle - boundary) <= 5) {
                row = k;
                newRow = true;
                break;
            }
            if (k < n) boundary += rows[static_cast<size_t>(k)];
        }
        if (row < 0) {
            if (middle < 0) {
                row = 0;
                newRow = true;
            } else {
                int top = 0;
                for (int k = 0; k < n && row < 0; ++k) {
                    if (middle < top + rows[static_cast<size_t>(k)]) row = k;
                    top += rows[static_cast<size_t>(k)];
                }
                if (row < 0) {
                    row = n;
                    newRow = true;
                }
            }
        }
        if (!newRow && fullSize_) {
            const bool shared = std::any_of(dock->DockList().begin(), dock->DockList().end(),
                                            [&](TCustomToolWindow* b) { return b != this && b->dockRow_ == row; });
            if (shared) {
                ++row;
                newRow = true;
            }
        }
        if (newRow)
            for (TCustomToolWindow* other : dock->DockList())
                if (other != this && other->dockRow_ >= row) ++other->dockRow_;
        DockInto(dock, row, vertical ? inDock.y() : inDock.x());
    } else if (d->floats) {
        if (dockedTo_)
            FloatAt(d->rect.topLeft());
        else if (floatParent_) {
            const QRect placed = KeepFloatingInWorkArea(d->rect, WorkAreaAt(d->rect.center()));
            floatingPos_ = placed.topLeft();
            floatParent_->move(floatingPos_);
        }
    }
}

// ---- resizing a floating window ----------------------------------------------------------

int TCustomToolWindow::EdgeAt(const QPoint& pos) const {
    if (dockedTo_) return 0;
    if (pos.x() < kFloatingFrame) return 1;
    if (pos.x() >= width() - kFloatingFrame) return 2;
    if (pos.y() < kFloatingFrame) return 3;
    if (pos.y() >= height() - kFloatingFrame) return 4;
    return 0;
}

void TCustomToolWindow::ResizeTo(const QPoint& cursor) {
    ResizeState& r = *resize_;
    const QRect start = r.startRect;
    // The outline snaps to the arrangement whose edge lies nearest the cursor.
    int best = -1, bestDistance = 0;
    for (size_t i = 0; i < r.arrangements.size(); ++i) {
        const QSize s = r.arrangements[i].first;
        int distance = 0;
        switch (r.edge) {
            case 1:
                distance = std::abs(start.right() + 1 - s.width() - cursor.x());
                break;
            case 2:
                distance = std::abs(start.left() + s.width() - cursor.x());
                break;
            case 3:
                distance = std::abs(start.bottom() + 1 - s.height() - cursor.y());
                break;
            default:
                distance = std::abs(start.top() + s.height() - cursor.y());
                break;
        }
        if (best < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    r.chosen = best;
    if (best < 0) return;
    const QSize s = r.arrangements[static_cast<size_t>(best)].first;
    QRect outline(start.topLeft(), s);
    if (r.edge == 1) outline.moveRight(start.right());
    if (r.edge == 3) outline.moveBottom(start.bottom());
    r.outline.Show(outline, kFloatingFrame);
}

// ---- mouse and keyboard -----------------------------------------------------------------

void TCustomToolWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (drag_) {  // a second press ends the drag where it stands
        EndDrag(false);
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (!dockedTo_) {
        if (floatParent_) floatParent_->raise();
        if (activateParent_ && form_) form_->activateWindow();
    }
    if (CloseButtonRect().contains(pos)) {
        closePressed_ = true;
        closeDown_ = true;
        update();
        return;
    }
    if (const int edge = EdgeAt(pos)) {
        delete resize_;
        resize_ = new ResizeState;
        resize_->edge = edge;
        resize_->arrangements = FloatingArrangements();
        resize_->startRect = QRect(mapToGlobal(QPoint(0, 0)), size());
        grabKeyboard();
        return;
    }
    if (dockedTo_ && !dockedTo_->AllowDrag()) return;
    BeginDrag(pos);
    grabKeyboard();
}

void TCustomToolWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (closePressed_) {
        const bool over = CloseButtonRect().contains(pos);
        if (over != closeDown_) {
            closeDown_ = over;
            update();
        }
        return;
    }
    if (resize_) {
        ResizeTo(event->globalPosition().toPoint());
        return;
    }
    if (drag_) {
        DragTo(event->globalPosition().toPoint(), event->modifiers() & Qt::ControlModifier);
        return;
    }
    switch (EdgeAt(pos)) {
        case 1:
        case 2:
            setCursor(Qt::SizeHorCursor);
            break;
        case 3:
        case 4:
            setCursor(Qt::SizeVerCursor);
            break;
        default:
            unsetCursor();
            break;
    }
}

void TCustomToolWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (closePressed_) {
        const bool over = CloseButtonRect().contains(event->position().toPoint());
        closePressed_ = false;
        closeDown_ = false;
        update();
        if (over) Close();
        return;
    }
    if (resize_) {
        std::unique_ptr<ResizeState> r(resize_);
        resize_ = nullptr;
        r->outline.hide();
        releaseKeyboard();
        if (r->chosen >= 0) {
            const auto& [size, wrap] = r->arrangements[static_cast<size_t>(r->chosen)];
            QPoint topLeft = r->startRect.topLeft();
            if (r->edge == 1) topLeft.setX(r->startRect.right() + 1 - size.width());
            if (r->edge == 3) topLeft.setY(r->startRect.bottom() + 1 - size.height());
            SetFloatRightX(wrap);
            floatingPos_ = topLeft;
            if (floatParent_) floatParent_->move(topLeft);
        }
        return;
    }
    if (drag_) EndDrag(true);
}

void TCustomToolWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    EndDrag(false);
    if (CloseButtonRect().contains(event->position().toPoint())) return;
    if (dockedTo_ && !dockedTo_->AllowDrag()) return;
    ToggleDocking();
}

void TCustomToolWindow::keyPressEvent(QKeyEvent* event) {
    if (drag_) {
        if (event->key() == Qt::Key_Escape)
            EndDrag(false);
        else if (event->key() == Qt::Key_Control) {
            drag_->ctrl = true;
            EvaluateDrag();
        }
        return;
    }
    if (resize_ && event->key() == Qt::Key_Escape) {
        delete resize_;
        resize_ = nullptr;
        releaseKeyboard();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TCustomToolWindow::keyReleaseEvent(QKeyEvent* event) {
    if (drag_ && event->key() == Qt::Key_Control) {
        drag_->ctrl = false;
        EvaluateDrag();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

bool TCustomToolWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::LayoutRequest:
            if (layoutPosted_) {
                layoutPosted_ = false;
                ContentChanged();
            }
            return true;
        case QEvent::ParentChange:
            if (!dockedTo_ && floatParent_ && parentWidget() == floatParent_) UpdateFloatingVisibility();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

// ---- painting ------------------------------------------------------------------------------

void TCustomToolWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (dockedTo_)
        PaintDocked(p);
    else
        PaintFloating(p);
}

void TCustomToolWindow::PaintDocked(QPainter& p) {
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor light = pal.color(QPalette::Light);
    const QColor shadow = pal.color(QPalette::Dark);
    p.fillRect(rect(), face);
    if (dockedTo_->BackgroundOnToolbars()) {
        const QPixmap tile = dockedTo_->BackgroundPixmap();
        if (!tile.isNull()) p.drawTiledPixmap(rect(), tile, pos());
    }
    const QRect outer = rect();
    if (borderStyle_ == bsSingle) RaisedEdge(p, outer, light, shadow);
    if (!DockAllowsDrag()) return;
    const bool vertical = IsVertical();
    const int bars = dragHandleStyle_ == dhDouble ? 2 : (dragHandleStyle_ == dhSingle ? 1 : 0);
    const int start = closeButtonWhenDocked_ ? kDockedBorder + 2 + 10 : 4;
    for (int i = 0; i < bars; ++i) {
        const int at = start + 3 * i;
        const QRect bar = vertical ? QRect(kDockedBorder + 2, at, width() - 2 * (kDockedBorder + 2), 3)
                                   : QRect(at, kDockedBorder + 2, 3, height() - 2 * (kDockedBorder + 2));
        RaisedEdge(p, bar, light, shadow);
    }
    const QRect close = CloseButtonRect();
    if (!close.isNull()) {
        if (closeDown_)
            RaisedEdge(p, close, shadow, light);
        else
            RaisedEdge(p, close, light, shadow);
        p.setPen(pal.color(QPalette::ButtonText));
        const QRect x = close.adjusted(3, 3, -3, -3).translated(closeDown_ ? 1 : 0, closeDown_ ? 1 : 0);
        p.drawLine(x.topLeft(), x.bottomRight());
        p.drawLine(x.topRight(), x.bottomLeft());
    }
}

void TCustomToolWindow::PaintFloating(QPainter& p) {
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor light = pal.color(QPalette::Light);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor darkShadow = pal.color(QPalette::Shadow);
    p.fillRect(rect(), face);
    RaisedEdge(p, rect(), light, darkShadow);
    RaisedEdge(p, rect().adjusted(1, 1, -1, -1), face, shadow);
    if (!showCaption_) return;
    const QRect caption = CaptionRect();
    QWidget* form = form_;
    const bool active = (form && form->isActiveWindow()) || (floatParent_ && floatParent_->isActiveWindow());
    QLinearGradient gradient(caption.topLeft(), caption.topRight());
    if (active) {
        gradient.setColorAt(0, QColor(10, 36, 106));
        gradient.setColorAt(1, QColor(166, 202, 240));
    } else {
        gradient.setColorAt(0, QColor(128, 128, 128));
        gradient.setColorAt(1, QColor(192, 192, 192));
    }
    p.fillRect(caption, gradient);
    const QRect close = CloseButtonRect();
    QRect textRect = caption.adjusted(2, 0, -2, 0);
    if (!close.isNull()) textRect.setRight(close.left() - 2);
    QFont font = this->font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    const QFontMetrics metrics(font);
    const QString text = ShortenCaption(caption_, textRect.width(),
                                        [&metrics](const QString& s) { return metrics.horizontalAdvance(s); });
    p.setPen(active ? QColor(Qt::white) : QColor(212, 208, 200));
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    if (!close.isNull()) {
        p.fillRect(close, face);
        if (closeDown_) {
            RaisedEdge(p, close, darkShadow, light);
        } else {
            RaisedEdge(p, close, light, darkShadow);
            RaisedEdge(p, close.adjusted(1, 1, -1, -1), face, shadow);
        }
        QPen pen(pal.color(QPalette::ButtonText));
        pen.setWidth(1);
        p.setPen(pen);
        const QRect x = close.adjusted(3, 3, -4, -4).translated(closeDown_ ? 1 : 0, closeDown_ ? 1 : 0);
        for (int d = 0; d < 2; ++d) {
            p.drawLine(x.left() + d, x.top(), x.right() + d - 1, x.bottom());
            p.drawLine(x.right() + d - 1, x.top(), x.left() + d, x.bottom());
        }
    }
}

// ---- separator -------------------------------------------------------------------------

TToolbarSep::TToolbarSep(QWidget* parent) : QWidget(parent) {
    if (!qobject_cast<TCustomToolbar*>(parent)) {
        throw EToolbarError("TToolbarSep can only be placed on a TToolbar");
    }
    resize(sizeHorz_, 22);
    show();  // visible unless hidden, also when made after the toolbar is on screen
}

void TToolbarSep::SetSizeHorz(int size) {
    sizeHorz_ = std::max(0, size);
    Changed();
}

void TToolbarSep::SetSizeVert(int size) {
    sizeVert_ = std::max(0, size);
    Changed();
}

void TToolbarSep::SetBlank(bool blank) {
    blank_ = blank;
    update();
}

void TToolbarSep::Changed() {
    if (auto* bar = qobject_cast<TCustomToolWindow*>(parentWidget())) bar->ContentChanged();
}

void TToolbarSep::paintEvent(QPaintEvent*) {
    if (blank_) return;
    QPainter p(this);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    if (width() <= height()) {
        const int x = width() / 2 - 1;
        p.setPen(shadow);
        p.drawLine(x, 0, x, height() - 1);
        p.setPen(light);
        p.drawLine(x + 1, 0, x + 1, height() - 1);
    } else {
        const int y = height() / 2 - 1;
        p.setPen(shadow);
        p.drawLine(0, y, width() - 1, y);
        p.setPen(light);
        p.drawLine(0, y + 1, width() - 1, y + 1);
    }
}

// ---- floating holder ---------------------------------------------------------------------

TFloatingWindowParent::TFloatingWindowParent(TCustomToolWindow* toolWindow, QWidget* form, bool onTopOfAll)
    : QWidget(onTopOfAll ? nullptr : form,
              Qt::Tool | Qt::FramelessWindowHint | (onTopOfAll ? Qt::WindowStaysOnTopHint : Qt::WindowFlags())),
      form_(form) {
    setObjectName(QString("FloatingWindowParent_%1")
                      .arg(static_cast<quint32>(reinterpret_cast<quintptr>(toolWindow)), 8, 16, QChar('0')));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(toolWindow->Caption());
}

void TFloatingWindowParent::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && form_) {
        form_->activateWindow();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tessel
