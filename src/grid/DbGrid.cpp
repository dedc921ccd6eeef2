// The answer grid: columns, the data link, selected rows.

#include "grid/DbGrid.h"
#include "grid/DbDateTimePicker.h"
#include "grid/DbGridAccessible.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>

#include "framework/data/Fields.h"

namespace tessel {

namespace {

int ToInt(const std::string& s) {
    return std::atoi(s.c_str());
}

std::vector<std::string> SplitTitle(const std::string& title) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t p = title.find('~', start);
        parts.push_back(title.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    return parts;
}

bool EditState(TDataSetState s) {
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

}  // namespace

// ------------------------------------------------------------------------ Selected lines

std::string TSelectedLine::Part(const std::string& line, int part) {
    size_t start = 0;
    for (int i = 1; i < part; ++i) {
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos) return {};
        start = tab + 1;
    }
    const size_t tab = line.find('\t', start);
    return line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
}

int TSelectedLine::PartCount(const std::string& line) {
    return 1 + static_cast<int>(std::count(line.begin(), line.end(), '\t'));
}

std::string TSelectedLine::WithPart(const std::string& line, int part, const std::string& value) {
    std::vector<std::string> parts;
    for (int i = 0; i < 5; ++i) parts.push_back(part == i + 1 ? value : Part(line, i + 1));
    if (parts[3].empty()) parts[3].assign(1, 'F');
    std::string out;
    for (int i = 0; i < 5; ++i) {
        if (i == 4 && parts[4].empty()) break;
        if (i > 0) out.push_back('\t');
        out.append(parts[static_cast<size_t>(i)]);
    }
    return out;
}

// ------------------------------------------------------------------------------ data link

TDbGridDataLink::~TDbGridDataLink() {
    ClearMapping();
}

void TDbGridDataLink::AddMapping(const std::string& fieldName) {
    TDataSet* ds = DataSet();
    TField* field = ds && ds->Active() ? ds->FindField(fieldName) : nullptr;
    if (!field) return;
    if (MapCount() >= kMaxMapSize) throw EDbGridError("Grid requested to display more than 256 columns");
    if (map_.capacity() == 0) map_.reserve(8);
    if (map_.size() == map_.capacity()) map_.reserve(std::min<size_t>(map_.capacity() * 2, kMaxMapSize));
    map_.push_back(field->Index());
}

void TDbGridDataLink::ClearMapping() {
    map_.clear();
    map_.shrink_to_fit();
}

TField* TDbGridDataLink::Fields(int i) const {
    TDataSet* ds = DataSet();
    if (!Active() || !ds || i < 0 || i >= MapCount()) return nullptr;
    const int index = map_[static_cast<size_t>(i)];
    return index >= 0 && index < ds->FieldCount() ? &ds->Fields(index) : nullptr;
}

int TDbGridDataLink::MapIndexOf(const TField* field) const {
    if (!field) return -1;
    for (int i = 0; i < MapCount(); ++i)
        if (Fields(i) == field) return i;
    return -1;
}

void TDbGridDataLink::ActiveChanged() {
    modified_ = false;
    grid_.LinkActive(Active());
}

void TDbGridDataLink::DataSetChanged() {
    modified_ = false;
    grid_.DataChanged();
}

void TDbGridDataLink::DataSetScrolled(int distance) {
    modified_ = false;
    grid_.Scroll(distance);
}

void TDbGridDataLink::EditingChanged() {
    grid_.EditingChanged();
}

void TDbGridDataLink::LayoutChanged() {
    grid_.LayoutChanged();
}

void TDbGridDataLink::RecordCountChanged() {
    grid_.RecordCountChanged();
}

void TDbGridDataLink::RecordChanged(TField* field) {
    grid_.RecordChanged(field);
}

void TDbGridDataLink::UpdateData() {
    if (!modified_ || inUpdateData_) return;
    inUpdateData_ = true;
    try {
        grid_.UpdateData();
    } catch (...) {
        inUpdateData_ = false;
        throw;
    }
    inUpdateData_ = false;
    modified_ = false;
}

void TDbGridDataLink::FocusControl(TField*& field) {
    if (field && grid_.FocusField(field)) field = nullptr;
}

// ------------------------------------------------------------------------------- columns

TField* TDbColumn::Field() const {
    if (spare_ || !grid_) return nullptr;
    TDataSet* ds = grid_->DataLink().DataSet();
    return ds && ds->Active() ? ds->FindField(fieldName_) : nullptr;
}

int TDbColumn::Width() const {
    if (spare_) return 0;
    if (grid_->UseTFields())
        if (TField* f = Field()) return f->DisplayWidth();
    const int line = grid_->SelectedIndexOf(fieldName_);
    return line < 0 ? 0 : ToInt(TSelectedLine::Part(grid_->Selected().Get(line), 2));
}

void TDbColumn::SetWidth(int chars) {
    if (spare_) return;
    grid_->SetSelectedPart(fieldName_, 2, std::to_string(chars));
    if (grid_->UseTFields())
        if (TField* f = Field()) f->SetDisplayWidth(chars);
    grid_->SizeColumns();
}

std::string TDbColumn::Title() const {
    if (spare_) return {};
    if (grid_->UseTFields()) {
        TField* f = Field();
        return f ? f->DisplayLabel() : std::string();
    }
    const int line = grid_->SelectedIndexOf(fieldName_);
    return line < 0 ? std::string() : TSelectedLine::Part(grid_->Selected().Get(line), 3);
}

bool TDbColumn::ReadOnly() const {
    if (spare_) return false;
    const int line = grid_->SelectedIndexOf(fieldName_);
    return line >= 0 && TSelectedLine::Part(grid_->Selected().Get(line), 4) == "T";
}

std::string TDbColumn::GroupName() const {
    if (spare_) return {};
    const int line = grid_->SelectedIndexOf(fieldName_);
    return line < 0 ? std::string() : TSelectedLine::Part(grid_->Selected().Get(line), 5);
}

void TDbColumn::SetFooterValue(const std::string& value) {
    if (spare_ || value == footerValue_) return;
    footerValue_ = value;
    if (grid_ && grid_->Options().Has(dgShowFooter)) grid_->InvalidateGrid();
}

std::vector<uint8_t>& TDbColumn::GroupFlags() {
    if (groupFlags_.empty()) groupFlags_.assign(256, 0);
    return groupFlags_;
}

// ---------------------------------------------------------------------------------- grid

TDbCustomGrid::TDbCustomGrid(QWidget* parent)
    : TCustomGrid(parent), dataLink_(std::make_unique<TDbGridDataLink>(*this)), spare_(this, {}, true) {
    InstallDbGridAccessibility();
    titleFont_ = font();
    titleColor_ = gridcolor::BtnFace();
    color_ = gridcolor::Window();
    footerColor_ = footerCellColor_ = gridcolor::BtnFace();
    SetColCount(2);
    SetRowCount(2);
    SetFixedCols(1);
    SetFixedRows(1);
    // The vertical scroll bar shows while records are out of sight (RefreshVertScrollBar).
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setEnabled(false);
    SetScrollBars(TGridScrollBars::Horizontal);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int action) { OnVertScrollAction(action); });
    ApplyBaseOptions();
    SizeRows();
    RebuildLayout();
}

