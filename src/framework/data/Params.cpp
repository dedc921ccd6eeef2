// Parameters of queries.

#include "framework/data/Params.h"

#include <cctype>

#include "base/StringList.h"
#include "framework/data/DbError.h"
#include "framework/data/FormatSettings.h"

namespace tessel {

using engine::ValueKind;

namespace {

TFieldType TypeOfValue(const engine::Value& v) {
    switch (v.kind) {
        case ValueKind::Bool:
            return TFieldType::ftBoolean;
        case ValueKind::Int:
            return TFieldType::ftInteger;
        case ValueKind::Double:
            return TFieldType::ftFloat;
        case ValueKind::Decimal:
            return TFieldType::ftBCD;
        case ValueKind::Text:
            return TFieldType::ftString;
        case ValueKind::Bytes:
            return TFieldType::ftBlob;
        case ValueKind::Date:
            return TFieldType::ftDate;
        case ValueKind::Time:
            return TFieldType::ftTime;
        case ValueKind::Timestamp:
            return TFieldType::ftDateTime;
        default:
            return TFieldType::ftUnknown;
    }
}

}  // namespace

void TParam::SetValue(const engine::Value& value) {
    value_ = value;
    bound_ = true;
    if (dataType_ == TFieldType::ftUnknown) dataType_ = TypeOfValue(value);
}

void TParam::Clear() {
    value_.SetNull();
    bound_ = true;
}

std::string TParam::AsString() const {
    switch (value_.kind) {
        case ValueKind::Null:
            return {};
        case ValueKind::Bool:
            return value_.i ? "True" : "False";
        case ValueKind::Double:
            return FloatToStr(value_.d);
        case ValueKind::Date:
            return DateToStr(value_.i);
        case ValueKind::Time:
            return TimeToStr(value_.i);
        case ValueKind::Timestamp:
            return DateTimeToStr(value_.i);
        default:
            return engine::FormatValue(value_);
    }
}

void TParam::SetAsString(const std::string& v) {
    dataType_ = TFieldType::ftString;
    SetValue(engine::Value::Text(v));
}

int32_t TParam::AsInteger() const {
    return static_cast<int32_t>(value_.kind == ValueKind::Int ? value_.i : value_.AsDouble());
}

void TParam::SetAsInteger(int32_t v) {
    dataType_ = TFieldType::ftInteger;
    SetValue(engine::Value::Int(v));
}

double TParam::AsFloat() const {
    return value_.AsDouble();
}

void TParam::SetAsFloat(double v) {
    dataType_ = TFieldType::ftFloat;
    SetValue(engine::Value::Double(v));
}

bool TParam::AsBoolean() const {
    return value_.AsDouble() != 0;
}

void TParam::SetAsBoolean(bool v) {
    dataType_ = TFieldType::ftBoolean;
    SetValue(engine::Value::Bool(v));
}

void TParam::SetAsDate(int64_t dayNumber) {
    dataType_ = TFieldType::ftDate;
    engine::Value v;
    v.SetDate(dayNumber);
    SetValue(v);
}

void TParam::SetAsTime(int64_t msOfDay) {
    dataType_ = TFieldType::ftTime;
    engine::Value v;
    v.SetTime(msOfDay);
    SetValue(v);
}

void TParam::SetAsDateTime(int64_t timestampMs) {
    dataType_ = TFieldType::ftDateTime;
    engine::Value v;
    v.SetTimestamp(timestampMs);
    SetValue(v);
}

void TParam::AssignValue(const TParam& source) {
    dataType_ = source.dataType_;
    value_ = source.value_;
    bound_ = source.bound_;
}

TParam& TParams::Items(int index) {
    if (index < 0 || index >= Count()) DatabaseError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)];
}

const TParam& TParams::Items(int index) const {
    return const_cast<TParams*>(this)->Items(index);
}

TParam* TParams::FindParam(const std::string& name) {
    for (auto& p : items_)
        if (SameText(p.Name(), name)) return &p;
    return nullptr;
}

const TParam* TParams::FindParam(const std::string& name) const {
    return const_cast<TParams*>(this)->FindParam(name);
}

TParam& TParams::ParamByName(const std::string& name) {
    TParam* p = FindParam(name);
    if (!p) DatabaseError("Parameter '" + name + "' not found");
    return *p;
}

TParam& TParams::CreateParam(TFieldType type, const std::string& name, TParamType paramType) {
    items_.emplace_back(name, type, paramType);
    return items_.back();
}

void TParams::AssignValues(const TParams& source) {
    for (auto& p : items_)
        if (const TParam* s = source.FindParam(p.Name())) p.AssignValue(*s);
}

std::vector<std::string> TParams::ParseSQL(const std::string& sql, std::string* converted) {
    std::vector<std::string> names;
    std::string out = sql;
    const size_t n = sql.size();
    size_t i = 0;
    auto isNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
    };
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {  // quoted text or a quoted name: up to the closing quote
            size_t j = i + 1;
            while (j < n && !(sql[j] == c && (j + 1 >= n || sql[j + 1] != c))) j += sql[j] == c ? 2 : 1;
            i = j + 1;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            const size_t end = sql.find_first_of("\r\n", i);
            i = end == std::string::npos ? n : end;
        } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
            i += 2;  // "::" is no marker
        } else if (c == ':' && i + 1 < n && (isNameChar(sql[i + 1]) || sql[i + 1] == '"')) {
            size_t j = i + 1;
            std::string name;
            if (sql[j] == '"') {
                const size_t close = sql.find('"', j + 1);
                const size_t end = close == std::string::npos ? n : close;
                name = sql.substr(j + 1, end - j - 1);
                j = close == std::string::npos ? n : close + 1;
            } else {
                while (j < n && isNameChar(sql[j])) ++j;
                name = sql.substr(i + 1, j - i - 1);
            }
            names.push_back(name);
            out[i] = '?';
            for (size_t k = i + 1; k < j; ++k) out[k] = ' ';
            i = j;
        } else {
            ++i;
        }
    }
    if (converted) *converted = std::move(out);
    return names;
}

}  // namespace tessel
