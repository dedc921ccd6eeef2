// The answer grid's keys, mouse, cell editor and memo window.

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <memory>

#include "base/ErrorHandler.h"
#include "base/Exceptions.h"
#include "framework/data/DbDataSets.h"
#include "framework/data/Fields.h"
#include "framework/data/FormatSettings.h"
#include "grid/DbDateTimePicker.h"
#include "grid/DbGrid.h"
#include "grid/DbGridAccessible.h"
#include "grid/DbInplaceEdit.h"
#include "grid/DbIntl.h"
#include "grid/DbMemoDialog.h"

namespace tessel {

namespace {

bool EditState(TDataSetState s) {
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

const char* const kInvalidInput = "Invalid input value.  Use escape key to abandon changes";

}  // namespace

// ------------------------------------------------------------------------- messages

void TDbCustomGrid::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TDbCustomGrid::ShowError(const std::string& text) {
    if (OnShowError)
        OnShowError(text);
    else
        QMessageBox::critical(this, QApplication::applicationName(), QString::fromStdString(ErrorDisplayText(text)));
}

bool TDbCustomGrid::Confirm(const std::string& text, bool yesNo) {
    if (OnConfirm) return OnConfirm(text, yesNo);
    const auto yes = yesNo ? QMessageBox::Yes : QMessageBox::Ok;
    const auto no = yesNo ? QMessageBox::No : QMessageBox::Cancel;
    return QMessageBox::question(this, QApplication::applicationName(), QString::fromStdString(text), yes | no, no) ==
           yes;
}

// ---------------------------------------------------------------------------- editor

QWidget* TDbCustomGrid::CreateEditor() {
    return new TDbInplaceEdit(*this);
}

bool TDbCustomGrid::IsMemoCell(TField* field) const {
    if (!field || !field->IsBlob()) return false;
    const TFieldType t = field->DataType();
    if (t == TFieldType::ftMemo || t == TFieldType::ftOraClob || t == TFieldType::ftOraBlob) return true;
    if (TDbDataSetExtension* ext = DbExtension(&field->DataSet()))
        for (int i = 0; i < ext->ControlType.Count(); ++i)
            if (SameText(ext->ControlType.Get(i), field->FieldName() + ";RichEdit") ||
                ext->ControlType.Get(i).rfind(field->FieldName() + ";RichEdit", 0) == 0)
                return true;
    return false;
}

bool TDbCustomGrid::CanEditShow() const {
    if (!options_.Has(dgEditing) || options_.Has(dgRowSelect) || !dataLink_->Active()) return false;
    if (!options_.Has(dgAlwaysShowEditor) && !hasFocus() && !(InplaceEditor() && InplaceEditor()->hasFocus()))
        return false;
    TField* f = SelectedField();
    if (!f || IsMemoCell(f) || f->IsBlob()) return false;
    if (!CacheColInfo(Col()).ControlType.empty() || IsDateTimeCell(f)) return false;
    return TCustomGrid::CanEditShow();
}

// ------------------------------------------------------------------- date/time editor

bool TDbCustomGrid::IsDateTimeCell(TField* field) const {
    if (!field || editControlOptions_.Has(ecoDisableDateTimePicker)) return false;
    const TFieldType t = field->DataType();
    return t == TFieldType::ftDate || t == TFieldType::ftTime || t == TFieldType::ftDateTime;
}

bool TDbCustomGrid::DateTimePickerFocused() const {
    if (!dateTimePicker_) return false;
    // Its drop-down calendar counts as the editor.
    const QWidget* popup = QApplication::activePopupWidget();
    return dateTimePicker_->hasFocus() || (popup && popup->parentWidget() == dateTimePicker_);
}

void TDbCustomGrid::HideCustomControl() {
    if (!dateTimePicker_ || dateTimePicker_->isHidden()) return;
    if (dateTimePicker_->hasFocus()) setFocus();
    dateTimePicker_->hide();
}

void TDbCustomGrid::PlaceDateTimePicker() {
    if (rebuilding_) return;
    TField* f = dataLink_->Active() ? SelectedField() : nullptr;
    QRect cell;
    if (f && IsDateTimeCell(f) && !options_.Has(dgRowSelect) && (hasFocus() || DateTimePickerFocused()))
        cell = CellRect(Col(), Row());
    if (cell.isEmpty()) {
        HideCustomControl();
        return;
    }
    if (!dateTimePicker_) {
        dateTimePicker_ = new TDbDateTimePicker(*this);
        connect(dateTimePicker_, &QDateTimeEdit::dateTimeChanged, this, [this] { DateTimePickerChanged(); });
        if (OnCreateDateTimePicker) OnCreateDateTimePicker(*this);
    }
    TDbDateTimePicker& picker = *dateTimePicker_;
    picker.Bind(DataSource(), f);
    picker.setReadOnly(readOnly_ || !options_.Has(dgEditing) || dataLink_->ReadOnly() || f->ReadOnly() ||
                       !f->CanModify() || Columns(Col() - indicatorOffset_).ReadOnly());
    // A value being typed stays while it still matches the field.
    if (!picker.hasFocus() || f->EditText() != picker.FieldText()) picker.LoadFromField();
    picker.setGeometry(cell);
    picker.show();
}

void TDbCustomGrid::DateTimePickerChanged() {
    TDbDateTimePicker* picker = dateTimePicker_;
    if (!picker || picker->Loading() || picker->isReadOnly()) return;
    TField* f = picker->Field();
    if (!f || f != SelectedField()) return;
    const std::string text = picker->FieldText();
    if (text == f->EditText()) return;
    bool written = false;
    Guarded([&] {
        if (!CanEditModify()) return;
        // The value goes in as text, converted and checked by the data set; the cell
        // editor's text plays no part.
        dataLink_->SetModified(false);
        f->SetText(text);
        written = true;
    });
    dataLink_->SetModified(false);
    if (!written && dateTimePicker_) dateTimePicker_->LoadFromField();
}

void TDbCustomGrid::DateTimePickerKey(int key, Qt::KeyboardModifiers modifiers) {
    setFocus();
    bool used = false;
    Guarded([&] { used = KeyDown(key, modifiers); });
    if (!used && (key == Qt::Key_Return || key == Qt::Key_Enter)) KeyPress(QStringLiteral("\r"), key);
}

std::string TDbCustomGrid::EditorText() const {
    auto* edit = qobject_cast<TDbInplaceEdit*>(InplaceEditor());
    return edit ? edit->text().toStdString() : std::string();
}

void TDbCustomGrid::LoadEditorText() {
    auto* edit = qobject_cast<TDbInplaceEdit*>(InplaceEditor());
    if (!edit) return;
    TField* f = SelectedField();
    edit->setMaxLength(f && f->DataType() == TFieldType::ftString && f->Size() > 0 ? f->Size() : 32767);
    edit->setText(f ? QString::fromStdString(f->EditText()) : QString());
    edit->selectAll();
    edit->LoadPicture();
    if (hasFocus()) edit->setFocus();
}

TPictureMask TDbCustomGrid::PictureMaskFor(TField& field) const {
    TDbDataSetExtension* ext = DbExtension(&field.DataSet());
    if (pictureMaskFromDataSet_ && ext) return ext->PictureMaskOf(field.FieldName());
    return FindPictureMask(pictureMasks_, field.FieldName());
}

void TDbCustomGrid::WriteEditorText() {
    TField* f = SelectedField();
    if (!f) return;
    const std::string text = EditorText();
    const TPictureMask mask = PictureMaskFor(*f);
    if (!mask.Picture.empty() && mask.UseInGrid && !TDbPictureValidator(mask.Picture, false).IsValid(text)) {
        TDbDataSetExtension* ext = DbExtension(&f->DataSet());
        if (ext && ext->OnInvalidValue) {
            ext->OnInvalidValue(f->DataSet(), *f);
            throw EAbort();
        }
        std::string message = kInvalidInput;
        bool show = true;
        if (DbIntl().OnValidationErrorUsingMask) DbIntl().OnValidationErrorUsingMask(*f, message, show);
        if (!show) throw EAbort();
        QApplication::beep();
        throw EDbGridError(message);
    }
    const std::string previous = f->EditText();
    if (!WriteFormattedNumber(*f, text)) f->SetText(text);
    if (text != previous && OnFieldChanged) OnFieldChanged(*this, f);
}

bool TDbCustomGrid::WriteFormattedNumber(TField& field, const std::string& text) {
    // Integer and floating-point fields shown through a display format read the text the way
    // the cells write it ("$1,234.50", "(12)"); anything else is the data set's to convert.
    auto* number = dynamic_cast<TNumericField*>(&field);
    const bool integer = dynamic_cast<TIntegerField*>(&field) != nullptr;
    if (!number || (!integer && !dynamic_cast<TFloatField*>(&field)) || number->DisplayFormat().empty()) return false;
    if (TrimBlanks(text).empty()) return false;
    double v = 0;
    if (!TryStrToFloatFormatted(text, number->DisplayFormat(), v)) return false;
    if (integer && v != std::floor(v)) return false;
    field.SetAsFloat(v);
    return true;
}

bool TDbCustomGrid::CanEditModify() {
    TDataSet* ds = dataLink_->DataSet();
    if (!dataLink_->Active() || !ds) return false;
    if (ds->IsEmpty() && ds->State() == TDataSetState::dsBrowse && !keyOptions_.Has(dgAllowInsert)) return false;
    if (readOnly_ || dataLink_->ReadOnly() || dataLink_->MapCount() == 0) return false;
    TField* f = SelectedField();
    if (!f) return false;
    if (!ds->CanModify()) {
        if (OnEditRefused) OnEditRefused(*this);
        return false;
    }
    const bool modifiable = f->CanModify() || (f->Calculated() && editCalculated_ && !f->ReadOnly());
    if (!modifiable) return false;
    if (Columns(Col() - indicatorOffset_).ReadOnly()) return false;
    if (!dataLink_->Editing() && !dataLink_->Edit()) return false;
    dataLink_->SetModified(true);
    return true;
}

// --------------------------------------------------------------------------- moving

void TDbCustomGrid::MoveToColumn(int dataCol) {
    if (dataLink_->Active() && dataLink_->Modified()) dataLink_->UpdateRecord();
    const int count = dataLink_->MapCount();
    if (count == 0) return;
    int n = std::clamp(dataCol, 0, count - 1);
    if (!options_.Has(dgFixedEditable)) n = std::max(n, std::min(FixedCols() - indicatorOffset_, count - 1));
    const int current = Col() - indicatorOffset_;
    if (n == current) return;
    if (OnColExit) OnColExit(*this);
    if (Col() - indicatorOffset_ != current) return;
    HideEditor();
    MoveCurrent(n + indicatorOffset_, Row(), false);
    lastDataCol_ = n;
    if (options_.Has(dgAlwaysShowEditor)) ShowEditor();
    if (OnColEnter) OnColEnter(*this);
    PlaceDateTimePicker();
    NotifyDbGridCurrentCellChanged(*this);
    if (OnCellChanged) OnCellChanged(*this);
}

void TDbCustomGrid::NextRecord(bool append) {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds) return;
    if (ds->State() == TDataSetState::dsInsert && !ds->Modified() && !dataLink_->Modified()) {
        ds->Cancel();
        return;
    }
    ds->MoveBy(1);
    if (append && ds->Eof() && ds->CanModify() && !readOnly_ && options_.Has(dgEditing) &&
        keyOptions_.Has(dgAllowInsert))
        ds->Append();
}

void TDbCustomGrid::PriorRecord() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds) return;
    if (ds->State() == TDataSetState::dsInsert && !ds->Modified() && !dataLink_->Modified() &&
        dataLink_->ActiveRecord() == dataLink_->RecordCount() - 1) {
        ds->Cancel();
        return;
    }
    ds->MoveBy(-1);
}

