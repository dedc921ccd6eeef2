// The hourglass pointer.

#include "framework/widgets/Cursors.h"

#include <QApplication>
#include <QCursor>

namespace tessel {

THourglass::THourglass() {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

THourglass::~THourglass() {
    QApplication::restoreOverrideCursor();
}

}  // namespace tessel
