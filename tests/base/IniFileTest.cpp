// Tests of profile files.

#include "base/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Exceptions.h"
#include "support/TempDir.h"

using tessel::ParseProfileInteger;
using tessel::TIniFile;

TEST(ProfileInteger, ReadsTheWaysProfileFilesWriteNumbers) {
    struct Case {
        const char* text;
        std::optional<long long> value;
    };
    const Case cases[] = {
        {"1", 1},
        {"0", 0},
        {"-7", -7},
        {"+3", 3},
        {" 12 ", 12},
        {"0x1", 1},
        {"0X1F", 31},
        {"0xFFFFFFFF", -1},
        {"0x", std::nullopt},  // two characters: not hexadecimal, and not a decimal either
        {"yes", std::nullopt},
        {"", std::nullopt},
        {"1a", std::nullopt},
        {"0x1G", std::nullopt},
        {"--1", std::nullopt},
        {"0x100000000", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseProfileInteger(c.text), c.value) << "'" << c.text << "'";
    }
}

TEST(IniFile, ReadsSectionsAndKeysWithoutRegardToCase) {
    TIniFile ini("unused", "; leading comment\n[init]\nchkQf=0x1\nCHKFILEX = yes\n\n[Other]\nk=v\n");
    EXPECT_EQ(ini.ReadInteger("INIT", "chkqf", 0), 1);
    EXPECT_EQ(ini.ReadInteger("init", "chkFileX", 0), 0);  // no integer: the default
    EXPECT_EQ(ini.ReadInteger("init", "missing", 5), 5);
    EXPECT_EQ(ini.ReadString("other", "K", ""), "v");
    EXPECT_TRUE(ini.SkippedLines().empty());
}

TEST(IniFile, KeepsUnreadableLinesAndReportsThem) {
    TIniFile ini("unused", "orphan=1\n[a]\nx=1\ngarbage line\n[broken\ny=2\n[b]\nz=3\n");
    ASSERT_EQ(ini.SkippedLines().size(), 4u);
    EXPECT_EQ(ini.SkippedLines()[0], "line 1: orphan=1");
    EXPECT_EQ(ini.SkippedLines()[1], "line 4: garbage line");
    EXPECT_EQ(ini.SkippedLines()[2], "line 5: [broken");
    EXPECT_EQ(ini.SkippedLines()[3], "line 6: y=2");  // belongs to the unreadable section
    EXPECT_EQ(ini.ReadString("a", "y", "-"), "-");
    EXPECT_EQ(ini.ReadString("b", "z", ""), "3");
    // Writing back keeps what it could not read, in place.
    const std::string text = ini.ToText();
    EXPECT_NE(text.find("garbage line"), std::string::npos);
    EXPECT_LT(text.find("orphan=1"), text.find("[a]"));
}

TEST(IniFile, UpdateFileWritesAndReadsBack) {
    tessel::test::TempDir dir;
    const std::string path = dir.File("s.INI");
    {
        TIniFile ini(path);  // missing file: empty profile
        EXPECT_TRUE(ini.SectionNames().empty());
        ini.WriteBool("init", "chkQf", true);
        ini.WriteInteger("init", "chkFileX", 0);
        ini.WriteString("init", "chkQf", "1");  // replaces, keeps its place
        ini.UpdateFile();
    }
    EXPECT_EQ(tessel::test::ReadBytes(path), "[init]\nchkQf=1\nchkFileX=0\n");
    TIniFile again(path);
    EXPECT_TRUE(again.ReadBool("init", "chkQf", false));
}

TEST(IniFile, UnwritableDirectoryRaisesAndLeavesTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    tessel::test::TempDir dir;
    const std::string path = dir.File("s.INI");
    tessel::test::WriteBytes(path, "[init]\nchkQf=1\n");
    ::chmod(dir.Path().c_str(), 0555);
    TIniFile ini(path);
    ini.WriteString("init", "chkQf", "0");
    EXPECT_THROW(ini.UpdateFile(), tessel::EFileError);
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(tessel::test::ReadBytes(path), "[init]\nchkQf=1\n");
}
