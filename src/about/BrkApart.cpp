// The string splitter.

#include "about/BrkApart.h"

#include "base/AsciiText.h"

namespace tessel {

void TBrkApart::BreakApart() {
    StringList.clear();
    if (BreakString.empty()) {
        if (!BaseString.empty() || AllowEmptyString) StringList.push_back(BaseString);
        return;
    }
    const std::string haystack = CaseSensitive ? BaseString : AsciiUpper(BaseString);
    const std::string needle = CaseSensitive ? BreakString : AsciiUpper(BreakString);
    size_t from = 0;
    for (;;) {
        const size_t at = haystack.find(needle, from);
        const std::string piece = BaseString.substr(from, at == std::string::npos ? std::string::npos : at - from);
        if (!piece.empty() || AllowEmptyString) StringList.push_back(piece);
        if (at == std::string::npos) break;
        from = at + needle.size();
    }
}

void TBrkApart::BuildString() {
    BaseString.clear();
    for (size_t i = 0; i < StringList.size(); ++i) {
        if (i > 0) BaseString += BreakString;
        BaseString += StringList[i];
    }
}

}  // namespace tessel
