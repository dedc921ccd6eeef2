// Opening, creating and copying table files through their drivers.

#include "engine/TableFiles.h"

#include <algorithm>
#include <utility>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "engine/SqlValue.h"
#include "engine/drivers/Drivers.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine {

namespace {

// Number of UTF-8 characters.
size_t CharCount(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// Names valid for the destination and unique without case: repeated names become the SQL names
// the source shows them by (NAME_2); a clash that making them valid brings gets "_1", "_2", ...
std::vector<std::string> DestinationNames(const std::vector<FieldDesc>& fields, const StorageDriver& dest) {
    const size_t maxLen = dest.Limits().maxFieldNameLength;
    std::vector<std::string> names;
    for (const std::string& sqlName : SqlFieldNames(fields)) {
        std::string name = dest.ValidFieldName(sqlName);
        const std::string stem = name;
        for (int n = 1;; ++n) {
            const bool clash =
                std::any_of(names.begin(), names.end(), [&](const std::string& g) { return SameAscii(g, name); });
            if (!clash) break;
            const std::string suffix = std::string("_").append(std::to_string(n));
            std::string base = stem;
            if (base.size() + suffix.size() > maxLen) base.resize(maxLen - suffix.size());
            name = base + suffix;
        }
        names.push_back(name);
    }
    return names;
}

}  // namespace

std::unique_ptr<Table> OpenTableFile(const std::string& path, OpenMode mode) {
    return DriverForPath(path).Open(path, mode);
}

std::unique_ptr<Table> CreateTableFile(const std::string& path, const std::vector<FieldDesc>& fields,
                                       const CreateOptions& options) {
    return DriverForPath(path).Create(path, fields, options);
}

CopyPlan PlanCopy(const std::vector<FieldDesc>& source, const StorageDriver* sourceDriver, const StorageDriver& dest,
                  bool keepNames) {
    CopyPlan plan;
    std::vector<std::string> names;
    if (keepNames)
        for (const auto& f : source) names.push_back(f.name);
    else
        names = DestinationNames(source, dest);
    for (size_t k = 0; k < source.size(); ++k) {
        CopiedField c = dest.CopyField(source[k], sourceDriver == &dest);
        c.field.name = names[k];
        plan.fields.push_back(std::move(c.field));
        plan.timeAsText.push_back(c.timeAsText);
    }
    return plan;
}

void CopyPlan::Convert(size_t k, Value& v, uint64_t recNo) const {
    if (timeAsText[k] && v.kind == ValueKind::Time) v.SetText(FormatTime(v.i));
    const FieldDesc& f = fields[k];
    if (f.type == fldtype::kString && v.kind == ValueKind::Text && CharCount(v.s) > f.units1)
        throw EngineError("The value of field " + f.name + " in record " + std::to_string(recNo + 1) + " is " +
                              std::to_string(CharCount(v.s)) + " characters long; the field holds " +
                              std::to_string(f.units1),
                          errc::kInvalidParameter);
    if (f.type == fldtype::kBytes && (v.kind == ValueKind::Bytes || v.kind == ValueKind::Text) && v.s.size() > f.units1)
        throw EngineError("The value of field " + f.name + " in record " + std::to_string(recNo + 1) + " is too long",
                          errc::kInvalidParameter);
}

uint64_t CopyRecords(const std::vector<FieldDesc>& fields, const StorageDriver* sourceDriver,
                     const std::string& destPath, const std::function<bool(Record&)>& next, CreateOptions options) {
    const StorageDriver& dest = DriverForPath(destPath);
    std::vector<FieldDesc> shown;
    std::vector<size_t> from;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (fields[k].hidden) continue;
        shown.push_back(fields[k]);
        from.push_back(k);
    }
    const CopyPlan plan = PlanCopy(shown, sourceDriver, dest, options.keepNames && sourceDriver == &dest);
    options.fixNames = true;
    options.keepDigits = true;
    options.finalPath = destPath;
    uint64_t copied = 0;
    BuildTableFamily(destPath, dest, [&](const std::string& tmp) {
        auto table = dest.Create(tmp, plan.fields, options);
        {
            TableLock writeLock(*table, LockMode::Exclusive);
            Record in, out(plan.fields.size());
            while (next(in)) {
                for (size_t k = 0; k < out.size(); ++k) {
                    std::swap(out[k], in[from[k]]);  // both keep their buffers for the next record
                    plan.Convert(k, out[k], copied);
                }
                try {
                    table->AppendRecord(out);
                } catch (const EngineError& e) {
                    // The driver names the field; the person also needs the record, and the
                    // table by the name it will have.
                    auto entries = e.Entries();
                    std::string message = "Record " + std::to_string(copied + 1) + ": " + e.what();
                    if (const size_t at = message.find(tmp); at != std::string::npos)
                        message.replace(at, tmp.size(), destPath);
                    if (!entries.empty()) entries.front().message = message;
                    throw EngineError(message, std::move(entries));
                }
                ++copied;
            }
            writeLock.Release();
        }
        table->Close();
    });
    return copied;
}

uint64_t CopyTableFile(Table& source, const std::string& destPath) {
    CreateOptions options;
    options.codePage = source.Properties().codePage;
    options.codePageFile = source.Properties().codePageFile;
    // A copy into the same format keeps the table's level (a dBASE III table stays one); other
    // kinds (FoxPro) get the lowest level that holds their fields.
    const uint32_t level = source.Properties().level;
    const bool sameFormat = &DriverForPath(destPath) == &source.Driver();
    if (sameFormat && (level == 3 || level == 4 || level == 5 || level == 7)) options.level = static_cast<int>(level);
    options.keepNames = sameFormat;
    options.undeclaredCodePage = sameFormat && !source.Properties().codePageDeclared;
    TableLock readLock(source, LockMode::Shared);
    source.Refresh();
    uint32_t slot = 0;
    const uint64_t copied = CopyRecords(
        source.Fields(), &source.Driver(), destPath,
        [&](Record& rec) {
            while (slot < source.RecordCount())
                if (source.ReadRecord(slot++, rec)) return true;
            return false;
        },
        options);
    readLock.Release();
    return copied;
}

}  // namespace tessel::engine
