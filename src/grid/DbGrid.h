#pragma once

// The answer grid: shows the records of a data set as rows of cells, one column per field,
// with a title row and an indicator column. It keeps no copy of the data: its data link holds
// a window of as many records as fit on screen, and the grid paints from that window.

#include <QFont>
#include <QImage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/StringList.h"
#include "framework/data/DataSource.h"
#include "framework/data/PictureValidator.h"
#include "grid/CustomGrid.h"
#include "grid/DbGridTypes.h"

class QTimer;

namespace tessel {

class TDbCustomGrid;
class TDbMemoDialog;
class TDbDateTimePicker;

// More columns than the field map holds.
class EDbGridError : public Exception {
public:
    using Exception::Exception;
};

constexpr int kMaxMapSize = 16380;
constexpr int kIndicatorWidth = 11;

// The grid's connection to its data source. It owns the field map: one field index per
// displayed column, in column order.
class TDbGridDataLink : public TDataLink {
public:
    explicit TDbGridDataLink(TDbCustomGrid& grid) : grid_(grid) {}
    ~TDbGridDataLink() override;

    // Adds the field of that name (nothing when the data set has none). Fails beyond
    // kMaxMapSize entries.
    void AddMapping(const std::string& fieldName);
    void ClearMapping();
    int MapCount() const { return static_cast<int>(map_.size()); }
    int MapCapacity() const { return static_cast<int>(map_.capacity()); }
    // The field of map entry i (nullptr outside the map or while inactive).
    TField* Fields(int i) const;
    // The map entry showing `field`, or -1.
    int MapIndexOf(const TField* field) const;

    // The editor's text changed and is not yet in the field.
    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    bool InUpdateData() const { return inUpdateData_; }

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void RecordCountChanged() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;
    void FocusControl(TField*& field) override;

private:
    TDbCustomGrid& grid_;
    std::vector<int> map_;
    bool modified_ = false;
    bool inUpdateData_ = false;
};

// One displayed column. Only the footer value lives here; width, title, read-only flag and
// group come from the field or the Selected line. The spare record (no field) ignores changes.
class TDbColumn {
public:
    TDbColumn(TDbCustomGrid* grid, std::string fieldName, bool spare = false)
        : grid_(grid), fieldName_(std::move(fieldName)), spare_(spare) {}

    const std::string& FieldName() const { return fieldName_; }
    bool IsSpare() const { return spare_; }
    TField* Field() const;
    // Width in characters.
    int Width() const;
    void SetWidth(int chars);
    std::string Title() const;
    bool ReadOnly() const;
    std::string GroupName() const;
    const std::string& FooterValue() const { return footerValue_; }
    void SetFooterValue(const std::string& value);
    // One byte per visible row, allocated when group drawing first asks.
    std::vector<uint8_t>& GroupFlags();

private:
    TDbCustomGrid* grid_;
    std::string fieldName_;
    std::string footerValue_;
    std::vector<uint8_t> groupFlags_;
    bool spare_;
};

// Cell control kind of one grid column, from the ControlType list.
struct TDbCacheColInfoItem {
    std::string ControlType;  // empty: a text cell
    std::string Parameters;
    bool ShowAll = false;
};

// The Windows-style values last put on the vertical scroll bar.
struct TScrollBarValues {
    int Min = 0, Max = 0, Page = 0, Position = 0;
    bool operator==(const TScrollBarValues&) const = default;
};

class TDbCustomGrid : public TCustomGrid {
    Q_OBJECT

public:
    explicit TDbCustomGrid(QWidget* parent = nullptr);
    ~TDbCustomGrid() override;

    // --- data -----------------------------------------------------------------------------
    TDataSource* DataSource() const { return dataLink_->DataSource(); }
    void SetDataSource(TDataSource* source);
    TDbGridDataLink& DataLink() const { return *dataLink_; }