TDbCustomGrid::~TDbCustomGrid() {
    // The link's hooks call back into the grid: detach it while the grid is still whole.
    dataLink_->SetDataSource(nullptr);
}

void TDbCustomGrid::SetDataSource(TDataSource* source) {
    if (source == DataSource()) return;
    dataLink_->SetDataSource(source);
    RebuildLayout();
}

// --------------------------------------------------------------------------- settings

void TDbCustomGrid::ApplyBaseOptions() {
    TGridOptions o = 0;
    if (options_.Has(dgColLines)) o |= GridOptionBit(goFixedVertLine) | GridOptionBit(goVertLine);
    if (options_.Has(dgRowLines)) o |= GridOptionBit(goHorzLine);
    if (!options_.Has(dgRowLinesDisableFixed)) o |= GridOptionBit(goFixedHorzLine);
    if (options_.Has(dgColumnResize)) o |= GridOptionBit(goColSizing) | GridOptionBit(goColMoving);
    if (options_.Has(dgRowResize)) o |= GridOptionBit(goRowSizing);
    if (options_.Has(dgTabs)) o |= GridOptionBit(goTabs);
    if (options_.Has(dgRowSelect))
        o |= GridOptionBit(goRowSelect);
    else if (options_.Has(dgEditing))
        o |= GridOptionBit(goEditing);
    if (options_.Has(dgAlwaysShowEditor)) o |= GridOptionBit(goAlwaysShowEditor);
    SetGridOptions(o);
}

void TDbCustomGrid::SetOptions(TDbGridOptions options) {
    if (options == options_) return;
    const TDbGridOptions old = options_;
    options_ = options;
    ApplyBaseOptions();
    static constexpr TDbGridOption kLayout[] = {dgEditing,
                                                dgAlwaysShowEditor,
                                                dgTitles,
                                                dgIndicator,
                                                dgColLines,
                                                dgRowLines,
                                                dgRowSelect,
                                                dgAlwaysShowSelection,
                                                dgPerfectRowFit,
                                                dgShowFooter,
                                                dgProportionalColResize,
                                                dgRowLinesDisableFixed};
    bool rebuild = false;
    for (TDbGridOption o : kLayout) rebuild |= old.Has(o) != options_.Has(o);
    if (rebuild) {
        SizeRows();
        RebuildLayout();
    } else {
        InvalidateGrid();
    }
}

