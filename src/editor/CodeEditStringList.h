#pragma once

// The editor's text buffer (TCodeEditStringList).

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "base/Exceptions.h"
#include "base/StringList.h"
#include "base/TextEncoding.h"
#include "editor/CodeEditFiler.h"

namespace tessel {

// A bad line index given to the editor's text buffer: "Invalid stringlist index %d".
class ECodeEditStringList : public Exception {
public:
    using Exception::Exception;
};

// One line of the buffer.
struct TCodeEditStringRec {
    enum Flag : uint8_t {
        flTabs = 1,         // the line holds at least one tab
        flNoTabs = 2,       // the line holds none
        flLengthStale = 4,  // ExpandedLength must be recomputed
    };

    std::string Text;         // UTF-8, without a line break; may hold tabs
    void* Data = nullptr;     // attached object, not owned
    intptr_t LineState = -1;  // highlighter state at the start of the line; -1 = none yet
    // Length after tab expansion in characters (code points); a cache, hence mutable.
    mutable int32_t ExpandedLength = -1;
    mutable uint8_t Flags = flLengthStale;
};

class TCodeEditStringList;

using TCodeEditNotifyEvent = std::function<void(TCodeEditStringList* sender)>;
using TCodeEditLineEvent = std::function<void(int index, const std::string& text)>;
using TCodeEditLineDeletedEvent = std::function<void(int index)>;

// The lines of the SQL editor. Besides the text, each line keeps the highlighter's state at its
// start and the cached length of the line after tab expansion. Every change is reported
// through the On... hooks below, which the editor that owns the buffer sets; OnLinesChanging and
// OnLinesChanged bracket a whole change (nested changes inside BeginUpdate/EndUpdate report
// one bracket), the others say which lines were touched.
//
// Lines are UTF-8. A column is one character (code point), never a byte. Files and streams are
// read in the encoding they hold (byte-order mark, else UTF-8 when valid, else Windows-1252)
// and written back in it.
class TCodeEditStringList : public TStrings {
public:
    TCodeEditStringList();
    ~TCodeEditStringList() override;
    TCodeEditStringList(const TCodeEditStringList&) = delete;
    TCodeEditStringList& operator=(const TCodeEditStringList&) = delete;

    // TStrings. Get and GetObject give "" / null outside the lines; the changing operations
    // raise ECodeEditStringList for a bad index and then change nothing.
    int Count() const override { return count_; }
    std::string Get(int index) const override;
    void* GetObject(int index) const override;
    // Put at index Count() appends (an Add, reported by OnLineAdded).
    void Put(int index, const std::string& s) override;
    void PutObject(int index, void* object) override;
    int Add(const std::string& s) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;
    // Appends all lines of the source with one capacity reservation and one OnLineAdded for
    // the first new line (with an empty text), so a large paste or assignment does not rescan
    // once per line.
    void AddStrings(const TStrings& source) override;
    void Exchange(int index1, int index2);

    void LoadFromFile(const std::string& fileName) override;
    void LoadFromStream(std::istream& stream) override;
    // LoadFromFile reads the whole file before it touches the lines, so a file that cannot be
    // read raises EFileError and leaves everything as it was.
    // The saves write in Encoding(); text that Windows-1252 cannot hold is written as UTF-8
    // instead, and Encoding() says so afterwards. Every line, the last one included, ends with
    // the break of LineBreakStyle(); no lines make an empty file. SaveToFile replaces the file
    // only once the new one is complete (see TCodeEditFileWriter) and raises EFileError else.
    void SaveToFile(const std::string& fileName) const override;
    void SaveToStream(std::ostream& stream) const override;

    int Capacity() const { return capacity_; }
    // Never below Count().
    void SetCapacity(int capacity);

    // Deletes up to n lines from index on (index 0..Count()) with one OnLineDeleted(index).
    void BulkDeleteLines(int index, int n);
    // Inserts n empty lines at index (0..Count()) with state 0 and one OnLineAdded(index, "").
    void BulkInsertEmptyLines(int index, int n);

    // The highlighter's state at the start of a line; a bad index raises the index error.
    intptr_t LineState(int index) const;
    void SetLineState(int index, intptr_t state);

    // The line with each tab widened to the next tab stop. The fill keeps tab characters (the
    // painter shows them as blanks) except with width 1, where a tab becomes one space. Outside
    // the lines: "".
    std::string ExpandedText(int index) const;
    // Expanded length of the longest line; 0 when there are no lines or all are empty.
    int LongestLineLength() const;
    // Index of the longest line as last computed; -1 until LongestLineLength computes it again.
    int LongestLineIndex() const { return longestLineIndex_; }

    int TabWidth() const { return tabWidth_; }
    // Widths below 1 count as 1. A new width makes every cached length stale.
    void SetTabWidth(int width);

    TLineBreakStyle LineBreakStyle() const { return lineBreakStyle_; }
    void SetLineBreakStyle(TLineBreakStyle style) { lineBreakStyle_ = style; }

    // The encoding of the last load (UTF-8 for a new buffer), used by the saves.
    TTextEncoding Encoding() const { return encoding_; }
    void SetEncoding(TTextEncoding encoding) { encoding_ = encoding; }

    TCodeEditNotifyEvent OnLinesChanging;
    TCodeEditNotifyEvent OnLinesChanged;
    TCodeEditLineEvent OnLineAdded;
    TCodeEditNotifyEvent OnLinesCleared;
    TCodeEditLineDeletedEvent OnLineDeleted;
    TCodeEditLineEvent OnLineInserted;
    TCodeEditLineEvent OnLinePut;

protected:
    void SetUpdateState(bool updating) override;

private:
    [[noreturn]] static void IndexError(int index);
    void Grow();
    void InsertItem(int index, const std::string& s);
    void LoadFromBytes(std::string_view bytes);
    // The record's expanded length, computing it when stale.
    int32_t ExpandedLengthOf(const TCodeEditStringRec& rec) const;
    // The encoding to save in: Encoding(), unless Windows-1252 cannot hold the text.
    TTextEncoding SaveEncoding() const;

    std::unique_ptr<TCodeEditStringRec[]> records_;
    int count_ = 0;
    int capacity_ = 0;
    int tabWidth_ = 8;
    mutable int longestLineIndex_ = -1;
    TLineBreakStyle lineBreakStyle_ = lbCrLf;
    // A save that had to fall back from Windows-1252 to UTF-8 records it here; that is the
    // file's encoding from then on, not a change of the text, so const saves may set it.
    mutable TTextEncoding encoding_ = TTextEncoding::Utf8;
};

}  // namespace tessel
