// The macro query: SQL with macros replaced before it runs.

#include "script/MacroQuery.h"

namespace tessel {

namespace {

bool IsNameDelimiter(char c, const std::string& extra) {
    switch (c) {
        case '\n':
        case '\r':
        case ' ':
        case ')':
        case ',':
        case ';':
            return true;
        default:
            return c != '\0' && extra.find(c) != std::string::npos;
    }
}

bool IsQuote(char c) {
    return c == '\'' || c == '"';
}

}  // namespace

std::string ScanMarkers(const std::string& text, char marker, const std::string& extraDelimiters, TScanMode mode,
                        TParams& list) {
    std::string out;
    out.reserve(text.size());
    char quote = 0;  // the quote that opened the quoted text we are in
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
            out += c;
            ++i;
            continue;
        }
        if (IsQuote(c)) {
            quote = c;
            out += c;
            ++i;
            continue;
        }
        if (c != marker || i + 1 >= n) {
            out += c;
            ++i;
            continue;
        }
        if (text[i + 1] == marker) {  // a doubled marker is the marker itself
            out += c;
            i += 2;
            continue;
        }
        // A name: up to a delimiter outside quotes, or to the end of the text.
        size_t j = i + 1;
        char nameQuote = 0;
        while (j < n) {
            const char d = text[j];
            if (nameQuote) {
                if (d == nameQuote) nameQuote = 0;
            } else if (IsQuote(d)) {
                nameQuote = d;
            } else if (IsNameDelimiter(d, extraDelimiters)) {
                break;
            }
            ++j;
        }
        std::string name = text.substr(i + 1, j - i - 1);
        if (name.size() >= 2 && IsQuote(name.front()) && name.back() == name.front())
            name = name.substr(1, name.size() - 2);
        else if (!name.empty() && IsQuote(name.front()))
            name.erase(0, 1);  // unterminated: the name runs to the end of the text
        if (name.empty()) {    // a marker before a delimiter names nothing
            out += c;
            ++i;
            continue;
        }
        if (!list.FindParam(name)) {
            if (mode == TScanMode::Macros) {
                list.CreateParam(TFieldType::ftString, name, TParamType::ptInput).SetAsString("0=0");
            } else {
                list.CreateParam(TFieldType::ftUnknown, name, TParamType::ptUnknown);
            }
        }
        out += '?';
        i = j;
    }
    return out;
}

// ------------------------------------------------------------------------------ TMacroQuery

TMacroQuery::TMacroQuery() {
    pattern_.OnChange = [this] { PatternChanged(); };
}

TMacroQuery::~TMacroQuery() {
    pattern_.OnChange = nullptr;
}

void TMacroQuery::SetMacroChar(char c) {
    if (c == macroChar_) return;
    macroChar_ = c;
    PatternChanged();
}

void TMacroQuery::PatternChanged() {
    Close();
    UnPrepare();
    RebuildMacros();
    ApplyMacros();
}

void TMacroQuery::RebuildMacros() {
    TParams rebuilt;
    ScanMarkers(pattern_.Text(), macroChar_, ".", TScanMode::Macros, rebuilt);
    rebuilt.AssignValues(macros_);
    macros_ = std::move(rebuilt);
}

void TMacroQuery::ApplyMacros() {
    static const std::string kExtra = ".";
    TStringList lines;
    for (int li = 0; li < pattern_.Count(); ++li) {
        std::string line = pattern_.Get(li);
        for (int m = macros_.Count() - 1; m >= 0; --m) {
            const TParam& macro = macros_.Items(m);
            if (macro.DataType() == TFieldType::ftUnknown) continue;
            const std::string reference = std::string(1, macroChar_) + macro.Name();
            const std::string value = macro.AsString();
            // Replaced occurrences are not searched again, so a value that itself holds the
            // reference cannot make the search go on for ever.
            size_t from = 0;
            for (;;) {
                const size_t at = line.find(reference, from);
                if (at == std::string::npos) break;
                const size_t after = at + reference.size();
                const bool ends = after >= line.size() || IsNameDelimiter(line[after], kExtra);
                size_t quotes = 0;
                for (size_t q = 0; q < at; ++q)
                    if (IsQuote(line[q])) ++quotes;
                if (!ends || quotes % 2 != 0) break;
                line.replace(at, reference.size(), value);
                from = at + value.size();
            }
        }
        lines.Add(line);
    }
    TQuery::SQL().Assign(lines);
}

}  // namespace tessel
