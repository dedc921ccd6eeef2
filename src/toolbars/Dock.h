#pragma once

// Docks of dockable toolbars.

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "base/Exceptions.h"

namespace tessel {

class TCustomToolWindow;

enum TDockPosition { dpTop, dpBottom, dpLeft, dpRight };

enum TDockBoundLine { blTop = 1, blBottom = 2, blLeft = 4, blRight = 8 };
using TDockBoundLines = int;  // a set of TDockBoundLine

// The failures of misplaced docks, tool windows and separators.
class EToolbarError : public Exception {
public:
    using Exception::Exception;
};

// A strip along one edge of its parent that lays its tool windows out in rows. It may also hold
// ordinary controls, which it leaves where they are; when no tool window is visible in it, it
// shrinks to its minimum thickness (none unless set), hiding what does not fit.
class TDock : public QWidget {
    Q_OBJECT

public:
    explicit TDock(QWidget* parent, TDockPosition position = dpTop);
    ~TDock() override;

    TDockPosition Position() const { return position_; }
    void SetPosition(TDockPosition position);
    bool IsVertical() const { return position_ == dpLeft || position_ == dpRight; }

    bool AllowDrag() const { return allowDrag_; }
    void SetAllowDrag(bool allow);
    bool LimitToOneRow() const { return limitToOneRow_; }
    void SetLimitToOneRow(bool limit);
    bool FixAlign() const { return fixAlign_; }
    void SetFixAlign(bool fix);
    TDockBoundLines BoundLines() const { return boundLines_; }
    void SetBoundLines(TDockBoundLines lines);
    const QImage& Background() const { return background_; }
    void SetBackground(const QImage& background);
    bool BackgroundOnToolbars() const { return backgroundOnToolbars_; }
    void SetBackgroundOnToolbars(bool on);
    bool BackgroundTransparent() const { return backgroundTransparent_; }
    void SetBackgroundTransparent(bool on);
    QColor Color() const;
    void SetColor(const QColor& color);
    // The thickness the dock keeps at least, also with no tool window in it, so that the
    // controls placed on it stay in sight and a floating tool window can be dropped back
    // anywhere over it. 0: it shrinks to nothing.
    int MinThickness() const { return minThickness_; }
    void SetMinThickness(int thickness);
    QString Version() const;

    std::function<void(TDock*, bool inserting, TCustomToolWindow* bar)> OnInsertRemoveBar;
    std::function<void(TDock*, TCustomToolWindow* bar, bool& accept)> OnRequestDock;
    std::function<void(TDock*)> OnResize;

    // Every tool window docked here (in the order they came), and the visible ones.
    const std::vector<TCustomToolWindow*>& DockList() const { return dockList_; }
    std::vector<TCustomToolWindow*> VisibleList() const;
    // Docked thickness of each row, after the last arrangement.
    const std::vector<int>& RowSizes() const { return rowSizes_; }
    // Thickness across the edge: the rows plus the bound lines (0, or 1 with FixAlign, when
    // nothing is visible).
    int Thickness() const { return thickness_; }
    // Length along the edge available to tool windows.
    int InnerLength() const;
    // The offset of the inner area from the dock's top-left (bound lines).
    QPoint InnerOrigin() const;

    // Lays the tool windows out. `keepPositions`: after a drop, the positions found become the
    // tool windows' DockPos.
    void ArrangeToolbars(bool keepPositions = false);
    // Holds back arrangements until the matching End, then arranges once.
    void BeginUpdate() { ++updateLock_; }
    void EndUpdate();

    // The tiled background (with the transparent colour resolved), for tool windows that show it.
    QPixmap BackgroundPixmap() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TCustomToolWindow;
    void InsertBar(TCustomToolWindow* bar);
    void RemoveBar(TCustomToolWindow* bar);
    void BarVisibilityChanged(TCustomToolWindow* bar, bool visible);
    void AlignToParent();

    TDockPosition position_;
    bool allowDrag_ = true;
    bool limitToOneRow_ = false;
    bool fixAlign_ = false;
    TDockBoundLines boundLines_ = 0;
    QImage background_;
    bool backgroundOnToolbars_ = true;
    bool backgroundTransparent_ = false;
    std::optional<QColor> color_;

    std::vector<TCustomToolWindow*> dockList_;
    std::vector<int> rowSizes_;
    int thickness_ = 0;
    int minThickness_ = 0;
    int updateLock_ = 0;
    bool arrangePending_ = false;
    bool arranging_ = false;
    bool aligning_ = false;
};

}  // namespace tessel
