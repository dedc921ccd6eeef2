// The answer grid's mouse on the title row (column sizing, column moving, title buttons),
// record multi-selection, the ditto commands and the key filter while the grid has the focus.

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "framework/data/Fields.h"
#include "grid/DbGrid.h"
#include "grid/DbInplaceEdit.h"
#include "grid/GridGlyphs.h"

namespace tessel {

namespace {

// Sets the link's active record for a while; restored also by an exception.
class RowGuard {
public:
    RowGuard(TDbGridDataLink& link, int row) : link_(link), saved_(link.ActiveRecord()) { link_.SetActiveRecord(row); }
    ~RowGuard() { link_.SetActiveRecord(saved_); }
    RowGuard(const RowGuard&) = delete;
    RowGuard& operator=(const RowGuard&) = delete;

private:
    TDbGridDataLink& link_;
    int saved_;
};

constexpr int kDragThresholdX = 2;
constexpr int kDragThresholdY = 3;
constexpr int kDragScrollMargin = 10;
constexpr int kDragTimerMs = 100;

}  // namespace

// ------------------------------------------------------------------------ title row

int TDbCustomGrid::TitleDividerAt(const QPoint& p, int before, int after) const {
    if (titleOffset_ == 0 || p.y() < 0 || p.y() >= titleRowHeight_) return -1;
    const int last = LastVisibleCol();
    // The fixed data columns are sized only with dgFixedResizable; the indicator never.
    const int first = options_.Has(dgFixedResizable) ? indicatorOffset_ : std::max(indicatorOffset_, FixedCols());
    for (int c = first; c <= last && c < ColCount(); ++c) {
        const QRect r = CellRect(c, 0);
        if (r.isEmpty()) continue;
        const int edge = r.right() + 1;
        if (p.x() >= edge - before && p.x() <= edge + after) return c;
    }
    return -1;
}

bool TDbCustomGrid::TitleMousePress(QMouseEvent* event, const QPoint& cell) {
    if (event->button() != Qt::LeftButton || !dataLink_->Active() || titleOffset_ == 0) return false;
    const QPoint p = event->position().toPoint();
    if (p.y() < 0 || p.y() >= titleRowHeight_) return false;
    if (GridOptions() & GridOptionBit(goColSizing)) {
        const int divider = TitleDividerAt(p, 3, 2);
        if (divider >= 0) {
            bool posted = true;
            Guarded([&] {
                posted = false;
                if (dataLink_->Modified()) dataLink_->UpdateRecord();
                posted = true;
            });
            if (!posted) return true;
            HideEditor();
            sizeCol_ = divider;
            sizeStartX_ = p.x();
            sizeStartWidth_ = ColWidth(divider);
            return true;
        }
    }
    if (cell.y() != 0 || cell.x() < FixedCols() || !GetColField(cell.x())) return false;
    dragCol_ = cell.x();
    dragPending_ = true;
    dragMoving_ = false;
    dragStart_ = dragPos_ = p;
    dragDirection_ = 0;
    if (titleButtons_) {
        titleDownCol_ = cell.x();
        titlePressed_ = true;
        InvalidateCell(cell.x(), 0);
    }
    return true;
}

void TDbCustomGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (sizeCol_ >= 0) {
        SetColWidth(sizeCol_, std::max(1, sizeStartWidth_ + p.x() - sizeStartX_));
        return;
    }
    if (dragPending_ || dragMoving_) {
        if (p.x() != dragPos_.x()) dragDirection_ = p.x() > dragPos_.x() ? 1 : -1;
        dragPos_ = p;
        if (!dragMoving_ && (std::abs(p.x() - dragStart_.x()) > kDragThresholdX ||
                             std::abs(p.y() - dragStart_.y()) > kDragThresholdY)) {
            dragPending_ = false;
            dragMoving_ = true;
            if (titlePressed_) {
                titlePressed_ = false;
                InvalidateCell(titleDownCol_, 0);
            }
            const QRect title = CellRect(dragCol_, 0);
            const int indicatorWidth = indicatorOffset_ ? ColWidth(0) : 0;
            const int width = std::min(title.width(), ClientSize().width() - indicatorWidth);
            QImage picture(std::max(1, width), std::max(1, title.height()), QImage::Format_ARGB32_Premultiplied);
            picture.fill(titleColor_);
            {
                QPainter painter(&picture);
                painter.translate(-title.left(), -title.top());
                DrawCell(painter, dragCol_, 0, title, gdFixed);
            }
            dragImage_ = picture;
            dragGrab_ = std::clamp(dragStart_.x() - title.left(), 0, width);
            if (!dragTimer_) {
                dragTimer_ = new QTimer(this);
                dragTimer_->setInterval(kDragTimerMs);
                connect(dragTimer_, &QTimer::timeout, this, [this] { DragTimerTick(); });
            }
            dragTimer_->start();
        }
        if (dragMoving_) viewport()->update();
        return;
    }
    // Over a title divider the pointer shows that the column can be sized.
    if (dataLink_->Active() && (GridOptions() & GridOptionBit(goColSizing)) && TitleDividerAt(p, 3, 2) >= 0)
        viewport()->setCursor(Qt::SplitHCursor);
    else
        viewport()->unsetCursor();
    TCustomGrid::mouseMoveEvent(event);
}