    // --- settings (defaults as the grid is created) -----------------------------------------
    TDbGridOptions Options() const { return options_; }
    void SetOptions(TDbGridOptions options);
    TDbGridKeyOptions KeyOptions() const { return keyOptions_; }
    void SetKeyOptions(TDbGridKeyOptions options) { keyOptions_ = options; }
    TDbMultiSelectOptions MultiSelectOptions() const { return multiSelectOptions_; }
    void SetMultiSelectOptions(TDbMultiSelectOptions options) { multiSelectOptions_ = options; }
    bool UseTFields() const { return useTFields_; }
    void SetUseTFields(bool use);
    TStringList& Selected() { return selected_; }
    const TStringList& Selected() const { return selected_; }
    const QFont& TitleFont() const { return titleFont_; }
    void SetTitleFont(const QFont& font);
    QColor TitleColor() const { return titleColor_; }
    void SetTitleColor(const QColor& color);
    Qt::Alignment TitleAlignment() const { return titleAlignment_; }
    void SetTitleAlignment(Qt::Alignment alignment);
    int TitleLines() const { return titleLines_; }
    void SetTitleLines(int lines);
    bool TitleButtons() const { return titleButtons_; }
    void SetTitleButtons(bool on) { titleButtons_ = on; }
    int DbFixedCols() const { return dbFixedCols_; }
    void SetDbFixedCols(int count);
    int RowHeightPercent() const { return rowHeightPercent_; }
    void SetRowHeightPercent(int percent);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    bool EditCalculated() const { return editCalculated_; }
    void SetEditCalculated(bool on);
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool on);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    TDbGridLineStyle LineStyle() const { return lineStyle_; }
    void SetLineStyle(TDbGridLineStyle style);
    const TDbGridLineColors& LineColors() const { return lineColors_; }
    void SetLineColors(const TDbGridLineColors& colors);
    bool HideAllLines() const { return hideAllLines_; }
    void SetHideAllLines(bool hide);
    TDbPadColumnStyle PadColumnStyle() const { return padColumnStyle_; }
    void SetPadColumnStyle(TDbPadColumnStyle style);
    const TDbGridPaintOptions& PaintOptions() const { return paintOptions_; }
    void SetPaintOptions(const TDbGridPaintOptions& options);
    TIndicatorColorType IndicatorColor() const { return indicatorColor_; }
    void SetIndicatorColor(TIndicatorColorType type);
    QColor IndicatorIconColor() const { return indicatorIconColor_; }
    void SetIndicatorIconColor(const QColor& color);
    bool ShowVertScrollBar() const { return showVertScrollBar_; }
    void SetShowVertScrollBar(bool show);
    bool ShowHorzScrollBar() const { return showHorzScrollBar_; }
    void SetShowHorzScrollBar(bool show);
    TDbMemoAttributes MemoAttributes() const { return memoAttributes_; }
    void SetMemoAttributes(TDbMemoAttributes attributes);
    TStringList& ControlType() { return controlType_; }
    bool ControlInfoInDataset() const { return controlInfoInDataset_; }
    void SetControlInfoInDataset(bool on) { controlInfoInDataset_ = on; }
    TStringList& PictureMasks() { return pictureMasks_; }
    bool PictureMaskFromDataSet() const { return pictureMaskFromDataSet_; }
    void SetPictureMaskFromDataSet(bool on) { pictureMaskFromDataSet_ = on; }
    TDbEditControlOptions EditControlOptions() const { return editControlOptions_; }
    void SetEditControlOptions(TDbEditControlOptions options) { editControlOptions_ = options; }
    TDbDittoAttributes& DittoAttributes() { return dittoAttributes_; }
    QColor FooterColor() const { return footerColor_; }
    void SetFooterColor(const QColor& color);
    QColor FooterCellColor() const { return footerCellColor_; }
    void SetFooterCellColor(const QColor& color);
    int FooterHeight() const { return footerHeight_; }
    void SetFooterHeight(int height);
    int DragVertOffset() const { return dragVertOffset_; }
    void SetDragVertOffset(int offset) { dragVertOffset_ = offset; }
    const std::string& GroupFieldName() const { return groupFieldName_; }
    void SetGroupFieldName(const std::string& name);
    bool LoadAllRTF() const { return loadAllRTF_; }
    void SetLoadAllRTF(bool on) { loadAllRTF_ = on; }
    bool DisableThemes() const { return disableThemes_; }
    void SetDisableThemes(bool on) { disableThemes_ = on; }
    bool DisableThemesInTitle() const { return disableThemesInTitle_; }
    void SetDisableThemesInTitle(bool on) { disableThemesInTitle_ = on; }

