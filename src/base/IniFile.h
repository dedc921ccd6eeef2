#pragma once

// Profile (INI) files with the profile functions' reading and writing rules.

#include <optional>
#include <string>
#include <vector>

namespace tessel {

// A profile (INI) file: "[section]" lines and "key=value" lines; blank lines and lines that
// begin with ';' or '#' are comments. Section and key names match without regard to case.
// The file is read when the object is made (a missing file is an empty profile) and written
// back, whole and atomically, by UpdateFile.
class TIniFile {
public:
    explicit TIniFile(std::string fileName);
    // Parses text instead of reading a file (FileName is still where UpdateFile writes).
    TIniFile(std::string fileName, const std::string& text);

    const std::string& FileName() const { return fileName_; }

    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X" when the value is longer than two characters;
    // a missing key or a value that is no integer gives the default.
    long long ReadInteger(const std::string& section, const std::string& key, long long defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, long long value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    std::vector<std::string> SectionNames() const;
    bool SectionExists(const std::string& section) const;
    // "key=value" lines of a section in file order.
    std::vector<std::pair<std::string, std::string>> SectionValues(const std::string& section) const;
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);

    // Lines that could not be read, as "line N: text". They are kept as they stood when the
    // file is written back, so nothing a person wrote is lost.
    const std::vector<std::string>& SkippedLines() const { return skipped_; }

    // The profile as text, "\n" line ends.
    std::string ToText() const;
    // Writes the profile; raises EFileError when the file cannot be written.
    void UpdateFile() const;

private:
    struct Entry {
        std::string key;  // empty for a comment line kept as it stood
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    void Parse(const std::string& text);
    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;

    std::string fileName_;
    std::vector<std::string> leadingComments_;
    std::vector<Section> sections_;
    std::vector<std::string> skipped_;
};

// The integer reading rule of profile files, on its own: nullopt when the text is no integer.
std::optional<long long> ParseProfileInteger(const std::string& text);

}  // namespace tessel