void TDbCustomGrid::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (sizeCol_ >= 0) {
        const int col = sizeCol_;
        sizeCol_ = -1;
        Guarded([&] { ColumnWidthChangedByUser(col, ColWidth(col)); });
        return;
    }
    if (dragMoving_) {
        dragPos_ = p;
        const int drop = DragDropColumn();
        const int source = dragCol_;
        dragMoving_ = false;
        dragCol_ = -1;
        if (dragTimer_) dragTimer_->stop();
        dragImage_ = QImage();
        viewport()->update();
        if (drop >= 0 && drop != source)
            Guarded([&] { ColumnMovedByUser(source - indicatorOffset_, drop - indicatorOffset_); });
        return;
    }
    if (dragPending_) {
        dragPending_ = false;
        const int pressed = titlePressed_ ? titleDownCol_ : -1;
        dragCol_ = -1;
        if (titlePressed_) {
            titlePressed_ = false;
            InvalidateCell(titleDownCol_, 0);
        }
        titleDownCol_ = -1;
        const QPoint cell = MouseCoord(p);
        if (pressed >= 0 && cell == QPoint(pressed, 0) && OnTitleButtonClick)
            Guarded([&] { OnTitleButtonClick(*this, GetColField(pressed)); });
        return;
    }
    TCustomGrid::mouseReleaseEvent(event);
}

int TDbCustomGrid::DragDropColumn() const {
    if (!dragMoving_) return -1;
    const int y = titleOffset_ ? CellRect(std::max(LeftCol(), FixedCols()), 0).center().y() : 0;
    const QPoint cell = MouseCoord(QPoint(dragPos_.x(), y));
    int drop = cell.x();
    if (drop < 0) {
        // Right of the last column counts as the last column; left of everything as the first.
        drop = dragPos_.x() < 0 ? LeftCol() : LastVisibleCol();
    } else if (drop < FixedCols()) {
        drop = LeftCol();
    }
    return std::clamp(drop, FixedCols(), ColCount() - 1);
}

void TDbCustomGrid::DragTimerTick() {
    if (!dragMoving_) return;
    const int x = dragPos_.x();
    if (dragDirection_ > 0 && x >= ClientSize().width() - kDragScrollMargin) {
        const QRect last = CellRect(ColCount() - 1, 0);
        const bool lastWhole = !last.isEmpty() && last.right() < ClientSize().width();
        if (!lastWhole && LeftCol() < ColCount() - 1) SetLeftCol(LeftCol() + 1);
    } else if (dragDirection_ < 0 && LeftCol() > FixedCols()) {
        const QRect first = CellRect(LeftCol(), 0);
        if (!first.isEmpty() && x < first.left()) SetLeftCol(LeftCol() - 1);
    }
    viewport()->update();
}

void TDbCustomGrid::DrawDragOverlay(QPainter& painter) {
    if (!dragMoving_ || dragImage_.isNull()) return;
    painter.save();
    painter.setClipping(false);
    // The dragged title follows the pointer, a little below the title row's top.
    painter.setOpacity(0.7);
    painter.drawImage(dragPos_.x() - dragGrab_, dragVertOffset_, dragImage_);
    painter.setOpacity(1.0);
    const int drop = DragDropColumn();
    const QRect target = CellRect(drop, 0);
    if (!target.isEmpty()) {
        // The arrows point at the edge the column will be put against.
        const int edge = drop > dragCol_ ? target.right() + 1 : target.left();
        const QImage& right = DragArrowGlyph(true);
        const QImage& left = DragArrowGlyph(false);
        const int y = target.top() + (target.height() - right.height()) / 2;
        painter.drawImage(edge - right.width(), y, right);
        painter.drawImage(edge + 1, y, left);
    }
    painter.restore();
}

