// PostgreSQL behind an alias: connections, paged answers, statements and COPY.

#include "engine/Server.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "engine/Aliases.h"
#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "engine/sql/Binder.h"

namespace tessel::engine {

namespace {

// Type numbers of the server's built-in types (its catalog's oids; they never change).
namespace oid {
constexpr unsigned kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25,
                   kOid = 26, kFloat4 = 700, kFloat8 = 701, kMoney = 790, kBpchar = 1042, kVarchar = 1043, kDate = 1082,
                   kTime = 1083, kTimestamp = 1114, kTimestampTz = 1184, kNumeric = 1700;
}

constexpr int kPageRows = 2000;  // rows a FETCH brings

PasswordPrompt& Prompt() {
    static PasswordPrompt prompt;
    return prompt;
}

// Passwords given at the prompt, for the rest of the session (never written anywhere).
std::map<std::string, std::string>& SessionPasswords() {
    static std::map<std::string, std::string> passwords;
    return passwords;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string Quoted(const std::string& name) {
    return sql::QuoteSqliteIdentifier(name);  // the server's identifiers quote the same way
}

// The server's text of a failed result: its message, SQLSTATE and position (in the text as
// written, `shift` characters of ours before it taken off).
std::string ServerMessage(const PGresult* r, PGconn* conn, int shift = 0) {
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string text = primary ? primary : Trimmed(PQerrorMessage(conn));
    if (r) {
        if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL)) text += "\n" + std::string(detail);
        if (const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE)) text += "\nSQLSTATE: " + std::string(state);
        if (const char* pos = PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION))
            text += "\nPosition: " + std::to_string(std::max(1, std::atoi(pos) - shift));
    }
    return text;
}

