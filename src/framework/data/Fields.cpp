// Fields of data sets: types, values, display and edit text.

#include "framework/data/Fields.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "framework/data/DataSet.h"
#include "framework/data/FormatSettings.h"

namespace tessel {

using engine::ValueKind;
namespace fldtype = engine::fldtype;
namespace fldsub = engine::fldsub;

const char* FieldTypeName(TFieldType type) {
    switch (type) {
        case TFieldType::ftUnknown:
            return "Unknown";
        case TFieldType::ftString:
            return "String";
        case TFieldType::ftSmallint:
            return "SmallInt";
        case TFieldType::ftInteger:
            return "Integer";
        case TFieldType::ftWord:
            return "Word";
        case TFieldType::ftBoolean:
            return "Boolean";
        case TFieldType::ftFloat:
            return "Float";
        case TFieldType::ftCurrency:
            return "Currency";
        case TFieldType::ftBCD:
            return "BCD";
        case TFieldType::ftDate:
            return "Date";
        case TFieldType::ftTime:
            return "Time";
        case TFieldType::ftDateTime:
            return "DateTime";
        case TFieldType::ftBytes:
            return "Bytes";
        case TFieldType::ftVarBytes:
            return "VarBytes";
        case TFieldType::ftAutoInc:
            return "AutoInc";
        case TFieldType::ftBlob:
            return "Blob";
        case TFieldType::ftMemo:
            return "Memo";
        case TFieldType::ftGraphic:
            return "Graphic";
        case TFieldType::ftFmtMemo:
            return "FmtMemo";
        case TFieldType::ftParadoxOle:
            return "ParadoxOle";
        case TFieldType::ftDBaseOle:
            return "DBaseOle";
        case TFieldType::ftTypedBinary:
            return "TypedBinary";
        case TFieldType::ftLargeint:
            return "LargeInt";
        case TFieldType::ftOraBlob:
            return "OraBlob";
        case TFieldType::ftOraClob:
            return "OraClob";
    }
    return "Unknown";
}

bool IsBlobType(TFieldType type) {
    switch (type) {
        case TFieldType::ftBlob:
        case TFieldType::ftMemo:
        case TFieldType::ftGraphic:
        case TFieldType::ftFmtMemo:
        case TFieldType::ftParadoxOle:
        case TFieldType::ftDBaseOle:
        case TFieldType::ftTypedBinary:
        case TFieldType::ftOraBlob:
        case TFieldType::ftOraClob:
            return true;
        default:
            return false;
    }
}

TFieldDef FieldDefFromDesc(const engine::FieldDesc& desc, int fieldNo) {
    TFieldDef def;
    def.name = desc.name;
    def.fieldNo = fieldNo;
    def.desc = desc;
    def.readOnly = desc.readOnly;
    def.required = !desc.nullable && desc.type != fldtype::kString;
    using T = TFieldType;
    switch (desc.type) {
        case fldtype::kString:
            def.dataType = T::ftString;
            def.size = desc.units1;
            break;
        case fldtype::kDate:
            def.dataType = T::ftDate;
            break;
        case fldtype::kBool:
            def.dataType = T::ftBoolean;
            break;
        case fldtype::kInt16:
            def.dataType = T::ftSmallint;
            break;
        case fldtype::kInt32:
            def.dataType = desc.subType == fldsub::kAutoInc ? T::ftAutoInc : T::ftInteger;
            if (desc.subType == fldsub::kAutoInc) def.readOnly = true;
            break;
        case fldtype::kFloat:
            def.dataType = desc.subType == fldsub::kMoney ? T::ftCurrency : T::ftFloat;
            def.precision = desc.units1;
            def.size = desc.units2;
            break;
        case fldtype::kBcd:
            def.dataType = T::ftBCD;
            def.precision = desc.units1;
            def.size = desc.units2;
            break;
        case fldtype::kBytes:
            def.dataType = T::ftBytes;
            def.size = desc.units1;
            break;
        case fldtype::kTime:
            def.dataType = T::ftTime;
            break;
        case fldtype::kTimestamp:
            def.dataType = T::ftDateTime;
            break;
        case fldtype::kBlob:
            def.size = desc.units1;
            switch (desc.subType) {
                case fldsub::kMemo:
                    def.dataType = T::ftMemo;
                    break;
                case fldsub::kFormattedMemo:
                    def.dataType = T::ftFmtMemo;
                    break;
                case fldsub::kGraphic:
                    def.dataType = T::ftGraphic;
                    break;
                case fldsub::kOle:
                    def.dataType = T::ftParadoxOle;
                    break;
                case fldsub::kDbaseOle:
                    def.dataType = T::ftDBaseOle;
                    break;
                case fldsub::kTypedBinary:
                    def.dataType = T::ftTypedBinary;
                    break;
                default:
                    def.dataType = T::ftBlob;
                    break;
            }
            break;
        default:
            def.dataType = T::ftUnknown;
            def.size = desc.units1;
            break;
    }
    return def;
}

std::unique_ptr<TField> CreateField(TDataSet& ds, const TFieldDef& def) {
    using T = TFieldType;
    std::unique_ptr<TField> f;
    switch (def.dataType) {
        case T::ftString:
            f = std::make_unique<TStringField>(ds, def);
            break;
        case T::ftSmallint:
            f = std::make_unique<TSmallintField>(ds, def);
            break;
        case T::ftInteger:
            f = std::make_unique<TIntegerField>(ds, def);
            break;
        case T::ftWord:
            f = std::make_unique<TWordField>(ds, def);
            break;
        case T::ftAutoInc:
            f = std::make_unique<TAutoIncField>(ds, def);
            break;
        case T::ftLargeint:
            f = std::make_unique<TLargeintField>(ds, def);
            break;
        case T::ftFloat:
            f = std::make_unique<TFloatField>(ds, def);
            break;
        case T::ftCurrency:
            f = std::make_unique<TCurrencyField>(ds, def);
            break;
        case T::ftBCD:
            f = std::make_unique<TBCDField>(ds, def);
            break;
        case T::ftBoolean:
            f = std::make_unique<TBooleanField>(ds, def);
            break;
        case T::ftDate:
            f = std::make_unique<TDateField>(ds, def);
            break;
        case T::ftTime:
            f = std::make_unique<TTimeField>(ds, def);
            break;
        case T::ftDateTime:
            f = std::make_unique<TDateTimeField>(ds, def);
            break;
        case T::ftBytes:
        case T::ftVarBytes:
            f = std::make_unique<TBinaryField>(ds, def);
            break;
        case T::ftMemo:
        case T::ftFmtMemo:
        case T::ftOraClob:
            f = std::make_unique<TMemoField>(ds, def);
            break;
        case T::ftBlob:
        case T::ftGraphic:
        case T::ftParadoxOle:
        case T::ftDBaseOle:
        case T::ftTypedBinary:
        case T::ftOraBlob:
            f = std::make_unique<TBlobField>(ds, def);
            break;
        case T::ftUnknown:
            f = std::make_unique<TField>(ds, def);
            break;
    }
    return f;
}

// ------------------------------------------------------------------------------------ TField

TField::TField(TDataSet& dataSet, const TFieldDef& def)
    : dataSet_(&dataSet),
      name_(def.name),
      dataType_(def.dataType),
      size_(def.size),
      precision_(def.precision),
      fieldNo_(def.fieldNo),
      desc_(def.desc),
      visible_(!def.desc.hidden),
      readOnly_(def.readOnly),
      required_(def.required) {}

int TField::Index() const {
    return dataSet_->FieldIndexOf(*this);
}

void TField::SetIndex(int index) {
    dataSet_->MoveField(*this, index);
}

void TField::PropertyChanged(bool layout) {
    if (dataSet_->Active()) dataSet_->DataEvent(layout ? TDataEvent::deLayoutChange : TDataEvent::deDataSetChange);
}

void TField::SetDisplayLabel(const std::string& label) {
    const std::string value = label == name_ ? std::string() : label;
    if (value == label_) return;
    label_ = value;
    PropertyChanged(true);
}

void TField::SetDisplayWidth(int width) {
    if (width == displayWidth_) return;
    displayWidth_ = width;
    PropertyChanged(true);
}

void TField::SetAlignment(TAlignment alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    PropertyChanged(false);
}

void TField::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    PropertyChanged(true);
}

