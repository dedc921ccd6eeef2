// Tests of the filtering and validating data sets.

#include <gtest/gtest.h>

#include "DataTestSupport.h"
#include "engine/Engine.h"
#include "engine/paradox/PxFormat.h"
#include "framework/data/DbDataSets.h"
#include "framework/data/Session.h"

namespace tessel {
namespace {

using test::FileRecords;
using test::MakeEmployees;
using test::Message;
namespace pxt = engine::paradox::pxt;

// A .VAL file with one picture per (0-based field index, picture) for employee.db.
std::string PictureVal(const std::vector<std::pair<uint8_t, std::string>>& pictures) {
    std::string v(0x35, '\0');
    v[0] = 1;
    v[1] = 0x0C;
    v[2] = static_cast<char>(pictures.size());
    for (const auto& [field, pic] : pictures) {
        std::string c(0x1C, '\0');
        c[0] = static_cast<char>(field);
        c[1] = static_cast<char>(pic.size() + 1);
        c[0x18] = 1;
        v += c + pic + '\0';
    }
    const uint8_t types[][2] = {
        {pxt::kLong, 4}, {pxt::kAlpha, 10}, {pxt::kDate, 4}, {pxt::kCurrency, 8}, {pxt::kShort, 2}};
    std::string footer(6, '\0');
    footer[0] = 5;
    for (int k = 0; k < 5; ++k) footer += std::string{static_cast<char>(k + 1), 0};
    for (const auto& t : types) footer += std::string{static_cast<char>(t[0]), static_cast<char>(t[1])};
    const uint32_t size = static_cast<uint32_t>(v.size());
    for (int b = 0; b < 4; ++b) v[static_cast<size_t>(9 + b)] = static_cast<char>((size >> (8 * b)) & 0xFF);
    return v + footer + std::string(0x4F, '\0');
}

class DbDataSetsTest : public ::testing::Test {
protected:
    DbDataSetsTest() : engine(dir.File("aliases.conf"), dir.Path()) {
        SetSessionEngine(&engine);
        MakeEmployees(dir, ".db");
        MakeEmployees(dir, ".dbf");
    }
    ~DbDataSetsTest() override {
        query.Close();
        table.Close();
        SetSessionEngine(nullptr);
    }
    void OpenTable(const char* name) {
        table.SetDatabaseName(dir.Path());
        table.SetTableName(name);
        table.Open();
    }
    test::TempDir dir;
    engine::Engine engine;
    TDbQuery query;
    TDbTable table;
};

TEST_F(DbDataSetsTest, WithEmptyListsTheQueryReadsAsThePlainOne) {
    query.SQL().Add("SELECT ID, NAME FROM employee ORDER BY ID");
    query.Open();
    EXPECT_TRUE(query.IsSequenced());
    EXPECT_EQ(query.RecordCount(), 5);
    query.Last();
    EXPECT_EQ(query.FieldByName("NAME").AsString(), "Ed");
    EXPECT_FALSE(query.CanModify());
    EXPECT_EQ(Message([&] { query.Edit(); }), "Cannot modify a read-only dataset");
}

TEST_F(DbDataSetsTest, PictureMasksStopAPostAtTheFirstBadField) {
    OpenTable("employee.dbf");
    table.PictureMasks.Add("NAME\t&*?");
    table.PictureMasks.Add("SMALL\t#");
    std::vector<std::string> invalid;
    table.OnInvalidValue = [&](TDataSet&, TField& f) { invalid.push_back(f.FieldName()); };
    table.Edit();
    table.FieldByName("NAME").SetText("1bc");
    table.FieldByName("SMALL").SetText("42");
    EXPECT_EQ(Message([&] { table.Post(); }), "Invalid characters. Field : NAME");
    EXPECT_EQ(invalid, std::vector<std::string>{"NAME"});
    EXPECT_EQ(table.State(), TDataSetState::dsEdit);
    table.FieldByName("NAME").SetText("Abc");
    EXPECT_EQ(Message([&] { table.Post(); }), "Invalid characters. Field : SMALL");
    // An empty text passes; a read-only field is not checked.
    table.FieldByName("SMALL").SetText("");
    table.Post();
    EXPECT_EQ(FileRecords(dir.File("employee.dbf"))[0][1], engine::Value::Text("Abc"));
    table.FieldByName("SMALL").SetReadOnly(true);
    table.Edit();
    table.FieldByName("NAME").SetText("9");
    table.FieldByName("NAME").SetDisplayLabel("Name of person");
    EXPECT_EQ(Message([&] { table.Post(); }), "Invalid characters. Field : Name of person");
    table.Cancel();
    // Switched off, nothing is checked.
    table.ValidateWithMask = false;
    table.Edit();
    table.FieldByName("NAME").SetText("9");
    table.Post();
    EXPECT_EQ(FileRecords(dir.File("employee.dbf"))[0][1], engine::Value::Text("9"));
}

TEST_F(DbDataSetsTest, ParadoxValidityPicturesOverrideTheMaskLines) {
    test::WriteBytes(dir.File("employee.val"), PictureVal({{1, "&*?"}, {4, "#"}}));
    table.SetDatabaseName(dir.Path());
    table.SetTableName("employee");  // default type, name without extension: the .db file
    table.PictureMasks.Add("NAME\t###\tT\tT");
    // Read while the table is closed, and only once.
    const auto& lines = table.ValidityPictures();
    EXPECT_EQ(lines, (std::vector<std::string>{"NAME\t&*?", "SMALL\t#"}));
    const TPictureMask name = table.PictureMaskOf("name");
    EXPECT_EQ(name.Picture, "&*?");
    EXPECT_TRUE(name.AutoFill);
    const TPictureMask small = table.PictureMaskOf("SMALL");
    EXPECT_EQ(small.Picture, "#");
    EXPECT_FALSE(small.Found);
    EXPECT_TRUE(table.PictureMaskOf("ID").Picture.empty());

    table.Open();
    table.Edit();
    table.FieldByName("SMALL").SetText("12");
    EXPECT_EQ(Message([&] { table.Post(); }), "Invalid characters. Field : SMALL");
    table.Cancel();

    // A dBASE table has no such pictures.
    TDbTable dbf;
    dbf.SetDatabaseName(dir.Path());
    dbf.SetTableName("employee.dbf");
    EXPECT_TRUE(dbf.ValidityPictures().empty());
}

// A live answer checks its fields against the pictures of its table's validity checks, under
// the answer's names for them, before a post writes the file.
TEST_F(DbDataSetsTest, ALiveAnswerTakesItsTablesValidityPictures) {
    test::WriteBytes(dir.File("employee.val"), PictureVal({{1, "&*?"}, {4, "#"}}));
    query.SQL().Add("SELECT SMALL AS S, NAME FROM employee ORDER BY ID");
    query.SetRequestLive(true);
    query.Open();
    ASSERT_TRUE(query.CanModify()) << query.ReadOnlyReason();
    EXPECT_EQ(query.PictureMaskOf("S").Picture, "#");
    EXPECT_EQ(query.PictureMaskOf("NAME").Picture, "&*?");
    const std::string before = test::ReadBytes(dir.File("employee.db"));
    query.Edit();
    query.FieldByName("S").SetText("12");
    EXPECT_EQ(Message([&] { query.Post(); }), "Invalid characters. Field : S");
    EXPECT_EQ(query.State(), TDataSetState::dsEdit);
    EXPECT_EQ(test::ReadBytes(dir.File("employee.db")), before);
    query.FieldByName("S").SetText("7");
    query.Post();
    EXPECT_EQ(FileRecords(dir.File("employee.db"))[0][4].AsDouble(), 7);
}

TEST_F(DbDataSetsTest, RecordFilterShowsTheAcceptedRecordsUnsequenced) {
    OpenTable("employee.db");
    std::vector<int> seen;
    table.SetOnFilter([&](TDataSet& ds, bool& accept) {
        seen.push_back(ds.FieldByName("ID").AsInteger());
        accept = ds.FieldByName("ID").AsInteger() % 2 == 1;
    });
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(table.IsSequenced());
    EXPECT_EQ(table.RecordCount(), 3);
    std::vector<std::string> names;
    for (table.First(); !table.Eof(); table.Next()) names.push_back(table.FieldByName("NAME").AsString());
    EXPECT_EQ(names, (std::vector<std::string>{"Ann", "Cy", "Ed"}));

    // Editing goes to the right record of the file.
    table.First();
    table.Next();
    table.Edit();
    table.FieldByName("NAME").SetText("Cyd");
    table.Post();
    EXPECT_EQ(FileRecords(dir.File("employee.db"))[2][1], engine::Value::Text("Cyd"));
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "Cyd");

