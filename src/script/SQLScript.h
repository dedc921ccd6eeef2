#pragma once

// The SQL script runner: cuts its lines into statements and runs them one after the other
// against one database, optionally inside one transaction. A statement ends at a ";" outside
// quoted text and comments, or at a line holding only the terminator character `Term`.
// Parameters (":name") of the statements take their values from the runner's own Params;
// macros ("%name") that were never given a value stand for "0=0".

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/data/DbError.h"
#include "framework/data/Params.h"
#include "framework/data/Query.h"
#include "script/MacroQuery.h"

namespace tessel::engine {
class Database;
}

namespace tessel {

// What follows a failing statement.
enum class TScriptAction {
    scaFail,      // raise the error again
    scaAbort,     // end the run with a silent abort
    scaRetry,     // run the same statement again
    scaIgnore,    // go on with the next statement
    scaContinue,  // show the error through the application's handler, then go on
};

class TSQLScript;
using TScriptErrorEvent =
    std::function<void(TSQLScript& sender, EDatabaseError& e, int lineNo, int statementNo, TScriptAction& action)>;
using TScriptNotifyEvent = std::function<void(TSQLScript& sender)>;

// A place in a script's text: line and column from 1, counting the line breaks inside its
// lines as well (the window hands its whole text over as one line).
struct TScriptPlace {
    int line = 0;
    int column = 0;
};

// What the last failing statement of a run was and where it stands in the script.
struct TScriptFailure {
    int statement = 0;   // from 1, among the statements with text; 0: no failure
    TScriptPlace start;  // where the statement begins
    // Where the failure points (a syntax error's token) and the token's length in characters;
    // line 0 when it points nowhere.
    TScriptPlace token;
    int tokenLength = 0;
    std::string message;  // the failure's own message, before the runner's "Error on line"
};

class TSQLScript {
public:
    TSQLScript();
    virtual ~TSQLScript();
    TSQLScript(const TSQLScript&) = delete;
    TSQLScript& operator=(const TSQLScript&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    const std::string& DatabaseName() const { return query_->DatabaseName(); }
    void SetDatabaseName(const std::string& name);
    const std::string& SessionName() const { return sessionName_; }
    void SetSessionName(const std::string& name) { sessionName_ = name; }
    bool IgnoreParams() const { return ignoreParams_; }
    void SetIgnoreParams(bool v) { ignoreParams_ = v; }
    bool SemicolonTerm() const { return semicolonTerm_; }
    void SetSemicolonTerm(bool v) { semicolonTerm_ = v; }
    char Term() const { return term_; }
    void SetTerm(char c) { term_ = c; }
    bool Transaction() const { return transaction_; }
    void SetTransaction(bool v) { transaction_ = v; }

    // The script's lines; every change rebuilds Params (values of names that stay are kept).
    TStrings& SQL() { return sql_; }
    const TStrings& SQL() const { return sql_; }
    // Copies the lines and rebuilds Params once.
    void SetSQL(const TStrings& lines);

    TParams& Params() { return params_; }
    const TParams& Params() const { return params_; }
    // Copies the values of the given parameters into the same-named entries.
    void SetParams(const TParams& params);
    TParam& ParamByName(const std::string& name) { return params_.ParamByName(name); }

    // The statement query that runs each statement (its macros can be given values).
    TMacroQuery& StatementQuery() { return *query_; }

    TScriptNotifyEvent BeforeExec, AfterExec;
    // Before each statement runs, with its number (from 1).
    std::function<void(TSQLScript& sender, int statement)> BeforeStatement;
    TScriptErrorEvent OnScriptError;

    // Runs every statement of the script.
    void Execute() { ExecuteStatement(-1); }
    // Runs statement `n` (counted from 0 among the statements that have text), or all of them
    // when n < 0.
    void ExecuteStatement(int n);

    // Of the last run: the statements carried out, the records they changed, and the failure
    // that ended it (statement 0 when none did).
    int StatementsRun() const { return statementsRun_; }
    int64_t RowsAffected() const { return rowsAffected_; }
    const TScriptFailure& LastFailure() const { return failure_; }

protected:
    virtual void RunScript(int n);

private:
    void RunStatement(int lineNo, int statementNo);
    void NoteFailure(const std::exception& e, int statementNo);
    void RebuildParams();

    std::string name_;
    std::string sessionName_;
    bool ignoreParams_ = false;
    bool semicolonTerm_ = true;
    char term_ = '/';
    bool transaction_ = false;
    TNotifyStringList sql_;
    TParams params_;
    std::unique_ptr<TMacroQuery> query_;
    engine::Database* database_ = nullptr;  // held during a run
    // Where each line of the running statement begins in the script.
    std::vector<TScriptPlace> places_;
    int statementsRun_ = 0;
    int64_t rowsAffected_ = 0;
    TScriptFailure failure_;
};

namespace script {

// Where a statement of a script ends: the position of the first ";" in `line` outside quoted
// text, "/* */" comments and "--" line comments, or npos (always npos when `semicolons` is false, which only
// follows the quotes and comments). `state` carries an open quote or comment from one line
// of a statement to the next; it is normal again after a ";" was found.
struct ScanState {
    char quote = 0;
    bool comment = false;
    bool Normal() const { return quote == 0 && !comment; }
};
size_t FindTerminator(const std::string& line, ScanState& state, bool semicolons = true);

}  // namespace script

}  // namespace tessel