bool TField::CanModify() const {
    return !readOnly_ && kind_ != TFieldKind::fkLookup && dataSet_->CanModify();
}

const engine::Value& TField::Value() const {
    return dataSet_->FieldValue(*this);
}

engine::Value TField::OldValue() const {
    return dataSet_->OldFieldValue(*this);
}

void TField::AccessError(const char* typeName) const {
    dataSet_->Error("Cannot access field '" + name_ + "' as type " + typeName);
}

void TField::ValueError(const std::string& message) const {
    dataSet_->Error(message);
}

void TField::FocusControl() {
    dataSet_->DataEvent(TDataEvent::deFocusControl, this);
}

std::string TField::FormatText(const engine::Value& v, bool) const {
    switch (v.kind) {
        case ValueKind::Bool:
            return v.i ? "True" : "False";
        case ValueKind::Double:
            return FloatToStr(v.d);
        case ValueKind::Date:
            return DateToStr(v.i);
        case ValueKind::Time:
            return TimeToStr(v.i);
        case ValueKind::Timestamp:
            return DateTimeToStr(v.i);
        default:
            return engine::FormatValue(v);
    }
}

std::string TField::DisplayText() const {
    const engine::Value& v = Value();
    std::string text = v.IsNull() ? std::string() : FormatText(v, true);
    if (v.IsNull() && (IsBlob() || dataType_ == TFieldType::ftBytes || dataType_ == TFieldType::ftVarBytes))
        text = FormatText(v, true);
    if (OnGetText) {
        std::string t = text;
        const_cast<TField*>(this)->OnGetText(*const_cast<TField*>(this), t, true);
        return t;
    }
    return text;
}