void TDbCustomGrid::SetUseTFields(bool use) {
    if (use == useTFields_) return;
    useTFields_ = use;
    RebuildLayout();
}

void TDbCustomGrid::SetTitleFont(const QFont& font) {
    titleFont_ = font;
    SizeRows();
    if (options_.Has(dgTitles)) RebuildLayout();
}

void TDbCustomGrid::SetTitleColor(const QColor& color) {
    if (color == titleColor_) return;
    titleColor_ = color;
    paintOptions_.FixedRowColor = paintOptions_.FixedColColor = color;
    InvalidateGrid();
}

void TDbCustomGrid::SetTitleAlignment(Qt::Alignment alignment) {
    if (alignment == titleAlignment_) return;
    titleAlignment_ = alignment;
    InvalidateGrid();
}

void TDbCustomGrid::SetTitleLines(int lines) {
    if (lines < 1 || lines == titleLines_) return;
    titleLines_ = lines;
    SizeRows();
    RebuildLayout();
}

void TDbCustomGrid::SetDbFixedCols(int count) {
    count = std::max(count, 0);
    if (count == dbFixedCols_) return;
    dbFixedCols_ = count;
    RebuildLayout();
}

void TDbCustomGrid::SetRowHeightPercent(int percent) {
    if (percent < 1) percent = 100;
    if (percent == rowHeightPercent_) return;
    rowHeightPercent_ = percent;
    SizeRows();
    RebuildLayout();
}

void TDbCustomGrid::SetEditCalculated(bool on) {
    if (on == editCalculated_) return;
    editCalculated_ = on;
    SizeColumns();
}

void TDbCustomGrid::SetDefaultDrawing(bool on) {
    defaultDrawing_ = on;
    InvalidateGrid();
}

void TDbCustomGrid::SetColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    InvalidateGrid();
}

void TDbCustomGrid::SetLineStyle(TDbGridLineStyle style) {
    lineStyle_ = style;
    InvalidateGrid();
}

void TDbCustomGrid::SetLineColors(const TDbGridLineColors& colors) {
    lineColors_ = colors;
    InvalidateGrid();
}

void TDbCustomGrid::SetHideAllLines(bool hide) {
    hideAllLines_ = hide;
    InvalidateGrid();
}

void TDbCustomGrid::SetPadColumnStyle(TDbPadColumnStyle style) {
    padColumnStyle_ = style;
    InvalidateGrid();
}

void TDbCustomGrid::SetPaintOptions(const TDbGridPaintOptions& options) {
    paintOptions_ = options;
    InvalidateGrid();
}

void TDbCustomGrid::SetIndicatorColor(TIndicatorColorType type) {
    indicatorColor_ = type;
    SetIndicatorIconColor(type == icYellow ? QColor(Qt::yellow) : QColor(Qt::black));
}

void TDbCustomGrid::SetIndicatorIconColor(const QColor& color) {
    if (color == indicatorIconColor_) return;
    indicatorIconColor_ = color;
    if (indicatorOffset_) InvalidateCol(0);
}

void TDbCustomGrid::SetShowVertScrollBar(bool show) {
    if (show == showVertScrollBar_) return;
    showVertScrollBar_ = show;
    if (!show) setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    vertBar_ = {-1, -1, -1, -1};
    RefreshVertScrollBar();
}

void TDbCustomGrid::SetShowHorzScrollBar(bool show) {
    if (show == showHorzScrollBar_) return;
    showHorzScrollBar_ = show;
    SetScrollBars(show ? TGridScrollBars::Horizontal : TGridScrollBars::None);
}

void TDbCustomGrid::SetMemoAttributes(TDbMemoAttributes attributes) {
    if (attributes == memoAttributes_) return;
    memoAttributes_ = attributes;
    InvalidateGrid();
}

void TDbCustomGrid::SetFooterColor(const QColor& color) {
    footerColor_ = color;
    InvalidateGrid();
}

void TDbCustomGrid::SetFooterCellColor(const QColor& color) {
    footerCellColor_ = color;
    InvalidateGrid();
}

void TDbCustomGrid::SetFooterHeight(int height) {
    footerHeight_ = std::max(height, 0);
    if (options_.Has(dgShowFooter)) RebuildLayout();
}

