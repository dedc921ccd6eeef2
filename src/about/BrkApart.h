#pragma once

// Splits a string at every occurrence of a separator into a list, and joins the list back.

#include <string>
#include <vector>

namespace tessel {

class TBrkApart {
public:
    std::string BaseString;
    std::string BreakString;
    bool CaseSensitive = false;
    bool AllowEmptyString = true;  // keep the empty pieces between two separators
    std::vector<std::string> StringList;

    // BaseString into StringList (an empty separator gives the whole string).
    void BreakApart();
    // StringList joined with BreakString into BaseString.
    void BuildString();
};

}  // namespace tessel
