#pragma once

// The records of a table as an independent reader reads them: pxlib (through the oracle front
// end the build makes when pxlib is installed) for a Paradox .db, python3-dbf for a dBASE .dbf.
// One line per record, the fields joined by commas, after a line of field names; a deleted
// dBASE record is left out. Empty when the reader is not installed (tests then skip).

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/RunCommand.h"

namespace tessel::test {

inline bool OracleFor(const std::string& path) {
    const bool paradox = path.size() > 3 && path.compare(path.size() - 3, 3, ".db") == 0;
    if (paradox) return std::filesystem::exists(TESSEL_BIN_DIR "/tessel_pxdump");
    return std::filesystem::exists(TESSEL_ORACLES_DIR "/dbfdump.py") &&
           std::system("/usr/bin/python3 -c 'import dbf' 2>/dev/null") == 0;
}

inline std::string OracleRecords(const std::string& path) {
    if (!OracleFor(path)) return {};
    const bool paradox = path.size() > 3 && path.compare(path.size() - 3, 3, ".db") == 0;
    int status = 0;
    const std::string out =
        paradox ? RunCommand(std::string(TESSEL_BIN_DIR "/tessel_pxdump csv '") + path + "' 2>&1", &status)
                : RunCommand("/usr/bin/python3 " TESSEL_ORACLES_DIR "/dbfdump.py '" + path +
                                 "' --via python-dbf --no-meta --deleted 2>/dev/null",
                             &status);
    if (status != 0) return "failed (" + std::to_string(status) + "): " + out;
    if (paradox) return out;
    // python3-dbf lists deleted records too, marked in a first column.
    std::string kept;
    size_t at = 0;
    for (bool first = true; at < out.size(); first = false) {  // the first line names the fields
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        if (first || line.rfind("*,", 0) != 0) kept += line.substr(line.find(',') + 1) + "\n";
    }
    return kept;
}

}  // namespace tessel::test