void TDbCustomGrid::SetGroupFieldName(const std::string& name) {
    groupFieldName_ = name;
    InvalidateGrid();
}

int TDbCustomGrid::BottomReserve() const {
    if (!options_.Has(dgShowFooter)) return 0;
    int h = footerHeight_ > 0 ? footerHeight_ : QFontMetrics(font()).height() + 6;
    if (options_.Has(dgFooter3DCells)) h += 2;
    return h;
}

// ------------------------------------------------------------------------------ the model

bool TDbCustomGrid::LinesDrawn() const {
    return options_.Has(dgRowLines) || !options_.Has(dgRowLinesDisableFixed);
}

void TDbCustomGrid::SizeRows() {
    const int lines = LinesDrawn() ? 1 : 0;
    dataRowHeight_ = (QFontMetrics(font()).height() + 2 + lines) * rowHeightPercent_ / 100;
    titleRowHeight_ = QFontMetrics(titleFont_).height() * titleLines_ + 4 + (lines ? 0 : 1);
    SetDefaultRowHeight(dataRowHeight_);
    if (titleOffset_ && RowCount() > 0) SetRowHeight(0, titleRowHeight_);
}

void TDbCustomGrid::RebuildLayout() {
    if (rebuilding_) return;
    rebuilding_ = true;
    try {
        lastClientWidth_ = ClientSize().width();
        titleOffset_ = options_.Has(dgTitles) ? 1 : 0;
        SizeRows();
        indicatorOffset_ = options_.Has(dgIndicator) ? 1 : 0;
        dataLink_->ClearMapping();
        if (dataLink_->Active())
            BuildFieldMap();
        else
            columns_.clear();
        int count = dataLink_->MapCount();
        if (!useTFields_ && count == 0) count = selected_.Count();
        count = std::max(count, 1);
        SetColCount(count + indicatorOffset_);
        int fixed = indicatorOffset_;
        if (dataLink_->Active() && dbFixedCols_ > 0 && dbFixedCols_ < count) fixed += dbFixedCols_;
        if (fixed != FixedCols()) {
            SetFixedCols(fixed);
            for (int c = 0; c < fixed; ++c) SetTabStop(c, false);
        }
        if (indicatorOffset_) {
            SetColWidth(0, kIndicatorWidth);
            SetTabStop(0, false);
            if (Col() == 0) MoveCurrent(1, Row(), false);
        }
        HideCustomControl();
        SyncRowCount();
        const int visible = VisibleRowCount();
        SizeColumns();
        if (visible != VisibleRowCount()) SyncRowCount();
        footerDirty_ = true;
        MoveToActiveRecord();
        paintOptions_.FixedRowColor = paintOptions_.FixedColColor = titleColor_;
        InvalidateGrid();
    } catch (...) {
        rebuilding_ = false;
        throw;
    }
    rebuilding_ = false;
    PlaceDateTimePicker();
}

void TDbCustomGrid::BuildFieldMap() {
    TDataSet* ds = dataLink_->DataSet();
    if (useTFields_) {
        if (ds)
            for (int i = 0; i < ds->FieldCount(); ++i)
                if (ds->Fields(i).Visible()) dataLink_->AddMapping(ds->Fields(i).FieldName());
    } else {
        for (int i = 0; i < selected_.Count();) {
            const std::string name = TSelectedLine::Part(selected_.Get(i), 1);
            if (dataLink_->Active() && ds && !ds->FindField(name)) {
                selected_.Delete(i);
                continue;
            }
            dataLink_->AddMapping(name);
            ++i;
        }
    }
    std::vector<std::unique_ptr<TDbColumn>> fresh;
    for (int i = 0; i < dataLink_->MapCount(); ++i) {
        TField* f = dataLink_->Fields(i);
        auto column = std::make_unique<TDbColumn>(this, f ? f->FieldName() : std::string());
        for (const auto& old : columns_)
            if (SameText(old->FieldName(), column->FieldName())) {
                column->SetFooterValue(old->FooterValue());
                break;
            }
        fresh.push_back(std::move(column));
    }
    columns_ = std::move(fresh);
}

int TDbCustomGrid::FieldWidthChars(int dataCol) const {
    if (useTFields_) {
        TField* f = dataLink_->Fields(dataCol);
        return f ? f->DisplayWidth() : 64;
    }
    if (dataCol < 0 || dataCol >= selected_.Count()) return 0;
    return ToInt(TSelectedLine::Part(selected_.Get(dataCol), 2));
}

