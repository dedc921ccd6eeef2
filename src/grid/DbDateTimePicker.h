#pragma once

// The date/time editor of the answer grid: a date and time control with a drop-down calendar,
// bound to one field of the grid's data source, that the grid places over the current cell of
// a date, time or date-time column. Its value goes into the field as text, which the data set
// converts and checks like any typed text.

#include <QDateTimeEdit>
#include <string>

namespace tessel {

class TDbCustomGrid;
class TDataSource;
class TField;

class TDbDateTimePicker : public QDateTimeEdit {
    Q_OBJECT

public:
    explicit TDbDateTimePicker(TDbCustomGrid& grid);

    TDataSource* DataSource() const { return dataSource_; }
    const std::string& DataField() const { return dataField_; }
    // Binds the control to `field` of `source` and sets its form for the field's kind.
    void Bind(TDataSource* source, TField* field);
    // The bound field of the data source's data set, or nullptr.
    TField* Field() const;
    // Shows the field's value (a null value shows blank); emits no change.
    void LoadFromField();
    // The shown value in the field's own text form; empty for blank.
    std::string FieldText() const;
    // Opens the drop-down calendar (date and date-time fields).
    void DropDown();
    bool Loading() const { return loading_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TDbCustomGrid& grid_;
    TDataSource* dataSource_ = nullptr;
    std::string dataField_;
    int kind_ = 0;  // 0 date, 1 time, 2 date and time
    bool loading_ = false;
};

}  // namespace tessel
