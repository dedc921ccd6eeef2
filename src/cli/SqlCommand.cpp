// tessel-sql's SQL runner: statements from -c, files or standard input.

#include "cli/SqlCommand.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "base/EngineError.h"
#include "cli/TableCommands.h"
#include "engine/Engine.h"
#include "engine/Server.h"
#include "engine/sql/Parser.h"
#include "engine/storage/RollbackJournal.h"

namespace tessel::cli {

namespace {

// Ctrl+C interrupts the engine for as long as it is in scope (a server's statement too: the
// connection waits for it through the engine).
std::atomic<engine::Engine*> interruptTarget{nullptr};

extern "C" void InterruptEngine(int) {
    if (engine::Engine* e = interruptTarget.load()) e->Interrupt();
}

class InterruptOnSigint {
public:
    explicit InterruptOnSigint(engine::Engine& engine) {
        interruptTarget.store(&engine);
        struct sigaction action {};
        action.sa_handler = InterruptEngine;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptOnSigint() {
        sigaction(SIGINT, &previous_, nullptr);
        interruptTarget.store(nullptr);
    }
    InterruptOnSigint(const InterruptOnSigint&) = delete;
    InterruptOnSigint& operator=(const InterruptOnSigint&) = delete;

private:
    struct sigaction previous_ {};
};

}  // namespace

namespace {

struct Source {
    std::string name;  // "-c", a file name or "stdin"
    std::string text;
};

size_t Width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

bool IsNumeric(uint16_t type) {
    using namespace engine::fldtype;
    return type == kInt16 || type == kInt32 || type == kFloat || type == kBcd;
}

std::string Cell(const engine::Value& v) {
    std::string s = engine::FormatValue(v);
    for (auto& c : s)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return s;
}

void PrintCsv(engine::Cursor& answer, std::ostream& out) {
    out << engine::CsvHeader(answer.Fields());
    for (bool ok = answer.First(); ok; ok = answer.Next()) out << engine::CsvRecord(answer.Current());
}

void PrintTable(engine::Cursor& answer, std::ostream& out) {
    const auto& fields = answer.Fields();
    std::vector<std::vector<std::string>> rows;
    std::vector<size_t> width(fields.size());
    for (size_t k = 0; k < fields.size(); ++k) width[k] = Width(fields[k].name);
    for (bool ok = answer.First(); ok; ok = answer.Next()) {
        const auto& rec = answer.Current();
        std::vector<std::string> row;
        for (size_t k = 0; k < rec.size(); ++k) {
            row.push_back(Cell(rec[k]));
            width[k] = std::max(width[k], Width(row.back()));
        }
        rows.push_back(std::move(row));
    }
    auto emit = [&](const std::vector<std::string>& cells, bool header) {
        std::string line;
        for (size_t k = 0; k < cells.size(); ++k) {
            if (k) line += " | ";
            const std::string pad(width[k] - Width(cells[k]), ' ');
            const bool right = !header && IsNumeric(fields[k].type);
            line += right ? pad + cells[k] : cells[k] + (k + 1 < cells.size() ? pad : "");
        }
        out << line << "\n";
    };
    std::vector<std::string> names;
    for (const auto& f : fields) names.push_back(f.name);
    emit(names, true);
    std::string rule;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) rule += "-+-";
        rule += std::string(width[k], '-');
    }
    out << rule << "\n";
    for (const auto& row : rows) emit(row, false);
    out << "(" << rows.size() << (rows.size() == 1 ? " row)\n" : " rows)\n");
}

// An answer as --table or --csv asks, a blank line between tables.
void PrintAnswer(engine::Cursor& answer, bool table, bool& firstAnswer, std::ostream& out) {
    if (!firstAnswer && table) out << "\n";
    firstAnswer = false;
    if (table)
        PrintTable(answer, out);
    else
        PrintCsv(answer, out);
}

// What a statement without an answer changed (only with --table).
void PrintChanges(int64_t changes, bool table, std::ostream& out) {
    if (table) out << changes << (changes == 1 ? " record changed\n" : " records changed\n");
}

// The statements of `sources` sent to the server as written: a query's answer is printed as
// it comes, page by page; any other statement runs and (with --table) says what it changed.
int RunOnServer(engine::Engine& engine, const engine::ServerParams& params, const std::vector<Source>& sources,
                bool table, std::ostream& out, std::ostream& err) {
    engine::ServerConnection server(params, &engine);
    engine::RunningGuard run(engine);
    InterruptOnSigint sigint(engine);
    bool firstAnswer = true;
    for (const auto& source : sources) {
        for (const auto& piece : engine::sql::SplitScript(source.text)) {
            try {
                const std::string text(piece.text);
                if (engine::ServerConnection::IsQuery(text)) {
                    PrintAnswer(*server.Query(engine, text), table, firstAnswer, out);
                } else {
                    PrintChanges(server.Execute(text), table, out);
                }
            } catch (const engine::EngineError& e) {
                if (e.Code() == engine::errc::kCancelled) {
                    out.flush();
                    err << "tessel-sql: stopped (Ctrl+C); the statement was not carried out\n";
                    return 130;
                }
                err << "tessel-sql: "
                    << (source.name == "-c" ? std::string() : source.name + ":" + std::to_string(piece.pos.line) + ": ")
                    << e.what() << "\n";
                return 1;
            }
        }
    }
    return 0;
}

}  // namespace