void TDbCustomGrid::TabMove(bool back) {
    const int count = dataLink_->MapCount();
    if (count == 0) return;
    const int first = options_.Has(dgFixedEditable) ? 0 : std::min(FixedCols() - indicatorOffset_, count - 1);
    bool anyStop = false;
    for (int c = first; c < count; ++c) anyStop |= TabStop(c + indicatorOffset_);
    if (!anyStop) {
        back ? PriorRecord() : NextRecord(true);
        return;
    }
    int c = Col() - indicatorOffset_;
    for (int steps = 0; steps <= 2 * count + 1; ++steps) {
        c += back ? -1 : 1;
        if (c >= count) {
            if (options_.Has(dgTabExitsOnLastCol)) {
                focusNextChild();
                return;
            }
            NextRecord(true);
            c = first;
        } else if (c < first) {
            if (options_.Has(dgTabExitsOnLastCol)) {
                focusPreviousChild();
                return;
            }
            const TBookmark before = dataLink_->DataSet()->GetBookmark();
            PriorRecord();
            if (dataLink_->DataSet()->GetBookmark() == before) return;  // no record before
            c = count - 1;
        }
        if (TabStop(c + indicatorOffset_)) {
            MoveToColumn(c);
            return;
        }
    }
}

void TDbCustomGrid::CancelEdit() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds) return;
    if (EditorMode() && dataLink_->Modified()) {
        dataLink_->SetModified(false);
        InvalidateRow(Row());
        LoadEditorText();
    } else if (EditState(ds->State())) {
        if (!ds->Modified() || Confirm(DbIntl().UserMessages.dbGridDiscardChanges, true)) ds->Cancel();
    }
    if (!options_.Has(dgAlwaysShowEditor)) HideEditor();
}

