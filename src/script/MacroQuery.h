#pragma once

// A query whose statement is a pattern with macros: "%name" stands for a piece of SQL text
// that the program fills in (a condition, a table name). Macros never given a value stand for
// "0=0", so a pattern such as "DELETE FROM t WHERE %cond" always runs as valid SQL.

#include <string>

#include "framework/data/Params.h"
#include "framework/data/Query.h"

namespace tessel {

enum class TScanMode { Params, Macros };

// Walks `text` for names that follow `marker` outside quotes and adds the names not yet in
// `list` (macros as string entries with the value "0=0", parameters without type or kind).
// Returns the text with each marker and name replaced by "?"; two markers in a row stand for
// one literal marker. A name ends at a line end, a blank, ")", ",", ";" or one of
// `extraDelimiters`; a name may be quoted, and loses its quotes.
std::string ScanMarkers(const std::string& text, char marker, const std::string& extraDelimiters, TScanMode mode,
                        TParams& list);

class TMacroQuery : public TQuery {
public:
    TMacroQuery();
    ~TMacroQuery() override;

    // The pattern. Every change closes the query, rebuilds Macros and gives the data set the
    // pattern with the macros replaced.
    TStrings& SQL() { return pattern_; }
    const TStrings& SQL() const { return pattern_; }
    void SetSQL(const TStrings& lines) { pattern_.Assign(lines); }

    char MacroChar() const { return macroChar_; }
    void SetMacroChar(char c);
    TParams& Macros() { return macros_; }
    int MacroCount() const { return macros_.Count(); }
    TParam& MacroByName(const std::string& name) { return macros_.ParamByName(name); }

    // Gives the data set the pattern with the current macro values.
    void ApplyMacros();

private:
    void PatternChanged();
    void RebuildMacros();

    TNotifyStringList pattern_;
    TParams macros_;
    char macroChar_ = '%';
};

}  // namespace tessel