    // --- the model ------------------------------------------------------------------------
    void RebuildLayout();
    void BuildFieldMap();
    void SizeColumns();
    void SizeRows();
    void SyncRowCount();
    int TitleOffset() const { return titleOffset_; }
    int IndicatorOffset() const { return indicatorOffset_; }
    int DataRowHeight() const { return dataRowHeight_; }
    int TitleRowHeight() const { return titleRowHeight_; }
    // The field of a grid column (nullptr for the indicator or outside the map).
    TField* GetColField(int gridCol) const;
    // The grid column showing `field`, or -1.
    int GetFieldColumn(const TField* field) const;
    TField* SelectedField() const { return GetColField(Col()); }
    // Column records by data column (the spare outside the map).
    TDbColumn& Columns(int dataCol);
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    const TDbCacheColInfoItem& CacheColInfo(int gridCol) const;
    // The text of the data cell at data column `dataCol` for the link's active record.
    std::string CellDisplayText(int dataCol) const;
    // The text of a cell of the records in view (row 0 is the first record the grid shows),
    // and a column's title: what the grid shows, for assistive technology.
    std::string ViewCellText(int dataRow, int dataCol) const;
    std::string ViewColumnTitle(int dataCol) const { return ColumnTitle(dataCol); }
    // The values last set on the vertical scroll bar.
    const TScrollBarValues& VertScrollBarValues() const { return vertBar_; }
    // The row that last carried the current-record glyph.
    int IndicatorRow() const { return indicatorRow_; }
    int AlternateParity() const { return parity_; }
    // Applies the Selected list to the data set's fields (UseTFields) and rebuilds.
    void ApplySelected();
    // Writes part `part` of the Selected line of `fieldName` (no line: nothing).
    void SetSelectedPart(const std::string& fieldName, int part, const std::string& value);
    int SelectedIndexOf(const std::string& fieldName) const;
    // Column width changed by the person (pixel width of grid column `gridCol`).
    void ColumnWidthChangedByUser(int gridCol, int pixelWidth);

    // --- events ---------------------------------------------------------------------------
    using TCellNotify = std::function<void(TDbCustomGrid&)>;
    // A person tried to change a record of a data set that cannot be modified (typed into a
    // cell, Ctrl+Delete): the owner may say why.
    TCellNotify OnEditRefused;
    std::function<void(TDbCustomGrid&, TField*, int state, bool highlight, QFont&, QColor& brush)> OnCalcCellColors;
    std::function<void(TDbCustomGrid&, const std::string& fieldName, QFont&, QColor& brush, Qt::Alignment&)>
        OnCalcTitleAttributes;
    std::function<void(TDbCustomGrid&, TField*, int& imageIndex, int& placement)> OnCalcTitleImage;
    std::function<void(TDbCustomGrid&, const QRect&, TField*, int state)> OnDrawDataCell;
    std::function<void(TDbCustomGrid&, QPainter&, TField*, const QRect&, bool& defaultDrawing)> OnDrawTitleCell;
    std::function<void(TDbCustomGrid&, QPainter&, const std::string& group, const QRect&, bool& defaultDrawing)>
        OnDrawGroupHeaderCell;
    std::function<void(TDbCustomGrid&, QPainter&, TField*, const QRect&, const std::string& text, bool& defaultDrawing)>
        OnDrawFooterCell;
    std::function<void(TDbCustomGrid&, TDbCustomDrawGridCellInfo&)> OnBeforeDrawCell;
    std::function<void(TDbCustomGrid&, const TDbCustomDrawGridCellInfo&)> OnAfterDrawCell;
    TCellNotify OnBeforePaint, OnUpdateFooter, OnColEnter, OnColExit, OnColWidthChanged, OnLeftColChanged;
    TCellNotify OnTopRowChanged, OnRowChanged, OnCellChanged;
    std::function<void(TDbCustomGrid&, TField*)> OnFieldChanged, OnTitleButtonClick;
    std::function<void(TDbCustomGrid&, int from, int to)> OnColumnMoved;
    std::function<void(TDbCustomGrid&, TField*, const std::string& text, bool& accept)> OnCheckValue;
    std::function<void(TDbCustomGrid&, TField*)> OnMemoOpen, OnMemoClose, OnMultiSelectRecord;
    TCellNotify OnMultiSelectAllRecords, OnCreateDateTimePicker, OnCreateHintWindow;
    // A ditto command is about to store `value` into `field`; clearing `allow` skips it.
    std::function<void(TDbCustomGrid&, TDataSet&, TField&, std::string& value, bool& allow)> OnDitto;
    std::function<void(TDbCustomGrid&, const std::string& url)> OnURLOpen;
    std::function<void(TDbCustomGrid&, TField*, std::string&text)> OnExportField, OnExportSYLKFormat;