std::string TField::EditText() const {
    const engine::Value& v = Value();
    std::string text = v.IsNull() ? std::string() : FormatText(v, false);
    if (OnGetText) {
        std::string t = text;
        const_cast<TField*>(this)->OnGetText(*const_cast<TField*>(this), t, false);
        return t;
    }
    return text;
}

void TField::SetText(const std::string& text) {
    if (OnSetText) {
        OnSetText(*this, text);
        return;
    }
    SetAsString(text);
}

engine::Value TField::ParseText(const std::string& text) const {
    return engine::Value::Text(text);
}

engine::Value TField::Normalize(const engine::Value& v) const {
    return v;
}

std::string TField::AsString() const {
    const engine::Value& v = Value();
    if (v.IsNull()) return {};
    if (v.kind == ValueKind::Text || v.kind == ValueKind::Bytes) return v.s;
    return FormatText(v, false);
}

int64_t TField::AsLargeInt() const {
    const engine::Value& v = Value();
    switch (v.kind) {
        case ValueKind::Null:
            return 0;
        case ValueKind::Bool:
        case ValueKind::Int:
            return v.i;
        case ValueKind::Double:
        case ValueKind::Decimal: {
            const double d = v.AsDouble();
            if (!(d >= -9.2e18 && d <= 9.2e18))
                ValueError("'" + FloatToStr(d) + "' is not a valid integer value for field '" + name_ + "'");
            return static_cast<int64_t>(std::llround(d));
        }
        case ValueKind::Text: {
            int64_t r = 0;
            if (!TryStrToInt64(v.s, r))
                ValueError("'" + v.s + "' is not a valid integer value for field '" + name_ + "'");
            return r;
        }
        default:
            AccessError("Integer");
    }
}

int32_t TField::AsInteger() const {
    const int64_t v = AsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX)
        ValueError(std::to_string(v) + " is not a valid integer value for field '" + name_ + "'");
    return static_cast<int32_t>(v);
}

double TField::AsFloat() const {
    const engine::Value& v = Value();
    switch (v.kind) {
        case ValueKind::Null:
            return 0;
        case ValueKind::Bool:
        case ValueKind::Int:
        case ValueKind::Double:
        case ValueKind::Decimal:
            return v.AsDouble();
        case ValueKind::Text: {
            double d = 0;
            if (!TryStrToFloat(v.s, d))
                ValueError("'" + v.s + "' is not a valid floating point value for field '" + name_ + "'");
            return d;
        }
        case ValueKind::Date:
            return static_cast<double>(v.i);
        case ValueKind::Timestamp:
            return static_cast<double>(v.i) / engine::kMsPerDay;
        default:
            AccessError("Float");
    }
}

