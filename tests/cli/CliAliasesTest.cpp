// Tests of tessel-sql's alias commands.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "engine/Aliases.h"
#include "support/RawDbf.h"
#include "support/TempDir.h"

using tessel::cli::RunCli;
using tessel::test::ScopedUserDirs;

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace

TEST(CliAliases, AddListRemove) {
    ScopedUserDirs dirs;
    const std::string dir = dirs.Root().Path();
    EXPECT_EQ(Cli({"--add-alias", "Shop", dir, "--driver", "DBASE"}).status, 0);
    const CliRun listed = Cli({"--aliases"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("Shop\t" + dir + "\tDBASE\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(std::string(tessel::engine::kSampleAliasName) + "\t"), std::string::npos);
    EXPECT_EQ(Cli({"--remove-alias", "shop"}).status, 0);
    EXPECT_EQ(Cli({"--aliases"}).out.find("Shop"), std::string::npos);
}

// A dBASE table that declares no code page (driver byte 0, no .cpg) holding Windows 1250 text:
// the alias or the run says which code page it is.
TEST(CliAliases, TheCodePageOfTablesThatDeclareNone) {
    ScopedUserDirs dirs;
    const std::string dir = dirs.Root().Path() + "/pl";
    std::filesystem::create_directories(dir);
    tessel::test::WriteBytes(dir + "/pl.dbf", tessel::test::Bytes({{{"NAME", 'C', 8, 0}},
                                                                   {"\xA3\xF3"
                                                                    "d\xBF"}}));

    EXPECT_EQ(Cli({"--dump", dir + "/pl.dbf"}).out,
              "NAME\r\n\u00A3\u00F3"
              "d\u00BF\r\n");  // Windows 1252
    EXPECT_EQ(Cli({"--codepage", "ISO-8859-2", "--dump", dir + "/pl.dbf"}).out,
              "NAME\r\n\u0141\u00F3"
              "d\u017C\r\n");
    EXPECT_EQ(Cli({"--add-alias", "PL", dir, "--driver", "DBASE", "--codepage", "cp1250"}).status, 0);
    EXPECT_NE(Cli({"--aliases"}).out.find("PL\t" + dir + "\tDBASE\t1250\n"), std::string::npos);
    EXPECT_EQ(Cli({"--alias", "PL", "-c", "SELECT NAME FROM pl"}).out,
              "NAME\r\n\u0141\u00F3"
              "d\u017C\r\n");
    const CliRun bogus = Cli({"--codepage", "klingon", "--dump", dir + "/pl.dbf"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_NE(bogus.err.find("unknown code page"), std::string::npos) << bogus.err;
    EXPECT_EQ(Cli({"--add-alias", "X", dir, "--codepage", "klingon"}).status, 1);
}

TEST(CliAliases, FailuresAndUsageErrorsHaveDistinctStatuses) {
    ScopedUserDirs dirs;
    const CliRun tooLong = Cli({"--add-alias", std::string(32, 'N'), dirs.Root().Path()});
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_NE(tooLong.err.find("longer than 31"), std::string::npos) << tooLong.err;
    EXPECT_EQ(Cli({"--remove-alias", "ghost"}).status, 1);
    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"--bogus"}).status, 2);
    EXPECT_EQ(Cli({"--add-alias", "OnlyName"}).status, 2);
    EXPECT_EQ(Cli({"--help"}).status, 0);
}

TEST(CliAliases, ListNamesTheSkippedLinesOnStderr) {
    ScopedUserDirs dirs;
    std::filesystem::create_directories(dirs.ConfigDir());
    tessel::test::WriteBytes(dirs.ConfigDir() + "/aliases.conf", "[A]\nPATH=/a\n%%% junk\n");
    const CliRun listed = Cli({"--aliases"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("A\t/a\tPARADOX\n"), std::string::npos);
    EXPECT_NE(listed.err.find("skipped line 3: %%% junk"), std::string::npos) << listed.err;
}