std::string TDbCustomGrid::ColumnTitle(int dataCol) const {
    TField* f = dataLink_->Fields(dataCol);
    if (useTFields_) return f ? f->DisplayLabel() : std::string();
    if (dataCol >= 0 && dataCol < selected_.Count()) {
        const std::string& line = selected_.Get(dataCol);
        if (TSelectedLine::PartCount(line) >= 3) return TSelectedLine::Part(line, 3);
    }
    return f ? f->DisplayLabel() : std::string();
}

void TDbCustomGrid::SizeColumns() {
    if (!DataSource() || !DataSource()->DataSet()) return;
    const QFontMetrics fm(font());
    const QFontMetrics tfm(titleFont_);
    const int w0 = fm.horizontalAdvance(QLatin1Char('0'));
    const int count = useTFields_ ? dataLink_->MapCount() : selected_.Count();
    for (int i = 0; i < count && i + indicatorOffset_ < ColCount(); ++i) {
        int width = 4 + w0 * FieldWidthChars(i);
        if (options_.Has(dgTitles) && !options_.Has(dgNoLimitColSize)) {
            int titleWidth = 0;
            for (const std::string& part : SplitTitle(ColumnTitle(i)))
                titleWidth = std::max(titleWidth, tfm.horizontalAdvance(QString::fromStdString(part)) + 4);
            width = std::max(width, titleWidth);
        }
        const int col = i + indicatorOffset_;
        SetColWidthQuiet(col, width);
        TField* f = dataLink_->Fields(i);
        bool stop = f ? !f->ReadOnly() : true;
        if (f && SelectedIndexOf(f->FieldName()) >= 0 &&
            TSelectedLine::Part(selected_.Get(SelectedIndexOf(f->FieldName())), 4) == "T")
            stop = false;
        if (f && f->Calculated() && !editCalculated_) stop = false;
        if (col < FixedCols()) stop = false;
        SetTabStop(col, stop);
    }
    colCache_.assign(static_cast<size_t>(ColCount()), TDbCacheColInfoItem{});
    lastClientWidth_ = ClientSize().width();
    ColWidthsChanged();
}

void TDbCustomGrid::SyncRowCount() {
    if (syncing_) return;
    syncing_ = true;
    if (RowCount() <= titleOffset_) SetRowCount(titleOffset_ + 1);
    SetFixedRows(titleOffset_);
    if (titleOffset_) SetRowHeight(0, titleRowHeight_);
    SetTopRow(titleOffset_);
    TDataSet* ds = dataLink_->DataSet();
    if (dataLink_->Active() && ds && ds->Active() && dataLink_->RecordCount() > 0) {
        SetRowCount(1000);
        const int visible = VisibleRowCount();
        if (Row() - titleOffset_ >= visible) {
            InvalidateGrid();
            if (OnTopRowChanged) OnTopRowChanged(*this);
        }
        dataLink_->SetBufferCount(visible);
        SetRowCount(dataLink_->RecordCount() + titleOffset_);
        syncing_ = false;
        MoveToActiveRecord();
    } else {
        SetRowCount(titleOffset_ + 1);
        syncing_ = false;
    }
}

void TDbCustomGrid::MoveToActiveRecord() {
    if (!dataLink_->Active()) return;
    int target = dataLink_->ActiveRecord() + titleOffset_;
    if (target != Row()) {
        if (!options_.Has(dgAlwaysShowEditor)) HideEditor();
        if (target >= RowCount()) {
            SyncRowCount();
            target = std::min(target, RowCount() - 1);
        }
        MoveCurrent(Col(), target, false);
    }
    // Typed text not yet in the field stays in the editor.
    if (EditorMode() && !dataLink_->Modified())
        if (TField* f = SelectedField(); f && f->EditText() != EditorText()) InvalidateEditor();
}

TField* TDbCustomGrid::GetColField(int gridCol) const {
    return dataLink_->Fields(gridCol - indicatorOffset_);
}

int TDbCustomGrid::GetFieldColumn(const TField* field) const {
    const int i = dataLink_->MapIndexOf(field);
    return i < 0 ? -1 : i + indicatorOffset_;
}

TDbColumn& TDbCustomGrid::Columns(int dataCol) {
    if (dataCol < 0 || dataCol >= ColumnCount()) return spare_;
    return *columns_[static_cast<size_t>(dataCol)];
}

const TDbCacheColInfoItem& TDbCustomGrid::CacheColInfo(int gridCol) const {
    static const TDbCacheColInfoItem none;
    return gridCol >= 0 && gridCol < static_cast<int>(colCache_.size()) ? colCache_[static_cast<size_t>(gridCol)]
                                                                        : none;
}

