// The module over server tables: constraints and columns sent to the server, inserts loaded
// at the statement's end.

#include "engine/ServerTables.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/EngineError.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/Server.h"
#include "engine/SqlValue.h"
#include "engine/VirtualTable.h"
#include "engine/sql/Binder.h"

namespace tessel::engine {

namespace {

std::atomic<uint64_t> rowReads{0};

struct STab : sqlite3_vtab {
    Database* db = nullptr;
    ServerTableEntry* entry = nullptr;
};

struct SCursor : sqlite3_vtab_cursor {
    std::unique_ptr<Cursor> rows;
    std::vector<int> position;  // for each column, its place in the rows; -1 when not asked for
    int64_t at = 0;
    bool eof = true;
    Record current;
};

int Fail(sqlite3_vtab* vtab, Database* db, const std::exception& e) {
    return VirtualTableFailure(vtab, db, e);
}

std::string Quoted(const std::string& name) {
    return sql::QuoteSqliteIdentifier(name);  // the server's identifiers quote the same way
}

// A value SQLite hands the module, as a literal of the server's SQL for a column of `field`'s
// type; empty for NULL (which no comparison matches).
std::string Literal(sqlite3_value* v, const FieldDesc& field) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            if (field.type == fldtype::kBool) return sqlite3_value_int64(v) ? "true" : "false";
            return std::to_string(sqlite3_value_int64(v));
        case SQLITE_FLOAT: {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", sqlite3_value_double(v));
            return text;
        }
        case SQLITE_BLOB: {
            static const char* hex = "0123456789abcdef";
            const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(v));
            std::string out = "'\\x";
            for (int k = 0; k < sqlite3_value_bytes(v); ++k) {
                out += hex[p[k] >> 4];
                out += hex[p[k] & 15];
            }
            return out + "'::bytea";
        }
        default: {
            // Text: a quoted string literal (the server's standard strings: only quotes double).
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
            std::string out = "'";
            for (int k = 0; k < sqlite3_value_bytes(v); ++k)
                out += p[k] == '\'' ? std::string("''") : std::string(1, p[k]);
            return out + "'";
        }
    }
}

int Connect(sqlite3* db, void* aux, int, const char* const* argv, sqlite3_vtab** out, char** err) {
    auto* owner = static_cast<Database*>(aux);
    ServerTableEntry* entry = owner->FindServerEntry(argv[2]);
    if (!entry) {
        *err = sqlite3_mprintf("no server table %s", argv[2]);
        return SQLITE_ERROR;
    }
    const int rc = sqlite3_declare_vtab(db, VirtualTableDeclaration(entry->info.fields).c_str());
    if (rc != SQLITE_OK) {
        *err = sqlite3_mprintf("Table \"%s\" cannot be queried: %s", entry->info.path.c_str(), sqlite3_errmsg(db));
        return rc;
    }
    sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
    auto* tab = new STab();
    tab->db = owner;
    tab->entry = entry;
    *out = tab;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab) {
    delete static_cast<STab*>(vtab);
    return SQLITE_OK;
}

