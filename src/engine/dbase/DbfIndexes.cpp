// The dBASE table's production index: tags kept current, searched, made and dropped.

#include "engine/dbase/DbfCodec.h"
#include "engine/dbase/DbfTable.h"
#include "engine/storage/RollbackJournal.h"

namespace tessel::engine::dbase {

// ------------------------------------------------------------------------ production index

namespace {

// The identity of an index file: another program that rewrites it changes one of these.
std::string IndexStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_ino);
}

std::string ReadWholeFile(const std::string& path) {
    LockedFile f;
    f.Open(path, false);
    std::string bytes(static_cast<size_t>(f.Size()), '\0');
    f.ReadExactly(0, bytes.data(), bytes.size(), "index file");
    return bytes;
}

}  // namespace

void DbfTable::LoadIndexFile() {
    mdx_.file = MdxFile();
    mdx_.damaged.clear();
    mdx_.notKept.clear();
    mdx_.checked = false;
    mdx_.full = true;
    mdx_.stamp = IndexStamp(mdx_.path);
    try {
        mdx_.file = MdxFile::Read(ReadWholeFile(mdx_.path), mdx_.path);
    } catch (const EngineError& e) {
        // The table is still read; it lists no tags and is not written until the index is
        // mended or removed.
        mdx_.damaged = e.what();
        mdx_.file = MdxFile();
    }
    for (auto& tag : mdx_.file.Tags()) {
        const std::string why = ResolveMdxTag(tag, header_);
        if (!why.empty() && mdx_.notKept.empty()) mdx_.notKept = conv_->ToUtf8(why);
    }
    ListIndexes();
}

void DbfTable::ListIndexes() {
    indexes_.clear();
    for (const auto& tag : mdx_.file.Tags()) {
        IndexDesc d;
        d.name = conv_->ToUtf8(tag.name);
        if (tag.fields.empty()) {
            d.fields = conv_->ToUtf8(tag.expression);
        } else {
            for (size_t f : tag.fields) {
                if (!d.fields.empty()) d.fields += ';';
                d.fields += conv_->ToUtf8(header_.fields[f].name);
            }
        }
        d.unique = tag.unique;
        d.descending = tag.descending;
        indexes_.push_back(std::move(d));
    }
    props_.indexCount = static_cast<uint32_t>(indexes_.size());
}

void DbfTable::RequireIndexKept() {
    // The file is looked at once per hold of the table's lock (a Tessel writer needs that lock
    // to change it), and at every call made without one.
    const bool lookedAt = file_.HoldsLock() && mdx_.keptGeneration == file_.LockGeneration();
    if (!lookedAt && IndexStamp(mdx_.path) != mdx_.stamp) LoadIndexFile();  // another program rewrote it
    auto refuse = [&](const std::string& why) {
        throw EngineError("Table \"" + path_ + "\" is read-only: " + why, errc::kReadOnly);
    };
    if (!mdx_.damaged.empty()) refuse("its production index cannot be read. " + mdx_.damaged);
    if (mdx_.notKept.empty() && !mdx_.checked) {
        // Another program may order character keys by a language driver's collation: a key
        // put in by byte order could be missed by that program's searches.
        for (size_t t = 0; t < mdx_.file.Tags().size() && mdx_.notKept.empty(); ++t) {
            const std::string tag = conv_->ToUtf8(mdx_.file.Tags()[t].name);
            if (!mdx_.file.InKeyOrder(t))
                mdx_.notKept = "the keys of tag " + tag +
                               " are in an order other than their bytes' (a language driver's sort order)";
            else if (mdx_.file.Tags()[t].keyType == 'C' && !mdx_.file.CharactersInByteOrder())
                mdx_.notKept = "the character keys of tag " + tag +
                               " were put in order by another program, which may follow a language driver's sort order";
        }
    }
    if (!mdx_.notKept.empty())
        refuse("Tessel cannot keep its production index \"" + mdx_.path + "\" current (" + mdx_.notKept + ")");
    // A change the index cannot follow must not reach the table either.
    if (!lookedAt) {
        if (::access(mdx_.path.c_str(), W_OK) != 0) {
            const int err = errno;
            throw EngineError("Table \"" + path_ + "\" is read-only: its production index \"" + mdx_.path +
                                  "\" cannot be written: " + std::strerror(err),
                              errc::kReadOnly, err);
        }
        mdx_.keptGeneration = file_.HoldsLock() ? file_.LockGeneration() : 0;
    }
    if (mdx_.checked) return;
    mdx_.checked = true;
    // Changes go into the tags in place when every tag holds every record (a program that
    // wrote the table without the index leaves fewer); otherwise the next write builds them.
    mdx_.full = false;
    for (size_t t = 0; t < mdx_.file.Tags().size(); ++t)
        if (mdx_.file.Tags()[t].unique || mdx_.file.EntryCount(t) != recordCount_ || !mdx_.file.EachRecordOnce(t))
            mdx_.full = true;
}