int TDbCustomGrid::SelectedIndexOf(const std::string& fieldName) const {
    for (int i = 0; i < selected_.Count(); ++i)
        if (SameText(TSelectedLine::Part(selected_.Get(i), 1), fieldName)) return i;
    return -1;
}

void TDbCustomGrid::SetSelectedPart(const std::string& fieldName, int part, const std::string& value) {
    const int line = SelectedIndexOf(fieldName);
    if (line >= 0) selected_.Put(line, TSelectedLine::WithPart(selected_.Get(line), part, value));
}

void TDbCustomGrid::ApplySelected() {
    TDataSet* ds = dataLink_->DataSet();
    if (useTFields_ && ds && ds->Active() && selected_.Count() > 0) {
        rebuilding_ = true;
        try {
            for (int i = 0; i < ds->FieldCount(); ++i) ds->Fields(i).SetVisible(false);
            int index = 0;
            for (int i = 0; i < selected_.Count(); ++i) {
                const std::string& line = selected_.Get(i);
                TField* f = ds->FindField(TSelectedLine::Part(line, 1));
                if (!f) continue;
                f->SetDisplayWidth(ToInt(TSelectedLine::Part(line, 2)));
                if (TSelectedLine::PartCount(line) >= 3) f->SetDisplayLabel(TSelectedLine::Part(line, 3));
                f->SetIndex(index++);
                f->SetVisible(true);
            }
        } catch (...) {
            rebuilding_ = false;
            throw;
        }
        rebuilding_ = false;
    }
    if (selected_.Count() > 0 || !useTFields_) RebuildLayout();
}

void TDbCustomGrid::ColumnWidthChangedByUser(int gridCol, int pixelWidth) {
    SetColWidth(gridCol, pixelWidth);
    if (!dataLink_->Active() || rebuilding_) return;
    const int w0 = QFontMetrics(font()).horizontalAdvance(QLatin1Char('0'));
    const int round = std::max(0, w0 / 2 - 3);
    auto chars = [&](int col) { return (ColWidth(col) + round - 4) / std::max(1, w0); };
    rebuilding_ = true;
    try {
        if (useTFields_) {
            for (int c = indicatorOffset_; c < ColCount(); ++c)
                if (TField* f = GetColField(c)) f->SetDisplayWidth(chars(c));
        } else {
            for (int i = 0; i < selected_.Count() && i + indicatorOffset_ < ColCount(); ++i) {
                const std::string& line = selected_.Get(i);
                std::string rebuilt = TSelectedLine::Part(line, 1) + '\t' +
                                      std::to_string(chars(i + indicatorOffset_)) + '\t' + TSelectedLine::Part(line, 3);
                const int parts = TSelectedLine::PartCount(line);
                if (parts >= 4) rebuilt += '\t' + TSelectedLine::Part(line, 4);
                if (parts >= 5) rebuilt += '\t' + TSelectedLine::Part(line, 5);
                selected_.Put(i, rebuilt);
            }
        }
    } catch (...) {
        rebuilding_ = false;
        throw;
    }
    rebuilding_ = false;
    RebuildLayout();
    if (OnColWidthChanged) OnColWidthChanged(*this);
}

std::string TDbCustomGrid::ViewCellText(int dataRow, int dataCol) const {
    if (dataRow < 0 || dataRow >= dataLink_->RecordCount()) return {};
    const int saved = dataLink_->ActiveRecord();
    dataLink_->SetActiveRecord(dataRow);
    std::string text;
    try {
        text = CellDisplayText(dataCol);
    } catch (const std::exception&) {
        text.clear();
    }
    dataLink_->SetActiveRecord(saved);
    return text;
}

std::string TDbCustomGrid::CellDisplayText(int dataCol) const {
    TField* f = dataLink_->Fields(dataCol);
    if (!f) return {};
    TDataSet& ds = f->DataSet();
    if (f->DataType() == TFieldType::ftMemo || f->DataType() == TFieldType::ftOraClob) {
        if (ds.IsEmpty() && ds.State() != TDataSetState::dsInsert) return {};
        if (!memoAttributes_.Has(mGridShow)) return "(Memo)";
        try {
            if (auto* blob = dynamic_cast<TBlobField*>(f)) return blob->Data();
        } catch (const std::exception&) {
        }
        return "(Memo)";
    }
    return f->DisplayText();
}

// ----------------------------------------------------------------- what the link tells

void TDbCustomGrid::LinkActive(bool active) {
    if (!active) HideEditor();
    RebuildLayout();
    RefreshVertScrollBar();
    if (active) {
        currentBookmark_.clear();
        hasBookmark_ = false;
        const int dataCol = Col() - indicatorOffset_;
        if (dataCol != lastDataCol_) {
            lastDataCol_ = dataCol;
            if (OnColEnter) OnColEnter(*this);
        }
        footerDirty_ = true;
        LinkActivated();
    }
    NotifyDbGridContentChanged(*this);
}

