// Tests of the query data set.

#include <gtest/gtest.h>

#include <filesystem>

#include "DataTestSupport.h"
#include "engine/Engine.h"
#include "framework/data/BatchMove.h"
#include "framework/data/Query.h"
#include "framework/data/Session.h"
#include "framework/data/Table.h"

namespace tessel {
namespace {

using test::FileRecords;
using test::MakeEmployees;
using test::Message;
using test::RecordingLink;
using Log = std::vector<std::string>;

// A directory with employee.db and employee.dbf, an engine of its own whose default
// database is that directory, and the window's Query1, Table1 and BatchMove1.
class QueryTest : public ::testing::Test {
protected:
    QueryTest() : engine(dir.File("aliases.conf"), dir.Path()) {
        SetSessionEngine(&engine);
        MakeEmployees(dir, ".db");
        MakeEmployees(dir, ".dbf");
        query.SetName("Query1");
        table.SetName("Table1");
        move.SetName("BatchMove1");
        move.SetSource(&query);
        move.SetDestination(&table);
        move.SetMode(TBatchMode::batCopy);
    }
    ~QueryTest() override {
        query.Close();
        table.Close();
        SetSessionEngine(nullptr);
    }
    void Sql(const std::string& text) {
        query.Close();
        query.SQL().Clear();
        query.SQL().Add(text);
    }
    std::vector<int> Ids() {
        std::vector<int> ids;
        for (query.First(); !query.Eof(); query.Next()) ids.push_back(query.Fields(0).AsInteger());
        return ids;
    }