void DbfTable::NoteIndexChange(uint32_t slot, const char* oldRecord, const char* newRecord) {
    if (mdx_.path.empty()) return;
    mdx_.dirty = true;
    if (mdx_.full) return;
    // Another program may have written the index since it was read. Looked at once per hold
    // of the table's lock: a Tessel writer needs that lock to change it.
    if (mdx_.stampGeneration != file_.LockGeneration()) {
        mdx_.stampGeneration = file_.LockGeneration();
        if (IndexStamp(mdx_.path) != mdx_.stamp) {
            mdx_.full = true;
            return;
        }
    }
    char oldKey[256], newKey[256];
    for (size_t t = 0; t < mdx_.file.Tags().size(); ++t) {
        const MdxTag& tag = mdx_.file.Tags()[t];
        MakeMdxKey(tag, header_, newRecord, newKey);
        if (oldRecord) {
            MakeMdxKey(tag, header_, oldRecord, oldKey);
            if (std::memcmp(oldKey, newKey, tag.keyLength) == 0) continue;
        }
        if (tag.unique) {
            // One entry per key: a new record's key goes in when no record has it yet; a
            // changed key may have to bring in another record that holds the old one.
            if (oldRecord) {
                mdx_.full = true;
                return;
            }
            if (!mdx_.file.Contains(t, newKey)) mdx_.file.Insert(t, newKey, slot + 1);
            continue;
        }
        if (mdx_.file.EntryCount(t) != (oldRecord ? recordCount_ : slot) ||
            (oldRecord && !mdx_.file.Remove(t, oldKey, slot + 1))) {
            mdx_.full = true;  // the tag does not hold one entry per record as it should
            return;
        }
        mdx_.file.Insert(t, newKey, slot + 1);
    }
}

void DbfTable::AfterWrite(bool callerHolds) {
    if (mdx_.path.empty()) return;
    mdx_.dirty = true;
    if (!callerHolds) WriteIndexFile();
}

void DbfTable::WriteIndexFile() {
    if (mdx_.path.empty()) {
        mdx_.dirty = false;
        return;
    }
    if (mdx_.full) {
        RebuildIndexFile();
        return;
    }
    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    uint8_t today[3];
    TodayBytes(reinterpret_cast<char*>(today));
    const auto changes = mdx_.file.TakeChanges(today);
    // In place, under the table's lock, as the table itself is written: a program that holds
    // the index open sees the new one.
    try {
        LockedFile out;
        if (FileExists(mdx_.path))
            out.Open(mdx_.path, true);
        else
            out.Create(mdx_.path);
        for (const auto& [offset, size] : changes) out.WriteAt(offset, mdx_.file.Bytes().data() + offset, size);
        if (out.Size() > mdx_.file.Bytes().size()) out.Truncate(mdx_.file.Bytes().size());
        out.Close();
    } catch (const EngineError& e) {
        mdx_.stamp.clear();  // read afresh before it is used again
        mdx_.full = true;
        throw EngineError(
            "The production index \"" + mdx_.path + "\" of table \"" + path_ + "\" cannot be written: " + e.what(),
            e.Code());
    }
    mdx_.stamp = IndexStamp(mdx_.path);
    mdx_.dirty = false;
}

