#pragma once

// Dockable and floating tool windows.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "toolbars/Dock.h"

namespace tessel {

class TDragOutline;
class TFloatingWindowParent;

// Dock positions a tool window may be dropped on: a set of (1 << TDockPosition).
using TDockableTo = int;
constexpr TDockableTo kDockableToAll = (1 << dpTop) | (1 << dpBottom) | (1 << dpLeft) | (1 << dpRight);

enum TToolWindowDockMode { dmCanFloat, dmCannotFloat, dmCannotFloatOrChangeDocks };
enum TDragHandleStyle { dhDouble, dhNone, dhSingle };
enum TToolWindowFloatingMode { fmOnTopOfParentForm, fmOnTopOfAllForms };
enum TToolWindowBorderStyle { bsNone, bsSingle };

// Sizes of the docked and floating frames.
namespace toolwindow {
constexpr int kDockedBorder = 2;
constexpr int kFloatingFrame = 4;  // the size frame: floating tool windows are resizable
constexpr int kSmallCaption = 15;  // the small caption bar
constexpr int kMinContentThickness = 8;
constexpr int kFloatingMarginLeft = 4, kFloatingMarginRight = 4, kFloatingMarginTop = 2, kFloatingMarginBottom = 1;
constexpr int kWrappedLineGap = 6;

// Thickness of the grip at the leading edge of a docked tool window.
int GripSize(TDragHandleStyle style, bool closeButtonWhenDocked);

// Whether a tool window dragged with the cursor at `cursor` would go into a dock whose screen
// rectangle is `dock`: `grab` is the grab point's offset inside the tool window, `oldSize` its
// current size and `newSize` its size in that dock.
bool InDockZone(const QRect& dock, bool dockEmpty, bool verticalDock, const QPoint& cursor, const QPoint& grab,
                const QSize& oldSize, const QSize& newSize);

// Where a tool window of `newSize` lies when the cursor is at `cursor`, keeping the grab point's
// relative place inside it.
QRect PlaceAtCursor(const QPoint& cursor, const QPoint& grab, const QSize& oldSize, const QSize& newSize);

// Moves a floating window's rectangle so that its inner part (inset by the frame plus 4) lies
// inside the work area and its top edge does not leave the top of the work area.
QRect KeepFloatingInWorkArea(QRect rect, const QRect& workArea);

// A caption shortened to `width`: characters before "..." are removed until it fits or only
// four characters remain.
QString ShortenCaption(const QString& caption, int width, const std::function<int(const QString&)>& measure);
}  // namespace toolwindow

// The base of every dockable window: it sits in a TDock or floats in a small window of its own
// with a caption and a close button, and the user drags it between the two.
class TCustomToolWindow : public QWidget {
    Q_OBJECT

public:
    // `parent`: the dock it starts in, or the form it floats over.
    explicit TCustomToolWindow(QWidget* parent);
    ~TCustomToolWindow() override;

    TDock* DockedTo() const { return dockedTo_; }
    // Docks into `dock` (row and position as they stand), or floats when `dock` is none.
    void SetDockedTo(TDock* dock);
    bool Floating() const { return dockedTo_ == nullptr; }
    int DockRow() const { return dockRow_; }
    void SetDockRow(int row);
    int DockPos() const { return dockPos_; }
    void SetDockPos(int pos);
    TDockableTo DockableTo() const { return dockableTo_; }
    void SetDockableTo(TDockableTo set) { dockableTo_ = set; }
    TToolWindowDockMode DockMode() const { return dockMode_; }
    void SetDockMode(TToolWindowDockMode mode);
    TDragHandleStyle DragHandleStyle() const { return dragHandleStyle_; }
    void SetDragHandleStyle(TDragHandleStyle style);
    bool FullSize() const { return fullSize_; }
    void SetFullSize(bool fullSize);
    TToolWindowFloatingMode FloatingMode() const { return floatingMode_; }
    void SetFloatingMode(TToolWindowFloatingMode mode);
    bool HideWhenInactive() const { return hideWhenInactive_; }
    void SetHideWhenInactive(bool hide);
    bool ActivateParent() const { return activateParent_; }
    void SetActivateParent(bool activate) { activateParent_ = activate; }
    TToolWindowBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TToolWindowBorderStyle style);
    bool CloseButton() const { return closeButton_; }
    void SetCloseButton(bool on);
    bool CloseButtonWhenDocked() const { return closeButtonWhenDocked_; }
    void SetCloseButtonWhenDocked(bool on);
    bool ShowCaption() const { return showCaption_; }
    void SetShowCaption(bool on);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool UseLastDock() const { return useLastDock_; }
    void SetUseLastDock(bool on) { useLastDock_ = on; }
    TDock* LastDock() const { return lastDock_; }
    void SetLastDock(TDock* dock) { lastDock_ = dock; }
    TDock* DefaultDock() const { return defaultDock_; }
    void SetDefaultDock(TDock* dock) { defaultDock_ = dock; }
    QPoint FloatingPosition() const { return floatingPos_; }
    void SetFloatingPosition(const QPoint& topLeft);
    int FloatRightX() const { return floatRightX_; }
    void SetFloatRightX(int width);
    QString Version() const;

