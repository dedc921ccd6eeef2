#pragma once

// The main window of Tessel.

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "editor/CodeEditStringList.h"
#include "engine/Engine.h"
#include "framework/data/BatchMove.h"
#include "framework/data/DataSource.h"
#include "framework/data/DbDataSets.h"
#include "framework/data/Query.h"
#include "framework/data/Table.h"
#include "print/CodeEditPrint.h"
#include "richedit/DbRichEdit.h"
#include "script/SQLScript.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QWidget;

namespace tessel {

class TAboutDialog;
class TCodeEdit;
class TLinkLabel;
class TSQLHighlighter;
class TSearchDialog;

class TDbGrid;
class TDbNavigator;
class TDock;
class TToolbar;
class TToolbarButton;

// Where the window keeps its settings and finds the alias store; the defaults are those of a
// normal run, tests point them at temporary files.
// The answer to "save the changed text first?".
enum class TSaveAnswer { Yes, No, Cancel };

struct TForm1Setup {
    std::string executablePath;  // empty: the running executable
    std::string settingsFile;    // empty: SettingsFileFor(executablePath)
    // Asks whether to save a changed text; empty: a message box (tests answer themselves).
    std::function<TSaveAnswer()> askSaveChanges;
};

// The main window: two pages, "SQL commands" and "Answer table". Every command is one of its
// handlers; each runs inside the application's error guard.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(TForm1Setup setup = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // The editor's lines.
    TCodeEditStringList& Lines();
    TCodeEdit* Editor() const { return MemoPad; }
    TSearchDialog* SearchDialog() const { return SearchDialog1; }
    const std::string& WorkDir() const { return workDir_; }
    const std::string& SettingsFile() const { return settingsFile_; }
    QString StatusText() const;

    QComboBox* AliasBox() const { return ComboBox1; }
    QComboBox* SampleBox() const { return ComboBox2; }
    QCheckBox* QuoteFieldsBox() const { return chkQf; }
    QCheckBox* FileExtensionsBox() const { return chkFileX; }
    QCheckBox* FileNamesBox() const { return chkFileN; }
    QTabWidget* Pages() const { return TabbedNotebook1; }
    TDbGrid* Grid() const { return dbGrid1; }
    TDbNavigator* Navigator() const { return DBNavigator2; }
    TQuery& Query() { return Query1; }
    TDataSource& DataSource() { return DataSource1; }
    TTable& Table() { return Table1; }
    TSQLScript& Script() { return SQLScript1; }

