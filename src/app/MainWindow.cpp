// The main window: its pages, alias and sample boxes, menus, toolbars and commands.

#include "app/MainWindow.h"

#include "app/ButtonImages.h"

#include <stdexcept>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTabWidget>

#include "about/AboutDialog.h"
#include "about/LinkLabel.h"
#include "base/ErrorHandler.h"
#include "base/Exceptions.h"
#include "base/FileUtil.h"
#include "base/StringList.h"
#include "editor/widget/CustomCodeEdit.h"
#include "editor/widget/SearchDialog.h"
#include "engine/Aliases.h"
#include "engine/Server.h"
#include "framework/data/Session.h"
#include "framework/widgets/Cursors.h"
#include "framework/widgets/FileDialogs.h"
#include "grid/DbGrid.h"
#include "grid/DbNavigator.h"
#include "highlight/SQLHighlighter.h"
#include "toolbars/Dock.h"
#include "toolbars/ToolWindow.h"
#include "toolbars/ToolbarButton.h"

namespace tessel {

namespace {

constexpr const char* kSqlFilter = "SQL files (*.SQL)|*.SQL";
constexpr const char* kWorkingDirectory = "Working directory: ";

// A page whose children sit where the window places them: the band of fixed controls at the
// top and one control that fills the rest (the editor on page 0, the grid on page 1).
class TPage : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void(const QSize&)> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (onResize) onResize(event->size());
    }
};

// The band of options below Dock1: its controls keep their places relative to the dock's
// bottom edge, so that they move up with it while its toolbar floats. btnHelp stands in the
// band at the right, where it is in reach (its stored place lies under the editor).
constexpr int kDockedHeight = 26;
struct BandPlace {
    const char* name;
    int x, y;
};
constexpr BandPlace kBandPlaces[] = {
    {"LinkLabel1", 376, 32}, {"chkFileX", 8, 48}, {"chkFileN", 232, 48}, {"chkQf", 8, 64}, {"btnHelp", 432, 56},
};

// A floating toolbar of this window that is closed goes back to its dock: its commands are
// nowhere else, and nothing else could show it again.
void KeepReachable(TToolbar* toolbar, TDock* dock) {
    toolbar->SetDefaultDock(dock);
    toolbar->OnClose = [](TCustomToolWindow* bar) {
        bar->ReturnToDock();
        bar->SetVisible(true);
    };
}

std::string ExecutablePath(const TForm1Setup& setup) {
    if (!setup.executablePath.empty()) return setup.executablePath;
    return QCoreApplication::applicationFilePath().toStdString();
}

}  // namespace

TForm1::TForm1(TForm1Setup setup, QWidget* parent) : QMainWindow(parent), setup_(std::move(setup)) {
    settingsFile_ = setup_.settingsFile.empty() ? SettingsFileFor(ExecutablePath(setup_)) : setup_.settingsFile;
    SQLHighlighter1 = std::make_unique<TSQLHighlighter>();
    SQLHighlighter1->SetSQLDialect(sqlSybase);
    SQLHighlighter1->SetDefaultFilter("SQL Files (*.sql)|*.sql");
    // The data objects' engine, with the alias store of this run.
    engine_ = std::make_unique<engine::Engine>();
    SetSessionEngine(engine_.get());
    // A long engine call keeps the window painted and stoppable.
    engine_->SetProgressHooks([this] { BusyPump(); }, [this] { LeaveBusy(); });
    // A server that wants a password asks for it here; it is kept for the session only.
    engine::SetPasswordPrompt(
        [this](const std::string& alias, const std::string& server) -> std::optional<std::string> {
            bool ok = false;
            const QString password = QInputDialog::getText(
                this, "Password", QString::fromStdString("Password for alias " + alias + " (" + server + "):"),
                QLineEdit::Password, QString(), &ok);
            if (!ok) return std::nullopt;
            return password.toStdString();
        });
    Query1.SetName("Query1");
    // An answer that shows one table's records as they are is edited in place.
    Query1.SetRequestLive(true);
    DataSource1.SetDataSet(&Query1);
    // The print job prints the editor's text as the editor shows it.
    CodeEditPrint1.Font = TPrintFont::FromHeight("Courier New", -13, clWindowText);
    CodeEditPrint1.SetHighlighter(SQLHighlighter1.get());
    CodeEditPrint1.SetTabWidth(8);
    CodeEditPrint1.Color = clWhite;
    connect(&answerFeed_, &QTimer::timeout, this, [this] { RunGuarded([this] { FeedAnswer(); }); });
    Table1.SetName("Table1");
    Table1.SyncSQLByRange = true;
    Table1.NarrowSearch = false;
    Query1.ValidateWithMask = true;
    Table1.ValidateWithMask = true;
    BatchMove1.SetName("BatchMove1");
    BatchMove1.SetSource(&Query1);
    BatchMove1.SetDestination(&Table1);
    BatchMove1.SetMode(TBatchMode::batCopy);
    SQLScript1.SetName("SQLScript1");
    SQLScript1.SetTerm(';');
    SQLScript1.SetTransaction(false);
    BuildWindow();
    RunGuarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    engine_->SetProgressHooks(nullptr, nullptr);
    engine::SetPasswordPrompt(nullptr);
    // The editor, a child widget, outlives the highlighter member.
    MemoPad->SetHighlighter(nullptr);
    // So do the grid and the navigator bar: let go of the data source first.
    dbGrid1->SetDataSource(nullptr);
    DBNavigator2->SetDataSource(nullptr);
    Query1.Close();
    Table1.Close();
    SetSessionEngine(nullptr);
}

