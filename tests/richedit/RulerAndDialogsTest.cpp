// The rich text editor window's ruler, paragraph and tab dialogs, pop-up menu, spelling,
// lock-key panels and page margins.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QToolBar>
#include <functional>

#include "richedit/DbRichEdit.h"
#include "richedit/DbRichEditForm.h"
#include "richedit/ParagraphDialogs.h"
#include "richedit/RichTextQt.h"
#include "richedit/Ruler.h"
#include "richedit/SpellCheck.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

class RichEditWindow : public testing::Test {
protected:
    void SetUp() override {
        TRichDocument d = TRichDocument::FromLines({"first paragraph", "second paragraph", "third"});
        d.paragraphs[1].leftIndent = 720;   // half an inch
        d.paragraphs[1].firstIndent = 360;  // the first line a quarter further
        d.paragraphs[1].rightIndent = 1440;
        d.paragraphs[1].tabs = {2160};
        holder.SetDocument(d);
        tell = TDbRichEditForm::Tell;
        locks = TDbRichEditForm::KeyboardLocks;
        TDbRichEditForm::Tell = [this](QWidget*, const QString& text) { told << text; };
    }
    void TearDown() override {
        TDbRichEditForm::Tell = tell;
        TDbRichEditForm::KeyboardLocks = locks;
    }
    static void Caret(TDbRichEditForm& w, int block, int column = 0) {
        QTextCursor c(w.Editor()->document()->findBlockByNumber(block));
        c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
        w.Editor()->setTextCursor(c);
    }
    static TRichParagraph Paragraph(TDbRichEditForm& w, int block) {
        return ParagraphFormat(w.Editor()->document()->findBlockByNumber(block).blockFormat());
    }
    static void Drag(QWidget* widget, QPoint from, QPoint to) {
        QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), widget->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
        QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
    }
    TDbRichEdit holder;
    QStringList told;
    std::function<void(QWidget*, const QString&)> tell;
    std::function<TKeyboardLocks()> locks;
};

TEST_F(RichEditWindow, TheRulerFollowsTheParagraphAndItsDragsSetIndentsAndTabs) {
    TDbRichEditForm w(holder);
    w.show();
    TDbRulerPanel* ruler = w.Ruler();
    ASSERT_NE(ruler, nullptr);
    EXPECT_EQ(ruler->Length(), w.Editor()->width() - 12);
    EXPECT_DOUBLE_EQ(ruler->TickPixels(), 12);  // an eighth of 96 pixels
    Caret(w, 1, 3);
    EXPECT_DOUBLE_EQ(ruler->LeftIndent(), 48);
    EXPECT_DOUBLE_EQ(ruler->FirstIndent(), 72);
    EXPECT_DOUBLE_EQ(ruler->RightIndent(), 96);
    EXPECT_EQ(ruler->Tabs(), QList<double>{144});
    Caret(w, 0);
    EXPECT_DOUBLE_EQ(ruler->LeftIndent(), 0);
    EXPECT_TRUE(ruler->Tabs().isEmpty());

    // Paragraphs two and three selected: the left marker to an inch, the first-line marker
    // stays where it stands on the page; the right marker an inch in.
    QTextCursor both(w.Editor()->document()->findBlockByNumber(1));
    both.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    w.Editor()->setTextCursor(both);
    Drag(ruler, ruler->MarkerPoint(TDbRulerPanel::LeftIndentMarker),
         ruler->MarkerPoint(TDbRulerPanel::LeftIndentMarker) + QPoint(48 + 2, 0));  // snaps to the tick
    EXPECT_EQ(Paragraph(w, 1).leftIndent, 1440);
    EXPECT_EQ(Paragraph(w, 1).firstIndent, 72 * 15 - 1440);
    EXPECT_EQ(Paragraph(w, 2).leftIndent, 1440);
    Drag(ruler, ruler->MarkerPoint(TDbRulerPanel::FirstIndentMarker),
         ruler->MarkerPoint(TDbRulerPanel::FirstIndentMarker) + QPoint(120, 0));
    EXPECT_EQ(Paragraph(w, 1).leftIndent + Paragraph(w, 1).firstIndent, (72 + 120) * 15);
    // The right marker cannot come nearer than 48 pixels to the left one.
    Drag(ruler, ruler->MarkerPoint(TDbRulerPanel::RightIndentMarker), QPoint(0, ruler->height() - 4));
    EXPECT_EQ(Paragraph(w, 2).rightIndent,
              static_cast<int>(std::lround((ruler->Length() - 96 - TDbRulerPanel::kMinimumTextWidth) * 15.0)));

    // A click on the strip sets a tab stop on the tick; dragging one off the strip clears it.
    Caret(w, 2);
    const int origin = ruler->MarkerPoint(TDbRulerPanel::LeftIndentMarker).x() - 96;
    QTest::mouseClick(ruler, Qt::LeftButton, Qt::NoModifier, QPoint(origin + 193, ruler->height() / 2));
    EXPECT_EQ(Paragraph(w, 2).tabs, std::vector<int>{192 * 15});
    Drag(ruler, ruler->TabPoint(0), ruler->TabPoint(0) + QPoint(0, 40));
    EXPECT_TRUE(Paragraph(w, 2).tabs.empty());
    EXPECT_TRUE(w.Editor()->document()->isModified());

    // Centimetres: four ticks to the centimetre, 2.537 to the inch.
    holder.MeasurementUnits = TDbMeasurementUnits::muCentimeters;
    TDbRichEditForm cm(holder);
    EXPECT_NEAR(cm.Ruler()->TickPixels(), 96 / 2.537 / 4, 1e-9);
}

