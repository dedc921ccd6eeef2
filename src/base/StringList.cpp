// String lists: the list-of-lines interface and its sortable implementation.

#include "base/StringList.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/AsciiText.h"
#include "base/Exceptions.h"
#include "base/FileUtil.h"

namespace tessel {

int CompareText(const std::string& a, const std::string& b) {
    return CompareAscii(a, b);
}

bool SameText(const std::string& a, const std::string& b) {
    return CompareText(a, b) == 0;
}

int TStrings::Add(const std::string& s) {
    const int index = Count();
    Insert(index, s);
    return index;
}

int TStrings::AddObject(const std::string& s, void* object) {
    const int index = Add(s);
    PutObject(index, object);
    return index;
}

void TStrings::AddStrings(const TStrings& source) {
    TStringsUpdate update(*this);
    for (int i = 0; i < source.Count(); ++i) AddObject(source.Get(i), source.GetObject(i));
}

void TStrings::Assign(const TStrings& source) {
    if (&source == this) return;
    TStringsUpdate update(*this);
    Clear();
    AddStrings(source);
}

std::string TStrings::Text() const {
    std::string text;
    for (int i = 0; i < Count(); ++i) {
        text += Get(i);
        text += "\r\n";
    }
    return text;
}

void TStrings::SetText(const std::string& text) {
    TStringsUpdate update(*this);
    Clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        Add(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r') ++end;
        if (end < text.size() && text[end] == '\n') ++end;
        start = end;
    }
}

int TStrings::IndexOf(const std::string& s) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(Get(i), s)) return i;
    return -1;
}

std::vector<std::string> TStrings::ToVector() const {
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i) lines.push_back(Get(i));
    return lines;
}

void TStrings::LoadFromStream(std::istream& stream) {
    std::string data((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    SetText(data);
}

void TStrings::SaveToStream(std::ostream& stream) const {
    const std::string text = Text();
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName) {
    std::istringstream stream(ReadFileBytes(fileName));
    LoadFromStream(stream);
}

void TStrings::SaveToFile(const std::string& fileName) const {
    std::ostringstream stream;
    SaveToStream(stream);
    WriteFileAtomically(fileName, stream.str());
}

void TStrings::BeginUpdate() {
    if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

TStringList::TStringList(std::initializer_list<std::string> lines) {
    for (const auto& line : lines) items_.push_back({line, nullptr});
}

void TStringList::CheckIndex(int index, int limit) const {
    if (index < 0 || index >= limit) {
        char message[64];
        std::snprintf(message, sizeof message, "List index out of bounds (%d)", index);
        throw Exception(message);
    }
}

std::string TStringList::Get(int index) const {
    CheckIndex(index, Count());
    return items_[static_cast<size_t>(index)].text;
}

void* TStringList::GetObject(int index) const {
    CheckIndex(index, Count());
    return items_[static_cast<size_t>(index)].object;
}

void TStringList::Put(int index, const std::string& s) {
    CheckIndex(index, Count());
    items_[static_cast<size_t>(index)].text = s;
}

void TStringList::PutObject(int index, void* object) {
    CheckIndex(index, Count());
    items_[static_cast<size_t>(index)].object = object;
}

void TStringList::Insert(int index, const std::string& s) {
    CheckIndex(index, Count() + 1);
    items_.insert(items_.begin() + index, Item{s, nullptr});
}

void TStringList::Delete(int index) {
    CheckIndex(index, Count());
    items_.erase(items_.begin() + index);
}

void TStringList::Clear() {
    items_.clear();
}

int TStringList::Add(const std::string& s) {
    if (!sorted_) return TStrings::Add(s);
    auto it = std::upper_bound(items_.begin(), items_.end(), s,
                               [](const std::string& v, const Item& item) { return CompareText(v, item.text) < 0; });
    const int index = static_cast<int>(it - items_.begin());
    items_.insert(it, Item{s, nullptr});
    return index;
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !sorted_) Sort();
    sorted_ = sorted;
}

void TStringList::Sort() {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const Item& a, const Item& b) { return CompareText(a.text, b.text) < 0; });
}

}  // namespace tessel
