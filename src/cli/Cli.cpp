// tessel-sql: its command line, the alias commands, --describe and usage errors.

#include "cli/Cli.h"

#include <iostream>
#include <ostream>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "cli/SqlCommand.h"
#include "cli/TableCommands.h"
#include "engine/Aliases.h"
#include "engine/Engine.h"
#include "engine/Server.h"
#include "engine/codepage/CodePage.h"
#include "engine/dbase/Dbase.h"
#include "framework/data/Session.h"
#include "framework/data/Table.h"
#include "sqlgen/TableTool.h"

namespace tessel::cli {

namespace {

const char* const kUsage =
    "Usage: tessel-sql COMMAND\n"
    "       tessel-sql [--dir DIR | --alias NAME] [--csv | --table] [--no-sync] (-c SQL)... [FILE.sql ...]\n"
    "Runs Tessel's database engine without the window.\n"
    "\n"
    "SQL (statements cut at ';'; standard input when no -c and no file is given):\n"
    "  --dir DIR                      the database directory (default: the current one)\n"
    "  --alias NAME                   the database of an alias (a server alias: the statements\n"
    "                                 go to the server as written)\n"
    "  --csv                          print answers as CSV (the default)\n"
    "  --table                        print answers as aligned tables\n"
    "  --no-sync                      do not wait for the disk after each statement (faster; a\n"
    "                                 killed program still changes nothing, a power cut may)\n"
    "  --codepage CP                  the code page of dBASE tables that declare none (no .cpg,\n"
    "                                 no driver byte): 1252, 850, UTF-8, ISO-8859-2, ... (also\n"
    "                                 with the table commands below)\n"
    "  -c SQL                         run the statements of SQL\n"
    "\n"
    "Aliases (kept in $XDG_CONFIG_HOME/tessel/aliases.conf):\n"
    "  --aliases                      list the aliases: name, directory, default driver (a\n"
    "                                 server alias: name, server, type)\n"
    "  --add-alias NAME DIR [--driver PARADOX|DBASE] [--codepage CP]\n"
    "                                 add an alias for the directory DIR (CP: the code page of\n"
    "                                 its dBASE tables that declare none)\n"
    "  --add-alias NAME --type POSTGRESQL [--param \"KEY=VALUE\"]...\n"
    "                                 add an alias for a PostgreSQL server: SERVER NAME, PORT,\n"
    "                                 DATABASE NAME, USER NAME or any libpq keyword (no\n"
    "                                 password is stored; ~/.pgpass and PGPASSWORD work)\n"
    "  --remove-alias NAME            remove an alias\n"
    "\n"
    "Tables (.dbf dBASE, .db Paradox):\n"
    "  --schema FILE                  table facts and field descriptors\n"
    "  --dump FILE                    the records as CSV\n"
    "  --copy SRC DST                 copy SRC into a new table DST, replacing it; :ALIAS:TABLE\n"
    "                                 names a table on the server of a server alias (created\n"
    "                                 there, loaded with COPY; never replaced)\n"
    "\n"
    "  --help                         show this text\n";

int Usage(std::ostream& err, const std::string& problem) {
    err << "tessel-sql: " << problem << "\n"
        << "Try 'tessel-sql --help'.\n";
    return 2;
}

void ReportSkipped(const engine::AliasStore& store, std::ostream& err) {
    for (const std::string& line : store.SkippedLines())
        err << "tessel-sql: " << store.FileName() << ": skipped " << line << "\n";
}

int ListAliases(std::ostream& out, std::ostream& err) {
    const engine::AliasStore store;
    ReportSkipped(store, err);
    for (const std::string& name : store.AliasNames()) {
        if (store.IsServerAlias(name)) {
            out << name << "\t" << engine::ServerParamsFor(store, name).Describe() << "\t" << store.AliasType(name)
                << "\n";
            continue;
        }
        out << name << "\t" << store.AliasPath(name) << "\t" << store.DefaultDriver(name);
        if (const int codePage = store.CodePage(name)) out << "\t" << engine::codepage::CodePageFileText(codePage);
        out << "\n";
    }
    return 0;
}

// The generator's lines for a table file, with the window's three options (all on unless
// switched off) and the remarks block on request.
int Describe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file;
    bool quoteFields = true, tableNames = true, extensions = true, remarks = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--no-quote-fields")
            quoteFields = false;
        else if (args[i] == "--no-table-names")
            tableNames = false;
        else if (args[i] == "--no-extensions")
            extensions = false;
        else if (args[i] == "--remarks")
            remarks = true;
        else if (file.empty() && args[i].rfind("--", 0) != 0)
            file = args[i];
        else
            return Usage(err, "--describe: unexpected '" + args[i] + "'");
    }
    if (file.empty()) return Usage(err, "--describe needs FILE");
    engine::Engine engine;
    SetSessionEngine(&engine);
    struct Reset {
        ~Reset() { SetSessionEngine(nullptr); }
    } reset;
    TTable table;
    table.SetName("Table1");
    table.SetTableName(file);
    table.Open();
    TTableTool tool;
    tool.SetQuoteFields(quoteFields);
    tool.SetShowTable(tableNames);
    if (!extensions) {
        tool.SetShowExt(false);
        tool.SetQuoteTables(false);
    }
    tool.SetIncludeRemarks(remarks);
    tool.SetTable(&table);
    for (int i = 0; i < tool.SQL().Count(); ++i) out << tool.SQL().Get(i) << "\n";
    return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
    // --codepage CP may come anywhere (not as the text of -c): the code page of the dBASE
    // tables this run reads that declare none; with --add-alias, the alias keeps it.
    std::vector<std::string> args;
    std::string codePageName;
    for (size_t i = 0; i < given.size(); ++i) {
        if (given[i] == "-c" && i + 1 < given.size()) {
            args.push_back(given[i]);
            args.push_back(given[++i]);
        } else if (given[i] == "--codepage") {
            if (i + 1 >= given.size()) return Usage(err, "--codepage needs a code page");
            codePageName = given[++i];
        } else {
            args.push_back(given[i]);
        }
    }
    const bool addingAlias = !args.empty() && args[0] == "--add-alias";
    struct RunCodePage {
        ~RunCodePage() {
            if (set) engine::dbase::SetUndeclaredCodePage("", 0);
        }
        bool set = false;
    } runCodePage;
    if (!codePageName.empty() && !addingAlias) {
        const int codePage = engine::codepage::CodePageFromName(codePageName);
        if (!engine::codepage::IsCodePageSupported(codePage))
            return Usage(err, "unknown code page '" + codePageName + "'");
        engine::dbase::SetUndeclaredCodePage("", codePage);
        runCodePage.set = true;
    }
    if (args.empty()) return Usage(err, "no command given");
    if (IsSqlCommand(args)) return RunSqlCommand(args, std::cin, out, err);
    const std::string& command = args[0];
    try {
        if (command == "--help" || command == "-h") {
            out << kUsage;
            return 0;
        }
        if (command == "--aliases") {
            if (args.size() != 1) return Usage(err, "--aliases takes no arguments");
            return ListAliases(out, err);
        }
        if (command == "--add-alias") {
            std::string driver = "PARADOX", type;
            std::vector<std::string> positional, params;
            for (size_t i = 1; i < args.size(); ++i) {
                if (args[i] == "--driver") {
                    if (i + 1 >= args.size()) return Usage(err, "--driver needs PARADOX or DBASE");
                    driver = args[++i];
                } else if (args[i] == "--type") {
                    if (i + 1 >= args.size()) return Usage(err, "--type needs STANDARD or POSTGRESQL");
                    type = args[++i];
                } else if (args[i] == "--param") {
                    if (i + 1 >= args.size()) return Usage(err, "--param needs KEY=VALUE");
                    params.push_back(args[++i]);
                } else {
                    positional.push_back(args[i]);
                }
            }
            engine::AliasStore store;
            if (!type.empty() && !SameAscii(type, "STANDARD")) {
                if (positional.size() != 1) return Usage(err, "--add-alias NAME --type " + type + " takes no DIR");
                store.AddServerAlias(positional[0], type, params);
                ReportSkipped(store, err);
                return 0;
            }
            if (positional.size() != 2) return Usage(err, "--add-alias needs NAME and DIR");
            store.AddAlias(positional[0], positional[1], driver, codePageName);
            ReportSkipped(store, err);
            return 0;
        }
        if (command == "--remove-alias") {
            if (args.size() != 2) return Usage(err, "--remove-alias needs NAME");
            engine::AliasStore store;
            store.RemoveAlias(args[1]);
            return 0;
        }
        if (command == "--schema" || command == "--dump") {
            if (args.size() != 2) return Usage(err, command + " needs FILE");
            return command == "--schema" ? RunSchemaCommand(args[1], out, err) : RunDumpCommand(args[1], out, err);
        }
        if (command == "--describe") return Describe(args, out, err);
        if (command == "--copy") {
            if (args.size() != 3) return Usage(err, "--copy needs SRC and DST");
            return RunCopyCommand(args[1], args[2], out, err);
        }
        return Usage(err, "unknown command '" + command + "'");
    } catch (const std::exception& e) {
        err << "tessel-sql: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace tessel::cli