    // The Visible property: the tool window's own flag, whether docked or floating.
    bool Visible() const { return parentWidget() ? isVisibleTo(parentWidget()) : !isHidden(); }
    void SetVisible(bool visible);
    void setVisible(bool visible) override;
    bool IsVertical() const { return dockedTo_ && dockedTo_->IsVertical(); }
    // The form the tool window belongs to, docked or floating.
    QWidget* ParentForm() const;
    // The top-level window holding a floating tool window (none while docked).
    QWidget* FloatingWindow() const;

    std::function<void(TCustomToolWindow*)> OnClose;
    std::function<void(TCustomToolWindow*, bool& canClose)> OnCloseQuery;
    std::function<void(TCustomToolWindow*)> OnDockChanged;
    std::function<void(TCustomToolWindow*)> OnDockChanging;
    std::function<void(TCustomToolWindow*, TDock* toDock)> OnDockChangingEx;
    std::function<void(TCustomToolWindow*)> OnDockChangingHidden;
    std::function<void(TCustomToolWindow*)> OnMove;
    std::function<void(TCustomToolWindow*)> OnRecreated;
    std::function<void(TCustomToolWindow*)> OnRecreating;
    std::function<void(TCustomToolWindow*)> OnResize;
    std::function<void(TCustomToolWindow*)> OnVisibleChanged;

    // Lays the controls out now (it happens on its own once new controls have their sizes).
    void Arrange() { ContentChanged(); }
    // What the close button does: asks OnCloseQuery, hides, then runs OnClose.
    void Close();
    // What a double click does: a docked window floats at its last floating place; a floating
    // one goes back to its last dock (or the default dock, first in row 0). False when it has
    // nowhere to go.
    bool ToggleDocking();
    bool ReturnToDock();
    // Floats with the window's top-left at `topLeft` (screen), kept inside the work area.
    void FloatAt(const QPoint& topLeft);
    // Docks into `dock` at `row` and `pos`.
    void DockInto(TDock* dock, int row, int pos);

    // The drag, as the mouse drives it (screen coordinates). Public so that moves can be
    // replayed exactly.
    void BeginDrag(const QPoint& grabOffset);
    void DragTo(const QPoint& cursor, bool ctrlHeld);
    void EndDrag(bool drop);
    bool Dragging() const { return drag_ != nullptr; }
    TDock* DragTarget() const;
    bool DragWouldFloat() const;
    QRect DragRect() const;
    std::vector<TDock*> DragCandidates() const;

    // Sizes the tool window takes docked at an edge (with or without the grip) and floating.
    QSize DockedSize(TDockPosition position, bool withGrip) const;
    QSize FloatingSize() const;
    QSize FloatingSizeFor(int wrapWidth) const;
    // The thickness of the content across a row: the largest visible control, at least 8.
    virtual int ContentThickness(bool vertical) const;
    // Rectangles of the caption bar and of the close button (widget coordinates; empty when absent).
    QRect CaptionRect() const;
    QRect CloseButtonRect() const;
    // The distinct sizes a floating window can take, widest first, with the wrap width of each.
    std::vector<std::pair<QSize, int>> FloatingArrangements() const;