    test::TempDir dir;
    engine::Engine engine;
    TQuery query;
    TTable table;
    TBatchMove move;
};

TEST_F(QueryTest, AnswerNavigatedBothWaysAndByBookmark) {
    Sql("SELECT ID, NAME, HIRED FROM employee ORDER BY ID DESC");
    query.Open();
    EXPECT_EQ(query.RecordCount(), 5);
    EXPECT_TRUE(query.IsSequenced());
    EXPECT_EQ((std::vector<int>{5, 4, 3, 2, 1}), Ids());
    std::vector<std::string> names;
    for (query.Last(); !query.Bof(); query.Prior()) names.push_back(query.FieldByName("NAME").AsString());
    EXPECT_EQ((std::vector<std::string>{"Ann", "Bob", "Cy", "Di", "Ed"}), names);

    query.First();
    query.MoveBy(3);
    const TBookmark two = query.GetBookmark();
    query.First();
    query.GotoBookmark(two);
    EXPECT_EQ(query.FieldByName("ID").AsInteger(), 2);
    EXPECT_EQ(query.RecNo(), 4);
    EXPECT_EQ(query.FieldByName("HIRED").DisplayText(), "1/15/1991");
    EXPECT_EQ(query.FieldByName("NAME").DisplayWidth(), 10);
    EXPECT_EQ(query.FieldByName("NAME").DataType(), TFieldType::ftString);
}

TEST_F(QueryTest, AnswerIsReadOnly) {
    Sql("SELECT * FROM employee");
    query.Open();
    EXPECT_FALSE(query.CanModify());
    for (auto op : std::vector<std::function<void()>>{[&] { query.Edit(); }, [&] { query.Insert(); },
                                                      [&] { query.Append(); }, [&] { query.Delete(); }})
        EXPECT_EQ(Message(op), "Query1: Cannot modify a read-only dataset");
    EXPECT_EQ(query.State(), TDataSetState::dsBrowse);
}

TEST_F(QueryTest, MissingStatementAndStatementWithoutRows) {
    EXPECT_EQ(Message([&] { query.Open(); }), "Query1: No SQL statement available");
    EXPECT_EQ(Message([&] { query.ExecSQL(); }), "Query1: No SQL statement available");
    Sql("  ");
    EXPECT_EQ(Message([&] { query.Open(); }), "Query1: No SQL statement available");

    // A statement without rows is carried out, then opening fails.
    Sql("UPDATE employee SET SMALL = 42 WHERE ID = 1");
    EXPECT_EQ(Message([&] { query.Open(); }), "Error creating cursor handle");
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(FileRecords(dir.File("employee.db"))[0][4].i, 42);

    Sql("SELEC * FROM employee");
    try {
        query.Open();
        FAIL() << "a syntax error opened";
    } catch (const EDBEngineError& e) {
        EXPECT_FALSE(e.Entries().empty());
    }
    EXPECT_FALSE(query.Active());
}

TEST_F(QueryTest, ParametersInMarkerOrder) {
    Sql("SELECT ID FROM employee WHERE ID >= :lo AND ID <= :hi AND NAME <> 'a:b' AND ID <> :lo + 1 "
        "ORDER BY ID");
    ASSERT_EQ(query.ParamCount(), 2);
    EXPECT_EQ(query.Params().Items(0).Name(), "lo");
    EXPECT_EQ(query.Params().Items(1).Name(), "hi");
    EXPECT_EQ(Message([&] { query.Open(); }), "Query1: No value for parameter 'lo'");
    EXPECT_EQ(Message([&] { query.ParamByName("nope"); }), "Parameter 'nope' not found");
    query.ParamByName("lo").SetAsInteger(2);
    query.ParamByName("HI").SetAsInteger(4);
    query.Open();
    EXPECT_EQ((std::vector<int>{2, 4}), Ids());

    // New text in one change keeps the values of the parameters that keep their names.
    query.SetSQL(TStringList{"SELECT ID FROM employee", "WHERE ID > :lo ORDER BY ID"});
    EXPECT_FALSE(query.Active());
    ASSERT_EQ(query.ParamCount(), 1);
    EXPECT_EQ(query.ParamByName("lo").AsInteger(), 2);
    query.Open();
    EXPECT_EQ((std::vector<int>{3, 4, 5}), Ids());

    query.Close();
    query.Prepare();
    EXPECT_TRUE(query.Prepared());
    EXPECT_EQ(query.ParamByName("lo").ParamType(), TParamType::ptInput);
}

TEST_F(QueryTest, ExecSqlChangesTheFile) {
    Sql("UPDATE employee SET NAME = :n WHERE ID >= :id");
    query.ParamByName("n").SetAsString("Same");
    query.ParamByName("id").SetAsInteger(4);
    query.ExecSQL();
    EXPECT_EQ(query.RowsAffected(), 2);
    const auto records = FileRecords(dir.File("employee.db"));
    EXPECT_EQ(records[3][1].s, "Same");
    EXPECT_EQ(records[4][1].s, "Same");
    EXPECT_EQ(records[2][1].s, "Cy");
}

TEST_F(QueryTest, ChangingTheStatementClosesTheAnswer) {
    TDataSource source(&query);
    RecordingLink link;
    link.SetDataSource(&source);
    Sql("SELECT * FROM employee");
    query.Open();
    EXPECT_EQ(Message([&] { query.SetDatabaseName("x"); }), "Query1: Cannot perform this operation on an open dataset");
    link.Clear();
    query.SQL().Add("WHERE ID = 1");
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(Log{"ActiveChanged(off)"}, link.log);
}

TEST_F(QueryTest, BatchCopyOfTheAnswer) {
    for (const char* ext : {".db", ".dbf"}) {
        Sql("SELECT ID, NAME, AMOUNT FROM employee WHERE ID > 1 ORDER BY NAME DESC");
        const std::string path = dir.File(std::string("saved") + ext);
        table.SetTableName(path);
        move.Execute();  // opens the query first
        EXPECT_TRUE(query.Active());
        EXPECT_EQ(move.MovedCount(), 4);
        const auto records = FileRecords(path);
        ASSERT_EQ(records.size(), 4u) << ext;
        EXPECT_EQ(records[0][1].s, "Ed") << ext;
        EXPECT_EQ(records[3][1].s, "Bob") << ext;
        EXPECT_DOUBLE_EQ(records[0][2].AsDouble(), 5002.5) << ext;
    }
}

TEST_F(QueryTest, BatchCopyFailures) {
    // Before any query: the query's message, and no file.
    table.SetTableName(dir.File("never.db"));
    EXPECT_EQ(Message([&] { move.Execute(); }), "Query1: No SQL statement available");
    EXPECT_FALSE(std::filesystem::exists(dir.File("never.db")));

    // A table copied onto its own file would lose its records: refused, the file intact.
    TTable source;
    source.SetTableName(dir.File("employee.dbf"));
    move.SetSource(&source);
    table.SetTableName(dir.File("EMPLOYEE.DBF"));
    const auto before = test::Snapshot(dir);
    EXPECT_NE(Message([&] { move.Execute(); }).find("onto itself"), std::string::npos);
    source.Close();
    EXPECT_EQ(before, test::Snapshot(dir));

    // A table into another file is fine.
    table.SetTableName(dir.File("copy.db"));
    move.Execute();
    EXPECT_EQ(FileRecords(dir.File("copy.db")).size(), 5u);
    move.SetSource(&query);
}

TEST_F(QueryTest, DatabaseByDirectoryAndUnknownName) {
    Sql("SELECT COUNT(*) FROM employee");
    query.SetDatabaseName(dir.Path());
    query.Open();
    EXPECT_EQ(query.Fields(0).AsInteger(), 5);
    query.Close();
    query.SetDatabaseName("NO_SUCH_ALIAS");
    EXPECT_THROW(query.Open(), EDBEngineError);
}

}  // namespace
}  // namespace tessel

