// The SQL script runner: statements one by one, with the failure handler.

#include "script/SQLScript.h"

#include "base/AsciiText.h"
#include "base/ErrorHandler.h"
#include "engine/Database.h"
#include "framework/data/Session.h"

namespace tessel {

namespace script {

size_t FindTerminator(const std::string& line, ScanState& state, bool semicolons) {
    const size_t n = line.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = line[i];
        if (state.comment) {
            if (c == '*' && i + 1 < n && line[i + 1] == '/') {
                state.comment = false;
                ++i;
            }
        } else if (state.quote) {
            // A doubled quote closes and reopens: the state comes out right either way.
            if (c == state.quote) state.quote = 0;
        } else if (c == '\'' || c == '"') {
            state.quote = c;
        } else if (c == '/' && i + 1 < n && line[i + 1] == '*') {
            state.comment = true;
            ++i;
        } else if (c == ';' && semicolons) {
            return i;
        }
    }
    return std::string::npos;
}

}  // namespace script

namespace {

// Removes leading and trailing characters with codes 0 to 32.
// What RunStatement does after a failure the handler has seen.
enum class TAfterFailure { Done, Retry };

}  // namespace

TSQLScript::TSQLScript() : query_(std::make_unique<TMacroQuery>()) {
    sql_.OnChange = [this] { RebuildParams(); };
}

TSQLScript::~TSQLScript() {
    sql_.OnChange = nullptr;
}

void TSQLScript::SetDatabaseName(const std::string& name) {
    query_->Close();
    query_->SetDatabaseName(name);
}

void TSQLScript::SetSQL(const TStrings& lines) {
    auto hook = std::move(sql_.OnChange);
    sql_.OnChange = nullptr;
    sql_.Assign(lines);
    sql_.OnChange = std::move(hook);
    RebuildParams();
}

void TSQLScript::SetParams(const TParams& params) {
    params_.AssignValues(params);
}

void TSQLScript::RebuildParams() {
    TParams rebuilt;
    ScanMarkers(sql_.Text(), ':', "", TScanMode::Params, rebuilt);
    rebuilt.AssignValues(params_);
    params_ = std::move(rebuilt);
}

void TSQLScript::ExecuteStatement(int n) {
    if (sql_.Count() == 0) DatabaseError(dbmsg::kNoSql);
    // The hold on the database lasts for this run only.
    struct Hold {
        engine::Database*& held;
        ~Hold() { held = nullptr; }
    } hold{database_};
    database_ = &OpenSessionDatabase(DatabaseName());
    if (!database_) DatabaseError("Cannot perform this operation on a closed database");
    if (BeforeExec) BeforeExec(*this);
    RunScript(n);
    if (AfterExec) AfterExec(*this);
}

void TSQLScript::RunScript(int n) {
    engine::Database& db = *database_;
    bool useTransaction = transaction_ && !db.InTransaction() && n < 0;
    if (useTransaction) {
        // The engine's transactions always read uncommitted changes of their own; a failure to
        // start one is dropped and the script runs without it.
        try {
            db.StartTransaction();
        } catch (const std::exception&) {
            useTransaction = false;
        }
    }
    try {
        const int count = sql_.Count();
        std::string pending;  // the text after a ";" that ended the previous statement
        int i = 0;
        int k = 0;
        bool ran = false;
        // Every piece of text runs: the part after a ";" is itself cut at its ";" terminators,
        // and what is left after the last one when the lines run out is the last statement.
        while (i < count || !pending.empty()) {
            TStringList statement;
            script::ScanState state;
            for (;;) {
                std::string s;
                if (!pending.empty()) {
                    s = std::move(pending);
                    pending.clear();
                } else if (i < count) {
                    s = TrimControls(sql_.Get(i));
                    ++i;
                } else {
                    break;
                }
                const bool outside = state.Normal();
                const size_t at = script::FindTerminator(s, state, semicolonTerm_);
                if (at != std::string::npos) {
                    pending = TrimControls(s.substr(at + 1));
                    s.erase(at);
                    if (!s.empty()) statement.Add(s);
                    break;
                }
                if (outside && s.size() == 1 && s[0] == term_) break;
                if (!s.empty()) statement.Add(s);
            }
            query_->SetSQL(statement);
            if (statement.Count() > 0) {
                if (n < 0 || n == k) {
                    RunStatement(i - 1, k);
                    ran = true;
                }
                if (n == k) break;
                ++k;
            }
        }
        if (!ran) DatabaseError("List index out of bounds (" + std::to_string(n) + ")");
        if (useTransaction) db.Commit();
    } catch (...) {
        if (useTransaction) {
            try {
                db.Rollback();
            } catch (const std::exception&) {
                // The statement's own failure is the one to report.
            }
        }
        throw;
    }
}

void TSQLScript::RunStatement(int lineNo, int statementNo) {
    const std::string where = "Error on line " + std::to_string(lineNo);
    // Gives the failure to the handler and carries out its decision.
    auto decide = [&](EDatabaseError& e) {
        TScriptAction action = TScriptAction::scaFail;
        if (OnScriptError) OnScriptError(*this, e, lineNo, statementNo, action);
        switch (action) {
            case TScriptAction::scaFail:
                throw;  // rethrown by the caller below
            case TScriptAction::scaAbort:
                Abort();
            case TScriptAction::scaContinue:
                HandleException(std::current_exception());
                return TAfterFailure::Done;
            case TScriptAction::scaIgnore:
                return TAfterFailure::Done;
            case TScriptAction::scaRetry:
                return TAfterFailure::Retry;
        }
        return TAfterFailure::Done;
    };
    for (;;) {
        try {
            try {
                if (ignoreParams_) {
                    EngineCall([&] { return database_->ExecuteDirect(query_->Text()); });
                } else {
                    if (query_->MacroCount() > 0) query_->ApplyMacros();
                    for (int p = 0; p < query_->ParamCount(); ++p) {
                        TParam& param = query_->Params()[p];
                        param.AssignValue(params_.ParamByName(param.Name()));
                    }
                    query_->ExecSQL();
                }
                return;
            } catch (const EDBEngineError& e) {
                EDBEngineError failure(e);
                failure.AddEntry({0, lineNo, where});
                throw failure;
            } catch (const EDatabaseError& e) {
                std::string message = e.what();
                if (!message.empty()) message += ". ";
                throw EDatabaseError(message + where);
            }
        } catch (EDatabaseError& e) {
            if (decide(e) == TAfterFailure::Done) return;
        }
    }
}

}  // namespace tessel
