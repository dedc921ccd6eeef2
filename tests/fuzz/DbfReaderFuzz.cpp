// libFuzzer target for the dBASE reader. An input is a table file and its memo file:
// bytes 0-1 (little-endian) give the memo file's length, taken from the end of the input; the
// rest is the .DBF. Every input must end in a clean EngineError or in a full read.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/EngineError.h"
#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/DbfTable.h"

namespace {

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessel::engine;
    if (size < 2) return 0;
    size_t memoSize = static_cast<size_t>(data[0] | (data[1] << 8));
    const size_t rest = size - 2;
    if (memoSize > rest) memoSize = rest;
    const uint8_t* dbf = data + 2;
    const size_t dbfSize = rest - memoSize;

    // The header parser on its own, straight from memory.
    try {
        dbase::ParseDbfHeader(std::string_view(reinterpret_cast<const char*>(dbf), dbfSize), dbfSize, "fuzz.dbf");
    } catch (const EngineError&) {
    }

    static const std::string dir = [] {
        char tmpl[] = "/tmp/tessel-fuzz-dbf-XXXXXX";
        if (!mkdtemp(tmpl)) std::abort();
        return std::string(tmpl);
    }();
    WriteFile(dir + "/t.dbf", dbf, dbfSize);
    WriteFile(dir + "/t.dbt", dbf + dbfSize, memoSize);
    WriteFile(dir + "/t.fpt", dbf + dbfSize, memoSize);
    try {
        auto table = dbase::DbfTable::Open(dir + "/t.dbf", OpenMode::ReadOnly);
        Record rec;
        const uint32_t limit = table->RecordCount() < 5000 ? table->RecordCount() : 5000;
        for (uint32_t n = 0; n < limit; ++n) table->ReadRecord(n, rec);
    } catch (const EngineError&) {
    }
    return 0;
}
