// Tests of finding and replacing text in the editor and of its Find and Replace dialog.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "editor/widget/CustomCodeEdit.h"
#include "editor/widget/SearchDialog.h"

namespace tessel {
namespace {

class SearchTest : public ::testing::Test {
protected:
    void Load(const std::string& text) {
        edit.Lines().SetText(text);
        edit.SetCaretXY({1, 1});
    }
    // Where the selection starts and ends, as "line:column-column".
    std::string Selected() const {
        const TBufferCoord a = edit.SelStartPos(), b = edit.SelEndPos();
        return std::to_string(a.Line) + ":" + std::to_string(a.Column) + "-" + std::to_string(b.Column);
    }
    TCodeEdit edit;
};

TEST_F(SearchTest, FindGoesRoundTheTextWithCaseAndWholeWords) {
    Load("select Name FROM t\nwhere name_x = 'NAME'\nORDER BY name\n");
    struct Step {
        TSearchOptions options;
        const char* selected;  // after the step; "" when nothing was found
        bool wrapped;
    };
    const Step steps[] = {
        {0, "1:8-12", false},   // Name
        {0, "2:7-11", false},   // name_x (a part of a word counts)
        {0, "2:17-21", false},  // NAME in quotes
        {0, "3:10-14", false},
        {0, "1:8-12", true},              // round the end
        {ssoBackwards, "3:10-14", true},  // and back round the start
        {ssoBackwards, "2:17-21", false},
        {ssoWholeWord, "3:10-14", false},                // name_x is skipped
        {ssoWholeWord | ssoMatchCase, "3:10-14", true},  // only "name" as a word, itself again
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.selected);
        ASSERT_EQ(edit.SearchReplace("name", "", s.options), 1);
        EXPECT_EQ(Selected(), s.selected);
        EXPECT_EQ(edit.SearchWrapped(), s.wrapped);
    }
    EXPECT_EQ(edit.SearchReplace("nowhere", "", 0), 0);
    EXPECT_EQ(Selected(), "3:10-14");  // the selection stays where it was
    EXPECT_EQ(edit.SearchReplace("", "", 0), 0);
}

TEST_F(SearchTest, ReplaceAllIsOneUndoAndKeepsToTheSelectionWhenAsked) {
    Load("a x a\nxa a ä a\na");
    EXPECT_EQ(edit.SearchReplace("a", "bb", ssoReplaceAll | ssoWholeWord), 5);
    EXPECT_EQ(edit.Lines().Text(), "bb x bb\r\nxa bb ä bb\r\nbb\r\n");
    edit.Undo();
    EXPECT_EQ(edit.Lines().Text(), "a x a\r\nxa a ä a\r\na\r\n");
    edit.Redo();
    EXPECT_EQ(edit.Lines().Text(), "bb x bb\r\nxa bb ä bb\r\nbb\r\n");
    edit.Undo();

    // Only inside the selection (line 2 from "a" after "xa" to before the last "a").
    edit.SetCaretAndSelect({8, 2}, {4, 2}, {8, 2});
    EXPECT_EQ(edit.SearchReplace("A", "[é]", ssoReplaceAll | ssoSelectedOnly), 1);
    EXPECT_EQ(edit.Lines().Get(1), "xa [é] ä a");
    edit.Undo();

    // Replace one at a time: a selected match is replaced, then the next one is selected.
    edit.SetCaretXY({1, 1});
    ASSERT_EQ(edit.SearchReplace("x", "y", ssoReplace), 1);  // selects the first x only
    EXPECT_EQ(Selected(), "1:3-4");
    ASSERT_EQ(edit.SearchReplace("x", "y", ssoReplace), 2);
    EXPECT_EQ(edit.Lines().Get(0), "a y a");
    EXPECT_EQ(Selected(), "2:1-2");
}

TEST_F(SearchTest, TheDialogFindsAgainAndReportsWhatItDid) {
    Load("one two one\n");
    TSearchDialog dialog(&edit);
    edit.SetCaretAndSelect({4, 1}, {1, 1}, {4, 1});
    dialog.ShowReplace();
    EXPECT_EQ(dialog.FindBox()->text(), "one");  // the selection is the text to look for
    dialog.FindNextButton()->click();
    EXPECT_EQ(Selected(), "1:9-12");
    dialog.FindAgain(true);
    EXPECT_EQ(Selected(), "1:1-4");
    dialog.ReplaceBox()->setText("1");
    dialog.ReplaceAllButton()->click();
    EXPECT_EQ(dialog.Result(), "2 replaced");
    EXPECT_EQ(edit.Lines().Get(0), "1 two 1");
    dialog.FindNextButton()->click();
    EXPECT_EQ(dialog.Result(), "Not found: one");
}

}  // namespace
}  // namespace tessel