// A result that is freed however the scope ends.
struct Result {
    PGresult* r = nullptr;
    explicit Result(PGresult* p) : r(p) {}
    ~Result() { PQclear(r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ExecStatusType Status() const { return PQresultStatus(r); }
};

// ---------------------------------------------------------------------- values from text

int64_t Digits(const char*& p, int count) {
    int64_t v = 0;
    for (int k = 0; k < count && std::isdigit(static_cast<unsigned char>(*p)); ++k) v = v * 10 + (*p++ - '0');
    return v;
}

// "HH:MM:SS[.ffffff]" into milliseconds.
int64_t ParseTime(const char*& p) {
    const int64_t h = Digits(p, 2);
    if (*p == ':') ++p;
    const int64_t m = Digits(p, 2);
    if (*p == ':') ++p;
    const int64_t s = Digits(p, 2);
    int64_t ms = 0;
    if (*p == '.') {
        ++p;
        int n = 0;
        for (; std::isdigit(static_cast<unsigned char>(*p)); ++p, ++n)
            if (n < 3) ms = ms * 10 + (*p - '0');
        for (; n < 3; ++n) ms *= 10;
    }
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

bool ParseDate(const char*& p, int& y, int& m, int& d) {
    y = static_cast<int>(Digits(p, 9));
    if (*p++ != '-') return false;
    m = static_cast<int>(Digits(p, 2));
    if (*p++ != '-') return false;
    d = static_cast<int>(Digits(p, 2));
    return IsValidDate(y, m, d);
}

// An exact decimal "-123.4500" at `scale` digits after the point; false when it does not fit.
bool ParseDecimal(const char* p, int scale, int64_t& scaled) {
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t v = 0;
    int after = -1;
    auto shift = [&v](int digit) {
        if (v > (INT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
        return true;
    };
    for (; *p; ++p) {
        if (*p == '.') {
            after = 0;
            continue;
        }
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
        if (after >= 0 && after == scale) continue;  // the server gives no more than the scale
        if (!shift(*p - '0')) return false;
        if (after >= 0) ++after;
    }
    for (int k = after < 0 ? 0 : after; k < scale; ++k)
        if (!shift(0)) return false;
    scaled = negative ? -v : v;
    return true;
}

void ValueFromText(const char* text, int length, unsigned type, const FieldDesc& field, Value& out) {
    switch (type) {
        case oid::kBool:
            out.SetBool(text[0] == 't');
            return;
        case oid::kInt2:
        case oid::kInt4:
        case oid::kOid:
            out.SetInt(std::strtoll(text, nullptr, 10));
            return;
        case oid::kInt8:
            out.SetDecimal(std::strtoll(text, nullptr, 10), 0);
            return;
        case oid::kFloat4:
        case oid::kFloat8:
            out.SetDouble(std::strtod(text, nullptr));
            return;
        case oid::kNumeric: {
            int64_t scaled = 0;
            if (field.type == fldtype::kBcd && ParseDecimal(text, field.units2, scaled))
                out.SetDecimal(scaled, field.units2);
            else
                out.SetDouble(std::strtod(text, nullptr));
            return;
        }
        case oid::kDate: {
            const char* p = text;
            int y, m, d;
            if (ParseDate(p, y, m, d))
                out = Value::Date(y, m, d);
            else
                out.SetNull();  // infinity and dates before the common era
            return;
        }
        case oid::kTime: {
            const char* p = text;
            out.kind = ValueKind::Time;
            out.i = ParseTime(p);
            return;
        }
        case oid::kTimestamp:
        case oid::kTimestampTz: {
            const char* p = text;
            int y, m, d;
            if (!ParseDate(p, y, m, d) || *p != ' ') {
                out.SetNull();
                return;
            }
            ++p;
            out.kind = ValueKind::Timestamp;
            out.i = DayNumber(y, m, d) * kMsPerDay + ParseTime(p);
            return;
        }
        case oid::kBytea: {
            // Hex form: "\x" then two digits a byte.
            std::string bytes;
            if (length >= 2 && text[0] == '\\' && text[1] == 'x') {
                bytes.reserve(static_cast<size_t>(length - 2) / 2);
                for (int k = 2; k + 1 < length; k += 2)
                    bytes += static_cast<char>(std::stoi(std::string(text + k, 2), nullptr, 16));
            }
            out.SetBytes(bytes);
            return;
        }
        default:
            out.SetText(std::string_view(text, static_cast<size_t>(length)));
    }
}

// ---------------------------------------------------------------------- values as COPY text

void AppendCopyText(const Value& v, std::string& line) {
    switch (v.kind) {
        case ValueKind::Null:
            line += "\\N";
            return;
        case ValueKind::Bool:
            line += v.i ? 't' : 'f';
            return;
        case ValueKind::Bytes: {
            static const char* hex = "0123456789abcdef";
            line += "\\\\x";
            for (unsigned char c : v.s) {
                line += hex[c >> 4];
                line += hex[c & 15];
            }
            return;
        }
        case ValueKind::Double:
            if (std::isnan(v.d)) {
                line += "NaN";
                return;
            }
            if (std::isinf(v.d)) {
                line += v.d > 0 ? "Infinity" : "-Infinity";
                return;
            }
            break;
        case ValueKind::Text:
            for (char c : v.s) {
                switch (c) {
                    case '\\':
                        line += "\\\\";
                        break;
                    case '\t':
                        line += "\\t";
                        break;
                    case '\n':
                        line += "\\n";
                        break;
                    case '\r':
                        line += "\\r";
                        break;
                    default:
                        line += c;
                }
            }
            return;
        default:
            break;
    }
    line += FormatValue(v);
}

// ---------------------------------------------------------------------- the paged answer

class ServerRows : public RowSource {
public:
    ServerRows(ServerConnection& conn, std::string cursor, bool ownTransaction, PGresult* first)
        : conn_(conn), cursor_(std::move(cursor)), ownTransaction_(ownTransaction), page_(first) {}
    ~ServerRows() override {
        PQclear(page_);
        if (open_) Close();
    }
    const PGresult* Page() const { return page_; }

    bool Next(Record& row) override {
        while (open_ && at_ >= PQntuples(page_)) {
            // A whole answer (no cursor) is its one page.
            const bool last = cursor_.empty() || PQntuples(page_) < kPageRows;
            PQclear(page_);
            page_ = nullptr;
            if (last) {
                Close();
                if (failed_) conn_.Fail("The answer could not be ended");
                return false;
            }
            page_ = conn_.Exec("FETCH FORWARD " + std::to_string(kPageRows) + " FROM " + cursor_);
            if (PQresultStatus(page_) != PGRES_TUPLES_OK) {
                const std::string message = ServerMessage(page_, conn_.Handle());
                PQclear(page_);
                page_ = nullptr;
                Close();
                throw EngineError("Alias " + conn_.Params().alias + " (" + conn_.Params().Describe() +
                                      "): the answer broke off: " + message,
                                  errc::kServer);
            }
            at_ = 0;
        }
        if (!open_) return false;
        const int n = PQnfields(page_);
        row.resize(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            if (PQgetisnull(page_, at_, k)) {
                row[static_cast<size_t>(k)].SetNull();
                continue;
            }
            ValueFromText(PQgetvalue(page_, at_, k), PQgetlength(page_, at_, k), PQftype(page_, k),
                          fields_[static_cast<size_t>(k)], row[static_cast<size_t>(k)]);
        }
        ++at_;
        return true;
    }
    std::vector<FieldDesc> fields_;

private:
    // Ends the cursor and its transaction; never throws (a dropped connection has ended both).
    void Close() noexcept {
        open_ = false;
        if (cursor_.empty()) return;
        PGconn* c = conn_.Handle();
        if (PQstatus(c) != CONNECTION_OK) {
            failed_ = true;
            return;
        }
        PQclear(PQexec(c, ("CLOSE " + cursor_).c_str()));
        if (ownTransaction_) {
            PGresult* r = PQexec(c, "COMMIT");
            failed_ = PQresultStatus(r) != PGRES_COMMAND_OK;
            PQclear(r);
        }
    }

    ServerConnection& conn_;
    std::string cursor_;
    bool ownTransaction_;
    PGresult* page_;
    int at_ = 0;
    bool open_ = true;
    bool failed_ = false;
};

}  // namespace

// ---------------------------------------------------------------------- parameters

std::string ServerParams::Describe() const {
    std::string host, port, db;
    for (const auto& [k, v] : keywords) {
        if (k == "host") host = v;
        if (k == "port") port = v;
        if (k == "dbname") db = v;
    }
    std::string text = host.empty() ? "local server" : host;
    if (!port.empty()) text += ":" + port;
    if (!db.empty()) text += ", database " + db;
    return text;
}

ServerParams ServerParamsFor(const AliasStore& aliases, const std::string& alias) {
    ServerParams params;
    params.alias = alias;
    for (const std::string& line : aliases.AliasParams(alias)) {
        const size_t eq = line.find('=');
        std::string key = line.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        if (SameAscii(key, "SERVER NAME"))
            key = "host";
        else if (SameAscii(key, "DATABASE NAME"))
            key = "dbname";
        else if (SameAscii(key, "USER NAME"))
            key = "user";
        else {
            for (char& c : key) c = c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (key == "password") continue;  // never taken from the alias file
        params.keywords.emplace_back(key, value);
    }
    return params;
}

void SetPasswordPrompt(PasswordPrompt prompt) {
    Prompt() = std::move(prompt);
}

// ---------------------------------------------------------------------- the connection

ServerConnection::ServerConnection(ServerParams params, Engine* engine) : params_(std::move(params)), engine_(engine) {
    auto connect = [&](const std::string* password) {
        std::vector<const char*> keys, values;
        for (const auto& [k, v] : params_.keywords) {
            keys.push_back(k.c_str());
            values.push_back(v.c_str());
        }
        keys.push_back("client_encoding");
        values.push_back("UTF8");
        keys.push_back("application_name");
        values.push_back("Tessel");
        if (password) {
            keys.push_back("password");
            values.push_back(password->c_str());
        }
        keys.push_back(nullptr);
        values.push_back(nullptr);
        return PQconnectdbParams(keys.data(), values.data(), 0);
    };
    auto& remembered = SessionPasswords();
    const auto known = remembered.find(params_.alias);
    conn_ = connect(known != remembered.end() ? &known->second : nullptr);
    if (PQstatus(conn_) != CONNECTION_OK && PQconnectionNeedsPassword(conn_) && Prompt()) {
        if (const std::optional<std::string> password = Prompt()(params_.alias, params_.Describe())) {
            PQfinish(conn_);
            conn_ = connect(&*password);
            if (PQstatus(conn_) == CONNECTION_OK) remembered[params_.alias] = *password;
        }
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string message = Trimmed(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw EngineError(
            "Cannot connect to the server of alias " + params_.alias + " (" + params_.Describe() + "): " + message,
            errc::kServer);
    }
    cancel_ = PQgetCancel(conn_);
    // Values come as the readers here expect them.
    PQclear(PQexec(conn_, "SET DateStyle TO ISO, YMD; SET extra_float_digits TO 3; SET bytea_output TO hex"));
}

ServerConnection::~ServerConnection() {
    if (cancel_) PQfreeCancel(cancel_);
    PQfinish(conn_);
}

PGresult* ServerConnection::Exec(const std::string& sql) {
    if (!engine_) return PQexec(conn_, sql.c_str());
    if (!PQsendQuery(conn_, sql.c_str())) return nullptr;
    // Waits in slices, so the engine's progress hook runs and a Stop reaches the server.
    bool cancelled = false;
    while (PQisBusy(conn_)) {
        pollfd p{PQsocket(conn_), POLLIN, 0};
        ::poll(&p, 1, 40);
        if (!PQconsumeInput(conn_)) break;
        engine_->Tick();
        if (engine_->Cancelled() && !cancelled) {
            Cancel();
            cancelled = true;
        }
    }
    PGresult* kept = nullptr;
    while (PGresult* r = PQgetResult(conn_)) {
        const ExecStatusType status = PQresultStatus(r);
        const bool failed = status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE;
        const bool keptFailed = kept && PQresultStatus(kept) == PGRES_FATAL_ERROR;
        if (keptFailed && !failed) {
            PQclear(r);
            continue;
        }
        PQclear(kept);
        kept = r;
        // COPY waits for our data: no further result comes until it is sent.
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) break;
    }
    return kept;
}

void ServerConnection::Fail(const std::string& what) const {
    // A statement the engine's interrupt ended is a stop asked for, as everywhere else.
    if (engine_ && engine_->Cancelled() && what.find("SQLSTATE: 57014") != std::string::npos)
        throw EngineError("Operation cancelled", errc::kCancelled);
    throw EngineError("Alias " + params_.alias + " (" + params_.Describe() + "): " + what, errc::kServer);
}

bool ServerConnection::Healthy() const {
    return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

int64_t ServerConnection::Execute(const std::string& sql) {
    return Run(sql, 0);
}

int64_t ServerConnection::Run(const std::string& sql, int shift) {
    Result r(Exec(sql));
    const ExecStatusType status = r.Status();
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(ServerMessage(r.r, conn_, shift));
    const char* changed = PQcmdTuples(r.r);
    return changed && *changed ? std::strtoll(changed, nullptr, 10) : 0;
}

bool ServerConnection::IsQuery(const std::string& sql) {
    size_t at = 0;
    while (at < sql.size()) {
        if (std::isspace(static_cast<unsigned char>(sql[at])) || sql[at] == '(') {
            ++at;
        } else if (sql.compare(at, 2, "--") == 0) {
            at = sql.find('\n', at);
        } else if (sql.compare(at, 2, "/*") == 0) {
            at = sql.find("*/", at);
            if (at != std::string::npos) at += 2;
        } else {
            break;
        }
    }
    if (at >= sql.size()) return false;
    size_t end = at;
    while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end]))) ++end;
    const std::string word = sql.substr(at, end - at);
    for (const char* q : {"SELECT", "WITH", "VALUES", "TABLE", "SHOW", "EXPLAIN"})
        if (SameAscii(word, q)) return true;
    return false;
}

std::unique_ptr<Cursor> ServerConnection::Query(Engine& engine, const std::string& sql) {
    std::string text = sql;
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';'))
        text.pop_back();
    const bool own = PQtransactionStatus(conn_) == PQTRANS_IDLE;
    if (own) Execute("BEGIN");
    const std::string cursor = "tessel_answer_" + std::to_string(++cursors_);
    try {
        const std::string declare = "DECLARE " + cursor + " NO SCROLL CURSOR FOR ";
        Run(declare + text, static_cast<int>(declare.size()));
    } catch (...) {
        if (own) PQclear(PQexec(conn_, "ROLLBACK"));
        throw;
    }
    PGresult* first = Exec("FETCH FORWARD " + std::to_string(kPageRows) + " FROM " + cursor);
    if (PQresultStatus(first) != PGRES_TUPLES_OK) {
        const std::string message = ServerMessage(first, conn_);
        PQclear(first);
        if (own) PQclear(PQexec(conn_, "ROLLBACK"));
        Fail(message);
    }
    return Answer(engine, cursor, own, first);
}

