// The help button: the help document, read-only, in the rich text editor window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "print/QtPrint.h"
#include "richedit/DbRichEditForm.h"
#include "support/RunCommand.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

class HelpWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
    }
    // Runs `check` on the editor window once it is shown, then closes it.
    static void WhileOpen(const std::function<void(TDbRichEditForm&)>& check, bool& seen) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, check, &seen] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* form = dynamic_cast<TDbRichEditForm*>(w); form && form->isVisible()) {
                    timer->stop();
                    timer->deleteLater();
                    seen = true;
                    check(*form);
                    form->reject();
                    return;
                }
        });
        timer->start(20);
    }
};

TEST_F(HelpWindowTest, HelpOpensTheGuideReadOnlyWithPrintAndPageSetup) {
    TForm1 form(Setup());
    form.show();
    auto* help = form.findChild<TToolbarButton*>("btnHelp");
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(help->isEnabled());
    bool seen = false;
    WhileOpen(
        [&](TDbRichEditForm& w) {
            EXPECT_EQ(w.windowTitle(), "Varnholm Tessel info");
            EXPECT_TRUE(w.Editor()->isReadOnly());
            const QString text = w.Editor()->toPlainText();
            EXPECT_TRUE(text.startsWith("Tessel\n")) << text.left(80).toStdString();
            EXPECT_TRUE(text.contains("Running SQL"));
            EXPECT_TRUE(text.contains("tessel-sql"));
            // The headings are bold, as the document says.
            const QTextBlock first = w.Editor()->document()->begin();
            EXPECT_GE(first.begin().fragment().charFormat().fontWeight(), QFont::Bold);
            // Only what the options name: print and page setup, no saving, no bars, and no
            // Format, View, Insert or Tools menu in a read-only window.
            EXPECT_NE(w.Action("Print1"), nullptr);
            EXPECT_NE(w.Action("PageSetup1"), nullptr);
            EXPECT_EQ(w.Action("SaveExit1"), nullptr);
            EXPECT_EQ(w.Action("Load1"), nullptr);
            EXPECT_FALSE(w.Action("Paste1")->isEnabled());
            EXPECT_EQ(w.ToolBar(), nullptr);
            EXPECT_EQ(w.FormatBar(), nullptr);
            EXPECT_EQ(w.StatusBar(), nullptr);
            EXPECT_EQ(w.Menu("Format1"), nullptr);
            EXPECT_EQ(w.Menu("View1"), nullptr);
        },
        seen);
    help->Click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(shown.empty()) << shown.front();
}

TEST_F(HelpWindowTest, EscapeClosesTheReadOnlyWindowAndF1OpensIt) {
    TForm1 form(Setup());
    form.show();
    bool seen = false, closedByEscape = false;
    auto* timer = new QTimer(&form);
    QObject::connect(timer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = dynamic_cast<TDbRichEditForm*>(w); f && f->isVisible()) {
                timer->stop();
                seen = true;
                QTest::keyClick(f->Editor(), Qt::Key_Escape);
                closedByEscape = !f->isVisible();
                if (f->isVisible()) f->reject();
            }
    });
    timer->start(20);
    form.findChild<QAction*>("HelpContents1")->trigger();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(closedByEscape);
}

TEST_F(HelpWindowTest, TheGuidePrintsIntoAPdfWithoutAPrinter) {
    if (HasPrinter()) GTEST_SKIP() << "this machine has a printer; the test would print on it";
    TForm1 form(Setup());
    form.show();
    const std::string pdf = dirs.Root().File("help.pdf");
    dialogAnswer = QString::fromStdString(pdf);
    bool seen = false;
    std::string written;
    WhileOpen([&](TDbRichEditForm& w) { written = w.PrintDocument(); }, seen);
    form.btnHelpClick();
    ASSERT_TRUE(seen);
    EXPECT_EQ(written, pdf);
    const std::string text = test::RunCommand("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.find("What Tessel does"), std::string::npos) << text.substr(0, 300);
    EXPECT_NE(text.find("Where settings live"), std::string::npos);
}

}  // namespace