// Builds every tag afresh from the records: deleted records keep their entries, as in dBASE,
// until the table is packed.
void DbfTable::RebuildIndexFile() {
    RebuildIndexFile(std::vector<MdxTag>(mdx_.file.Tags()));
}

void DbfTable::RebuildIndexFile(const std::vector<MdxTag>& tags) {
    if (mdx_.path.empty()) {
        mdx_.dirty = false;
        return;
    }
    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    EnsureFresh();
    std::vector<MdxEntries> entries(tags.size());
    for (size_t t = 0; t < entries.size(); ++t) {
        entries[t].keys.reserve(size_t{recordCount_} * tags[t].keyLength);
        entries[t].recNos.reserve(recordCount_);
    }
    char key[256];
    for (uint32_t slot = 0; slot < recordCount_; ++slot) {
        const char* rec = RecordBytes(slot);
        for (size_t t = 0; t < entries.size(); ++t) {
            MakeMdxKey(tags[t], header_, rec, key);
            entries[t].keys.append(key, tags[t].keyLength);
            entries[t].recNos.push_back(slot + 1);
        }
    }
    for (size_t t = 0; t < entries.size(); ++t) SortMdxEntries(tags[t], entries[t]);
    uint8_t today[3];
    TodayBytes(reinterpret_cast<char*>(today));
    MdxFile built = MdxFile::Build(tags, entries, AsciiUpper(BaseName(path_)), today);
    mdx_.file = std::move(built);
    mdx_.full = false;
    mdx_.checked = true;
    mdx_.damaged.clear();
    WriteIndexFile();
}

void DbfTable::WriteIndexFlags() {
    FileLockGuard lock(file_, LockMode::Exclusive);
    const bool any = !mdx_.path.empty() && !mdx_.file.Tags().empty();
    const char flag = any ? 1 : 0;
    file_.WriteAt(28, &flag, 1);
    header_.mdxFlag = static_cast<uint8_t>(flag);
    const size_t at = header_.level7 ? 37 : 31;
    for (size_t k = 0; k < header_.fields.size(); ++k) {
        bool tagged = false;
        for (const auto& tag : mdx_.file.Tags())
            tagged = tagged || (any && tag.fields.size() == 1 && tag.fields[0] == k);
        const char b = tagged ? 1 : 0;
        file_.WriteAt(header_.DescriptorStart() + k * header_.DescriptorSize() + at, &b, 1);
    }
    // A level 3 file that claims an index is read as level 4.
    if (any && header_.version == 0x03 && header_.level == 3) props_.level = header_.level = 4;
}

int DbfTable::SeekableTag(size_t field) const {
    if (mdx_.path.empty() || !mdx_.damaged.empty() || mdx_.dirty || pendingCount_ > 0 || field >= fieldMap_.size())
        return -1;
    for (size_t t = 0; t < mdx_.file.Tags().size(); ++t) {
        const MdxTag& tag = mdx_.file.Tags()[t];
        // A unique tag lacks the records whose key an earlier record has.
        if (tag.fields.empty() || tag.unique || tag.fields.front() != fieldMap_[field]) continue;
        return static_cast<int>(t);
    }
    return -1;
}

