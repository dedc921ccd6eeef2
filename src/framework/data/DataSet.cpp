// Data sets: states, navigation, editing, events.

#include "framework/data/DataSet.h"

#include <algorithm>
#include <cstring>

#include "base/StringList.h"
#include "framework/data/DataSource.h"

namespace tessel {

namespace {

bool EditMode(TDataSetState s) {
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

TBookmark EncodeBookmark(int64_t value) {
    TBookmark b(sizeof value, '\0');
    std::memcpy(b.data(), &value, sizeof value);
    return b;
}

bool DecodeBookmark(const TBookmark& b, int64_t& value) {
    if (b.size() != sizeof value) return false;
    std::memcpy(&value, b.data(), sizeof value);
    return true;
}

const engine::Value& NullValue() {
    static const engine::Value null;
    return null;
}

}  // namespace

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
    // Derived data sets close themselves; what is left is to let the sources forget us.
    state_ = TDataSetState::dsInactive;
    for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->DataSetGone();
}

void TDataSet::Error(const std::string& message) const {
    DatabaseError(message, name_);
}

void TDataSet::CheckActive() const {
    if (!Active()) Error(dbmsg::kDataSetClosed);
}

void TDataSet::CheckInactive() const {
    if (Active()) Error(dbmsg::kDataSetOpen);
}

// ------------------------------------------------------------------------- open and close

void TDataSet::SetActive(bool active) {
    if (active == Active() || state_ == TDataSetState::dsOpening) return;
    if (active) {
        DoEvent(BeforeOpen);
        state_ = TDataSetState::dsOpening;
        try {
            OpenCursor();
        } catch (...) {
            CloseCursor();
            state_ = TDataSetState::dsInactive;
            throw;
        }
        SetState(TDataSetState::dsBrowse);
        DoEvent(AfterOpen);
    } else {
        DoEvent(BeforeClose);
        SetState(TDataSetState::dsInactive);
        CloseCursor();
        DoEvent(AfterClose);
    }
}

void TDataSet::OpenCursor() {
    cursor_ = Engine([&] { return CreateCursor(); });
    fieldDefs_.clear();
    const auto& descs = cursor_->Fields();
    for (size_t i = 0; i < descs.size(); ++i) fieldDefs_.push_back(FieldDefFromDesc(descs[i], static_cast<int>(i) + 1));
    CreateFields();
    Engine([&] { CursorOpened(); });
    int wanted = 1;
    for (TDataSource* s : sources_)
        for (TDataLink* l : s->Links()) wanted = std::max(wanted, l->BufferCount());
    bufferCount_ = wanted;
    buffers_.clear();
    activeRecord_ = 0;
    modified_ = false;
    Engine([&] { FillWindow(0, 0); });
    bof_ = true;
    eof_ = buffers_.empty();
}

void TDataSet::CloseCursor() {
    buffers_.clear();
    activeRecord_ = 0;
    fields_.clear();
    cursor_.reset();
    bof_ = eof_ = true;
    modified_ = false;
    CursorClosed();
}

void TDataSet::CreateFields() {
    fields_.clear();
    for (const auto& def : fieldDefs_) fields_.push_back(CreateField(*this, def));
}

void TDataSet::SetState(TDataSetState state) {
    if (state == state_) return;
    state_ = state;
    modified_ = false;
    DataEvent(TDataEvent::deUpdateState);
}

// ----------------------------------------------------------------------------------- fields

TField& TDataSet::Fields(int index) const {
    if (index < 0 || index >= FieldCount()) Error("List index out of bounds (" + std::to_string(index) + ")");
    return *fields_[static_cast<size_t>(index)];
}

TField* TDataSet::FindField(const std::string& name) const {
    for (const auto& f : fields_)
        if (SameText(f->FieldName(), name)) return f.get();
    return nullptr;
}

TField& TDataSet::FieldByName(const std::string& name) const {
    TField* f = FindField(name);
    if (!f) Error("Field '" + name + "' not found");
    return *f;
}

int TDataSet::FieldIndexOf(const TField& field) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].get() == &field) return static_cast<int>(i);
    return -1;
}

void TDataSet::MoveField(TField& field, int newIndex) {
    const int old = FieldIndexOf(field);
    if (old < 0) return;
    newIndex = std::clamp(newIndex, 0, FieldCount() - 1);
    if (newIndex == old) return;
    auto holder = std::move(fields_[static_cast<size_t>(old)]);
    fields_.erase(fields_.begin() + old);
    fields_.insert(fields_.begin() + newIndex, std::move(holder));
    if (Active()) DataEvent(TDataEvent::deLayoutChange);
}

