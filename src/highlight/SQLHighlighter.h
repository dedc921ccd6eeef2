#pragma once

// The SQL highlighter.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/StringList.h"
#include "highlight/Highlighter.h"
#include "highlight/SQLKeywordTables.h"

namespace tessel {

// Line states of the SQL highlighter: nothing open, inside a block comment, inside a
// single-quoted string.
enum TSQLLineState : intptr_t { lsNormal = 0, lsComment = 1, lsString = 2 };

// The table names the SQL highlighter marks as skTableName. Every change (one line added,
// changed or removed, or a whole assignment inside one update bracket) reports once.
class TSQLTableNames : public TStringList {
public:
    explicit TSQLTableNames(std::function<void()> onChanged) : onChanged_(std::move(onChanged)) {}

    void Put(int index, const std::string& s) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;
    int Add(const std::string& s) override;

protected:
    void SetUpdateState(bool updating) override;

private:
    std::function<void()> onChanged_;
};

// The SQL highlighter: eight dialects, seventeen token kinds, per-line states for block comments
// and single-quoted strings spanning lines.
//
// Text is UTF-8. Word characters are the ASCII ones of the dialect's table; every character
// from U+0080 on (all bytes of its UTF-8 form) is one skUnknown token outside strings and
// comments, and ends a word, even where IdentifierChars (which is meant for the editor's word
// boundaries) lists the Latin-1 letters.
class TSQLHighlighter : public TCustomHighlighter {
public:
    TSQLHighlighter();
    ~TSQLHighlighter() override;

    static const THighlighterClass HighlighterClass;

    const char* ClassName() const override { return "TSQLHighlighter"; }
    // The framework's assignment, then the source's dialect when it is an SQL highlighter.
    // TableNames are not copied.
    void Assign(const TAssignable& source) override;

    THighlighterAttributes* StandardAttribute(int role) const override;
    TCharSet IdentifierChars() const override;
    std::string SampleText() const override;
    std::string LanguageTitle() const override { return "SQL"; }
    bool IsReservedWord(std::string_view text) const override;

    // --- token iteration ---------------------------------------------------------------------
    using TCustomHighlighter::StartLine;
    void StartLine(std::string_view text, int lineIndex) override;
    void Advance() override;
    bool AtLineEnd() const override { return kind_ == skLineEnd; }
    TLineState LineState() const override;
    void SetLineState(TLineState value) override;
    void ResetLineState() override;
    std::string TokenText() const override { return std::string(TokenChars()); }
    THighlighterAttributes* TokenStyle() const override { return kindAttributes_[kind_]; }
    int TokenKindCode() const override { return kind_; }
    int TokenStart() const override { return static_cast<int>(ascii_ ? tokenStart_ : tokenCharStart_); }

    // The token's bytes, without copying; valid until the next StartLine.
    std::string_view TokenChars() const { return line_.substr(tokenStart_, pos_ - tokenStart_); }
    // Length of the token in characters.
    int TokenLength() const;
    TSQLTokenKind TokenKind() const { return kind_; }
    int LineIndex() const { return lineIndex_; }

    // --- properties --------------------------------------------------------------------------
    TSQLDialect SQLDialect() const { return dialect_; }
    // A different dialect reloads the word lists and notifies the change handlers.
    void SetSQLDialect(TSQLDialect value);
    TSQLTableNames& TableNames() { return tableNames_; }
    const TSQLTableNames& TableNames() const { return tableNames_; }
    void SetTableNames(const TStrings& names) { tableNames_.Assign(names); }

    // Rebuilds the word table for the dialect and the table names, then notifies.
    void LoadWordLists();
    const TSQLKeywordTable& Keywords() const { return keywords_; }

    THighlighterAttributes* CommentAttri() const { return comment_; }
    THighlighterAttributes* DataTypeAttri() const { return dataType_; }
    THighlighterAttributes* DefaultPackageAttri() const { return defaultPackage_; }
    THighlighterAttributes* ExceptionAttri() const { return exception_; }
    THighlighterAttributes* FunctionAttri() const { return function_; }
    THighlighterAttributes* IdentifierAttri() const { return identifier_; }
    THighlighterAttributes* KeyAttri() const { return key_; }
    THighlighterAttributes* NumberAttri() const { return number_; }
    THighlighterAttributes* PLSQLAttri() const { return plsql_; }
    THighlighterAttributes* SpaceAttri() const { return space_; }
    THighlighterAttributes* SQLPlusAttri() const { return sqlPlus_; }
    THighlighterAttributes* StringAttri() const { return string_; }
    THighlighterAttributes* SymbolAttri() const { return symbol_; }
    THighlighterAttributes* TableNameAttri() const { return tableName_; }
    THighlighterAttributes* VariableAttri() const { return variable_; }

private:
    using Routine = void (TSQLHighlighter::*)();

    // The byte at `p`, or 0 at and beyond the end of the line.
    unsigned char At(size_t p) const { return p < line_.size() ? static_cast<unsigned char>(line_[p]) : 0; }
    void RestOfLine();

    void LineEndProc();
    void SpaceProc();
    void LFProc();
    void CRProc();
    void WordProc();
    void NumberProc();
    void StringProc();
    void DoubleQuoteProc();
    void MinusProc();
    void SlashProc();
    void LowerProc();
    void EqualGreaterProc();
    void EqualFollowsProc();
    void AndProc();
    void OrProc();
    void PlusProc();
    void VariableProc();
    void HashProc();
    void UnknownProc();
    void SymbolProc();
    void CommentProc();
    static const std::array<Routine, 256>& Dispatch();

    THighlighterAttributes* AddSQLAttribute(const char* name, TFontStyles style);

    // The line being scanned: a view of the caller's text, cut at its first NUL.
    std::string_view line_;
    int lineIndex_ = 0;
    size_t pos_ = 0;
    size_t tokenStart_ = 0;
    size_t tokenCharStart_ = 0;  // the token start in characters, kept on non-ASCII lines only
    bool ascii_ = true;
    TSQLTokenKind kind_ = skLineEnd;
    TSQLLineState state_ = lsNormal;
    // Set by the empty token a MySQL '#' line starts with; the next token is the whole line.
    bool hashLinePending_ = false;

    TSQLDialect dialect_ = sqlStandard;
    const TSQLCharTables* tables_;
    TSQLKeywordTable keywords_;
    TSQLTableNames tableNames_;

    THighlighterAttributes* comment_;
    THighlighterAttributes* dataType_;
    THighlighterAttributes* defaultPackage_;
    THighlighterAttributes* exception_;
    THighlighterAttributes* function_;
    THighlighterAttributes* identifier_;
    THighlighterAttributes* key_;
    THighlighterAttributes* number_;
    THighlighterAttributes* plsql_;
    THighlighterAttributes* space_;
    THighlighterAttributes* sqlPlus_;
    THighlighterAttributes* string_;
    THighlighterAttributes* symbol_;
    THighlighterAttributes* tableName_;
    THighlighterAttributes* variable_;
    std::array<THighlighterAttributes*, SQLTokenKindCount> kindAttributes_{};
};

}  // namespace tessel
