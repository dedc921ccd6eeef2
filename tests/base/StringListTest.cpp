// Tests of string lists.

#include "base/StringList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/Exceptions.h"
#include "base/FileUtil.h"
#include "support/TempDir.h"

using tessel::TStringList;

TEST(StringList, TextAndSetTextUseEveryLineBreakStyle) {
    TStringList list;
    list.SetText("a\r\nb\rc\nd");
    EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, SortedListInsertsInCaseInsensitiveOrder) {
    TStringList list;
    list.SetSorted(true);
    for (const char* s : {"beta", "Alpha", "gamma", "ALPHA2"}) list.Add(s);
    EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}));
    EXPECT_EQ(list.IndexOf("GAMMA"), 3);
}

TEST(StringList, AssignCopiesLinesAndObjects) {
    TStringList source{"x", "y"};
    int marker = 0;
    source.PutObject(1, &marker);
    TStringList target{"old"};
    target.Assign(source);
    EXPECT_EQ(target.ToVector(), source.ToVector());
    EXPECT_EQ(target.GetObject(1), &marker);
}

TEST(StringList, BadIndexRaises) {
    TStringList list{"a"};
    EXPECT_THROW(list.Get(1), tessel::Exception);
    EXPECT_THROW(list.Delete(-1), tessel::Exception);
    EXPECT_NO_THROW(list.Insert(1, "b"));
    EXPECT_THROW(list.Insert(3, "c"), tessel::Exception);
}

TEST(FileUtil, AtomicWriteReplacesWholeFileAndKeepsPermissions) {
    tessel::test::TempDir dir;
    const std::string path = dir.File("q.sql");
    tessel::test::WriteBytes(path, "old text that is longer");
    ::chmod(path.c_str(), 0640);
    tessel::WriteFileAtomically(path, "new");
    EXPECT_EQ(tessel::test::ReadBytes(path), "new");
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST(FileUtil, PathHelpers) {
    EXPECT_EQ(tessel::ExtractFileDir("/usr/bin/tessel"), "/usr/bin");
    EXPECT_EQ(tessel::ExtractFileDir("/tessel"), "/");
    EXPECT_EQ(tessel::ExtractFileDir("tessel"), ".");
    EXPECT_EQ(tessel::ChangeFileExt("/opt/x.y/tessel", ".INI"), "/opt/x.y/tessel.INI");
    EXPECT_EQ(tessel::ChangeFileExt("/opt/tessel.exe", ".INI"), "/opt/tessel.INI");
}

TEST(FileUtil, ReadingAMissingFileNamesIt) {
    try {
        tessel::ReadFileBytes("/nonexistent/q.sql");
        FAIL() << "no exception";
    } catch (const tessel::EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/q.sql"), std::string::npos);
    }
}
