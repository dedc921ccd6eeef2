// Feeds arbitrary bytes to the Paradox reader as a .DB file (the first input byte, when
// odd, also puts the rest of the input next to it as the .MB). Every input must end in a
// full read or an EngineError: no crash, no sanitizer report, no huge allocation.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/EngineError.h"
#include "engine/paradox/Paradox.h"

using namespace tessel::engine;

namespace {

const std::string& Dir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/tessel-pxfuzz-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        if (!d) std::abort();
        return std::string(d);
    }();
    return dir;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string db = Dir() + "/t.db", mb = Dir() + "/t.mb";
    Write(db, data, size);
    if (size > 0 && (data[0] & 1))
        Write(mb, data, size);
    else
        ::unlink(mb.c_str());
    try {
        auto t = paradox::OpenParadoxTable(db, OpenMode::ReadOnly);
        Record rec;
        for (uint32_t r = 0; r < t->RecordCount() && r < 100000; ++r) t->ReadRecord(r, rec);
        (void)t->Indexes();
        (void)t->ValidityChecks();
    } catch (const EngineError&) {
    }
    return 0;
}
