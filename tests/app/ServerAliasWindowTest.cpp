// Tests of the window over a server alias, against a throwaway PostgreSQL server.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "WindowTestSupport.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/TableFiles.h"
#include "support/Oracles.h"
#include "support/PgCluster.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

test::PgCluster& Server() {
    static test::PgCluster cluster;
    return cluster;
}

class ServerAliasWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        if (!Server().Running()) GTEST_SKIP() << Server().Why();
        MakeBinDir();
        database = "w" + std::to_string(++count);
        int status = 0;
        const std::string made = Server().Psql("CREATE DATABASE " + database + ";", "postgres", &status);
        ASSERT_EQ(status, 0) << made;
        test::WriteBytes(dirs.ConfigDir() + "/aliases.conf",
                         "[Sales]\nTYPE=POSTGRESQL\nSERVER NAME=" + Server().SocketDir() +
                             "\nPORT=5432\nDATABASE NAME=" + database + "\nUSER NAME=" + Server().User() + "\n");
    }
    void Run(TForm1& form, const std::string& text) {
        form.Editor()->ReplaceAllText(text);
        form.findChild<TToolbarButton*>("tbbExecute")->Click();
    }
    static QString Status(TForm1& form) { return form.findChild<QStatusBar*>()->currentMessage(); }

    test::TempDir out;
    std::string database;
    static inline int count = 0;
};

// Choosing the alias names the server; the text goes to the server as written (its own casts
// and functions); a long answer shows its first rows before the rest has come; Save Answer
// writes every row into a file the independent reader reads.
TEST_F(ServerAliasWindowTest, TheServersAnswerIsShownAndSaved) {
    TForm1 form(Setup());
    form.show();
    form.AliasBox()->setEditText("Sales");
    EXPECT_EQ(Status(form).toStdString(),
              "Server: " + Server().SocketDir() + ":5432, database " + database + " (alias Sales)");

    Run(form,
        "CREATE TABLE p (id integer PRIMARY KEY, label text);\r\n"
        "INSERT INTO p SELECT g, 'row ' || g::text FROM generate_series(1, 50000) g;");
    ASSERT_TRUE(shown.empty()) << shown.front();
    EXPECT_EQ(Status(form).left(38), "2 statements, 50,000 records changed, ");

    Run(form, "SELECT id, label FROM p ORDER BY id");
    ASSERT_TRUE(shown.empty()) << shown.front();
    TQuery& query = form.Query();
    ASSERT_TRUE(query.Active());
    EXPECT_LT(query.KnownRecordCount(), 50000) << "the whole answer was read before it was shown";
    EXPECT_EQ(query.FieldByName("ID").AsInteger(), 1);
    EXPECT_EQ(query.FieldByName("LABEL").AsString(), "row 1");
    EXPECT_FALSE(query.CanModify());
    EXPECT_EQ(query.ReadOnlyReason(), "the answer comes from a database server");

    const std::string saved = out.File("p.dbf");
    dialogAnswer = QString::fromStdString(saved);
    form.findChild<TToolbarButton*>("tbbSave1")->Click();
    ASSERT_TRUE(shown.empty()) << shown.front();
    auto table = engine::OpenTableFile(saved);
    ASSERT_EQ(table->RecordCount(), 50000u);
    engine::Record last;
    table->ReadRecord(49999, last);
    EXPECT_EQ(last[1].s, "row 50000");
    if (test::OracleFor(saved)) {
        const std::string oracle = test::OracleRecords(saved);
        EXPECT_NE(oracle.find("50000,row 50000"), std::string::npos) << oracle.substr(0, 200);
    }
}

// The server's message, its SQLSTATE and the place it points at reach the message box.
TEST_F(ServerAliasWindowTest, TheServersErrorIsShownWithItsState) {
    TForm1 form(Setup());
    form.show();
    form.AliasBox()->setEditText("Sales");
    Run(form, "SELECT nosuch FROM pg_class");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("column \"nosuch\" does not exist"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("SQLSTATE: 42703"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("Position: 8"), std::string::npos) << shown[0];
}

// A statement the server works on for long: the busy panel shows, Stop sends the server a
// cancel request and the window is free again at once.
TEST_F(ServerAliasWindowTest, StopEndsTheServersStatement) {
    TForm1 form(Setup());
    form.show();
    form.AliasBox()->setEditText("Sales");
    form.Editor()->ReplaceAllText("SELECT pg_sleep(30)");
    RunWhileBusy(
        form, [] { return true; },
        [&] { QTest::mouseClick(form.BusyPanel()->findChild<QPushButton*>("StopButton"), Qt::LeftButton); });
    EXPECT_GE(Seconds(started, busyAt), 0.3);
    EXPECT_LT(Seconds(busyAt, returned), 0.5) << "Stop took too long";
    EXPECT_TRUE(shown.empty()) << shown.front();
    EXPECT_TRUE(Status(form).startsWith("Query stopped after ")) << Status(form).toStdString();
    // The connection goes on serving.
    form.Editor()->ReplaceAllText("SELECT 41 + 1 AS answer");
    form.findChild<TToolbarButton*>("tbbExecute")->Click();
    EXPECT_EQ(form.Query().FieldByName("ANSWER").AsInteger(), 42);
}

}  // namespace
