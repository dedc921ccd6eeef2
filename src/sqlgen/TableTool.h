#pragma once

// The table-to-SQL generator: reads the structure of an open Paradox or dBASE table and
// writes a CREATE TABLE statement for it (table name, one line per field with its SQL type
// and size, the primary key) that recreates the table when it is run.

#include <cstdint>
#include <string>

#include "base/StringList.h"
#include "framework/data/DbError.h"
#include "sqlgen/FieldList.h"

namespace tessel {

class TTable;

// Facts about the table from the engine's cursor properties.
struct TTableInfo {
    std::string Name;       // without directory and extension
    std::string TableType;  // "PARADOX", "DBASE", "FOXPRO", ...
    int FieldCount = 0;
    int RecordBufferSize = 0;
    int IndexCount = 0;
    int ValCheckCount = 0;
    int RefIntCheckCount = 0;
    uint8_t TableLevel = 0;
    std::string LanguageDriver;
};

// The generator's own failure ("Table Tools exception: ...").
class ETableToolError : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

class TTableTool {
public:
    explicit TTableTool(void* owner = nullptr);
    // Gives the table back the open state it had when it was set.
    ~TTableTool();
    TTableTool(const TTableTool&) = delete;
    TTableTool& operator=(const TTableTool&) = delete;

    const TStrings& SQL() const { return sql_; }
    TTable* Table() const { return table_; }
    // Opens the table when it is closed and generates SQL. Set the options first: changing
    // them later does not generate again. nullptr changes nothing.
    void SetTable(TTable* table);

    bool IncludeRemarks() const { return includeRemarks_; }
    void SetIncludeRemarks(bool v) { includeRemarks_ = v; }
    bool ShowExt() const { return showExt_; }
    void SetShowExt(bool v) { showExt_ = v; }
    bool ShowTable() const { return showTable_; }
    void SetShowTable(bool v) { showTable_ = v; }
    bool QuoteFields() const { return quoteFields_; }
    void SetQuoteFields(bool v) { quoteFields_ = v; }
    bool QuoteTables() const { return quoteTables_; }
    void SetQuoteTables(bool v) { quoteTables_ = v; }
    const TTableInfo& TableInfo() const { return tableInfo_; }
    const TFieldList& Fields() const { return fieldList_; }

    // The table's name as the statement writes it.
    std::string TableNameText() const;
    // A field name as the statement writes it; a text with "," is taken as a list of names
    // (blanks end a name that is not quoted) and comes back joined with ",".
    std::string FieldNameText(const std::string& s) const;
    // One name, whole, as the statement writes it.
    std::string OneFieldNameText(const std::string& name) const;
    std::string FieldTypeText(uint16_t fieldType, uint16_t subType, uint16_t units2, uint16_t units1) const;

private:
    void GetTableInfo();
    void LoadFields();
    void BuildSQL();
    void AddPrimaryKey();

    void* owner_;
    TStringList sql_;
    TTable* table_ = nullptr;
    bool wasActive_ = false;
    bool includeRemarks_ = false;
    bool showExt_ = true;
    bool showTable_ = true;
    bool quoteFields_ = true;
    bool quoteTables_ = true;
    TTableInfo tableInfo_;
    TFieldList fieldList_;
};

}  // namespace tessel