bool DbfTable::SeekIndex(size_t field, const Value* lo, const Value* hi, std::vector<uint32_t>& out) {
    if (SeekableTag(field) < 0 || (lo && lo->IsNull()) || (hi && hi->IsNull())) return false;
    FileLockGuard lock(file_, LockMode::Shared);
    EnsureFresh();
    if (IndexStamp(mdx_.path) != mdx_.stamp) LoadIndexFile();  // another program rewrote it
    const int found = SeekableTag(field);
    if (found < 0) return false;
    const size_t t = static_cast<size_t>(found);
    const MdxTag& tag = mdx_.file.Tags()[t];
    // Every record has an entry unless a program wrote the table without the index (or a
    // damaged entry names another record), and the search goes by bytes, which another
    // program's collation may not follow.
    if (mdx_.file.EntryCount(t) != recordCount_ || !mdx_.file.InKeyOrder(t) || !mdx_.file.EachRecordOnce(t))
        return false;
    const DbfField& f = header_.fields[fieldMap_[field]];
    MdxFile::Position at;
    std::function<bool(const char*)> beyond;  // past the upper bound
    if (tag.keyType == 'C') {
        // The first field's bytes lead the key: compare those.
        const size_t w = f.width;
        std::string loKey, hiKey;
        auto encode = [&](const Value& v, char pad, std::string& key) {
            if (v.kind != ValueKind::Text || !conv_->FromUtf8(v.s, key) || key.size() > w) return false;
            key.append(w - key.size(), pad);
            return true;
        };
        if ((lo && !encode(*lo, '\0', loKey)) || (hi && !encode(*hi, ' ', hiKey))) return false;
        if (lo) at = mdx_.file.Find(t, [&](const char* k) { return std::memcmp(k, loKey.data(), w) < 0; });
        if (hi) beyond = [hiKey, w](const char* k) { return std::memcmp(k, hiKey.data(), w) > 0; };
    } else {
        auto number = [&](const Value& b, double& x) {
            if (tag.keyType == 'D') {
                if (b.kind != ValueKind::Date) return false;
                x = static_cast<double>(b.i + kMdxJulianOffset);
                return true;
            }
            if (b.kind != ValueKind::Int && b.kind != ValueKind::Double && b.kind != ValueKind::Decimal) return false;
            x = b.AsDouble();
            return std::isfinite(x);
        };
        double l = 0, h = 0;
        if ((lo && !number(*lo, l)) || (hi && !number(*hi, h))) return false;
        // Numbers: a little slack on each side, so a key that converts to a double a step away
        // from the field's value still lies inside; the caller checks each record again.
        const bool numeric = tag.keyType == 'N';
        if (numeric) {
            l -= 1e-9 * std::max(1.0, std::fabs(l));
            h += 1e-9 * std::max(1.0, std::fabs(h));
        }
        auto value = [numeric](const char* k) { return numeric ? MdxNumberValue(k) : MdxDateValue(k); };
        if (lo) at = mdx_.file.Find(t, [&](const char* k) { return value(k) < l; });
        if (hi) beyond = [value, h](const char* k) { return value(k) > h; };
    }
    out.clear();
    const char* key;
    uint32_t recNo;
    while (mdx_.file.Next(t, at, key, recNo)) {
        if (beyond && beyond(key)) break;
        const uint32_t slot = recNo - 1;
        if (recNo == 0 || slot >= recordCount_) continue;
        const char* rec = RecordBytes(slot);
        if (rec[0] == '*' || AllBytes(rec + f.offset, f.width, ' ')) continue;  // deleted or blank
        out.push_back(slot);
    }
    return true;
}

