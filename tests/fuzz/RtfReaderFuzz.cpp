// libFuzzer target for the RTF reader. Every input must end in ERtfError or in a document,
// and a document read must survive being written and read again.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "richtext/RtfDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    try {
        const tessel::TRichDocument doc = tessel::ReadRtf(input);
        const tessel::TRichDocument again = tessel::ReadRtf(tessel::WriteRtf(doc));
        if (again.PlainLines() != doc.PlainLines()) std::abort();
    } catch (const tessel::ERtfError&) {
    }
    return 0;
}
