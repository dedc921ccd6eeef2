// The rich text editor window on a writable holder: bars and menus from the options, the
// format bar following the caret, formatting, find and replace, files, closing rules.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <functional>

#include <QStatusBar>
#include "base/FileUtil.h"
#include "richedit/DbRichEdit.h"
#include "richedit/DbRichEditForm.h"
#include "richedit/Ruler.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

TRichDocument TwoParagraphs() {
    TRichDocument d = TRichDocument::FromLines({"plain words here", "second line"});
    d.paragraphs[1].align = TRichAlign::Center;
    TRichRun bold{" bold", {}};
    bold.format.bold = true;
    bold.format.halfPoints = 20;
    d.paragraphs[0].runs.push_back(bold);
    return d;
}

class RichEditForm : public testing::Test {
protected:
    void SetUp() override {
        holder.SetDocument(TwoParagraphs());
        saved = TDbRichEditForm::Ask;
    }
    void TearDown() override { TDbRichEditForm::Ask = saved; }
    void Caret(TDbRichEditForm& w, int block, int column) {
        QTextCursor c(w.Editor()->document()->findBlockByNumber(block));
        c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
        w.Editor()->setTextCursor(c);
    }
    TDbRichEdit holder;
    std::function<QMessageBox::StandardButton(QWidget*, const QString&)> saved;
};

TEST_F(RichEditForm, OptionsDecideMenusAndBars) {
    TDbRichEditForm all(holder);
    EXPECT_NE(all.ToolBar(), nullptr);
    EXPECT_NE(all.FormatBar(), nullptr);
    EXPECT_NE(all.StatusBar(), nullptr);
    EXPECT_NE(all.Action("SaveExit1"), nullptr);
    EXPECT_EQ(all.Action("Load1"), nullptr);  // not among the default options
    EXPECT_EQ(all.Action("JustifyButton"), nullptr);
    EXPECT_NE(all.Menu("View1"), nullptr);
    EXPECT_NE(all.Menu("Tools1"), nullptr);
    EXPECT_NE(all.Action("SpellButton"), nullptr);
    EXPECT_NE(all.Action("Paragraph1"), nullptr);
    EXPECT_NE(all.Action("Tabs1"), nullptr);
    EXPECT_TRUE(all.Ruler()->isVisibleTo(&all));
    EXPECT_EQ(all.Action("SaveExit1")->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(all.Action("Redo1")->shortcut(), QKeySequence("Ctrl+Y"));
    EXPECT_EQ(all.Action("Replace1")->shortcut(), QKeySequence("Ctrl+H"));
    EXPECT_EQ(all.FontSizeCombo()->count(), 16);
    EXPECT_EQ(all.Action("BoldButton")->toolTip(), "Bold");
    // View items hide and show the bars.
    all.show();
    all.Action("FormatBar1")->trigger();
    EXPECT_FALSE(all.FormatBar()->isVisible());
    all.Action("FormatBar1")->trigger();
    EXPECT_TRUE(all.FormatBar()->isVisible());
    all.reject();

    holder.EditorOptions = reoShowLoad | reoShowSaveAs | reoShowJustifyButton | reoShowFormatBar;
    TDbRichEditForm few(holder);
    // A writable window keeps the bars its options leave out hidden, for the View menu.
    EXPECT_FALSE(few.ToolBar()->isVisibleTo(&few));
    EXPECT_FALSE(few.StatusBar()->isVisibleTo(&few));
    EXPECT_FALSE(few.Ruler()->isVisibleTo(&few));
    EXPECT_FALSE(few.Action("Ruler1")->isChecked());
    EXPECT_EQ(few.Menu("Tools1"), nullptr);
    EXPECT_NE(few.Menu("Format1"), nullptr);
    EXPECT_NE(few.Action("Load1"), nullptr);
    EXPECT_NE(few.Action("JustifyButton"), nullptr);
    EXPECT_EQ(few.Action("Print1"), nullptr);
    holder.SetReadOnly(true);
    TDbRichEditForm readOnly(holder);
    EXPECT_EQ(readOnly.Action("Load1"), nullptr);  // a read-only window drops the editing options
    EXPECT_EQ(readOnly.FormatBar(), nullptr);
    EXPECT_EQ(readOnly.Ruler(), nullptr);
    EXPECT_EQ(readOnly.Menu("Tools1"), nullptr);
    EXPECT_EQ(readOnly.Menu("Format1"), nullptr);
}

TEST_F(RichEditForm, TheFormatBarFollowsTheCaretAndFormatsTheSelection) {
    TDbRichEditForm w(holder);
    w.show();
    Caret(w, 0, 19);  // inside " bold"
    EXPECT_TRUE(w.Action("BoldButton")->isChecked());
    EXPECT_EQ(w.FontSizeCombo()->currentText(), "10");
    EXPECT_TRUE(w.Action("LeftButton")->isChecked());
    Caret(w, 1, 2);
    EXPECT_FALSE(w.Action("BoldButton")->isChecked());
    EXPECT_TRUE(w.Action("CenterButton")->isChecked());
    EXPECT_FALSE(w.Action("LeftButton")->isChecked());
    EXPECT_FALSE(w.Action("Cut1")->isEnabled());  // no selection

    // Select "plain" and make it italic and red; right-align its paragraph; bullet it.
    QTextCursor c(w.Editor()->document());
    c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 5);
    w.Editor()->setTextCursor(c);
    EXPECT_TRUE(w.Action("Cut1")->isEnabled());
    w.Action("ItalicButton")->trigger();
    w.findChild<QMenu*>("PopupMenu1")->actions().at(9)->trigger();  // Red
    w.Action("RightButton")->trigger();
    w.Action("BulletButton")->trigger();
    EXPECT_TRUE(w.Action("BulletButton")->isChecked());
    w.SaveAndExit();
    const TRichDocument d = holder.Document();
    ASSERT_EQ(d.paragraphs.size(), 2u);
    const TRichParagraph& p = d.paragraphs[0];
    EXPECT_EQ(p.align, TRichAlign::Right);
    EXPECT_TRUE(p.bullet);
    ASSERT_GE(p.runs.size(), 2u);
    EXPECT_EQ(p.runs[0].text, "plain");
    EXPECT_TRUE(p.runs[0].format.italic);
    EXPECT_EQ(d.colors.at(static_cast<size_t>(p.runs[0].format.color)), (TRichColor{255, 0, 0}));
    EXPECT_FALSE(p.runs[1].format.italic);
}