std::unique_ptr<Cursor> ServerConnection::Answer(Engine& engine, const std::string& cursor, bool own, PGresult* first) {
    auto rows = std::make_unique<ServerRows>(*this, cursor, own, first);
    std::vector<FieldDesc> fields;
    for (int k = 0; k < PQnfields(first); ++k)
        fields.push_back(ServerField(PQfname(first, k), PQftype(first, k), PQfmod(first, k)));
    rows->fields_ = fields;
    return Cursor::FromRows(engine, std::move(fields), std::move(rows));
}

std::unique_ptr<Cursor> ServerConnection::QueryAll(Engine& engine, const std::string& sql) {
    PGresult* r = Exec(sql);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        const std::string message = ServerMessage(r, conn_);
        PQclear(r);
        Fail(message);
    }
    return Answer(engine, std::string(), false, r);
}

std::vector<FieldDesc> ServerConnection::Columns(const std::string& table) {
    Result r(Exec("SELECT * FROM " + QuoteServerName(table) + " LIMIT 0"));
    if (r.Status() != PGRES_TUPLES_OK) Fail(ServerMessage(r.r, conn_));
    std::vector<FieldDesc> fields;
    for (int k = 0; k < PQnfields(r.r); ++k)
        fields.push_back(ServerField(PQfname(r.r, k), PQftype(r.r, k), PQfmod(r.r, k)));
    return fields;
}

