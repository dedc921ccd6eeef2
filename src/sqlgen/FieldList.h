#pragma once

// The fields of a table as the generator reads them: one engine field descriptor each.

#include <cstdint>
#include <string>
#include <vector>

namespace tessel {

struct TFieldItem {
    std::string Name;
    uint16_t FieldType = 0;
    uint16_t SubType = 0;
    uint16_t Units1 = 0;     // the size
    uint16_t Units2 = 0;     // the decimal places
    std::string StoredName;  // the name in the table when SQL knows the field by another, else empty
};

class TFieldList {
public:
    explicit TFieldList(void* owner = nullptr) : owner_(owner) {}
    ~TFieldList() { Clear(); }

    void* Owner() const { return owner_; }
    int Count() const { return static_cast<int>(items_.size()); }
    const TFieldItem& Items(int index) const;
    TFieldItem& AddField(const std::string& name, uint16_t fieldType, uint16_t subType, uint16_t units1,
                         uint16_t units2);
    void Reserve(int n) { items_.reserve(static_cast<size_t>(n > 0 ? n : 0)); }
    // Frees the items from the last to the first.
    void Clear();

private:
    void* owner_;
    std::vector<TFieldItem> items_;
};

}  // namespace tessel
