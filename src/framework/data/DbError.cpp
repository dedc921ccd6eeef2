// The messages of the data-set framework's failures.

#include "framework/data/DbError.h"

namespace tessel {

std::string PrefixedMessage(const std::string& message, const std::string& name) {
    return name.empty() ? message : name + ": " + message;
}

void DatabaseError(const std::string& message, const std::string& name) {
    throw EDatabaseError(PrefixedMessage(message, name));
}

}  // namespace tessel