void TDbCustomGrid::LinkActivated() {}

void TDbCustomGrid::DataChanged() {
    TDataSet* ds = dataLink_->DataSet();
    if (footerDirty_ && OnUpdateFooter) OnUpdateFooter(*this);
    footerDirty_ = false;
    if (ds && (ds->State() == TDataSetState::dsInsert || ds->State() == TDataSetState::dsBrowse)) HideCustomControl();
    SyncRowCount();
    RefreshVertScrollBar();
    MoveToActiveRecord();
    if (!dataLink_->Modified()) InvalidateEditor();
    InvalidateGrid();
    CheckCurrentRecord();
    PlaceDateTimePicker();
    NotifyDbGridContentChanged(*this);
}

void TDbCustomGrid::Scroll(int distance) {
    const int oldRow = Row();
    RefreshVertScrollBar();
    MoveToActiveRecord();
    HideEditor();
    const int lineExtent = dataRowHeight_ + HorzLineWidth();
    bool wholeRepaint = false;
    if (distance != 0) {
        HideCustomControl();
        if (std::abs(distance) > VisibleRowCount()) {
            wholeRepaint = true;
            if (OnTopRowChanged) OnTopRowChanged(*this);
            CheckCurrentRecord();
            InvalidateGrid();
        } else {
            if (distance % 2 != 0) parity_ ^= 1;
            const QRect firstRow = CellRect(0, titleOffset_);
            const int top = firstRow.isEmpty() ? 0 : firstRow.top();
            const QRect area(0, top, ClientSize().width(), ClientSize().height() - BottomReserve() - top);
            if (paintOptions_.FastRecordScrolling) {
                ScrollPixels(-distance * lineExtent, area);
                if (indicatorOffset_) {
                    if (indicatorRow_ >= 0) InvalidateCell(0, indicatorRow_ - distance);
                    InvalidateCell(0, Row());
                }
            } else {
                InvalidateRect(titleOffset_ ? area : QRect(QPoint(0, 0), ClientSize()));
            }
        }
    }
    // The old current record (where it stands now) and the new one.
    if (!wholeRepaint) {
        InvalidateRow(oldRow - distance);
        InvalidateRow(Row());
        if (indicatorOffset_) InvalidateCell(0, oldRow - distance);
    }
    if (distance != 0 && options_.Has(dgAlwaysShowEditor)) ShowEditor();
    PlaceDateTimePicker();
    if (wholeRepaint) return;
    if (distance != 0 && OnTopRowChanged) OnTopRowChanged(*this);
    CheckCurrentRecord();
}

void TDbCustomGrid::RecordChanged(TField* field) {
    if (dataLink_->InUpdateData()) return;
    const int col = field ? GetFieldColumn(field) : -1;
    if (field) {
        if (col >= 0) InvalidateCell(col, Row());
    } else {
        InvalidateRow(Row());
    }
    if (field && col == Col() && EditorMode() && field->EditText() != EditorText()) LoadEditorText();
    dataLink_->SetModified(false);
    TDataSet* ds = dataLink_->DataSet();
    if (field && ds && EditState(ds->State()) && OnFieldChanged) OnFieldChanged(*this, field);
    if (dateTimePicker_ && dateTimePicker_->isVisible()) PlaceDateTimePicker();
}

void TDbCustomGrid::EditingChanged() {
    if (indicatorOffset_) InvalidateCell(0, Row());
    if (dataLink_->Editing()) footerDirty_ = true;
}

void TDbCustomGrid::UpdateData() {
    WriteEditorText();
}

bool TDbCustomGrid::FocusField(TField* field) {
    const int col = GetFieldColumn(field);
    if (col < 0) return false;
    MoveCurrent(col, Row());
    if (Col() == col && isEnabled() && isVisible()) {
        setFocus();
        return true;
    }
    return false;
}

bool TDbCustomGrid::SelectCell(int, int) {
    return true;
}

void TDbCustomGrid::Resized() {
    if (rebuilding_) return;
    HideEditor();
    SyncRowCount();
    RefreshVertScrollBar();
    TDataSet* ds = dataLink_->DataSet();
    if (ds && ds->Active() && ds->IsEmpty()) InvalidateGrid();
    PlaceDateTimePicker();
}

