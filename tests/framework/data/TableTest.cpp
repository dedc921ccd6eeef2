// Tests of the table data set.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include "DataTestSupport.h"
#include "engine/TableFiles.h"
#include "engine/paradox/Paradox.h"
#include "framework/data/NavigatorLogic.h"
#include "framework/data/Table.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

using engine::Value;
using test::FileRecords;
using test::MakeEmployees;
using test::Message;
using test::Snapshot;

int Id(TTable& table) {
    return table.FieldByName("ID").AsInteger();
}

class TableTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        path = MakeEmployees(dir, GetParam());
        table.SetName("Table1");
        table.SetDatabaseName(dir.Path());
        table.SetTableName(std::string("employee") + GetParam());
    }
    test::TempDir dir;
    std::string path;
    TTable table;
};

TEST_P(TableTest, NavigatesBothWaysAndByBookmark) {
    table.Open();
    EXPECT_EQ(table.RecordCount(), 5);
    std::vector<int> forward, backward;
    for (table.First(); !table.Eof(); table.Next()) forward.push_back(Id(table));
    for (table.Last(); !table.Bof(); table.Prior()) backward.push_back(Id(table));
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), forward);
    EXPECT_EQ((std::vector<int>{5, 4, 3, 2, 1}), backward);

    table.First();
    table.MoveBy(2);
    const TBookmark third = table.GetBookmark();
    table.Last();
    table.GotoBookmark(third);
    EXPECT_EQ(Id(table), 3);
    EXPECT_EQ(table.FieldByName("NAME").DisplayText(), "Cy");
    EXPECT_EQ(table.FieldByName("HIRED").DisplayText(), "1/15/1992");
    EXPECT_EQ(table.RecNo(), 3);
}

TEST_P(TableTest, PostedEditLandsInTheFile) {
    table.Open();
    table.MoveBy(1);
    table.Edit();
    table.FieldByName("NAME").SetText("Zed");
    table.FieldByName("HIRED").SetText("2/28/2001");
    table.FieldByName("AMOUNT").SetText("12.25");
    table.Post();
    EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Id(table), 2);
    table.Close();

    const auto records = FileRecords(path);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[1][1].s, "Zed");
    EXPECT_EQ(records[1][2], Value::Date(2001, 2, 28));
    EXPECT_DOUBLE_EQ(records[1][3].AsDouble(), 12.25);
    EXPECT_EQ(records[0][1].s, "Ann");

    table.Open();
    table.MoveBy(1);
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "Zed");
}

TEST_P(TableTest, CancelLeavesTheFileUntouched) {
    const auto before = Snapshot(dir);
    table.Open();
    table.Edit();
    table.FieldByName("NAME").SetText("Nobody");
    table.FieldByName("SMALL").SetText("99");
    table.Cancel();
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "Ann");
    table.Append();
    table.FieldByName("ID").SetText("77");
    table.Cancel();
    EXPECT_EQ(table.RecordCount(), 5);
    EXPECT_EQ(Id(table), 1);
    table.Close();
    EXPECT_EQ(before, Snapshot(dir));
}

TEST_P(TableTest, AppendAndDeleteLandInTheFile) {
    table.Open();
    table.Append();
    table.FieldByName("ID").SetAsInteger(6);
    table.FieldByName("NAME").SetAsString("Fay");
    table.Post();
    EXPECT_EQ(table.RecordCount(), 6);
    EXPECT_EQ(Id(table), 6);
    table.First();
    table.MoveBy(2);
    table.Delete();  // Cy
    EXPECT_EQ(Id(table), 4);
    EXPECT_EQ(table.RecordCount(), 5);
    table.Close();
    std::vector<std::string> names;
    for (const auto& r : FileRecords(path)) names.push_back(r[1].s);
    EXPECT_EQ((std::vector<std::string>{"Ann", "Bob", "Di", "Ed", "Fay"}), names);

    // Opened again, the deleted record stays away (a dBASE file still holds it, marked).
    table.Open();
    std::vector<int> ids;
    for (table.First(); !table.Eof(); table.Next()) ids.push_back(Id(table));
    EXPECT_EQ((std::vector<int>{1, 2, 4, 5, 6}), ids);
}