uint64_t ServerConnection::CreateAndLoad(const std::string& name, const std::vector<FieldDesc>& fields,
                                         size_t keyFields, const std::vector<IndexDesc>& indexes,
                                         const std::function<bool(Record&)>& next) {
    // Field names go to the server in lower case, as its own unquoted names are.
    std::vector<std::string> names;
    std::vector<size_t> kept;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (fields[k].hidden) continue;
        std::string n = fields[k].name;
        for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.push_back(n);
        kept.push_back(k);
    }
    const std::string table = QuoteServerName(name);
    const std::string bare = name.substr(name.rfind('.') == std::string::npos ? 0 : name.rfind('.') + 1);
    std::string create = "CREATE TABLE " + table + " (";
    for (size_t k = 0; k < kept.size(); ++k) {
        if (k) create += ", ";
        create += Quoted(names[k]) + " " + ServerType(fields[kept[k]]);
    }
    if (keyFields > 0) {
        create += ", PRIMARY KEY (";
        for (size_t k = 0; k < keyFields && k < names.size(); ++k) create += (k ? ", " : "") + Quoted(names[k]);
        create += ")";
    }
    create += ")";
    Execute("BEGIN");
    uint64_t loaded = 0;
    try {
        Execute(create);
        // Made in this transaction, the table can take its rows already frozen.
        loaded = CopyIn(table, names, kept, next, true);
        int number = 0;
        for (const auto& index : indexes) {
            if (index.primary || index.fields.empty()) continue;
            std::string columns, part;
            for (size_t at = 0; at <= index.fields.size(); ++at) {
                if (at == index.fields.size() || index.fields[at] == ';') {
                    for (char& c : part) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    if (!part.empty()) columns += (columns.empty() ? "" : ", ") + Quoted(part);
                    part.clear();
                } else {
                    part += index.fields[at];
                }
            }
            Execute(std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                    Quoted(bare + "_" + std::to_string(++number)) + " ON " + table + " (" + columns + ")");
        }
        Execute("COMMIT");
    } catch (...) {
        PQclear(PQexec(conn_, "ROLLBACK"));
        throw;
    }
    return loaded;
}

