// Tests of the editor's text buffer.

#include "editor/CodeEditStringList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/StringList.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

using Lines = std::vector<std::string>;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using namespace std::string_literals;

// Every notification of a buffer, in order, as readable text.
class Recorder {
public:
    explicit Recorder(TCodeEditStringList& lines) {
        auto sender = [&lines](TCodeEditStringList* s) { return s == &lines ? "" : " (wrong sender)"; };
        lines.OnLinesChanging = [this, sender](TCodeEditStringList* s) { log.push_back("Changing"s + sender(s)); };
        lines.OnLinesChanged = [this, sender](TCodeEditStringList* s) { log.push_back("Changed"s + sender(s)); };
        lines.OnLinesCleared = [this, sender](TCodeEditStringList* s) { log.push_back("Cleared"s + sender(s)); };
        lines.OnLineAdded = [this](int i, const std::string& t) { Line("Added", i, t); };
        lines.OnLineInserted = [this](int i, const std::string& t) { Line("Inserted", i, t); };
        lines.OnLinePut = [this](int i, const std::string& t) { Line("Put", i, t); };
        lines.OnLineDeleted = [this](int i) { log.push_back("Deleted " + std::to_string(i)); };
    }
    std::vector<std::string> log;

private:
    void Line(const char* what, int index, const std::string& text) {
        log.push_back(std::string(what) + " " + std::to_string(index) + " '" + text + "'");
    }
};

void Fill(TCodeEditStringList& lines, const Lines& text) {
    for (const auto& line : text) lines.Add(line);
}

void LoadBytes(TCodeEditStringList& lines, const std::string& bytes) {
    std::istringstream stream(bytes);
    lines.LoadFromStream(stream);
}

std::string SaveBytes(const TCodeEditStringList& lines) {
    std::ostringstream stream;
    lines.SaveToStream(stream);
    return stream.str();
}

// ---------------------------------------------------------------------------------------------
// Reading and writing text

TEST(CodeEditStringListLoad, CutsLinesAndRecordsTheLineBreakStyle) {
    struct Case {
        std::string bytes;
        Lines lines;
        TLineBreakStyle style;
    };
    const Case cases[] = {
        {"ab\r\ncd", {"ab", "cd"}, lbCrLf},
        {"ab\ncd\n", {"ab", "cd"}, lbLf},
        {"ab\rcd", {"ab", "cd"}, lbCr},
        {"a\r\nb\nc", {"a", "b", "c"}, lbCrLf},  // CR and LF both seen
        {"", {}, lbCrLf},
        {"abc", {"abc"}, lbCrLf},                // no break at all
        {"\n\n", {"", ""}, lbLf},                // a final break makes no extra line
        {"ab\n\rcd", {"ab", "", "cd"}, lbCrLf},  // LF CR is two breaks, not one
        {"ab\0cd"s, {"ab", "cd"}, lbCrLf},       // NUL ends a line but is no line break
        {"ab\r\n\0cd"s, {"ab", "cd"}, lbCrLf},   // a NUL right after a break is skipped
        {"ab\0\0cd"s, {"ab", "", "cd"}, lbCrLf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        TCodeEditStringList lines;
        lines.SetLineBreakStyle(lbCr);  // must be overwritten by every load
        LoadBytes(lines, c.bytes);
        EXPECT_EQ(lines.ToVector(), c.lines);
        EXPECT_EQ(lines.LineBreakStyle(), c.style);
    }
}

TEST(CodeEditStringListLoad, ReadsTheWholeStreamFromItsStart) {
    // Read to the end first, as a caller that looked at the text might: that leaves the stream
    // at its end with its failure state set.
    std::istringstream stream("one\ntwo\n");
    for (std::string line; std::getline(stream, line);) {
    }
    ASSERT_TRUE(stream.fail());
    TCodeEditStringList lines;
    lines.LoadFromStream(stream);
    EXPECT_EQ(lines.ToVector(), (Lines{"one", "two"}));
}

TEST(CodeEditStringListSave, WritesEveryLineWithTheRecordedBreak) {
    struct Case {
        Lines lines;
        TLineBreakStyle style;
        std::string bytes;
    };
    const Case cases[] = {
        {{"x"}, lbLf, "x\n"},
        {{"a", "b"}, lbCrLf, "a\r\nb\r\n"},
        {{"a", ""}, lbCr, "a\r\r"},
        {{}, lbCrLf, ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.lines));
        TCodeEditStringList lines;
        Fill(lines, c.lines);
        lines.SetLineBreakStyle(c.style);
        EXPECT_EQ(SaveBytes(lines), c.bytes);
        lines.SaveToFile(dir.File("out.sql"));
        EXPECT_EQ(ReadBytes(dir.File("out.sql")), c.bytes);
    }
}