namespace tessel {
namespace {

// Markers outside quotes and comments, in text order; the text the engine gets keeps every
// other character where it was.
TEST(Params, MarkersOfAStatement) {
    struct Case {
        const char* sql;
        std::vector<std::string> names;
        const char* converted;
    };
    const Case cases[] = {
        {"SELECT * FROM t WHERE a = :a AND b = :bee", {"a", "bee"}, "SELECT * FROM t WHERE a = ?  AND b = ?   "},
        {"WHERE d = '12:30' AND n = \"x:y\"", {}, "WHERE d = '12:30' AND n = \"x:y\""},
        {"WHERE s = 'it''s :no' AND x = :yes", {"yes"}, "WHERE s = 'it''s :no' AND x = ?   "},
        {"/* :c */ x = :a -- :d\r\n+ :a", {"a", "a"}, "/* :c */ x = ?  -- :d\r\n+ ? "},
        {"x = :\"my name\"", {"my name"}, "x = ?         "},
        {"a::b", {}, "a::b"},
    };
    for (const auto& c : cases) {
        std::string converted;
        EXPECT_EQ(c.names, TParams::ParseSQL(c.sql, &converted)) << c.sql;
        EXPECT_EQ(converted, c.converted) << c.sql;
    }
}

TEST(Params, ValuesAndTypes) {
    TParams params;
    TParam& p = params.CreateParam(TFieldType::ftUnknown, "Id", TParamType::ptInput);
    EXPECT_FALSE(p.Bound());
    p.SetValue(engine::Value::Int(3));
    EXPECT_TRUE(p.Bound());
    EXPECT_EQ(p.DataType(), TFieldType::ftInteger);
    EXPECT_EQ(params.ParamByName("ID").AsString(), "3");
    p.Clear();
    EXPECT_TRUE(p.Bound());
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(test::Message([&] { params.Items(1); }), "List index out of bounds (1)");
    TParams other;
    other.CreateParam(TFieldType::ftUnknown, "id", TParamType::ptUnknown).SetAsString("x");
    params.AssignValues(other);
    EXPECT_EQ(p.AsString(), "x");
    EXPECT_EQ(p.DataType(), TFieldType::ftString);
}

TEST(NotifyStringList, OneChangePerEditOrBracket) {
    TNotifyStringList list;
    int changes = 0;
    list.OnChange = [&] { ++changes; };
    list.Add("a");
    list.Put(0, "b");
    list.Delete(0);
    list.Clear();  // already empty: no change
    EXPECT_EQ(changes, 3);
    list.BeginUpdate();
    list.Add("x");
    list.Add("y");
    EXPECT_EQ(changes, 3);
    list.EndUpdate();
    EXPECT_EQ(changes, 4);
    list.Assign(TStringList{"p", "q"});
    EXPECT_EQ(changes, 5);
}

}  // namespace
}  // namespace tessel
