// Running the editor's SQL from the window: one statement as an answer, several as a script.

#include "app/RunSql.h"

#include <strings.h>

#include <cctype>

#include "engine/sql/Parser.h"

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

// The first "/*" of `line` outside quotes, following the quotes up to it.
size_t FindCommentStart(const std::string& line, char& quote) {
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '/' && line[i + 1] == '*') {
            return i;
        }
    }
    if (!line.empty()) FollowQuotes(line, line.size() - 1, line.size(), quote);
    return std::string::npos;
}

}  // namespace

std::vector<std::string> StripComments(const TStrings& lines) {
    std::vector<std::string> out;
    bool inComment = false;
    char quote = 0;  // a quoted text may go on over several lines
    for (int i = 0; i < lines.Count(); ++i) {
        std::string line = lines.Get(i);
        if (!inComment) {
            const size_t p = FindCommentStart(line, quote);
            if (p != std::string::npos) {
                const size_t q = line.find("*/", p + 2);
                if (q != std::string::npos) {
                    line.erase(p, q + 2 - p);
                    FollowQuotes(line, p, line.size(), quote);
                } else {
                    line.erase(p);
                    inComment = true;
                }
            }
            out.push_back(line);
        } else {
            const size_t q = line.find("*/");
            if (q != std::string::npos) {
                line.erase(0, q + 2);
                inComment = false;
                FollowQuotes(line, 0, line.size(), quote);
                out.push_back(line);
            }
        }
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

}  // namespace tessel
