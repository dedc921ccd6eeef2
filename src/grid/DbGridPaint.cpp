// Painting of the answer grid: titles, indicator glyphs, data cells, grid lines in three
// styles, the padding right of the last column, the focus frame and the footer band.

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <cmath>

#include "framework/data/Fields.h"
#include "grid/DbGrid.h"
#include "grid/GridGlyphs.h"

namespace tessel {

namespace gridcolor {
QColor BtnFace() {
    return QColor(QApplication::palette().color(QPalette::Button).rgb());
}
QColor BtnHighlight() {
    return QColor(QApplication::palette().color(QPalette::Light).rgb());
}
QColor BtnShadow() {
    return QColor(QApplication::palette().color(QPalette::Dark).rgb());
}
QColor Window() {
    return QColor(QApplication::palette().color(QPalette::Base).rgb());
}
QColor WindowText() {
    return QColor(QApplication::palette().color(QPalette::Text).rgb());
}
QColor Highlight() {
    return QColor(QApplication::palette().color(QPalette::Highlight).rgb());
}
QColor HighlightText() {
    return QColor(QApplication::palette().color(QPalette::HighlightedText).rgb());
}
}  // namespace gridcolor

namespace {

bool IsWhite(const QColor& c) {
    return c.isValid() && c.rgb() == QColor(Qt::white).rgb();
}

int RoundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

void DrawHLine(QPainter& p, const QColor& c, int x0, int x1, int y) {
    if (x1 < x0) return;
    p.fillRect(QRect(x0, y, x1 - x0 + 1, 1), c);
}

void DrawVLine(QPainter& p, const QColor& c, int x, int y0, int y1) {
    if (y1 < y0) return;
    p.fillRect(QRect(x, y0, 1, y1 - y0 + 1), c);
}

Qt::Alignment FieldAlignment(const TField* f) {
    if (!f) return Qt::AlignLeft;
    switch (f->Alignment()) {
        case TAlignment::taRightJustify:
            return Qt::AlignRight;
        case TAlignment::taCenter:
            return Qt::AlignHCenter;
        default:
            return Qt::AlignLeft;
    }
}

// Restores the link's active record when a row's drawing ends, also by an exception.
class ActiveRecordGuard {
public:
    ActiveRecordGuard(TDbGridDataLink& link, int row) : link_(link), saved_(link.ActiveRecord()) {
        link_.SetActiveRecord(row);
    }
    ~ActiveRecordGuard() { link_.SetActiveRecord(saved_); }
    ActiveRecordGuard(const ActiveRecordGuard&) = delete;
    ActiveRecordGuard& operator=(const ActiveRecordGuard&) = delete;

private:
    TDbGridDataLink& link_;
    int saved_;
};

}  // namespace

bool TDbCustomGrid::HasFocusForPaint() const {
    return hasFocus();
}

bool TDbCustomGrid::ColumnLines3D() const {
    if (lineStyle_ == glsSingle) return false;
    if (lineStyle_ == gls3D) return true;
    if (paintOptions_.BackgroundOptions.Has(coFillDataCells) && !paintOptions_.BackgroundBitmap.isNull()) return false;
    return !IsWhite(color_);
}

void TDbCustomGrid::Paint(QPainter& painter, const QRect& update) {
    const QSize client = ClientSize();
    QRect upd = update & QRect(QPoint(0, 0), client);
    if (LinesDrawn()) upd.setTop(std::max(0, upd.top() - 1));
    painter.setClipRect(upd);
    painter.fillRect(upd, color_);
    const bool active = dataLink_->Active();
    if (!active) {
        painter.fillRect(QRect(QPoint(0, 0), client), titleColor_);
        const QRect firstData = CellRect(FixedCols(), titleOffset_);
        const int left = firstData.isEmpty() ? 0 : firstData.left();
        const int top = firstData.isEmpty() ? 0 : firstData.top();
        painter.fillRect(QRect(left, top, client.width() - left, client.height() - top), color_);
    }
    if (OnBeforePaint) OnBeforePaint(*this);
    const int lastRow = LastVisibleRow(), lastCol = LastVisibleCol();
    DrawCells(painter, upd, 0, FixedCols() - 1, 0, FixedRows() - 1, gdFixed);
    DrawCells(painter, upd, LeftCol(), lastCol, 0, FixedRows() - 1, gdFixed);
    DrawCells(painter, upd, 0, FixedCols() - 1, TopRow(), lastRow, gdFixed);
    DrawCells(painter, upd, LeftCol(), lastCol, TopRow(), lastRow, 0);
    // A closed grid shows only its title row and indicator column on the grid colour.
    if (active) DrawPadding(painter);
    if (!hideAllLines_) {
        DrawFixedLines(painter);
        if (active) DrawColumnLines(painter);
    }
    DrawFocusFrame(painter);
    if (options_.Has(dgShowFooter)) DrawFooter(painter);
    DrawDragOverlay(painter);
}

void TDbCustomGrid::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) {
    if (row < titleOffset_) {
        if (col < indicatorOffset_)
            painter.fillRect(rect, titleColor_);
        else
            DrawTitleCell(painter, col, rect, state);
    } else if (col < indicatorOffset_) {
        DrawIndicatorCell(painter, row, rect);
    } else if (dataLink_->Active()) {
        DrawDataCell(painter, col, row, rect, state);
    }
}