    // --- what the data link tells ---------------------------------------------------------
    void LinkActive(bool active);
    void DataChanged();
    void Scroll(int distance);
    void LayoutChanged() { RebuildLayout(); }
    void RecordCountChanged() { RefreshVertScrollBar(); }
    void RecordChanged(TField* field);
    void EditingChanged();
    void UpdateData();
    // Returns true when the grid took the focus for `field`.
    bool FocusField(TField* field);

    // --- navigation and editing (DbGridEdit.cpp) ------------------------------------------
    // Moves to data column `dataCol`, posting the editor's text first.
    void MoveToColumn(int dataCol);
    // The keys of the grid; true when the key was used.
    bool KeyDown(int key, Qt::KeyboardModifiers modifiers);
    // A typed character (or Enter, Backspace) reaching the grid.
    void KeyPress(const QString& text, int key);
    // Next record (may append at the end with `append`), previous record.
    void NextRecord(bool append);
    void PriorRecord();
    // Tab and Shift+Tab.
    void TabMove(bool back);
    // Escape.
    void CancelEdit();
    // Ctrl+Delete.
    void DeleteRecord();
    // Insert.
    void InsertRecord();
    // Whether the current cell may change now; puts the data set into edit state when it may.
    bool CanEditModify();
    // A memo cell: a memo field, or a binary large field marked "RichEdit" in ControlType.
    bool IsMemoCell(TField* field) const;
    // The memo window over the current cell.
    virtual void ShowMemo();
    // A date, time or date-time field edited through the date/time editor (not switched off
    // with ecoDisableDateTimePicker).
    bool IsDateTimeCell(TField* field) const;
    // The date/time editor, once created.
    TDbDateTimePicker* DateTimePicker() const { return dateTimePicker_; }
    // Shows the date/time editor over the current cell while the grid or the editor has the
    // focus and the cell is a date/time cell; hides it otherwise.
    void PlaceDateTimePicker();
    // A key the date/time editor hands back to the grid (moves, Enter, Escape).
    void DateTimePickerKey(int key, Qt::KeyboardModifiers modifiers);