TCodeEditStringList& TForm1::Lines() {
    return MemoPad->Lines();
}

void TForm1::BuildWindow() {
    setObjectName("Form1");
    setWindowTitle("Tessel");
    setWindowIcon(TesselIcon());
    setGeometry(192, 122, 535, 491);
    dlgAbout = new TAboutDialog(this);
    dlgAbout->LangType = TLangType::ltEnglish;
    dlgAbout->Options = kDefaultAboutOptions;
    dlgAbout->Text = "SQL on folders of Paradox and dBASE tables: queries, scripts, answers saved as tables.";
    // The window's font: a sans serif of 11 pixels, metric-compatible with the one the stored
    // control sizes were made for, so captions fit their boxes.
    QFont font("Liberation Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName("TabbedNotebook1");
    TabbedNotebook1->addTab(BuildSqlPage(), "SQL commands");
    TabbedNotebook1->addTab(BuildAnswerPage(), "Answer table");
    TabbedNotebook1->setCurrentIndex(0);
    setCentralWidget(TabbedNotebook1);
    SearchDialog1 = new TSearchDialog(MemoPad, this);
    BuildMenus();
}

void TForm1::BuildMenus() {
    // Every command of the window, with the shortcuts its buttons' hints name. A command of a
    // button that stands disabled is disabled here as well.
    auto add = [this](QMenu* menu, const char* name, const QString& text, QList<QKeySequence> keys,
                      std::function<void()> handler, TToolbarButton* button = nullptr) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
        if (button != nullptr) action->setEnabled(button->isEnabled());
        return action;
    };
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("File1");
    add(file, "Open1", "&Open SQL file...", {QKeySequence("Ctrl+O")}, [this] { tbbOpenClick(); });
    add(file, "Save2", "&Save SQL file", {QKeySequence("Ctrl+S")}, [this] { tbbSaveClick(); });
    add(file, "SaveAs1", "Save &As...", {QKeySequence("Ctrl+Shift+S")}, [this] { SaveAsClick(); });
    file->addSeparator();
    add(
        file, "Print1", "&Print...", {QKeySequence("Ctrl+P")}, [this] { RunGuarded([this] { tbbPrintClick(); }); },
        tbbPrint);
    add(file, "PrintPreview1", "Print Pre&view...", {}, [this] { RunGuarded([this] { PrintPreviewClick(); }); });
    file->addSeparator();
    add(file, "Exit1", "E&xit", {}, [this] { Exit1Click(); });

    // The editor's own commands: their keys are the editor's, the menu shows where they are.
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("Edit1");
    add(edit, "Undo1", "&Undo", {QKeySequence("Ctrl+Z")}, [this] { MemoPad->Undo(); });
    add(edit, "Redo1", "&Redo", {QKeySequence("Ctrl+Shift+Z")}, [this] { MemoPad->Redo(); });
    edit->addSeparator();
    add(edit, "Cut1", "Cu&t", {QKeySequence("Ctrl+X")}, [this] { MemoPad->CutToClipboard(); });
    add(edit, "Copy1", "&Copy", {QKeySequence("Ctrl+C")}, [this] { MemoPad->CopyToClipboard(); });
    add(edit, "Paste1", "&Paste", {QKeySequence("Ctrl+V")}, [this] { MemoPad->PasteFromClipboard(); });
    add(edit, "SelectAll1", "Select &All", {QKeySequence("Ctrl+A")}, [this] { MemoPad->SelectAll(); });
    edit->addSeparator();
    add(edit, "Find1", "&Find...", {QKeySequence("Ctrl+F")}, [this] { SearchDialog1->ShowFind(); });
    add(edit, "FindNext1", "Find &Next", {QKeySequence("F3")}, [this] { SearchDialog1->FindAgain(false); });
    add(edit, "FindPrevious1", "Find Pre&vious", {QKeySequence("Shift+F3")},
        [this] { SearchDialog1->FindAgain(true); });
    add(edit, "Replace1", "R&eplace...", {QKeySequence("Ctrl+H")}, [this] { SearchDialog1->ShowReplace(); });

    QMenu* query = menuBar()->addMenu("&Query");
    query->setObjectName("Query2");
    add(query, "Run1", "&Run SQL query",
        {QKeySequence("F9"), QKeySequence("Ctrl+Return"), QKeySequence("Ctrl+Enter"), QKeySequence("F5")},
        [this] { RunGuarded([this] { tbbExecuteClick(); }); });
    RunSelection1 = add(query, "RunSelection1", "Run &selection", {QKeySequence("Ctrl+Shift+Return")},
                        [this] { RunGuarded([this] { RunSelectionClick(); }); });
    RunSelection1->setEnabled(false);
    MemoPad->OnStatusChange = [this](TCustomCodeEdit*, TStatusChanges changes) {
        if (changes & stSelection) RunSelection1->setEnabled(MemoPad->HasSelection());
    };
    query->addSeparator();
    add(query, "SaveAnswer1", "Save &Answer to disk...", {}, [this] { RunGuarded([this] { tbbSave1Click(); }); });
    add(query, "TableToSql1", "&Table to SQL...", {}, [this] { RunGuarded([this] { tbbDB2SQLClick(); }); });

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help1");
    add(
        help, "HelpContents1", "&Help", {QKeySequence("F1")}, [this] { RunGuarded([this] { btnHelpClick(); }); },
        btnHelp);
    add(help, "About1", "&About", {}, [this] { About1Click(); });
}