void TDbCustomGrid::DrawTitleCell(QPainter& painter, int col, const QRect& rect, TGridDrawState state) {
    const int dataCol = col - indicatorOffset_;
    TField* field = dataLink_->Fields(dataCol);
    TDbCustomDrawGridCellInfo info{rect, state, field, dataCol, -1};
    if (OnBeforeDrawCell) OnBeforeDrawCell(*this, info);
    QFont fnt = titleFont_;
    QColor brush = titleColor_;
    Qt::Alignment alignment = titleAlignment_;
    const std::string text = dataLink_->Active() ? ColumnTitle(dataCol) : std::string();
    if (OnCalcTitleAttributes)
        OnCalcTitleAttributes(*this, field ? field->FieldName() : std::string(), fnt, brush, alignment);
    if (info.DefaultDrawBackground) painter.fillRect(rect, brush);
    bool defaultDrawing = true;
    if (OnDrawTitleCell) OnDrawTitleCell(*this, painter, field, rect, defaultDrawing);
    if (defaultDrawing && info.DefaultDrawText && !text.empty()) {
        QString qtext = QString::fromStdString(text);
        const QStringList lines = qtext.split(QLatin1Char('~'));
        const QFontMetrics fm(fnt);
        const int counted = titleLines_ == 1 ? 1 : static_cast<int>(lines.size());
        const int top = RoundHalfEven(rect.height() / 2.0 - fm.height() * counted / 2.0);
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        painter.setFont(fnt);
        painter.setPen(gridcolor::WindowText());
        const bool pressed = col == PressedTitleColumn();
        const QRect textRect = rect.adjusted(pressed ? 3 : 2, pressed ? 1 : 0, -2, pressed ? 1 : 0);
        int flags = Qt::TextExpandTabs | Qt::AlignTop;
        flags |= useTFields_ ? Qt::TextHideMnemonic : Qt::TextShowMnemonic;
        flags |= static_cast<int>(alignment & Qt::AlignHorizontal_Mask);
        for (int i = 0; i < lines.size(); ++i) {
            const QString line = fm.elidedText(lines[i], Qt::ElideRight, textRect.width());
            painter.drawText(
                QRect(textRect.left(), textRect.top() + top + i * fm.height(), textRect.width(), fm.height()), flags,
                line);
        }
        painter.restore();
    }
    if (col == PressedTitleColumn()) {
        // A pressed title button: black outline, grey inside it.
        painter.save();
        painter.setPen(Qt::black);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        painter.setPen(Qt::gray);
        painter.drawRect(rect.adjusted(1, 1, -2, -2));
        painter.restore();
    }
    if (OnAfterDrawCell) OnAfterDrawCell(*this, info);
}

void TDbCustomGrid::DrawIndicatorCell(QPainter& painter, int row, const QRect& rect) {
    painter.fillRect(rect, titleColor_);
    TDataSet* ds = dataLink_->DataSet();
    if (!dataLink_->Active() || !ds) return;
    const int dataRow = row - titleOffset_;
    if (dataRow >= dataLink_->RecordCount()) return;
    bool multiSelected = false;
    if (!selectedRecords_.empty()) {
        ActiveRecordGuard guard(*dataLink_, dataRow);
        multiSelected = IsRecordSelected();
    }
    const bool current = dataRow == dataLink_->ActiveRecord();
    if (!current && !multiSelected) return;
    int index = current ? (multiSelected ? igMultiArrow : igArrow) : igMultiSelect;
    if (current && ds->State() == TDataSetState::dsEdit)
        index = igEdit;
    else if (current && ds->State() == TDataSetState::dsInsert)
        index = igInsert;
    const QImage glyph = RecolorGlyph(IndicatorGlyph(index), indicatorIconColor_);
    const int x = (rect.left() + rect.width() - glyph.width()) / 2 + 1;
    const int y = (2 * rect.top() + dataRowHeight_ - glyph.height()) / 2;
    painter.drawImage(x, y, glyph);
    indicatorRow_ = row;
}