TEST_F(RichEditWindow, TheParagraphDialogProposesValuesAndKeepsInvalidNumbersOpen) {
    TDbRichParagraphDialog d(TDbMeasurementUnits::muInches, false);
    EXPECT_EQ(d.windowTitle(), "Paragraph");
    EXPECT_EQ(d.Alignment()->count(), 3);  // no Justify without the justify button
    TRichParagraph p;
    p.leftIndent = 720;
    p.firstIndent = -360;
    p.lineSpacing = 360;
    p.lineMultiple = true;
    d.SetParagraph(p);
    EXPECT_EQ(d.Field("LeftIndent")->text(), "0.50");
    EXPECT_EQ(d.Field("FirstIndent")->text(), "-0.25");
    EXPECT_EQ(d.LineRule()->currentText(), "1.5 Lines");
    EXPECT_TRUE(d.Field("LineValue")->text().isEmpty());
    // Proposals: a sixth of an inch, a multiple of 1; the first three clear the value.
    const struct {
        const char* rule;
        const char* value;
    } cases[] = {{"At least", "0.17"}, {"Exactly", "0.17"}, {"Multiple", "1"}, {"Double", ""}, {"Single", ""}};
    for (const auto& c : cases) {
        d.LineRule()->setCurrentText(c.rule);
        EXPECT_EQ(d.Field("LineValue")->text(), c.value) << c.rule;
    }
    // A value typed for single spacing makes it a multiple.
    QTest::keyClicks(d.Field("LineValue"), "2");
    EXPECT_EQ(d.LineRule()->currentText(), "Multiple");
    // An invalid number keeps the dialog open; nothing is taken until all are valid.
    d.show();
    d.Field("RightIndent")->setText("one");
    d.accept();
    EXPECT_TRUE(d.isVisible());
    d.Field("RightIndent")->setText("1.5");
    d.Field("SpaceAfter")->setText("0.1");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const TRichParagraph back = d.Paragraph();
    EXPECT_EQ(back.rightIndent, 2160);
    EXPECT_EQ(back.leftIndent, 720);
    EXPECT_EQ(back.firstIndent, -360);
    EXPECT_EQ(back.spaceAfter, 144);
    EXPECT_EQ(back.lineSpacing, 480);  // a multiple of 2
    EXPECT_TRUE(back.lineMultiple);

    TDbRichParagraphDialog cm(TDbMeasurementUnits::muCentimeters, true);
    EXPECT_EQ(cm.Alignment()->count(), 4);
    cm.LineRule()->setCurrentText("Exactly");
    EXPECT_EQ(cm.Field("LineValue")->text(), "0.42");
    cm.SetParagraph(TRichParagraph{});
    cm.LineRule()->setCurrentText("Exactly");
    cm.accept();
    EXPECT_EQ(cm.Paragraph().lineSpacing, -238);  // 0.42 cm, exactly
}

TEST_F(RichEditWindow, TheWindowAppliesTheDialogsToTheSelectedParagraphs) {
    TDbRichEditForm w(holder);
    QTextCursor all(w.Editor()->document());
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    w.Editor()->setTextCursor(all);
    TRichParagraph p;
    p.align = TRichAlign::Center;
    p.leftIndent = 288;
    p.spaceBefore = 120;
    p.lineSpacing = -300;
    w.ApplyParagraph(p);
    w.ApplyTabs({720, 1440});
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TRichParagraph got = Paragraph(w, i);
        EXPECT_EQ(got.align, TRichAlign::Center);
        EXPECT_EQ(got.leftIndent, 288);
        EXPECT_EQ(got.spaceBefore, 120);
        EXPECT_EQ(got.lineSpacing, -300);
        EXPECT_EQ(got.tabs, (std::vector<int>{720, 1440}));
    }
    EXPECT_TRUE(w.Action("CenterButton")->isChecked());

    TDbRichTabDialog tabs(TDbMeasurementUnits::muInches);
    EXPECT_EQ(tabs.windowTitle(), "Tabs");
    tabs.SetTabs({1440, 720});
    EXPECT_EQ(tabs.List()->count(), 2);
    EXPECT_EQ(tabs.List()->item(0)->text(), "0.50");
    tabs.Position()->setText("x");
    EXPECT_FALSE(tabs.SetClick());
    tabs.Position()->setText("2");
    EXPECT_TRUE(tabs.SetClick());
    tabs.List()->setCurrentRow(0);
    tabs.ClearClick();
    EXPECT_EQ(tabs.Tabs(), (std::vector<int>{1440, 2880}));
    tabs.ClearAllClick();
    EXPECT_TRUE(tabs.Tabs().empty());
}