void TDbCustomGrid::DeleteRecord() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || !keyOptions_.Has(dgAllowDelete) || readOnly_ || !options_.Has(dgEditing)) return;
    if (!ds->CanModify()) {
        if (OnEditRefused) OnEditRefused(*this);
        return;
    }
    if (ds->IsEmpty()) return;
    if (options_.Has(dgConfirmDelete) && !Confirm("Delete record?", false)) return;
    ds->Delete();
    HideEditor();
}

void TDbCustomGrid::InsertRecord() {
    TDataSet* ds = dataLink_->DataSet();
    if (!ds || readOnly_ || !options_.Has(dgEditing) || !keyOptions_.Has(dgAllowInsert)) return;
    ds->Insert();
}

bool TDbCustomGrid::KeyDown(int key, Qt::KeyboardModifiers modifiers) {
    TDataSet* ds = dataLink_->DataSet();
    if (!dataLink_->Active() || !ds) return false;
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool rowSelect = options_.Has(dgRowSelect);
    const bool single = ds->FieldCount() == 1;
    const int dataCol = Col() - indicatorOffset_;
    const int visible = std::max(1, VisibleRowCount());
    if (InplaceEditor() && InplaceEditor()->hasFocus() && key != Qt::Key_Escape) setFocus();
    if (dateTimePicker_ && dateTimePicker_->isVisible() && IsDateTimeCell(SelectedField())) {
        // F2 hands the keys to the date/time editor, Alt+Down opens its calendar.
        if (key == Qt::Key_F2) {
            dateTimePicker_->setFocus();
            return true;
        }
        if (key == Qt::Key_Down && (modifiers & Qt::AltModifier)) {
            dateTimePicker_->setFocus();
            dateTimePicker_->DropDown();
            return true;
        }
    }
    switch (key) {
        case Qt::Key_Up:
            if (ctrl)
                ds->MoveBy(-dataLink_->ActiveRecord());
            else
                PriorRecord();
            return true;
        case Qt::Key_Down:
            if (ctrl)
                ds->MoveBy(dataLink_->RecordCount() - 1 - dataLink_->ActiveRecord());
            else
                NextRecord(true);
            return true;
        case Qt::Key_PageUp:
            ds->MoveBy(ctrl ? -dataLink_->ActiveRecord() : -visible);
            return true;
        case Qt::Key_PageDown:
            ds->MoveBy(ctrl ? dataLink_->RecordCount() - 1 - dataLink_->ActiveRecord() : visible);
            return true;
        case Qt::Key_Home:
            if (ctrl || single || rowSelect)
                ds->First();
            else
                MoveToColumn(0);
            return true;
        case Qt::Key_End:
            if (ctrl || single || rowSelect)
                ds->Last();
            else
                MoveToColumn(dataLink_->MapCount() - 1);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            bool right = key == Qt::Key_Right;
            if (layoutDirection() == Qt::RightToLeft && !ctrl) right = !right;
            if (ctrl)
                MoveToColumn(right ? dataLink_->MapCount() - 1 : 0);
            else if (rowSelect)
                right ? NextRecord(false) : PriorRecord();
            else if (right && options_.Has(dgFixedEditable) && Col() == FixedCols() - 1)
                MoveToColumn(LeftCol() - indicatorOffset_);
            else
                MoveToColumn(dataCol + (right ? 1 : -1));
            return true;
        }
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (modifiers & Qt::AltModifier) return false;
            TabMove(shift || key == Qt::Key_Backtab);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (keyOptions_.Has(dgEnterToTab)) {
                TabMove(shift);
                return true;
            }
            return false;
        case Qt::Key_Escape: {
            // The cell editor that had the keys goes: the grid takes them back, with its
            // highlight, so Down and Insert go on working without a click.
            const bool editorHadFocus = InplaceEditor() && InplaceEditor()->hasFocus();
            CancelEdit();
            if (editorHadFocus && !InplaceEditor()->isVisible()) setFocus();
            return true;
        }
        case Qt::Key_Insert:
            if (modifiers == Qt::NoModifier) InsertRecord();
            return true;
        case Qt::Key_Delete:
            if (ctrl) {
                DeleteRecord();
                return true;
            }
            if (TField* f = SelectedField(); f && !IsMemoCell(f) && options_.Has(dgEditing)) {
                ShowEditor();
                if (auto* edit = qobject_cast<TDbInplaceEdit*>(InplaceEditor());
                    edit && EditorMode() && CanEditModify())
                    edit->del();
            }
            return true;
        case Qt::Key_F2: {
            TField* f = SelectedField();
            if (f && IsMemoCell(f))
                ShowMemo();
            else if (f && !f->IsBlob()) {
                ShowEditor();
                if (auto* edit = qobject_cast<TDbInplaceEdit*>(InplaceEditor()); edit && EditorMode()) {
                    edit->deselect();
                    edit->setCursorPosition(static_cast<int>(edit->text().size()));
                }
            }
            return true;
        }
        case Qt::Key_Space:
            if (options_.Has(dgRowSelect) && options_.Has(dgMultiSelect) && !(modifiers & Qt::ControlModifier)) {
                ToggleRecordSelection();
                return true;
            }
            return false;
        default:
            return false;
    }
}