    // --- mouse, multi-selection and ditto (DbGridMouse.cpp) -------------------------------
    // Column moved by the person from data column `from` to data column `to`.
    void ColumnMovedByUser(int from, int to);
    // Sizes grid column `gridCol` to fit its title and the texts of the records on screen.
    void AutoFitColumn(int gridCol);
    // The grid column whose right edge in the title row lies under `p` (within `before`
    // pixels left of it or `after` pixels right of it), or -1.
    int TitleDividerAt(const QPoint& p, int before, int after) const;
    bool SizingColumn() const { return sizeCol_ >= 0; }
    bool DraggingTitle() const { return dragMoving_; }
    // While a title is dragged: the grid column it would be dropped on.
    int DragDropColumn() const;
    // One tick of the 100 ms drag timer: near an edge the columns scroll by one.
    void DragTimerTick();
    // The grid column of the title shown pressed, or -1.
    int PressedTitleColumn() const { return titlePressed_ ? titleDownCol_ : -1; }
    // Whether the data set's current record (the link's active record) is multi-selected.
    bool IsRecordSelected() const;
    void SelectRecord();
    void UnselectRecord();
    void ToggleRecordSelection();
    void ClearSelection();
    // Selects the records from the anchor record to the current one.
    void SelectRangeFromAnchor();
    const std::vector<TBookmark>& SelectedRecords() const { return selectedRecords_; }
    // The ditto commands: the current field, or every field of the record, from the
    // neighbouring record.
    void DittoField();
    void DittoRecord();
    bool Focused() const { return focused_; }
    // A field's picture: the data set's PictureMasks (with PictureMaskFromDataSet and a data
    // set that has the list), else the grid's.
    TPictureMask PictureMaskFor(TField& field) const;
    // The grid's messages: an error, and a question answered with OK/Yes (true) or
    // Cancel/No. Unset: message boxes.
    std::function<void(const std::string& text)> OnShowError;
    std::function<bool(const std::string& text, bool yesNo)> OnConfirm;
    // The memo window; unset: the modal window. Returns whether it was closed with OK.
    std::function<bool(TDbMemoDialog&)> OnExecuteMemo;

protected:
    // Hooks for the published grid.
    virtual void LinkActivated();
    // The cell editor's text (part two of the grid fills it in); empty without an editor.
    virtual std::string EditorText() const;
    virtual void LoadEditorText();
    virtual void WriteEditorText();
    virtual void HideCustomControl();
    QWidget* CreateEditor() override;
    bool CanEditShow() const override;
    void UpdateEditorText() override { LoadEditorText(); }
    void TopLeftChanged() override { PlaceDateTimePicker(); }

    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Runs a command of the person's; a failure is shown, not thrown.
    void Guarded(const std::function<void()>& command);
    void ShowError(const std::string& text);
    bool Confirm(const std::string& text, bool yesNo);

    void Paint(QPainter& painter, const QRect& update) override;
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) override;
    bool BaseOwnsVertScrollBar() const override { return false; }
    void Resized() override;
    bool SelectCell(int col, int row) override;
    int BottomReserve() const override;

    void RefreshVertScrollBar();
    // Moves the current row to the link's active record.
    void MoveToActiveRecord();
    void CheckCurrentRecord();
    void ApplyBaseOptions();