// Values that do not fit: a clear error, the record still in edit state, the file unchanged.
TEST_P(TableTest, ValuesThatDoNotFitKeepTheRecordInEditState) {
    struct Case {
        const char* field;
        const char* text;
        const char* message;  // where it fails (field or post), with the name prefix
        bool failsAtPost;
    };
    std::vector<Case> cases = {
        {"NAME", "Bartholomew", "Table1: Value of field 'NAME' is too long: 11 characters, at most 10 fit", false},
        {"HIRED", "2/30/1998", "Table1: '2/30/1998' is not a valid date for field 'HIRED'", false},
    };
    if (std::string(GetParam()) == ".db") {
        // (a dBASE table keeps a small integer as a number of six digits, so 70000 fits there)
        cases.push_back({"SMALL", "70000",
                         "Table1: 70000 is not a valid value for field 'SMALL'. The allowed range "
                         "is -32768 to 32767",
                         false});
        cases.push_back({"ID", "1", "Key violation.", true});
    }
    if (std::string(GetParam()) == ".dbf")
        cases.push_back({"AMOUNT", "123456.78", nullptr, true});  // N(8,2): the driver refuses it
    table.Open();
    for (const auto& c : cases) {
        const auto before = Snapshot(dir);
        table.First();
        table.Next();
        table.Edit();
        table.FieldByName("NAME").SetAsString("Changed");
        TField& f = table.FieldByName(c.field);
        if (!c.failsAtPost) {
            EXPECT_EQ(Message([&] { f.SetText(c.text); }), c.message) << c.field;
            table.FieldByName("SMALL").SetAsInteger(1);
        } else {
            f.SetText(c.text);
        }
        const std::string failure = Message([&] { table.Post(); });
        if (c.failsAtPost) {
            if (c.message)
                EXPECT_EQ(failure, c.message) << c.field;
            else
                EXPECT_NE(failure.find("AMOUNT"), std::string::npos) << failure;
            EXPECT_EQ(table.State(), TDataSetState::dsEdit) << c.field;
            EXPECT_EQ(table.FieldByName("NAME").AsString(), "Changed") << "typed values stay";
            EXPECT_EQ(before, Snapshot(dir)) << c.field;
            table.Cancel();
        } else {
            // The refused value never reached the record; the rest of the edit posts.
            EXPECT_EQ(failure, "(no error)");
            EXPECT_EQ(FileRecords(path)[1][1].s, "Changed");
        }
    }
}

// A keyed table moves a record whose key changed; the data set follows it there.
TEST(Table, KeyChangeFollowsTheRecord) {
    test::TempDir dir;
    TTable table;
    table.SetTableName(MakeEmployees(dir, ".db"));
    table.Open();
    table.Edit();
    table.FieldByName("ID").SetAsInteger(9);
    table.Post();
    EXPECT_EQ(Id(table), 9);
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "Ann");
    table.Next();
    EXPECT_TRUE(table.Eof());
    table.First();
    EXPECT_EQ(Id(table), 2);
}