void TDbCustomGrid::DrawDataCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) {
    const int dataRow = row - titleOffset_;
    const int dataCol = col - indicatorOffset_;
    if (dataRow >= dataLink_->RecordCount()) return;
    ActiveRecordGuard guard(*dataLink_, dataRow);
    TField* field = dataLink_->Fields(dataCol);
    TDbCustomDrawGridCellInfo info{rect, state, field, dataCol, dataRow};
    if (OnBeforeDrawCell) OnBeforeDrawCell(*this, info);
    const std::string text = CellDisplayText(dataCol);

    const bool fixedCol = col < FixedCols();
    if (fixedCol) state |= gdFixed;
    bool highlight = (state & gdSelected) || (row == Row() && paintOptions_.ActiveRecordColor.isValid());
    if (!options_.Has(dgAlwaysShowSelection) && !HasFocusForPaint()) highlight = false;
    if (fixedCol && !options_.Has(dgRowSelect)) highlight = highlight && (state & gdSelected);
    if (options_.Has(dgMultiSelect)) highlight = IsRecordSelected();

    QFont fnt = fixedCol ? titleFont_ : font();
    QColor brush = fixedCol ? titleColor_ : color_;
    QColor textColor = gridcolor::WindowText();
    if (highlight) {
        brush = paintOptions_.ActiveRecordColor.isValid() ? paintOptions_.ActiveRecordColor : gridcolor::Highlight();
        if ((state & gdSelected) && !options_.Has(dgRowSelect) && col == Col()) brush = gridcolor::Highlight();
        textColor = gridcolor::HighlightText();
    }
    const QColor before = brush;
    if (OnCalcCellColors) OnCalcCellColors(*this, field, state, highlight, fnt, brush);
    const bool recoloured = brush != before;

    const bool alternate = paintOptions_.AlternatingRowColor.isValid() && (dataRow % 2) != parity_;
    QColor fill;
    if (highlight || recoloured)
        fill = brush;
    else if (fixedCol)
        fill = alternate && paintOptions_.AlternatingRowRegions.Has(arrFixedColumns) ? paintOptions_.AlternatingRowColor
                                                                                     : brush;
    else
        fill = alternate && paintOptions_.AlternatingRowRegions.Has(arrDataColumns) ? paintOptions_.AlternatingRowColor
                                                                                    : color_;
    if (defaultDrawing_ && info.DefaultDrawBackground) painter.fillRect(rect, fill);

    if (defaultDrawing_ && info.DefaultDrawText && !text.empty()) {
        const QFontMetrics fm(fnt);
        const Qt::Alignment align = FieldAlignment(field);
        const int topMargin = options_.Has(dgRowLines) ? 2 : 1;
        QRect textRect = rect.adjusted(2, topMargin, 0, 0);
        if (align & Qt::AlignRight) textRect.setRight(rect.right() - 2);
        if (align & Qt::AlignHCenter)
            textRect = QRect(rect.left(), rect.top() + topMargin, rect.width(), rect.height());
        const int oneLine = fm.height() + 2 * 1 + 3;
        const bool singleLineRow = rect.height() <= oneLine;
        int flags = Qt::TextExpandTabs | Qt::AlignTop | static_cast<int>(align);
        QString qtext = QString::fromStdString(text);
        const bool ellipsis = options_.Has(dgTrailingEllipsis) && (!options_.Has(dgWordWrap) || singleLineRow);
        if (options_.Has(dgWordWrap) && !singleLineRow && !ellipsis) flags |= Qt::TextWordWrap;
        if (ellipsis && !qtext.contains(QLatin1Char('\n')))
            qtext = fm.elidedText(qtext, Qt::ElideRight, textRect.width());
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        painter.setFont(fnt);
        painter.setPen(textColor);
        painter.drawText(textRect, flags, qtext);
        painter.restore();
    }
    if (OnDrawDataCell) {
        try {
            OnDrawDataCell(*this, rect, field, state);
        } catch (...) {
        }
    }
    // Lines of the cell: flat when its fill is white (a highlighted cell on a white grid
    // counts as white), raised otherwise.
    if (!hideAllLines_ && options_.Has(dgRowLines)) {
        bool flat = lineStyle_ == glsSingle;
        if (lineStyle_ == glsDynamic) {
            flat = IsWhite(fill) || (IsWhite(color_) && (highlight || fill == gridcolor::Highlight()));
            if (paintOptions_.BackgroundOptions.Has(coFillDataCells) && !paintOptions_.BackgroundBitmap.isNull())
                flat = true;
        }
        const bool lastRow = dataRow == dataLink_->RecordCount() - 1;
        const int x1 = rect.right() + VertLineWidth();
        if (!(lastRow && options_.Has(dgHideBottomDataLine)) && info.DefaultDrawBottomLine)
            DrawHLine(painter, flat ? lineColors_.DataColor : lineColors_.ShadowColor, rect.left(), x1,
                      rect.bottom() + 1);
        const bool skipTop = row == Row() && (HasFocusForPaint() || options_.Has(dgAlwaysShowEditor)) &&
                             (options_.Has(dgRowSelect) || paintOptions_.ActiveRecordColor.isValid());
        if (!flat && info.DefaultDrawTopLine && !skipTop)
            DrawHLine(painter, lineColors_.HighlightColor, rect.left(), rect.right(), rect.top());
    }
    if (OnAfterDrawCell) OnAfterDrawCell(*this, info);
}