void TDbCustomGrid::RefreshVertScrollBar() {
    TDataSet* ds = dataLink_->DataSet();
    if (!showVertScrollBar_ || !dataLink_->Active() || !ds || !ds->Active()) {
        if (!dataLink_->Active()) {
            settingVertBar_ = true;
            verticalScrollBar()->setRange(0, 0);
            verticalScrollBar()->setEnabled(false);
            setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            settingVertBar_ = false;
            vertBar_ = {-1, -1, -1, -1};
        }
        return;
    }
    TScrollBarValues v;
    if (ds->IsSequenced()) {
        const int visible = std::max(1, VisibleRowCount());
        v.Min = 1;
        v.Page = visible;
        // An answer still coming in counts the records in so far.
        v.Max = static_cast<int>(std::min<int64_t>(ds->KnownRecordCount() + visible - 1, INT32_MAX));
        v.Position = vertBar_.Position;
        if (ds->State() != TDataSetState::dsInsert &&
            static_cast<int>(ds->State()) < static_cast<int>(TDataSetState::dsInsert))
            v.Position = static_cast<int>(std::max<int64_t>(ds->RecNo(), 1));
    } else {
        v.Min = 0;
        v.Page = 0;
        v.Max = 4;
        v.Position = ds->Bof() ? 0 : (ds->Eof() ? 4 : 2);
    }
    if (v.Max - v.Min <= 1) {
        v.Page = 1000;
        v.Max = 1001;
        v.Min = 1;
    }
    if (v == vertBar_) return;
    vertBar_ = v;
    settingVertBar_ = true;
    QScrollBar* bar = verticalScrollBar();
    const int qtMax = std::max(v.Min, v.Max - std::max(v.Page, 1) + 1);
    bar->setRange(v.Min, qtMax);
    bar->setPageStep(std::max(v.Page, 1));
    bar->setValue(std::clamp(v.Position, v.Min, qtMax));
    bar->setEnabled(qtMax > v.Min);
    // Shown while records are out of sight (and always for an answer without record numbers).
    const bool hidden = !ds->IsSequenced() || !ds->IsCountComplete() || ds->KnownRecordCount() > VisibleRowCount();
    setVerticalScrollBarPolicy(hidden ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    settingVertBar_ = false;
}

void TDbCustomGrid::OnVertScrollAction(int action) {
    TDataSet* ds = dataLink_->DataSet();
    if (settingVertBar_ || !dataLink_->Active() || !ds) return;
    QScrollBar* bar = verticalScrollBar();
    const int visible = std::max(1, VisibleRowCount());
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            ds->MoveBy(1);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            ds->MoveBy(-1);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            ds->MoveBy(visible);
            break;
        case QAbstractSlider::SliderPageStepSub:
            ds->MoveBy(-visible);
            break;
        case QAbstractSlider::SliderToMinimum:
            ds->First();
            break;
        case QAbstractSlider::SliderToMaximum:
            ds->Last();
            break;
        case QAbstractSlider::SliderMove:
            if (ds->IsSequenced())
                ds->SetRecNo(bar->sliderPosition());
            else if (bar->sliderPosition() <= bar->minimum())
                ds->First();
            else if (bar->sliderPosition() >= bar->maximum())
                ds->Last();
            break;
        default:
            break;
    }
    // The bar shows where the data set went, not where the action would have put it.
    bar->setSliderPosition(std::clamp(vertBar_.Position, bar->minimum(), bar->maximum()));
}

void TDbCustomGrid::CheckCurrentRecord() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !ds->Active() || inRecordCheck_) return;
    if (!OnRowChanged && !OnCellChanged && !OnUpdateFooter) return;
    const TBookmark bookmark = ds->GetBookmark();
    const bool changed = !hasBookmark_ || (bookmark.empty() && ds->State() == TDataSetState::dsInsert) ||
                         ds->CompareBookmarks(bookmark, currentBookmark_) != 0;
    if (changed) {
        inRecordCheck_ = true;
        try {
            if (OnRowChanged) OnRowChanged(*this);
            if (OnCellChanged) OnCellChanged(*this);
        } catch (...) {
            inRecordCheck_ = false;
            throw;
        }
        inRecordCheck_ = false;
    }
    currentBookmark_ = bookmark;
    hasBookmark_ = true;
}

// ----------------------------------------------------------------------------- TDbGrid

TDbGrid::TDbGrid(QWidget* parent) : TDbCustomGrid(parent) {}

void TDbGrid::LinkActivated() {
    TDataSet* ds = DataLink().DataSet();
    if (!ds || Selected().Count() == 0) return;
    for (int i = 0; i < ds->FieldCount(); ++i)
        if (ds->Fields(i).Calculated()) return;
    ApplySelected();
}

}  // namespace tessel