    // Forms besides the own one whose docks take part in drags.
    static void RegisterDockForm(QWidget* form);
    static void UnregisterDockForm(QWidget* form);

protected:
    // Lays the controls out from `origin` across rows `thickness` thick, wrapping at
    // `wrapWidth` (0: never) and returns the extent of the content. With `apply` false only
    // measures.
    virtual QSize ArrangeContent(bool apply, bool vertical, int thickness, int wrapWidth, const QPoint& origin);
    // The controls in the order they were added.
    std::vector<QWidget*> Controls() const;
    QMargins NonClient(bool docked, TDockPosition position, bool withGrip) const;
    QMargins ContentMargins(bool docked) const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void childEvent(QChildEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TDock;
    friend class TFloatingWindowParent;
    friend class TToolbarSep;
    struct DragState;
    struct ResizeState;
    // Called by the dock to place the window in a row of `rowThickness` (content thickness).
    void SetDockedBounds(const QRect& bounds, int rowThickness);
    void ContentChanged();
    void RelayoutFloating();
    void UpdateFloatingVisibility();
    void WatchForm(QWidget* form);
    bool CanFloat() const { return dockMode_ == dmCanFloat; }
    bool DockAllowsDrag() const;
    void PaintDocked(QPainter& p);
    void PaintFloating(QPainter& p);
    void EvaluateDrag();
    int EdgeAt(const QPoint& pos) const;
    void ResizeTo(const QPoint& cursor);

    QPointer<TDock> dockedTo_;
    int dockRow_ = 0;
    int dockPos_ = -1;
    TDockableTo dockableTo_ = kDockableToAll;
    TToolWindowDockMode dockMode_ = dmCanFloat;
    TDragHandleStyle dragHandleStyle_ = dhDouble;
    bool fullSize_ = false;
    TToolWindowFloatingMode floatingMode_ = fmOnTopOfParentForm;
    bool hideWhenInactive_ = true;
    bool activateParent_ = true;
    TToolWindowBorderStyle borderStyle_ = bsSingle;
    bool closeButton_ = true;
    bool closeButtonWhenDocked_ = false;
    bool showCaption_ = true;
    QString caption_;
    bool useLastDock_ = true;
    QPointer<TDock> lastDock_;
    QPointer<TDock> defaultDock_;
    int lastRow_ = 0;
    int lastPos_ = -1;
    QPoint floatingPos_;
    bool floatingPosKnown_ = false;
    int floatRightX_ = 0;
    int rowThickness_ = 0;

    QPointer<QWidget> form_;
    QPointer<QWidget> watchedForm_;
    TFloatingWindowParent* floatParent_ = nullptr;
    std::vector<QPointer<QWidget>> controls_;
    bool arranging_ = false;
    bool layoutPosted_ = false;
    bool closePressed_ = false;
    bool closeDown_ = false;
    DragState* drag_ = nullptr;
    ResizeState* resize_ = nullptr;
};

// A tool window whose controls are laid out in groups between separators.
class TCustomToolbar : public TCustomToolWindow {
    Q_OBJECT

public:
    explicit TCustomToolbar(QWidget* parent) : TCustomToolWindow(parent) {}

protected:
    QSize ArrangeContent(bool apply, bool vertical, int thickness, int wrapWidth, const QPoint& origin) override;
};

class TToolbar : public TCustomToolbar {
    Q_OBJECT

public:
    explicit TToolbar(QWidget* parent) : TCustomToolbar(parent) {}
};

// A gap between groups of a toolbar, drawn as an etched line.
class TToolbarSep : public QWidget {
    Q_OBJECT

public:
    explicit TToolbarSep(QWidget* parent);

    int SizeHorz() const { return sizeHorz_; }
    void SetSizeHorz(int size);
    int SizeVert() const { return sizeVert_; }
    void SetSizeVert(int size);
    bool Blank() const { return blank_; }
    void SetBlank(bool blank);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();
    int sizeHorz_ = 6;
    int sizeVert_ = 6;
    bool blank_ = false;
};

// The invisible borderless owner window of a floating tool window.
class TFloatingWindowParent : public QWidget {
    Q_OBJECT

public:
    TFloatingWindowParent(TCustomToolWindow* toolWindow, QWidget* form, bool onTopOfAll);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<QWidget> form_;
};

}  // namespace tessel