void TDbCustomGrid::DrawColumnLines(QPainter& painter) {
    if (!options_.Has(dgColLines)) return;
    const QRect first = CellRect(0, titleOffset_);
    if (first.isEmpty()) return;
    const int lastDataRow = std::min(LastVisibleRow(), RowCount() - 1);
    const QRect last = CellRect(0, lastDataRow);
    if (last.isEmpty() || lastDataRow < titleOffset_) return;
    const int y0 = first.top(), y1 = last.bottom() + HorzLineWidth();
    const bool raised = ColumnLines3D();
    for (int c = FixedCols(); c <= LastVisibleCol(); ++c) {
        const QRect r = CellRect(c, titleOffset_);
        if (r.isEmpty()) continue;
        const int x = r.right() + 1;
        if (raised) {
            DrawVLine(painter, lineColors_.ShadowColor, x, y0, y1);
            DrawVLine(painter, lineColors_.HighlightColor, x + 1, y0, y1);
        } else {
            DrawVLine(painter, lineColors_.DataColor, x, y0, y1);
        }
    }
}

void TDbCustomGrid::DrawFixedLines(QPainter& painter) {
    const int vw = VertLineWidth(), hw = HorzLineWidth();
    auto raise = [&](const QRect& r, bool right, bool bottom) {
        DrawHLine(painter, lineColors_.HighlightColor, r.left(), r.right(), r.top());
        DrawVLine(painter, lineColors_.HighlightColor, r.left(), r.top(), r.bottom());
        if (bottom && hw) DrawHLine(painter, lineColors_.FixedColor, r.left(), r.right() + vw, r.bottom() + 1);
        if (right && vw) DrawVLine(painter, lineColors_.FixedColor, r.right() + 1, r.top(), r.bottom() + hw);
    };
    const int lastRow = LastVisibleRow(), lastCol = LastVisibleCol();
    const bool noRowLines = options_.Has(dgRowLinesDisableFixed);
    const bool noColLines = options_.Has(dgColLinesDisableFixed);
    // Title row.
    for (int r = 0; r < FixedRows(); ++r)
        for (int c = 0; c <= lastCol; ++c) {
            const QRect rect = CellRect(c, r);
            if (!rect.isEmpty()) raise(rect, true, true);
        }
    // Fixed columns beside the data rows.
    if (!dataLink_->Active()) {
        for (int c = 0; c < FixedCols(); ++c)
            for (int r = FixedRows(); r <= lastRow; ++r) {
                const QRect rect = CellRect(c, r);
                if (!rect.isEmpty()) raise(rect, !noColLines || c == FixedCols() - 1, !noRowLines);
            }
        return;
    }
    for (int c = 0; c < FixedCols(); ++c)
        for (int r = FixedRows(); r <= lastRow; ++r) {
            const QRect rect = CellRect(c, r);
            if (rect.isEmpty()) continue;
            const bool indicator = c < indicatorOffset_;
            const bool bottom = !(noRowLines && indicator);
            const bool right = !noColLines || c == FixedCols() - 1;
            if (indicator)
                raise(rect, right, bottom);
            else {
                // A fixed data column: the raised edges around the cell's own fill.
                if (bottom && hw)
                    DrawHLine(painter, lineColors_.FixedColor, rect.left(), rect.right() + vw, rect.bottom() + 1);
                if (right && vw)
                    DrawVLine(painter, lineColors_.FixedColor, rect.right() + 1, rect.top(), rect.bottom() + hw);
            }
        }
}