QWidget* TForm1::BuildSqlPage() {
    auto* page = new TPage;
    page->setObjectName("Page0");

    Dock1 = new TDock(page, dpTop);
    Dock1->setObjectName("Dock1");
    Toolbar1 = new TToolbar(Dock1);
    Toolbar1->setObjectName("Toolbar1");
    Toolbar1->SetCaption("Toolbar1");
    Toolbar1->SetDockPos(0);
    tbbOpen = MakeButton(Toolbar1, "tbbOpen", 0, 0, "Open SQL file (Ctrl+O)", "Open");
    tbbSave = MakeButton(Toolbar1, "tbbSave", 23, 0, "Save SQL file (Ctrl+S)", "Save");
    tbbExecute = MakeButton(Toolbar1, "tbbExecute", 46, 0, "Run SQL query (F9)", "Execute");
    tbbDB2SQL = MakeButton(Toolbar1, "tbbDB2SQL", 69, 0, "Table to SQL", "DB2SQL");
    tbbPrint = MakeButton(Toolbar1, "tbbPrint", 92, 0, "Print SQL (Ctrl+P)", "Print");
    tbbClose = MakeButton(Toolbar1, "tbbClose", 115, 0, "Close", "Close");
    tbbPrint->OnClick = [this](TToolbarButton*) { RunGuarded([this] { tbbPrintClick(); }); };
    tbbOpen->OnClick = [this](TToolbarButton*) { tbbOpenClick(); };
    tbbExecute->OnClick = [this](TToolbarButton*) { RunGuarded([this] { tbbExecuteClick(); }); };
    tbbDB2SQL->OnClick = [this](TToolbarButton*) { RunGuarded([this] { tbbDB2SQLClick(); }); };
    tbbSave->OnClick = [this](TToolbarButton*) { tbbSaveClick(); };
    tbbClose->OnClick = [this](TToolbarButton*) { tbbCloseClick(); };
    Toolbar1->Arrange();
    KeepReachable(Toolbar1, Dock1);
    // The alias and sample boxes stand on the dock: it keeps their height while the toolbar floats.
    Dock1->SetMinThickness(kDockedHeight);

    ComboBox1 = new QComboBox(Dock1);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(192, 2, 145, 21);
    ComboBox1->setToolTip("Select Alias");
    // No inline completion: a half-typed name must stay half-typed, not jump to an alias.
    ComboBox1->setCompleter(nullptr);
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });

    ComboBox2 = new QComboBox(Dock1);
    ComboBox2->setObjectName("ComboBox2");
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->setGeometry(352, 2, 145, 21);
    ComboBox2->setCompleter(nullptr);
    ComboBox2->addItems({"Add Columns", "Add Index", "Blank out a Column", "Create Table", "Drop Columns", "Drop Index",
                         "Drop Table", "Empty Table", "SELECT", "SELECT *"});
    ComboBox2->setCurrentIndex(-1);
    ComboBox2->setEditText("");
    connect(ComboBox2, &QComboBox::editTextChanged, this, [this] { RunGuarded([this] { ComboBox2Change(); }); });

    Bevel1 = new QFrame(page);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    LinkLabel1 = new TLinkLabel(page);
    LinkLabel1->setObjectName("LinkLabel1");
    LinkLabel1->setGeometry(376, 32, 110, 13);  // shows and opens the project's web page, its default

    chkFileX = new QCheckBox("Include Table Filename Extenstions", page);
    chkFileX->setObjectName("chkFileX");
    chkFileX->setGeometry(8, 48, 201, 17);
    chkFileN = new QCheckBox("Include Table Filename in SQL", page);
    chkFileN->setObjectName("chkFileN");
    chkFileN->setGeometry(232, 48, 177, 17);
    chkQf = new QCheckBox("Quote Fields", page);
    chkQf->setObjectName("chkQf");
    chkQf->setGeometry(8, 64, 97, 17);

    MemoPad = new TCodeEdit(page);
    MemoPad->setAccessibleName("SQL text");
    MemoPad->setObjectName("MemoPad");
    QFont mono("Liberation Mono");
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    mono.setPixelSize(13);
    MemoPad->SetEditorFont(mono);
    MemoPad->SetScrollBars(ssVertical);
    MemoPad->SetHighlighter(SQLHighlighter1.get());
    QFont gutterFont("Terminal");
    gutterFont.setStyleHint(QFont::Monospace);
    gutterFont.setPixelSize(11);
    MemoPad->Gutter().SetFont(gutterFont);
    // Line numbers, so that the lines an error names can be found.
    MemoPad->Gutter().SetShowLineNumbers(true);
    MemoPad->Lines().Add(std::string());

    StatusBar1 = new QStatusBar(page);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);

    btnHelp = MakeButton(page, "btnHelp", 432, 56, "Help and Info (F1)", "Help");
    btnHelp->OnClick = [this](TToolbarButton*) { RunGuarded([this] { btnHelpClick(); }); };
    // The rich text holders, all invisible: ten sample statements, one paragraph a line, and
    // the read-only help document that opens in the editor window.
    for (int i = 0; i < 11; ++i) {
        auto* holder = new TDbRichEdit(page);
        holder->setObjectName(QString("dbRichEdit%1").arg(i + 1));
        holder->setVisible(false);
        holder->SetWordWrap(i == 10);
        holder->PrintJobName = "Tessel";
        // Header and footer: no texts, the holders' font (a screen height of -11 is 8.25 points).
        for (TDbRTFHeaderFooter* band : {&holder->PrintHeader, &holder->PrintFooter}) {
            band->VertMargin = 0.5;
            band->Font = QFont("MS Sans Serif");
            band->Font.setPointSizeF(8.25);
        }
        holder->LoadStoredDocument(StoredDocument(i + 1));
        holders_[i] = holder;
    }
    dbRichEdit11 = holders_[10];
    dbRichEdit11->SetReadOnly(true);
    dbRichEdit11->EditorCaption = "Varnholm Tessel info";
    dbRichEdit11->EditorOptions = reoShowPrint | reoShowPageSetup;
    dbRichEdit11->PrintJobName = "Tessel help";

    page->onResize = [this](const QSize& size) { LayOutSqlPage(size); };
    Dock1->OnResize = [this, page](TDock*) { LayOutSqlPage(page->size()); };
    LayOutSqlPage(page->size());
    return page;
}

