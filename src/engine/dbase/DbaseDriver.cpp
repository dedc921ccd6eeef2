// The dBASE driver's descriptor: names, companion files, field types and their limits, and how
// other formats' fields are carried in dBASE fields.

#include <filesystem>
#include <map>
#include <mutex>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "engine/codepage/LanguageDrivers.h"
#include "engine/dbase/Dbase.h"
#include "engine/dbase/DbfTable.h"

namespace tessel::engine::dbase {

namespace {

class Descriptor final : public StorageDriver {
public:
    Descriptor() {
        limits_.maxCharSize = 254;
        limits_.maxFieldNameLength = 10;
        limits_.maxFields = (0xFFFF - 33) / 32;
        limits_.time = false;
        limits_.bytes = false;
        limits_.formattedMemo = false;
        limits_.graphic = false;
        limits_.sizedNumbers = true;
        limits_.maxNumberWidth = 254;
        limits_.blobBytesInRecord = false;
    }

    std::string_view Name() const override { return "DBASE"; }
    std::string_view DisplayName() const override { return "dBASE"; }
    std::string_view Extension() const override { return ".dbf"; }
    bool HasTypeName(std::string_view typeName) const override { return typeName == "DBASE" || typeName == "FOXPRO"; }
    bool IsFamilyExtension(std::string_view ext) const override {
        return ext == "dbf" || ext == "dbt" || ext == "fpt" || ext == "mdx" || ext == "cdx" || ext == "cpg";
    }
    const FieldLimits& Limits() const override { return limits_; }
    bool HasPrimaryKeys() const override { return false; }
    bool DeleteRemovesRecords() const override { return false; }
    bool RefreshesOnLock() const override { return false; }

    // Letters, digits and "_", starting with a letter, in upper case.
    std::string ValidFieldName(std::string name) const override {
        for (auto& c : name) {
            c = AsciiUpper(c);
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) c = '_';
        }
        if (name.empty() || !(name[0] >= 'A' && name[0] <= 'Z')) name.insert(0, 1, 'F');
        if (name.size() > limits_.maxFieldNameLength) name.resize(limits_.maxFieldNameLength);
        return name;
    }

    CopiedField CopyField(const FieldDesc& source, bool sameDriver) const override {
        CopiedField c = StorageDriver::CopyField(source, sameDriver);
        FieldDesc& f = c.field;
        if (f.type == fldtype::kInt32 && f.subType == fldsub::kAutoInc) {
            f.subType = fldsub::kNone;  // a plain number keeps the copied values as they are
        } else if (f.type == fldtype::kTime) {
            f.type = fldtype::kString;
            f.units1 = 12;  // HH:MM:SS.mmm
            c.timeAsText = true;
        } else if (f.type == fldtype::kBytes) {
            f.type = fldtype::kBlob;
            f.subType = fldsub::kBinary;
        } else if (f.type == fldtype::kBcd && f.units1 > 20) {
            // Paradox BCD keeps no precision (it reports all 32 digits); a dBASE number holds
            // at most 20, and a value longer than that fails when it is appended.
            f.units1 = 20;
        } else if (!sameDriver && f.type == fldtype::kFloat && f.subType == fldsub::kNone && f.units1 > 0 &&
                   f.units1 <= 20) {
            f.nativeType = 'N';  // a sized number stays a sized number
        }
        return c;
    }

    std::unique_ptr<Table> Open(const std::string& path, OpenMode mode) const override {
        return DbfTable::Open(path, mode);
    }
    std::unique_ptr<Table> Create(const std::string& path, const std::vector<FieldDesc>& fields,
                                  const CreateOptions& options) const override {
        if (options.keyFields > 0)
            throw EngineError("A dBASE table cannot have a primary key: \"" + path + "\"", errc::kNotSupported);
        return CreateDbfTable(path, fields, options);
    }

private:
    FieldLimits limits_;
};

}  // namespace

namespace {

std::mutex gUndeclaredMutex;
std::map<std::string, int>& Undeclared() {
    static std::map<std::string, int> folders;
    return folders;
}

std::string FolderKey(const std::string& directory) {
    if (directory.empty()) return "";
    std::error_code ec;
    std::string key = std::filesystem::absolute(directory, ec).lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

}  // namespace

void SetUndeclaredCodePage(const std::string& directory, int codePage) {
    std::lock_guard<std::mutex> lock(gUndeclaredMutex);
    if (codePage > 0)
        Undeclared()[FolderKey(directory)] = codePage;
    else
        Undeclared().erase(FolderKey(directory));
}

int UndeclaredCodePage(const std::string& directory) {
    std::lock_guard<std::mutex> lock(gUndeclaredMutex);
    if (Undeclared().empty()) return codepage::kDefaultCodePage;
    auto it = Undeclared().find("");
    if (it == Undeclared().end()) it = Undeclared().find(FolderKey(directory));
    return it == Undeclared().end() ? codepage::kDefaultCodePage : it->second;
}

const StorageDriver& DbaseDriver() {
    static const Descriptor driver;
    return driver;
}

}  // namespace tessel::engine::dbase