TEST(CodeEditStringListSave, LoadThenSaveKeepsTheStyleAndEndsTheLastLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\nb", "a\nb\n"},
        {"a\rb\r", "a\rb\r"},
        {"a\r\nb", "a\r\nb\r\n"},
        {"a\nb\r\nc", "a\r\nb\r\nc\r\n"},  // mixed files are normalised to CR LF
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(testing::PrintToString(in));
        TCodeEditStringList lines;
        LoadBytes(lines, in);
        EXPECT_EQ(SaveBytes(lines), out);
    }
}

// Each file is loaded, checked, and saved again (to a file and to a stream); the saved bytes must
// be the loaded ones.
TEST(CodeEditStringListEncoding, RoundTripsEveryEncodingByteForByte) {
    struct Case {
        const char* name;
        std::string bytes;
        TTextEncoding encoding;
        Lines lines;
        TLineBreakStyle style;
    };
    const Case cases[] = {
        {"utf-8", "caf\xC3\xA9\r\n\xE2\x82\xAC 1\r\n", TTextEncoding::Utf8, {"caf\xC3\xA9", "\xE2\x82\xAC 1"}, lbCrLf},
        {"windows-1252", "caf\xE9 \x80\n", TTextEncoding::Windows1252, {"caf\xC3\xA9 \xE2\x82\xAC"}, lbLf},
        {"windows-1252 undefined byte", "a\x81z\n", TTextEncoding::Windows1252, {"a\xC2\x81z"}, lbLf},
        {"utf-8 with mark",
         "\xEF\xBB\xBF"
         "ab\ncd\n",
         TTextEncoding::Utf8Bom,
         {"ab", "cd"},
         lbLf},
        {"utf-16 le with mark",
         "\xFF\xFE"
         "a\0\r\0\n\0\xE9\0\r\0\n\0"s,
         TTextEncoding::Utf16LeBom,
         {"a", "\xC3\xA9"},
         lbCrLf},
        {"utf-16 be with mark",
         "\xFE\xFF"
         "\0a\0\r\0\n\xD8\x3D\xDE\x00\0\r\0\n"s,
         TTextEncoding::Utf16BeBom,
         {"a", "\xF0\x9F\x98\x80"},
         lbCrLf},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.File("in.sql"), c.bytes);
        TCodeEditStringList lines;
        lines.LoadFromFile(dir.File("in.sql"));
        EXPECT_EQ(lines.Encoding(), c.encoding);
        EXPECT_EQ(lines.ToVector(), c.lines);
        EXPECT_EQ(lines.LineBreakStyle(), c.style);

        lines.SaveToFile(dir.File("out.sql"));
        EXPECT_EQ(ReadBytes(dir.File("out.sql")), c.bytes);
        EXPECT_EQ(SaveBytes(lines), c.bytes);
        EXPECT_EQ(lines.Encoding(), c.encoding);
    }
}

TEST(CodeEditStringListEncoding, NewTextIsUtf8AndAChosenEncodingIsUsed) {
    TCodeEditStringList lines;
    lines.Add("\xC3\xA9");
    EXPECT_EQ(SaveBytes(lines), "\xC3\xA9\r\n");
    lines.SetEncoding(TTextEncoding::Utf16LeBom);
    EXPECT_EQ(SaveBytes(lines), "\xFF\xFE\xE9\0\r\0\n\0"s);
    lines.SetEncoding(TTextEncoding::Windows1252);
    EXPECT_EQ(SaveBytes(lines), "\xE9\r\n");
}

TEST(CodeEditStringListEncoding, EmptyTextSavesAsAnEmptyFileEvenWithAMark) {
    TempDir dir;
    TCodeEditStringList lines;
    LoadBytes(lines, "\xFF\xFE");
    EXPECT_EQ(lines.Count(), 0);
    EXPECT_EQ(lines.Encoding(), TTextEncoding::Utf16LeBom);
    EXPECT_EQ(SaveBytes(lines), "");
    lines.SaveToFile(dir.File("empty.sql"));
    EXPECT_EQ(ReadBytes(dir.File("empty.sql")), "");
}