void TForm1::LayOutSqlPage(const QSize& size) {
    // Dock1 keeps itself along the top edge; the rest follows its height.
    const int top = Dock1->height();
    Bevel1->setGeometry(0, top, size.width(), 63);
    QWidget* page = Bevel1->parentWidget();
    for (const BandPlace& place : kBandPlaces)
        if (auto* control = page->findChild<QWidget*>(place.name, Qt::FindDirectChildrenOnly))
            control->move(place.x, place.y + top - kDockedHeight);
    const int statusTop = size.height() - 19;
    StatusBar1->setGeometry(0, statusTop, size.width(), 19);
    const int memoTop = top + 63;
    MemoPad->setGeometry(0, memoTop, size.width(), std::max(0, statusTop - memoTop));
}

TToolbarButton* TForm1::MakeButton(QWidget* parent, const char* name, int x, int y, const QString& hint,
                                   const QString& image) {
    auto* button = new TToolbarButton(parent);
    button->setObjectName(name);
    button->setGeometry(x, y, 23, 22);
    button->SetGlyph(ButtonImageStrip(image));
    button->SetNumGlyphs(ButtonImageCount(image));
    button->SetHint(hint);
    button->SetShowHint(true);
    return button;
}

QWidget* TForm1::BuildAnswerPage() {
    auto* page = new TPage;
    page->setObjectName("Page1");
    Dock2 = new TDock(page, dpTop);
    Dock2->setObjectName("Dock2");
    Toolbar2 = new TToolbar(Dock2);
    Toolbar2->setObjectName("Toolbar2");
    Toolbar2->SetCaption("Toolbar2");
    Toolbar2->SetDockPos(0);
    tbbSave1 = MakeButton(Toolbar2, "tbbSave1", 0, 0, "Save Answer to disk", "Save1");
    tbbClose1 = MakeButton(Toolbar2, "tbbClose1", 23, 0, "Close", "Close");
    tbbSave1->OnClick = [this](TToolbarButton*) { RunGuarded([this] { tbbSave1Click(); }); };
    tbbClose1->OnClick = [this](TToolbarButton*) { tbbCloseClick(); };
    Toolbar2->Arrange();
    KeepReachable(Toolbar2, Dock2);
    Dock2->SetMinThickness(kDockedHeight);

    DBNavigator2 = new TDbNavigator(Dock2);
    DBNavigator2->setObjectName("DBNavigator2");
    DBNavigator2->setGeometry(64, 0, 240, 25);
    DBNavigator2->SetDataSource(&DataSource1);

    dbGrid1 = new TDbGrid(page);
    dbGrid1->setAccessibleName("Answer table");
    dbGrid1->setObjectName("dbGrid1");
    dbGrid1->SetTitleFont(font());
    dbGrid1->SetMemoAttributes({mSizeable, mWordWrap, mGridShow, mViewOnly});
    dbGrid1->IniAttributes().Delimiter = ";;";
    dbGrid1->SetTitleColor(gridcolor::BtnFace());
    dbGrid1->SetDbFixedCols(0);
    dbGrid1->SetShowHorzScrollBar(true);
    dbGrid1->SetTitleAlignment(Qt::AlignLeft);
    dbGrid1->SetTitleLines(1);
    dbGrid1->SetTitleButtons(false);
    dbGrid1->DittoAttributes() = TDbDittoAttributes{};
    dbGrid1->SetDisableThemesInTitle(false);
    dbGrid1->SetDataSource(&DataSource1);
    // A post the grid makes (leaving an edited row) that fails is shown as every failure is.
    dbGrid1->OnShowError = [](const std::string& text) {
        HandleException(std::make_exception_ptr(std::runtime_error(text)));
    };
    dbGrid1->OnEditRefused = [this](TDbCustomGrid&) {
        StatusBar1->showMessage(QString::fromStdString("This answer is read-only: " + Query1.ReadOnlyReason() + "."));
    };

    page->onResize = [this](const QSize& size) { LayOutAnswerPage(size); };
    Dock2->OnResize = [this, page](TDock*) { LayOutAnswerPage(page->size()); };
    LayOutAnswerPage(page->size());
    return page;
}