void TDbCustomGrid::ColumnMovedByUser(int from, int to) {
    HideCustomControl();
    const int count = useTFields_ ? dataLink_->MapCount() : selected_.Count();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to) return;
    const bool followCurrent = Col() - indicatorOffset_ == from;
    if (!useTFields_) {
        const std::string line = selected_.Get(from);
        selected_.Delete(from);
        selected_.Insert(to, line);
        RebuildLayout();
    } else if (dataLink_->Active()) {
        TField* a = dataLink_->Fields(from);
        TField* b = dataLink_->Fields(to);
        if (!a || !b) return;
        a->SetIndex(b->Index());
        RebuildLayout();
    }
    if (followCurrent) MoveCurrent(to + indicatorOffset_, Row(), false);
    InvalidateRow(0);
    if (OnColumnMoved) OnColumnMoved(*this, from, to);
}

void TDbCustomGrid::AutoFitColumn(int gridCol) {
    TField* f = GetColField(gridCol);
    if (!f) return;
    const int dataCol = gridCol - indicatorOffset_;
    const QFontMetrics fm(font());
    int text = 0;
    if (options_.Has(dgTitles)) {
        const QFontMetrics tfm(titleFont_);
        for (const QString& part : QString::fromStdString(ColumnTitle(dataCol)).split(QLatin1Char('~')))
            text = std::max(text, tfm.horizontalAdvance(part));
    }
    for (int row = 0; row < dataLink_->RecordCount(); ++row) {
        RowGuard guard(*dataLink_, row);
        const QString cellText = QString::fromStdString(CellDisplayText(dataCol));
        text = std::max(text, fm.horizontalAdvance(cellText.section(QLatin1Char('\n'), 0, 0)));
    }
    // Whole characters that hold the widest text.
    const int w0 = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    const int width = (text + w0 - 1) / w0 * w0 + 4;
    if (dataLink_->Modified()) dataLink_->UpdateRecord();
    ColumnWidthChangedByUser(gridCol, width);
}

// ---------------------------------------------------------------------- multi-selection

bool TDbCustomGrid::IsRecordSelected() const {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !dataLink_->Active() || selectedRecords_.empty()) return false;
    const TBookmark b = ds->GetBookmark();
    return !b.empty() && std::find(selectedRecords_.begin(), selectedRecords_.end(), b) != selectedRecords_.end();
}

void TDbCustomGrid::SelectRecord() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !dataLink_->Active() || ds->IsEmpty() || IsRecordSelected()) return;
    const TBookmark b = ds->GetBookmark();
    if (b.empty()) return;
    selectedRecords_.push_back(b);
    InvalidateRow(Row());
    if (OnMultiSelectRecord) OnMultiSelectRecord(*this, SelectedField());
}

void TDbCustomGrid::UnselectRecord() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !dataLink_->Active()) return;
    const TBookmark b = ds->GetBookmark();
    const auto it = std::find(selectedRecords_.begin(), selectedRecords_.end(), b);
    if (it == selectedRecords_.end()) return;
    selectedRecords_.erase(it);
    InvalidateRow(Row());
    if (OnMultiSelectRecord) OnMultiSelectRecord(*this, SelectedField());
}

void TDbCustomGrid::ToggleRecordSelection() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !dataLink_->Active()) return;
    if (IsRecordSelected())
        UnselectRecord();
    else
        SelectRecord();
    anchorRecord_ = ds->GetBookmark();
}

void TDbCustomGrid::ClearSelection() {
    if (selectedRecords_.empty()) return;
    selectedRecords_.clear();
    InvalidateGrid();
    if (OnMultiSelectAllRecords) OnMultiSelectAllRecords(*this);
}

void TDbCustomGrid::SelectRangeFromAnchor() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !dataLink_->Active()) return;
    const TBookmark target = ds->GetBookmark();
    if (anchorRecord_.empty() || !ds->BookmarkValid(anchorRecord_)) {
        SelectRecord();
        anchorRecord_ = target;
        return;
    }
    ds->GotoBookmark(anchorRecord_);
    const int step = ds->CompareBookmarks(anchorRecord_, target) < 0 ? 1 : -1;
    for (;;) {
        SelectRecord();
        if (ds->GetBookmark() == target || ds->MoveBy(step) == 0) break;
    }
    ds->GotoBookmark(target);
    SelectRecord();
    InvalidateGrid();
}