uint64_t ServerConnection::CopyIn(const std::string& table, const std::vector<std::string>& names,
                                  const std::vector<size_t>& fields, const std::function<bool(Record&)>& next,
                                  bool freeze) {
    std::string copy = "COPY " + table + " (";
    for (size_t k = 0; k < names.size(); ++k) copy += (k ? ", " : "") + Quoted(names[k]);
    copy += freeze ? ") FROM STDIN WITH (FREEZE)" : ") FROM STDIN";
    {
        Result r(Exec(copy));
        if (r.Status() != PGRES_COPY_IN) Fail(ServerMessage(r.r, conn_));
    }
    uint64_t loaded = 0;
    try {
        Record rec;
        std::string block;
        auto flush = [&] {
            if (PQputCopyData(conn_, block.data(), static_cast<int>(block.size())) != 1)
                Fail(Trimmed(PQerrorMessage(conn_)));
            block.clear();
        };
        while (next(rec)) {
            for (size_t k = 0; k < fields.size(); ++k) {
                if (k) block += '\t';
                AppendCopyText(rec.at(fields[k]), block);
            }
            block += '\n';
            ++loaded;
            if (block.size() >= (1 << 16)) flush();
        }
        flush();
    } catch (...) {
        PQputCopyEnd(conn_, "the copy failed");
        while (PGresult* r = PQgetResult(conn_)) PQclear(r);
        throw;
    }
    if (PQputCopyEnd(conn_, nullptr) != 1) Fail(Trimmed(PQerrorMessage(conn_)));
    for (;;) {
        Result r(PQgetResult(conn_));
        if (!r.r) break;
        if (r.Status() != PGRES_COMMAND_OK) Fail(ServerMessage(r.r, conn_));
    }
    return loaded;
}

