#pragma once

// String lists: the list-of-lines interface and its sortable implementation.

#include <iosfwd>
#include <string>
#include <vector>

namespace tessel {

// The shared list-of-lines interface. Lines are UTF-8 strings; each line may carry an object
// pointer that the list does not own. Derived lists provide storage through the Get/Put family;
// the operations built on top (Assign, Text, AddStrings, ...) reach storage only through them.
class TStrings {
public:
    virtual ~TStrings() = default;

    virtual int Count() const = 0;
    virtual std::string Get(int index) const = 0;
    virtual void* GetObject(int index) const = 0;
    virtual void Put(int index, const std::string& s) = 0;
    virtual void PutObject(int index, void* object) = 0;
    virtual void Insert(int index, const std::string& s) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;

    virtual int Add(const std::string& s);
    int AddObject(const std::string& s, void* object);
    virtual void AddStrings(const TStrings& source);
    // Replaces every line (and its object) with those of the source, inside one update bracket.
    virtual void Assign(const TStrings& source);
    // Every line followed by CR LF.
    std::string Text() const;
    // Replaces the lines with those of the text, cut at CR LF, lone CR or lone LF.
    void SetText(const std::string& text);
    int IndexOf(const std::string& s) const;
    std::vector<std::string> ToVector() const;

    virtual void LoadFromFile(const std::string& fileName);
    virtual void SaveToFile(const std::string& fileName) const;
    virtual void LoadFromStream(std::istream& stream);
    virtual void SaveToStream(std::ostream& stream) const;

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

protected:
    // Called when the update counter goes 0 -> 1 and back to 0.
    virtual void SetUpdateState(bool /*updating*/) {}

private:
    int updateCount_ = 0;
};

// Scoped begin/end update.
class TStringsUpdate {
public:
    explicit TStringsUpdate(TStrings& strings) : strings_(strings) { strings_.BeginUpdate(); }
    ~TStringsUpdate() { strings_.EndUpdate(); }
    TStringsUpdate(const TStringsUpdate&) = delete;
    TStringsUpdate& operator=(const TStringsUpdate&) = delete;

private:
    TStrings& strings_;
};

// Plain in-memory string list. Out-of-range indexes raise "List index out of bounds (%d)".
class TStringList : public TStrings {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> lines);

    int Count() const override { return static_cast<int>(items_.size()); }
    std::string Get(int index) const override;
    void* GetObject(int index) const override;
    void Put(int index, const std::string& s) override;
    void PutObject(int index, void* object) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;

    bool Sorted() const { return sorted_; }
    // A sorted list keeps its lines in case-insensitive order; Add inserts at the sorted place.
    void SetSorted(bool sorted);
    int Add(const std::string& s) override;
    void Sort();

private:
    struct Item {
        std::string text;
        void* object = nullptr;
    };
    void CheckIndex(int index, int limit) const;
    std::vector<Item> items_;
    bool sorted_ = false;
};

// Case-insensitive (ASCII) comparison used by sorted lists and name lookups.
int CompareText(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);

}  // namespace tessel