bool TField::AsBoolean() const {
    const engine::Value& v = Value();
    switch (v.kind) {
        case ValueKind::Null:
            return false;
        case ValueKind::Bool:
        case ValueKind::Int:
            return v.i != 0;
        case ValueKind::Text: {
            const std::string_view t = TrimBlanks(v.s);
            if (!t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y')) return true;
            if (!t.empty() && (t[0] == 'F' || t[0] == 'f' || t[0] == 'N' || t[0] == 'n')) return false;
            ValueError("'" + v.s + "' is not a valid boolean value for field '" + name_ + "'");
        }
        default:
            AccessError("Boolean");
    }
}

int64_t TField::AsDateTime() const {
    const engine::Value& v = Value();
    switch (v.kind) {
        case ValueKind::Null:
            return 0;
        case ValueKind::Date:
            return v.i * engine::kMsPerDay;
        case ValueKind::Time:
        case ValueKind::Timestamp:
            return v.i;
        case ValueKind::Text: {
            int64_t ts = 0;
            if (!TryStrToDateTime(v.s, ts))
                ValueError("'" + v.s + "' is not a valid date and time for field '" + name_ + "'");
            return ts;
        }
        default:
            AccessError("DateTime");
    }
}

void TField::SetAsString(const std::string& v) {
    if (v.empty() && dataType_ != TFieldType::ftString) {
        SetAsValue(engine::Value::Null());
        return;
    }
    SetAsValue(ParseText(v));
}

void TField::SetAsLargeInt(int64_t v) {
    SetAsValue(engine::Value::Int(v));
}
void TField::SetAsFloat(double v) {
    SetAsValue(engine::Value::Double(v));
}
void TField::SetAsBoolean(bool v) {
    SetAsValue(engine::Value::Bool(v));
}
void TField::SetAsDateTime(int64_t ts) {
    engine::Value v;
    v.SetTimestamp(ts);
    SetAsValue(v);
}

void TField::SetAsValue(const engine::Value& v) {
    engine::Value normalized = v.IsNull() ? engine::Value::Null() : Normalize(v);
    dataSet_->SetFieldValue(*this, std::move(normalized));
}

bool TField::IsValidChar(char c) const {
    return c != 0;
}

// ------------------------------------------------------------------------------ kinds

namespace {

size_t CodePoints(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

engine::Value TStringField::Normalize(const engine::Value& v) const {
    std::string text;
    switch (v.kind) {
        case ValueKind::Text:
        case ValueKind::Bytes:
            text = v.s;
            break;
        default:
            text = FormatText(v, false);
            break;
    }
    if (size_ > 0 && CodePoints(text) > static_cast<size_t>(size_))
        ValueError("Value of field '" + name_ + "' is too long: " + std::to_string(CodePoints(text)) +
                   " characters, at most " + std::to_string(size_) + " fit");
    return engine::Value::Text(text);
}

void TNumericField::SetDisplayFormat(const std::string& format) {
    if (format == displayFormat_) return;
    displayFormat_ = format;
    PropertyChanged(false);
}

std::string TNumericField::FormatText(const engine::Value& v, bool display) const {
    if (display && !displayFormat_.empty()) return FormatFloat(displayFormat_, v.AsDouble());
    return TField::FormatText(v, display);
}

bool TNumericField::IsFormatChar(char c) const {
    return !displayFormat_.empty() && IsFormattedNumberChar(displayFormat_, c);
}

bool TIntegerField::IsValidChar(char c) const {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || IsFormatChar(c);
}

engine::Value TIntegerField::ParseText(const std::string& text) const {
    int64_t v = 0;
    if (!TryStrToInt64(text, v)) {
        double d = 0;
        // "1E3" or a number beyond 64 bits: a range error tells more than a syntax error.
        if (TryStrToFloat(text, d) && std::floor(d) == d &&
            (d < static_cast<double>(min_) || d > static_cast<double>(max_)))
            ValueError(FloatToStr(d) + " is not a valid value for field '" + name_ + "'. The allowed range is " +
                       std::to_string(min_) + " to " + std::to_string(max_));
        ValueError("'" + std::string(TrimBlanks(text)) + "' is not a valid integer value for field '" + name_ + "'");
    }
    return engine::Value::Int(v);
}

engine::Value TIntegerField::Normalize(const engine::Value& v) const {
    int64_t i = 0;
    switch (v.kind) {
        case ValueKind::Bool:
        case ValueKind::Int:
            i = v.i;
            break;
        case ValueKind::Double:
        case ValueKind::Decimal: {
            const double d = v.AsDouble();
            if (!std::isfinite(d) || d < static_cast<double>(min_) - 0.5 || d > static_cast<double>(max_) + 0.5)
                ValueError(FloatToStr(d) + " is not a valid value for field '" + name_ + "'. The allowed range is " +
                           std::to_string(min_) + " to " + std::to_string(max_));
            i = static_cast<int64_t>(std::llround(d));
            break;
        }
        case ValueKind::Text:
            return Normalize(ParseText(v.s));
        default:
            AccessError(FieldTypeName(dataType_));
    }
    if (i < min_ || i > max_)
        ValueError(std::to_string(i) + " is not a valid value for field '" + name_ + "'. The allowed range is " +
                   std::to_string(min_) + " to " + std::to_string(max_));
    return engine::Value::Int(i);
}

void TFloatField::SetCurrency(bool currency) {
    if (currency == currency_) return;
    currency_ = currency;
    PropertyChanged(false);
}

bool TFloatField::IsValidChar(char c) const {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == 'e' || c == 'E' ||
           c == FormatSettings().decimalSeparator || IsFormatChar(c);
}

std::string TFloatField::FormatText(const engine::Value& v, bool display) const {
    if (display && !displayFormat_.empty()) return TNumericField::FormatText(v, display);
    if (v.kind == ValueKind::Decimal) {
        // A fixed-point number keeps its decimals.
        if (display && currency_) return CurrToStr(v.AsDouble());
        std::string s = engine::FormatDecimal(v.i, v.scale);
        if (FormatSettings().decimalSeparator != '.')
            for (char& c : s)
                if (c == '.') c = FormatSettings().decimalSeparator;
        return s;
    }
    const double d = v.AsDouble();
    if (display && currency_) return CurrToStr(d);
    return FloatToStr(d);
}

engine::Value TFloatField::ParseText(const std::string& text) const {
    double d = 0;
    std::string t(TrimBlanks(text));
    if (currency_ && t.rfind(FormatSettings().currencyString, 0) == 0)
        t.erase(0, FormatSettings().currencyString.size());
    if (!TryStrToFloat(t, d))
        ValueError("'" + std::string(TrimBlanks(text)) + "' is not a valid floating point value for field '" + name_ +
                   "'");
    return engine::Value::Double(d);
}

engine::Value TFloatField::Normalize(const engine::Value& v) const {
    switch (v.kind) {
        case ValueKind::Bool:
        case ValueKind::Int:
        case ValueKind::Decimal:
        case ValueKind::Double: {
            const double d = v.AsDouble();
            if (!std::isfinite(d))
                ValueError("'" + FloatToStr(d) + "' is not a valid floating point value for field '" + name_ + "'");
            return engine::Value::Double(d);
        }
        case ValueKind::Text:
            return ParseText(v.s);
        default:
            AccessError(FieldTypeName(dataType_));
    }
}

bool TBCDField::IsValidChar(char c) const {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' ||
           c == FormatSettings().decimalSeparator;
}

std::string TBCDField::FormatText(const engine::Value& v, bool) const {
    if (v.kind == ValueKind::Decimal) return engine::FormatDecimal(v.i, v.scale);
    return FloatToStr(v.AsDouble());
}

engine::Value TBCDField::ParseText(const std::string& text) const {
    const std::string_view t = TrimBlanks(text);
    // Exact: digits, an optional point and digits, never through a double.
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) neg = t[i++] == '-';
    std::string intDigits, fracDigits;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) intDigits += t[i++];
    if (i < t.size() && t[i] == FormatSettings().decimalSeparator) {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) fracDigits += t[i++];
    }
    if (i != t.size() || (intDigits.empty() && fracDigits.empty()))
        ValueError("'" + std::string(t) + "' is not a valid BCD value for field '" + name_ + "'");
    while (fracDigits.size() > static_cast<size_t>(size_) && fracDigits.back() == '0') fracDigits.pop_back();
    if (fracDigits.size() > static_cast<size_t>(size_))
        ValueError("'" + std::string(t) + "' has more than " + std::to_string(size_) + " decimals, which field '" +
                   name_ + "' holds");
    fracDigits.resize(static_cast<size_t>(size_), '0');
    const std::string all = intDigits + fracDigits;
    size_t start = all.find_first_not_of('0');
    const std::string digits = start == std::string::npos ? "0" : all.substr(start);
    if (digits.size() > 18)
        ValueError("'" + std::string(t) + "' is not a valid value for field '" + name_ + "': too many digits");
    int64_t scaled = std::stoll(digits);
    return Normalize(engine::Value::Decimal(neg ? -scaled : scaled, size_));
}

