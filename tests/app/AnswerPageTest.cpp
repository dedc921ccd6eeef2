// Tests of the answer page: grid, navigator, opened answers.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include "app/MainWindow.h"
#include "base/ErrorHandler.h"
#include "engine/TableFiles.h"
#include "grid/DbGrid.h"
#include "grid/DbNavigator.h"
#include "support/TempDir.h"

using namespace tessel;

namespace {

class AnswerPageTest : public testing::Test {
protected:
    void SetUp() override {
        SetErrorPresenter([this](const std::string& text) { shown.push_back(text); });
        std::filesystem::create_directories(dirs.ConfigDir());
        const std::vector<engine::FieldDesc> fields = {
            engine::FieldDesc::Make("ID", engine::fldtype::kFloat, 0, 5, 0, 'N'),
            engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 10)};
        auto table = engine::CreateTableFile(data.File("employee.dbf"), fields);
        for (int i = 1; i <= 30; ++i) {
            std::string name = std::to_string(i);
            name.insert(0, "Name ");
            table->AppendRecord({engine::Value::Int(i), engine::Value::Text(name)});
        }
        table->Close();
    }
    void TearDown() override { SetErrorPresenter(nullptr); }
    TForm1Setup Setup() const { return {dirs.Root().File("bin/tessel"), dirs.Root().File("bin/tessel.INI")}; }

    test::ScopedUserDirs dirs;
    test::TempDir data;
    std::vector<std::string> shown;
};

TEST_F(AnswerPageTest, GridAndNavigatorStandOnTheAnswerPageWithTheWindowsSettings) {
    TForm1 form(Setup());
    form.show();
    form.Pages()->setCurrentIndex(1);
    TDbGrid* grid = form.Grid();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->objectName(), "dbGrid1");
    EXPECT_EQ(grid->DataSource(), &form.DataSource());
    EXPECT_EQ(form.DataSource().DataSet(), &form.Query());
    EXPECT_EQ(grid->geometry().top(), 26);
    EXPECT_EQ(grid->geometry().width(), grid->parentWidget()->width());
    EXPECT_EQ(grid->geometry().bottom(), grid->parentWidget()->height() - 1);
    EXPECT_EQ(grid->MemoAttributes(), (TDbMemoAttributes{mSizeable, mWordWrap, mGridShow, mViewOnly}));
    EXPECT_EQ(grid->IniAttributes().Delimiter, ";;");
    EXPECT_FALSE(grid->IniAttributes().Enabled);
    EXPECT_EQ(grid->Options(), kDefaultDbGridOptions);
    EXPECT_EQ(grid->DbFixedCols(), 0);
    EXPECT_EQ(grid->TitleLines(), 1);
    EXPECT_FALSE(grid->TitleButtons());
    EXPECT_EQ(grid->TitleAlignment(), Qt::AlignLeft);
    EXPECT_EQ(grid->TitleColor(), gridcolor::BtnFace());
    TDbNavigator* nav = form.Navigator();
    ASSERT_NE(nav, nullptr);
    EXPECT_EQ(nav->objectName(), "DBNavigator2");
    EXPECT_EQ(nav->geometry(), QRect(64, 0, 240, 25));
    EXPECT_EQ(nav->parentWidget()->objectName(), "Dock2");
    EXPECT_EQ(nav->DataSource(), &form.DataSource());
    EXPECT_FALSE(nav->Button(TNavigateBtn::nbNext)->isEnabled());
}

TEST_F(AnswerPageTest, AnOpenedAnswerFillsTheVisibleRowsAndFollowsTheNavigator) {
    test::WriteBytes(dirs.ConfigDir() + "/aliases.conf", "[Mine]\nPATH=" + data.Path() + "\n");
    TForm1 form(Setup());
    form.show();
    form.Pages()->setCurrentIndex(1);
    TQuery& query = form.Query();
    query.SetDatabaseName(data.Path());
    query.SQL().Add("SELECT ID, NAME FROM \"employee.dbf\" ORDER BY ID");
    query.Open();
    TDbGrid* grid = form.Grid();
    ASSERT_TRUE(grid->DataLink().Active());
    EXPECT_EQ(grid->DataLink().MapCount(), 2);
    const int visible = grid->VisibleRowCount();
    ASSERT_GT(visible, 3);
    ASSERT_LT(visible, 30);
    EXPECT_EQ(grid->DataLink().RecordCount(), visible);
    EXPECT_EQ(grid->VertScrollBarValues().Max, 30 + visible - 1);
    TDbNavigator* nav = form.Navigator();
    EXPECT_TRUE(nav->Button(TNavigateBtn::nbNext)->isEnabled());
    EXPECT_TRUE(nav->Button(TNavigateBtn::nbInsert)->isEnabled());  // one table's records: live
    nav->Button(TNavigateBtn::nbLast)->click();
    EXPECT_EQ(query.RecNo(), 30);
    EXPECT_EQ(grid->Row(), visible);
    EXPECT_EQ(grid->VertScrollBarValues().Position, 30);
    // Choosing an alias closes the answer: the grid shows no rows.
    form.AliasBox()->setEditText("Mine");
    EXPECT_FALSE(query.Active());
    EXPECT_FALSE(grid->DataLink().Active());
    EXPECT_EQ(grid->RowCount(), 2);
    EXPECT_EQ(query.DatabaseName(), data.Path());
    EXPECT_TRUE(shown.empty());
}

TEST_F(AnswerPageTest, TheScrollBarShowsOnlyWhileRecordsAreOutOfSight) {
    TForm1 form(Setup());
    form.show();
    form.Pages()->setCurrentIndex(1);
    TQuery& query = form.Query();
    query.SetDatabaseName(data.Path());
    TDbGrid* grid = form.Grid();
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());  // no answer yet
    for (const int records : {30, 2, 30}) {
        SCOPED_TRACE(records);
        query.Close();
        query.SQL().Clear();
        query.SQL().Add("SELECT ID, NAME FROM \"employee.dbf\" WHERE ID <= " + std::to_string(records));
        query.Open();
        QApplication::processEvents();
        EXPECT_EQ(grid->verticalScrollBar()->isVisible(), records > grid->VisibleRowCount());
    }
}

TEST_F(AnswerPageTest, AfterEscapeInACellTheGridKeepsTheKeyboard) {
    TForm1 form(Setup());
    form.show();
    QApplication::setActiveWindow(&form);
    form.Pages()->setCurrentIndex(1);
    TQuery& query = form.Query();
    query.SetDatabaseName(data.Path());
    query.SQL().Add("SELECT ID, NAME FROM \"employee.dbf\" ORDER BY ID");
    query.Open();
    TDbGrid* grid = form.Grid();
    grid->setFocus();
    // Keys go where the focus is, as they do from the keyboard.
    auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    press(Qt::Key_Right);
    press(Qt::Key_F2);
    ASSERT_TRUE(grid->EditorMode());
    ASSERT_TRUE(grid->InplaceEditor()->hasFocus());
    press(Qt::Key_Escape);
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_EQ(QApplication::focusWidget(), grid);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(query.RecNo(), 3);
    EXPECT_TRUE(shown.empty());
}

}  // namespace