const engine::Value& TDataSet::FieldValue(const TField& field) const {
    if (filterRecord_) {
        const size_t k = static_cast<size_t>(field.FieldNo() - 1);
        return field.FieldNo() >= 1 && k < filterRecord_->size() ? (*filterRecord_)[k] : NullValue();
    }
    if (buffers_.empty() || field.FieldNo() < 1) return NullValue();
    const auto& values = buffers_[static_cast<size_t>(activeRecord_)].values;
    const size_t k = static_cast<size_t>(field.FieldNo() - 1);
    return k < values.size() ? values[k] : NullValue();
}

engine::Value TDataSet::OldFieldValue(const TField& field) const {
    if (EditMode(state_) && field.FieldNo() >= 1 && static_cast<size_t>(field.FieldNo()) <= oldValues_.size())
        return oldValues_[static_cast<size_t>(field.FieldNo() - 1)];
    return FieldValue(field);
}

void TDataSet::SetFieldValue(TField& field, engine::Value value) {
    if (!EditMode(state_)) Error(dbmsg::kNotEditing);
    if (field.ReadOnly()) Error("Field '" + field.DisplayName() + "' cannot be modified");
    if (buffers_.empty() || field.FieldNo() < 1) return;
    auto& values = buffers_[static_cast<size_t>(activeRecord_)].values;
    const size_t k = static_cast<size_t>(field.FieldNo() - 1);
    if (k >= values.size()) values.resize(k + 1);
    engine::Value previous = std::move(values[k]);
    values[k] = std::move(value);
    if (field.OnValidate) {
        try {
            field.OnValidate(field);
        } catch (...) {
            values[k] = std::move(previous);
            throw;
        }
    }
    modified_ = true;
    DataEvent(TDataEvent::deFieldChange, &field);
    if (field.OnChange) field.OnChange(field);
}

// ---------------------------------------------------------------------------- the window

void TDataSet::ReadBuffer(Buffer& buffer, int64_t position) {
    cursor_->ReadRecord(position, buffer.values);
    buffer.values.resize(fieldDefs_.size());
    buffer.position = position;
}

void TDataSet::FillWindow(int64_t position, int index) {
    const int64_t n = cursor_->CountUpTo(position + bufferCount_);
    if (n <= 0) {
        buffers_.clear();
        activeRecord_ = 0;
        return;
    }
    position = std::clamp<int64_t>(position, 0, n - 1);
    index = std::clamp(index, 0, bufferCount_ - 1);
    int64_t first = position - index;
    first = std::min(first, n - bufferCount_);
    first = std::max<int64_t>(first, 0);
    const int size = static_cast<int>(std::min<int64_t>(bufferCount_, n - first));
    std::vector<Buffer> window(static_cast<size_t>(size));
    std::vector<bool> filled(static_cast<size_t>(size), false);
    // Records already in the window keep their buffers; only the new ones are read.
    for (auto& b : buffers_) {
        if (b.position >= first && b.position < first + size) {
            const size_t k = static_cast<size_t>(b.position - first);
            if (!filled[k]) {
                window[k] = std::move(b);
                filled[k] = true;
            }
        }
    }
    for (int k = 0; k < size; ++k)
        if (!filled[static_cast<size_t>(k)]) ReadBuffer(window[static_cast<size_t>(k)], first + k);
    buffers_ = std::move(window);
    activeRecord_ = static_cast<int>(position - first);
}

void TDataSet::ResyncAt(int64_t position) {
    // The records may have moved: read the window again.
    const int index = activeRecord_;
    buffers_.clear();
    Engine([&] { FillWindow(position, index); });
}

int64_t TDataSet::CurrentPosition() const {
    if (buffers_.empty()) return -1;
    return buffers_[static_cast<size_t>(activeRecord_)].position;
}

void TDataSet::SetActiveRecord(int index) {
    if (index >= 0 && index < static_cast<int>(buffers_.size())) activeRecord_ = index;
}

const engine::Record& TDataSet::ActiveValues() const {
    static const engine::Record empty;
    return buffers_.empty() ? empty : buffers_[static_cast<size_t>(activeRecord_)].values;
}