TEST_P(TableTest, EngineFactsOfTheOpenTable) {
    EXPECT_EQ(table.Handle(), nullptr);
    EXPECT_EQ(Message([&] { table.CursorProperties(); }), "The specified cursor handle is invalid or NULL");
    table.Open();
    const auto props = table.CursorProperties();
    EXPECT_EQ(props.name, "employee");
    EXPECT_EQ(props.typeName, std::string(GetParam()) == ".db" ? "PARADOX" : "DBASE");
    EXPECT_EQ(table.FieldDescriptors().size(), 5u);
    if (std::string(GetParam()) == ".db") {
        ASSERT_FALSE(table.IndexDefs().empty());
        EXPECT_TRUE(table.IndexDefs()[0].primary);
        EXPECT_EQ(table.IndexDefs()[0].fields, "ID");
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, TableTest, ::testing::Values(".db", ".dbf"),
                         [](const auto& param) { return std::string(param.param).substr(1); });

TEST(Table, NamesAndPlaces) {
    test::TempDir dir;
    MakeEmployees(dir, ".db");
    MakeEmployees(dir, ".dbf");
    TTable table;
    table.SetName("Table1");
    table.SetDatabaseName(dir.Path());
    EXPECT_EQ(Message([&] { table.Open(); }), "Table1: Missing TableName property");
    table.SetTableName("EMPLOYEE");  // no extension: Paradox; the file's own spelling
    EXPECT_EQ(table.TablePath(), dir.File("employee.db"));
    table.SetTableType(TTableType::ttDBase);
    EXPECT_EQ(table.TablePath(), dir.File("employee.dbf"));
    table.SetTableName(dir.File("employee.dbf"));  // a full path decides the place
    table.SetDatabaseName("/nonexistent");
    EXPECT_EQ(table.TablePath(), dir.File("employee.dbf"));
    table.Open();
    EXPECT_EQ(Message([&] { table.SetTableName("x"); }), "Table1: Cannot perform this operation on an open dataset");
    table.Close();
    table.SetTableName("missing.db");
    table.SetDatabaseName(dir.Path());
    EXPECT_THROW(table.Open(), EDBEngineError);
    EXPECT_FALSE(table.Active());
}

TEST(Table, ReadOnlyTables) {
    test::TempDir dir;
    const std::string path = MakeEmployees(dir, ".db");
    TTable table;
    table.SetName("Table1");
    table.SetTableName(path);
    table.SetReadOnly(true);
    table.Open();
    EXPECT_FALSE(table.CanModify());
    EXPECT_EQ(Message([&] { table.Edit(); }), "Table1: Cannot modify a read-only dataset");
    table.Close();
    if (::geteuid() != 0) {  // root writes anyway
        std::filesystem::permissions(path, std::filesystem::perms::owner_read);
        table.SetReadOnly(false);
        table.Open();  // a file this process may only read opens for reading
        EXPECT_FALSE(table.CanModify());
        EXPECT_EQ(Message([&] { table.Delete(); }), "Table1: Cannot modify a read-only dataset");
    }
}

TEST(Table, NavigatorFollowsTheTable) {
    test::TempDir dir;
    TTable table;
    table.SetTableName(MakeEmployees(dir, ".db"));
    TDataSource source(&table);
    TNavigatorLogic nav;
    nav.SetDataSource(&source);
    int changes = 0;
    nav.OnChange = [&] { ++changes; };
    auto enabled = [&] {
        std::string s;
        for (bool b : nav.EnabledButtons()) s += b ? '1' : '0';
        return s;  // first prior next last insert delete edit post cancel refresh
    };
    EXPECT_EQ(enabled(), "0000000000");
    table.Open();
    EXPECT_EQ(enabled(), "0011111001");
    nav.Click(TNavigateBtn::nbNext);
    EXPECT_EQ(enabled(), "1111111001");
    nav.Click(TNavigateBtn::nbLast);
    EXPECT_EQ(enabled(), "1100111001");
    nav.Click(TNavigateBtn::nbNext);  // disabled: nothing happens
    EXPECT_EQ(table.FieldByName("ID").AsInteger(), 5);
    nav.Click(TNavigateBtn::nbEdit);
    EXPECT_EQ(table.State(), TDataSetState::dsEdit);
    EXPECT_EQ(enabled(), "1100110110");
    nav.Click(TNavigateBtn::nbCancel);
    EXPECT_EQ(enabled(), "1100111001");
    nav.Click(TNavigateBtn::nbInsert);
    EXPECT_EQ(table.State(), TDataSetState::dsInsert);
    nav.Click(TNavigateBtn::nbCancel);

    std::vector<std::string> asked;
    nav.OnConfirm = [&](const std::string& q) {
        asked.push_back(q);
        return false;
    };
    nav.Click(TNavigateBtn::nbDelete);
    EXPECT_EQ(table.RecordCount(), 5);
    nav.OnConfirm = [&](const std::string& q) {
        asked.push_back(q);
        return true;
    };
    nav.Click(TNavigateBtn::nbDelete);
    EXPECT_EQ(table.RecordCount(), 4);
    EXPECT_EQ((std::vector<std::string>{"Delete record?", "Delete record?"}), asked);
    nav.Click(TNavigateBtn::nbFirst);
    EXPECT_EQ(enabled(), "0011111001");
    EXPECT_GT(changes, 0);
    table.Close();
    EXPECT_EQ(enabled(), "0000000000");

    // A read-only data set offers no editing command.
    table.SetReadOnly(true);
    table.Open();
    EXPECT_EQ(enabled(), "0011000001");
}

}  // namespace
}  // namespace tessel
