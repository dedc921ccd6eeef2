// The editor's text buffer: lines, their records, tab expansion, notifications.

#include "editor/CodeEditStringList.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <iterator>
#include <ostream>

#include "base/FileUtil.h"

namespace tessel {

namespace {

using Rec = TCodeEditStringRec;

constexpr uint8_t kTabFlags = Rec::flTabs | Rec::flNoTabs;

bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

// Expands the tabs of one line for the given width and returns the expanded length in
// characters. `out` receives the expanded line only when the line has a tab and `out` is not
// null: a line without tabs is only scanned once, and callers use it as it is. Measuring
// (out == null) builds nothing at all, which is what the longest-line search needs.
int32_t ExpandTabs(std::string_view line, int width, bool& hasTabs, std::string* out) {
    int32_t column = 0;
    size_t pos = 0;
    while (pos < line.size() && line[pos] != '\t') {
        if (StartsCharacter(line[pos])) ++column;
        ++pos;
    }
    hasTabs = pos < line.size();
    if (!hasTabs) return column;

    // Width 1 turns each tab into one space; wider stops are filled with tab characters,
    // which the painter shows as blanks, so the caret logic can still tell fill from text.
    const bool spaces = width == 1;
    const bool powerOfTwo = (width & (width - 1)) == 0;
    const int32_t mask = width - 1;
    if (out) {
        out->assign(line.substr(0, pos));
        out->reserve(line.size() + static_cast<size_t>(width));
    }
    for (; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '\t') {
            const int32_t fill = powerOfTwo ? width - (column & mask) : width - column % width;
            if (out) out->append(static_cast<size_t>(fill), spaces ? ' ' : '\t');
            column += fill;
        } else {
            if (StartsCharacter(c)) ++column;
            if (out) out->push_back(c);
        }
    }
    return column;
}

void StoreExpansion(const Rec& rec, int32_t length, bool hasTabs) {
    rec.ExpandedLength = length;
    rec.Flags =
        static_cast<uint8_t>((rec.Flags & ~(kTabFlags | Rec::flLengthStale)) | (hasTabs ? Rec::flTabs : Rec::flNoTabs));
}

}  // namespace

TCodeEditStringList::TCodeEditStringList() = default;

TCodeEditStringList::~TCodeEditStringList() {
    // The owner may be half destroyed by now; freeing the lines reports nothing.
    OnLinesChanging = nullptr;
    OnLinesChanged = nullptr;
}

void TCodeEditStringList::IndexError(int index) {
    char message[64];
    std::snprintf(message, sizeof message, "Invalid stringlist index %d", index);
    throw ECodeEditStringList(message);
}

void TCodeEditStringList::SetUpdateState(bool updating) {
    const TCodeEditNotifyEvent& hook = updating ? OnLinesChanging : OnLinesChanged;
    if (hook) hook(this);
}

std::string TCodeEditStringList::Get(int index) const {
    if (index < 0 || index >= count_) return {};
    return records_[static_cast<size_t>(index)].Text;
}

void* TCodeEditStringList::GetObject(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    return records_[static_cast<size_t>(index)].Data;
}

void TCodeEditStringList::Put(int index, const std::string& s) {
    if (index == count_) {
        Add(s);
        return;
    }
    if (index < 0 || index >= count_) IndexError(index);
    TStringsUpdate update(*this);
    Rec& rec = records_[static_cast<size_t>(index)];
    rec.Text = s;
    rec.Flags = static_cast<uint8_t>((rec.Flags & ~kTabFlags) | Rec::flLengthStale);
    longestLineIndex_ = -1;
    if (OnLinePut) OnLinePut(index, s);
}

void TCodeEditStringList::PutObject(int index, void* object) {
    if (index < 0 || index >= count_) IndexError(index);
    records_[static_cast<size_t>(index)].Data = object;
}

void TCodeEditStringList::SetCapacity(int capacity) {
    capacity = std::max(capacity, count_);
    if (capacity == capacity_) return;
    auto records = capacity > 0 ? std::make_unique<Rec[]>(static_cast<size_t>(capacity)) : std::unique_ptr<Rec[]>();
    std::move(records_.get(), records_.get() + count_, records.get());
    records_ = std::move(records);
    capacity_ = capacity;
}

void TCodeEditStringList::Grow() {
    // Small buffers grow by a fixed step, large ones by a quarter, so that typing line after
    // line reallocates rarely without doubling the memory of a big file.
    SetCapacity(capacity_ <= 64 ? capacity_ + 16 : capacity_ + capacity_ / 4);
}

void TCodeEditStringList::InsertItem(int index, const std::string& s) {
    if (count_ == capacity_) Grow();
    Rec* records = records_.get();
    std::move_backward(records + index, records + count_, records + count_ + 1);
    records[index] = Rec();
    records[index].Text = s;
    longestLineIndex_ = -1;
    ++count_;
}