void ServerConnection::Cancel() noexcept {
    char message[256];
    if (cancel_) PQcancel(cancel_, message, sizeof message);
}

// ---------------------------------------------------------------------- types

FieldDesc ServerField(const std::string& name, unsigned type, int typmod) {
    using namespace fldtype;
    switch (type) {
        case oid::kBool:
            return FieldDesc::Make(name, kBool);
        case oid::kInt2:
            return FieldDesc::Make(name, kInt16);
        case oid::kInt4:
        case oid::kOid:
            return FieldDesc::Make(name, kInt32);
        case oid::kInt8:
            return FieldDesc::Make(name, kBcd, 0, 20, 0);
        case oid::kFloat4:
        case oid::kFloat8:
        case oid::kMoney:
            return FieldDesc::Make(name, kFloat);
        case oid::kNumeric:
            if (typmod >= 4) {
                const int precision = ((typmod - 4) >> 16) & 0xFFFF, scale = (typmod - 4) & 0xFFFF;
                if (precision <= 18)
                    return FieldDesc::Make(name, kBcd, 0, static_cast<uint16_t>(precision),
                                           static_cast<uint16_t>(scale));
            }
            return FieldDesc::Make(name, kFloat);
        case oid::kDate:
            return FieldDesc::Make(name, kDate);
        case oid::kTime:
            return FieldDesc::Make(name, kTime);
        case oid::kTimestamp:
        case oid::kTimestampTz:
            return FieldDesc::Make(name, kTimestamp);
        case oid::kBytea:
            return FieldDesc::Make(name, kBlob, fldsub::kBinary);
        case oid::kChar:
            return FieldDesc::Make(name, kString, 0, 1);
        case oid::kName:
            return FieldDesc::Make(name, kString, 0, 64);
        case oid::kBpchar:
        case oid::kVarchar:
            if (typmod >= 5 && typmod - 4 <= 255)
                return FieldDesc::Make(name, kString, 0, static_cast<uint16_t>(typmod - 4));
            return FieldDesc::Make(name, kBlob, fldsub::kMemo);
        default:
            // Text and every other type come as text, long enough to be a memo.
            return FieldDesc::Make(name, kBlob, fldsub::kMemo);
    }
}

std::string ServerType(const FieldDesc& f) {
    using namespace fldtype;
    switch (f.type) {
        case kString:
            return "varchar(" + std::to_string(std::max<int>(f.units1, 1)) + ")";
        case kBool:
            return "boolean";
        case kInt16:
            return "smallint";
        case kInt32:
            return "integer";
        case kFloat:
            // A dBASE number of given digits is exact; a binary float stays one.
            if (f.nativeType == 'N' && f.units1 > 0)
                return "numeric(" + std::to_string(f.units1) + "," + std::to_string(f.units2) + ")";
            return "double precision";
        case kBcd:
            return "numeric(" + std::to_string(std::max<int>(f.units1, 1)) + "," + std::to_string(f.units2) + ")";
        case kDate:
            return "date";
        case kTime:
            return "time(3)";
        case kTimestamp:
            return "timestamp(3)";
        case kBlob:
            return f.subType == fldsub::kMemo || f.subType == fldsub::kFormattedMemo ? "text" : "bytea";
        case kBytes:
            return "bytea";
        default:
            return "text";
    }
}

uint64_t CopyAnswerToFile(Cursor& answer, const std::string& destPath) {
    int64_t next = 0;
    return CopyRecords(answer.Fields(), nullptr, destPath, [&](Record& rec) {
        if (next >= answer.CountUpTo(next)) return false;
        answer.ReadRecord(next++, rec);
        return true;
    });
}

std::string QuoteServerName(const std::string& name) {
    std::string out;
    size_t start = 0;
    for (;;) {
        const size_t dot = name.find('.', start);
        out += Quoted(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) return out;
        out += '.';
        start = dot + 1;
    }
}

std::optional<std::pair<std::string, std::string>> SplitServerTable(const std::string& text) {
    if (text.size() < 4 || text[0] != ':') return std::nullopt;
    const size_t second = text.find(':', 1);
    if (second == std::string::npos || second == 1 || second + 1 >= text.size()) return std::nullopt;
    return std::make_pair(text.substr(1, second - 1), text.substr(second + 1));
}

}  // namespace tessel::engine
