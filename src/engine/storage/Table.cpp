// The defaults of the table interface.

#include "engine/storage/Table.h"

#include <set>

#include "base/AsciiText.h"
#include "base/EngineError.h"

namespace tessel::engine {

void Table::Pack() {
    throw EngineError("Table \"" + FileName() + "\" cannot be packed", errc::kNotSupported);
}

void Table::ReadBlob(uint32_t recNo, size_t field, Value& out) {
    const auto& fields = Fields();
    if (field >= fields.size())
        throw EngineError("Field number out of range for \"" + FileName() + "\"", errc::kInvalidParameter);
    std::vector<bool> columns(fields.size(), false);
    columns[field] = true;
    Record rec;
    if (!ReadRecord(recNo, rec, &columns))
        throw EngineError("Record " + std::to_string(recNo + 1) + " of \"" + FileName() + "\" is deleted",
                          errc::kInvalidParameter);
    out = std::move(rec[field]);
}

void Table::WriteBlob(uint32_t recNo, size_t field, const Value& value) {
    const auto& fields = Fields();
    if (field >= fields.size())
        throw EngineError("Field number out of range for \"" + FileName() + "\"", errc::kInvalidParameter);
    Record rec;
    if (!ReadRecord(recNo, rec))
        throw EngineError("Record " + std::to_string(recNo + 1) + " of \"" + FileName() + "\" is deleted",
                          errc::kInvalidParameter);
    rec[field] = value;
    UpdateRecord(recNo, rec);
}

void Table::CreateIndex(const std::string& name, const std::vector<std::string>&, bool, bool) {
    throw EngineError("Capability not supported: table \"" + FileName() + "\" cannot have index " + name,
                      errc::kNotSupported);
}

bool Table::DropIndex(const std::string&) {
    return false;
}

int FindField(const Table& table, std::string_view name) {
    const auto& fields = table.Fields();
    for (size_t k = 0; k < fields.size(); ++k)
        if (SameAscii(fields[k].name, name)) return static_cast<int>(k);
    return -1;
}

std::vector<std::string> SqlFieldNames(const std::vector<FieldDesc>& fields) {
    std::set<std::string> own, taken;
    for (const auto& f : fields) own.insert(AsciiUpper(f.name));
    std::vector<std::string> names;
    names.reserve(fields.size());
    for (const auto& f : fields) {
        std::string name = f.name;
        if (taken.count(AsciiUpper(name))) {
            for (int n = 2;; ++n) {
                name = f.name + "_" + std::to_string(n);
                const std::string key = AsciiUpper(name);
                if (!own.count(key) && !taken.count(key)) break;
            }
        }
        taken.insert(AsciiUpper(name));
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace tessel::engine