    // Without ofoEnabled every record comes back.
    table.SetOnFilterOptions(ofoShowHourGlass);
    EXPECT_TRUE(table.IsSequenced());
    EXPECT_EQ(table.RecordCount(), 5);
    table.SetOnFilterOptions(ofoEnabled);
    EXPECT_EQ(table.RecordCount(), 3);
    table.SetOnFilter(nullptr);
    EXPECT_EQ(table.RecordCount(), 5);
}

TEST_F(DbDataSetsTest, FilterInstalledBeforeOpeningAndCancelledByEscape) {
    int busyOn = 0, busyOff = 0;
    TDbDataSetExtension::BusyCursorHook() = [&](bool busy) { (busy ? busyOn : busyOff)++; };
    query.SQL().Add("SELECT ID FROM employee");
    query.SetOnFilter([](TDataSet& ds, bool& accept) { accept = ds.FieldByName("ID").AsInteger() > 3; });
    query.Open();
    EXPECT_EQ(query.RecordCount(), 2);
    EXPECT_EQ(busyOn, 1);
    EXPECT_EQ(busyOff, 1);
    query.Close();
    TDbDataSetExtension::BusyCursorHook() = nullptr;

    // Escape is looked at every 100th record; it drops the filter and tells the handler.
    {
        auto t = engine::CreateTableFile(dir.File("many.dbf"), {engine::FieldDesc::Make("N", engine::fldtype::kInt16)});
        for (int i = 0; i < 250; ++i) t->AppendRecord({engine::Value::Int(i)});
        t->Close();
    }
    TDbQuery big;
    big.SetDatabaseName(dir.Path());
    big.SQL().Add("SELECT N FROM \"many.dbf\"");
    int asked = 0, escapes = 0, calls = 0;
    TDbDataSetExtension::EscapePressedHook() = [&] { return ++asked == 2; };
    big.OnFilterEscape = [&](TDataSet&) { ++escapes; };
    big.SetOnFilterOptions(ofoEnabled | ofoCancelOnEscape);
    big.SetOnFilter([&](TDataSet&, bool& accept) {
        ++calls;
        accept = false;
    });
    big.Open();
    TDbDataSetExtension::EscapePressedHook() = nullptr;
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(escapes, 1);
    EXPECT_EQ(calls, 199);  // the 200th record found Escape pressed
    EXPECT_FALSE(big.OnFilterOptions() & ofoEnabled);
    EXPECT_EQ(big.RecordCount(), 250);
    EXPECT_TRUE(big.IsSequenced());
}

}  // namespace
}  // namespace tessel
