// Tests of tessel-sql --describe.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "support/TempDir.h"

using namespace tessel;

namespace {

TEST(CliDescribe, PrintsTheGeneratorsLinesWithTheChosenOptions) {
    test::ScopedUserDirs dirs;
    test::TempDir dir;
    {
        engine::Engine engine(dir.File("aliases.conf"), dir.Path());
        engine.OpenDatabase("").Execute(
            "CREATE TABLE \"customer.db\" (CustNo INTEGER, Name CHAR(30), Notes BLOB(20, 1), PRIMARY KEY (CustNo))");
    }
    struct Case {
        std::vector<std::string> options;
        std::string out;
    };
    const Case cases[] = {
        {{},
         "CREATE TABLE \"customer.db\"\n(\n  \"customer.db\".\"CustNo\" INTEGER,\n  \"customer.db\".\"Name\" "
         "CHAR(30),\n"
         "  \"customer.db\".\"Notes\" BLOB(20, 1),\n  PRIMARY KEY (\"customer.db\".\"CustNo\")\n)\n\n"},
        {{"--no-quote-fields", "--no-table-names", "--no-extensions"},
         "CREATE TABLE customer\n(\n  CustNo INTEGER,\n  Name CHAR(30),\n  Notes BLOB(20, 1),\n  PRIMARY KEY "
         "(CustNo)\n)\n\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--describe", dir.File("customer.db")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        std::ostringstream out, err;
        EXPECT_EQ(cli::RunCli(args, out, err), 0) << err.str();
        EXPECT_EQ(out.str(), c.out);
    }
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli({"--describe", dir.File("customer.db"), "--remarks"}, out, err), 0);
    EXPECT_EQ(out.str().substr(0, 36), "/*\n  Table name: \"customer.db\"\n  Tab");
    std::ostringstream out2, err2;
    EXPECT_EQ(cli::RunCli({"--describe", dir.File("none.db")}, out2, err2), 1);
    EXPECT_NE(err2.str().find("tessel-sql: "), std::string::npos);
}

}  // namespace
