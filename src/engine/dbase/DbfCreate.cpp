// The dBASE table: the layout of a new table and creating its files.

#include "engine/dbase/DbfCodec.h"
#include "engine/dbase/DbfTable.h"

namespace tessel::engine::dbase {

// --------------------------------------------------------------------------------- creating

DbfPlan PlanDbfTable(const std::vector<FieldDesc>& defs, const CreateOptions& options) {
    DbfPlan plan;
    auto invalid = [](const FieldDesc& d, const std::string& why) {
        throw EngineError("Invalid field type: field " + d.name + " " + why, errc::kNotSupported);
    };
    if (defs.empty()) throw EngineError("A table needs at least one field", errc::kInvalidParameter);

    // Code page and language driver.
    if (!options.languageDriver.empty()) {
        const auto* d = codepage::FindDbaseDriverByName(options.languageDriver);
        if (!d) throw EngineError("Unknown language driver " + options.languageDriver, errc::kInvalidParameter);
        plan.codePage = d->codePage;
        plan.languageDriverId = d->id;
        plan.languageDriverName = d->name;
    } else {
        plan.codePage = options.codePage > 0 ? options.codePage : codepage::kDefaultCodePage;
        if (!codepage::IsCodePageSupported(plan.codePage)) plan.codePage = codepage::kDefaultCodePage;
        plan.languageDriverId = codepage::DbaseDriverForCodePage(plan.codePage);
        // A code page without a driver byte (UTF-8, the ISO 8859 parts) goes into a .cpg
        // companion, as GIS tools write it, with the byte left 0.
        if (plan.languageDriverId == 0) plan.codePageFile = codepage::CodePageFileText(plan.codePage);
        const auto* d = codepage::FindDbaseDriver(plan.languageDriverId);
        plan.languageDriverName = d && d->name[0] ? d->name : "DBWINUS0";
        // A copy of a table that declares no code page declares none either: other readers
        // must take it as they take its source.
        if (options.undeclaredCodePage) {
            plan.languageDriverId = 0;
            plan.languageDriverName.clear();
            plan.codePageFile.clear();
        }
    }
    // A copy keeps its source's .cpg as it was written.
    if (!options.codePageFile.empty() && codepage::CodePageFromName(options.codePageFile) == plan.codePage)
        plan.codePageFile = options.codePageFile;

    // First pass: the level the types need.
    int need = 3;
    for (const auto& d : defs) {
        switch (d.type) {
            case fldtype::kString:
                if (d.units1 == 0) invalid(d, "CHAR needs a size from 1 to 254");
                break;
            case fldtype::kDate:
            case fldtype::kBool:
            case fldtype::kInt16:
                break;
            case fldtype::kBlob:
                if (d.subType == fldsub::kBinary || d.subType == fldsub::kTypedBinary ||
                    d.subType == fldsub::kGraphic || d.subType == fldsub::kOle || d.subType == fldsub::kDbaseOle)
                    need = std::max(need, 5);
                break;
            case fldtype::kInt32:
                if (d.subType == fldsub::kAutoInc) need = 7;
                break;
            case fldtype::kFloat:
            case fldtype::kBcd:
                if (d.nativeType == 'O') need = 7;
                // dBASE III itself stops at 19 digits, so a new table with wider numbers is made
                // at level 4; a copy that asks for level 3 keeps them, as GIS writers lay them out.
                if (d.units1 > 19 && d.subType != fldsub::kMoney && options.level == 0) need = std::max(need, 4);
                break;
            case fldtype::kTimestamp:
                need = 7;
                break;
            case fldtype::kTime:
                invalid(d, "of type TIME: dBASE tables have no time fields");
                break;
            case fldtype::kBytes:
                invalid(d, "of type BYTES: dBASE tables have no bytes fields");
                break;
            default:
                invalid(d, "has a type dBASE tables do not have");
        }
    }
    int level = need;
    if (options.level != 0) {
        if (options.level != 3 && options.level != 4 && options.level != 5 && options.level != 7)
            throw EngineError("dBASE table level " + std::to_string(options.level) + " does not exist",
                              errc::kInvalidParameter);
        if (options.level < need)
            throw EngineError("The fields need a dBASE table of level " + std::to_string(need), errc::kNotSupported);
        level = options.level;
    }
    plan.level = level;

    // Second pass: the fields.
    const size_t maxName = level == 7 ? 31 : 10;
    uint64_t recordLength = 1;
    bool anyMemo = false;
    for (const auto& d : defs) {
        DbfField f;
        std::string name = AsciiUpper(d.name);
        const bool storable = !d.name.empty() && d.name.size() <= maxName &&
                              std::all_of(d.name.begin(), d.name.end(), [](char c) { return c > ' ' && c < 0x7F; });
        if (options.keepNames && storable) {
            name = d.name;  // as another dBASE table stored it, case and repeats included
        } else if (options.fixNames) {
            for (auto& c : name)
                if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) c = '_';
            if (name.empty() || !(name[0] >= 'A' && name[0] <= 'Z')) name = "F" + name;
            if (name.size() > maxName) name.resize(maxName);
            // Unique: replace the tail with a number when needed.
            for (int n = 1;; ++n) {
                bool clash = false;
                for (const auto& g : plan.fields) clash = clash || g.name == name;
                if (!clash) break;
                const std::string suffix = std::to_string(n);
                name = name.substr(0, std::min(name.size(), maxName - suffix.size())) + suffix;
            }
        } else {
            if (name.empty() || name.size() > maxName)
                throw EngineError("Invalid field name \"" + d.name + "\": a dBASE field name has 1 to " +
                                      std::to_string(maxName) + " characters",
                                  errc::kInvalidParameter);
            if (!(name[0] >= 'A' && name[0] <= 'Z'))
                throw EngineError("Invalid field name \"" + d.name + "\": it must start with a letter",
                                  errc::kInvalidParameter);
            for (char c : name)
                if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
                    throw EngineError("Invalid field name \"" + d.name + "\": only letters, digits and _ are allowed",
                                      errc::kInvalidParameter);
            for (const auto& g : plan.fields)
                if (g.name == name)
                    throw EngineError("Duplicate field name \"" + d.name + "\"", errc::kInvalidParameter);
        }
        f.name = name;
        auto number = [&](char type, uint32_t width, uint32_t decimals) {
            // dBASE itself stops at 19 or 20 digits; GIS and statistics programs write wider
            // numbers (N(24,15) is common) and every reader reads them, so copies keep them.
            const uint32_t maxWidth = 254;
            const uint32_t maxDec = level == 3 ? 15 : 18;
            if (width < 1 || width > maxWidth)
                throw EngineError(
                    "Invalid size for field " + d.name + ": a number has 1 to " + std::to_string(maxWidth) + " digits",
                    errc::kInvalidParameter);
            if (decimals > maxDec || (decimals > 0 && decimals + 2 > width))
                throw EngineError("Invalid size for field " + d.name + ": " + std::to_string(decimals) +
                                      " decimals do not fit a width of " + std::to_string(width),
                                  errc::kInvalidParameter);
            f.type = type;
            f.kind = FieldKind::Number;
            f.width = width;
            f.decimals = static_cast<uint8_t>(decimals);
        };
        switch (d.type) {
            case fldtype::kString:
                if (d.units1 > 254) {
                    f.type = 'M';
                    f.kind = FieldKind::Memo10;
                    f.width = 10;
                } else {
                    f.type = 'C';
                    f.kind = FieldKind::Char;
                    f.width = d.units1;
                }
                break;
            case fldtype::kDate:
                f.type = 'D';
                f.kind = FieldKind::Date;
                f.width = 8;
                break;
            case fldtype::kBool:
                f.type = 'L';
                f.kind = FieldKind::Logical;
                f.width = 1;
                break;
            case fldtype::kInt16:
                number('N', 6, 0);
                break;
            case fldtype::kInt32:
                if (d.subType == fldsub::kAutoInc) {
                    f.type = '+';
                    f.kind = FieldKind::AutoInc7;
                    f.width = 4;
                    f.autoIncNext = 1;
                } else if (level == 7) {
                    f.type = 'I';
                    f.kind = FieldKind::Long7;
                    f.width = 4;
                } else {
                    number('N', 11, 0);
                }
                break;
            case fldtype::kFloat:
            case fldtype::kBcd:
                if (d.subType == fldsub::kMoney) {
                    number('N', level == 3 ? 19 : 20, 4);
                } else if (d.nativeType == 'O' && level == 7) {
                    f.type = 'O';
                    f.kind = FieldKind::Double7;
                    f.width = 8;
                } else if (d.units1 == 0 || (d.nativeType != 'N' && d.nativeType != 'F' && d.type == fldtype::kFloat)) {
                    // A binary floating-point source: keep four decimals.
                    number('N', level == 3 ? 19 : 20, 4);
                } else {
                    // F is stored exactly like N; it is kept as asked for even at level 3,
                    // where the readers of such files take it too.
                    number(d.nativeType == 'F' ? 'F' : 'N', d.units1, d.units2);
                }
                break;
            case fldtype::kBlob:
                f.width = 10;
                f.kind = FieldKind::Memo10;
                if (d.subType == fldsub::kOle || d.subType == fldsub::kDbaseOle) {
                    f.type = 'G';
                    f.binaryBlob = true;
                } else if (d.subType == fldsub::kBinary || d.subType == fldsub::kTypedBinary ||
                           d.subType == fldsub::kGraphic) {
                    f.type = 'B';
                    f.binaryBlob = true;
                } else {
                    f.type = 'M';
                }
                break;
            case fldtype::kTimestamp:
                f.type = '@';
                f.kind = FieldKind::Timestamp7;
                f.width = 8;
                break;
            default:
                invalid(d, "has a type dBASE tables do not have");
        }
        anyMemo = anyMemo || f.kind == FieldKind::Memo10;
        f.offset = static_cast<uint32_t>(recordLength);
        recordLength += f.width;
        plan.fields.push_back(std::move(f));
    }
    // dBASE itself holds 128 (level 3) or 255 fields; other programs write as many as the
    // header has room for, and the readers read them.
    const size_t maxFields = level == 7 ? 1024 : (0xFFFF - 33) / 32;
    if (plan.fields.size() > maxFields)
        throw EngineError("Too many fields: a dBASE table of level " + std::to_string(level) + " holds at most " +
                              std::to_string(maxFields),
                          errc::kInvalidParameter);
    const uint64_t maxRecord = level == 7 ? 32767 : 0xFFFF;  // as the record length field holds
    if (recordLength > maxRecord)
        throw EngineError("The record of " + std::to_string(recordLength) +
                              " bytes is too long: a dBASE table of level " + std::to_string(level) +
                              " holds at most " + std::to_string(maxRecord),
                          errc::kInvalidParameter);
    if (level == 7) {
        plan.version = anyMemo ? 0x8C : 0x04;
        plan.memoKind = anyMemo ? MemoKind::Dbt4 : MemoKind::None;
    } else if (level == 3) {
        plan.version = anyMemo ? 0x83 : 0x03;
        plan.memoKind = anyMemo ? MemoKind::Dbt3 : MemoKind::None;
    } else {
        plan.version = anyMemo ? 0x8B : 0x03;
        plan.memoKind = anyMemo ? MemoKind::Dbt4 : MemoKind::None;
    }
    return plan;
}