engine::Value TBCDField::Normalize(const engine::Value& v) const {
    int64_t scaled = 0;
    switch (v.kind) {
        case ValueKind::Decimal: {
            scaled = v.i;
            int s = v.scale;
            while (s < size_) {
                if (scaled > INT64_MAX / 10 || scaled < INT64_MIN / 10)
                    ValueError("'" + engine::FormatValue(v) + "' is not a valid value for field '" + name_ +
                               "': too many digits");
                scaled *= 10;
                ++s;
            }
            while (s > size_) {
                if (scaled % 10 != 0)
                    ValueError("'" + engine::FormatValue(v) + "' has more than " + std::to_string(size_) +
                               " decimals, which field '" + name_ + "' holds");
                scaled /= 10;
                --s;
            }
            break;
        }
        case ValueKind::Bool:
        case ValueKind::Int:
            return Normalize(engine::Value::Decimal(v.i, 0));
        case ValueKind::Double: {
            if (!std::isfinite(v.d))
                ValueError("'" + FloatToStr(v.d) + "' is not a valid value for field '" + name_ + "'");
            return ParseText(FloatToStrFixed(v.d, size_, false));
        }
        case ValueKind::Text:
            return ParseText(v.s);
        default:
            AccessError(FieldTypeName(dataType_));
    }
    if (precision_ > 0) {
        const std::string digits = std::to_string(scaled < 0 ? -scaled : scaled);
        if (digits.size() > static_cast<size_t>(precision_) && scaled != 0)
            ValueError("'" + engine::FormatDecimal(scaled, size_) + "' is not a valid value for field '" + name_ +
                       "': it has more than " + std::to_string(precision_) + " digits");
    }
    return engine::Value::Decimal(scaled, size_);
}

