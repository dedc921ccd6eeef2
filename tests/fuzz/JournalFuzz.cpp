// Feeds arbitrary bytes as the hot journal of a small table: recovery either applies it and
// removes it, or refuses it with an EngineError naming the journal and leaves every file of the
// table, and the folder, exactly as they were. Never a crash, never a file outside the table's
// family changed, never half applied.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "base/EngineError.h"
#include "engine/storage/RollbackJournal.h"

namespace fs = std::filesystem;
using namespace tessel::engine;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::map<std::string, std::string> Folder(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        files[e.path().filename().string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = [] {
        std::string d = (fs::temp_directory_path() / "tessel-journal-fuzz-XXXXXX").string();
        Check(::mkdtemp(d.data()) != nullptr);
        return d;
    }();
    SetDurableWrites(false);
    for (const auto& e : fs::directory_iterator(dir)) fs::remove(e.path());
    Write(dir + "/t.dbf", std::string(10240, 'D'));
    Write(dir + "/t.dbt", std::string(1024, 'M'));
    Write(dir + "/other.dbf", "not of the table");
    const std::string journal = dir + "/.t.dbf.tessel-journal-00000000000000000001";
    Write(journal, std::string(reinterpret_cast<const char*>(data), size));
    const auto before = Folder(dir);
    try {
        RecoverHotJournals(dir + "/t.dbf", false);
        const auto after = Folder(dir);
        Check(!after.count(fs::path(journal).filename().string()));
        Check(after.at("other.dbf") == "not of the table");
        for (const auto& [name, bytes] : after) Check(name.rfind("t.", 0) == 0 || name == "other.dbf");
    } catch (const EngineError& e) {
        Check(std::string(e.what()).find(journal) != std::string::npos);
        Check(Folder(dir) == before);
    }
    return 0;
}