// The plan: "<columns used as hex>|" then "<column><op>;" for each constraint handed to
// xFilter, in argument order (op one of = < <= > >= and I for an IN list).
int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    auto* tab = static_cast<STab*>(vtab);
    const size_t columns = tab->entry->info.fields.size();
    char head[32];
    std::snprintf(head, sizeof head, "%llx|", static_cast<unsigned long long>(info->colUsed));
    std::string plan = head;
    int argument = 0;
    double cost = 1e6;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (!c.usable || c.iColumn < 0 || static_cast<size_t>(c.iColumn) >= columns) continue;
        const char* op = nullptr;
        switch (c.op) {
            case SQLITE_INDEX_CONSTRAINT_EQ:
                op = sqlite3_vtab_in(info, i, 1) ? "I" : "=";
                break;
            case SQLITE_INDEX_CONSTRAINT_GT:
                op = ">";
                break;
            case SQLITE_INDEX_CONSTRAINT_GE:
                op = ">=";
                break;
            case SQLITE_INDEX_CONSTRAINT_LT:
                op = "<";
                break;
            case SQLITE_INDEX_CONSTRAINT_LE:
                op = "<=";
                break;
            default:
                break;
        }
        if (!op) continue;
        info->aConstraintUsage[i].argvIndex = ++argument;
        info->aConstraintUsage[i].omit = 0;  // SQLite checks again, by the dialect's rules
        plan += std::to_string(c.iColumn) + op + ";";
        cost /= *op == '=' || *op == 'I' ? 1000 : 10;
    }
    info->idxStr = sqlite3_mprintf("%s", plan.c_str());
    info->needToFreeIdxStr = 1;
    info->estimatedCost = cost;
    info->estimatedRows = static_cast<sqlite3_int64>(cost);
    return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = new SCursor();
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cur) {
    delete static_cast<SCursor*>(cur);
    return SQLITE_OK;
}

void Step(SCursor* c) {
    c->eof = c->at >= c->rows->CountUpTo(c->at);
    if (c->eof) {
        c->rows.reset();  // the server's answer ends here
        return;
    }
    c->rows->ReadRecord(c->at, c->current);
    rowReads.fetch_add(1, std::memory_order_relaxed);
}

int Filter(sqlite3_vtab_cursor* cur, int, const char* idxStr, int argc, sqlite3_value** argv) {
    auto* c = static_cast<SCursor*>(cur);
    auto* tab = static_cast<STab*>(cur->pVtab);
    const ServerTableEntry& e = *tab->entry;
    try {
        const std::string plan = idxStr ? idxStr : "0|";
        const size_t bar = plan.find('|');
        const unsigned long long used = std::strtoull(plan.substr(0, bar).c_str(), nullptr, 16);
        std::string select;
        c->position.assign(e.info.fields.size(), -1);
        int next = 0;
        for (size_t k = 0; k < e.info.fields.size(); ++k) {
            if (!(k >= 63 ? (used >> 63) & 1 : (used >> k) & 1)) continue;
            select += (select.empty() ? "" : ", ") + Quoted(e.info.fields[k].name);
            c->position[k] = next++;
        }
        // The row's address on the server is its rowid here: SQLite tells rows apart by it when
        // it joins the answers of the branches of an OR.
        select = (e.rowIds ? std::string("ctid") : std::string("NULL")) + (select.empty() ? "" : ", ") + select;
        for (int& p : c->position)
            if (p >= 0) ++p;
        std::string where;
        size_t at = bar + 1;
        bool none = false;  // a comparison with NULL, or an empty IN list: no row matches
        for (int arg = 0; arg < argc && at < plan.size(); ++arg) {
            const size_t semi = plan.find(';', at);
            const std::string term = plan.substr(at, semi - at);
            at = semi + 1;
            size_t digits = 0;
            while (digits < term.size() && std::isdigit(static_cast<unsigned char>(term[digits]))) ++digits;
            const size_t column = std::stoul(term.substr(0, digits));
            const std::string op = term.substr(digits);
            const FieldDesc& field = e.info.fields[column];
            std::string condition = Quoted(field.name);
            if (op == "I") {
                std::string list;
                sqlite3_value* v = nullptr;
                for (int rc = sqlite3_vtab_in_first(argv[arg], &v); rc == SQLITE_OK && v;
                     rc = sqlite3_vtab_in_next(argv[arg], &v)) {
                    const std::string literal = Literal(v, field);
                    if (!literal.empty()) list += (list.empty() ? "" : ", ") + literal;
                }
                if (list.empty()) none = true;
                condition += " IN (" + list + ")";
            } else {
                const std::string literal = Literal(argv[arg], field);
                if (literal.empty()) none = true;
                condition += " " + op + " " + literal;
            }
            where += (where.empty() ? " WHERE " : " AND ") + condition;
        }
        c->rows.reset();
        c->at = 0;
        if (none) {
            c->eof = true;
            return SQLITE_OK;
        }
        ServerConnection& server = tab->db->ServerFor(e.alias);
        const std::string sql = "SELECT " + select + " FROM " + QuoteServerName(e.table) + where;
        // A constrained lookup comes whole in one exchange; a scan page by page.
        c->rows = where.empty() ? server.Query(tab->db->Owner(), sql) : server.QueryAll(tab->db->Owner(), sql);
        Step(c);
        return SQLITE_OK;
    } catch (const std::exception& ex) {
        return Fail(cur->pVtab, tab->db, ex);
    }
}

