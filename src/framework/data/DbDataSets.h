#pragma once

// The window's data objects: the query and the table data sets extended with per-field lists
// the answer grid reads (cell control kinds, picture masks, lookup definitions), with a check
// of every field against its picture before a record is posted, and with a record filter
// event. The table also reads the pictures a Paradox table stores in its validity checks.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/StringList.h"
#include "framework/data/DataSource.h"
#include "framework/data/PictureValidator.h"
#include "framework/data/Query.h"
#include "framework/data/Table.h"

namespace tessel {

// A cursor that shows only the records a predicate accepts, by the list of their positions in
// the cursor it wraps. Without a predicate (or while disabled) it passes everything through.
class TFilteredCursor : public TDataCursor {
public:
    using TAccept = std::function<bool(int64_t position, const engine::Record& record)>;

    explicit TFilteredCursor(std::unique_ptr<TDataCursor> inner);

    // Sets the predicate (nullptr: none) and lists the accepted records again.
    void SetAccept(TAccept accept);
    bool Filtering() const { return static_cast<bool>(accept_); }
    // Lists the accepted records again (the predicate's answers may have changed).
    void Rebuild();
    TDataCursor& Inner() { return *inner_; }

    const std::vector<engine::FieldDesc>& Fields() const override { return inner_->Fields(); }
    int64_t RecordCount() const override;
    // Without a predicate an answer still coming in shows as it comes; with one, the list
    // of accepted records is made from the whole answer.
    int64_t KnownCount() const override { return accept_ ? RecordCount() : inner_->KnownCount(); }
    bool IsComplete() const override { return accept_ || inner_->IsComplete(); }
    int64_t CountUpTo(int64_t position) override { return accept_ ? RecordCount() : inner_->CountUpTo(position); }
    bool FetchMore(int64_t rows) override { return accept_ || inner_->FetchMore(rows); }
    void ReadRecord(int64_t position, engine::Record& out) override;
    bool IsSequenced() const override { return !Filtering() && inner_->IsSequenced(); }
    int64_t BookmarkOf(int64_t position) const override;
    int64_t PositionOf(int64_t bookmark) const override;
    bool CanModify() const override { return inner_->CanModify(); }
    int64_t AppendRecord(const engine::Record& values) override;
    int64_t UpdateRecord(int64_t position, const engine::Record& values) override;
    void DeleteRecord(int64_t position) override;
    void Refresh() override;
    uint64_t CopyTo(const std::string& destPath) override;
    TDataCursor* Base() override { return inner_->Base(); }

private:
    int64_t InnerPosition(int64_t position) const;
    // The filtered position of an inner position; when that record is not accepted, the
    // position of the next accepted one (clamped to the last).
    int64_t Outer(int64_t inner) const;

    std::unique_ptr<TDataCursor> inner_;
    TAccept accept_;
    std::vector<int64_t> accepted_;
};

enum TDbFilterOption { ofoEnabled = 1, ofoShowHourGlass = 2, ofoCancelOnEscape = 4 };
using TDbFilterOptions = int;

// Texts the data objects show.
struct TDbDataMessages {
    std::string PictureValidateError = "Invalid characters. Field : ";
    std::string FilterOnLiveQuery =
        "Local filtering is not supported on a Live-Query which contains a Where clause in the SQL string. To "
        "perform a local filter on this query, you will need to set its RequestLive property to False.";
};
TDbDataMessages& DbDataMessages();

// The part both extended data sets share.
class TDbDataSetExtension {
public:
    virtual ~TDbDataSetExtension() = default;

    TStringList ControlType, PictureMasks, LookupFields, LookupLinks;
    bool ValidateWithMask = true;
    std::function<void(TDataSet&, TField&)> OnInvalidValue;
    std::function<void(TDataSet&)> OnFilterEscape;

    // The record filter: the handler sees each record through the data set's fields and
    // clears `accept` to hide it.
    using TFilterEvent = std::function<void(TDataSet&, bool& accept)>;
    const TFilterEvent& OnFilter() const { return onFilter_; }
    void SetOnFilter(TFilterEvent handler);
    TDbFilterOptions OnFilterOptions() const { return filterOptions_; }
    void SetOnFilterOptions(TDbFilterOptions options);

    // The picture of a field: its PictureMasks line (a table adds its Paradox pictures).
    virtual TPictureMask PictureMaskOf(const std::string& fieldName);

    // Hooks of the user interface: whether Escape was pressed since the last call, and the
    // busy pointer while records are filtered out. Unset: never, nothing.
    static std::function<bool()>& EscapePressedHook();
    static std::function<void(bool busy)>& BusyCursorHook();

protected:
    explicit TDbDataSetExtension(TDataSet& self) : self_(self) {}
    // Wraps a new cursor in the filter.
    std::unique_ptr<TDataCursor> Filtered(std::unique_ptr<TDataCursor> cursor);
    // The fields exist: an installed filter lists its records.
    void InstallFilter();
    // The check of every field against its picture; fails the post at the first bad one.
    void ValidateRecord();
    // The busy pointer goes back to the arrow.
    void EndBusy();
    // The fields read `record` (nullptr: the active record again).
    virtual void SetCandidate(const engine::Record* record) = 0;

private:
    bool Accept(const engine::Record& record);
    void ApplyFilter();

    TDataSet& self_;
    TFilterEvent onFilter_;
    TDbFilterOptions filterOptions_ = ofoEnabled | ofoShowHourGlass;
    TFilteredCursor* cursor_ = nullptr;
    bool filtering_ = false;
    bool escaped_ = false;
    bool busy_ = false;
    int calls_ = 0;

    friend class TDbQuery;
    friend class TDbTable;
};

class TDbQuery : public TQuery, public TDbDataSetExtension {
public:
    TDbQuery() : TDbDataSetExtension(static_cast<TDataSet&>(*this)) {}
    ~TDbQuery() override;

    // A live answer's fields also take the pictures of its table's validity checks, which
    // override their PictureMasks lines.
    TPictureMask PictureMaskOf(const std::string& fieldName) override;

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override;
    void CursorOpened() override { InstallFilter(); }
    void CursorClosed() override;
    void DoBeforePost() override;
    void SetCandidate(const engine::Record* record) override { SetFilterRecord(record); }
};

class TDbTable : public TTable, public TDbDataSetExtension {
public:
    TDbTable() : TDbDataSetExtension(static_cast<TDataSet&>(*this)) {}
    ~TDbTable() override;

    TStringList dbFilter, Query;
    bool SyncSQLByRange = false;
    bool NarrowSearch = false;
    int NarrowSearchUpperChar = 255;

    // A validity picture of the field (from the table's validity checks) overrides its PictureMasks line.
    TPictureMask PictureMaskOf(const std::string& fieldName) override;
    // The lines "field<TAB>picture" read from the table's validity checks (built once).
    const std::vector<std::string>& ValidityPictures();

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override;
    void CursorOpened() override { InstallFilter(); }
    void CursorClosed() override;
    void DoBeforePost() override;
    void SetCandidate(const engine::Record* record) override { SetFilterRecord(record); }

private:
    std::vector<std::string> validityPictures_;
    bool validityPicturesRead_ = false;
};

// The window's data source; nothing added to the plain one.
class TDbDataSource : public TDataSource {
public:
    using TDataSource::TDataSource;
};

// The extension of a data set, when it has one.
inline TDbDataSetExtension* DbExtension(TDataSet* ds) {
    return dynamic_cast<TDbDataSetExtension*>(ds);
}

}  // namespace tessel
