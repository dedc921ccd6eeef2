// The window's commands that put SQL into the editor and send SQL and answers to the engine:
// the sample statements, "Run SQL query", "Save Answer to disk" and "Table to SQL".

#include "app/MainWindow.h"
#include "app/RunSql.h"

#include <algorithm>
#include <chrono>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QStatusBar>
#include <QTabWidget>

#include "base/AsciiText.h"
#include "base/FileUtil.h"
#include "base/TextEncoding.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/Csv.h"
#include "engine/Engine.h"
#include "engine/sql/Parser.h"
#include "framework/widgets/FileDialogs.h"
#include "grid/DbGrid.h"
#include "script/SQLScript.h"
#include "sqlgen/TableTool.h"
#include "toolbars/ToolbarButton.h"

namespace tessel {

namespace {

constexpr const char* kTablesFilter = "Tables (*.DB)|*.DB;*.DBF";
constexpr const char* kAnswerFilter = "Tables (*.DB)|*.DB;*.DBF|CSV text (*.CSV)|*.CSV";

bool IsCsvPath(const QString& path) {
    return path.endsWith(".csv", Qt::CaseInsensitive);
}

// The editor's text that has exactly these lines.
std::string JoinLines(const TStrings& lines) {
    std::string text;
    for (int i = 0; i < lines.Count(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines.Get(i);
    }
    return text;
}

}  // namespace

// The stored documents of the holders dbRichEdit1 to dbRichEdit11, in that order.
extern const std::string_view kSampleDocuments[];
extern const int kSampleDocumentCount;

std::string_view TForm1::StoredDocument(int holder) {
    return holder >= 1 && holder <= kSampleDocumentCount ? kSampleDocuments[holder - 1] : std::string_view();
}

std::vector<std::string> TForm1::SampleLines(int holder) const {
    const TDbRichEdit* h = Holder(holder);
    return h ? h->Lines() : std::vector<std::string>();
}

void TForm1::ComboBox2Change() {
    static const char* const kSampleNames[] = {"Add Columns",  "Add Index",  "Blank out a Column", "Create Table",
                                               "Drop Columns", "Drop Index", "Drop Table",         "Empty Table",
                                               "SELECT",       "SELECT *"};
    const std::string text = ComboBox2->currentText().toStdString();
    for (int i = 0; i < 10; ++i) {
        if (text != kSampleNames[i]) continue;
        TStringList lines;
        for (const std::string& line : SampleLines(i + 1)) lines.Add(line);
        MemoPad->ReplaceAllText(JoinLines(lines));
        return;
    }
}

void TForm1::tbbExecuteClick() {
    RunLines(MemoPad->Lines());
}

void TForm1::RunSelectionClick() {
    if (!MemoPad->HasSelection()) return;
    // The selected text at its place: blank lines above it and blanks before it on its first
    // line, so that lines and columns of a failure are those of the editor.
    const TBufferCoord start = MemoPad->SelStartPos();
    const bool column = MemoPad->SelectionMode() == smColumn;
    const int left = column ? std::min(MemoPad->SelAnchor().Column, MemoPad->SelActive().Column) : start.Column;
    TStringList selected;
    selected.SetText(MemoPad->SelectedText());
    TStringList lines;
    for (int i = 1; i < start.Line; ++i) lines.Add(std::string());
    for (int i = 0; i < selected.Count(); ++i) {
        const bool indent = column || i == 0;
        lines.Add((indent ? std::string(static_cast<size_t>(left - 1), ' ') : std::string()) + selected.Get(i));
    }
    RunLines(lines);
}

bool TForm1::StoppedByUser(const std::exception& e) const {
    return stopRequested_ && std::string_view(e.what()).find("Operation cancelled") != std::string_view::npos;
}

void TForm1::RunLines(const TStrings& lines) {
    std::string text;
    for (const std::string& line : StripComments(lines)) text += line + "\r\n";
    // The whole text is one run: Stop ends it, statements and all.
    engine::RunningGuard run(*engine_);
    stopRequested_ = false;
    const auto started = std::chrono::steady_clock::now();
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    if (!IsQueryText(text)) {
        // The whole text is one entry; the runner cuts it into its statements.
        SQLScript1.SQL().Clear();
        SQLScript1.SQL().Add(text);
        const std::string total = GroupThousands(static_cast<int64_t>(engine::sql::SplitScript(text).size()));
        SQLScript1.BeforeStatement = [this, total](TSQLScript&, int statement) {
            engine_->SetActivity("Running statement " + GroupThousands(statement) + " of " + total);
        };
        try {
            SQLScript1.Execute();
        } catch (const EDatabaseError& e) {
            const TScriptFailure& failure = SQLScript1.LastFailure();
            if (failure.statement == 0) throw;
            if (StoppedByUser(e)) {
                // Asked for: no error, the statements that ran stay, the status says where.
                StatusBar1->showMessage(QString::fromStdString(
                    ScriptSummary(SQLScript1.StatementsRun(), SQLScript1.RowsAffected(), seconds()) +
                    "; stopped at statement " + GroupThousands(failure.statement)));
                return;
            }
            StatusBar1->showMessage(
                QString::fromStdString(ScriptSummary(SQLScript1.StatementsRun(), SQLScript1.RowsAffected(), seconds()) +
                                       "; statement " + std::to_string(failure.statement) + " failed"));
            const bool pointed = failure.token.line > 0;
            if (pointed)
                ShowErrorPlace(failure.token.line, failure.token.column, failure.tokenLength);
            else
                ShowErrorPlace(failure.start.line, failure.start.column, 0);
            const std::string message =
                "Statement " + std::to_string(failure.statement) + " (line " + std::to_string(failure.start.line) +
                "): " + (pointed ? WithLineNumber(failure.message, failure.token.line) : failure.message);
            if (const auto* engineError = dynamic_cast<const EDBEngineError*>(&e))
                throw EDBEngineError(message, engineError->Entries(), engineError->Spot());
            throw EDatabaseError(message);
        }
        StatusBar1->showMessage(
            QString::fromStdString(ScriptSummary(SQLScript1.StatementsRun(), SQLScript1.RowsAffected(), seconds())));
        return;
    }
    Query1.Close();
    Query1.SQL().Clear();
    Query1.SQL().Add(text);
    engine_->SetActivity("Running the query");
    try {
        Query1.Open();
    } catch (const EDBEngineError& e) {
        if (StoppedByUser(e)) {
            StatusBar1->showMessage(QString("Query stopped after %1 s").arg(seconds(), 0, 'f', 2));
            return;
        }
        // The text is the editor's, line for line: the spot is a place in the editor.
        const engine::TextSpot& spot = e.Spot();
        if (spot.line > 0) {
            const std::string_view token =
                std::string_view(text).substr(std::min(spot.offset, text.size()), spot.length);
            ShowErrorPlace(spot.line, spot.column, static_cast<int>(Utf8Length(token)));
        }
        throw;
    }
    answerStarted_ = started;
    // A memo of a live answer is edited in its window; any other is only shown.
    TDbMemoAttributes memo{mSizeable, mWordWrap, mGridShow};
    if (!Query1.CanModify()) memo.Include(mViewOnly);
    dbGrid1->SetMemoAttributes(memo);
    tbbSave1->setEnabled(Query1.KnownRecordCount() != 0);
    if (Query1.IsCountComplete()) {
        ShowAnswerSummary();
    } else {
        StatusBar1->showMessage(QString::fromStdString(AnswerProgress(Query1.KnownRecordCount())));
        answerFeed_.start(0);
    }
}

void TForm1::FeedAnswer() {
    if (!Query1.Active() || Query1.IsCountComplete()) {
        answerFeed_.stop();
        return;
    }
    // Slices of about 30 ms keep keys and paints answered while a long answer comes in.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
    bool complete = false;
    try {
        do complete = Query1.FetchMore(2048);
        while (!complete && std::chrono::steady_clock::now() < until);
    } catch (...) {
        answerFeed_.stop();
        StatusBar1->showMessage(QString::fromStdString(AnswerProgress(Query1.KnownRecordCount()) + ", cut short"));
        throw;
    }
    if (complete) {
        answerFeed_.stop();
        ShowAnswerSummary();
    } else {
        StatusBar1->showMessage(QString::fromStdString(AnswerProgress(Query1.KnownRecordCount())));
    }
}

void TForm1::ShowAnswerSummary() {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - answerStarted_).count();
    tbbSave1->setEnabled(Query1.KnownRecordCount() != 0);
    StatusBar1->showMessage(QString::fromStdString(QuerySummary(Query1.KnownRecordCount(), seconds)));
}

void TForm1::ShowErrorPlace(int line, int column, int length) {
    if (line < 1 || line > MemoPad->Lines().Count()) return;
    const TBufferCoord from{std::max(1, column), line};
    const TBufferCoord to{from.Column + std::max(0, length), line};
    TabbedNotebook1->setCurrentIndex(0);
    MemoPad->SetCaretAndSelect(to, from, to);
    MemoPad->setFocus();
}

void TForm1::tbbSave1Click() {
    TFileDialogRequest request;
    request.kind = TFileDialogRequest::Save;
    request.initialDir = QString::fromStdString(workDir_);
    request.defaultExt = "DB";
    request.filter = kAnswerFilter;
    request.overwritePrompt = true;
    const auto chosen = ExecFileDialog(this, request);
    if (!chosen) return;
    engine::RunningGuard run(*engine_);  // one run, stoppable
    if (IsCsvPath(*chosen)) {
        SaveAnswerAsCsv(chosen->toStdString());
    } else {
        // The full path decides the place; the database name stays as it is.
        Table1.Close();
        Table1.SetTableName(chosen->toStdString());
        BatchMove1.Execute();
    }
    setWindowTitle(*chosen);
}

void TForm1::SaveAnswerAsCsv(const std::string& path) {
    if (!Query1.Active()) Query1.Open();
    TDataCursor& answer = *Query1.Cursor();
    // Written under a temporary name and renamed into place: a failure leaves any file of
    // that name as it was.
    TAtomicFile file(path);
    file.Write(engine::CsvHeader(answer.Fields()));
    engine::Record record;
    std::string block;
    const int64_t count = answer.RecordCount();
    for (int64_t n = 0; n < count; ++n) {
        if ((n & 0xFFF) == 0) {
            engine_->SetCopyProgress(n, count);
            engine_->CheckCancelled();
        }
        answer.ReadRecord(n, record);
        block += engine::CsvRecord(record);
        if (block.size() >= (1 << 16)) {
            file.Write(block);
            block.clear();
        }
    }
    file.Write(block);
    file.Commit();
}

void TForm1::tbbDB2SQLClick() {
    TFileDialogRequest request;
    request.kind = TFileDialogRequest::Open;
    request.initialDir = QString::fromStdString(workDir_);
    request.filter = kTablesFilter;
    const auto chosen = ExecFileDialog(this, request);
    if (!chosen) return;
    const QFileInfo file(*chosen);
    Table1.Close();
    Table1.SetDatabaseName((file.absolutePath() + "/").toStdString());
    Table1.SetTableName(file.fileName().toStdString());
    Table1.Open();
    TStringList lines;
    try {
        TTableTool tool(this);
        if (!chkQf->isChecked()) tool.SetQuoteFields(false);
        if (!chkFileN->isChecked()) tool.SetShowTable(false);
        if (!chkFileX->isChecked()) {
            tool.SetShowExt(false);
            tool.SetQuoteTables(false);
        }
        tool.SetTable(&Table1);
        lines.Assign(tool.SQL());
    } catch (...) {
        // A failed generation leaves no table open behind it.
        Table1.Close();
        throw;
    }
    // One edit, so one undo brings the former text back.
    MemoPad->ReplaceAllText(JoinLines(lines));
    Table1.Close();
}

}  // namespace tessel
