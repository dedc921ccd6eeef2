#pragma once

// The cell editor of the answer grid: a line edit over the current cell that hands the grid
// its navigation keys, refuses characters the field or the cell's picture does not take, and
// puts the data set into edit state with the first accepted change.

#include <QLineEdit>
#include <string>

#include "framework/data/PictureValidator.h"

namespace tessel {

class TDbCustomGrid;
class TField;

// A field's picture as the editor uses it.
struct TDbPicture {
    std::string PictureMask;
    bool AutoFill = false;
    bool AllowInvalidExit = false;
};

class TDbInplaceEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TDbInplaceEdit(TDbCustomGrid& grid);

    TDbPicture& Picture() { return picture_; }
    // Picture checks apply to this field while typing.
    bool UsePictureMask() const { return usePicture_; }
    // Looks the current field's picture up (the data set's list, else the grid's).
    void LoadPicture();
    // Inserts typed text through the field and the picture; false: refused.
    bool InsertTyped(const QString& typed);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    TDbCustomGrid& grid_;
    TDbPicture picture_;
    bool usePicture_ = false;
};

}  // namespace tessel
