// A table's files as other systems leave them: companions in any case of stem and extension,
// on every path (open, write, look up, copy, drop), and copies that keep what they copy.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "ExecTestSupport.h"
#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "engine/TableFiles.h"
#include "engine/paradox/PxTestUtil.h"
#include "engine/storage/TableFamily.h"
#include "support/RunCommand.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

class FamilyTest : public ::testing::Test, public ExecFixture {
protected:
    // Gives each file of the directory the name `rename` makes of it.
    void Rename(const std::function<std::string(const std::string&)>& rename) {
        for (const auto& [name, bytes] : Files()) fs::rename(dir.File(name), dir.File(rename(name)));
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : Files()) names.push_back(name);
        return names;
    }
};

// One table set per format, renamed as DOS and Windows media leave them.
struct CaseMix {
    const char* label;
    std::string (*rename)(const std::string&);
};

std::string UpperAll(const std::string& n) {
    return AsciiUpper(n);
}
std::string UpperCompanions(const std::string& n) {
    const auto dot = n.rfind('.');
    const std::string ext = n.substr(dot);
    if (ext == ".dbf" || ext == ".db") return n;
    return AsciiUpper(n);
}
std::string CapitalStems(const std::string& n) {
    std::string out = n;
    out[0] = AsciiUpper(out[0]);
    const auto dot = out.rfind('.');
    if (n.substr(dot) == ".dbf" || n.substr(dot) == ".db") return n;  // main file as written
    if (dot + 2 < out.size()) out[dot + 2] = AsciiUpper(out[dot + 2]);
    return out;
}

const CaseMix kMixes[] = {
    {"all upper case", UpperAll},
    {"companions upper case", UpperCompanions},
    {"capitalised companions", CapitalStems},
};

TEST_F(FamilyTest, DbaseCompanionsAreFoundInAnyCaseOnEveryPath) {
    for (const CaseMix& mix : kMixes) {
        SCOPED_TRACE(mix.label);
        for (const auto& [name, bytes] : Files()) fs::remove(dir.File(name));
        engine = std::make_unique<engine::Engine>(config.File("aliases.conf"), dir.Path());
        db = &engine->OpenDatabase("");
        Sql("CREATE TABLE \"notes.dbf\" (CODE CHAR(5), BODY BLOB(10,1))");
        Sql("INSERT INTO \"notes.dbf\" VALUES ('a', 'first memo')");
        Sql("CREATE INDEX CODE ON \"notes.dbf\" (CODE)");
        engine = std::make_unique<engine::Engine>(config.File("aliases.conf"), dir.Path());
        db = &engine->OpenDatabase("");
        Rename(mix.rename);

        EXPECT_EQ(Rows("SELECT CODE, BODY FROM \"notes.dbf\""), (std::vector<std::string>{"a|first memo"}));
        Sql("INSERT INTO \"notes.dbf\" VALUES ('b', 'second memo')");
        // The index another case of name holds is kept current and answers the lookup.
        EXPECT_EQ(Rows("SELECT BODY FROM \"notes.dbf\" WHERE CODE = 'b'"), (std::vector<std::string>{"second memo"}));
        const auto names = Names();
        EXPECT_EQ(names.size(), 3u) << "no companion of another case was made beside the old one";

        const std::string table = *engine::FindFileNoCase(dir.Path(), "notes.dbf");
        {
            auto t = engine::OpenTableFile(table);
            ASSERT_EQ(t->Indexes().size(), 1u);
            EXPECT_EQ(engine::CopyTableFile(*t, dir.File("copy.dbf")), 2u);
        }
        EXPECT_EQ(Rows("SELECT BODY FROM \"copy.dbf\" ORDER BY CODE"),
                  (std::vector<std::string>{"first memo", "second memo"}));
        Sql("DROP TABLE \"copy.dbf\"");
        Sql("DROP TABLE \"notes.dbf\"");
        EXPECT_TRUE(Files().empty()) << (Files().empty() ? "" : Files().begin()->first);
    }
}