void TDataSet::UpdateBufferCount() {
    int wanted = 1;
    for (TDataSource* s : sources_)
        for (TDataLink* l : s->Links()) wanted = std::max(wanted, l->BufferCount());
    if (wanted == bufferCount_) return;
    bufferCount_ = wanted;
    if (!Active() || buffers_.empty()) return;
    if (state_ == TDataSetState::dsInsert) {
        // Keep the new record; only drop what no longer fits.
        while (static_cast<int>(buffers_.size()) > bufferCount_) {
            if (activeRecord_ > 0) {
                buffers_.erase(buffers_.begin());
                --activeRecord_;
            } else {
                buffers_.pop_back();
            }
        }
        return;
    }
    Engine([&] { FillWindow(CurrentPosition(), activeRecord_); });
}

// --------------------------------------------------------------------------------- moving

int64_t TDataSet::RecordCount() const {
    CheckActive();
    return Engine([&] { return cursor_->RecordCount(); });
}

int64_t TDataSet::KnownRecordCount() const {
    CheckActive();
    return cursor_->KnownCount();
}

bool TDataSet::IsCountComplete() const {
    return !cursor_ || cursor_->IsComplete();
}

bool TDataSet::FetchMore(int64_t rows) {
    CheckActive();
    if (cursor_->IsComplete()) return true;
    const int64_t before = cursor_->KnownCount();
    bool complete = false;
    try {
        complete = Engine([&] { return cursor_->FetchMore(rows); });
    } catch (...) {
        DataEvent(TDataEvent::deRecordCountChange);
        throw;
    }
    if (cursor_->KnownCount() != before || complete) DataEvent(TDataEvent::deRecordCountChange);
    return complete;
}

bool TDataSet::IsSequenced() const {
    return cursor_ && cursor_->IsSequenced();
}

int64_t TDataSet::RecNo() const {
    const int64_t p = CurrentPosition();
    return p < 0 ? -1 : p + 1;
}

void TDataSet::SetRecNo(int64_t recNo) {
    CheckActive();
    CheckBrowseMode();
    const int64_t n = Engine([&] { return cursor_->CountUpTo(recNo - 1); });
    if (n == 0) return;
    recNo = std::clamp<int64_t>(recNo, 1, n);
    const int64_t current = RecNo();
    if (recNo != current) MoveBy(static_cast<int>(recNo - current));
}

void TDataSet::First() {
    CheckActive();
    CheckBrowseMode();
    DoEvent(BeforeScroll);
    Engine([&] { FillWindow(0, 0); });
    bof_ = true;
    eof_ = buffers_.empty();
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterScroll);
}

void TDataSet::Last() {
    CheckActive();
    CheckBrowseMode();
    DoEvent(BeforeScroll);
    Engine([&] { FillWindow(cursor_->RecordCount() - 1, bufferCount_ - 1); });
    eof_ = true;
    bof_ = buffers_.empty();
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterScroll);
}

int TDataSet::MoveBy(int distance) {
    CheckActive();
    if (distance == 0) return 0;
    CheckBrowseMode();
    DoEvent(BeforeScroll);
    int64_t moved = 0;
    int shift = 0;
    if (buffers_.empty()) {
        bof_ = eof_ = true;
    } else {
        const int64_t current = CurrentPosition();
        const int64_t n =
            distance > 0 ? Engine([&] { return cursor_->CountUpTo(current + distance); }) : cursor_->KnownCount();
        const int64_t target = std::clamp<int64_t>(current + distance, 0, n - 1);
        moved = target - current;
        if (distance > 0) {
            eof_ = moved < distance;
            if (moved) bof_ = false;
        } else {
            bof_ = moved > distance;
            if (moved) eof_ = false;
        }
        const int64_t first = buffers_.front().position;
        const int64_t size = static_cast<int64_t>(buffers_.size());
        if (target >= first && target < first + size) {
            activeRecord_ = static_cast<int>(target - first);
        } else {
            Engine([&] { FillWindow(target, target > first ? bufferCount_ - 1 : 0); });
            shift = static_cast<int>(buffers_.front().position - first);
        }
    }
    DataEvent(TDataEvent::deDataSetScroll, nullptr, shift);
    DoEvent(AfterScroll);
    return static_cast<int>(moved);
}

// ------------------------------------------------------------------------------ bookmarks

