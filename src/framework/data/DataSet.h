#pragma once

// The data set: a cursor over the records of a table or an answer, with its state (browse,
// edit, insert, ...), the fields of its records, the current record, a window of records that
// its controls show (as many as the largest data link asks for), editing with before and
// after events, and the notifications that tell every data source of each change.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/Table.h"
#include "framework/data/DataCursor.h"
#include "framework/data/DbError.h"
#include "framework/data/Fields.h"

namespace tessel {

class TDataSource;

// Inactive, browse, edit and insert are the ones a grid tells apart; the others are the
// transient states of calculations, filters and opening, and sort after insert.
enum class TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening
};

// What happened, as a data set tells its data sources.
enum class TDataEvent {
    deFieldChange,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
    dePropertyChange,
    deFieldListChange,
    deFocusControl,
    deRecordCountChange  // more records of an answer came in
};

// What a post or delete error handler decides.
enum class TDataAction { daFail, daAbort, daRetry };

// An opaque record marker; empty means none.
using TBookmark = std::string;

class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    // --- opening and closing --------------------------------------------------------------
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const { return state_ != TDataSetState::dsInactive && state_ != TDataSetState::dsOpening; }
    void SetActive(bool active);
    TDataSetState State() const { return state_; }

    // --- fields ---------------------------------------------------------------------------
    const std::vector<TFieldDef>& FieldDefs() const { return fieldDefs_; }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    TField& Fields(int index) const;
    TField* FindField(const std::string& name) const;
    // Fails with "Field 'X' not found".
    TField& FieldByName(const std::string& name) const;
    // Moves a field to another place in the field list (the grid's column order).
    void MoveField(TField& field, int newIndex);
    int FieldIndexOf(const TField& field) const;

    // --- moving -----------------------------------------------------------------------------
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Returns the number of records actually moved.
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return buffers_.empty(); }
    // 1-based number of the current record; -1 while inserting or when empty.
    int64_t RecNo() const;
    void SetRecNo(int64_t recNo);
    // Number of records of the cursor (an answer still coming in is read to its end).
    int64_t RecordCount() const;
    // Records in so far, and whether that is all of them: an answer shows its first rows
    // while its query still runs. FetchMore reads up to `rows` more and tells the controls
    // when the count grew; it returns whether every record is in.
    int64_t KnownRecordCount() const;
    bool IsCountComplete() const;
    bool FetchMore(int64_t rows);
    bool IsSequenced() const;

    // --- bookmarks ------------------------------------------------------------------------
    TBookmark GetBookmark() const;
    // Fails with "Record not found" when the record is gone.
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkValid(const TBookmark& bookmark) const;
    // -1, 0, 1; an empty bookmark sorts first.
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

    // --- editing --------------------------------------------------------------------------
    virtual bool CanModify() const;
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    void Refresh();
    // Leaves edit or insert state before a move: a changed record is posted, an unchanged one
    // cancelled.
    void CheckBrowseMode();
    // Asks the controls to write their pending text into the fields (fails when not editing).
    void UpdateRecord();
    bool Modified() const { return modified_; }

    // --- controls -------------------------------------------------------------------------
    // While disabled, no notification reaches the data sources; enabling again sends one
    // "data set changed" (and the state change) when anything happened.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // --- the record window ----------------------------------------------------------------
    // The data links size it; BufferCount is the largest count a link asks for (at least 1).
    int BufferCount() const { return bufferCount_; }
    // Records in the window, at most BufferCount.
    int BufferRecordCount() const { return static_cast<int>(buffers_.size()); }
    // Index of the current record in the window. Setting it makes another record of the
    // window the one the fields read (a grid draws each row so); it sends nothing.
    int ActiveRecord() const { return activeRecord_; }
    void SetActiveRecord(int index);
    // The values of the active record.
    const engine::Record& ActiveValues() const;

    // --- events ---------------------------------------------------------------------------
    using TDataSetNotify = std::function<void(TDataSet&)>;
    using TDataSetErrorEvent = std::function<void(TDataSet&, EDatabaseError&, TDataAction&)>;
    TDataSetNotify BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotify BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotify BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotify BeforeDelete, AfterDelete, BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh;
    TDataSetNotify OnNewRecord;
    TDataSetErrorEvent OnPostError, OnDeleteError, OnEditError;

    // --- for fields and data sources ------------------------------------------------------
    void DataEvent(TDataEvent event, TField* field = nullptr, int info = 0);
    const engine::Value& FieldValue(const TField& field) const;
    void SetFieldValue(TField& field, engine::Value value);
    engine::Value OldFieldValue(const TField& field) const;
    void AddDataSource(TDataSource* source);
    void RemoveDataSource(TDataSource* source);
    // The links' buffer counts changed: resize the window.
    void UpdateBufferCount();
    // Fails with the data set's name before the message.
    [[noreturn]] void Error(const std::string& message) const;
    void CheckActive() const;
    void CheckInactive() const;
    TDataCursor* Cursor() const { return cursor_.get(); }

protected:
    // The cursor to open; derived data sets make theirs (a table file, a query's answer).
    virtual std::unique_ptr<TDataCursor> CreateCursor() = 0;
    // Called when the cursor is open and the fields exist, before any record is read.
    virtual void CursorOpened() {}
    // Called after the cursor is closed.
    virtual void CursorClosed() {}
    // Runs BeforePost; a derived data set adds its own checks of the record after it (the
    // record stays in edit state when they fail).
    virtual void DoBeforePost() { DoEvent(BeforePost); }
    // While set, the fields read this record instead of the active one (a record filter
    // looks at each candidate record through the fields).
    void SetFilterRecord(const engine::Record* record) { filterRecord_ = record; }
    // Turns an engine failure inside `body` into EDBEngineError.
    template <class F>
    decltype(auto) Engine(F&& body) const {
        return EngineCall(std::forward<F>(body));
    }

private:
    struct Buffer {
        engine::Record values;
        int64_t position = -1;  // -1: the record being inserted
    };

    void OpenCursor();
    void CloseCursor();
    void SetState(TDataSetState state);
    void CreateFields();
    // Fills the window so that `position` is the current record at window index `index`
    // (moved as needed so the window is as full as the records allow).
    void FillWindow(int64_t position, int index);
    void ReadBuffer(Buffer& buffer, int64_t position);
    int64_t CurrentPosition() const;
    void CheckCanModify() const;
    void DoEvent(const TDataSetNotify& event) {
        if (event) event(*this);
    }
    void NotifySources(TDataEvent event, TField* field, int info);
    void ResyncAt(int64_t position);
    template <class F>
    void WithErrorAction(const TDataSetErrorEvent& handler, F&& body);

    std::string name_;
    TDataSetState state_ = TDataSetState::dsInactive;
    std::unique_ptr<TDataCursor> cursor_;
    std::vector<TFieldDef> fieldDefs_;
    std::vector<std::unique_ptr<TField>> fields_;  // in field order (Index)
    std::vector<TDataSource*> sources_;

    std::vector<Buffer> buffers_;
    int bufferCount_ = 1;
    int activeRecord_ = 0;
    bool bof_ = true, eof_ = true;

    engine::Record oldValues_;  // the record as it was when editing began
    int64_t positionBeforeInsert_ = -1;
    int indexBeforeInsert_ = 0;
    bool modified_ = false;
    bool inBrowseCheck_ = false;

    const engine::Record* filterRecord_ = nullptr;
    int disableCount_ = 0;
    bool pendingChange_ = false;
    TDataSetState stateWhenDisabled_ = TDataSetState::dsInactive;
};

}  // namespace tessel