void TBooleanField::SetDisplayValues(const std::string& values) {
    const size_t semi = values.find(';');
    true_ = values.substr(0, semi);
    false_ = semi == std::string::npos ? std::string() : values.substr(semi + 1);
    PropertyChanged(true);
}

int TBooleanField::DefaultWidth() const {
    return static_cast<int>(std::max(CodePoints(true_), CodePoints(false_)));
}

std::string TBooleanField::FormatText(const engine::Value& v, bool) const {
    const bool b = v.kind == ValueKind::Bool || v.kind == ValueKind::Int ? v.i != 0 : v.AsDouble() != 0;
    return b ? true_ : false_;
}

engine::Value TBooleanField::ParseText(const std::string& text) const {
    const std::string t(TrimBlanks(text));
    auto prefixOf = [&](const std::string& word) {
        if (t.empty() || t.size() > word.size()) return false;
        for (size_t i = 0; i < t.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(t[i])) != std::toupper(static_cast<unsigned char>(word[i])))
                return false;
        return true;
    };
    const bool isTrue = prefixOf(true_), isFalse = prefixOf(false_);
    if (isTrue != isFalse) return engine::Value::Bool(isTrue);
    ValueError("'" + t + "' is not a valid boolean value for field '" + name_ + "'");
}

engine::Value TBooleanField::Normalize(const engine::Value& v) const {
    switch (v.kind) {
        case ValueKind::Bool:
            return v;
        case ValueKind::Int:
            return engine::Value::Bool(v.i != 0);
        case ValueKind::Text:
            return ParseText(v.s);
        default:
            AccessError("Boolean");
    }
}

