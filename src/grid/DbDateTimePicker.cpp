// The grid's date/time editor.

#include "grid/DbDateTimePicker.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

#include "engine/storage/Value.h"
#include "framework/data/DataSet.h"
#include "framework/data/DataSource.h"
#include "framework/data/Fields.h"
#include "framework/data/FormatSettings.h"
#include "grid/DbGrid.h"

namespace tessel {

namespace {

constexpr int kDateKind = 0, kTimeKind = 1, kDateTimeKind = 2;
constexpr int64_t kJulianDayBeforeDayOne = 1721425;  // 0001-01-01 is day number 1

QDate DateOf(int64_t dayNumber) {
    return QDate::fromJulianDay(dayNumber + kJulianDayBeforeDayOne);
}
int64_t DayNumberOf(QDate date) {
    return date.toJulianDay() - kJulianDayBeforeDayOne;
}

QString DateFormat() {
    const TFormatSettings& fs = FormatSettings();
    const QString day = fs.dateLeadingZeros ? "dd" : "d";
    const QString month = fs.dateLeadingZeros ? "MM" : "M";
    const QString sep = QString(QChar(fs.dateSeparator));
    switch (fs.dateOrder) {
        case TDateOrder::DMY:
            return day + sep + month + sep + "yyyy";
        case TDateOrder::YMD:
            return "yyyy" + sep + month + sep + day;
        default:
            return month + sep + day + sep + "yyyy";
    }
}

QString TimeFormat() {
    const TFormatSettings& fs = FormatSettings();
    const QString sep = QString(QChar(fs.timeSeparator));
    return fs.twelveHour ? "h" + sep + "mm" + sep + "ss AP" : "HH" + sep + "mm" + sep + "ss";
}

const QDateTime& Blank() {
    static const QDateTime blank(QDate(100, 1, 1), QTime(0, 0), Qt::UTC);
    return blank;
}

}  // namespace

TDbDateTimePicker::TDbDateTimePicker(TDbCustomGrid& grid) : QDateTimeEdit(grid.viewport()), grid_(grid) {
    setFrame(false);
    setFont(grid.font());
    setTimeSpec(Qt::UTC);
    setMinimumDateTime(Blank());
    setSpecialValueText(QStringLiteral(" "));
    setButtonSymbols(QAbstractSpinBox::NoButtons);
    setKeyboardTracking(true);
    hide();
}

void TDbDateTimePicker::Bind(TDataSource* source, TField* field) {
    dataSource_ = source;
    dataField_ = field ? field->FieldName() : std::string();
    int kind = kDateTimeKind;
    if (field && field->DataType() == TFieldType::ftDate) kind = kDateKind;
    if (field && field->DataType() == TFieldType::ftTime) kind = kTimeKind;
    const QString format = kind == kDateKind   ? DateFormat()
                           : kind == kTimeKind ? TimeFormat()
                                               : DateFormat() + " " + TimeFormat();
    kind_ = kind;
    loading_ = true;
    if (displayFormat() != format) setDisplayFormat(format);
    setCalendarPopup(kind != kTimeKind);
    loading_ = false;
}

TField* TDbDateTimePicker::Field() const {
    TDataSet* ds = dataSource_ ? dataSource_->DataSet() : nullptr;
    return ds && ds->Active() && !dataField_.empty() ? ds->FindField(dataField_) : nullptr;
}

void TDbDateTimePicker::LoadFromField() {
    QDateTime value = Blank();
    if (TField* f = Field(); f && !f->IsNull()) {
        const engine::Value& v = f->Value();
        switch (v.kind) {
            case engine::ValueKind::Date:
                value = QDateTime(DateOf(v.i), QTime(0, 0), Qt::UTC);
                break;
            case engine::ValueKind::Time:
                value = QDateTime(QDate(2000, 1, 1), QTime::fromMSecsSinceStartOfDay(static_cast<int>(v.i)), Qt::UTC);
                break;
            case engine::ValueKind::Timestamp: {
                const int64_t day = v.i / engine::kMsPerDay, ms = v.i % engine::kMsPerDay;
                value = QDateTime(DateOf(day), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)), Qt::UTC);
                break;
            }
            default:
                break;
        }
    }
    loading_ = true;
    setDateTime(value);
    loading_ = false;
}

std::string TDbDateTimePicker::FieldText() const {
    const QDateTime value = dateTime();
    if (value == Blank()) return std::string();
    const int64_t day = DayNumberOf(value.date());
    const int64_t ms = value.time().msecsSinceStartOfDay();
    switch (kind_) {
        case kDateKind:
            return DateToStr(day);
        case kTimeKind:
            return TimeToStr(ms);
        default:
            return DateTimeToStr(day * engine::kMsPerDay + ms);
    }
}

void TDbDateTimePicker::DropDown() {
    if (!calendarPopup() || isReadOnly()) return;
    // The calendar drops down from the arrow part of the control, as for a click there.
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QPoint arrow = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this).center();
    QMouseEvent press(QEvent::MouseButtonPress, arrow, mapToGlobal(arrow), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QDateTimeEdit::mousePressEvent(&press);
}

void TDbDateTimePicker::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers();
    switch (event->key()) {
        case Qt::Key_Down:
            if (mods & Qt::AltModifier) {
                DropDown();
                return;
            }
            [[fallthrough]];
        case Qt::Key_Up:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // Record and cell moves belong to the grid; the grid takes the focus back.
            grid_.DateTimePickerKey(event->key(), mods);
            return;
        default:
            QDateTimeEdit::keyPressEvent(event);
    }
}

void TDbDateTimePicker::focusOutEvent(QFocusEvent* event) {
    QDateTimeEdit::focusOutEvent(event);
    grid_.PlaceDateTimePicker();
}

}  // namespace tessel
