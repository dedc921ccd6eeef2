// tessel-sql's table commands: --schema, --dump, --copy.

#include "cli/TableCommands.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include "base/EngineError.h"
#include "engine/Aliases.h"
#include "engine/Engine.h"
#include "engine/Server.h"
#include "engine/TableFiles.h"

namespace tessel::cli {

namespace {

int Fail(std::ostream& err, const std::exception& e) {
    err << "tessel-sql: " << e.what() << "\n";
    return 1;
}

}  // namespace

int RunSchemaCommand(const std::string& file, std::ostream& out, std::ostream& err) {
    try {
        auto table = engine::OpenTableFile(file, engine::OpenMode::ReadOnly);
        const auto& p = table->Properties();
        // Live records only: what --dump and every reader return.
        uint64_t live = 0;
        {
            engine::TableLock lock(*table, engine::LockMode::Shared);
            table->Refresh();
            const std::vector<bool> none(table->Fields().size(), false);
            engine::Record rec;
            for (uint32_t n = 0; n < table->RecordCount(); ++n)
                if (table->ReadRecord(n, rec, &none)) ++live;
        }
        out << "table: " << p.name << "\n"
            << "type: " << p.typeName << "\n"
            << "level: " << p.level << "\n"
            << "language driver: " << p.languageDriver << "\n"
            << "records: " << live << "\n";
        // A field SQL knows by another name (its own repeats an earlier one) says so at the end.
        const std::vector<std::string> sqlNames = engine::SqlFieldNames(table->Fields());
        for (size_t k = 0; k < table->Fields().size(); ++k) {
            const auto& f = table->Fields()[k];
            out << f.name << "\t" << f.type << "\t" << f.subType << "\t" << f.units1 << "\t" << f.units2;
            if (sqlNames[k] != f.name) out << "\tSQL name " << sqlNames[k];
            out << "\n";
        }
        for (const auto& ix : table->Indexes())
            out << "index: " << (ix.primary ? std::string("PRIMARY") : ix.name) << "\t" << ix.fields
                << (ix.unique && !ix.primary ? "\tunique" : "") << (ix.descending ? "\tdescending" : "") << "\n";
        return 0;
    } catch (const std::exception& e) {
        return Fail(err, e);
    }
}

int RunDumpCommand(const std::string& file, std::ostream& out, std::ostream& err) {
    uint64_t written = 0;
    try {
        auto table = engine::OpenTableFile(file, engine::OpenMode::ReadOnly);
        out << engine::CsvHeader(table->Fields());
        engine::TableLock lock(*table, engine::LockMode::Shared);
        table->Refresh();
        engine::Record rec;
        for (uint32_t n = 0; n < table->RecordCount(); ++n) {
            if (!table->ReadRecord(n, rec)) continue;
            out << engine::CsvRecord(rec);
            ++written;
        }
        return 0;
    } catch (const std::exception& e) {
        Fail(err, e);
        if (written > 0) err << "tessel-sql: " << written << " records were read before the failure\n";
        return 1;
    }
}

namespace {

// A server alias and table of ":ALIAS:TABLE", when the alias names a server.
std::optional<std::pair<std::string, std::string>> ServerTable(const engine::AliasStore& aliases,
                                                               const std::string& text) {
    auto parts = engine::SplitServerTable(text);
    if (parts && aliases.IsServerAlias(parts->first)) return parts;
    return std::nullopt;
}

// Into a new table on the server, keyed and indexed as the file is.
uint64_t CopyToServer(const engine::AliasStore& aliases, const std::string& source, const std::string& alias,
                      const std::string& name) {
    auto table = engine::OpenTableFile(source, engine::OpenMode::ReadOnly);
    const std::vector<engine::IndexDesc> indexes = table->Indexes();
    size_t keyFields = 0;
    for (const auto& index : indexes)
        if (index.primary && !index.fields.empty())
            keyFields = static_cast<size_t>(std::count(index.fields.begin(), index.fields.end(), ';')) + 1;
    engine::ServerConnection server(engine::ServerParamsFor(aliases, alias));
    uint32_t slot = 0;
    return server.CreateAndLoad(name, table->Fields(), keyFields, indexes, [&](engine::Record& rec) {
        while (slot < table->RecordCount())
            if (table->ReadRecord(slot++, rec)) return true;
        return false;
    });
}

// A server table into a new table file, built under a temporary name as every copy is.
uint64_t CopyFromServer(engine::Engine& engine, const std::string& alias, const std::string& name,
                        const std::string& dest) {
    engine::ServerConnection server(engine::ServerParamsFor(engine.Aliases(), alias));
    return engine::CopyAnswerToFile(*server.Query(engine, "SELECT * FROM " + engine::QuoteServerName(name)), dest);
}

}  // namespace

int RunCopyCommand(const std::string& source, const std::string& dest, std::ostream& out, std::ostream& err) {
    try {
        engine::Engine engine;
        if (const auto to = ServerTable(engine.Aliases(), dest)) {
            const uint64_t copied = CopyToServer(engine.Aliases(), source, to->first, to->second);
            out << copied << " records copied to " << dest << "\n";
            return 0;
        }
        if (const auto from = ServerTable(engine.Aliases(), source)) {
            const uint64_t copied = CopyFromServer(engine, from->first, from->second, dest);
            out << copied << " records copied to " << dest << "\n";
            return 0;
        }
        auto table = engine::OpenTableFile(source, engine::OpenMode::ReadOnly);
        const uint64_t copied = engine::CopyTableFile(*table, dest);
        out << copied << " records copied to " << dest << "\n";
        return 0;
    } catch (const std::exception& e) {
        return Fail(err, e);
    }
}

}  // namespace tessel::cli