std::string TDateTimeField::FormatText(const engine::Value& v, bool) const {
    switch (v.kind) {
        case ValueKind::Date:
            return DateToStr(v.i);
        case ValueKind::Time:
            return TimeToStr(v.i);
        case ValueKind::Timestamp:
            return DateTimeToStr(v.i);
        default:
            return engine::FormatValue(v);
    }
}

engine::Value TDateTimeField::ParseText(const std::string& text) const {
    const std::string t(TrimBlanks(text));
    int64_t x = 0;
    switch (dataType_) {
        case TFieldType::ftDate:
            if (!TryStrToDate(t, x)) ValueError("'" + t + "' is not a valid date for field '" + name_ + "'");
            {
                engine::Value r;
                r.SetDate(x);
                return r;
            }
        case TFieldType::ftTime:
            if (!TryStrToTime(t, x)) ValueError("'" + t + "' is not a valid time for field '" + name_ + "'");
            {
                engine::Value r;
                r.SetTime(x);
                return r;
            }
        default:
            if (!TryStrToDateTime(t, x))
                ValueError("'" + t + "' is not a valid date and time for field '" + name_ + "'");
            {
                engine::Value r;
                r.SetTimestamp(x);
                return r;
            }
    }
}

engine::Value TDateTimeField::Normalize(const engine::Value& v) const {
    if (v.kind == ValueKind::Text) return ParseText(v.s);
    int64_t ts = 0;  // as a timestamp
    switch (v.kind) {
        case ValueKind::Date:
            ts = v.i * engine::kMsPerDay;
            break;
        case ValueKind::Time:
            ts = v.i;
            break;
        case ValueKind::Timestamp:
            ts = v.i;
            break;
        default:
            AccessError(FieldTypeName(dataType_));
    }
    engine::Value r;
    switch (dataType_) {
        case TFieldType::ftDate: {
            int64_t day = ts / engine::kMsPerDay;
            if (ts % engine::kMsPerDay < 0) --day;
            r.SetDate(v.kind == ValueKind::Date ? v.i : day);
            break;
        }
        case TFieldType::ftTime: {
            int64_t ms = ts % engine::kMsPerDay;
            if (ms < 0) ms += engine::kMsPerDay;
            r.SetTime(v.kind == ValueKind::Time ? v.i : ms);
            break;
        }
        default:
            r.SetTimestamp(ts);
            break;
    }
    return r;
}

std::string TBinaryField::FormatText(const engine::Value& v, bool display) const {
    if (!display) return v.s;
    std::string name = FieldTypeName(dataType_);
    if (!v.IsNull())
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "(" + name + ")";
}

engine::Value TBinaryField::Normalize(const engine::Value& v) const {
    if (v.kind != ValueKind::Bytes && v.kind != ValueKind::Text) AccessError(FieldTypeName(dataType_));
    if (dataType_ == TFieldType::ftBytes && size_ > 0 && v.s.size() > static_cast<size_t>(size_))
        ValueError("Value of field '" + name_ + "' is too long: " + std::to_string(v.s.size()) + " bytes, at most " +
                   std::to_string(size_) + " fit");
    return engine::Value::Bytes(v.s);
}

std::string TBlobField::Data() const {
    const engine::Value& v = Value();
    return v.IsNull() ? std::string() : v.s;
}

std::string TMemoField::FormatText(const engine::Value& v, bool display) const {
    if (display) return TBinaryField::FormatText(v, true);
    return v.s;
}

engine::Value TMemoField::Normalize(const engine::Value& v) const {
    if (v.kind != ValueKind::Text && v.kind != ValueKind::Bytes) return engine::Value::Text(FormatText(v, false));
    return engine::Value::Text(v.s);
}

}  // namespace tessel
