// Tests of the query data set.

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "DataTestSupport.h"
#include "engine/Engine.h"
#include "framework/data/BatchMove.h"
#include "framework/data/Query.h"
#include "framework/data/Session.h"
#include "framework/data/Table.h"
#include "support/Oracles.h"

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
// ------------------------------------------------------------------------- live answers

// The records of a table file, one "ID NAME" per live record in file order.
std::vector<std::string> IdsAndNames(const std::string& path) {
    std::vector<std::string> out;
    for (const auto& r : FileRecords(path))
        out.push_back(std::to_string(static_cast<int64_t>(r[0].AsDouble())) + " " + r[1].s);
    return out;
}

class LiveQueryTest : public QueryTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string Ext() const { return GetParam(); }
    std::string Path() const { return dir.File("employee" + Ext()); }
    // `text` with "T" for the table of this format.
    void OpenLive(std::string text) {
        text.replace(text.find(" T"), 2, " \"employee" + Ext() + "\"");
        Sql(text);
        query.SetRequestLive(true);
        query.Open();
    }
    // Makes the record showing `name` the current one.
    void GoTo(const std::string& name) {
        for (query.First(); !query.Eof(); query.Next())
            if (query.FieldByName("NAME").AsString() == name) return;
        FAIL() << name << " is not in the answer";
    }
    void SetName(const std::string& from, const std::string& to) {
        GoTo(from);
        query.Edit();
        query.FieldByName("NAME").SetText(to);
        query.Post();
    }
    std::vector<std::string> Shown() {
        std::vector<std::string> rows;
        for (query.First(); !query.Eof(); query.Next())
            rows.push_back(query.FieldByName("ID").AsString() + " " + query.FieldByName("NAME").AsString());
        return rows;
    }
};

// Edits, a key that moves its record, a deletion and an insertion, one after the other: each
// post writes the file, and the records the answer shows stay the ones it read (a Paradox
// table moves its records when keys change or records come and go; the answer follows them).
TEST_P(LiveQueryTest, EachPostWritesTheTableFile) {
    OpenLive("SELECT ID, NAME FROM T WHERE ID >= 2 ORDER BY NAME DESC");
    ASSERT_TRUE(query.CanModify()) << query.ReadOnlyReason();
    EXPECT_EQ(query.ReadOnlyReason(), "");
    EXPECT_EQ(query.LiveTablePath(), Path());

    GoTo("Cy");
    query.Edit();
    query.FieldByName("ID").SetText("9");
    query.Post();
    SetName("Di", "Dora");
    GoTo("Bob");
    query.Delete();
    query.Append();
    query.FieldByName("ID").SetText("3");
    query.FieldByName("NAME").SetText("Cyd");
    query.Post();
    SetName("Ed", "Eddie");

    // The answer keeps its order; the new record comes last.
    EXPECT_EQ(Shown(), (std::vector<std::string>{"5 Eddie", "4 Dora", "9 Cy", "3 Cyd"}));
    const bool keyed = Ext() == ".db";
    const std::vector<std::string> inKeyOrder{"1 Ann", "3 Cyd", "4 Dora", "5 Eddie", "9 Cy"};
    const std::vector<std::string> inFileOrder{"1 Ann", "9 Cy", "4 Dora", "5 Eddie", "3 Cyd"};
    EXPECT_EQ(IdsAndNames(Path()), keyed ? inKeyOrder : inFileOrder);
    // The other fields of an edited record are as they were; a new one has them blank.
    for (const auto& r : FileRecords(Path())) {
        if (r[0].AsDouble() == 4) {
            EXPECT_EQ(r[4].AsDouble(), 3);
        }
        if (r[0].AsDouble() == 3) {
            EXPECT_TRUE(r[4].IsNull());
        }
    }

    // The independent reader reads the changed file so.
    if (!test::OracleFor(Path())) GTEST_SKIP() << "no independent reader for " << Ext();
    const std::string oracle = test::OracleRecords(Path());
    for (const char* name : {"Ann", "Cyd", "Dora", "Eddie"}) EXPECT_NE(oracle.find(name), std::string::npos) << oracle;
    EXPECT_EQ(oracle.find("Bob"), std::string::npos) << oracle;
    if (keyed) {
        EXPECT_LT(oracle.find("Cyd"), oracle.find("Dora")) << oracle;
    }
}

// A post that fails leaves the record in edit state and the file as it was.
TEST_P(LiveQueryTest, AFailedPostKeepsTheRowInEditState) {
    OpenLive("SELECT ID, NAME FROM T ORDER BY ID");
    const std::string before = test::ReadBytes(Path());
    GoTo("Bob");
    query.Edit();
    query.FieldByName("NAME").SetText("Robert");
    query.FieldByName("ID").SetText("1");  // Ann's key
    if (Ext() == ".db") {
        EXPECT_EQ(Message([&] { query.Post(); }), "Key violation.");
        EXPECT_EQ(query.State(), TDataSetState::dsEdit);
        EXPECT_EQ(test::ReadBytes(Path()), before);
        query.Cancel();
    } else {
        query.Post();  // a dBASE table has no key
    }
    // A value the field cannot hold: the ID is N(5,0) in dBASE, a long integer in Paradox.
    GoTo("Cy");
    query.Edit();
    const std::string kept = test::ReadBytes(Path());
    EXPECT_NE(Message([&] {
                  query.FieldByName("ID").SetText(Ext() == ".db" ? "99999999999" : "123456");
                  query.Post();
              }),
              "(no error)");
    EXPECT_EQ(query.State(), TDataSetState::dsEdit);
    EXPECT_EQ(test::ReadBytes(Path()), kept);
    query.Cancel();
}