TBookmark TDataSet::GetBookmark() const {
    const int64_t p = CurrentPosition();
    if (!Active() || p < 0) return {};
    return EncodeBookmark(Engine([&] { return cursor_->BookmarkOf(p); }));
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) const {
    int64_t b = 0;
    if (!Active() || !DecodeBookmark(bookmark, b)) return false;
    return Engine([&] { return cursor_->PositionOf(b); }) >= 0;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    CheckActive();
    int64_t b = 0;
    if (!DecodeBookmark(bookmark, b)) Error(dbmsg::kInvalidBookmark);
    CheckBrowseMode();
    const int64_t position = Engine([&] { return cursor_->PositionOf(b); });
    if (position < 0) Error(dbmsg::kRecordNotFound);
    DoEvent(BeforeScroll);
    Engine([&] { FillWindow(position, activeRecord_); });
    bof_ = eof_ = false;
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterScroll);
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
    int64_t x = 0, y = 0;
    const bool hasA = DecodeBookmark(a, x), hasB = DecodeBookmark(b, y);
    if (!hasA || !hasB) return hasA == hasB ? 0 : (hasA ? 1 : -1);
    return x < y ? -1 : (x > y ? 1 : 0);
}

// -------------------------------------------------------------------------------- editing

bool TDataSet::CanModify() const {
    return Active() && cursor_ && cursor_->CanModify();
}

void TDataSet::CheckCanModify() const {
    if (!CanModify()) Error(dbmsg::kDataSetReadOnly);
}

template <class F>
void TDataSet::WithErrorAction(const TDataSetErrorEvent& handler, F&& body) {
    for (;;) {
        try {
            Engine(body);
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = TDataAction::daFail;
            if (handler) handler(*this, e, action);
            if (action == TDataAction::daFail) throw;
            if (action == TDataAction::daAbort) Abort();
        }
    }
}

void TDataSet::Edit() {
    CheckActive();
    if (EditMode(state_)) return;
    if (buffers_.empty()) {
        Insert();
        return;
    }
    CheckCanModify();
    DoEvent(BeforeEdit);
    // Start from the record as it is in the file now.
    WithErrorAction(OnEditError, [&] {
        Buffer& b = buffers_[static_cast<size_t>(activeRecord_)];
        ReadBuffer(b, b.position);
    });
    oldValues_ = buffers_[static_cast<size_t>(activeRecord_)].values;
    SetState(TDataSetState::dsEdit);
    DataEvent(TDataEvent::deRecordChange);
    DoEvent(AfterEdit);
}

void TDataSet::Insert() {
    CheckActive();
    CheckBrowseMode();
    CheckCanModify();
    DoEvent(BeforeInsert);
    DoEvent(BeforeScroll);
    positionBeforeInsert_ = CurrentPosition();
    indexBeforeInsert_ = activeRecord_;
    Buffer fresh;
    fresh.values.resize(fieldDefs_.size());
    if (buffers_.empty()) {
        buffers_.push_back(std::move(fresh));
        activeRecord_ = 0;
    } else {
        buffers_.insert(buffers_.begin() + activeRecord_, std::move(fresh));
        if (static_cast<int>(buffers_.size()) > bufferCount_) buffers_.pop_back();
    }
    oldValues_ = buffers_[static_cast<size_t>(activeRecord_)].values;
    SetState(TDataSetState::dsInsert);
    DoEvent(OnNewRecord);
    modified_ = false;
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterInsert);
    DoEvent(AfterScroll);
}

void TDataSet::Append() {
    CheckActive();
    CheckBrowseMode();
    CheckCanModify();
    DoEvent(BeforeInsert);
    DoEvent(BeforeScroll);
    positionBeforeInsert_ = CurrentPosition();
    indexBeforeInsert_ = activeRecord_;
    Engine([&] { FillWindow(cursor_->RecordCount() - 1, bufferCount_ - 1); });
    Buffer fresh;
    fresh.values.resize(fieldDefs_.size());
    buffers_.push_back(std::move(fresh));
    if (static_cast<int>(buffers_.size()) > bufferCount_) buffers_.erase(buffers_.begin());
    activeRecord_ = static_cast<int>(buffers_.size()) - 1;
    oldValues_ = buffers_.back().values;
    eof_ = true;
    SetState(TDataSetState::dsInsert);
    DoEvent(OnNewRecord);
    modified_ = false;
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterInsert);
    DoEvent(AfterScroll);
}

void TDataSet::UpdateRecord() {
    if (!EditMode(state_)) Error(dbmsg::kNotEditing);
    DataEvent(TDataEvent::deUpdateRecord);
}

