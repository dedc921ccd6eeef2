// What every storage driver shares: column definitions and copied fields decided from the
// driver's limits.

#include "engine/storage/Driver.h"

#include <algorithm>

namespace tessel::engine {

namespace {

[[noreturn]] void Refuse(ColumnTypeError::What what, int value = 0) {
    throw ColumnTypeError{what, value};
}

uint16_t InRange(const std::optional<int>& v, int lo, int hi) {
    if (!v) Refuse(ColumnTypeError::What::NeedsSize);
    if (*v < lo || *v > hi) Refuse(ColumnTypeError::What::InvalidSize, *v);
    return static_cast<uint16_t>(*v);
}

}  // namespace

FieldDesc StorageDriver::DefineField(const std::string& name, const ColumnType& t) const {
    using Kind = ColumnType::Kind;
    using What = ColumnTypeError::What;
    const FieldLimits& limits = Limits();
    FieldDesc f;
    f.name = name;
    switch (t.kind) {
        case Kind::Smallint:
            f.type = fldtype::kInt16;
            break;
        case Kind::Integer:
            f.type = fldtype::kInt32;
            break;
        case Kind::Autoinc:
            f.type = fldtype::kInt32;
            f.subType = fldsub::kAutoInc;
            break;
        case Kind::Decimal:
        case Kind::Numeric:
        case Kind::Float: {
            const bool decimal = t.kind == Kind::Decimal;
            if (t.scale && (*t.scale < 0 || (t.size && *t.scale > *t.size))) Refuse(What::InvalidSize, *t.scale);
            if (limits.sizedNumbers) {
                f.type = decimal ? fldtype::kBcd : fldtype::kFloat;
                f.nativeType = t.kind == Kind::Float ? 'F' : 'N';
                if (t.size) {
                    f.units1 = InRange(t.size, 1, limits.maxNumberWidth);
                    f.units2 = static_cast<uint16_t>(t.scale.value_or(0));
                    if (f.units2 > 0 && f.units2 + 2 > f.units1) Refuse(What::InvalidSize, f.units2);
                }
            } else if (decimal) {
                f.type = fldtype::kBcd;
                f.units1 = InRange(t.size, 1, limits.maxBcdPrecision);
                f.units2 = static_cast<uint16_t>(t.scale.value_or(0));
            } else {
                f.type = fldtype::kFloat;  // a number without a size
            }
            break;
        }
        case Kind::Money:
            f.type = fldtype::kFloat;
            f.subType = fldsub::kMoney;
            break;
        case Kind::Char:
        case Kind::Varchar:
            f.type = fldtype::kString;
            f.units1 = InRange(t.size, 1, limits.maxCharSize);
            break;
        case Kind::Date:
            f.type = fldtype::kDate;
            break;
        case Kind::Time:
            if (!limits.time) Refuse(What::InvalidType);
            f.type = fldtype::kTime;
            break;
        case Kind::Timestamp:
            f.type = fldtype::kTimestamp;
            break;
        case Kind::Boolean:
            f.type = fldtype::kBool;
            break;
        case Kind::Bytes:
            if (!limits.bytes) Refuse(What::InvalidType);
            f.type = fldtype::kBytes;
            f.units1 = InRange(t.size, 1, 255);
            break;
        case Kind::Blob: {
            const int sub = t.scale.value_or(1);
            static const uint16_t kSubtypes[] = {fldsub::kMemo, fldsub::kBinary, fldsub::kFormattedMemo, fldsub::kOle,
                                                 fldsub::kGraphic};
            if (sub < 1 || sub > 5) Refuse(What::InvalidBlobSubtype, sub);
            if ((sub == 3 && !limits.formattedMemo) || (sub == 5 && !limits.graphic)) Refuse(What::InvalidType);
            f.type = fldtype::kBlob;
            f.subType = kSubtypes[sub - 1];
            const int size = t.size.value_or(sub == 1 ? 10 : 0);
            if (limits.blobBytesInRecord && (size < (sub == 1 ? 1 : 0) || size > 240)) Refuse(What::InvalidSize, size);
            f.units1 = static_cast<uint16_t>(limits.blobBytesInRecord ? size : 10);
            break;
        }
    }
    return f;
}

CopiedField StorageDriver::CopyField(const FieldDesc& source, bool sameDriver) const {
    CopiedField out;
    FieldDesc& f = out.field;
    f = FieldDesc::Make(source.name, source.type, source.subType, source.units1, source.units2,
                        sameDriver ? source.nativeType : 0);
    if (f.type == fldtype::kUnknown) {
        f.type = fldtype::kString;
        f.units1 = 254;
    }
    if (f.type == fldtype::kString) {
        if (f.units1 == 0) f.units1 = 1;
        f.units1 = std::min(f.units1, Limits().maxCharSize);
    }
    return out;
}

}  // namespace tessel::engine
