// Data sources and the data links that follow them.

#include "framework/data/DataSource.h"

#include <algorithm>

namespace tessel {

namespace {

bool EditMode(TDataSetState s) {
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

}  // namespace

// ---------------------------------------------------------------------------- TDataSource

TDataSource::~TDataSource() {
    for (TDataLink* link : std::vector<TDataLink*>(links_)) {
        link->source_ = nullptr;
        link->UpdateState();
    }
    if (dataSet_) dataSet_->RemoveDataSource(this);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) dataSet_->RemoveDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_) {
        dataSet_->AddDataSource(this);
        dataSet_->UpdateBufferCount();
    }
    UpdateState();
}

void TDataSource::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    UpdateState();
}

void TDataSource::Edit() {
    if (autoEdit_ && state_ == TDataSetState::dsBrowse && dataSet_) dataSet_->Edit();
}

void TDataSource::DataSetGone() {
    dataSet_ = nullptr;
    UpdateState();
}

void TDataSource::AddLink(TDataLink* link) {
    if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TDataSource::UpdateState() {
    TDataSetState state = TDataSetState::dsInactive;
    if (enabled_ && dataSet_ && dataSet_->Active()) state = dataSet_->State();
    if (state == state_) return;
    state_ = state;
    for (TDataLink* link : std::vector<TDataLink*>(links_)) link->UpdateState();
    if (OnStateChange) OnStateChange(*this);
}

void TDataSource::DataEvent(TDataEvent event, TField* field, int info) {
    if (event == TDataEvent::deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == TDataSetState::dsInactive) return;
    if (event == TDataEvent::deFocusControl) {
        TField* wanted = field;
        for (TDataLink* link : std::vector<TDataLink*>(links_)) {
            link->FocusControl(wanted);
            if (!wanted) break;
        }
        return;
    }
    for (TDataLink* link : std::vector<TDataLink*>(links_))
        if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, field, info);
    switch (event) {
        case TDataEvent::deFieldChange:
            if (OnDataChange) OnDataChange(*this, field);
            break;
        case TDataEvent::deRecordChange:
        case TDataEvent::deDataSetChange:
        case TDataEvent::deDataSetScroll:
        case TDataEvent::deLayoutChange:
            if (OnDataChange) OnDataChange(*this, nullptr);
            break;
        case TDataEvent::deUpdateRecord:
            if (OnUpdateData) OnUpdateData(*this);
            break;
        default:
            break;
    }
}

// ------------------------------------------------------------------------------ TDataLink

TDataLink::~TDataLink() {
    // Hooks of a derived link are gone by now: leave without notifying.
    if (source_) {
        source_->RemoveLink(this);
        if (TDataSet* ds = source_->DataSet()) ds->UpdateBufferCount();
    }
}

TDataSet* TDataLink::DataSet() const {
    return source_ ? source_->DataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == source_) return;
    if (source_) {
        source_->RemoveLink(this);
        if (TDataSet* ds = source_->DataSet()) ds->UpdateBufferCount();
    }
    source_ = source;
    if (source_) {
        source_->AddLink(this);
        if (TDataSet* ds = source_->DataSet()) ds->UpdateBufferCount();
    }
    UpdateState();
}

void TDataLink::SetReadOnly(bool readOnly) {
    if (readOnly == readOnly_) return;
    readOnly_ = readOnly;
    UpdateState();
}

void TDataLink::UpdateState() {
    const TDataSetState state = source_ ? source_->State() : TDataSetState::dsInactive;
    const bool active = state != TDataSetState::dsInactive;
    const bool editing = active && EditMode(state);
    // Editing ends before the link goes inactive, and begins after it became active.
    if (editing_ && !editing) {
        editing_ = false;
        EditingChanged();
    }
    if (active != active_) {
        active_ = active;
        first_ = 0;
        if (active_) UpdateRange();
        ActiveChanged();
    }
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

int TDataLink::UpdateRange() {
    TDataSet* ds = DataSet();
    if (!ds || !active_) {
        first_ = 0;
        return 0;
    }
    const int old = first_;
    const int count = ds->BufferRecordCount();
    const int active = ds->ActiveRecord();
    if (active < first_) first_ = active;
    if (active >= first_ + bufferCount_) first_ = active - bufferCount_ + 1;
    first_ = std::min(first_, std::max(0, count - bufferCount_));
    first_ = std::max(first_, 0);
    return first_ - old;
}

void TDataLink::SetBufferCount(int count) {
    count = std::max(count, 1);
    if (count == bufferCount_) return;
    bufferCount_ = count;
    if (TDataSet* ds = DataSet()) ds->UpdateBufferCount();
    UpdateRange();
}

int TDataLink::RecordCount() const {
    TDataSet* ds = DataSet();
    if (!ds || !active_) return 0;
    return std::max(0, std::min(bufferCount_, ds->BufferRecordCount() - first_));
}

int TDataLink::ActiveRecord() const {
    TDataSet* ds = DataSet();
    if (!ds || !active_) return 0;
    return ds->ActiveRecord() - first_;
}

void TDataLink::SetActiveRecord(int index) {
    if (TDataSet* ds = DataSet(); ds && active_) ds->SetActiveRecord(first_ + index);
}

bool TDataLink::Bof() const {
    TDataSet* ds = DataSet();
    return !ds || ds->Bof();
}

bool TDataLink::Eof() const {
    TDataSet* ds = DataSet();
    return !ds || ds->Eof();
}

int TDataLink::MoveBy(int distance) {
    TDataSet* ds = DataSet();
    return ds && active_ ? ds->MoveBy(distance) : 0;
}

bool TDataLink::Edit() {
    if (!readOnly_ && source_) source_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::DataEvent(TDataEvent event, TField* field, int info) {
    switch (event) {
        case TDataEvent::deFieldChange:
        case TDataEvent::deRecordChange:
            if (!updating_) RecordChanged(field);
            break;
        case TDataEvent::deDataSetChange:
            UpdateRange();
            DataSetChanged();
            break;
        case TDataEvent::deDataSetScroll: {
            // The data set's window moved by `info` records; this link's window follows as far
            // as it must to keep the current record inside.
            const int old = first_;
            first_ -= info;
            UpdateRange();
            DataSetScrolled(info + first_ - old);
            break;
        }
        case TDataEvent::deLayoutChange:
            UpdateRange();
            LayoutChanged();
            break;
        case TDataEvent::deUpdateRecord:
            UpdateRecord();
            break;
        case TDataEvent::deCheckBrowseMode:
            CheckBrowseMode();
            break;
        case TDataEvent::deRecordCountChange:
            RecordCountChanged();
            break;
        default:
            break;
    }
}

}  // namespace tessel