    // Command handlers.
    void FormCreate();
    void ComboBox1Change();
    void ComboBox2Change();
    // The stored document of the rich text holder dbRichEdit<holder> (1 to 11; the eleventh
    // is the help document), as the window's form data keeps it.
    static std::string_view StoredDocument(int holder);
    // The plain lines of the holder dbRichEdit<holder>'s document.
    std::vector<std::string> SampleLines(int holder) const;
    void tbbExecuteClick();
    // Runs only the selected text (nothing without a selection); errors name editor lines.
    void RunSelectionClick();
    void tbbSave1Click();
    void tbbDB2SQLClick();
    // Prints the editor's lines on the default printer; without a printer, into a PDF file
    // whose name it asks for.
    void tbbPrintClick();
    void PrintPreviewClick();
    TCodeEditPrint& PrintJob() { return CodeEditPrint1; }
    void tbbOpenClick();
    void OpenSqlFile(const QString& path);
    // A file named on the command line: a SQL file opens in the editor; a table file's folder
    // becomes the database of this run and the table's records are shown.
    void OpenFromCommandLine(const QString& path);
    // Saves to the file last opened or saved, through the save dialog when there is none.
    void tbbSaveClick();
    void SaveAsClick();
    void tbbCloseClick();
    void Exit1Click();
    void About1Click();
    // While an engine call runs longer than 0.3 s the window shows the busy panel: what is
    // being done, the time so far and Stop (Escape and Ctrl+C stop too); nothing else takes
    // input meanwhile, and the window's data stay as they were until the call returns.
    bool Busy() const { return busy_; }
    QWidget* BusyPanel() const { return busyPanel_; }
    QString BusyText() const;
    void StopClick();
    TAboutDialog* AboutDialog() const { return dlgAbout; }
    // Opens the help document, read-only, in the rich text editor window.
    void btnHelpClick();
    TDbRichEdit* HelpHolder() const { return dbRichEdit11; }
    TDbRichEdit* Holder(int holder) const { return holder >= 1 && holder <= 11 ? holders_[holder - 1] : nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWindow();
    void BuildMenus();
    // Runs these lines (the editor's, or the selection at its place) as "Run SQL query" does;
    // a failure puts the caret on where it points and names the statement and its line.
    void RunLines(const TStrings& lines);
    // Selects `length` characters from (column, line) of the editor and gives it the focus.
    void ShowErrorPlace(int line, int column, int length);
    QWidget* BuildSqlPage();
    QWidget* BuildAnswerPage();
    void FormCloseQuery();
    // Before the text is replaced or the window closes: true to go on. A changed text is saved
    // first when the person wants it so; Cancel, or a cancelled save, keeps everything.
    bool QuerySaveChanges();
    // Saves through the save dialog; false when the person cancelled it.
    bool SaveSqlFile();
    // Writes the answer as CSV text to `path` (the answer is opened first when it is not).
    void SaveAnswerAsCsv(const std::string& path);
    // Reads more of an answer still coming in while the window has nothing else to do.
    void FeedAnswer();
    void BusyPump();
    // A failure that is the Stop the person asked for (shown in the status bar, not as an error).
    bool StoppedByUser(const std::exception& e) const;
    void EnterBusy();
    void LeaveBusy() noexcept;
    void ShowBusyProgress();
    void ShowAnswerSummary();
    void LoadSettings();
    void SaveSettings();
    void SetWorkDir(const std::string& dir);
    TToolbarButton* MakeButton(QWidget* parent, const char* name, int x, int y, const QString& hint,
                               const QString& image);
    void LayOutSqlPage(const QSize& size);
    void LayOutAnswerPage(const QSize& size);

    TForm1Setup setup_;
    std::string settingsFile_;
    std::string workDir_;
    QString openFileName_;  // the open dialog's remembered file
    std::unique_ptr<TSQLHighlighter> SQLHighlighter1;
    // The engine of this window's data objects; they all go before it.
    std::unique_ptr<engine::Engine> engine_;
    // The answer: Query1 through DataSource1 into the grid and the navigator bar.
    TDbQuery Query1;
    TDbDataSource DataSource1;
    // "Save Answer to disk" copies Query1 into the file Table1 names; "Table to SQL" reads
    // Table1; every text that is no query runs through SQLScript1.
    TDbTable Table1;
    TBatchMove BatchMove1;
    TSQLScript SQLScript1;
    TCodeEditPrint CodeEditPrint1;
    // The answer's rows come in a slice at a time after its first page is shown.
    QTimer answerFeed_;
    bool busy_ = false;
    bool stopRequested_ = false;  // Stop was pressed during the current run
    bool feedWasActive_ = false;
    QFrame* busyPanel_ = nullptr;
    QLabel* busyText_ = nullptr;
    QPushButton* busyStop_ = nullptr;
    std::unique_ptr<QObject> busyFilter_;
    std::chrono::steady_clock::time_point answerStarted_;

    QTabWidget* TabbedNotebook1 = nullptr;
    TDock* Dock1 = nullptr;
    TToolbar* Toolbar1 = nullptr;
    TToolbarButton* tbbOpen = nullptr;
    TToolbarButton* tbbSave = nullptr;
    TToolbarButton* tbbExecute = nullptr;
    TToolbarButton* tbbDB2SQL = nullptr;
    TToolbarButton* tbbPrint = nullptr;
    TToolbarButton* tbbClose = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QFrame* Bevel1 = nullptr;
    TLinkLabel* LinkLabel1 = nullptr;
    TAboutDialog* dlgAbout = nullptr;
    QCheckBox* chkFileX = nullptr;
    QCheckBox* chkFileN = nullptr;
    QCheckBox* chkQf = nullptr;
    TCodeEdit* MemoPad = nullptr;
    QAction* RunSelection1 = nullptr;
    TSearchDialog* SearchDialog1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TToolbarButton* btnHelp = nullptr;
    std::array<TDbRichEdit*, 11> holders_{};
    TDbRichEdit* dbRichEdit11 = nullptr;
    TDock* Dock2 = nullptr;
    TToolbar* Toolbar2 = nullptr;
    TToolbarButton* tbbSave1 = nullptr;
    TToolbarButton* tbbClose1 = nullptr;
    TDbNavigator* DBNavigator2 = nullptr;
    TDbGrid* dbGrid1 = nullptr;
};

}  // namespace tessel