TEST_F(RichEditWindow, ThePopupMenuOffersWhatItsOptionsName) {
    holder.PopupOptions = rpoPopupCut | rpoPopupCopy | rpoPopupPaste | rpoPopupBold | rpoPopupParagraph;
    std::unique_ptr<QMenu> plain(holder.CreatePopupMenu(nullptr));
    ASSERT_NE(plain, nullptr);
    QStringList names;
    for (QAction* a : plain->actions())
        if (!a->isSeparator()) names << a->objectName();
    // Without a window to carry it out, the paragraph command is not offered.
    EXPECT_EQ(names, (QStringList{"PopupCut", "PopupCopy", "PopupPaste", "PopupBold"}));
    holder.PopupOptions = 0;
    EXPECT_EQ(holder.CreatePopupMenu(nullptr), nullptr);

    // The window's editor: cut, copy, paste, font, bullets and paragraph.
    TDbRichEditForm w(holder);
    std::unique_ptr<QMenu> menu(w.Editor()->CreatePopupMenu(nullptr));
    names.clear();
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) names << a->objectName();
    EXPECT_EQ(names,
              (QStringList{"PopupCut", "PopupCopy", "PopupPaste", "PopupFont", "PopupBullet", "PopupParagraph"}));
    Caret(w, 0);
    menu->findChild<QAction*>("PopupBullet")->trigger();
    EXPECT_TRUE(Paragraph(w, 0).bullet || w.Editor()->textCursor().currentList());
    EXPECT_TRUE(w.Action("BulletButton")->isChecked());
}

TEST_F(RichEditWindow, SpellingUnderlinesOffersSuggestionsAndWalksTheUnknownWords) {
    if (!TSpellChecker::Open("en_US")) GTEST_SKIP() << "no en_US Hunspell dictionary";
    holder.SetLines({"Thiss is a tesst of the speling", "all fine 42x here"});
    TDbRichEditForm w(holder);
    ASSERT_NE(w.SpellChecker(), nullptr);
    QApplication::processEvents();  // the marks come with the event loop
    // Unknown words carry a wavy underline in the layout, not in the document.
    const QTextBlock first = w.Editor()->document()->firstBlock();
    QStringList marked;
    for (const QTextLayout::FormatRange& r : first.layout()->formats())
        if (r.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
            marked << first.text().mid(r.start, r.length);
    EXPECT_EQ(marked, (QStringList{"Thiss", "tesst", "speling"}));
    EXPECT_FALSE(w.Editor()->document()->isModified());

    // The pop-up on a wrong word puts its suggestions first.
    QMenu menu;
    menu.addAction("Cut");
    Caret(w, 0, 13);  // inside "tesst"
    w.AddSuggestions(&menu, w.Editor()->cursorRect().center());
    QStringList offered;
    for (QAction* a : menu.actions())
        if (a->objectName() == "PopupSuggestion") offered << a->text();
    ASSERT_FALSE(offered.isEmpty());
    EXPECT_TRUE(offered.contains("test"));
    menu.actions().at(static_cast<int>(offered.indexOf("test")))->trigger();
    EXPECT_EQ(w.Editor()->document()->firstBlock().text(), "Thiss is a test of the speling");

    // The dialog: change the first, ignore the second, then the check is complete.
    Caret(w, 0);
    TDbSpellDialog dialog(w.Editor(), w.SpellChecker());
    dialog.OnComplete = [this](const QString& text) { told << text; };
    ASSERT_TRUE(dialog.Next());
    EXPECT_EQ(dialog.Word(), "Thiss");
    EXPECT_EQ(w.Editor()->textCursor().selectedText(), "Thiss");
    dialog.ChangeTo()->setText("This");
    dialog.ChangeClick();
    EXPECT_EQ(dialog.Word(), "speling");
    dialog.IgnoreAllClick();
    EXPECT_EQ(dialog.Word(), "");
    EXPECT_EQ(told, QStringList{"The spell check is complete."});
    EXPECT_EQ(w.Editor()->document()->firstBlock().text(), "This is a test of the speling");
    EXPECT_TRUE(w.SpellChecker()->Check("speling"));  // ignored for the rest of the session
}

TEST_F(RichEditWindow, WithoutADictionaryTheSpellingCommandSaysSo) {
    test::TempDir empty;
    const QByteArray saved = qgetenv("DICPATH");
    qputenv("DICPATH", QByteArray::fromStdString(empty.Path()));
    TDbRichEditForm w(holder);
    qputenv("DICPATH", saved);
    if (saved.isEmpty()) qunsetenv("DICPATH");
    EXPECT_EQ(w.SpellChecker(), nullptr);
    ASSERT_NE(w.Action("Spelling1"), nullptr);
    w.Action("Spelling1")->trigger();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.front().startsWith("No spelling dictionary is installed")) << told.front().toStdString();
}