void TDbCustomGrid::KeyPress(const QString& text, int key) {
    if (!dataLink_->Active()) return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (keyOptions_.Has(dgEnterToTab)) {
            Guarded([&] { TabMove(false); });
            return;
        }
        if (options_.Has(dgAlwaysShowEditor)) return;
        Guarded([&] {
            if (dataLink_->Modified()) dataLink_->UpdateRecord();
            if (EditorMode()) {
                HideEditor();
                setFocus();
            } else {
                ShowEditor();
            }
        });
        return;
    }
    if (!options_.Has(dgEditing)) return;
    TField* f = SelectedField();
    if (!f || IsMemoCell(f)) return;
    if (IsDateTimeCell(f)) {
        // Typing in a date/time cell goes to the date/time editor.
        if (dateTimePicker_ && dateTimePicker_->isVisible()) {
            dateTimePicker_->setFocus();
            QKeyEvent typed(QEvent::KeyPress, key, Qt::NoModifier, text);
            QApplication::sendEvent(dateTimePicker_, &typed);
        }
        return;
    }
    const bool backspace = key == Qt::Key_Backspace;
    if (!backspace && (text.isEmpty() || !text.at(0).isPrint())) return;
    if (!EditorMode()) ShowEditor();
    auto* edit = qobject_cast<TDbInplaceEdit*>(InplaceEditor());
    if (!edit || !EditorMode()) return;
    edit->setFocus();
    if (backspace) {
        bool ok = false;
        Guarded([&] { ok = CanEditModify(); });
        if (ok) edit->backspace();
    } else {
        edit->InsertTyped(text);
    }
}

