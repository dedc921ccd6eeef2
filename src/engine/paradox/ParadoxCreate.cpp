// The Paradox table: creating a new table's files.

#include "engine/paradox/ParadoxTable.h"

namespace tessel::engine::paradox {

// --- creating --------------------------------------------------------------------------------

void ParadoxTable::CreateFiles(const std::vector<FieldDesc>& fields, const CreateOptions& options, size_t keyFields) {
    auto bad = [&](const std::string& why) { Fail("Cannot create " + Where() + ": " + why, errc::kInvalidParameter); };
    if (fields.empty()) bad("a table needs at least one field");
    if (fields.size() > 255) bad("a table holds at most 255 fields");
    if (keyFields > fields.size() || keyFields > 16) bad("the key may have at most 16 of the table's fields");

    // Language driver and code page.
    const codepage::ParadoxLanguageDriver* drv = nullptr;
    if (!options.languageDriver.empty()) {
        drv = codepage::FindParadoxDriver(options.languageDriver);
        if (!drv) bad("unknown language driver \"" + options.languageDriver + "\"");
    } else {
        const int cp = options.codePage ? options.codePage : codepage::kDefaultCodePage;
        const char* id = DriverForCodePage(cp);
        if (!id || !(drv = codepage::FindParadoxDriver(id)))
            bad("no language driver for code page " + std::to_string(cp));
    }
    conv_ = std::make_unique<CodePageConverter>(drv->codePage);

    PxHeader h;
    h.fileType = keyFields ? kFileKeyed : kFileUnkeyed;
    h.keyFields = static_cast<uint16_t>(keyFields);
    // Level 3 has no code page word: readers take its text as code page 437.
    int level = drv->codePage == 437 ? 3 : 4;
    uint32_t offset = 0;
    std::vector<std::string> seen;
    for (size_t k = 0; k < fields.size(); ++k) {
        const FieldDesc& d = fields[k];
        PxField f;
        const std::string where = "field \"" + d.name + "\"";
        if (d.name.empty()) bad("field " + std::to_string(k + 1) + " has no name");
        std::string upper = d.name;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (std::find(seen.begin(), seen.end(), upper) != seen.end())
            bad("field name \"" + d.name + "\" is used twice");
        seen.push_back(upper);
        if (!conv_->FromUtf8(d.name, f.rawName) || f.rawName.size() > 25 || f.rawName.find('\0') != std::string::npos)
            bad(where + ": a field name has at most 25 characters of the table's code page");
        switch (d.type) {
            case fldtype::kString:
                if (d.units1 < 1 || d.units1 > 255) bad(where + ": alpha size must be 1 to 255");
                f.type = pxt::kAlpha;
                f.sizeByte = static_cast<uint8_t>(d.units1);
                break;
            case fldtype::kDate:
                f.type = pxt::kDate;
                f.sizeByte = 4;
                break;
            case fldtype::kBool:
                f.type = pxt::kLogical;
                f.sizeByte = 1;
                break;
            case fldtype::kInt16:
                f.type = pxt::kShort;
                f.sizeByte = 2;
                break;
            case fldtype::kInt32:
                f.type = d.subType == fldsub::kAutoInc || d.nativeType == '+' ? pxt::kAutoInc : pxt::kLong;
                f.sizeByte = 4;
                break;
            case fldtype::kFloat:
                f.type = d.subType == fldsub::kMoney || d.nativeType == '$' ? pxt::kCurrency : pxt::kNumber;
                f.sizeByte = 8;
                break;
            case fldtype::kBcd:
                if (d.units2 > 32) bad(where + ": at most 32 decimals");
                f.type = pxt::kBcd;
                f.sizeByte = static_cast<uint8_t>(d.units2);
                break;
            case fldtype::kBytes:
                if (d.units1 < 1 || d.units1 > 255) bad(where + ": bytes size must be 1 to 255");
                f.type = pxt::kBytes;
                f.sizeByte = static_cast<uint8_t>(d.units1);
                break;
            case fldtype::kTime:
                f.type = pxt::kTime;
                f.sizeByte = 4;
                break;
            case fldtype::kTimestamp:
                f.type = pxt::kTimestamp;
                f.sizeByte = 8;
                break;
            case fldtype::kBlob: {
                switch (d.subType) {
                    case fldsub::kBinary:
                    case fldsub::kTypedBinary:
                        f.type = pxt::kBinary;
                        break;
                    case fldsub::kFormattedMemo:
                        f.type = pxt::kFmtMemo;
                        break;
                    case fldsub::kOle:
                    case fldsub::kDbaseOle:
                        f.type = pxt::kOle;
                        break;
                    case fldsub::kGraphic:
                        f.type = pxt::kGraphic;
                        break;
                    default:
                        f.type = pxt::kMemo;
                        break;
                }
                uint32_t leader = d.units1;
                if (f.type == pxt::kMemo && leader == 0) leader = 10;  // a memo keeps at least one byte
                if (leader > 240) bad(where + ": a BLOB keeps at most 240 bytes in the record");
                f.sizeByte = static_cast<uint8_t>(leader + kBlobDescriptor);
                break;
            }
            default:
                bad(where + ": type " + std::to_string(d.type) + " cannot be stored in a Paradox table");
        }
        if (k < keyFields && IsBlobType(f.type)) bad(where + ": a BLOB field cannot be part of the key");
        f.length = StoredLength(f.type, f.sizeByte);
        f.offset = offset;
        offset += f.length;
        level = std::max(level, LevelForType(f.type));
        h.fields.push_back(std::move(f));
        h.fieldNumbers.push_back(static_cast<uint16_t>(k + 1));
    }
    if (offset > 0xFFFF - kBlockHeader) bad("records would be too long");
    if (options.level) {
        if (options.level != 3 && options.level != 4 && options.level != 5 && options.level != 7)
            bad("table level must be 3, 4, 5 or 7");
        if (options.level < level) bad("the field types or the code page need table level " + std::to_string(level));
        level = options.level;
    }
    h.recordSize = static_cast<uint16_t>(offset);
    h.versionByte = VersionByteForLevel(level);
    // Block size: 4 KiB holds several records of most tables; longer records get larger
    // blocks where the level allows them.
    const uint32_t keyBytes = h.KeyLength() + 6;
    for (uint8_t code : {4, 8, 16, 32}) {
        if (code > 4 && level < 5) break;
        h.blockCode = code;
        if (h.RecordsPerBlock() >= 3 && keyBytes * 3 <= h.BlockSize()) break;
    }
    if (h.recordSize + kBlockHeader > h.BlockSize())
        bad("records of " + std::to_string(h.recordSize) + " bytes do not fit a block");
    h.sortOrder = drv->sortOrder;
    if (h.HasSecondPart()) {
        h.codePageWord = static_cast<uint16_t>(drv->codePage);
        h.sortOrderId = drv->id;
    }
    // The name the table will have: a table built under a temporary name records its final one.
    const std::string ownName = fs::path(options.finalPath.empty() ? path_ : options.finalPath).filename().string();
    if (!conv_->FromUtf8(ownName, h.rawTableName)) h.rawTableName = "table";
    // Header size: the used bytes rounded up to 2 KiB.
    size_t used =
        (h.HasSecondPart() ? 0x78 : 0x58) + 8 * h.fields.size() + 4 + h.NameAreaSize() + h.sortOrderId.size() + 1;
    for (const auto& f : h.fields) used += f.rawName.size() + 1;
    const size_t hs = (used + 0x7FF) / 0x800 * 0x800;
    if (hs > 0xF800) bad("the header would be too large");
    h.headerSize = static_cast<uint16_t>(hs);

    // Replace the table and every companion of the old one.
    RemoveTableFamily(path_, ParadoxDriver());
    LockedFile f;
    f.Create(path_);
    f.WriteAt(0, BuildDbHeader(h));
    f.Close();
    bool anyBlob = false;
    for (const auto& fld : h.fields) anyBlob = anyBlob || IsBlobType(fld.type);
    if (anyBlob) {
        BlobFile mb;
        mb.Create(CompanionPath(path_, ".MB"));
        mb.Close();
    }
    if (keyFields) {
        PxIndexHeader ih;
        LockedFile px;
        px.Create(CompanionPath(path_, ".PX"));
        px.WriteAt(0, BuildPxHeader(h, ih));
        px.Close();
    }
    OpenFiles();
}

}  // namespace tessel::engine::paradox