void TDbCustomGrid::DrawPadding(QPainter& painter) {
    const QSize client = ClientSize();
    const int lastCol = LastVisibleCol();
    const QRect lastTitle = CellRect(lastCol, 0);
    if (!lastTitle.isEmpty() && lastCol == ColCount() - 1) {
        const int x0 = lastTitle.right() + 1 + VertLineWidth();
        if (x0 < client.width()) {
            const QRect strip(x0, 0, client.width() - x0, client.height() - BottomReserve());
            switch (padColumnStyle_) {
                case pcsPadHeaderAndData:
                    painter.fillRect(strip, titleColor_);
                    if (!hideAllLines_) DrawVLine(painter, lineColors_.HighlightColor, x0, 0, strip.bottom());
                    break;
                case pcsPadHeader: {
                    const int titleBottom = titleOffset_ ? titleRowHeight_ + HorzLineWidth() : 0;
                    painter.fillRect(QRect(x0, 0, strip.width(), titleBottom), titleColor_);
                    painter.fillRect(QRect(x0, titleBottom, strip.width(), strip.height() - titleBottom), color_);
                    break;
                }
                case pcsPlain:
                    painter.fillRect(strip, color_);
                    break;
            }
        }
    }
    if (padColumnStyle_ != pcsPadHeaderAndData || FixedCols() == 0) return;
    // The fixed columns continue below the last row.
    const int lastRow = RowCount() - 1;
    const QRect lastCell = CellRect(0, lastRow);
    const int y0 = lastCell.isEmpty() ? -1 : lastCell.bottom() + 1 + HorzLineWidth();
    if (y0 < 0 || y0 >= client.height() - BottomReserve()) return;
    for (int c = 0; c < FixedCols(); ++c) {
        const QRect col = CellRect(c, 0);
        if (col.isEmpty()) continue;
        const QRect rect(col.left(), y0, col.width(), client.height() - BottomReserve() - y0);
        painter.fillRect(rect, titleColor_);
        if (hideAllLines_) continue;
        DrawVLine(painter, lineColors_.HighlightColor, rect.left(), rect.top(), rect.bottom());
        if (VertLineWidth()) DrawVLine(painter, lineColors_.FixedColor, rect.right() + 1, rect.top(), rect.bottom());
    }
}

void TDbCustomGrid::DrawFocusFrame(QPainter& painter) {
    if (!HasFocusForPaint() || !dataLink_->Active() || EditorMode()) return;
    if (options_.Has(dgAlwaysShowEditor) || options_.Has(dgRowSelect)) return;
    if (Row() >= RowCount() || Row() - titleOffset_ >= dataLink_->RecordCount()) return;
    const QRect rect = CellRect(Col(), Row());
    if (rect.isEmpty()) return;
    painter.save();
    painter.setPen(gridcolor::Highlight());
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
}

void TDbCustomGrid::DrawFooter(QPainter& painter) {
    const QSize client = ClientSize();
    const int h = BottomReserve();
    const QRect band(0, client.height() - h, client.width(), h);
    painter.fillRect(band, footerColor_);
    DrawHLine(painter, lineColors_.HighlightColor, band.left(), band.right(), band.top());
    DrawHLine(painter, lineColors_.ShadowColor, band.left(), band.right(), band.bottom());
    if (!dataLink_->Active()) return;
    const QFontMetrics fm(font());
    for (int c = FixedCols(); c <= LastVisibleCol(); ++c) {
        const QRect col = CellRect(c, 0);
        if (col.isEmpty()) continue;
        const int dataCol = c - indicatorOffset_;
        const QRect cell(col.left(), band.top() + 2, col.width(), band.height() - 4);
        painter.fillRect(cell, footerCellColor_);
        if (options_.Has(dgFooter3DCells)) {
            DrawHLine(painter, lineColors_.ShadowColor, cell.left(), cell.right(), cell.top());
            DrawHLine(painter, lineColors_.HighlightColor, cell.left(), cell.right(), cell.bottom());
        }
        TField* field = dataLink_->Fields(dataCol);
        const std::string value = Columns(dataCol).FooterValue();
        bool defaultDrawing = true;
        if (OnDrawFooterCell) OnDrawFooterCell(*this, painter, field, cell, value, defaultDrawing);
        if (!defaultDrawing || value.empty()) continue;
        painter.save();
        painter.setClipRect(cell, Qt::IntersectClip);
        painter.setFont(font());
        painter.setPen(gridcolor::WindowText());
        painter.drawText(cell.adjusted(2, 0, -2, 0), static_cast<int>(FieldAlignment(field)) | Qt::AlignVCenter,
                         QString::fromStdString(value));
        painter.restore();
    }
}

}  // namespace tessel
