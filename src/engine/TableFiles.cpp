#include "engine/TableFiles.h"

#include <cctype>

#include "base/EngineError.h"
#include "engine/TableFamily.h"
#include "engine/dbase/DbfTable.h"
#include "engine/paradox/ParadoxTable.h"

namespace tessel::engine {

namespace {

enum class Format { Dbase, Paradox };

Format FormatOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    std::string ext;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        ext = path.substr(dot + 1);
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "dbf") return Format::Dbase;
    if (ext == "db") return Format::Paradox;
    throw EngineError("Unknown table type of \"" + path + "\": the file name must end in .db or .dbf",
                      errc::kNotSupported);
}

bool IsDbaseFamily(const Table& t) {
    const std::string& type = t.Properties().typeName;
    return type == "DBASE" || type == "FOXPRO";
}

}  // namespace

std::unique_ptr<Table> OpenTableFile(const std::string& path, OpenMode mode) {
    if (FormatOf(path) == Format::Dbase) return dbase::DbfTable::Open(path, mode);
    return paradox::OpenParadoxTable(path, mode);
}

std::unique_ptr<Table> CreateTableFile(const std::string& path, const std::vector<FieldDesc>& fields,
                                       const CreateOptions& options) {
    if (FormatOf(path) == Format::Dbase) {
        if (options.keyFields > 0)
            throw EngineError("A dBASE table cannot have a primary key: \"" + path + "\"", errc::kNotSupported);
        return dbase::CreateDbfTable(path, fields, options);
    }
    return paradox::CreateParadoxTable(path, fields, options, options.keyFields);
}

uint64_t CopyTableFile(Table& source, const std::string& destPath) {
    const Format format = FormatOf(destPath);
    const auto& srcFields = source.Fields();
    std::vector<FieldDesc> fields;
    std::vector<bool> timeAsText(srcFields.size(), false);
    for (size_t k = 0; k < srcFields.size(); ++k) {
        FieldDesc f = FieldDesc::Make(srcFields[k].name, srcFields[k].type, srcFields[k].subType,
                                      srcFields[k].units1, srcFields[k].units2);
        const bool sameFamily = (format == Format::Dbase) == IsDbaseFamily(source);
        if (sameFamily) f.nativeType = srcFields[k].nativeType;
        if (format == Format::Dbase) {
            if (f.type == fldtype::kInt32 && f.subType == fldsub::kAutoInc) {
                f.subType = fldsub::kNone;  // the copied numbers must stay as they are
            } else if (f.type == fldtype::kTime) {
                f.type = fldtype::kString;
                f.units1 = 12;  // HH:MM:SS.mmm
                timeAsText[k] = true;
            } else if (f.type == fldtype::kBytes) {
                f.type = fldtype::kBlob;
                f.subType = fldsub::kBinary;
            } else if (f.type == fldtype::kBcd && f.units1 > 20) {
                // Paradox BCD keeps no precision (it reports all 32 digits); a dBASE number
                // holds at most 20, and a value longer than that fails when it is appended.
                f.units1 = 20;
            }
        }
        fields.push_back(std::move(f));
    }
    CreateOptions options;
    options.codePage = source.Properties().codePage;
    options.fixNames = true;

    uint64_t copied = 0;
    auto fill = [&](Table& dest) {
        Record rec;
        TableLock readLock(source, LockMode::Shared);
        source.Refresh();
        for (uint32_t n = 0; n < source.RecordCount(); ++n) {
            if (!source.ReadRecord(n, rec)) continue;
            for (size_t k = 0; k < rec.size(); ++k)
                if (timeAsText[k] && rec[k].kind == ValueKind::Time) rec[k].SetText(FormatTime(rec[k].i));
            dest.AppendRecord(rec);
            ++copied;
        }
    };
    if (format == Format::Dbase) {
        dbase::CreateDbfTable(destPath, fields, options, fill)->Close();
    } else {
        // Built under a temporary name beside the destination and renamed into place with its
        // companions, so a failure leaves the old table whole and no stale companion of the
        // old table stays beside the new one.
        const std::string tmp = TemporaryTablePath(DirectoryOf(destPath), destPath);
        try {
            auto dest = paradox::CreateParadoxTable(tmp, fields, options, 0);
            {
                TableLock writeLock(*dest, LockMode::Exclusive);
                fill(*dest);
            }
            dest->Close();
            ReplaceTableFamily(tmp, destPath);
        } catch (...) {
            try {
                RemoveTableFamily(tmp);
            } catch (...) {
            }
            throw;
        }
    }
    return copied;
}

}  // namespace tessel::engine