// A character that Windows-1252 lacks must never be lost: the file becomes UTF-8.
TEST(CodeEditStringListEncoding, Windows1252FallsBackToUtf8WhenACharacterDoesNotFit) {
    TempDir dir;
    for (const bool toFile : {false, true}) {
        SCOPED_TRACE(toFile ? "file" : "stream");
        TCodeEditStringList lines;
        LoadBytes(lines, "caf\xE9\n");
        ASSERT_EQ(lines.Encoding(), TTextEncoding::Windows1252);
        lines.Add("\xE2\x86\x92 \xE2\x82\xAC");  // an arrow (not in the code page) and a euro sign

        std::string saved;
        if (toFile) {
            lines.SaveToFile(dir.File("out.sql"));
            saved = ReadBytes(dir.File("out.sql"));
        } else {
            saved = SaveBytes(lines);
        }
        EXPECT_EQ(saved, "caf\xC3\xA9\n\xE2\x86\x92 \xE2\x82\xAC\n");
        EXPECT_EQ(lines.Encoding(), TTextEncoding::Utf8);
    }
}

TEST(CodeEditStringListEncoding, Windows1252StaysWhenEveryCharacterFits) {
    TCodeEditStringList lines;
    LoadBytes(lines, "caf\xE9\n");
    lines.Add("\xE2\x82\xAC");  // the euro sign is byte 0x80 of the code page
    EXPECT_EQ(SaveBytes(lines), "caf\xE9\n\x80\n");
    EXPECT_EQ(lines.Encoding(), TTextEncoding::Windows1252);
}

TEST(CodeEditStringListFiles, FailedLoadLeavesTheBufferAsItWas) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("folder"));
    for (const std::string name : {"missing.sql", "folder"}) {
        SCOPED_TRACE(name);
        TCodeEditStringList lines;
        LoadBytes(lines, "keep\xE9\rme\r");
        Recorder recorder(lines);
        try {
            lines.LoadFromFile(dir.File(name));
            ADD_FAILURE() << "no exception";
        } catch (const EFileError& e) {
            EXPECT_NE(std::string(e.what()).find(dir.File(name)), std::string::npos) << e.what();
        }
        EXPECT_EQ(lines.ToVector(), (Lines{"keep\xC3\xA9", "me"}));
        EXPECT_EQ(lines.LineBreakStyle(), lbCr);
        EXPECT_EQ(lines.Encoding(), TTextEncoding::Windows1252);
        EXPECT_TRUE(recorder.log.empty()) << testing::PrintToString(recorder.log);
    }
}

TEST(CodeEditStringListFiles, SaveOntoADirectoryFailsAndLeavesNoTemporaryFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("target"));
    WriteBytes(dir.File("target/inside.txt"), "old");
    TCodeEditStringList lines;
    lines.Add("new");
    EXPECT_THROW(lines.SaveToFile(dir.File("target")), EFileError);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("target")));
    EXPECT_EQ(ReadBytes(dir.File("target/inside.txt")), "old");
    EXPECT_EQ(dir.Entries(), (Lines{"target"}));
}

