#pragma once

// Marks of the editor's lines (bookmarks) and their list.

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace tessel {

class TCodeEditMarkList;

// What a mark asks of the editor it belongs to: repainting the gutter of one line.
class TCodeEditMarkOwner {
public:
    virtual ~TCodeEditMarkOwner() = default;
    virtual void InvalidateGutterLine(int line) = 0;
    virtual const TCodeEditMarkList& MarkList() const = 0;
};

// An object tied to a line of the editor, drawn as a glyph in the gutter. The ten bookmarks
// are marks with a BookmarkNumber of 0..9.
class TCodeEditMark {
public:
    explicit TCodeEditMark(TCodeEditMarkOwner* owner) : owner_(owner) {}
    virtual ~TCodeEditMark() = default;

    int Line() const { return line_; }
    virtual void SetLine(int value);
    int Column() const { return column_; }
    virtual void SetColumn(int value) { column_ = value; }
    int ImageIndex() const { return imageIndex_; }
    virtual void SetImageIndex(int value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool InternalImage() const { return internalImage_; }
    void SetInternalImage(bool value);
    int BookmarkNumber() const { return bookmarkNumber_; }
    void SetBookmarkNumber(int value) { bookmarkNumber_ = value; }
    bool IsBookmark() const { return bookmarkNumber_ >= 0; }
    // The owning editor while the mark is in its mark list; afterwards none.
    virtual TCodeEditMarkOwner* GetEditor();

private:
    void InvalidateLine(int line);

    int line_ = 0;
    int column_ = 0;
    int imageIndex_ = 0;
    TCodeEditMarkOwner* owner_ = nullptr;
    bool visible_ = false;
    bool internalImage_ = false;
    int bookmarkNumber_ = -1;
};

using TCodeEditMarks = std::array<TCodeEditMark*, 16>;

// The editor's marks in order; the list owns them.
class TCodeEditMarkList {
public:
    TCodeEditMarkList() = default;
    ~TCodeEditMarkList();
    TCodeEditMarkList(const TCodeEditMarkList&) = delete;
    TCodeEditMarkList& operator=(const TCodeEditMarkList&) = delete;

    // Takes the mark; returns its index.
    int Add(TCodeEditMark* mark);
    // Takes the mark out without destroying it; returns the index it had, -1 when absent.
    int Remove(TCodeEditMark* mark);
    // Takes the mark out and destroys it.
    void Delete(TCodeEditMark* mark);
    bool Contains(const TCodeEditMark* mark) const;
    TCodeEditMark* Items(int index) const { return marks_[static_cast<size_t>(index)]; }
    int Count() const { return static_cast<int>(marks_.size()); }
    bool Empty() const { return marks_.empty(); }
    // The marks of one line in list order, at most 16; the remaining slots are null.
    void GetMarksForLine(int line, TCodeEditMarks& out) const;
    // Destroys every mark without reporting a change.
    void Clear();

    // Lines first+1 .. first+count were removed: later marks move up, marks inside move to
    // first, marks at or above first stay.
    void ShiftForDeletedLines(int first, int count);
    // count lines were inserted at line first: marks from first on move down.
    void ShiftForInsertedLines(int first, int count);

    std::function<void()> OnChange;

private:
    std::vector<TCodeEditMark*> marks_;
};

}  // namespace tessel