void DbfTable::CreateIndex(const std::string& name, const std::vector<std::string>& fieldNames, bool unique,
                           bool descending) {
    RequireWritable();
    const std::string tagName = AsciiUpper(name);
    bool valid = !tagName.empty() && tagName.size() <= 10 && tagName[0] >= 'A' && tagName[0] <= 'Z';
    for (char c : tagName) valid = valid && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    if (!valid)
        throw EngineError("Invalid index name \"" + name +
                              "\": a dBASE index tag name has 1 to 10 letters, digits or _, the first a letter",
                          errc::kInvalidParameter);
    for (const auto& tag : mdx_.file.Tags())
        if (tag.name == tagName) throw EngineError("Index already exists: " + name, errc::kInvalidParameter);
    if (descending)
        throw EngineError("Capability not supported: Tessel does not write descending dBASE index tags",
                          errc::kNotSupported);
    if (mdx_.file.Tags().size() >= kMdxMaxTags)
        throw EngineError("Capability not supported: a dBASE production index holds at most 47 tags",
                          errc::kNotSupported);
    if (fieldNames.empty()) throw EngineError("An index needs at least one field", errc::kInvalidParameter);
    MdxTag tag;
    tag.name = tagName;
    tag.unique = unique;
    uint32_t width = 0;
    for (const auto& fieldName : fieldNames) {
        const int k = FindField(*this, fieldName);
        if (k < 0) throw EngineError("Invalid field name: " + fieldName, errc::kInvalidParameter);
        const size_t hf = fieldMap_[static_cast<size_t>(k)];
        if (std::find(tag.fields.begin(), tag.fields.end(), hf) != tag.fields.end())
            throw EngineError("Field " + fieldName + " appears twice in the index", errc::kInvalidParameter);
        const DbfField& f = header_.fields[hf];
        const char type = f.kind == FieldKind::Char     ? 'C'
                          : f.kind == FieldKind::Number ? 'N'
                          : f.kind == FieldKind::Date   ? 'D'
                                                        : '?';
        if (type == '?')
            throw EngineError("Capability not supported: a dBASE index tag cannot hold field " + fieldName +
                                  " of type " + std::string(1, f.type),
                              errc::kNotSupported);
        if (fieldNames.size() > 1 && type != 'C')
            throw EngineError(
                "Capability not supported: a dBASE index over several fields joins character fields only; " +
                    fieldName + " is of type " + std::string(1, f.type),
                errc::kNotSupported);
        tag.keyType = type;
        width += type == 'C' ? f.width : type == 'N' ? kMdxNumericKey : kMdxDateKey;
        if (!tag.expression.empty()) tag.expression += '+';
        tag.expression += f.name;
        tag.fields.push_back(hf);
    }
    if (width > kMdxMaxCharKey)
        throw EngineError("Capability not supported: a dBASE index key holds at most 100 characters; this one needs " +
                              std::to_string(width),
                          errc::kNotSupported);
    tag.keyLength = static_cast<uint16_t>(width);
    tag.entryLength = MdxEntryLength(tag.keyLength);

    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    EnsureFresh();
    const bool hadIndex = !mdx_.path.empty();
    if (!hadIndex) {
        mdx_.path = FindCompanion(path_, ".mdx");
        if (mdx_.path.empty()) mdx_.path = CompanionPath(path_, ".mdx");
    }
    // A file of that name the header does not claim is stale; it is put back if this fails.
    std::string stale;
    const bool hadStale = !hadIndex && FileExists(mdx_.path);
    if (hadStale) stale = ReadWholeFile(mdx_.path);
    const std::vector<MdxTag> before = mdx_.file.Tags();
    std::vector<MdxTag> after = before;
    after.push_back(std::move(tag));
    try {
        RebuildIndexFile(after);
        WriteIndexFlags();
    } catch (...) {
        try {
            if (hadIndex) {
                RebuildIndexFile(before);
            } else {
                if (hadStale)
                    WriteFileAtomically(mdx_.path, stale);
                else
                    RemoveTableFile(mdx_.path);
                mdx_.path.clear();
                mdx_.file = MdxFile();
                mdx_.dirty = false;
                WriteIndexFlags();
            }
        } catch (...) {
            if (!mdx_.path.empty()) LoadIndexFile();  // whatever the disk holds now
        }
        ListIndexes();
        throw;
    }
    ListIndexes();
}

bool DbfTable::DropIndex(const std::string& name) {
    const std::vector<MdxTag> before = mdx_.file.Tags();
    size_t t = 0;
    while (t < before.size() && AsciiUpper(conv_->ToUtf8(before[t].name)) != AsciiUpper(name)) ++t;
    if (t == before.size()) return false;
    RequireWritable();
    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    EnsureFresh();
    const std::string path = mdx_.path;
    std::vector<MdxTag> after = before;
    after.erase(after.begin() + static_cast<std::ptrdiff_t>(t));
    try {
        if (after.empty()) {
            // The header's claim goes before the file, never the other way round.
            mdx_.path.clear();
            WriteIndexFlags();
            RemoveTableFile(path);
            mdx_.file = MdxFile();
        } else {
            RebuildIndexFile(after);
            WriteIndexFlags();
        }
    } catch (...) {
        mdx_.path = path;
        LoadIndexFile();  // whatever the disk holds now
        throw;
    }
    ListIndexes();
    return true;
}

}  // namespace tessel::engine::dbase
