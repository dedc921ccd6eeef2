// The SQL script runner: statements one by one, with the failure handler.

#include "script/SQLScript.h"

#include <algorithm>

#include "base/AsciiText.h"
#include "base/ErrorHandler.h"
#include "base/TextEncoding.h"
#include "engine/Database.h"
#include "engine/sql/Lexer.h"
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
        } else if (c == '-' && i + 1 < n && line[i + 1] == '-') {
            // A line comment: nothing up to the line's end counts.
            while (i + 1 < n && line[i + 1] != '\n' && line[i + 1] != '\r') ++i;
        } else if (c == ';' && semicolons) {
            return i;
        }
    }
    return std::string::npos;
}

}  // namespace script

namespace {

// What RunStatement does after a failure the handler has seen.
enum class TAfterFailure { Done, Retry };

// The place just after `text` when it begins at `p`, counted as the engine counts positions.
TScriptPlace After(TScriptPlace p, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) engine::sql::StepOver(text, i, p.line, p.column);
    return p;
}

// `s` trimmed as TrimControls does, and the place where what is left begins.
std::string Trimmed(std::string_view s, TScriptPlace& place) {
    const std::string_view kept = TrimControls(s);
    if (!kept.empty()) place = After(place, s.substr(0, static_cast<size_t>(kept.data() - s.data())));
    return std::string(kept);
}

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
    // A server's statements go to the server one by one; transactions are the local engine's.
    database_ = IsServerDatabase(DatabaseName()) ? nullptr : &OpenSessionDatabase(DatabaseName());
    if (BeforeExec) BeforeExec(*this);
    RunScript(n);
    if (AfterExec) AfterExec(*this);
}

void TSQLScript::RunScript(int n) {
    engine::Database* db = database_;
    bool useTransaction = db && transaction_ && !db->InTransaction() && n < 0;
    if (useTransaction) {
        // The engine's transactions always read uncommitted changes of their own; a failure to
        // start one is dropped and the script runs without it.
        try {
            db->StartTransaction();
        } catch (const std::exception&) {
            useTransaction = false;
        }
    }
    statementsRun_ = 0;
    rowsAffected_ = 0;
    failure_ = {};
    try {
        const int count = sql_.Count();
        std::string pending;  // the text after a ";" that ended the previous statement
        TScriptPlace pendingPlace;
        TScriptPlace nextLine{1, 1};  // where line i of the script begins
        int i = 0;
        int k = 0;
        bool ran = false;
        // Every piece of text runs: the part after a ";" is itself cut at its ";" terminators,
        // and what is left after the last one when the lines run out is the last statement.
        while (i < count || !pending.empty()) {
            TStringList statement;
            places_.clear();
            script::ScanState state;
            for (;;) {
                std::string s;
                TScriptPlace place;
                if (!pending.empty()) {
                    s = std::move(pending);
                    place = pendingPlace;
                    pending.clear();
                } else if (i < count) {
                    const std::string line = sql_.Get(i);
                    place = nextLine;
                    nextLine = After(nextLine, line);
                    nextLine = {nextLine.line + 1, 1};
                    s = Trimmed(line, place);
                    ++i;
                } else {
                    break;
                }
                const bool outside = state.Normal();
                const size_t at = script::FindTerminator(s, state, semicolonTerm_);
                if (at != std::string::npos) {
                    pendingPlace = After(place, std::string_view(s).substr(0, at + 1));
                    pending = Trimmed(std::string_view(s).substr(at + 1), pendingPlace);
                    s.erase(at);
                    if (!s.empty()) {
                        statement.Add(s);
                        places_.push_back(place);
                    }
                    break;
                }
                if (outside && s.size() == 1 && s[0] == term_) break;
                if (!s.empty()) {
                    statement.Add(s);
                    places_.push_back(place);
                }
            }
            query_->SetSQL(statement);
            if (statement.Count() > 0) {
                if (n < 0 || n == k) {
                    if (BeforeStatement) BeforeStatement(*this, k + 1);
                    RunStatement(i - 1, k);
                    ran = true;
                }
                if (n == k) break;
                ++k;
            }
        }
        if (!ran) DatabaseError("List index out of bounds (" + std::to_string(n) + ")");
        if (useTransaction) db->Commit();
    } catch (...) {
        if (useTransaction) {
            try {
                db->Rollback();
            } catch (const std::exception&) {
                // The statement's own failure is the one to report.
            }
        }
        throw;
    }
}

void TSQLScript::NoteFailure(const std::exception& e, int statementNo) {
    failure_ = {};
    failure_.statement = statementNo + 1;
    failure_.message = e.what();
    if (places_.empty()) return;
    failure_.start = places_.front();
    const auto* engineError = dynamic_cast<const EDBEngineError*>(&e);
    if (engineError == nullptr || engineError->Spot().line == 0) return;
    // The statement's text is its lines, each followed by CR LF: find the line that holds the
    // spot and count from where that line begins in the script.
    const engine::TextSpot& spot = engineError->Spot();
    size_t begin = 0;
    for (int j = 0; j < query_->SQL().Count(); ++j) {
        const std::string line = query_->SQL().Get(j);
        const size_t end = begin + line.size() + 2;
        if (spot.offset < end || j + 1 == query_->SQL().Count()) {
            const size_t inside = std::min(spot.offset - std::min(spot.offset, begin), line.size());
            const TScriptPlace at =
                j < static_cast<int>(places_.size()) ? places_[static_cast<size_t>(j)] : places_.back();
            failure_.token = After(at, std::string_view(line).substr(0, inside));
            failure_.tokenLength = static_cast<int>(Utf8Length(std::string_view(line).substr(inside, spot.length)));
            return;
        }
        begin = end;
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
                if (!database_) {
                    // A server's statement, as written.
                    query_->ExecSQL();
                    rowsAffected_ += std::max<int64_t>(0, query_->RowsAffected());
                } else if (ignoreParams_) {
                    EngineCall([&] { return database_->ExecuteDirect(query_->Text()); });
                } else {
                    if (query_->MacroCount() > 0) query_->ApplyMacros();
                    for (int p = 0; p < query_->ParamCount(); ++p) {
                        TParam& param = query_->Params()[p];
                        param.AssignValue(params_.ParamByName(param.Name()));
                    }
                    query_->ExecSQL();
                    rowsAffected_ += std::max<int64_t>(0, query_->RowsAffected());
                }
                ++statementsRun_;
                return;
            } catch (const EDBEngineError& e) {
                NoteFailure(e, statementNo);
                EDBEngineError failure(e);
                failure.AddEntry({0, lineNo, where});
                throw failure;
            } catch (const EDatabaseError& e) {
                NoteFailure(e, statementNo);
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
