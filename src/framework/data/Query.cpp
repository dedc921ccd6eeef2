// The query data set: SQL text, parameters, the answer.

#include "framework/data/Query.h"

#include "engine/Cursor.h"
#include "engine/Database.h"
#include "framework/data/LiveCursor.h"
#include "framework/data/Session.h"

namespace tessel {

// ---------------------------------------------------------------------- TNotifyStringList

void TNotifyStringList::Changed() {
    if (UpdateCount() > 0) {
        pending_ = true;
        return;
    }
    if (OnChange) OnChange();
}

void TNotifyStringList::SetUpdateState(bool updating) {
    if (updating) {
        pending_ = false;
    } else if (pending_) {
        pending_ = false;
        if (OnChange) OnChange();
    }
}

void TNotifyStringList::Put(int index, const std::string& s) {
    TStringList::Put(index, s);
    Changed();
}

void TNotifyStringList::PutObject(int index, void* object) {
    TStringList::PutObject(index, object);
}

void TNotifyStringList::Insert(int index, const std::string& s) {
    TStringList::Insert(index, s);
    Changed();
}

void TNotifyStringList::Delete(int index) {
    TStringList::Delete(index);
    Changed();
}

void TNotifyStringList::Clear() {
    const bool had = Count() > 0;
    TStringList::Clear();
    if (had) Changed();
}

// ---------------------------------------------------------------------- the answer cursor

namespace {

class TAnswerCursor : public TDataCursor {
public:
    explicit TAnswerCursor(std::unique_ptr<engine::Cursor> cursor) : cursor_(std::move(cursor)) {}

    const std::vector<engine::FieldDesc>& Fields() const override { return cursor_->Fields(); }
    int64_t RecordCount() const override { return cursor_->RecordCount(); }
    int64_t KnownCount() const override { return cursor_->KnownCount(); }
    bool IsComplete() const override { return cursor_->IsComplete(); }
    int64_t CountUpTo(int64_t position) override { return cursor_->CountUpTo(position); }
    bool FetchMore(int64_t rows) override { return cursor_->FetchMore(rows); }
    void ReadRecord(int64_t position, engine::Record& out) override { cursor_->ReadRecord(position, out); }
    bool IsSequenced() const override { return cursor_->IsSequenced(); }
    uint64_t CopyTo(const std::string& destPath) override {
        if (cursor_->HasOwner()) return cursor_->Owner().BatchCopy(*cursor_, destPath);
        return engine::CopyAnswerToFile(*cursor_, destPath);  // a server's answer
    }

private:
    std::unique_ptr<engine::Cursor> cursor_;
};

}  // namespace

// --------------------------------------------------------------------------------- TQuery

TQuery::TQuery() {
    sql_.OnChange = [this] { SqlChanged(); };
}

TQuery::~TQuery() {
    Close();
    sql_.OnChange = nullptr;
}

void TQuery::SetSQL(const TStrings& lines) {
    sql_.Assign(lines);
}

void TQuery::SetDatabaseName(const std::string& name) {
    if (name == databaseName_) return;
    CheckInactive();
    databaseName_ = name;
    prepared_ = false;
}

void TQuery::SqlChanged() {
    Close();
    prepared_ = false;
    TParams rebuilt;
    for (const auto& name : TParams::ParseSQL(sql_.Text()))
        if (!rebuilt.FindParam(name)) rebuilt.CreateParam(TFieldType::ftUnknown, name, TParamType::ptUnknown);
    rebuilt.AssignValues(params_);
    params_ = std::move(rebuilt);
}

void TQuery::CheckSql() const {
    bool empty = true;
    for (int i = 0; i < sql_.Count() && empty; ++i)
        for (char c : sql_.Get(i))
            if (static_cast<unsigned char>(c) > ' ') {
                empty = false;
                break;
            }
    if (empty) Error(dbmsg::kNoSql);
}

std::vector<engine::Value> TQuery::Arguments(std::string& text) const {
    std::vector<engine::Value> values;
    for (const auto& name : TParams::ParseSQL(sql_.Text(), &text)) {
        const TParam* p = params_.FindParam(name);
        if (!p) Error("Parameter '" + name + "' not found");
        if (!p->Bound()) Error("No value for parameter '" + name + "'");
        values.push_back(p->Value());
    }
    return values;
}

void TQuery::Prepare() {
    CheckSql();
    if (IsServerDatabase(databaseName_)) {
        // The server checks its own SQL when it runs it.
        prepared_ = true;
        return;
    }
    std::string text;
    Arguments(text);
    engine::Database& db = OpenSessionDatabase(databaseName_);
    const auto types = Engine([&] { return db.ParameterTypes(text); });
    const auto names = TParams::ParseSQL(sql_.Text());
    for (size_t i = 0; i < names.size() && i < types.size(); ++i) {
        TParam* p = params_.FindParam(names[i]);
        if (p && p->DataType() == TFieldType::ftUnknown) {
            engine::FieldDesc desc;
            desc.type = types[i].type;
            desc.units2 = types[i].units2;
            p->SetDataType(FieldDefFromDesc(desc, 0).dataType);
        }
        if (p && p->ParamType() == TParamType::ptUnknown) p->SetParamType(TParamType::ptInput);
    }
    prepared_ = true;
}

std::unique_ptr<TDataCursor> TQuery::CreateCursor() {
    CheckSql();
    if (IsServerDatabase(databaseName_)) {
        // The server's SQL as written (its "::" casts are no parameter markers).
        engine::Engine& engine = SessionEngine();
        std::unique_ptr<engine::Cursor> answer =
            Engine([&] { return engine.Server(databaseName_).Query(engine, sql_.Text()); });
        notLive_ = "the answer comes from a database server";
        return std::make_unique<TAnswerCursor>(std::move(answer));
    }
    std::string text;
    const auto values = Arguments(text);
    engine::Database& db = OpenSessionDatabase(databaseName_);
    std::unique_ptr<engine::Cursor> answer = db.OpenQuery(text, values, requestLive_);
    notLive_ = requestLive_ ? answer->Source().notLive : "the query does not ask for live records";
    if (!answer->Source().tablePath.empty()) return std::make_unique<TLiveAnswerCursor>(std::move(answer));
    return std::make_unique<TAnswerCursor>(std::move(answer));
}

void TQuery::SetRequestLive(bool live) {
    if (live == requestLive_) return;
    CheckInactive();
    requestLive_ = live;
}

namespace {

TLiveAnswerCursor* LiveCursorOf(TDataCursor* cursor) {
    return cursor ? dynamic_cast<TLiveAnswerCursor*>(cursor->Base()) : nullptr;
}

}  // namespace

std::string TQuery::ReadOnlyReason() const {
    if (!Active()) return "the query is not open";
    if (const TLiveAnswerCursor* live = LiveCursorOf(Cursor())) return live->WhyReadOnly();
    return notLive_;
}

std::string TQuery::LiveTablePath() const {
    const TLiveAnswerCursor* live = Active() ? LiveCursorOf(Cursor()) : nullptr;
    return live ? live->TablePath() : std::string();
}

void TQuery::ExecSQL() {
    CheckSql();
    if (IsServerDatabase(databaseName_)) {
        rowsAffected_ = Engine([&] { return SessionEngine().Server(databaseName_).Execute(sql_.Text()); });
        return;
    }
    std::string text;
    const auto values = Arguments(text);
    engine::Database& db = OpenSessionDatabase(databaseName_);
    rowsAffected_ = Engine([&] { return db.Execute(text, values); });
}

}  // namespace tessel
