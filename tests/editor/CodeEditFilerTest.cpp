// Tests of writing the editor's text to files.

#include "editor/CodeEditFiler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/Exceptions.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

using namespace std::string_literals;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(CodeEditFileWriter, FlushesBeforeALineThatDoesNotFitAndGrowsOnlyForOneTooLong) {
    TempDir dir;
    const std::string target = dir.File("out.sql");
    const std::string longLine(16384 + 100, 'L');
    {
        TCodeEditFileWriter writer(target);
        writer.SetLineBreakStyle(lbCrLf);
        EXPECT_EQ(writer.BufferSize(), 16384u);

        writer.WriteText(std::string(16380, 'a'));
        EXPECT_EQ(writer.BufferUsed(), 16380u);
        writer.WriteLine("abcdefgh");  // needs 10 bytes, 4 are free
        EXPECT_EQ(writer.BufferUsed(), 10u);
        EXPECT_EQ(writer.BufferSize(), 16384u);

        writer.WriteLine(longLine);
        EXPECT_EQ(writer.BufferSize(), longLine.size() + 2);
        EXPECT_EQ(writer.BufferUsed(), longLine.size() + 2);

        writer.SetLineBreakStyle(lbLf);
        writer.WriteLine("z");
        EXPECT_EQ(writer.BufferUsed(), 2u);
        EXPECT_EQ(writer.BufferSize(), longLine.size() + 2);

        EXPECT_FALSE(std::filesystem::exists(target));  // nothing reaches the target before Commit
        writer.Commit();
    }
    EXPECT_EQ(ReadBytes(target), std::string(16380, 'a') + "abcdefgh\r\n" + longLine + "\r\nz\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"out.sql"}));
}

TEST(CodeEditFileWriter, LineBreaksAndEncodings) {
    struct Case {
        const char* name;
        TTextEncoding encoding;
        TLineBreakStyle style;
        bool setStyle;
        std::string bytes;
    };
    // Each writes WriteLine("é"), WriteText("x"), WriteLine("").
    const Case cases[] = {
        {"lf is the writer's own default", TTextEncoding::Utf8, lbCrLf, false, "\xC3\xA9\nx\n"},
        {"cr lf", TTextEncoding::Utf8, lbCrLf, true, "\xC3\xA9\r\nx\r\n"},
        {"cr", TTextEncoding::Utf8, lbCr, true, "\xC3\xA9\rx\r"},
        {"utf-8 with mark", TTextEncoding::Utf8Bom, lbLf, true, "\xEF\xBB\xBF\xC3\xA9\nx\n"},
        {"windows-1252", TTextEncoding::Windows1252, lbCrLf, true, "\xE9\r\nx\r\n"},
        {"utf-16 le", TTextEncoding::Utf16LeBom, lbCrLf, true, "\xFF\xFE\xE9\0\r\0\n\0x\0\r\0\n\0"s},
        {"utf-16 be", TTextEncoding::Utf16BeBom, lbLf, true, "\xFE\xFF\0\xE9\0\n\0x\0\n"s},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            TCodeEditFileWriter writer(dir.File("out.txt"), c.encoding);
            if (c.setStyle) writer.SetLineBreakStyle(c.style);
            writer.WriteLine("\xC3\xA9");
            writer.WriteText("x");
            writer.WriteLine("");
            writer.Commit();
        }
        EXPECT_EQ(ReadBytes(dir.File("out.txt")), c.bytes);
    }
}

TEST(CodeEditFileWriter, CharacterOutsideWindows1252IsRefused) {
    TempDir dir;
    EXPECT_TRUE(CanEncode("caf\xC3\xA9 \xE2\x82\xAC", TTextEncoding::Windows1252));
    EXPECT_FALSE(CanEncode("\xE2\x86\x92", TTextEncoding::Windows1252));
    EXPECT_TRUE(CanEncode("\xE2\x86\x92", TTextEncoding::Utf16LeBom));

    TCodeEditFileWriter writer(dir.File("out.txt"), TTextEncoding::Windows1252);
    EXPECT_THROW(writer.WriteLine("\xE2\x86\x92"), Exception);
}

// An abandoned save (an error on the way, or no Commit) must not touch the old file and must
// not leave the temporary file behind, even when part of the text was already flushed.
TEST(CodeEditFileWriter, WithoutCommitTheOldFileStaysAndNothingIsLeftBehind) {
    TempDir dir;
    const std::string target = dir.File("query.sql");
    WriteBytes(target, "old text\r\n");
    {
        TCodeEditFileWriter writer(target);
        for (int i = 0; i < 2000; ++i) writer.WriteLine("a line that will never be saved");
        writer.Flush();
    }
    EXPECT_EQ(ReadBytes(target), "old text\r\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"query.sql"}));
}

TEST(CodeEditFileWriter, MissingDirectoryIsReportedWithTheFileName) {
    TempDir dir;
    const std::string target = dir.File("no/such/dir/query.sql");
    try {
        TCodeEditFileWriter writer(target);
        ADD_FAILURE() << "no exception";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace tessel