// Another writer changed the table since the answer read it: a change of a record it touched
// (or moved) is refused and overwrites nothing.
TEST_P(LiveQueryTest, ARecordAnotherWriterChangedIsNotOverwritten) {
    OpenLive("SELECT ID, NAME FROM T ORDER BY ID");
    TQuery other;
    other.SQL().Add("UPDATE \"employee" + Ext() + "\" SET NAME = 'Zoe' WHERE ID = 2");
    other.ExecSQL();
    GoTo("Bob");
    query.Edit();
    query.FieldByName("NAME").SetText("Bobby");
    EXPECT_NE(Message([&] { query.Post(); }).find("changed by another user"), std::string::npos);
    query.Cancel();
    EXPECT_NE(Message([&] { query.Delete(); }).find("changed by another user"), std::string::npos);
    // A record that came in before the others moves them all one place on in a Paradox table.
    other.SQL().Clear();
    other.SQL().Add("INSERT INTO \"employee" + Ext() + "\" (ID, NAME) VALUES (0, 'Al')");
    other.ExecSQL();
    GoTo("Di");
    query.Edit();
    query.FieldByName("NAME").SetText("Dora");
    if (Ext() == ".db") {
        EXPECT_NE(Message([&] { query.Post(); }).find("changed by another user"), std::string::npos);
        query.Cancel();
    } else {
        query.Post();  // dBASE records keep their slots
    }
    const std::vector<std::string> keyed{"0 Al", "1 Ann", "2 Zoe", "3 Cy", "4 Di", "5 Ed"};
    const std::vector<std::string> unkeyed{"1 Ann", "2 Zoe", "3 Cy", "4 Dora", "5 Ed", "0 Al"};
    EXPECT_EQ(IdsAndNames(Path()), Ext() == ".db" ? keyed : unkeyed);
}

INSTANTIATE_TEST_SUITE_P(BothFormats, LiveQueryTest, ::testing::Values(".db", ".dbf"),
                         [](const auto& param) { return std::string(param.param + 1); });

// Only an answer that shows one table's records as they are can change them; any other says
// why it cannot.
TEST_F(QueryTest, AnAnswerThatIsNotOneTablesRecordsSaysWhyItIsReadOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"SELECT DISTINCT NAME FROM employee", "the query uses DISTINCT"},
        {"SELECT NAME, COUNT(*) FROM employee GROUP BY NAME", "the query groups records"},
        {"SELECT MAX(ID) FROM employee", "the query groups records"},
        {"SELECT a.NAME FROM employee a, \"employee.dbf\" b WHERE a.ID = b.ID", "the query joins tables"},
        {"SELECT a.NAME FROM employee a JOIN \"employee.dbf\" b ON a.ID = b.ID", "the query joins tables"},
        {"SELECT NAME FROM employee UNION SELECT NAME FROM \"employee.dbf\"", "the query is a UNION"},
        {"SELECT ID + 1, NAME FROM employee", "the field EXPR1 is computed"},
        {"SELECT UPPER(NAME) AS BIG FROM employee", "the field BIG is computed"},
        {"SELECT NAME, ID, NAME FROM employee", "the field NAME is shown twice"},
    };
    for (const auto& [text, why] : cases) {
        Sql(text);
        query.SetRequestLive(true);
        query.Open();
        EXPECT_FALSE(query.CanModify()) << text;
        EXPECT_EQ(query.ReadOnlyReason(), why) << text;
        EXPECT_EQ(Message([&] { query.Edit(); }), "Query1: Cannot modify a read-only dataset") << text;
    }
    // Plain columns, with or without aliases, a star, a WHERE with a subquery: live.
    for (const char* text : {"SELECT * FROM employee", "SELECT e.NAME AS N, ID FROM employee e WHERE ID > 2",
                             "SELECT NAME FROM \"employee.dbf\" WHERE ID IN (SELECT ID FROM employee)"}) {
        Sql(text);
        query.SetRequestLive(true);
        query.Open();
        EXPECT_TRUE(query.CanModify()) << text << ": " << query.ReadOnlyReason();
    }
    // Without RequestLive every answer is read-only, as before.
    Sql("SELECT * FROM employee");
    query.SetRequestLive(false);
    query.Open();
    EXPECT_FALSE(query.CanModify());
    if (::geteuid() == 0) return;  // root writes a read-only file all the same
    std::filesystem::permissions(dir.File("employee.dbf"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    Sql("SELECT * FROM \"employee.dbf\"");
    query.SetRequestLive(true);
    query.Open();
    EXPECT_FALSE(query.CanModify());
    EXPECT_EQ(query.ReadOnlyReason(), "the table file is read-only");
}

// Saving a live answer onto its own table replaces the records it stood for: it is read-only
// from then on, and says so.
TEST_F(QueryTest, ALiveAnswerSavedOntoItsTableIsReadOnlyAfterwards) {
    Sql("SELECT ID, NAME FROM \"employee.dbf\" WHERE ID <= 3");
    query.SetRequestLive(true);
    query.Open();
    query.Edit();
    query.FieldByName("NAME").SetText("Annie");
    query.Post();
    table.SetDatabaseName(dir.Path());
    table.SetTableName("employee.dbf");
    move.Execute();
    EXPECT_EQ(IdsAndNames(dir.File("employee.dbf")), (std::vector<std::string>{"1 Annie", "2 Bob", "3 Cy"}));
    EXPECT_FALSE(query.CanModify());
    EXPECT_EQ(query.ReadOnlyReason(), "its table was replaced by the saved answer");
}

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