void TForm1::LayOutAnswerPage(const QSize& size) {
    // The grid fills what the dock leaves.
    const int top = Dock2->height();
    dbGrid1->setGeometry(0, top, size.width(), std::max(0, size.height() - top));
}

void TForm1::FormCreate() {
    LoadSettings();
    MemoPad->ClearAll();
    ComboBox1->blockSignals(true);
    ComboBox1->clear();
    ComboBox1->setEditText("");
    ComboBox1->blockSignals(false);
    const engine::AliasStore aliases;
    QStringList names;
    for (const std::string& name : aliases.AliasNames()) names << QString::fromStdString(name);
    names.sort(Qt::CaseInsensitive);
    ComboBox1->blockSignals(true);
    ComboBox1->addItems(names);
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText("");
    ComboBox1->blockSignals(false);
    SetWorkDir(ExtractFileDir(ExecutablePath(setup_)));
    // Until an alias is chosen the data objects' empty database name stands for this directory.
    engine_->SetDefaultDirectory(workDir_);
}

void TForm1::ComboBox1Change() {
    // While the person types, most texts name no alias yet: every failure here is dropped.
    try {
        const engine::AliasStore aliases;
        const std::string name = ComboBox1->currentText().toStdString();
        if (aliases.IsServerAlias(name)) {
            // The statements go to the server; the file dialogs keep their folder.
            Query1.Close();
            Query1.SetDatabaseName(name);
            SQLScript1.SetDatabaseName(name);
            Table1.Close();
            StatusBar1->showMessage(QString::fromStdString(
                "Server: " + engine::ServerParamsFor(aliases, name).Describe() + " (alias " + name + ")"));
            return;
        }
        const std::vector<std::string> params = aliases.AliasParams(name);
        if (params.empty()) return;
        const std::string& first = params.front();
        const std::string dir = first.size() > 5 ? first.substr(5) : std::string();
        // The answer of the former database goes; the grid shows no rows until the next run.
        Query1.Close();
        Query1.SetDatabaseName(dir);
        SQLScript1.SetDatabaseName(dir);
        Table1.Close();
        Table1.SetDatabaseName(dir);
        SetWorkDir(dir);
    } catch (const std::exception&) {
        return;
    }
    // The sample alias' tables are made on its first use; opening the alias by its name also
    // applies its settings (the code page of its tables that declare none).
    try {
        if (QString::compare(ComboBox1->currentText(), engine::kSampleAliasName, Qt::CaseInsensitive) == 0)
            OpenSessionDatabase(engine::kSampleAliasName);
        else
            engine_->OpenDatabase(ComboBox1->currentText().toStdString());
    } catch (const std::exception&) {
    }
}