// ---------------------------------------------------------------------------- events

void TDbCustomGrid::keyPressEvent(QKeyEvent* event) {
    bool used = false;
    Guarded([&] { used = KeyDown(event->key(), event->modifiers()); });
    if (used) return;
    const QString text = event->text();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Backspace ||
        (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier))) {
        KeyPress(text, event->key());
        return;
    }
    TCustomGrid::keyPressEvent(event);
}

void TDbCustomGrid::mousePressEvent(QMouseEvent* event) {
    const QPoint cell = MouseCoord(event->position().toPoint());
    if (TitleMousePress(event, cell)) return;
    TDataSet* ds = dataLink_->DataSet();
    if (!dataLink_->Active() || !ds || cell.x() < 0 || cell.y() < TitleOffset()) {
        TCustomGrid::mousePressEvent(event);
        return;
    }
    Guarded([&] {
        TField* f = GetColField(cell.x());
        const bool onCurrent = cell.x() == Col() && cell.y() == Row();
        if (onCurrent && f && !IsMemoCell(f) && event->button() != Qt::RightButton &&
            !(options_.Has(dgMultiSelect) && (event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)))) {
            setFocus();
            ShowEditor();
            return;
        }
        setFocus();
        if (!options_.Has(dgRowSelect) && cell.x() >= indicatorOffset_ &&
            (cell.x() >= FixedCols() || options_.Has(dgFixedEditable)))
            MoveToColumn(cell.x() - indicatorOffset_);
        const int distance = cell.y() - Row();
        if (distance != 0) ds->MoveBy(distance);
        InvalidateCell(Col(), Row());
        if (options_.Has(dgMultiSelect)) MultiSelectClick(event->modifiers(), event->button());
    });
}

void TDbCustomGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const QPoint cell = MouseCoord(p);
    if (event->button() == Qt::LeftButton && options_.Has(dgDblClickColSizing) && dataLink_->Active()) {
        const int divider = TitleDividerAt(p, 8, 0);
        if (divider >= 0) {
            Guarded([&] { AutoFitColumn(divider); });
            return;
        }
    }
    if (event->button() == Qt::LeftButton && cell.y() >= TitleOffset() && cell == QPoint(Col(), Row()))
        if (TField* f = GetColField(cell.x()); f && IsMemoCell(f)) {
            Guarded([&] { ShowMemo(); });
            return;
        }
    mousePressEvent(event);
}

void TDbCustomGrid::wheelEvent(QWheelEvent* event) {
    TDataSet* ds = dataLink_->DataSet();
    if (!dataLink_->Active() || !ds) return;
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    Guarded([&] { ds->MoveBy(delta < 0 ? 1 : -1); });
    event->accept();
}

void TDbCustomGrid::focusInEvent(QFocusEvent* event) {
    focused_ = true;
    InstallKeyFilter(true);
    if (paintOptions_.ActiveRecordColor.isValid() && !options_.Has(dgAlwaysShowSelection)) InvalidateRow(Row());
    TCustomGrid::focusInEvent(event);
    PlaceDateTimePicker();
}

void TDbCustomGrid::focusOutEvent(QFocusEvent* event) {
    // Focus moving into the grid's own editor is no exit.
    QWidget* now = QApplication::focusWidget();
    if (now && ((InplaceEditor() && now == InplaceEditor()) || now == dateTimePicker_)) {
        TCustomGrid::focusOutEvent(event);
        return;
    }
    TDataSet* ds = dataLink_->DataSet();
    Guarded([&] {
        if (ds && dataLink_->Active()) {
            if (options_.Has(dgCancelOnExit) && options_.Has(dgEditing) && !readOnly_ &&
                ds->State() == TDataSetState::dsInsert && !ds->Modified() && !dataLink_->Modified())
                ds->Cancel();
            else if (dataLink_->Modified())
                dataLink_->UpdateRecord();
        }
    });
    if (!options_.Has(dgAlwaysShowSelection)) InvalidateRow(Row());
    InstallKeyFilter(false);
    focused_ = false;
    HideCustomControl();
    TCustomGrid::focusOutEvent(event);
}

// ----------------------------------------------------------------------------- memo

void TDbCustomGrid::ShowMemo() {
    if (memoAttributes_.Has(mDisableDialog)) return;
    TField* f = SelectedField();
    if (!f) return;
    TDbMemoDialog memo;
    memo.DataSource = DataSource();
    memo.DataField = f->FieldName();
    memo.MemoAttributes = memoAttributes_;
    std::string caption = f->DisplayLabel();
    for (char& c : caption)
        if (c == '~') c = ' ';
    memo.Caption = caption;
    memo.Font = font();
    memo.DlgLeft = -1;
    if (!options_.Has(dgEditing) || readOnly_ || f->ReadOnly() || !f->CanModify())
        memo.MemoAttributes.Include(mViewOnly);
    if (OnMemoOpen) OnMemoOpen(*this, f);
    bool ok = false;
    if (OnExecuteMemo) {
        ok = OnExecuteMemo(memo);
    } else {
        ok = memo.Execute(this);
    }
    (void)ok;
    if (OnMemoClose) OnMemoClose(*this, f);
    InvalidateCell(Col(), Row());
    HideEditor();
}

}  // namespace tessel