bool IsSqlCommand(const std::vector<std::string>& args) {
    if (args.empty()) return false;
    const std::string& a = args.front();
    if (a == "--dir" || a == "--alias" || a == "--csv" || a == "--table" || a == "--no-sync" || a == "-c") return true;
    return !a.empty() && a[0] != '-';
}

int RunSqlCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    std::string dir, alias;
    bool table = false;
    std::vector<Source> sources;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* what) -> const std::string* {
            if (i + 1 >= args.size()) {
                err << "tessel-sql: " << a << " needs " << what << "\nTry 'tessel-sql --help'.\n";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--dir") {
            const std::string* v = value("DIR");
            if (!v) return 2;
            dir = *v;
        } else if (a == "--alias") {
            const std::string* v = value("NAME");
            if (!v) return 2;
            alias = *v;
        } else if (a == "--csv") {
            table = false;
        } else if (a == "--table") {
            table = true;
        } else if (a == "--no-sync") {
            engine::SetDurableWrites(false);  // faster; a power cut may lose what was just done
        } else if (a == "-c") {
            const std::string* v = value("SQL");
            if (!v) return 2;
            sources.push_back({"-c", *v});
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            err << "tessel-sql: unknown option '" << a << "'\nTry 'tessel-sql --help'.\n";
            return 2;
        } else {
            Source s{a == "-" ? "stdin" : a, {}};
            if (a == "-") {
                s.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            } else {
                std::ifstream file(a, std::ios::binary);
                if (!file) {
                    err << "tessel-sql: cannot read " << a << "\n";
                    return 1;
                }
                s.text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            }
            sources.push_back(std::move(s));
        }
    }
    if (!dir.empty() && !alias.empty()) {
        err << "tessel-sql: --dir and --alias cannot both be given\nTry 'tessel-sql --help'.\n";
        return 2;
    }
    if (sources.empty())
        sources.push_back({"stdin", std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});

    try {
        engine::Engine engine;
        if (!alias.empty() && engine.Aliases().IsServerAlias(alias))
            return RunOnServer(engine, engine::ServerParamsFor(engine.Aliases(), alias), sources, table, out, err);
        engine::Database& db = engine.OpenDatabase(alias.empty() ? dir : alias);
        // The whole run is one: Ctrl+C ends the statement running (its changes are rolled back)
        // and every one after it, and the program exits with 130.
        engine::RunningGuard run(engine);
        InterruptOnSigint sigint(engine);
        bool firstAnswer = true;
        for (const auto& source : sources) {
            for (const auto& piece : engine::sql::SplitScript(source.text)) {
                try {
                    auto result = db.RunText(piece.text, {}, piece.pos);
                    if (result.answer)
                        PrintAnswer(*result.answer, table, firstAnswer, out);
                    else
                        PrintChanges(result.changes, table, out);
                } catch (const engine::EngineError& e) {
                    if (e.Code() == engine::errc::kCancelled) {
                        out.flush();
                        err << "tessel-sql: stopped (Ctrl+C); the statement was not carried out\n";
                        return 130;
                    }
                    // The line of the token a syntax error names, else the statement's first.
                    const int line = e.Spot().line > 0 ? e.Spot().line : piece.pos.line;
                    err << "tessel-sql: "
                        << (source.name == "-c" ? std::string() : source.name + ":" + std::to_string(line) + ": ")
                        << e.what() << "\n";
                    return 1;
                }
            }
        }
        return 0;
    } catch (const std::exception& e) {
        err << "tessel-sql: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace tessel::cli
