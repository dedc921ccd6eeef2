// Feeds arbitrary text to the SQL parser. Every input must end in a tree or an EngineError:
// no crash, no sanitizer report, no stack overflow, and the positions it reports must lie
// inside the text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/EngineError.h"
#include "engine/sql/AstDump.h"
#include "engine/sql/Parser.h"
#include "engine/sql/SyntaxError.h"

using namespace tessel::engine;
using namespace tessel::engine::sql;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckStatement(const Statement& s, std::string_view text, size_t base) {
    Check(s.pos.offset >= base && s.pos.offset < base + text.size());
    Check(s.endOffset > s.pos.offset && s.endOffset <= base + text.size());
    Check(!ToString(s).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    try {
        const StatementPtr s = ParseSingleStatement(text);
        CheckStatement(*s, text, 0);
    } catch (const SyntaxError& e) {
        Check(e.Pos().offset <= size);
    } catch (const EngineError&) {
    }

    bool scriptParsed = false;
    try {
        for (const StatementPtr& s : ParseScript(text)) CheckStatement(*s, text, 0);
        scriptParsed = true;
    } catch (const EngineError&) {
    }

    // Cutting the script and parsing the pieces one by one agrees with parsing it whole.
    bool piecesParsed = true;
    for (const ScriptPiece& piece : SplitScript(text)) {
        Check(piece.pos.offset + piece.text.size() <= size);
        Check(text.substr(piece.pos.offset, piece.text.size()) == piece.text);
        ParseOptions options;
        options.lex.firstLine = piece.pos.line;
        options.lex.firstColumn = piece.pos.column;
        options.lex.firstOffset = piece.pos.offset;
        try {
            const StatementPtr s = ParseSingleStatement(piece.text, options);
            CheckStatement(*s, piece.text, piece.pos.offset);
        } catch (const EngineError&) {
            piecesParsed = false;
        }
    }
    if (scriptParsed) Check(piecesParsed);
    return 0;
}
