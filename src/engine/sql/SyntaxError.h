#pragma once

// Syntax errors of the local SQL dialect.

#include <string>

#include "base/EngineError.h"
#include "engine/sql/Ast.h"

namespace tessel::engine::sql {

// A statement the parser refuses. The message follows the dialect's familiar three-line form
//   Invalid use of keyword
//   Token: Date
//   Line Number: 1
// and the parts stay available for an editor that wants to put the cursor on the token.
class SyntaxError : public EngineError {
public:
    SyntaxError(const std::string& headline, const std::string& token, const SourcePos& pos,
                int code = errc::kSqlSyntax)
        : EngineError(Compose(headline, token, pos), code), headline_(headline), token_(token), pos_(pos) {
        SetSpot({pos.line, pos.column, pos.offset, token.size()});
    }

    const std::string& Headline() const { return headline_; }
    const std::string& Token() const { return token_; }
    const SourcePos& Pos() const { return pos_; }

private:
    static std::string Compose(const std::string& headline, const std::string& token, const SourcePos& pos) {
        return headline + "\nToken: " + token + "\nLine Number: " + std::to_string(pos.line);
    }

    std::string headline_;
    std::string token_;
    SourcePos pos_;
};

}  // namespace tessel::engine::sql
