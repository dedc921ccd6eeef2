// Reading and writing profile (INI) files.

#include "base/IniFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>

#include "base/AsciiText.h"
#include "base/Exceptions.h"
#include "base/FileUtil.h"
#include "base/StringList.h"

namespace tessel {

namespace {

// Blanks, tabs and line ends around a line, a name or a value are not part of it.
std::string TrimLine(const std::string& s) {
    return std::string(TrimChars(s, " \t\r\n"));
}

}  // namespace

std::optional<long long> ParseProfileInteger(const std::string& raw) {
    const std::string text = TrimLine(raw);
    if (text.empty()) return std::nullopt;
    int base = 10;
    size_t start = 0;
    bool negative = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    } else if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        start = 1;
    }
    if (start >= text.size()) return std::nullopt;
    unsigned long long magnitude = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    if (base == 16) {
        // Hexadecimal values are 32-bit patterns: 0xFFFFFFFF reads as -1, as profile readers do.
        if (magnitude > 0xFFFFFFFFull) return std::nullopt;
        return static_cast<long long>(static_cast<int>(static_cast<unsigned int>(magnitude)));
    }
    if (magnitude > static_cast<unsigned long long>(INT64_MAX)) return std::nullopt;
    const auto value = static_cast<long long>(magnitude);
    return negative ? -value : value;
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    std::string text;
    if (::access(fileName_.c_str(), F_OK) == 0) text = ReadFileBytes(fileName_);
    Parse(text);
}

TIniFile::TIniFile(std::string fileName, const std::string& text) : fileName_(std::move(fileName)) {
    Parse(text);
}

void TIniFile::Parse(const std::string& text) {
    TStringList lines;
    lines.SetText(text);
    Section* current = nullptr;   // where keys go; null before the first section or after a bad header
    Section* lastSeen = nullptr;  // where comments and unreadable lines are kept, so a rewrite keeps them
    auto keepRaw = [&](const std::string& line) {
        if (lastSeen)
            lastSeen->entries.push_back({"", line});
        else
            leadingComments_.push_back(line);
    };
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string line = TrimLine(lines.Get(i));
        if (line.empty()) continue;
        if (line[0] == ';' || line[0] == '#') {
            keepRaw(line);
            continue;
        }
        auto skip = [&] {
            skipped_.push_back("line " + std::to_string(i + 1) + ": " + line);
            keepRaw(line);
        };
        if (line[0] == '[') {
            const size_t close = line.find(']');
            const std::string name = close == std::string::npos ? "" : TrimLine(line.substr(1, close - 1));
            if (close == std::string::npos || name.empty() || !TrimLine(line.substr(close + 1)).empty()) {
                skip();
                current = nullptr;  // the keys below belong to no readable section
                continue;
            }
            current = FindSection(name);
            if (!current) {
                sections_.push_back({name, {}});
                current = &sections_.back();
            }
            lastSeen = current;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0 || !current) {
            skip();
            continue;
        }
        const std::string key = TrimLine(line.substr(0, eq));
        const std::string value = TrimLine(line.substr(eq + 1));
        bool replaced = false;
        for (auto& entry : current->entries) {
            if (!entry.key.empty() && SameText(entry.key, key)) {
                entry.value = value;  // a repeated key: the last one wins
                replaced = true;
            }
        }
        if (!replaced) current->entries.push_back({key, value});
    }
}

TIniFile::Section* TIniFile::FindSection(const std::string& name) {
    for (auto& section : sections_)
        if (SameText(section.name, name)) return &section;
    return nullptr;
}

const TIniFile::Section* TIniFile::FindSection(const std::string& name) const {
    for (const auto& section : sections_)
        if (SameText(section.name, name)) return &section;
    return nullptr;
}

std::optional<std::string> TIniFile::Value(const std::string& section, const std::string& key) const {
    if (const Section* s = FindSection(section))
        for (const auto& entry : s->entries)
            if (!entry.key.empty() && SameText(entry.key, key)) return entry.value;
    return std::nullopt;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    return Value(section, key).value_or(defaultValue);
}

long long TIniFile::ReadInteger(const std::string& section, const std::string& key, long long defaultValue) const {
    const auto value = Value(section, key);
    if (!value) return defaultValue;
    return ParseProfileInteger(*value).value_or(defaultValue);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back({section, {}});
        s = &sections_.back();
    }
    for (auto& entry : s->entries) {
        if (!entry.key.empty() && SameText(entry.key, key)) {
            entry.value = value;
            return;
        }
    }
    s->entries.push_back({key, value});
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, long long value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> TIniFile::SectionNames() const {
    std::vector<std::string> names;
    for (const auto& section : sections_) names.push_back(section.name);
    return names;
}

bool TIniFile::SectionExists(const std::string& section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::pair<std::string, std::string>> TIniFile::SectionValues(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> values;
    if (const Section* s = FindSection(section))
        for (const auto& entry : s->entries)
            if (!entry.key.empty()) values.emplace_back(entry.key, entry.value);
    return values;
}

void TIniFile::EraseSection(const std::string& section) {
    for (auto it = sections_.begin(); it != sections_.end(); ++it) {
        if (SameText(it->name, section)) {
            sections_.erase(it);
            return;
        }
    }
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    if (Section* s = FindSection(section))
        std::erase_if(s->entries, [&](const Entry& e) { return !e.key.empty() && SameText(e.key, key); });
}

std::string TIniFile::ToText() const {
    std::string text;
    for (const auto& comment : leadingComments_) text += comment + "\n";
    bool first = leadingComments_.empty();
    for (const auto& section : sections_) {
        if (!first) text += "\n";
        first = false;
        text += "[" + section.name + "]\n";
        for (const auto& entry : section.entries)
            text += entry.key.empty() ? entry.value + "\n" : entry.key + "=" + entry.value + "\n";
    }
    return text;
}

void TIniFile::UpdateFile() const {
    WriteFileAtomically(fileName_, ToText());
}

}  // namespace tessel
