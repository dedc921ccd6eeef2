#pragma once

// The query data set: runs its SQL through the engine's database and shows the answer. An
// answer is read-only, unless the query asks for live records and the statement shows the
// records of one table as they are: the data set then edits that table's records.

#include <functional>
#include <string>

#include "base/StringList.h"
#include "framework/data/DataSet.h"
#include "framework/data/Params.h"

namespace tessel {

// A string list that reports its changes: once per change, or once at the end of an update
// bracket in which anything changed.
class TNotifyStringList : public TStringList {
public:
    std::function<void()> OnChange;

    void Put(int index, const std::string& s) override;
    void PutObject(int index, void* object) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;

protected:
    void SetUpdateState(bool updating) override;

private:
    void Changed();
    bool pending_ = false;
};

class TQuery : public TDataSet {
public:
    TQuery();
    ~TQuery() override;

    // The statement's lines. A change closes the query and rebuilds Params (values of
    // parameters that keep their names stay).
    TStrings& SQL() { return sql_; }
    const TStrings& SQL() const { return sql_; }
    void SetSQL(const TStrings& lines);
    // The statement as the engine receives it: the lines, each followed by CR LF.
    std::string Text() const { return sql_.Text(); }

    TParams& Params() { return params_; }
    int ParamCount() const { return params_.Count(); }
    TParam& ParamByName(const std::string& name) { return params_.ParamByName(name); }

    // An alias, a directory, or empty for the engine's default database. Set while closed.
    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& name);

    // Checks the statement and learns its parameters' types from the engine.
    void Prepare();
    void UnPrepare() { prepared_ = false; }
    bool Prepared() const { return prepared_; }
    // Carries out a statement without an answer; RowsAffected tells how many records changed.
    void ExecSQL();
    int64_t RowsAffected() const { return rowsAffected_; }

    // Whether the answer of a SELECT of plain columns of one table file (no DISTINCT,
    // grouping, UNION or joins) opens editable, its records changed in the file. Set while
    // closed; default false.
    bool RequestLive() const { return requestLive_; }
    void SetRequestLive(bool live);
    // Why the open answer cannot be changed ("the query joins tables"); empty when it can.
    std::string ReadOnlyReason() const;
    // The open answer's records are those of this table file (empty: none).
    std::string LiveTablePath() const;

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override;

private:
    void SqlChanged();
    void CheckSql() const;
    // The text with markers as "?" and the values in marker order.
    std::vector<engine::Value> Arguments(std::string& text) const;

    TNotifyStringList sql_;
    TParams params_;
    std::string databaseName_;
    bool prepared_ = false;
    bool requestLive_ = false;
    std::string notLive_;
    int64_t rowsAffected_ = -1;
};

}  // namespace tessel
