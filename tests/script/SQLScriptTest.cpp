// Tests of the SQL script runner.

#include "script/SQLScript.h"

#include <gtest/gtest.h>

#include "base/ErrorHandler.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "framework/data/Session.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

// A database directory with table t (A INTEGER, C CHAR(20)), an engine whose default database
// is that directory, and a runner that records what its statement query was given to run.
class ScriptTest : public ::testing::Test {
protected:
    ScriptTest() : engine(dir.File("aliases.conf"), dir.Path()) {
        SetSessionEngine(&engine);
        Db().Execute("CREATE TABLE \"t.dbf\" (A INTEGER, C CHAR(20))");
        script.SetTerm(';');
    }
    ~ScriptTest() override {
        SetErrorPresenter(nullptr);
        SetSessionEngine(nullptr);
    }
    engine::Database& Db() { return OpenSessionDatabase(""); }
    void Lines(std::initializer_list<std::string> lines) {
        script.SQL().Clear();
        for (const auto& l : lines) script.SQL().Add(l);
    }
    // The A column of t, in record order.
    std::vector<int64_t> Values() {
        std::vector<int64_t> out;
        auto cursor = Db().OpenQuery("SELECT A FROM \"t.dbf\"");
        engine::Record rec;
        for (int64_t i = 0; i < cursor->RecordCount(); ++i) {
            cursor->ReadRecord(i, rec);
            out.push_back(rec[0].i);
        }
        return out;
    }
    test::TempDir dir;
    engine::Engine engine;
    TSQLScript script;
};

