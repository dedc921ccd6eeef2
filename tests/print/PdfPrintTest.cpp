// The print job into a PDF file, read back with poppler's tools as another program would.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "highlight/SQLHighlighter.h"
#include "print/QtPrint.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"

namespace tessel::test {
namespace {

int PdfPages(const std::string& pdf) {
    const std::string info = RunCommand("pdfinfo '" + pdf + "'");
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

TEST(PdfPrint, TheSqlComesOutWrappedOnTheComputedPagesWithBoldKeywords) {
    TempDir dir;
    const std::string pdf = dir.File("out.pdf");
    TSQLHighlighter sql;
    TCodeEditPrint job;
    job.SetHighlighter(&sql);
    std::vector<std::string> lines = {"SELECT LAST_NAME, SALARY", "FROM \"employee.db\"", "WHERE SALARY > 1000;"};
    // A long comment line to wrap, and enough lines for a second page.
    lines.push_back("-- " + std::string(30, 'w') + " " + std::string(30, 'v') + " " + std::string(30, 'u'));
    for (int i = 0; i < 70; ++i) lines.push_back("INSERT INTO t VALUES (" + std::to_string(i) + ");");
    job.SetLines(lines);
    const int sheets = PrintToPdf(job, pdf);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_EQ(sheets, job.PageCount());
    EXPECT_GE(job.PageCount(), 2);
    EXPECT_EQ(PdfPages(pdf), job.PageCount());

    const std::string text = RunCommand("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.find("SELECT LAST_NAME, SALARY"), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find("FROM \"employee.db\""), std::string::npos);
    EXPECT_NE(text.find("INSERT INTO t VALUES (69);"), std::string::npos);
    // The comment was cut after a blank: its last word starts a row of its own.
    EXPECT_NE(text.find("\n" + std::string(30, 'u')), std::string::npos);
    EXPECT_EQ(text.find(std::string(30, 'v') + " " + std::string(30, 'u')), std::string::npos);
    // The keywords' font is bold.
    const std::string fonts = RunCommand("pdffonts '" + pdf + "'");
    EXPECT_NE(fonts.find("Bold"), std::string::npos) << fonts;
}

TEST(PdfPrint, AFileThatCannotBeWrittenIsAFailureNotAPrint) {
    TCodeEditPrint job;
    job.SetLines({"SELECT 1"});
    EXPECT_THROW(PrintToPdf(job, "/nonexistent/dir/out.pdf"), std::exception);
    EXPECT_FALSE(std::filesystem::exists("/nonexistent/dir/out.pdf"));
}

}  // namespace
}  // namespace tessel::test
