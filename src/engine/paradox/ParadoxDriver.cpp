// The Paradox driver's descriptor: names, companion files, field types and their limits.

#include <algorithm>

#include "base/AsciiText.h"
#include "engine/paradox/Paradox.h"

namespace tessel::engine::paradox {

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

class Descriptor final : public StorageDriver {
public:
    Descriptor() {
        limits_.maxCharSize = 255;
        limits_.maxFieldNameLength = 25;
        limits_.maxFields = 255;
        limits_.maxBcdPrecision = 32;
    }

    std::string_view Name() const override { return "PARADOX"; }
    std::string_view DisplayName() const override { return "Paradox"; }
    std::string_view Extension() const override { return ".db"; }
    bool HasTypeName(std::string_view typeName) const override { return typeName == "PARADOX"; }
    bool IsFamilyExtension(std::string_view ext) const override {
        if (ext == "db" || ext == "px" || ext == "mb" || ext == "val" || ext == "tv" || ext == "fam") return true;
        if (ext.size() != 3 || (ext[0] != 'x' && ext[0] != 'y')) return false;
        if (IsHex(ext[1]) && IsHex(ext[2])) return true;  // .X01 .Y0A: single-field indexes
        return ext[1] == 'g' && IsHex(ext[2]);            // .XG0: named indexes
    }
    const FieldLimits& Limits() const override { return limits_; }
    bool HasPrimaryKeys() const override { return true; }
    bool DeleteRemovesRecords() const override { return true; }
    bool RefreshesOnLock() const override { return true; }

    std::string ValidFieldName(std::string name) const override {
        while (!name.empty() && name.front() == ' ') name.erase(0, 1);
        if (name.empty()) name = "FIELD";
        if (name.size() > limits_.maxFieldNameLength) name.resize(limits_.maxFieldNameLength);
        return name;
    }

    CopiedField CopyField(const FieldDesc& source, bool sameDriver) const override {
        CopiedField c = StorageDriver::CopyField(source, sameDriver);
        // An exact decimal of another format (a dBASE N(p,s) with decimals, an exact answer
        // column) becomes a BCD field of its scale, not a float: sums over the copy stay exact.
        if (!sameDriver && source.type == fldtype::kFloat && source.subType == fldsub::kNone &&
            source.nativeType == 'N' && source.units1 > 0 && source.units2 > 0 &&
            source.units2 <= limits_.maxBcdPrecision) {
            c.field.type = fldtype::kBcd;
            c.field.units1 = std::min<uint16_t>(std::max(source.units1, source.units2), limits_.maxBcdPrecision);
            c.field.units2 = source.units2;
        }
        return c;
    }

    std::unique_ptr<Table> Open(const std::string& path, OpenMode mode) const override {
        return OpenParadoxTable(path, mode);
    }
    std::unique_ptr<Table> Create(const std::string& path, const std::vector<FieldDesc>& fields,
                                  const CreateOptions& options) const override {
        return CreateParadoxTable(path, fields, options, options.keyFields);
    }

private:
    FieldLimits limits_;
};

}  // namespace

const StorageDriver& ParadoxDriver() {
    static const Descriptor driver;
    return driver;
}

}  // namespace tessel::engine::paradox
