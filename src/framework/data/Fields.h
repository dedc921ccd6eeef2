#pragma once

// Fields of a data set: one object per column of its records, reading and writing the value
// of the record the data set has active, with the texts a grid shows and edits.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/Field.h"
#include "engine/storage/Value.h"

namespace tessel {

class TDataSet;

enum class TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftLargeint,
    ftOraBlob,
    ftOraClob
};

// "String", "Integer", ... as messages name the types.
const char* FieldTypeName(TFieldType type);
bool IsBlobType(TFieldType type);

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

// A field's definition as the cursor reports it.
struct TFieldDef {
    std::string name;
    TFieldType dataType = TFieldType::ftUnknown;
    int size = 0;       // characters, bytes, or the scale of a BCD field
    int precision = 0;  // digits of a number (0: not given)
    bool required = false;
    bool readOnly = false;
    int fieldNo = 0;  // 1-based position in the cursor's records
    engine::FieldDesc desc;
};

// The data type and sizes a cursor's field descriptor stands for.
TFieldDef FieldDefFromDesc(const engine::FieldDesc& desc, int fieldNo);

class TField {
public:
    TField(TDataSet& dataSet, const TFieldDef& def);
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet& DataSet() const { return *dataSet_; }
    const std::string& FieldName() const { return name_; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    int Precision() const { return precision_; }
    int FieldNo() const { return fieldNo_; }
    // Position in the data set's field list; setting it moves the field (the grid's column
    // order follows).
    int Index() const;
    void SetIndex(int index);
    TFieldKind FieldKind() const { return kind_; }
    bool Calculated() const { return kind_ == TFieldKind::fkCalculated; }
    bool IsBlob() const { return IsBlobType(dataType_); }
    const engine::FieldDesc& Desc() const { return desc_; }

    // Display settings. A change tells the data set's controls that the layout changed.
    std::string DisplayLabel() const { return label_.empty() ? name_ : label_; }
    void SetDisplayLabel(const std::string& label);
    std::string DisplayName() const { return DisplayLabel(); }
    // Characters; the field's own setting when at least 1, else the default of its kind.
    int DisplayWidth() const { return displayWidth_ >= 1 ? displayWidth_ : DefaultWidth(); }
    void SetDisplayWidth(int width);
    virtual int DefaultWidth() const { return 10; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    const std::string& EditMask() const { return editMask_; }
    void SetEditMask(const std::string& mask) { editMask_ = mask; }
    // Whether the field can take a value now: not read-only and its data set can be modified.
    bool CanModify() const;

    // The value of the active record.
    const engine::Value& Value() const;
    bool IsNull() const { return Value().IsNull(); }
    // The value the record had when editing began (the current value while browsing).
    engine::Value OldValue() const;

    // Texts: what a grid cell shows, and what a cell editor starts with and writes back.
    std::string DisplayText() const;
    std::string EditText() const;
    void SetEditText(const std::string& text) { SetText(text); }
    std::string Text() const { return EditText(); }
    void SetText(const std::string& text);

    // Typed access. Getters convert where that is meaningful and fail with "Cannot access
    // field 'X' as type T" where it is not; setters convert and check the value against the
    // field (type, size, range) before the record takes it.
    std::string AsString() const;
    int32_t AsInteger() const;
    int64_t AsLargeInt() const;
    double AsFloat() const;
    bool AsBoolean() const;
    int64_t AsDateTime() const;  // milliseconds since day 0 (day number * 86,400,000)
    void SetAsString(const std::string& v);
    void SetAsInteger(int32_t v) { SetAsLargeInt(v); }
    void SetAsLargeInt(int64_t v);
    void SetAsFloat(double v);
    void SetAsBoolean(bool v);
    void SetAsDateTime(int64_t timestampMs);
    void SetAsValue(const engine::Value& v);
    void Clear() { SetAsValue(engine::Value::Null()); }

    // Whether a typed character can be part of this field's text (the cell editor drops
    // others).
    virtual bool IsValidChar(char c) const;

    // Asks the data set's controls to put the input focus on this field.
    void FocusControl();

    // Events.
    std::function<void(TField&)> OnChange;
    std::function<void(TField&)> OnValidate;
    std::function<void(TField&, std::string& text, bool displayText)> OnGetText;
    std::function<void(TField&, const std::string& text)> OnSetText;

protected:
    [[noreturn]] void AccessError(const char* typeName) const;
    [[noreturn]] void ValueError(const std::string& message) const;
    // The field's own text of a non-null value.
    virtual std::string FormatText(const engine::Value& v, bool display) const;
    // Text to value for this kind; fails with the kind's conversion message.
    virtual engine::Value ParseText(const std::string& text) const;
    // Brings a value into the form the records keep for this kind, or fails.
    virtual engine::Value Normalize(const engine::Value& v) const;
    void PropertyChanged(bool layout);

    TDataSet* dataSet_;
    std::string name_;
    TFieldType dataType_;
    int size_;
    int precision_;
    int fieldNo_;
    engine::FieldDesc desc_;
    TFieldKind kind_ = TFieldKind::fkData;
    std::string label_;
    int displayWidth_ = 0;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    std::string editMask_;
};

class TStringField : public TField {
public:
    TStringField(TDataSet& ds, const TFieldDef& def) : TField(ds, def) {}
    int DefaultWidth() const override { return size_ > 0 ? size_ : 20; }

protected:
    engine::Value Normalize(const engine::Value& v) const override;
};

// Numbers are right-aligned.
class TNumericField : public TField {
public:
    TNumericField(TDataSet& ds, const TFieldDef& def) : TField(ds, def) { alignment_ = TAlignment::taRightJustify; }
    // How the cells show the number (FormatFloat); empty: the kind's own form.
    const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const std::string& format);

protected:
    std::string FormatText(const engine::Value& v, bool display) const override;
    // A character of a number written through the display format.
    bool IsFormatChar(char c) const;
    std::string displayFormat_;
};

class TIntegerField : public TNumericField {
public:
    TIntegerField(TDataSet& ds, const TFieldDef& def, int64_t minValue, int64_t maxValue)
        : TNumericField(ds, def), min_(minValue), max_(maxValue) {}
    TIntegerField(TDataSet& ds, const TFieldDef& def) : TIntegerField(ds, def, INT32_MIN, INT32_MAX) {}
    int64_t MinValue() const { return min_; }
    int64_t MaxValue() const { return max_; }
    bool IsValidChar(char c) const override;

protected:
    engine::Value ParseText(const std::string& text) const override;
    engine::Value Normalize(const engine::Value& v) const override;
    int64_t min_, max_;
};

class TSmallintField : public TIntegerField {
public:
    TSmallintField(TDataSet& ds, const TFieldDef& def) : TIntegerField(ds, def, -32768, 32767) {}
};

class TWordField : public TIntegerField {
public:
    TWordField(TDataSet& ds, const TFieldDef& def) : TIntegerField(ds, def, 0, 65535) {}
};

class TAutoIncField : public TIntegerField {
public:
    TAutoIncField(TDataSet& ds, const TFieldDef& def) : TIntegerField(ds, def) {}
};

class TLargeintField : public TIntegerField {
public:
    TLargeintField(TDataSet& ds, const TFieldDef& def) : TIntegerField(ds, def, INT64_MIN, INT64_MAX) {}
    int DefaultWidth() const override { return 15; }
};

class TFloatField : public TNumericField {
public:
    TFloatField(TDataSet& ds, const TFieldDef& def) : TNumericField(ds, def) {}
    // Shown as money ("$1,234.50").
    bool Currency() const { return currency_; }
    void SetCurrency(bool currency);
    bool IsValidChar(char c) const override;

protected:
    std::string FormatText(const engine::Value& v, bool display) const override;
    engine::Value ParseText(const std::string& text) const override;
    engine::Value Normalize(const engine::Value& v) const override;
    bool currency_ = false;
};

class TCurrencyField : public TFloatField {
public:
    TCurrencyField(TDataSet& ds, const TFieldDef& def) : TFloatField(ds, def) { currency_ = true; }
};

// Exact decimals: the value is a scaled integer with Size() digits after the point and
// Precision() digits in all.
class TBCDField : public TNumericField {
public:
    TBCDField(TDataSet& ds, const TFieldDef& def) : TNumericField(ds, def) {}
    int DefaultWidth() const override { return precision_ > 0 ? precision_ + 1 : 10; }
    bool IsValidChar(char c) const override;

protected:
    std::string FormatText(const engine::Value& v, bool display) const override;
    engine::Value ParseText(const std::string& text) const override;
    engine::Value Normalize(const engine::Value& v) const override;
};

class TBooleanField : public TField {
public:
    TBooleanField(TDataSet& ds, const TFieldDef& def) : TField(ds, def) {}
    // "True;False": the texts of the two values.
    void SetDisplayValues(const std::string& values);
    int DefaultWidth() const override;

protected:
    std::string FormatText(const engine::Value& v, bool display) const override;
    engine::Value ParseText(const std::string& text) const override;
    engine::Value Normalize(const engine::Value& v) const override;
    std::string true_ = "True", false_ = "False";
};

// Dates, times and both.
class TDateTimeField : public TField {
public:
    TDateTimeField(TDataSet& ds, const TFieldDef& def) : TField(ds, def) {}
    int DefaultWidth() const override { return 2 * StoredSize() + 2; }

protected:
    virtual int StoredSize() const { return 8; }
    std::string FormatText(const engine::Value& v, bool display) const override;
    engine::Value ParseText(const std::string& text) const override;
    engine::Value Normalize(const engine::Value& v) const override;
};

class TDateField : public TDateTimeField {
public:
    TDateField(TDataSet& ds, const TFieldDef& def) : TDateTimeField(ds, def) {}

protected:
    int StoredSize() const override { return 4; }
};

class TTimeField : public TDateTimeField {
public:
    TTimeField(TDataSet& ds, const TFieldDef& def) : TDateTimeField(ds, def) {}

protected:
    int StoredSize() const override { return 4; }
};

// Fixed-size bytes and large binary or memo fields: shown as their type name in
// parentheses, upper-cased when the field has a value.
class TBinaryField : public TField {
public:
    TBinaryField(TDataSet& ds, const TFieldDef& def) : TField(ds, def) {}

protected:
    std::string FormatText(const engine::Value& v, bool display) const override;
    engine::Value Normalize(const engine::Value& v) const override;
};

class TBlobField : public TBinaryField {
public:
    TBlobField(TDataSet& ds, const TFieldDef& def) : TBinaryField(ds, def) {}
    // The memo's text or the BLOB's bytes.
    std::string Data() const;
};

class TMemoField : public TBlobField {
public:
    TMemoField(TDataSet& ds, const TFieldDef& def) : TBlobField(ds, def) {}

protected:
    std::string FormatText(const engine::Value& v, bool display) const override;
    engine::Value Normalize(const engine::Value& v) const override;
};

// The field object of the right kind for a definition.
std::unique_ptr<TField> CreateField(TDataSet& dataSet, const TFieldDef& def);

}  // namespace tessel
