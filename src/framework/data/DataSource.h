#pragma once

// A data source joins a data set to the controls that show it; each control holds a data
// link on the source and receives the data set's notifications through the link's hooks.

#include <functional>
#include <vector>

#include "framework/data/DataSet.h"

namespace tessel {

class TDataLink;

class TDataSource {
public:
    TDataSource() = default;
    explicit TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);
    // A disabled source shows its links an inactive data set.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Controls may put the data set into edit state when the person starts typing.
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
    // The data set's state as the links see it (inactive when disabled or without one).
    TDataSetState State() const { return state_; }
    // Puts the data set into edit state when AutoEdit allows and it is browsing.
    void Edit();

    std::function<void(TDataSource&)> OnStateChange;
    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnUpdateData;

    const std::vector<TDataLink*>& Links() const { return links_; }

    // From the data set.
    void DataEvent(TDataEvent event, TField* field, int info);
    // From the links.
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    void DataSetGone();

private:
    void UpdateState();
    TDataSet* dataSet_ = nullptr;
    std::vector<TDataLink*> links_;
    TDataSetState state_ = TDataSetState::dsInactive;
    bool enabled_ = true;
    bool autoEdit_ = true;
};

// A control's connection to a data source. Derived links override the hooks; the link keeps
// its own window into the data set's records (BufferCount records, the active one among
// them) and moves it so the active record stays inside.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return source_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const;
    // The source is enabled and its data set open.
    bool Active() const { return active_; }
    // The data set is in edit or insert state (and the link active).
    bool Editing() const { return editing_; }
    // A read-only link never puts its data set into edit state.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    // How many records the control shows; the data set's window grows to the largest count.
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int count);
    // Records in this link's window (at most BufferCount).
    int RecordCount() const;
    // Index of the data set's current record in this link's window; setting it makes that
    // record of the window the one the fields read.
    int ActiveRecord() const;
    void SetActiveRecord(int index);
    bool Bof() const;
    bool Eof() const;
    int MoveBy(int distance);
    // Puts the data set into edit state through the source (AutoEdit); returns Editing().
    bool Edit();
    // Writes the control's pending text into the field (runs UpdateData).
    void UpdateRecord();

    // For the data source.
    void DataEvent(TDataEvent event, TField* field, int info);
    void UpdateState();

protected:
    // Hooks a control overrides.
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int distance) {
        (void)distance;
        DataSetChanged();
    }
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* field) { (void)field; }
    virtual void UpdateData() {}
    // A field asks for the input focus; set `field` to nullptr when this control took it.
    virtual void FocusControl(TField*& field) { (void)field; }
    // More records of an answer came in (a grid's scroll bar grows).
    virtual void RecordCountChanged() {}

private:
    friend class TDataSource;
    // Keeps the link's window inside the data set's window and around the active record;
    // returns how far the window's first record moved in the data set's window.
    int UpdateRange();

    TDataSource* source_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
    int first_ = 0;  // this link's first record within the data set's window
};

}  // namespace tessel
