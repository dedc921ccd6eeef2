#pragma once

// Parameters of a statement: named values that take the place of ":name" markers, in the
// order the markers stand in the text.

#include <string>
#include <vector>

#include "engine/storage/Value.h"
#include "framework/data/Fields.h"

namespace tessel {

enum class TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam {
public:
    TParam() = default;
    TParam(std::string name, TFieldType dataType, TParamType paramType)
        : name_(std::move(name)), dataType_(dataType), paramType_(paramType) {}

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    TParamType ParamType() const { return paramType_; }
    void SetParamType(TParamType type) { paramType_ = type; }

    // A parameter is bound once it was given a value (NULL included).
    bool Bound() const { return bound_; }
    void SetBound(bool bound) { bound_ = bound; }
    bool IsNull() const { return value_.IsNull(); }
    const engine::Value& Value() const { return value_; }
    // Takes the value; a parameter without a data type gets the value's.
    void SetValue(const engine::Value& value);
    void Clear();

    std::string AsString() const;
    void SetAsString(const std::string& v);
    int32_t AsInteger() const;
    void SetAsInteger(int32_t v);
    double AsFloat() const;
    void SetAsFloat(double v);
    bool AsBoolean() const;
    void SetAsBoolean(bool v);
    void SetAsDate(int64_t dayNumber);
    void SetAsTime(int64_t msOfDay);
    void SetAsDateTime(int64_t timestampMs);

    // Copies data type, value and bound state (not the name).
    void AssignValue(const TParam& source);

private:
    std::string name_;
    TFieldType dataType_ = TFieldType::ftUnknown;
    TParamType paramType_ = TParamType::ptUnknown;
    engine::Value value_;
    bool bound_ = false;
};

class TParams {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Fails with "List index out of bounds (%d)".
    TParam& Items(int index);
    const TParam& Items(int index) const;
    TParam& operator[](int index) { return Items(index); }
    // Names compare without regard to case.
    TParam* FindParam(const std::string& name);
    const TParam* FindParam(const std::string& name) const;
    // Fails with "Parameter 'X' not found".
    TParam& ParamByName(const std::string& name);
    TParam& CreateParam(TFieldType type, const std::string& name, TParamType paramType);
    void Clear() { items_.clear(); }
    // Copies the values of same-named parameters of `source`.
    void AssignValues(const TParams& source);

    // The ":name" markers of a statement outside quotes and comments, in text order (a name
    // may repeat). `converted`, when given, receives the text with every marker replaced by
    // "?" padded with blanks to the marker's length, so positions in the text stay the same.
    static std::vector<std::string> ParseSQL(const std::string& sql, std::string* converted = nullptr);

private:
    std::vector<TParam> items_;
};

}  // namespace tessel