TEST_F(RichEditForm, FindAndReplace) {
    TDbRichEditForm w(holder);
    EXPECT_TRUE(w.Find("LINE", false, false));
    EXPECT_EQ(w.Editor()->textCursor().selectedText(), "line");
    EXPECT_FALSE(w.Find("LINE", true, false));  // match case: none after the caret
    Caret(w, 0, 0);
    EXPECT_FALSE(w.Find("word", false, true));  // whole words: "words" is none
    EXPECT_TRUE(w.Action("FindNext1")->isEnabled());
    EXPECT_EQ(w.ReplaceAll("e", "E", true, false), 4);
    EXPECT_EQ(w.Editor()->toPlainText(), "plain words hErE bold\nsEcond linE");
    w.Editor()->undo();  // one step of undo
    EXPECT_EQ(w.Editor()->toPlainText(), "plain words here bold\nsecond line");
}

TEST_F(RichEditForm, ClosingAsksBeforeLosingChangesUnlessToldNotTo) {
    const std::vector<std::string> before = holder.Lines();
    int asked = 0;
    auto answer = QMessageBox::No;
    TDbRichEditForm::Ask = [&](QWidget*, const QString& text) {
        ++asked;
        EXPECT_EQ(text, "Changes have been made!  Do you wish to save your changes?");
        return answer;
    };
    {
        TDbRichEditForm w(holder);
        w.Editor()->insertPlainText("typed ");
        w.reject();  // Exit or the close box: No drops the changes
        EXPECT_EQ(w.result(), QDialog::Rejected);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(holder.Lines(), before);
    }
    {
        answer = QMessageBox::Cancel;
        TDbRichEditForm w(holder);
        w.show();
        w.Editor()->insertPlainText("typed ");
        w.reject();
        EXPECT_TRUE(w.isVisible());  // Cancel keeps the window
        answer = QMessageBox::Yes;
        w.reject();
        EXPECT_EQ(w.result(), QDialog::Accepted);
        EXPECT_EQ(holder.Lines().front(), "typed plain words here bold");
    }
    {
        asked = 0;
        holder.EditorOptions |= reoNoConfirmation;
        TDbRichEditForm w(holder);
        w.Editor()->insertPlainText("again ");
        w.reject();
        EXPECT_EQ(asked, 0);
        EXPECT_EQ(holder.Lines().front(), "again typed plain words here bold");
    }
    // Escape undoes in a writable window without reoCloseOnEscape.
    holder.EditorOptions = reoShowSaveExit;
    TDbRichEditForm w(holder);
    w.show();
    QTest::keyClicks(w.Editor(), "xy");
    QTest::keyClick(w.Editor(), Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.Editor()->toPlainText().startsWith("xy"));
}

TEST_F(RichEditForm, FilesLoadAndSaveAsRtfOrText) {
    test::TempDir dir;
    TDbRichEditForm w(holder);
    w.SaveFile(QString::fromStdString(dir.File("doc.rtf")));
    w.SaveFile(QString::fromStdString(dir.File("doc.txt")));
    EXPECT_EQ(ReadFileBytes(dir.File("doc.txt")), "plain words here bold\nsecond line");
    const TRichDocument back = ReadRtf(ReadFileBytes(dir.File("doc.rtf")));
    EXPECT_EQ(back.PlainLines(), (std::vector<std::string>{"plain words here bold", "second line"}));
    EXPECT_TRUE(back.paragraphs[0].runs.back().format.bold);
    w.Editor()->clear();
    w.LoadFile(QString::fromStdString(dir.File("doc.rtf")));
    EXPECT_EQ(w.Editor()->toPlainText(), "plain words here bold\nsecond line");
    EXPECT_TRUE(w.Editor()->document()->isModified());
    WriteFileAtomically(dir.File("bad.rtf"), "not rtf at all");
    EXPECT_THROW(w.LoadFile(QString::fromStdString(dir.File("bad.rtf"))), std::exception);
    EXPECT_EQ(w.Editor()->toPlainText(), "plain words here bold\nsecond line");  // kept
}

}  // namespace
}  // namespace tessel
