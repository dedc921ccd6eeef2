// The grid's accessible interface.

#include "grid/DbGridAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <map>

#include "grid/DbGrid.h"

namespace tessel {

namespace {

class TDbGridAccessible;

// One cell: data row and column of the records in view; headers are row -1.
class TDbGridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    TDbGridCellAccessible(TDbCustomGrid* grid, TDbGridAccessible* table, int row, int col)
        : grid_(grid), table_(table), row_(row), col_(col) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }
    bool isValid() const override { return grid_ != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_->window()->windowHandle(); }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name && t != QAccessible::Value) return QString();
        return QString::fromStdString(row_ < 0 ? grid_->ViewColumnTitle(col_) : grid_->ViewCellText(row_, col_));
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const int gridRow = row_ + grid_->FixedRows();
        const int gridCol = col_ + grid_->IndicatorOffset();
        const QRect r = grid_->CellRect(gridCol, gridRow);
        return QRect(grid_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.selectable = row_ >= 0;
        s.focusable = row_ >= 0;
        s.readOnly = true;
        s.selected = isSelected();
        s.focused = isSelected() && grid_->hasFocus();
        return s;
    }

    bool isSelected() const override {
        return row_ >= 0 && row_ == grid_->DataLink().ActiveRecord() && col_ + grid_->IndicatorOffset() == grid_->Col();
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return col_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override;

private:
    TDbCustomGrid* grid_;
    TDbGridAccessible* table_;
    int row_, col_;
};

class TDbGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TDbGridAccessible(TDbCustomGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~TDbGridAccessible() override { Forget(); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    // Children: the header cells, then the cells row by row.
    int childCount() const override { return columnCount() * (rowCount() + 1); }
    QAccessibleInterface* child(int index) const override {
        const int cols = columnCount();
        if (cols == 0 || index < 0 || index >= childCount()) return nullptr;
        return Cell(index / cols - 1, index % cols);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (const auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface())
            return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
        return -1;
    }

    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
        return Cell(row, column);
    }
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QString columnDescription(int column) const override {
        return QString::fromStdString(Grid().ViewColumnTitle(column));
    }
    QString rowDescription(int row) const override { return QString::number(row + 1); }
    int columnCount() const override { return Grid().DataLink().Active() ? Grid().ColumnCount() : 0; }
    int rowCount() const override { return Grid().DataLink().Active() ? Grid().DataLink().RecordCount() : 0; }
    int selectedCellCount() const override { return rowCount() > 0 ? 1 : 0; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override {
        if (rowCount() == 0) return {};
        const int col = Grid().Col() - Grid().IndicatorOffset();
        QAccessibleInterface* cell = cellAt(Grid().DataLink().ActiveRecord(), col);
        return cell ? QList<QAccessibleInterface*>{cell} : QList<QAccessibleInterface*>{};
    }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { Forget(); }

    QAccessibleInterface* Cell(int row, int col) const {
        // Cells are kept while the table's shape stays; a new shape makes new ones.
        if (rows_ != rowCount() || cols_ != columnCount()) const_cast<TDbGridAccessible*>(this)->Forget();
        rows_ = rowCount();
        cols_ = columnCount();
        auto it = cells_.find({row, col});
        if (it != cells_.end()) return QAccessible::accessibleInterface(it->second);
        auto* cell = new TDbGridCellAccessible(&const_cast<TDbCustomGrid&>(Grid()),
                                               const_cast<TDbGridAccessible*>(this), row, col);
        const QAccessible::Id id = QAccessible::registerAccessibleInterface(cell);
        cells_[{row, col}] = id;
        return cell;
    }
    void Forget() {
        for (const auto& [where, id] : cells_) QAccessible::deleteAccessibleInterface(id);
        cells_.clear();
    }

private:
    const TDbCustomGrid& Grid() const { return *static_cast<const TDbCustomGrid*>(widget()); }
    mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
    mutable int rows_ = -1, cols_ = -1;
};

QAccessibleInterface* TDbGridCellAccessible::parent() const {
    return table_;
}

QAccessibleInterface* TDbGridCellAccessible::table() const {
    return table_;
}

QList<QAccessibleInterface*> TDbGridCellAccessible::columnHeaderCells() const {
    if (row_ < 0) return {};
    return {table_->Cell(-1, col_)};
}

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* grid = qobject_cast<TDbCustomGrid*>(object)) return new TDbGridAccessible(grid);
    return nullptr;
}

}  // namespace

void InstallDbGridAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

void NotifyDbGridCurrentCellChanged(TDbCustomGrid& grid) {
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&grid);
    QAccessibleTableInterface* table = iface ? iface->tableInterface() : nullptr;
    if (!table) return;
    const QList<QAccessibleInterface*> cells = table->selectedCells();
    if (cells.isEmpty()) return;
    QAccessibleEvent focus(cells.front(), QAccessible::Focus);
    QAccessible::updateAccessibility(&focus);
}

void NotifyDbGridContentChanged(TDbCustomGrid& grid) {
    if (!QAccessible::isActive()) return;
    QAccessibleTableModelChangeEvent event(&grid, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
}

}  // namespace tessel