void TForm1::SetWorkDir(const std::string& dir) {
    workDir_ = dir;
    StatusBar1->showMessage(QString(kWorkingDirectory) + QString::fromStdString(workDir_));
}

QString TForm1::StatusText() const {
    return StatusBar1->currentMessage();
}

void TForm1::tbbOpenClick() {
    TFileDialogRequest request;
    request.kind = TFileDialogRequest::Open;
    request.initialDir = QString::fromStdString(workDir_);
    request.fileName = openFileName_;
    request.filter = kSqlFilter;
    if (!QuerySaveChanges()) return;
    const auto chosen = ExecFileDialog(this, request);
    if (!chosen) return;
    OpenSqlFile(*chosen);
}

void TForm1::OpenSqlFile(const QString& path) {
    MemoPad->Lines().LoadFromFile(path.toStdString());
    MemoPad->SetModified(false);
    // The caption names the file only once it has loaded.
    openFileName_ = path;
    setWindowTitle(path);
}

void TForm1::OpenFromCommandLine(const QString& path) {
    const QFileInfo file(path);
    const QString suffix = file.suffix().toLower();
    if (suffix != "db" && suffix != "dbf") {
        OpenSqlFile(path);
        return;
    }
    if (!file.exists()) throw Exception("Cannot open the table " + path.toStdString() + ": there is no such file");
    // A table: its folder is the database for this run, and its records are shown.
    const std::string dir = file.absolutePath().toStdString();
    Query1.Close();
    Table1.Close();
    Query1.SetDatabaseName(dir);
    SQLScript1.SetDatabaseName(dir);
    Table1.SetDatabaseName(dir);
    SetWorkDir(dir);
    ComboBox1->blockSignals(true);
    ComboBox1->setEditText(file.absolutePath());
    ComboBox1->blockSignals(false);
    MemoPad->ReplaceAllText("SELECT *\r\nFROM \"" + file.fileName().toStdString() + "\"");
    tbbExecuteClick();
    TabbedNotebook1->setCurrentIndex(1);  // the records
}