void TDbCustomGrid::MultiSelectClick(Qt::KeyboardModifiers modifiers, Qt::MouseButton button) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (shift && multiSelectOptions_.Has(msoShiftSelect)) {
        SelectRangeFromAnchor();
    } else if (ctrl || shift) {
        ToggleRecordSelection();
    } else if (button == Qt::LeftButton && multiSelectOptions_.Has(msoAutoUnselect)) {
        ClearSelection();
        SelectRecord();
        anchorRecord_ = dataLink_->DataSet()->GetBookmark();
    }
}

// ---------------------------------------------------------------------------------- ditto

void TDbCustomGrid::DittoField() {
    Ditto(false);
}
void TDbCustomGrid::DittoRecord() {
    Ditto(true);
}

void TDbCustomGrid::Ditto(bool wholeRecord) {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !dataLink_->Active() || ds->IsEmpty()) return;
    const TDbDittoAttributes& ditto = dittoAttributes_;
    const int active = dataLink_->ActiveRecord();
    const int count = dataLink_->RecordCount();
    int source = -1;
    switch (ditto.DittoDirection) {
        case dbDittoPrior:
            source = active - 1;
            break;
        case dbDittoNext:
            source = active + 1;
            break;
        case dbDittoPriorOrNext:
            source = active > 0 ? active - 1 : active + 1;
            break;
    }
    if (source < 0 || source >= count) return;

    std::vector<TField*> fields;
    if (!wholeRecord) {
        if (TField* f = SelectedField()) fields.push_back(f);
    } else if (ditto.Options.Has(dbdoSkipHiddenFields)) {
        for (int i = 0; i < dataLink_->MapCount(); ++i)
            if (TField* f = dataLink_->Fields(i)) fields.push_back(f);
    } else {
        for (int i = 0; i < ds->FieldCount(); ++i) fields.push_back(&ds->Fields(i));
    }
    std::vector<std::pair<TField*, std::string>> values;
    for (TField* f : fields) {
        if (ditto.Options.Has(dbdoSkipBlobFields) && f->IsBlob()) continue;
        if (ditto.Options.Has(dbdoSkipReadOnlyFields)) {
            const int col = GetFieldColumn(f);
            if (f->ReadOnly() || !f->CanModify() || (col >= 0 && Columns(col - indicatorOffset_).ReadOnly())) continue;
        }
        RowGuard guard(*dataLink_, source);
        values.emplace_back(f, f->AsString());
    }
    if (values.empty()) return;
    bool modifiable = false;
    Guarded([&] { modifiable = CanEditModify(); });
    if (!modifiable) return;
    Guarded([&] {
        for (auto& [field, value] : values) {
            bool allow = true;
            if (OnDitto) OnDitto(*this, *ds, *field, value, allow);
            if (allow) field->SetAsString(value);
        }
    });
    LoadEditorText();
    InvalidateRow(Row());
}

// ---------------------------------------------------------------------- the key filter

void TDbCustomGrid::InstallKeyFilter(bool on) {
    if (on == keyFilterInstalled_ || !qApp) return;
    if (on)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
    keyFilterInstalled_ = on;
}

bool TDbCustomGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        // The focus left the grid and its controls: the filter is no longer needed.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && !widget->isWindow() && widget != this && !isAncestorOf(widget)) InstallKeyFilter(false);
    } else if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // Keys for the grid or a control inside it: the ditto shortcuts.
        if (widget && (widget == this || isAncestorOf(widget))) {
            auto* key = static_cast<QKeyEvent*>(event);
            const int combined = key->keyCombination().toCombined();
            const TDbDittoAttributes& ditto = dittoAttributes_;
            if (ditto.ShortCutDittoField != 0 && combined == ditto.ShortCutDittoField) {
                DittoField();
                return true;
            }
            if (ditto.ShortCutDittoRecord != 0 && combined == ditto.ShortCutDittoRecord) {
                DittoRecord();
                return true;
            }
        }
    }
    return TCustomGrid::eventFilter(watched, event);
}

}  // namespace tessel