private:
    void DrawTitleCell(QPainter& painter, int col, const QRect& rect, TGridDrawState state);
    void DrawIndicatorCell(QPainter& painter, int row, const QRect& rect);
    void DrawDataCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state);
    void DrawHorzDataLine(QPainter& painter, const QRect& rect, const QColor& fill, bool topLine, bool bottomLine);
    void DrawFixedLines(QPainter& painter);
    void DrawColumnLines(QPainter& painter);
    void DrawPadding(QPainter& painter);
    void DrawFocusFrame(QPainter& painter);
    void DrawFooter(QPainter& painter);
    bool LinesDrawn() const;
    bool ColumnLines3D() const;
    bool HasFocusForPaint() const;
    int FieldWidthChars(int dataCol) const;
    std::string ColumnTitle(int dataCol) const;
    void OnVertScrollAction(int action);
    // The mouse in the title row; true when the press was taken.
    bool TitleMousePress(QMouseEvent* event, const QPoint& cell);
    void MultiSelectClick(Qt::KeyboardModifiers modifiers, Qt::MouseButton button);
    void DrawDragOverlay(QPainter& painter);
    void Ditto(bool wholeRecord);
    void InstallKeyFilter(bool on);
    void DateTimePickerChanged();
    // Writes a number typed for a field with a display format; false: not such a case.
    bool WriteFormattedNumber(TField& field, const std::string& text);
    bool DateTimePickerFocused() const;

    std::unique_ptr<TDbGridDataLink> dataLink_;
    std::vector<std::unique_ptr<TDbColumn>> columns_;
    TDbColumn spare_;
    std::vector<TDbCacheColInfoItem> colCache_;

    TDbGridOptions options_ = kDefaultDbGridOptions;
    TDbGridKeyOptions keyOptions_{dgAllowDelete, dgAllowInsert};
    TDbMultiSelectOptions multiSelectOptions_;
    bool useTFields_ = true;
    TStringList selected_;
    QFont titleFont_;
    QColor titleColor_;
    Qt::Alignment titleAlignment_ = Qt::AlignLeft;
    int titleLines_ = 1;
    bool titleButtons_ = false;
    int dbFixedCols_ = 0;
    int rowHeightPercent_ = 100;
    bool readOnly_ = false;
    bool editCalculated_ = false;
    bool defaultDrawing_ = true;
    QColor color_;
    TDbGridLineStyle lineStyle_ = glsDynamic;
    TDbGridLineColors lineColors_;
    bool hideAllLines_ = false;
    TDbPadColumnStyle padColumnStyle_ = pcsPadHeaderAndData;
    TDbGridPaintOptions paintOptions_;
    TIndicatorColorType indicatorColor_ = icBlack;
    QColor indicatorIconColor_ = Qt::black;
    bool showVertScrollBar_ = true;
    bool showHorzScrollBar_ = true;
    TDbMemoAttributes memoAttributes_{mSizeable, mWordWrap};
    TStringList controlType_;
    bool controlInfoInDataset_ = true;
    TStringList pictureMasks_;
    bool pictureMaskFromDataSet_ = true;
    TDbEditControlOptions editControlOptions_{ecoSearchOwnerForm};
    TDbDittoAttributes dittoAttributes_;
    QColor footerColor_, footerCellColor_;
    int footerHeight_ = 0;
    int dragVertOffset_ = 15;
    std::string groupFieldName_;
    bool loadAllRTF_ = false;
    bool disableThemes_ = false;
    bool disableThemesInTitle_ = false;

    int titleOffset_ = 1;
    int indicatorOffset_ = 1;
    int dataRowHeight_ = 0;
    int titleRowHeight_ = 0;
    bool rebuilding_ = false;
    bool syncing_ = false;
    bool footerDirty_ = false;
    int parity_ = 0;
    int indicatorRow_ = -1;
    TScrollBarValues vertBar_{-1, -1, -1, -1};
    bool settingVertBar_ = false;
    TBookmark currentBookmark_;
    bool hasBookmark_ = false;
    bool inRecordCheck_ = false;
    int lastClientWidth_ = 0;
    int lastDataCol_ = -1;
    bool focused_ = false;

    // Column sizing and title drag.
    int sizeCol_ = -1, sizeStartX_ = 0, sizeStartWidth_ = 0;
    int dragCol_ = -1;
    bool dragPending_ = false, dragMoving_ = false;
    QPoint dragStart_, dragPos_;
    int dragDirection_ = 0;
    int dragGrab_ = 0;
    QImage dragImage_;
    QTimer* dragTimer_ = nullptr;
    int titleDownCol_ = -1;
    bool titlePressed_ = false;
    // Multi-selection.
    std::vector<TBookmark> selectedRecords_;
    TBookmark anchorRecord_;
    bool keyFilterInstalled_ = false;
    TDbDateTimePicker* dateTimePicker_ = nullptr;
    friend class TDbInplaceEdit;
};

// The published grid: Selected applied when the data set opens, layout storage settings, the
// memo settings.
class TDbGrid : public TDbCustomGrid {
    Q_OBJECT

public:
    explicit TDbGrid(QWidget* parent = nullptr);
    TDbIniAttributes& IniAttributes() { return iniAttributes_; }

protected:
    void LinkActivated() override;

private:
    TDbIniAttributes iniAttributes_;
};

}  // namespace tessel
