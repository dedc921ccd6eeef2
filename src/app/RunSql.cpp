// Running the editor's SQL from the window: one statement as an answer, several as a script.

#include "app/RunSql.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/sql/Parser.h"
#include "framework/data/FormatSettings.h"

namespace tessel {

namespace {

// Follows the quotes of `line` from `from` to `to`; `quote` is the quote still open.
void FollowQuotes(const std::string& line, size_t from, size_t to, char& quote) {
    for (size_t i = from; i < to && i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        }
    }
}

// The first comment of `line` from `from` on outside quotes, following the quotes up to it:
// "/*" (unless only line comments are looked for) or "--".
size_t FindCommentStart(const std::string& line, size_t from, char& quote, bool dashesOnly = false) {
    for (size_t i = from; i + 1 < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if ((c == '/' && line[i + 1] == '*' && !dashesOnly) || (c == '-' && line[i + 1] == '-')) {
            return i;
        }
    }
    if (line.size() > from) FollowQuotes(line, std::max(from, line.size() - 1), line.size(), quote);
    return std::string::npos;
}

// Removes a "--" comment from `line` (from `from` on, outside quotes) up to its end.
void StripLineComment(std::string& line, size_t from, char& quote) {
    const size_t p = FindCommentStart(line, from, quote, true);
    if (p != std::string::npos) line.erase(p);
}

}  // namespace

std::vector<std::string> StripComments(const TStrings& lines) {
    std::vector<std::string> out;
    bool inComment = false;
    char quote = 0;  // a quoted text may go on over several lines
    for (int i = 0; i < lines.Count(); ++i) {
        std::string line = lines.Get(i);
        if (!inComment) {
            const size_t p = FindCommentStart(line, 0, quote);
            if (p != std::string::npos && line[p] == '-') {
                line.erase(p);
            } else if (p != std::string::npos) {
                const size_t q = line.find("*/", p + 2);
                if (q != std::string::npos) {
                    line.erase(p, q + 2 - p);
                    StripLineComment(line, p, quote);
                } else {
                    line.erase(p);
                    inComment = true;
                }
            }
        } else {
            const size_t q = line.find("*/");
            if (q != std::string::npos) {
                line.erase(0, q + 2);
                inComment = false;
                StripLineComment(line, 0, quote);
            } else {
                line.clear();
            }
        }
        out.push_back(line);
    }
    return out;
}

bool IsQueryText(const std::string& text) {
    const auto pieces = engine::sql::SplitScript(text);
    if (pieces.size() != 1) return false;
    std::string_view piece = pieces.front().text;
    // "(SELECT ...) UNION ..." begins with its parenthesis.
    size_t at = 0;
    while (at < piece.size() && (piece[at] == '(' || static_cast<unsigned char>(piece[at]) <= ' ')) ++at;
    piece.remove_prefix(at);
    if (piece.size() < 6 || strncasecmp(piece.data(), "SELECT", 6) != 0) return false;
    if (piece.size() == 6) return true;
    const unsigned char next = static_cast<unsigned char>(piece[6]);
    return !(std::isalnum(next) || next == '_' || next >= 0x80);
}

namespace {

// 1234 as "1,234 records".
std::string Counted(int64_t n, const char* one, const char* many) {
    return FloatToStrFixed(static_cast<double>(n), 0, true) + " " + (n == 1 ? one : many);
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

}  // namespace

std::string ScriptSummary(int statements, int64_t changes, double seconds) {
    return Counted(statements, "statement", "statements") + ", " +
           Counted(changes, "record changed", "records changed") + ", " + Seconds(seconds);
}

std::string QuerySummary(int64_t records, double seconds) {
    return Counted(records, "record", "records") + ", " + Seconds(seconds);
}

std::string PrintSummary(int pages, const std::string& pdfPath) {
    return Counted(pages, "page", "pages") + (pdfPath.empty() ? " sent to the printer" : " printed to " + pdfPath);
}

std::string AnswerProgress(int64_t records) {
    return Counted(records, "record", "records") + " so far";
}

std::string WithLineNumber(const std::string& message, int line) {
    static constexpr std::string_view kLabel = "\nLine Number: ";
    const size_t at = message.rfind(kLabel);
    if (at == std::string::npos) return message;
    size_t end = at + kLabel.size();
    while (end < message.size() && std::isdigit(static_cast<unsigned char>(message[end]))) ++end;
    return message.substr(0, at + kLabel.size()) + std::to_string(line) + message.substr(end);
}

}  // namespace tessel