namespace {

void WriteNewFiles(const std::string& dbfPath, const std::string& memoPath, const DbfPlan& plan,
                   const std::string& memoBaseName) {
    const bool l7 = plan.level == 7;
    std::string h(l7 ? 68 : 32, '\0');
    h[0] = static_cast<char>(plan.version);
    TodayBytes(h.data() + 1);
    uint32_t recordLength = 1;
    for (const auto& f : plan.fields) recordLength += f.width;
    PutLeU16(h.data() + 10, static_cast<uint16_t>(recordLength));
    h[29] = static_cast<char>(plan.languageDriverId);
    if (l7) {
        const std::string name = plan.languageDriverName.substr(0, 31);
        std::memcpy(h.data() + 32, name.data(), name.size());
    }
    for (const auto& f : plan.fields) {
        std::string d(l7 ? 48 : 32, '\0');
        std::memcpy(d.data(), f.name.data(), f.name.size());
        if (l7) {
            d[32] = f.type;
            d[33] = static_cast<char>(f.width);
            d[34] = static_cast<char>(f.decimals);
            if (f.kind == FieldKind::AutoInc7) PutLeU32(d.data() + 40, 1);
        } else {
            d[11] = f.type;
            d[16] = static_cast<char>(f.width);
            d[17] = static_cast<char>(f.decimals);
        }
        h += d;
    }
    h.push_back('\x0D');
    PutLeU16(h.data() + 8, static_cast<uint16_t>(h.size()));
    h.push_back('\x1A');
    LockedFile out;
    out.Create(dbfPath);
    out.WriteAt(0, h);
    out.Close();
    if (plan.memoKind != MemoKind::None) {
        MemoFile memo;
        memo.Create(memoPath, plan.memoKind, memoBaseName);
        memo.Close();
    }
    if (!plan.codePageFile.empty()) {
        LockedFile cpg;
        cpg.Create(CompanionPath(dbfPath, ".cpg"));
        cpg.WriteAt(0, plan.codePageFile);
        cpg.Close();
    }
}

}  // namespace

std::unique_ptr<DbfTable> CreateDbfTable(const std::string& path, const std::vector<FieldDesc>& fields,
                                         const CreateOptions& options, const std::function<void(Table&)>& fill) {
    const DbfPlan plan = PlanDbfTable(fields, options);
    // A level 4 memo file records the table's name: the final one, also when the table is
    // built under a temporary name by a caller.
    const std::string ownName = BaseName(options.finalPath.empty() ? path : options.finalPath);
    const int undeclared = options.undeclaredCodePage ? plan.codePage : 0;
    BuildTableFamily(path, DbaseDriver(), [&](const std::string& tmpDbf) {
        WriteNewFiles(tmpDbf, CompanionPath(tmpDbf, ".dbt"), plan, ownName);
        if (fill) {
            auto table = DbfTable::Open(tmpDbf, OpenMode::ReadWrite, undeclared);
            table->KeepNumberDigits(options.keepDigits);
            TableLock hold(*table, LockMode::Exclusive);
            fill(*table);
            hold.Release();
            table->Close();
        }
    });
    auto table = DbfTable::Open(path, OpenMode::ReadWrite, undeclared);
    table->KeepNumberDigits(options.keepDigits);
    return table;
}

}  // namespace tessel::engine::dbase
