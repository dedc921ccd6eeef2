// The window's commands that put SQL into the editor and send SQL and answers to the engine:
// the sample statements, "Run SQL query", "Save Answer to disk" and "Table to SQL".

#include "app/MainWindow.h"
#include "app/RunSql.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>

#include "editor/widget/CustomCodeEdit.h"
#include "framework/widgets/FileDialogs.h"
#include "richtext/RtfReader.h"
#include "sqlgen/TableTool.h"
#include "toolbars/ToolbarButton.h"

namespace tessel {

namespace {

constexpr const char* kTablesFilter = "Tables (*.DB)|*.DB;*.DBF";

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

std::vector<std::string> TForm1::SampleLines(int holder) {
    if (holder < 1 || holder > kSampleDocumentCount) return {};
    return RtfPlainLines(StoredRtf(kSampleDocuments[holder - 1]));
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
    std::string text;
    for (const std::string& line : StripComments(MemoPad->Lines())) text += line + "\r\n";
    if (!IsQueryText(text)) {
        // The whole text is one entry; the runner cuts it into its statements.
        SQLScript1.SQL().Clear();
        SQLScript1.SQL().Add(text);
        SQLScript1.Execute();
        return;
    }
    Query1.Close();
    Query1.SQL().Clear();
    Query1.SQL().Add(text);
    Query1.Open();
    tbbSave1->setEnabled(Query1.RecordCount() != 0);
}

void TForm1::tbbSave1Click() {
    TFileDialogRequest request;
    request.kind = TFileDialogRequest::Save;
    request.defaultExt = "DB";
    request.filter = kTablesFilter;
    request.overwritePrompt = true;
    const auto chosen = ExecFileDialog(this, request);
    if (!chosen) return;
    // The full path decides the place; the database name stays as it is.
    Table1.Close();
    Table1.SetTableName(chosen->toStdString());
    BatchMove1.Execute();
    setWindowTitle(*chosen);
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