int Next(sqlite3_vtab_cursor* cur) {
    auto* c = static_cast<SCursor*>(cur);
    try {
        ++c->at;
        Step(c);
        return SQLITE_OK;
    } catch (const std::exception& ex) {
        return Fail(cur->pVtab, static_cast<STab*>(cur->pVtab)->db, ex);
    }
}

int Eof(sqlite3_vtab_cursor* cur) {
    return static_cast<SCursor*>(cur)->eof;
}

int Column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int col) {
    auto* c = static_cast<SCursor*>(cur);
    const int p =
        col >= 0 && static_cast<size_t>(col) < c->position.size() ? c->position[static_cast<size_t>(col)] : -1;
    if (p < 0 || static_cast<size_t>(p) >= c->current.size())
        sqlite3_result_null(ctx);
    else
        ResultValue(ctx, c->current[static_cast<size_t>(p)]);
    return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid) {
    auto* c = static_cast<SCursor*>(cur);
    // "(block,item)" as block * 65536 + item; a view's rows are numbered as they come.
    const Value& address = c->current.empty() ? Value() : c->current[0];
    unsigned long long block = 0, item = 0;
    if (address.kind == ValueKind::Text && std::sscanf(address.s.c_str(), "(%llu,%llu)", &block, &item) == 2)
        *rowid = static_cast<sqlite3_int64>((block << 16) | item);
    else
        *rowid = c->at;
    return SQLITE_OK;
}

int Update(sqlite3_vtab* vtab, int argc, sqlite3_value** argv, sqlite3_int64*) {
    auto* tab = static_cast<STab*>(vtab);
    ServerTableEntry& e = *tab->entry;
    try {
        if (argc == 1 || sqlite3_value_type(argv[0]) != SQLITE_NULL)
            throw EngineError("Rows of the server table " + e.info.path +
                                  " cannot be changed or deleted from local SQL; send the statement to the alias " +
                                  e.alias,
                              errc::kNotSupported);
        Record rec(e.info.fields.size());
        for (size_t k = 0; k < e.info.fields.size(); ++k) ValueForField(argv[2 + k], e.info.fields[k], rec[k]);
        e.inserted.push_back(std::move(rec));
        return SQLITE_OK;
    } catch (const std::exception& ex) {
        return Fail(vtab, tab->db, ex);
    }
}

sqlite3_module MakeModule() {
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = Connect;
    m.xConnect = Connect;
    m.xBestIndex = BestIndex;
    m.xDisconnect = Disconnect;
    m.xDestroy = Disconnect;
    m.xOpen = Open;
    m.xClose = Close;
    m.xFilter = Filter;
    m.xNext = Next;
    m.xEof = Eof;
    m.xColumn = Column;
    m.xRowid = Rowid;
    m.xUpdate = Update;
    return m;
}

}  // namespace

void RegisterServerModule(sqlite3* db, Database* owner) {
    static const sqlite3_module module = MakeModule();
    sqlite3_create_module_v2(db, "tessel_server", &module, owner, nullptr);
}

bool IsServerTablePath(const std::string& path) {
    return !path.empty() && path[0] == ':';
}

uint64_t ServerModuleRowReads() {
    return rowReads.load();
}

}  // namespace tessel::engine
