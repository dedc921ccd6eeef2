#pragma once

// The option sets, styles and small settings objects of the answer grid family.

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

namespace tessel {

class TField;

// A set of enumeration values: bit (1 << ordinal) per value.
template <class E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values) {
        for (E v : values) bits_ |= Bit(v);
    }
    static constexpr TEnumSet FromBits(uint32_t bits) {
        TEnumSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr bool Has(E v) const { return bits_ & Bit(v); }
    constexpr TEnumSet& Include(E v) {
        bits_ |= Bit(v);
        return *this;
    }
    constexpr TEnumSet& Exclude(E v) {
        bits_ &= ~Bit(v);
        return *this;
    }
    constexpr TEnumSet With(E v) const { return TEnumSet(*this).Include(v); }
    constexpr TEnumSet Without(E v) const { return TEnumSet(*this).Exclude(v); }
    constexpr uint32_t Bits() const { return bits_; }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    static constexpr uint32_t Bit(E v) { return uint32_t{1} << static_cast<int>(v); }
    uint32_t bits_ = 0;
};

enum TDbGridOption {
    dgEditing,
    dgAlwaysShowEditor,
    dgTitles,
    dgIndicator,
    dgColumnResize,
    dgColLines,
    dgRowLines,
    dgTabs,
    dgRowSelect,
    dgAlwaysShowSelection,
    dgConfirmDelete,
    dgCancelOnExit,
    dgWordWrap,
    dgPerfectRowFit,
    dgMultiSelect,
    dgShowFooter,
    dgFooter3DCells,
    dgNoLimitColSize,
    dgTrailingEllipsis,
    dgShowCellHint,
    dgTabExitsOnLastCol,
    dgFixedResizable,
    dgFixedEditable,
    dgProportionalColResize,
    dgRowResize,
    dgRowLinesDisableFixed,
    dgColLinesDisableFixed,
    dgFixedProportionalResize,
    dgHideBottomDataLine,
    dgDblClickColSizing
};
using TDbGridOptions = TEnumSet<TDbGridOption>;
inline constexpr TDbGridOptions kDefaultDbGridOptions{dgEditing,      dgTitles,   dgIndicator, dgColumnResize,
                                                      dgColLines,     dgRowLines, dgTabs,      dgConfirmDelete,
                                                      dgCancelOnExit, dgWordWrap};

enum TDbGridKeyOption { dgEnterToTab, dgAllowDelete, dgAllowInsert };
using TDbGridKeyOptions = TEnumSet<TDbGridKeyOption>;

enum TDbMultiSelectOption { msoAutoUnselect, msoShiftSelect };
using TDbMultiSelectOptions = TEnumSet<TDbMultiSelectOption>;

enum TDbMemoAttribute { mSizeable, mWordWrap, mGridShow, mViewOnly, mDisableDialog };
using TDbMemoAttributes = TEnumSet<TDbMemoAttribute>;

enum TDbEditControlOption {
    ecoCheckboxSingleClick,
    ecoSearchOwnerForm,
    ecoDisableCustomControls,
    ecoDisableDateTimePicker,
    ecoDisableEditorIfReadOnly
};
using TDbEditControlOptions = TEnumSet<TDbEditControlOption>;

enum TDbGridLineStyle { glsSingle, gls3D, glsDynamic };
enum TDbPadColumnStyle { pcsPlain, pcsPadHeader, pcsPadHeaderAndData };
enum TIndicatorColorType { icBlack, icYellow };

enum TDbBackgroundDrawStyle { bdsTile, bdsStretch, bdsTopLeft, bdsCenter };
enum TDbBackgroundOption {
    coFillDataCells,
    coBlendFixedRow,
    coBlendFixedColumn,
    coBlendActiveRecord,
    coBlendAlternatingRow
};
using TDbBackgroundOptions = TEnumSet<TDbBackgroundOption>;
enum TDbAlternatingRowRegion { arrFixedColumns, arrDataColumns, arrActiveDataColumn };
using TDbAlternatingRowRegions = TEnumSet<TDbAlternatingRowRegion>;

// The colours the grid names; a colour of none is an invalid QColor.
namespace gridcolor {
QColor BtnFace();
QColor BtnHighlight();
QColor BtnShadow();
QColor Window();
QColor WindowText();
QColor Highlight();
QColor HighlightText();
inline QColor Silver() {
    return QColor(192, 192, 192);
}
}  // namespace gridcolor

struct TDbGridLineColors {
    QColor DataColor = gridcolor::Silver();
    QColor HighlightColor = gridcolor::BtnHighlight();
    QColor ShadowColor = gridcolor::BtnShadow();
    QColor FixedColor = Qt::black;
};

struct TDbGridPaintOptions {
    QImage BackgroundBitmap;
    TDbBackgroundDrawStyle BackgroundDrawStyle = bdsTile;
    TDbBackgroundOptions BackgroundOptions;
    QColor AlternatingRowColor;  // none
    TDbAlternatingRowRegions AlternatingRowRegions{arrFixedColumns, arrDataColumns, arrActiveDataColumn};
    QColor ActiveRecordColor;  // none
    bool FastRecordScrolling = true;
    // Set at every layout rebuild to the title colour.
    QColor FixedRowColor, FixedColColor;
};

enum TDbDittoDirection { dbDittoPrior, dbDittoNext, dbDittoPriorOrNext };
enum TDbDittoOption { dbdoSkipBlobFields, dbdoSkipReadOnlyFields, dbdoSkipHiddenFields };
struct TDbDittoAttributes {
    TDbDittoDirection DittoDirection = dbDittoPrior;
    // Key combinations (key code | modifiers, as QKeyCombination::toCombined); 0: none.
    int ShortCutDittoField = 0;
    int ShortCutDittoRecord = 0;
    TEnumSet<TDbDittoOption> Options;
};

struct TDbIniAttributes {
    bool Enabled = false;
    bool SaveToRegistry = false;
    std::string FileName;
    std::string SectionName;
    std::string Delimiter = ";;";
    bool CheckNewFields = false;
};

// The cell being drawn, as the drawing events see it.
struct TDbCustomDrawGridCellInfo {
    QRect Rect;
    int State = 0;  // TGridDrawState
    TField* Field = nullptr;
    int DataCol = -1;
    int DataRow = -1;
    bool DefaultDrawBackground = true;
    bool DefaultDrawBottomLine = true;
    bool DefaultDrawTopLine = true;
    bool DefaultDrawText = true;
};

// A line of the Selected list: up to five TAB-separated parts (field name, width in
// characters, title, read-only "T"/"F", group name).
struct TSelectedLine {
    static std::string Part(const std::string& line, int part);  // 1-based; "" when missing
    static int PartCount(const std::string& line);
    // Rebuilt with one part replaced: parts 1 to 4 joined by TAB (an empty part 4 is "F"),
    // part 5 appended only when not empty.
    static std::string WithPart(const std::string& line, int part, const std::string& value);
};

}  // namespace tessel
