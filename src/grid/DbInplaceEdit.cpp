// The grid's cell editor.

#include "grid/DbInplaceEdit.h"

#include <QApplication>
#include <QKeyEvent>

#include "framework/data/DbDataSets.h"
#include "framework/data/Fields.h"
#include "grid/DbGrid.h"

namespace tessel {

TDbInplaceEdit::TDbInplaceEdit(TDbCustomGrid& grid) : QLineEdit(grid.viewport()), grid_(grid) {
    setFrame(false);
    setFont(grid.font());
    hide();
}

void TDbInplaceEdit::LoadPicture() {
    picture_ = {};
    usePicture_ = false;
    TField* field = grid_.SelectedField();
    if (!field) return;
    const TPictureMask mask = grid_.PictureMaskFor(*field);
    picture_.PictureMask = mask.Picture;
    picture_.AutoFill = mask.AutoFill;
    picture_.AllowInvalidExit = false;
    usePicture_ = !mask.Picture.empty() && mask.UseInGrid;
}

void TDbInplaceEdit::focusInEvent(QFocusEvent* event) {
    LoadPicture();
    QLineEdit::focusInEvent(event);
}

void TDbInplaceEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty()) {
        InsertTyped(event->commitString());
        event->accept();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

bool TDbInplaceEdit::InsertTyped(const QString& typed) {
    TField* field = grid_.SelectedField();
    if (!field) return false;
    bool modifiable = false;
    grid_.Guarded([&] { modifiable = grid_.CanEditModify(); });
    if (!modifiable) return false;
    for (QChar c : typed) {
        if (c.unicode() < 0x80 && !field->IsValidChar(static_cast<char>(c.unicode()))) {
            QApplication::beep();
            return false;
        }
        if (c == QLatin1Char('\n') && (field->DataType() == TFieldType::ftFloat)) return false;
    }
    LoadPicture();
    if (usePicture_) {
        int start = cursorPosition(), length = 0;
        if (hasSelectedText()) {
            start = selectionStart();
            length = static_cast<int>(selectedText().size());
        }
        QString candidate = text();
        candidate.replace(start, length, typed);
        std::string checked = candidate.toStdString();
        const TPicResult r =
            TDbPictureValidator(picture_.PictureMask, picture_.AutoFill).Check(checked, picture_.AutoFill);
        if (r == TPicResult::prError) {
            QApplication::beep();
            return false;
        }
        if (r != TPicResult::prSyntax) {
            const QString result = QString::fromStdString(checked);
            const int grown = static_cast<int>(result.size() - candidate.size());
            setText(result);
            setCursorPosition(start + static_cast<int>(typed.size()) + std::max(0, grown));
            return true;
        }
    }
    insert(typed);
    return true;
}

bool TDbInplaceEdit::event(QEvent* event) {
    // Tab moves between cells, not to the next control of the window.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void TDbInplaceEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool always = grid_.Options().Has(dgAlwaysShowEditor);
    bool toGrid = false;
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            toGrid = !(mods & Qt::AltModifier);
            break;
        case Qt::Key_Escape:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Up:
        case Qt::Key_Down:
            toGrid = true;
            break;
        case Qt::Key_Left:
        case Qt::Key_Home:
            toGrid = always && (ctrl || (cursorPosition() == 0 && !hasSelectedText()));
            break;
        case Qt::Key_Right:
        case Qt::Key_End:
            toGrid = always && (ctrl || (cursorPosition() == text().size() && !hasSelectedText()));
            break;
        case Qt::Key_Insert:
            if (mods == Qt::NoModifier) {
                toGrid = true;
            } else if (mods & Qt::ShiftModifier) {
                bool ok = false;
                grid_.Guarded([&] { ok = grid_.CanEditModify(); });
                if (!ok) return;
            }
            break;
        case Qt::Key_Delete:
            if (ctrl) {
                toGrid = true;
            } else {
                bool ok = false;
                grid_.Guarded([&] { ok = grid_.CanEditModify(); });
                if (!ok) return;
            }
            break;
        case Qt::Key_F2:
            deselect();
            setCursorPosition(static_cast<int>(text().size()));
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (grid_.KeyOptions().Has(dgEnterToTab)) {
                toGrid = true;
            } else {
                grid_.KeyPress(QStringLiteral("\r"), key);
                return;
            }
            break;
        default:
            break;
    }
    if (toGrid) {
        grid_.Guarded([&] { grid_.KeyDown(key, mods); });
        return;
    }
    if (key == Qt::Key_Backspace || (ctrl && (key == Qt::Key_V || key == Qt::Key_X))) {
        bool ok = false;
        grid_.Guarded([&] { ok = grid_.CanEditModify(); });
        if (!ok) return;
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QString typed = event->text();
    if (!ctrl && !typed.isEmpty() && typed.at(0).isPrint()) {
        InsertTyped(typed);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace tessel