void TForm1::tbbSaveClick() {
    if (openFileName_.isEmpty()) {
        SaveSqlFile();
        return;
    }
    RunGuarded([this] {
        MemoPad->Lines().SaveToFile(openFileName_.toStdString());
        MemoPad->SetModified(false);
    });
}

void TForm1::SaveAsClick() {
    SaveSqlFile();
}

bool TForm1::SaveSqlFile() {
    TFileDialogRequest request;
    request.kind = TFileDialogRequest::Save;
    request.initialDir = QString::fromStdString(workDir_);
    request.defaultExt = "SQL";
    request.filter = kSqlFilter;
    request.overwritePrompt = true;
    const auto chosen = ExecFileDialog(this, request);
    if (!chosen) return false;
    MemoPad->Lines().SaveToFile(chosen->toStdString());
    MemoPad->SetModified(false);
    openFileName_ = *chosen;
    setWindowTitle(*chosen);
    return true;
}

bool TForm1::QuerySaveChanges() {
    if (!MemoPad->IsModified()) return true;
    TSaveAnswer answer;
    if (setup_.askSaveChanges) {
        answer = setup_.askSaveChanges();
    } else {
        const auto button =
            QMessageBox::question(this, "Tessel", "The SQL text has changed. Save it first?",
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        answer = button == QMessageBox::Yes  ? TSaveAnswer::Yes
                 : button == QMessageBox::No ? TSaveAnswer::No
                                             : TSaveAnswer::Cancel;
    }
    switch (answer) {
        case TSaveAnswer::Yes: {
            bool saved = false;
            RunGuarded([&] { saved = SaveSqlFile(); });
            return saved;
        }
        case TSaveAnswer::No:
            return true;
        case TSaveAnswer::Cancel:
            return false;
    }
    return false;
}

void TForm1::tbbCloseClick() {
    close();
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::btnHelpClick() {
    dbRichEdit11->OpenEditorWindow();
}

void TForm1::About1Click() {
    dlgAbout->Execute(this);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!QuerySaveChanges()) {
        event->ignore();
        return;
    }
    FormCloseQuery();
    event->accept();
}

void TForm1::FormCloseQuery() {
    // A settings file that cannot be written is reported, and the window closes all the same.
    RunGuarded([this] { SaveSettings(); });
}

void TForm1::LoadSettings() {
    THourglass hourglass;
    const TGeneratorOptions options = ReadGeneratorOptions(settingsFile_);
    chkQf->setChecked(options.quoteFields);
    chkFileX->setChecked(options.fileExtensions);
    chkFileN->setChecked(options.fileNames);
}

void TForm1::SaveSettings() {
    THourglass hourglass;
    WriteGeneratorOptions(settingsFile_, {chkQf->isChecked(), chkFileX->isChecked(), chkFileN->isChecked()});
}

}  // namespace tessel
