// Records as CSV.

#include "engine/Csv.h"

namespace tessel::engine {

std::string CsvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string CsvHeader(const std::vector<FieldDesc>& fields) {
    std::string line;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) line.push_back(',');
        line += CsvCell(fields[k].name);
    }
    return line + "\r\n";
}

std::string CsvRecord(const Record& record) {
    std::string line;
    for (size_t k = 0; k < record.size(); ++k) {
        if (k) line.push_back(',');
        line += CsvCell(FormatValue(record[k]));
    }
    return line + "\r\n";
}

}  // namespace tessel::engine
