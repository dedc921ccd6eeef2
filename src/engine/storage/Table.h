#pragma once

// The table interface every storage driver implements.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/Field.h"
#include "engine/storage/Value.h"

namespace tessel::engine {

class StorageDriver;

// The values of one record, one per field of Table::Fields(), in field order.
using Record = std::vector<Value>;

enum class OpenMode { ReadOnly, ReadWrite };
enum class LockMode { Shared, Exclusive };

// What the engine reports about an open table (its cursor properties).
struct TableProperties {
    std::string name;      // file name without directory and extension
    std::string typeName;  // "DBASE", "FOXPRO", "PARADOX"
    uint32_t fieldCount = 0;
    uint32_t recordBufferSize = 0;
    uint32_t indexCount = 0;
    uint32_t valCheckCount = 0;
    uint32_t refIntCheckCount = 0;
    uint32_t level = 0;
    std::string languageDriver;    // at most 31 characters; empty when the table names none
    int codePage = 0;              // code page of the table's text (what the driver decodes with)
    std::string codePageFile;      // what the table's .cpg companion says, when it has one
    bool codePageDeclared = true;  // false: nothing in the files names the code page (taken as told)
};

// One index of a table: its options and its fields joined by ";".
struct IndexDesc {
    std::string name;
    std::string fields;
    bool primary = false;
    bool unique = false;
    bool descending = false;
    bool caseInsensitive = false;
};

// One validity check: the field it guards (from 1) and its picture string.
struct ValCheckDesc {
    uint16_t fieldNumber = 0;
    std::string picture;
};

// How a new table is made. Zero values mean "the driver's choice".
struct CreateOptions {
    int codePage = 0;                 // code page for the table's text
    std::string codePageFile;         // a .cpg companion to write (dBASE), as the source of a copy had
    bool undeclaredCodePage = false;  // a copy: the text is in codePage, the header names none
    bool keepDigits = false;          // a copy: exact numbers keep digits beyond their field's decimals
    std::string languageDriver;       // a language driver name the format knows (overrides codePage)
    int level = 0;                    // table level; 0 = the lowest level that holds the field types
    bool fixNames = false;            // make field names valid for the format instead of failing
    bool keepNames = false;           // a copy within one format: names as the source stored them, repeats too
    size_t keyFields = 0;             // the first fields that form the primary key (drivers with keys)
    // The path the table will have once it is put in place, when it is built under a temporary
    // name: what the files record as their own name comes from it. Empty: the path created.
    std::string finalPath;
};

// One open table file, whatever its format. All storage drivers implement this.
//
// Records are addressed by slot number, 0 .. RecordCount()-1, in file order. A slot may hold
// a deleted record (dBASE keeps them until the table is packed); reading it returns false.
// Reading is cheap and allocation-free once `out` has its capacity: a driver keeps a block of
// raw records in memory and decodes only the fields asked for.
//
// Failures raise EngineError naming the file.
class Table {
public:
    virtual ~Table() = default;
    Table() = default;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The driver of the table's format: what the format can hold and how its files are named.
    virtual const StorageDriver& Driver() const = 0;
    virtual const std::string& FileName() const = 0;
    virtual const TableProperties& Properties() const = 0;
    // The reported fields in order (engine codes and the driver's layout).
    virtual const std::vector<FieldDesc>& Fields() const = 0;
    virtual bool IsReadOnly() const = 0;

    // Number of record slots (deleted ones included) as last read from the file.
    virtual uint32_t RecordCount() const = 0;
    // Re-reads the counts from the file, dropping cached records: another process may have
    // written in the meantime.
    virtual void Refresh() = 0;

    // Decodes slot `recNo` into `out` (resized to the field count). Returns false when the
    // slot holds a deleted record. With `columns` (one flag per field) only the flagged fields
    // are decoded; the others are set to Null. BLOB fields come back whole (memo as Text,
    // binary as Bytes).
    virtual bool ReadRecord(uint32_t recNo, Record& out, const std::vector<bool>* columns = nullptr) = 0;