std::string Message(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST_F(ScriptTest, EveryStatementOfAOneLineScriptRunsInOrder) {
    // The window hands its whole text over as one line: all ten inserts must run.
    std::string text;
    for (int v = 1; v <= 10; ++v) text += "INSERT INTO \"t.dbf\" (A) VALUES (" + std::to_string(v) + ");  ";
    Lines({text});
    script.Execute();
    EXPECT_EQ(Values(), (std::vector<int64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // The text after the last ";" runs too.
    Lines({"DELETE FROM \"t.dbf\"; INSERT INTO \"t.dbf\" (A) VALUES (7)"});
    script.Execute();
    EXPECT_EQ(Values(), (std::vector<int64_t>{7}));
}

TEST_F(ScriptTest, StatementsAreCutAtTerminatorsOutsideQuotesAndComments) {
    // Each case: the script lines and the statements (their lines joined by "|") in run order,
    // with the line number a failure of each would report.
    struct Case {
        std::vector<std::string> lines;
        bool semicolonTerm;
        char term;
        std::vector<std::string> statements;
        std::vector<int> lineNos;
    };
    const Case cases[] = {
        {{"INSERT INTO t VALUES (1);", "INSERT INTO t VALUES (2);"},
         true,
         '/',
         {"INSERT INTO t VALUES (1)", "INSERT INTO t VALUES (2)"},
         {0, 1}},
        {{"UPDATE t SET a = 1", "/", "UPDATE t SET a = 2"},
         false,
         '/',
         {"UPDATE t SET a = 1", "UPDATE t SET a = 2"},
         {1, 2}},
        {{"UPDATE t SET a = 1", " / ", "UPDATE t SET a = 2"},
         false,
         '/',
         {"UPDATE t SET a = 1", "UPDATE t SET a = 2"},
         {1, 2}},
        {{"a; b", "c;"}, true, '/', {"a", "b|c"}, {0, 1}},
        {{"a; b; c"}, true, '/', {"a", "b", "c"}, {0, 0, 0}},
        {{"a; b", "c; d"}, true, '/', {"a", "b|c", "d"}, {0, 1, 1}},
        {{"  ", ";", "x", "  "}, true, '/', {"x"}, {3}},
        {{"UPDATE t SET c = 'a;b'; d"}, true, '/', {"UPDATE t SET c = 'a;b'", "d"}, {0, 0}},
        {{"UPDATE t SET c = \"x;y\" /* ; */ WHERE 1=1; d"},
         true,
         '/',
         {"UPDATE t SET c = \"x;y\" /* ; */ WHERE 1=1", "d"},
         {0, 0}},
        {{"a /* one;", "two; */ b;", "c"}, true, '/', {"a /* one;|two; */ b", "c"}, {1, 2}},
        {{"SELECT 'it''s;' FROM t; e"}, true, '/', {"SELECT 'it''s;' FROM t", "e"}, {0, 0}},
        {{"a '", "/", "'", "/", "b"}, false, '/', {"a '|/|'", "b"}, {3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.front());
        TSQLScript runner;
        runner.SetSemicolonTerm(c.semicolonTerm);
        runner.SetTerm(c.term);
        for (const auto& l : c.lines) runner.SQL().Add(l);
        std::vector<std::string> statements;
        std::vector<int> lineNos;
        // Every statement fails (the texts are no SQL); the handler notes it and goes on.
        runner.OnScriptError = [&](TSQLScript& s, EDatabaseError&, int lineNo, int statementNo, TScriptAction& action) {
            std::string joined;
            for (int i = 0; i < s.StatementQuery().SQL().Count(); ++i) {
                if (i > 0) joined += '|';
                joined += s.StatementQuery().SQL().Get(i);
            }
            EXPECT_EQ(statementNo, static_cast<int>(statements.size()));
            statements.push_back(joined);
            lineNos.push_back(lineNo);
            action = TScriptAction::scaIgnore;
        };
        runner.SetIgnoreParams(true);  // run the texts as they stand
        runner.Execute();
        EXPECT_EQ(statements, c.statements);
        EXPECT_EQ(lineNos, c.lineNos);
    }
}

TEST_F(ScriptTest, ScriptsWithoutStatementsFail) {
    EXPECT_EQ(Message([&] { script.Execute(); }), "No SQL statement available");
    Lines({"   ", ";", " ; ;"});
    EXPECT_EQ(Message([&] { script.Execute(); }), "List index out of bounds (-1)");
    Lines({"INSERT INTO \"t.dbf\" (A) VALUES (1)"});
    EXPECT_EQ(Message([&] { script.ExecuteStatement(3); }), "List index out of bounds (3)");
    EXPECT_TRUE(Values().empty());
}

TEST_F(ScriptTest, OnlyTheChosenStatementRunsWhenOneIsAskedFor) {
    Lines({"INSERT INTO \"t.dbf\" (A) VALUES (1); INSERT INTO \"t.dbf\" (A) VALUES (2);",
           "INSERT INTO \"t.dbf\" (A) VALUES (3)"});
    script.ExecuteStatement(1);
    EXPECT_EQ(Values(), (std::vector<int64_t>{2}));
}

TEST_F(ScriptTest, AFailingStatementStopsTheRunAndNamesItsLine) {
    // The third statement fails: the first two stay done.
    Lines({"INSERT INTO \"t.dbf\" (A) VALUES (1);", "INSERT INTO \"t.dbf\" (A) VALUES (2);", "",
           "INSERT INTO \"nosuch.dbf\" (A) VALUES (3);", "INSERT INTO \"t.dbf\" (A) VALUES (4);"});
    try {
        script.Execute();
        FAIL() << "no failure";
    } catch (const EDBEngineError& e) {
        ASSERT_FALSE(e.Entries().empty());
        const engine::ErrorEntry& last = e.Entries().back();
        EXPECT_EQ(last.code, 0);
        EXPECT_EQ(last.nativeCode, 3);
        EXPECT_EQ(last.message, "Error on line 3");
        EXPECT_EQ(std::string(e.what()).find("Error on line"), std::string::npos);
    }
    EXPECT_EQ(Values(), (std::vector<int64_t>{1, 2}));

    // A database error of the data objects gains the line in its message.
    Lines({"INSERT INTO \"t.dbf\" (A) VALUES (5);", "UPDATE \"t.dbf\" SET A = :d"});
    EXPECT_EQ(Message([&] { script.Execute(); }), "No value for parameter 'd'. Error on line 1");
}

TEST_F(ScriptTest, ATransactionIsRolledBackWhenAStatementFails) {
    script.SetTransaction(true);
    Lines({"INSERT INTO \"t.dbf\" (A) VALUES (1); INSERT INTO \"t.dbf\" (A) VALUES (2);",
           "INSERT INTO \"t.dbf\" (A) VALUES ('x'); INSERT INTO \"t.dbf\" (A) VALUES (4)"});
    EXPECT_NE(Message([&] { script.Execute(); }), "(no failure)");
    EXPECT_TRUE(Values().empty());
    EXPECT_FALSE(Db().InTransaction());

    Lines({"INSERT INTO \"t.dbf\" (A) VALUES (1); INSERT INTO \"t.dbf\" (A) VALUES (2)"});
    script.Execute();
    EXPECT_EQ(Values(), (std::vector<int64_t>{1, 2}));
    EXPECT_FALSE(Db().InTransaction());
}

TEST_F(ScriptTest, TheErrorHandlersActionDecidesWhatFollows) {
    const std::string bad = "INSERT INTO \"t.dbf\" (A) VALUES ('x');";
    struct Case {
        TScriptAction action;
        std::string outcome;  // the failure's message, or "(no failure)"
        std::vector<int64_t> values;
        int shown;
    };
    const Case cases[] = {
        {TScriptAction::scaFail, "fails", {1}, 0},
        {TScriptAction::scaAbort, "Operation aborted", {1}, 0},
        {TScriptAction::scaIgnore, "(no failure)", {1, 3}, 0},
        {TScriptAction::scaContinue, "(no failure)", {1, 3}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.action));
        Db().Execute("DELETE FROM \"t.dbf\"");
        int shown = 0;
        SetErrorPresenter([&](const std::string&) { ++shown; });
        Lines({"INSERT INTO \"t.dbf\" (A) VALUES (1);", bad, "INSERT INTO \"t.dbf\" (A) VALUES (3)"});
        std::vector<std::pair<int, int>> calls;
        script.OnScriptError = [&](TSQLScript&, EDatabaseError&, int lineNo, int statementNo, TScriptAction& action) {
            EXPECT_EQ(action, TScriptAction::scaFail);
            calls.emplace_back(lineNo, statementNo);
            action = c.action;
        };
        const std::string outcome = Message([&] { script.Execute(); });
        if (c.outcome == "fails")
            EXPECT_NE(outcome, "(no failure)");
        else
            EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(Values(), c.values);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 1}}));
    }

    // Retry runs the same statement again, here after its cause was put right.
    Db().Execute("DELETE FROM \"t.dbf\"");
    Lines({"INSERT INTO \"t.dbf\" (A) VALUES (:v)"});
    int tries = 0;
    script.OnScriptError = [&](TSQLScript& s, EDatabaseError&, int, int, TScriptAction& action) {
        ++tries;
        s.ParamByName("v").SetAsInteger(9);
        action = TScriptAction::scaRetry;
    };
    script.Execute();
    EXPECT_EQ(tries, 1);
    EXPECT_EQ(Values(), (std::vector<int64_t>{9}));
}

