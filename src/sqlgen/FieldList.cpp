// The field list of the table-to-SQL generator.

#include "sqlgen/FieldList.h"

#include "framework/data/DbError.h"

namespace tessel {

const TFieldItem& TFieldList::Items(int index) const {
    if (index < 0 || index >= Count()) DatabaseError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)];
}

TFieldItem& TFieldList::AddField(const std::string& name, uint16_t fieldType, uint16_t subType, uint16_t units1,
                                 uint16_t units2) {
    items_.push_back({name.substr(0, 31), fieldType, subType, units1, units2});
    return items_.back();
}

void TFieldList::Clear() {
    while (!items_.empty()) items_.pop_back();
}

}  // namespace tessel
