#pragma once

// Database servers behind aliases of TYPE=POSTGRESQL: a connection through libpq, answers read
// page by page through a server-side cursor, statements sent as written, and tables moved
// between the files and the server with COPY.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/Cursor.h"
#include "engine/storage/Field.h"
#include "engine/storage/Table.h"

typedef struct pg_conn PGconn;
typedef struct pg_cancel PGcancel;
typedef struct pg_result PGresult;

namespace tessel::engine {

class AliasStore;
class Engine;

// How to reach the server of an alias: libpq's connection keywords from the alias settings
// (SERVER NAME -> host, PORT -> port, DATABASE NAME -> dbname, USER NAME -> user; any other
// setting is a libpq keyword, its name in lower case with blanks as underscores).
struct ServerParams {
    std::string alias;
    std::vector<std::pair<std::string, std::string>> keywords;
    // "localhost:5432, database sales" (what messages name the server by).
    std::string Describe() const;
};
ServerParams ServerParamsFor(const AliasStore& aliases, const std::string& alias);

// Asked when the server wants a password that neither ~/.pgpass, PGPASSWORD nor a service
// file gave: the alias and the server's description; nullopt gives up. Unset: no prompt.
using PasswordPrompt = std::function<std::optional<std::string>(const std::string& alias, const std::string& server)>;
void SetPasswordPrompt(PasswordPrompt prompt);

// One connection. Failures raise EngineError naming the alias and the server; a statement's
// failure carries the server's message, its SQLSTATE and the position it points at.
class ServerConnection {
public:
    // With `engine`, waiting for the server ticks the engine (a window stays painted and
    // stoppable) and an interrupt of the engine asks the server to end the statement.
    explicit ServerConnection(ServerParams params, Engine* engine = nullptr);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    const ServerParams& Params() const { return params_; }
    // Whether the connection still stands (not broken by the server or the network).
    bool Healthy() const;
    PGconn* Handle() { return conn_; }

    // Runs statements without an answer (as written); returns the rows the last one changed.
    int64_t Execute(const std::string& sql);
    // The answer of a query as it comes, a page of rows at a time from a server-side cursor
    // (the connection is busy with it until the answer is read to its end or dropped).
    std::unique_ptr<Cursor> Query(Engine& engine, const std::string& sql);
    // Whether a statement gives rows (a query) rather than changes.
    static bool IsQuery(const std::string& sql);

    // Creates table `name` with fields mapped from `fields` (`keyFields` leading ones as its
    // primary key, and `indexes` as indexes) and loads it with COPY from `next`, all in one
    // transaction: a failure leaves no table. Returns the rows loaded.
    uint64_t CreateAndLoad(const std::string& name, const std::vector<FieldDesc>& fields, size_t keyFields,
                           const std::vector<IndexDesc>& indexes, const std::function<bool(Record&)>& next);

    // Appends rows to an existing table with COPY: `names` are its columns (as the server
    // names them), `fields` the values of each row `next` gives that go into them. With
    // `freeze`, the table was made in the running transaction.
    uint64_t CopyIn(const std::string& table, const std::vector<std::string>& names, const std::vector<size_t>& fields,
                    const std::function<bool(Record&)>& next, bool freeze = false);
    // A query's whole answer in one exchange (no server-side cursor, no transaction of its
    // own): for small answers such as a lookup by key.
    std::unique_ptr<Cursor> QueryAll(Engine& engine, const std::string& sql);
    // The columns of a table as the engine's fields (raises EngineError when it is not there).
    std::vector<FieldDesc> Columns(const std::string& table);

    // Asks the server to end the statement running on this connection; safe from another
    // thread and from a signal handler.
    void Cancel() noexcept;
    // Sends one command text and waits for its result (the last one of several statements,
    // or the first that failed); the caller frees it. Null when the connection broke.
    PGresult* Exec(const std::string& sql);

    [[noreturn]] void Fail(const std::string& what) const;

private:
    // Execute, with the position of a failure told `shift` characters earlier.
    int64_t Run(const std::string& sql, int shift);
    // The answer whose first rows are in `first` (read on through `cursor`, when named).
    std::unique_ptr<Cursor> Answer(Engine& engine, const std::string& cursor, bool own, PGresult* first);

    ServerParams params_;
    Engine* engine_;
    PGconn* conn_ = nullptr;
    PGcancel* cancel_ = nullptr;  // made at connection time: sending it allocates nothing
    int cursors_ = 0;
};

// The engine's field for a server column of type `oid` with modifier `typmod`.
FieldDesc ServerField(const std::string& name, unsigned oid, int typmod);
// The server's column type for one of our fields.
std::string ServerType(const FieldDesc& field);

// Copies a server's answer into a new table file (type by extension), reading it on as it
// goes, each row once; built under a temporary name as every copy is.
uint64_t CopyAnswerToFile(Cursor& answer, const std::string& destPath);

// A table name as the server's SQL writes it: "public.cust" as "public"."cust".
std::string QuoteServerName(const std::string& name);

// "Sales" and "cust" of ":Sales:cust"; nullopt for anything else.
std::optional<std::pair<std::string, std::string>> SplitServerTable(const std::string& text);

}  // namespace tessel::engine