TEST_F(ScriptTest, ParametersComeFromTheRunnersListAndKeepTheirValues) {
    Lines({"INSERT INTO \"t.dbf\" (A, C) VALUES (:a, :\"b c\");", "UPDATE \"t.dbf\" SET C = '12:30' WHERE A = :a"});
    ASSERT_EQ(script.Params().Count(), 2);
    EXPECT_EQ(script.Params()[0].Name(), "a");
    EXPECT_EQ(script.Params()[1].Name(), "b c");
    script.ParamByName("a").SetAsInteger(4);
    // Adding a line rebuilds the list; the value of "a" stays.
    script.SQL().Add("");
    ASSERT_EQ(script.Params().Count(), 2);
    EXPECT_EQ(script.ParamByName("a").AsInteger(), 4);
    EXPECT_FALSE(script.ParamByName("b c").Bound());

    TParams given;
    given.CreateParam(TFieldType::ftString, "B C", TParamType::ptInput).SetAsString("q");
    given.CreateParam(TFieldType::ftString, "other", TParamType::ptInput).SetAsString("z");
    script.SetParams(given);
    EXPECT_EQ(script.ParamByName("b c").AsString(), "q");
    EXPECT_EQ(script.Params().Count(), 2);
}

TEST(ScanMarkers, NamesQuotesAndDoubledMarkers) {
    struct Case {
        std::string text;
        char marker;
        std::string extra;
        std::string converted;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"UPDATE t SET d = :d WHERE e = :e", ':', "", "UPDATE t SET d = ? WHERE e = ?", {"d", "e"}},
        {"UPDATE t SET d = '12:30'", ':', "", "UPDATE t SET d = '12:30'", {}},
        {"SELECT \"a:b\" FROM t", ':', "", "SELECT \"a:b\" FROM t", {}},
        {"x = ::y", ':', "", "x = :y", {}},
        {"(:a,:b);:a\r\n:c", ':', "", "(?,?);?\r\n?", {"a", "b", "c"}},
        {"f(:\"my name\") :", ':', "", "f(?) :", {"my name"}},
        {"WHERE %cond AND %t.x", '%', ".", "WHERE ? AND ?.x", {"cond", "t"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TParams list;
        EXPECT_EQ(ScanMarkers(c.text, c.marker, c.extra, TScanMode::Params, list), c.converted);
        std::vector<std::string> names;
        for (int i = 0; i < list.Count(); ++i) {
            names.push_back(list[i].Name());
            EXPECT_EQ(list[i].DataType(), TFieldType::ftUnknown);
        }
        EXPECT_EQ(names, c.names);
    }
    TParams macros;
    ScanMarkers("WHERE %cond", '%', ".", TScanMode::Macros, macros);
    ASSERT_EQ(macros.Count(), 1);
    EXPECT_EQ(macros[0].AsString(), "0=0");
    EXPECT_EQ(macros[0].ParamType(), TParamType::ptInput);
}

TEST(MacroQuery, MacrosAreReplacedOutsideQuotesOnly) {
    TMacroQuery query;
    query.SQL().Add("DELETE FROM t WHERE %cond AND c = '%cond' AND %condx = 1");
    query.SQL().Add("AND %cond");
    ASSERT_EQ(query.MacroCount(), 2);
    EXPECT_EQ(query.TQuery::SQL().Get(0), "DELETE FROM t WHERE 0=0 AND c = '%cond' AND 0=0 = 1");
    EXPECT_EQ(query.TQuery::SQL().Get(1), "AND 0=0");
    query.MacroByName("cond").SetAsString("a > %cond");
    query.ApplyMacros();
    EXPECT_EQ(query.TQuery::SQL().Get(1), "AND a > %cond");
    // Changing the pattern keeps the values of macros that stay.
    query.SQL().Put(1, "OR %cond");
    EXPECT_EQ(query.MacroByName("cond").AsString(), "a > %cond");
    EXPECT_EQ(query.TQuery::SQL().Get(1), "OR a > %cond");
}

TEST_F(ScriptTest, UnsetMacrosRunAsAlwaysTrue) {
    Db().Execute("INSERT INTO \"t.dbf\" (A) VALUES (1)");
    Lines({"DELETE FROM \"t.dbf\" WHERE %cond"});
    script.Execute();
    EXPECT_TRUE(Values().empty());
}

}  // namespace
}  // namespace tessel
