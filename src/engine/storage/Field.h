#pragma once

// Field descriptors: the engine's type codes and a driver's layout of a field.

#include <cstdint>
#include <string>

namespace tessel::engine {

// The engine's field type codes, as field descriptors report them and as the table-to-SQL
// generator reads them.
namespace fldtype {
constexpr uint16_t kUnknown = 0;
constexpr uint16_t kString = 1;
constexpr uint16_t kDate = 2;
constexpr uint16_t kBlob = 3;
constexpr uint16_t kBool = 4;
constexpr uint16_t kInt16 = 5;
constexpr uint16_t kInt32 = 6;
constexpr uint16_t kFloat = 7;
constexpr uint16_t kBcd = 8;
constexpr uint16_t kBytes = 9;
constexpr uint16_t kTime = 10;
constexpr uint16_t kTimestamp = 11;
}  // namespace fldtype

// Subtype codes.
namespace fldsub {
constexpr uint16_t kNone = 0;
constexpr uint16_t kMoney = 21;
constexpr uint16_t kMemo = 22;
constexpr uint16_t kBinary = 23;
constexpr uint16_t kFormattedMemo = 24;
constexpr uint16_t kOle = 25;
constexpr uint16_t kGraphic = 26;
constexpr uint16_t kDbaseOle = 27;
constexpr uint16_t kTypedBinary = 28;
constexpr uint16_t kAutoInc = 29;
}  // namespace fldsub

// One field of a table: the engine's descriptor (name, type, subtype, units1 = size in
// characters/bytes/digits, units2 = decimal places) plus what a driver keeps about it.
// The same struct is the input of table creation: there `nativeType` is an optional hint
// (the driver's own type letter, e.g. 'F' for a dBASE float) that a driver of the same
// format honours when it can, and `offset`/`length` are ignored.
struct FieldDesc {
    std::string name;
    uint16_t type = fldtype::kUnknown;
    uint16_t subType = fldsub::kNone;
    uint16_t units1 = 0;
    uint16_t units2 = 0;

    char nativeType = 0;    // the driver's type letter as stored in the file
    uint32_t offset = 0;    // byte offset inside the raw record
    uint32_t length = 0;    // bytes inside the raw record
    bool nullable = true;   // can hold NULL (a dBASE C field cannot: blank is empty text)
    bool readOnly = false;  // e.g. an auto-increment field
    bool hidden = false;    // a system field that is not reported (Visual FoxPro null flags)

    static FieldDesc Make(std::string n, uint16_t t, uint16_t sub = 0, uint16_t u1 = 0, uint16_t u2 = 0,
                          char native = 0) {
        FieldDesc f;
        f.name = std::move(n);
        f.type = t;
        f.subType = sub;
        f.units1 = u1;
        f.units2 = u2;
        f.nativeType = native;
        return f;
    }
};

}  // namespace tessel::engine