TEST_F(FamilyTest, ParadoxCompanionsAreFoundInAnyCaseOnEveryPath) {
    for (const CaseMix& mix : kMixes) {
        SCOPED_TRACE(mix.label);
        for (const auto& [name, bytes] : Files()) fs::remove(dir.File(name));
        engine = std::make_unique<engine::Engine>(config.File("aliases.conf"), dir.Path());
        db = &engine->OpenDatabase("");
        Sql("CREATE TABLE \"px.db\" (ID INTEGER, CODE CHAR(5), BODY BLOB(10,1), PRIMARY KEY (ID))");
        Sql("INSERT INTO \"px.db\" VALUES (1, 'a', 'a memo longer than ten bytes')");
        Sql("CREATE INDEX CODE ON \"px.db\" (CODE)");
        engine = std::make_unique<engine::Engine>(config.File("aliases.conf"), dir.Path());
        db = &engine->OpenDatabase("");
        Rename(mix.rename);
        const size_t files = Files().size();

        EXPECT_EQ(Rows("SELECT BODY FROM px"), (std::vector<std::string>{"a memo longer than ten bytes"}));
        Sql("INSERT INTO \"px.db\" VALUES (2, 'b', 'another memo longer than ten')");
        EXPECT_EQ(Rows("SELECT ID FROM \"px.db\" WHERE CODE = 'b'"), (std::vector<std::string>{"2"}));
        EXPECT_EQ(Files().size(), files) << "no companion of another case was made beside the old one";
        if (!Pxdump().empty()) {
            int status = 0;
            const std::string table = *engine::FindFileNoCase(dir.Path(), "px.db");
            const std::string out = RunCommand(
                Pxdump() + " csv '" + table + "' --mb '" + engine::FindCompanion(table, ".mb") + "' 2>&1", &status);
            EXPECT_EQ(status, 0) << out;
            EXPECT_NE(out.find("another memo longer than ten"), std::string::npos) << out;
        }
        // A rewrite replaces every old companion, whatever its case, and drop takes them all.
        Sql("DROP INDEX \"px.db\".CODE");
        Sql("ALTER TABLE \"px.db\" ADD EXTRA CHAR(2)");
        EXPECT_EQ(Rows("SELECT ID, BODY FROM px ORDER BY ID"),
                  (std::vector<std::string>{"1|a memo longer than ten bytes", "2|another memo longer than ten"}));
        std::vector<std::string> lower;
        for (const auto& name : Names()) lower.push_back(AsciiLower(name));
        EXPECT_EQ(lower, (std::vector<std::string>{"px.db", "px.mb", "px.px"}));
        Sql("DROP TABLE px");
        EXPECT_TRUE(Files().empty());
    }
}

// Both copies (of a table, of an answer) keep an auto-increment field's numbers, gaps and all,
// and a table built under a temporary name records its final name.
TEST_F(FamilyTest, CopiesKeepAutoIncrementNumbersAndTheirOwnName) {
    Sql("CREATE TABLE \"auto.db\" (ID AUTOINC, NAME CHAR(10))");
    for (const char* name : {"one", "two", "three", "four"})
        Sql(std::string("INSERT INTO \"auto.db\" (NAME) VALUES ('") + name + "')");
    Sql("DELETE FROM \"auto.db\" WHERE ID = 1 OR ID = 3");
    const std::vector<std::string> kept = {"2|two", "4|four"};
    ASSERT_EQ(Rows("SELECT ID, NAME FROM \"auto.db\" ORDER BY ID"), kept);
    for (const char* dest : {"tcopy.db", "tcopy.dbf", "acopy.db", "acopy.dbf"}) {
        SCOPED_TRACE(dest);
        if (dest[0] == 't') {
            auto source = engine::OpenTableFile(dir.File("auto.db"));
            EXPECT_EQ(engine::CopyTableFile(*source, dir.File(dest)), 2u);
        } else {
            auto answer = db->OpenQuery("SELECT * FROM \"auto.db\"");
            EXPECT_EQ(db->BatchCopy(*answer, dir.File(dest)), 2u);
        }
        EXPECT_EQ(Rows(std::string("SELECT ID, NAME FROM \"") + dest + "\" ORDER BY ID"), kept);
    }
    // A Paradox copy stays an auto-increment field that goes on after the highest number.
    Sql("INSERT INTO \"tcopy.db\" (NAME) VALUES ('five')");
    EXPECT_EQ(Rows("SELECT ID FROM \"tcopy.db\" WHERE NAME = 'five'"), (std::vector<std::string>{"5"}));

    Sql("ALTER TABLE \"auto.db\" ADD EXTRA CHAR(2)");
    EXPECT_EQ(Rows("SELECT ID, NAME FROM \"auto.db\" ORDER BY ID"), kept);
    if (Pxdump().empty()) GTEST_SKIP() << "pxlib's reader is not installed";
    for (const char* table : {"auto.db", "tcopy.db", "acopy.db"}) {
        const std::string info = RunCommand(Pxdump() + " info '" + dir.File(table) + "' 2>&1");
        EXPECT_NE(info.find(std::string("tablename: ") + table + "\n"), std::string::npos) << info;
    }
}

}  // namespace
}  // namespace tessel::test