int TCodeEditStringList::Add(const std::string& s) {
    TStringsUpdate update(*this);
    const int index = count_;
    InsertItem(index, s);
    if (OnLineAdded) OnLineAdded(index, s);
    return index;
}

void TCodeEditStringList::Insert(int index, const std::string& s) {
    if (index < 0 || index > count_) IndexError(index);
    TStringsUpdate update(*this);
    InsertItem(index, s);
    if (OnLineInserted) OnLineInserted(index, s);
}

void TCodeEditStringList::Delete(int index) {
    if (index < 0 || index >= count_) IndexError(index);
    TStringsUpdate update(*this);
    Rec* records = records_.get();
    std::move(records + index + 1, records + count_, records + index);
    records[--count_] = Rec();
    longestLineIndex_ = -1;
    if (OnLineDeleted) OnLineDeleted(index);
}

void TCodeEditStringList::Exchange(int index1, int index2) {
    if (index1 < 0 || index1 >= count_) IndexError(index1);
    if (index2 < 0 || index2 >= count_) IndexError(index2);
    TStringsUpdate update(*this);
    std::swap(records_[static_cast<size_t>(index1)], records_[static_cast<size_t>(index2)]);
    if (longestLineIndex_ == index1)
        longestLineIndex_ = index2;
    else if (longestLineIndex_ == index2)
        longestLineIndex_ = index1;
}

void TCodeEditStringList::Clear() {
    longestLineIndex_ = -1;
    if (count_ == 0) return;
    TStringsUpdate update(*this);
    records_.reset();
    count_ = 0;
    capacity_ = 0;
    if (OnLinesCleared) OnLinesCleared(this);
}

void TCodeEditStringList::AddStrings(const TStrings& source) {
    // Read the count once: the source may be this very list.
    const int n = source.Count();
    if (n == 0) return;
    TStringsUpdate update(*this);
    longestLineIndex_ = -1;
    if (count_ + n > capacity_) SetCapacity((count_ + n + 15) / 16 * 16);
    const int first = count_;
    for (int i = 0; i < n; ++i) {
        Rec& rec = records_[static_cast<size_t>(count_)];
        rec = Rec();
        rec.Text = source.Get(i);
        rec.Data = source.GetObject(i);
        ++count_;
    }
    if (OnLineAdded) OnLineAdded(first, std::string());
}

void TCodeEditStringList::BulkDeleteLines(int index, int n) {
    if (n <= 0) return;
    if (index < 0 || index > count_) IndexError(index);
    n = std::min(n, count_ - index);
    TStringsUpdate update(*this);
    Rec* records = records_.get();
    std::move(records + index + n, records + count_, records + index);
    for (int i = count_ - n; i < count_; ++i) records[i] = Rec();
    count_ -= n;
    longestLineIndex_ = -1;
    if (OnLineDeleted) OnLineDeleted(index);
}

void TCodeEditStringList::BulkInsertEmptyLines(int index, int n) {
    if (n <= 0) return;
    if (index < 0 || index > count_) IndexError(index);
    TStringsUpdate update(*this);
    if (count_ + n > capacity_) SetCapacity(count_ + n);
    Rec* records = records_.get();
    std::move_backward(records + index, records + count_, records + count_ + n);
    // The paste fills these lines right away; state 0 and a known empty length let the
    // rescan and the longest-line search treat them as ordinary empty lines until then.
    for (int i = index; i < index + n; ++i) {
        records[i] = Rec();
        records[i].LineState = 0;
        records[i].ExpandedLength = 0;
        records[i].Flags = 0;
    }
    count_ += n;
    longestLineIndex_ = -1;
    if (OnLineAdded) OnLineAdded(index, std::string());
}

intptr_t TCodeEditStringList::LineState(int index) const {
    if (index < 0 || index >= count_) IndexError(index);
    return records_[static_cast<size_t>(index)].LineState;
}

void TCodeEditStringList::SetLineState(int index, intptr_t state) {
    if (index < 0 || index >= count_) IndexError(index);
    records_[static_cast<size_t>(index)].LineState = state;
}

int32_t TCodeEditStringList::ExpandedLengthOf(const Rec& rec) const {
    if (rec.Flags & Rec::flLengthStale) {
        bool hasTabs;
        const int32_t length = ExpandTabs(rec.Text, tabWidth_, hasTabs, nullptr);
        StoreExpansion(rec, length, hasTabs);
    }
    return rec.ExpandedLength;
}

std::string TCodeEditStringList::ExpandedText(int index) const {
    if (index < 0 || index >= count_) return {};
    const Rec& rec = records_[static_cast<size_t>(index)];
    if (rec.Flags & Rec::flNoTabs) return rec.Text;
    std::string expanded;
    bool hasTabs;
    const int32_t length = ExpandTabs(rec.Text, tabWidth_, hasTabs, &expanded);
    StoreExpansion(rec, length, hasTabs);
    return hasTabs ? expanded : rec.Text;
}

