// Rich text printing: page setup numbers, the page area, header and footer bands in a PDF.

#include <gtest/gtest.h>

#include <QPrinter>
#include <QTextDocument>
#include <string>

#include "richedit/DbRichEdit.h"
#include "richedit/RichPrint.h"
#include "richedit/RichTextQt.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

TEST(RichPrint, LengthsAreTruncatedNeverRounded) {
    EXPECT_EQ(TwipsToPrinterPixels(1440, 300), 300);
    EXPECT_EQ(TwipsToPrinterPixels(28, 300), 5);   // 5.83
    EXPECT_EQ(TwipsToPrinterPixels(28, 600), 11);  // 11.67
    EXPECT_EQ(MarginToPrinterPixels(1.0, TDbMeasurementUnits::muInches, 300), 300);
    EXPECT_EQ(MarginToPrinterPixels(2.5, TDbMeasurementUnits::muCentimeters, 300), 295);  // 295.27
    // The page setup dialog: 2.5 cm shows as 2500 hundredths of a millimetre and comes back.
    EXPECT_EQ(PageSetupValue(2.5), 2500);
    EXPECT_DOUBLE_EQ(FromPageSetupValue(PageSetupValue(2.5)), 2.5);
    EXPECT_EQ(PageSetupValue(1.0), 1000);
    EXPECT_EQ(PageSetupValue(0.3337), 333);
}

class RichPrintPdf : public testing::Test {
protected:
    int Print(const QTextDocument& doc) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.setResolution(300);
        return PrintRichDocument(doc, holder, printer);
    }
    std::string Page(int n) {
        return test::RunCommand("pdftotext -layout -f " + std::to_string(n) + " -l " + std::to_string(n) + " '" + pdf +
                                "' -");
    }
    test::TempDir dir;
    std::string pdf = dir.File("doc.pdf");
    TDbRichEdit holder;
};

TEST_F(RichPrintPdf, TheEmptyDocumentPrintsOneBlankPage) {
    QTextDocument empty;
    EXPECT_EQ(Print(empty), 1);
    EXPECT_NE(test::RunCommand("pdfinfo '" + pdf + "'").find("Pages:           1"), std::string::npos);
    EXPECT_EQ(Page(1).find_first_not_of(" \n\f"), std::string::npos) << Page(1);
}

TEST_F(RichPrintPdf, HeaderAndFooterStandAboveAndBelowTheTextAndAHandlerCanDropOne) {
    QTextDocument doc;
    QString text;
    for (int i = 1; i <= 250; ++i) text += QString("Body line %1\n").arg(i);
    doc.setPlainText(text);
    holder.PrintHeader.LeftText = "LEFTHEAD";
    holder.PrintHeader.RightText = "RIGHTHEAD";
    holder.PrintHeader.LineSeparator = true;
    holder.PrintFooter.CenterText = "FOOTMID";
    std::vector<int> headerPages;
    holder.OnPrintHeader = [&](QRect&, int page, bool& draw, std::string&, std::string& center, std::string&) {
        headerPages.push_back(page);
        center = "page " + std::to_string(page);
        if (page == 2) draw = false;
    };
    const int pages = Print(doc);
    ASSERT_GE(pages, 3);
    EXPECT_EQ(headerPages.size(), static_cast<size_t>(pages));
    const std::string first = Page(1);
    const size_t head = first.find("LEFTHEAD"), body = first.find("Body line 1"), foot = first.find("FOOTMID");
    ASSERT_NE(head, std::string::npos) << first;
    ASSERT_NE(body, std::string::npos);
    ASSERT_NE(foot, std::string::npos);
    EXPECT_LT(head, body);
    EXPECT_LT(body, foot);
    EXPECT_NE(first.find("page 1"), std::string::npos);
    EXPECT_NE(first.find("RIGHTHEAD"), std::string::npos);
    // Page 2 lost its header only; page 3 has it again.
    EXPECT_EQ(Page(2).find("LEFTHEAD"), std::string::npos);
    EXPECT_NE(Page(2).find("FOOTMID"), std::string::npos);
    EXPECT_NE(Page(3).find("LEFTHEAD"), std::string::npos);
    EXPECT_NE(test::RunCommand("pdftotext '" + pdf + "' -").find("Body line 250"), std::string::npos);
}

// Indents keep their size on paper: a paragraph indented by an inch starts an inch to the right
// of one that is not (pdftotext's word boxes are in points, 72 to the inch).
TEST_F(RichPrintPdf, IndentsPrintAtTheirSize) {
    TRichDocument rich = TRichDocument::FromLines({"PLAIN", "INDENTED"});
    rich.paragraphs[1].leftIndent = 1440;
    QTextDocument doc;
    FillTextDocument(rich, doc);
    Print(doc);
    const std::string boxes = test::RunCommand("pdftotext -bbox '" + pdf + "' -");
    auto xMin = [&](const std::string& word) {
        const size_t at = boxes.find(">" + word + "<");
        EXPECT_NE(at, std::string::npos) << boxes;
        const size_t x = boxes.rfind("xMin=\"", at);
        return std::stod(boxes.substr(x + 6));
    };
    EXPECT_NEAR(xMin("PLAIN"), 72, 2);  // the one-inch left margin
    EXPECT_NEAR(xMin("INDENTED") - xMin("PLAIN"), 72, 1);
}

}  // namespace
}  // namespace tessel