TEST_F(RichEditWindow, TheStatusBarShowsTheLockKeys) {
    TKeyboardLocks state{true, true, false};
    TDbRichEditForm::KeyboardLocks = [&] { return state; };
    TDbRichEditForm w(holder);
    w.show();
    auto panels = [&] {
        QStringList texts;
        for (QLabel* l : w.StatusBar()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) texts << l->text();
        return texts;
    };
    EXPECT_TRUE(panels().contains("CAP"));
    EXPECT_FALSE(panels().contains("NUM"));
    state = {true, false, true};
    QTest::keyClick(w.Editor(), Qt::Key_A);  // the panels follow after every key
    EXPECT_FALSE(panels().contains("CAP"));
    EXPECT_TRUE(panels().contains("NUM"));
}

TEST_F(RichEditWindow, PageMarginsReachTheHolderOnlyOnSaveAndExit) {
    holder.PrintMargins = {1, 1, 1, 1};
    {
        TDbRichEditForm w(holder);
        w.Editor()->PrintMargins.Left = 2.5;  // as the page setup dialog leaves them
        w.reject();
    }
    EXPECT_DOUBLE_EQ(holder.PrintMargins.Left, 1);
    TDbRichEditForm w(holder);
    w.Editor()->PrintMargins.Left = 2.5;
    w.SaveAndExit();
    EXPECT_DOUBLE_EQ(holder.PrintMargins.Left, 2.5);
}

// The window as the user sees it: bars, the ruler's white strip with its markers, and a red
// wavy line under a misspelt word. TESSEL_SCREENSHOT_DIR keeps the picture.
TEST_F(RichEditWindow, AScreenshotShowsTheBarsTheRulerAndTheSpellingMarks) {
    holder.SetLines({"A sentense with one mistake."});
    TDbRichEditForm w(holder);
    w.resize(610, 455);
    w.show();
    QApplication::processEvents();
    const QImage shot = w.grab().toImage();
    if (const QByteArray dir = qgetenv("TESSEL_SCREENSHOT_DIR"); !dir.isEmpty())
        shot.save(QString::fromLocal8Bit(dir) + "/rich-text-editor.png");
    ASSERT_FALSE(shot.isNull());
    const qreal ratio = shot.devicePixelRatio();
    auto pixel = [&](QPoint at) { return shot.pixelColor((QPointF(at) * ratio).toPoint()); };
    // Bars stacked above the ruler, the ruler above the editor.
    const int rulerTop = w.Ruler()->mapTo(&w, QPoint(0, 0)).y();
    EXPECT_GT(rulerTop, w.FormatBar()->mapTo(&w, QPoint(0, 0)).y());
    EXPECT_LT(rulerTop, w.Editor()->mapTo(&w, QPoint(0, 0)).y());
    const QPoint inStrip = w.Ruler()->mapTo(
        &w, QPoint(w.Ruler()->MarkerPoint(TDbRulerPanel::LeftIndentMarker).x() + 30, w.Ruler()->height() / 2 - 5));
    EXPECT_EQ(pixel(inStrip), QColor(Qt::white));
    const QPoint marker = w.Ruler()->mapTo(&w, w.Ruler()->MarkerPoint(TDbRulerPanel::RightIndentMarker));
    EXPECT_NE(pixel(marker), QColor(Qt::white));
    if (!w.SpellChecker()) return;
    // Somewhere under "sentense" a red pixel.
    QTextCursor word(w.Editor()->document());
    word.setPosition(2);
    const QRect first = w.Editor()->cursorRect(word);
    word.setPosition(10);
    const QRect last = w.Editor()->cursorRect(word);
    bool red = false;
    for (int x = first.left(); x <= last.left() && !red; ++x)
        for (int y = first.top() + first.height() / 2; y <= first.bottom() + 3 && !red; ++y) {
            const QColor c = pixel(w.Editor()->viewport()->mapTo(&w, QPoint(x, y)));
            red = c.red() - c.green() > 80 && c.red() - c.blue() > 80;
        }
    EXPECT_TRUE(red);
}

}  // namespace
}  // namespace tessel
