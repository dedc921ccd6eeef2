// The filtering, validating table and query data sets.

#include "framework/data/DbDataSets.h"

#include <algorithm>

#include "engine/TableFiles.h"
#include "framework/data/LiveCursor.h"

namespace tessel {

// ------------------------------------------------------------------------ filtered cursor

TFilteredCursor::TFilteredCursor(std::unique_ptr<TDataCursor> inner) : inner_(std::move(inner)) {}

void TFilteredCursor::SetAccept(TAccept accept) {
    accept_ = std::move(accept);
    Rebuild();
}

void TFilteredCursor::Rebuild() {
    accepted_.clear();
    if (!accept_) return;
    const int64_t n = inner_->RecordCount();
    engine::Record record;
    for (int64_t p = 0; p < n; ++p) {
        inner_->ReadRecord(p, record);
        if (!accept_) {  // the predicate went away while we were listing
            accepted_.clear();
            return;
        }
        if (accept_(p, record)) accepted_.push_back(p);
    }
}

int64_t TFilteredCursor::RecordCount() const {
    return accept_ ? static_cast<int64_t>(accepted_.size()) : inner_->RecordCount();
}

int64_t TFilteredCursor::InnerPosition(int64_t position) const {
    if (!accept_) return position;
    if (position < 0 || position >= static_cast<int64_t>(accepted_.size()))
        throw engine::EngineError("Record not found", engine::errc::kInvalidParameter);
    return accepted_[static_cast<size_t>(position)];
}

int64_t TFilteredCursor::Outer(int64_t inner) const {
    if (!accept_) return inner;
    if (accepted_.empty()) return 0;
    const auto it = std::lower_bound(accepted_.begin(), accepted_.end(), inner);
    const int64_t p = it - accepted_.begin();
    return std::min<int64_t>(p, static_cast<int64_t>(accepted_.size()) - 1);
}

void TFilteredCursor::ReadRecord(int64_t position, engine::Record& out) {
    inner_->ReadRecord(InnerPosition(position), out);
}

int64_t TFilteredCursor::BookmarkOf(int64_t position) const {
    return inner_->BookmarkOf(InnerPosition(position));
}

int64_t TFilteredCursor::PositionOf(int64_t bookmark) const {
    const int64_t inner = inner_->PositionOf(bookmark);
    if (inner < 0 || !accept_) return inner;
    const auto it = std::lower_bound(accepted_.begin(), accepted_.end(), inner);
    return it != accepted_.end() && *it == inner ? it - accepted_.begin() : -1;
}

int64_t TFilteredCursor::AppendRecord(const engine::Record& values) {
    const int64_t inner = inner_->AppendRecord(values);
    Rebuild();
    return Outer(inner);
}

int64_t TFilteredCursor::UpdateRecord(int64_t position, const engine::Record& values) {
    const int64_t inner = inner_->UpdateRecord(InnerPosition(position), values);
    Rebuild();
    return Outer(inner);
}

void TFilteredCursor::DeleteRecord(int64_t position) {
    inner_->DeleteRecord(InnerPosition(position));
    Rebuild();
}

void TFilteredCursor::Refresh() {
    inner_->Refresh();
    Rebuild();
}

uint64_t TFilteredCursor::CopyTo(const std::string& destPath) {
    // Filtered: only the records shown are copied.
    return accept_ ? TDataCursor::CopyTo(destPath) : inner_->CopyTo(destPath);
}

// ------------------------------------------------------------------------------ extension

TDbDataMessages& DbDataMessages() {
    static TDbDataMessages messages;
    return messages;
}

std::function<bool()>& TDbDataSetExtension::EscapePressedHook() {
    static std::function<bool()> hook;
    return hook;
}

std::function<void(bool)>& TDbDataSetExtension::BusyCursorHook() {
    static std::function<void(bool)> hook;
    return hook;
}

void TDbDataSetExtension::SetOnFilter(TFilterEvent handler) {
    onFilter_ = std::move(handler);
    ApplyFilter();
}

void TDbDataSetExtension::SetOnFilterOptions(TDbFilterOptions options) {
    const bool wasEnabled = filterOptions_ & ofoEnabled;
    filterOptions_ = options;
    if (wasEnabled != static_cast<bool>(options & ofoEnabled)) ApplyFilter();
}

std::unique_ptr<TDataCursor> TDbDataSetExtension::Filtered(std::unique_ptr<TDataCursor> cursor) {
    auto filtered = std::make_unique<TFilteredCursor>(std::move(cursor));
    cursor_ = filtered.get();
    return filtered;
}

void TDbDataSetExtension::InstallFilter() {
    if (!cursor_ || !onFilter_ || !(filterOptions_ & ofoEnabled)) return;
    escaped_ = false;
    cursor_->SetAccept([this](int64_t, const engine::Record& r) { return Accept(r); });
    if (escaped_) cursor_->SetAccept(nullptr);
    EndBusy();
}

void TDbDataSetExtension::ApplyFilter() {
    if (!cursor_ || !self_.Active()) return;
    self_.CheckBrowseMode();
    escaped_ = false;
    if (onFilter_ && (filterOptions_ & ofoEnabled))
        cursor_->SetAccept([this](int64_t, const engine::Record& r) { return Accept(r); });
    else
        cursor_->SetAccept(nullptr);
    if (escaped_) cursor_->SetAccept(nullptr);
    EndBusy();
    self_.First();
    self_.DataEvent(TDataEvent::deDataSetChange);
}

bool TDbDataSetExtension::Accept(const engine::Record& record) {
    if (filtering_ || !onFilter_ || !(filterOptions_ & ofoEnabled)) return true;
    if (filterOptions_ & ofoCancelOnEscape) {
        calls_ = (calls_ + 1) % 32000;
        if (calls_ % 100 == 0 && EscapePressedHook() && EscapePressedHook()()) {
            filterOptions_ &= ~ofoEnabled;
            escaped_ = true;
            if (OnFilterEscape) OnFilterEscape(self_);
            return true;
        }
    }
    bool accept = true;
    filtering_ = true;
    SetCandidate(&record);
    try {
        onFilter_(self_, accept);
    } catch (...) {
        SetCandidate(nullptr);
        filtering_ = false;
        throw;
    }
    SetCandidate(nullptr);
    filtering_ = false;
    if (!accept && !busy_ && (filterOptions_ & ofoShowHourGlass)) {
        busy_ = true;
        if (BusyCursorHook()) BusyCursorHook()(true);
    }
    return accept;
}

void TDbDataSetExtension::EndBusy() {
    if (!busy_) return;
    busy_ = false;
    if (BusyCursorHook()) BusyCursorHook()(false);
}

TPictureMask TDbDataSetExtension::PictureMaskOf(const std::string& fieldName) {
    return FindPictureMask(PictureMasks, fieldName);
}

void TDbDataSetExtension::ValidateRecord() {
    if (!ValidateWithMask) return;
    for (int i = 0; i < self_.FieldCount(); ++i) {
        TField& field = self_.Fields(i);
        const TPictureMask mask = PictureMaskOf(field.FieldName());
        if (mask.Picture.empty() || field.ReadOnly()) continue;
        if (TDbPictureValidator(mask.Picture, false).IsValid(field.Text())) continue;
        field.FocusControl();
        if (OnInvalidValue) OnInvalidValue(self_, field);
        throw EDatabaseError(DbDataMessages().PictureValidateError + field.DisplayName());
    }
}

// --------------------------------------------------------------------------------- query

namespace {

// The picture of `fieldName` among lines "field<TAB>picture", which overrides `mask`'s own.
void TakeValidityPicture(const std::vector<std::string>& lines, const std::string& fieldName, TPictureMask& mask) {
    for (const std::string& line : lines) {
        const size_t tab = line.find('\t');
        if (SameText(line.substr(0, tab), fieldName)) {
            mask.Picture = line.substr(tab + 1);
            return;
        }
    }
}

}  // namespace

TDbQuery::~TDbQuery() {
    Close();
}

std::unique_ptr<TDataCursor> TDbQuery::CreateCursor() {
    return Filtered(TQuery::CreateCursor());
}

void TDbQuery::CursorClosed() {
    TDbDataSetExtension::cursor_ = nullptr;
    TQuery::CursorClosed();
}

TPictureMask TDbQuery::PictureMaskOf(const std::string& fieldName) {
    TPictureMask mask = TDbDataSetExtension::PictureMaskOf(fieldName);
    auto* live = Cursor() ? dynamic_cast<TLiveAnswerCursor*>(Cursor()->Base()) : nullptr;
    if (!live) return mask;
    TakeValidityPicture(EngineCall([&]() -> const std::vector<std::string>& { return live->ValidityPictures(); }),
                        fieldName, mask);
    return mask;
}

void TDbQuery::DoBeforePost() {
    TQuery::DoBeforePost();
    ValidateRecord();
}

// --------------------------------------------------------------------------------- table

TDbTable::~TDbTable() {
    Close();
}

std::unique_ptr<TDataCursor> TDbTable::CreateCursor() {
    return Filtered(TTable::CreateCursor());
}

void TDbTable::CursorClosed() {
    TDbDataSetExtension::cursor_ = nullptr;
    TTable::CursorClosed();
}

void TDbTable::DoBeforePost() {
    TTable::DoBeforePost();
    ValidateRecord();
}

const std::vector<std::string>& TDbTable::ValidityPictures() {
    // Tables of formats without validity checks report none.
    if (validityPicturesRead_ || (!Active() && TableName().empty())) return validityPictures_;
    std::vector<engine::ValCheckDesc> checks;
    std::vector<engine::FieldDesc> fields;
    if (Active()) {
        checks = ValidityChecks();
        fields = FieldDescriptors();
    } else {
        const std::string path = TablePath();
        EngineCall([&] {
            auto table = engine::OpenTableFile(path, engine::OpenMode::ReadOnly);
            checks = table->ValidityChecks();
            fields = table->Fields();
        });
    }
    validityPictures_.clear();
    for (const auto& check : checks)
        if (check.fieldNumber >= 1 && check.fieldNumber <= fields.size() && !check.picture.empty())
            validityPictures_.push_back(fields[check.fieldNumber - 1u].name + '\t' + check.picture);
    validityPicturesRead_ = true;
    return validityPictures_;
}

TPictureMask TDbTable::PictureMaskOf(const std::string& fieldName) {
    TPictureMask mask = TDbDataSetExtension::PictureMaskOf(fieldName);
    TakeValidityPicture(ValidityPictures(), fieldName, mask);
    return mask;
}

}  // namespace tessel