// The file itself may be written, but the directory takes no new file, so there is nowhere to
// put the new text safely: the save must fail rather than overwrite the file in place.
TEST(CodeEditStringListFiles, SaveIntoAReadOnlyDirectoryFailsAndKeepsTheOldFile) {
    TempDir dir;
    const std::string target = dir.File("query.sql");
    WriteBytes(target, "old\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    TCodeEditStringList lines;
    lines.Add("new");

    // The superuser ignores permissions, so the save runs in a child without that privilege.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
        try {
            lines.SaveToFile(target);
            ::_exit(1);
        } catch (const EFileError&) {
            ::_exit(0);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved anyway, 2: wrong exception, 3: setuid failed";
    EXPECT_EQ(ReadBytes(target), "old\r\n");
    EXPECT_EQ(dir.Entries(), (Lines{"query.sql"}));
}

TEST(CodeEditStringListFiles, SaveReplacesTheFileKeepingItsPermissionsAndLinks) {
    TempDir dir;
    WriteBytes(dir.File("real.sql"), "a much longer old text than the new one\n");
    ASSERT_EQ(::chmod(dir.File("real.sql").c_str(), 0640), 0);
    std::filesystem::create_symlink("real.sql", dir.File("link.sql"));
    TCodeEditStringList lines;
    lines.Add("new");
    lines.SaveToFile(dir.File("link.sql"));

    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.sql")));
    EXPECT_EQ(ReadBytes(dir.File("real.sql")), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("real.sql").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Entries(), (Lines{"link.sql", "real.sql"}));
}

// ---------------------------------------------------------------------------------------------
// Editing and its notifications

TEST(CodeEditStringListNotifications, EachOperationReportsExactlyWhatChanged) {
    struct Case {
        const char* name;
        std::function<void(TCodeEditStringList&)> op;
        std::vector<std::string> log;
        Lines after;
    };
    TStringList two{"d", "e"};
    TStringList three{"1", "2", "3"};
    const Case cases[] = {
        {"put", [](auto& l) { l.Put(1, "x"); }, {"Changing", "Put 1 'x'", "Changed"}, {"a", "x", "c"}},
        {"put at count adds",
         [](auto& l) { l.Put(3, "d"); },
         {"Changing", "Added 3 'd'", "Changed"},
         {"a", "b", "c", "d"}},
        {"add",
         [](auto& l) { EXPECT_EQ(l.Add("d"), 3); },
         {"Changing", "Added 3 'd'", "Changed"},
         {"a", "b", "c", "d"}},
        {"insert", [](auto& l) { l.Insert(0, "z"); }, {"Changing", "Inserted 0 'z'", "Changed"}, {"z", "a", "b", "c"}},
        {"insert at count",
         [](auto& l) { l.Insert(3, "z"); },
         {"Changing", "Inserted 3 'z'", "Changed"},
         {"a", "b", "c", "z"}},
        {"delete", [](auto& l) { l.Delete(1); }, {"Changing", "Deleted 1", "Changed"}, {"a", "c"}},
        {"exchange", [](auto& l) { l.Exchange(0, 2); }, {"Changing", "Changed"}, {"c", "b", "a"}},
        {"put object", [](auto& l) { l.PutObject(0, &l); }, {}, {"a", "b", "c"}},
        {"clear", [](auto& l) { l.Clear(); }, {"Changing", "Cleared", "Changed"}, {}},
        {"add strings",
         [&](auto& l) { l.AddStrings(two); },
         {"Changing", "Added 3 ''", "Changed"},
         {"a", "b", "c", "d", "e"}},
        {"add nothing", [](auto& l) { l.AddStrings(TStringList()); }, {}, {"a", "b", "c"}},
        {"assign",
         [&](auto& l) { l.Assign(three); },
         {"Changing", "Cleared", "Added 0 ''", "Changed"},
         {"1", "2", "3"}},
        {"bulk delete past the end",
         [](auto& l) { l.BulkDeleteLines(1, 5); },
         {"Changing", "Deleted 1", "Changed"},
         {"a"}},
        {"bulk delete of nothing", [](auto& l) { l.BulkDeleteLines(99, 0); }, {}, {"a", "b", "c"}},
        {"bulk insert",
         [](auto& l) { l.BulkInsertEmptyLines(1, 2); },
         {"Changing", "Added 1 ''", "Changed"},
         {"a", "", "", "b", "c"}},
        {"bulk insert of nothing", [](auto& l) { l.BulkInsertEmptyLines(1, 0); }, {}, {"a", "b", "c"}},
        {"load",
         [](auto& l) { LoadBytes(l, "x\ny"); },
         {"Changing", "Cleared", "Added 0 'x'", "Added 1 'y'", "Changed"},
         {"x", "y"}},
        {"one bracket around many changes",
         [](auto& l) {
             TStringsUpdate update(l);
             l.Put(0, "p");
             l.Delete(2);
         },
         {"Changing", "Put 0 'p'", "Deleted 2", "Changed"},
         {"p", "b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCodeEditStringList lines;
        Fill(lines, {"a", "b", "c"});
        Recorder recorder(lines);
        c.op(lines);
        EXPECT_EQ(recorder.log, c.log);
        EXPECT_EQ(lines.ToVector(), c.after);
        EXPECT_EQ(lines.UpdateCount(), 0);
    }
}

TEST(CodeEditStringListNotifications, AssigningToAnEmptyBufferReportsOneAddition) {
    TCodeEditStringList lines;
    Recorder recorder(lines);
    lines.Assign(TStringList{"1", "2", "3"});
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"Changing", "Added 0 ''", "Changed"}));
    lines.Clear();
    lines.Clear();  // already empty: nothing to report
    EXPECT_EQ(recorder.log.size(), 6u);
}

TEST(CodeEditStringListNotifications, DestructionReportsNothing) {
    std::vector<std::string> log;
    {
        TCodeEditStringList lines;
        Fill(lines, {"a", "b"});
        auto note = [&log](TCodeEditStringList*) { log.push_back("sender event"); };
        auto noteLine = [&log](int, const std::string&) { log.push_back("line event"); };
        lines.OnLinesChanging = note;
        lines.OnLinesChanged = note;
        lines.OnLinesCleared = note;
        lines.OnLineAdded = noteLine;
        lines.OnLineInserted = noteLine;
        lines.OnLinePut = noteLine;
        lines.OnLineDeleted = [&log](int) { log.push_back("deleted"); };
    }
    EXPECT_TRUE(log.empty()) << testing::PrintToString(log);
}

TEST(CodeEditStringListIndexes, BadIndexesRaiseAndChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(TCodeEditStringList&)> op;
        int badIndex;
    };
    const Case cases[] = {
        {"put past count", [](auto& l) { l.Put(4, "x"); }, 4},
        {"put negative", [](auto& l) { l.Put(-1, "x"); }, -1},
        {"put object at count", [](auto& l) { l.PutObject(3, nullptr); }, 3},
        {"insert past count", [](auto& l) { l.Insert(4, "x"); }, 4},
        {"delete at count", [](auto& l) { l.Delete(3); }, 3},
        {"delete negative", [](auto& l) { l.Delete(-2); }, -2},
        {"exchange tests the first index first", [](auto& l) { l.Exchange(7, 9); }, 7},
        {"exchange second", [](auto& l) { l.Exchange(0, 3); }, 3},
        {"bulk delete", [](auto& l) { l.BulkDeleteLines(4, 1); }, 4},
        {"bulk insert", [](auto& l) { l.BulkInsertEmptyLines(-1, 2); }, -1},
        {"line state", [](auto& l) { l.SetLineState(3, 5); }, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCodeEditStringList lines;
        Fill(lines, {"a", "b", "c"});
        Recorder recorder(lines);
        try {
            c.op(lines);
            ADD_FAILURE() << "no exception";
        } catch (const ECodeEditStringList& e) {
            EXPECT_EQ(std::string(e.what()), "Invalid stringlist index " + std::to_string(c.badIndex));
        }
        EXPECT_EQ(lines.ToVector(), (Lines{"a", "b", "c"}));
        EXPECT_TRUE(recorder.log.empty()) << testing::PrintToString(recorder.log);
        EXPECT_EQ(lines.UpdateCount(), 0);
    }
}

TEST(CodeEditStringListIndexes, ReadingOutsideTheLinesGivesNothing) {
    TCodeEditStringList lines;
    int object = 0;
    lines.AddObject("a", &object);
    EXPECT_EQ(lines.GetObject(0), &object);
    for (const int index : {-1, 1, 100}) {
        EXPECT_EQ(lines.Get(index), "");
        EXPECT_EQ(lines.GetObject(index), nullptr);
        EXPECT_EQ(lines.ExpandedText(index), "");
    }
}

// ---------------------------------------------------------------------------------------------
// Per-line data and storage

TEST(CodeEditStringListRecords, LineStateStartsAtMinusOneExceptForBulkInsertedLines) {
    TCodeEditStringList lines;
    Fill(lines, {"a", "b"});
    lines.Insert(1, "i");
    lines.AddStrings(TStringList{"s"});
    lines.BulkInsertEmptyLines(0, 1);
    const std::vector<intptr_t> expected{0, -1, -1, -1, -1};
    for (int i = 0; i < lines.Count(); ++i) EXPECT_EQ(lines.LineState(i), expected[static_cast<size_t>(i)]) << i;

    lines.SetLineState(1, 42);
    lines.Put(1, "changed");  // the highlighter decides when the state changes, not Put
    EXPECT_EQ(lines.LineState(1), 42);
}

TEST(CodeEditStringListRecords, ExchangeAndAddStringsCarryTheWholeRecord) {
    int first = 1;
    int second = 2;
    TStringList source;
    source.AddObject("one", &first);
    source.AddObject("two", &second);
    TCodeEditStringList lines;
    lines.AddStrings(source);
    EXPECT_EQ(lines.GetObject(0), &first);
    EXPECT_EQ(lines.GetObject(1), &second);

    lines.SetLineState(0, 10);
    lines.SetLineState(1, 20);
    lines.Exchange(0, 1);
    EXPECT_EQ(lines.ToVector(), (Lines{"two", "one"}));
    EXPECT_EQ(lines.GetObject(0), &second);
    EXPECT_EQ(lines.LineState(0), 20);
    EXPECT_EQ(lines.LineState(1), 10);
}

TEST(CodeEditStringListRecords, AddStringsOfItselfDoublesTheLines) {
    TCodeEditStringList lines;
    Fill(lines, {"a", "b", "c"});
    lines.AddStrings(lines);
    EXPECT_EQ(lines.ToVector(), (Lines{"a", "b", "c", "a", "b", "c"}));
}

TEST(CodeEditStringListCapacity, GrowsBySixteenUpToSixtyFourThenByAQuarter) {
    TCodeEditStringList lines;
    std::vector<int> steps;
    for (int i = 0; i < 200; ++i) {
        lines.Add("x");
        if (steps.empty() || steps.back() != lines.Capacity()) steps.push_back(lines.Capacity());
    }
    EXPECT_EQ(steps, (std::vector<int>{16, 32, 48, 64, 80, 100, 125, 156, 195, 243}));
    lines.Clear();
    EXPECT_EQ(lines.Capacity(), 0);
}

TEST(CodeEditStringListCapacity, BulkOperationsReserveOnce) {
    struct Case {
        const char* name;
        int before;  // lines already there, added one by one (capacity 16 for 1..16)
        std::function<void(TCodeEditStringList&)> op;
        int capacity;
        int count;
    };
    const Case cases[] = {
        {"add strings within capacity", 3,
         [](auto& l) {
             l.AddStrings(TStringList{"1", "2", "3", "4", "5"});
         },
         16, 8},
        {"add strings rounds up to sixteen", 3,
         [](auto& l) {
             TStringList source;
             for (int i = 0; i < 14; ++i) source.Add("s");
             l.AddStrings(source);
         },
         32, 17},
        {"bulk insert grows to the exact need", 10, [](auto& l) { l.BulkInsertEmptyLines(4, 20); }, 30, 30},
        {"bulk insert within capacity", 10, [](auto& l) { l.BulkInsertEmptyLines(10, 6); }, 16, 16},
        {"bulk delete keeps the capacity", 10, [](auto& l) { l.BulkDeleteLines(2, 3); }, 16, 7},
        {"capacity never below the count", 10, [](auto& l) { l.SetCapacity(4); }, 10, 10},
        {"capacity above the count", 10, [](auto& l) { l.SetCapacity(40); }, 40, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCodeEditStringList lines;
        for (int i = 0; i < c.before; ++i) lines.Add("line " + std::to_string(i));
        c.op(lines);
        EXPECT_EQ(lines.Capacity(), c.capacity);
        EXPECT_EQ(lines.Count(), c.count);
        EXPECT_EQ(lines.Get(0), "line 0");  // moving records keeps their text
    }
}

TEST(CodeEditStringListCapacity, BulkStepsMoveTheTailIntact) {
    TCodeEditStringList lines;
    Fill(lines, {"a", "b", "c", "d"});
    lines.BulkInsertEmptyLines(1, 2);
    EXPECT_EQ(lines.ToVector(), (Lines{"a", "", "", "b", "c", "d"}));
    lines.BulkDeleteLines(0, 3);
    EXPECT_EQ(lines.ToVector(), (Lines{"b", "c", "d"}));
    lines.BulkDeleteLines(3, 2);  // at the end: nothing left to delete
    EXPECT_EQ(lines.ToVector(), (Lines{"b", "c", "d"}));
    lines.Delete(0);
    lines.Insert(1, "x");
    EXPECT_EQ(lines.ToVector(), (Lines{"c", "x", "d"}));
}

// ---------------------------------------------------------------------------------------------
// Tab expansion and the longest line

TEST(CodeEditStringListTabs, ExpandsToTabStopsCountingCharactersNotBytes) {
    struct Case {
        int width;
        std::string line;
        std::string expanded;
        int length;
    };
    const std::string t = "\t";
    const Case cases[] = {
        {4, "a\tb", "a\t\t\tb", 5},
        {1, "a\tb", "a b", 3},
        {1, "\t\t", "  ", 2},
        {8, "\t", std::string(8, '\t'), 8},
        {8, "abcdefgh\tx", "abcdefgh" + std::string(8, '\t') + "x", 17},
        {3, "ab\t\tc", "ab\t\t\t\tc", 7},                    // not a power of two
        {4, "\xC3\xA9\tx", "\xC3\xA9\t\t\tx", 5},            // é is one column
        {4, "\t\xC3\xA9\tx", "\t\t\t\t\xC3\xA9\t\t\tx", 9},  // also between tabs
        {4, "\xE6\x97\xA5\xE6\x9C\xAC\t", "\xE6\x97\xA5\xE6\x9C\xAC\t\t", 4},
        {8, "\xC3\xA9\xC3\xA9\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9", 3},  // no tab, three columns
        {8, "abc", "abc", 3},
        {8, "", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line) + " width " + std::to_string(c.width));
        TCodeEditStringList lines;
        lines.SetTabWidth(c.width);
        lines.Add(c.line);
        // The length is measured without building the line, so check it before ExpandedText.
        EXPECT_EQ(lines.LongestLineLength(), c.length);
        EXPECT_EQ(lines.ExpandedText(0), c.expanded);
        lines.Put(0, c.line);
        EXPECT_EQ(lines.ExpandedText(0), c.expanded);
        EXPECT_EQ(lines.LongestLineLength(), c.length);
    }
}

TEST(CodeEditStringListTabs, ChangingTheWidthOrTheTextRecomputesLengths) {
    TCodeEditStringList lines;
    Fill(lines, {"a\tb", "abcdefgh"});
    EXPECT_EQ(lines.LongestLineLength(), 9);
    EXPECT_EQ(lines.LongestLineIndex(), 0);

    lines.SetTabWidth(2);
    EXPECT_EQ(lines.LongestLineIndex(), -1);
    EXPECT_EQ(lines.LongestLineLength(), 8);
    EXPECT_EQ(lines.LongestLineIndex(), 1);
    EXPECT_EQ(lines.ExpandedText(0), "a\tb");

    lines.SetTabWidth(2);  // no change: the cached answer stays
    EXPECT_EQ(lines.LongestLineIndex(), 1);

    // A line known to have no tab gets one through Put.
    EXPECT_EQ(lines.ExpandedText(1), "abcdefgh");
    lines.Put(1, "abcdefg\t");
    EXPECT_EQ(lines.ExpandedText(1), "abcdefg\t");
    lines.Put(1, "\tabcdefg");
    EXPECT_EQ(lines.ExpandedText(1), "\t\tabcdefg");
    EXPECT_EQ(lines.LongestLineLength(), 9);
}

TEST(CodeEditStringListTabs, LongestLineIsTheFirstOfTheLongest) {
    TCodeEditStringList lines;
    EXPECT_EQ(lines.LongestLineLength(), 0);
    Fill(lines, {"", ""});
    EXPECT_EQ(lines.LongestLineLength(), 0);
    EXPECT_EQ(lines.LongestLineIndex(), -1);

    lines.Clear();
    Fill(lines, {"ab", "cd", "abc", "xyz", "a"});
    EXPECT_EQ(lines.LongestLineLength(), 3);
    EXPECT_EQ(lines.LongestLineIndex(), 2);
    lines.Delete(2);
    EXPECT_EQ(lines.LongestLineLength(), 3);
    EXPECT_EQ(lines.LongestLineIndex(), 2);  // "xyz" moved up into its place
    lines.Insert(0, "abcd");
    EXPECT_EQ(lines.LongestLineLength(), 4);
    EXPECT_EQ(lines.LongestLineIndex(), 0);
}

TEST(CodeEditStringListTabs, ExchangeTakesTheLongestLineAlong) {
    TCodeEditStringList lines;
    Fill(lines, {"a", "abcdef", "ab"});
    ASSERT_EQ(lines.LongestLineLength(), 6);
    ASSERT_EQ(lines.LongestLineIndex(), 1);
    lines.Exchange(1, 2);
    EXPECT_EQ(lines.LongestLineIndex(), 2);
    lines.Exchange(0, 2);
    EXPECT_EQ(lines.LongestLineIndex(), 0);
    lines.Exchange(1, 2);  // neither is the longest
    EXPECT_EQ(lines.LongestLineIndex(), 0);
    EXPECT_EQ(lines.Get(lines.LongestLineIndex()), "abcdef");
    EXPECT_EQ(lines.LongestLineLength(), 6);
}

}  // namespace
}  // namespace tessel
