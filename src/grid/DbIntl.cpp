// The grid's texts, kept in one place.

#include "grid/DbIntl.h"

namespace tessel {

TDbIntl& DbIntl() {
    static TDbIntl intl;
    return intl;
}

}  // namespace tessel