    // Writes. Values are converted to the field types; a value that does not fit fails and
    // leaves the table as it was. AppendRecord returns the new slot number, UpdateRecord the
    // record's slot afterwards (a keyed table moves a record whose key changed to its place).
    virtual uint32_t AppendRecord(const Record& values) = 0;
    virtual uint32_t UpdateRecord(uint32_t recNo, const Record& values) = 0;
    virtual void DeleteRecord(uint32_t recNo) = 0;
    // Removes deleted records for good. Default: not supported.
    virtual void Pack();

    // One BLOB field of one record; defaults go through ReadRecord / UpdateRecord.
    virtual void ReadBlob(uint32_t recNo, size_t field, Value& out);
    virtual void WriteBlob(uint32_t recNo, size_t field, const Value& value);

    // Raw records, for the transaction journal's before-images: the stored bytes of one slot
    // (deletion mark included), and writing such bytes back unchanged.
    virtual uint32_t RecordSize() const = 0;
    virtual void ReadRawRecord(uint32_t recNo, std::string& out) = 0;
    virtual void WriteRawRecord(uint32_t recNo, std::string_view bytes) = 0;

    virtual std::vector<IndexDesc> Indexes() = 0;
    // A new index over the named fields, made from the records as they stand and kept current
    // by every later change; DropIndex removes one (name compared without case) and returns
    // false when the table has none of that name. Raises EngineError for an index the format
    // cannot hold. Default: the format has no indexes (kNotSupported).
    virtual void CreateIndex(const std::string& name, const std::vector<std::string>& fields, bool unique,
                             bool descending);
    virtual bool DropIndex(const std::string& name);

    // Lookups through an index of the table's own files. CanSeekIndex: an index that begins
    // with `field` can answer SeekIndex now (it is kept current and no change is pending).
    // SeekIndex: the slots of the live records with lo <= field <= hi (a null pointer: no
    // bound) in the index's order, ascending by the field; blank values are never found. A
    // text bound compares by the stored bytes. False when no index can answer; the caller then
    // scans. Default: no index lookups.
    virtual bool CanSeekIndex(size_t /*field*/) { return false; }
    virtual bool SeekIndex(size_t /*field*/, const Value* /*lo*/, const Value* /*hi*/,
                           std::vector<uint32_t>& /*recNos*/) {
        return false;
    }
    virtual std::vector<ValCheckDesc> ValidityChecks() = 0;

    // Holds the table lock across several calls (e.g. a batch of appends, a transaction).
    // Every single call takes the lock it needs by itself; nesting is allowed, and an
    // exclusive request inside a shared hold upgrades it. When the outermost hold ends, Unlock
    // writes what the hold kept back (appends, headers, indexes) and raises when that fails;
    // the hold is let go either way, and the files stay consistent (what was kept back is
    // simply not in them).
    virtual void Lock(LockMode mode) = 0;
    virtual void Unlock() = 0;

    // Flushes and closes; the object can then only be destroyed. Errors raise here, whereas
    // the destructor swallows them.
    virtual void Close() = 0;
    // Lets go of the files, and the locks with them, without writing anything the object keeps
    // back: for a table whose files a rollback has just put back while the object still held
    // them. The object can then only be destroyed. Never raises.
    virtual void Abandon() noexcept = 0;
};

// Holds a table lock for a scope. Release ends the hold at the scope's normal end and reports
// a failure to write what the hold kept back; a hold a failure leaves behind is let go by the
// destructor, which never throws (the failure on its way out is the one reported).
class TableLock {
public:
    TableLock(Table& table, LockMode mode) : table_(table) { table_.Lock(mode); }
    ~TableLock() {
        if (!held_) return;
        try {
            table_.Unlock();
        } catch (...) {
            // Only reached when the scope is left by a failure or without Release.
        }
    }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    void Release() {
        if (!held_) return;
        held_ = false;
        table_.Unlock();
    }

private:
    Table& table_;
    bool held_ = true;
};

// Index of a field by name, compared without regard to ASCII case; -1 when absent.
int FindField(const Table& table, std::string_view name);

// The names SQL knows the fields by, one for each: the field's own name, except where an
// earlier field already has it (without regard to ASCII case, as tables written by programs
// that cut long names short may have): that field is then NAME_2, or NAME_3 and so on, the
// first that is neither a field's own name nor given to an earlier field.
std::vector<std::string> SqlFieldNames(const std::vector<FieldDesc>& fields);

}  // namespace tessel::engine