void TDataSet::Post() {
    CheckActive();
    if (!inBrowseCheck_) UpdateRecord();
    if (!EditMode(state_)) Error(dbmsg::kNotEditing);
    DoBeforePost();
    for (const auto& f : fields_)
        if (f->Required() && !f->ReadOnly() && f->IsNull()) {
            f->FocusControl();
            Error("Field '" + f->DisplayName() + "' must have a value");
        }
    int64_t position = -1;
    WithErrorAction(OnPostError, [&] {
        const Buffer& b = buffers_[static_cast<size_t>(activeRecord_)];
        position = state_ == TDataSetState::dsInsert ? cursor_->AppendRecord(b.values)
                                                     : cursor_->UpdateRecord(b.position, b.values);
    });
    SetState(TDataSetState::dsBrowse);
    ResyncAt(position);
    bof_ = eof_ = false;
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterPost);
}

void TDataSet::Cancel() {
    CheckActive();
    if (!EditMode(state_)) return;
    DoEvent(BeforeCancel);
    const bool inserting = state_ == TDataSetState::dsInsert;
    SetState(TDataSetState::dsBrowse);
    if (inserting) {
        buffers_.erase(buffers_.begin() + activeRecord_);
        activeRecord_ = 0;
        if (positionBeforeInsert_ < 0 || cursor_->RecordCount() == 0) {
            buffers_.clear();
            Engine([&] { FillWindow(0, 0); });
            bof_ = true;
            eof_ = buffers_.empty();
        } else {
            Engine([&] { FillWindow(positionBeforeInsert_, indexBeforeInsert_); });
        }
    } else {
        buffers_[static_cast<size_t>(activeRecord_)].values = oldValues_;
    }
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterCancel);
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    CheckCanModify();
    if (buffers_.empty()) Error(dbmsg::kDataSetEmpty);
    DataEvent(TDataEvent::deCheckBrowseMode);
    DoEvent(BeforeDelete);
    DoEvent(BeforeScroll);
    const int64_t position = CurrentPosition();
    WithErrorAction(OnDeleteError, [&] { cursor_->DeleteRecord(position); });
    SetState(TDataSetState::dsBrowse);
    const int64_t n = cursor_->RecordCount();
    ResyncAt(std::min(position, n - 1));
    bof_ = buffers_.empty();
    eof_ = buffers_.empty() || position >= n;
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterDelete);
    DoEvent(AfterScroll);
}

void TDataSet::Refresh() {
    CheckActive();
    CheckBrowseMode();
    DoEvent(BeforeRefresh);
    const int64_t position = CurrentPosition();
    const int64_t bookmark = position >= 0 ? Engine([&] { return cursor_->BookmarkOf(position); }) : -1;
    Engine([&] { cursor_->Refresh(); });
    int64_t target = bookmark >= 0 ? Engine([&] { return cursor_->PositionOf(bookmark); }) : -1;
    if (target < 0) target = std::max<int64_t>(position, 0);
    ResyncAt(target);
    if (buffers_.empty()) bof_ = eof_ = true;
    DataEvent(TDataEvent::deDataSetChange);
    DoEvent(AfterRefresh);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(TDataEvent::deCheckBrowseMode);
    if (!EditMode(state_)) return;
    UpdateRecord();
    if (modified_) {
        inBrowseCheck_ = true;
        try {
            Post();
        } catch (...) {
            inBrowseCheck_ = false;
            throw;
        }
        inBrowseCheck_ = false;
    } else {
        Cancel();
    }
}

// ------------------------------------------------------------------------- notifications

void TDataSet::AddDataSource(TDataSource* source) {
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(source);
}

void TDataSet::RemoveDataSource(TDataSource* source) {
    sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void TDataSet::DisableControls() {
    if (disableCount_++ == 0) {
        stateWhenDisabled_ = state_;
        pendingChange_ = false;
    }
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0 || --disableCount_ > 0) return;
    if (state_ != stateWhenDisabled_) NotifySources(TDataEvent::deUpdateState, nullptr, 0);
    if (pendingChange_ && Active()) NotifySources(TDataEvent::deDataSetChange, nullptr, 0);
    pendingChange_ = false;
}

void TDataSet::DataEvent(TDataEvent event, TField* field, int info) {
    if (disableCount_ > 0) {
        // Requests for pending input and focus still reach the controls; what only changes
        // the display waits for EnableControls.
        if (event != TDataEvent::deUpdateRecord && event != TDataEvent::deCheckBrowseMode &&
            event != TDataEvent::deFocusControl) {
            pendingChange_ = true;
            return;
        }
    }
    NotifySources(event, field, info);
}

void TDataSet::NotifySources(TDataEvent event, TField* field, int info) {
    for (TDataSource* source : std::vector<TDataSource*>(sources_))
        if (std::find(sources_.begin(), sources_.end(), source) != sources_.end())
            source->DataEvent(event, field, info);
}

}  // namespace tessel