int TCodeEditStringList::LongestLineLength() const {
    if (longestLineIndex_ < 0) {
        int32_t longest = 0;
        for (int i = 0; i < count_; ++i) {
            const int32_t length = ExpandedLengthOf(records_[static_cast<size_t>(i)]);
            if (length > longest) {
                longest = length;
                longestLineIndex_ = i;
            }
        }
        if (longestLineIndex_ < 0) return 0;
    }
    return ExpandedLengthOf(records_[static_cast<size_t>(longestLineIndex_)]);
}

void TCodeEditStringList::SetTabWidth(int width) {
    // A zero or negative width has no tab stops to expand to; one column is the narrowest.
    width = std::max(width, 1);
    if (width == tabWidth_) return;
    tabWidth_ = width;
    longestLineIndex_ = -1;
    for (int i = 0; i < count_; ++i) {
        Rec& rec = records_[static_cast<size_t>(i)];
        rec.ExpandedLength = -1;
        rec.Flags = static_cast<uint8_t>((rec.Flags & ~Rec::flNoTabs) | Rec::flLengthStale);
    }
}

void TCodeEditStringList::LoadFromFile(const std::string& fileName) {
    // Read everything before touching the lines: a file that cannot be read leaves the
    // editor's text as it was.
    LoadFromBytes(ReadFileBytes(fileName));
}

void TCodeEditStringList::LoadFromStream(std::istream& stream) {
    if (!stream.bad()) stream.clear();
    stream.seekg(0, std::ios::beg);
    // A stream that cannot seek (a pipe) is read from where it stands.
    if (stream.fail() && !stream.bad()) stream.clear();
    std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad()) throw EFileError("Cannot read the text: the stream failed");
    LoadFromBytes(bytes);
}

void TCodeEditStringList::LoadFromBytes(std::string_view bytes) {
    const TTextEncoding encoding = DetectTextEncoding(bytes);
    // Decode first, then cut: in UTF-8, CR, LF and NUL never occur inside a character, while
    // in UTF-16 every other byte of plain text is a NUL.
    const std::string text = DecodeText(bytes, encoding);

    TStringsUpdate update(*this);
    Clear();
    bool sawCr = false;
    bool sawLf = false;
    constexpr std::string_view kLineEnds("\r\n\0", 3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(kLineEnds, pos);
        if (end == std::string::npos) end = text.size();
        Add(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') {
            ++pos;
            sawCr = true;
        }
        if (pos < text.size() && text[pos] == '\n') {
            ++pos;
            sawLf = true;
        }
        if (pos < text.size() && text[pos] == '\0') ++pos;
    }
    // A file that mixes both conventions, or has no break at all, is saved with CR LF.
    if (sawCr && !sawLf)
        lineBreakStyle_ = lbCr;
    else if (sawLf && !sawCr)
        lineBreakStyle_ = lbLf;
    else
        lineBreakStyle_ = lbCrLf;
    encoding_ = encoding;
}

TTextEncoding TCodeEditStringList::SaveEncoding() const {
    if (encoding_ != TTextEncoding::Windows1252) return encoding_;
    // Text typed into a Windows-1252 file may hold characters the code page lacks; such a
    // file is saved as UTF-8 rather than losing them.
    for (int i = 0; i < count_; ++i)
        if (!CanEncode(records_[static_cast<size_t>(i)].Text, encoding_)) return TTextEncoding::Utf8;
    return encoding_;
}

void TCodeEditStringList::SaveToStream(std::ostream& stream) const {
    if (count_ == 0) return;
    const TTextEncoding encoding = SaveEncoding();
    const std::string_view lineBreak = LineBreakOf(lineBreakStyle_);
    std::string text;
    for (int i = 0; i < count_; ++i) {
        text += records_[static_cast<size_t>(i)].Text;
        text += lineBreak;
    }
    std::string bytes;
    if (!EncodeText(text, encoding, bytes))  // SaveEncoding made sure this cannot happen
        throw Exception("Cannot store the text in its encoding");
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream) throw EFileError("Cannot write the text: the stream failed");
    encoding_ = encoding;
}

void TCodeEditStringList::SaveToFile(const std::string& fileName) const {
    const TTextEncoding encoding = SaveEncoding();
    TCodeEditFileWriter writer(fileName, encoding);
    writer.SetLineBreakStyle(lineBreakStyle_);
    for (int i = 0; i < count_; ++i) writer.WriteLine(records_[static_cast<size_t>(i)].Text);
    writer.Commit();
    encoding_ = encoding;
}

}  // namespace tessel
