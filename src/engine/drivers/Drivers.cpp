// The registry of storage drivers.

#include "engine/drivers/Drivers.h"

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/dbase/Dbase.h"
#include "engine/paradox/Paradox.h"

namespace tessel::engine {

namespace {

std::string JoinedWithOr(const std::vector<std::string>& items) {
    std::string out;
    for (size_t k = 0; k < items.size(); ++k) {
        if (k > 0) out += k + 1 == items.size() ? " or " : ", ";
        out += items[k];
    }
    return out;
}

}  // namespace

const std::vector<const StorageDriver*>& Drivers() {
    // One line per driver.
    static const std::vector<const StorageDriver*> drivers = {
        &paradox::ParadoxDriver(),
        &dbase::DbaseDriver(),
    };
    return drivers;
}

const StorageDriver& DefaultStorageDriver() {
    return *Drivers().front();
}

const StorageDriver* FindDriverByExtension(std::string_view ext) {
    if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
    for (const StorageDriver* d : Drivers())
        if (SameAscii(d->Extension().substr(1), ext)) return d;
    return nullptr;
}

const StorageDriver* FindDriverForPath(const std::string& path) {
    const std::string ext = ExtractFileExt(path);
    return ext.empty() ? nullptr : FindDriverByExtension(ext);
}

const StorageDriver& DriverForPath(const std::string& path) {
    if (const StorageDriver* d = FindDriverForPath(path)) return *d;
    std::vector<std::string> extensions;
    for (const StorageDriver* d : Drivers()) extensions.emplace_back(d->Extension());
    throw EngineError("Unknown table type of \"" + path + "\": the file name must end in " + JoinedWithOr(extensions),
                      errc::kNotSupported);
}

const StorageDriver* FindDriverByName(std::string_view name) {
    for (const StorageDriver* d : Drivers())
        if (SameAscii(d->Name(), name)) return d;
    return nullptr;
}

const StorageDriver* FindDriverByTypeName(std::string_view typeName) {
    for (const StorageDriver* d : Drivers())
        if (d->HasTypeName(typeName)) return d;
    return nullptr;
}

std::string DriverNamesText() {
    std::vector<std::string> names;
    for (const StorageDriver* d : Drivers()) names.emplace_back(d->Name());
    return JoinedWithOr(names);
}

}  // namespace tessel::engine
