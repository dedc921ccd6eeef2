// The SQL highlighter: scanning, dialects, table names.

#include "highlight/SQLHighlighter.h"

#include <cstring>

#include "base/TextEncoding.h"

namespace tessel {

// --- TSQLTableNames -------------------------------------------------------------------------

void TSQLTableNames::Put(int index, const std::string& s) {
    TStringsUpdate update(*this);
    TStringList::Put(index, s);
}

void TSQLTableNames::Insert(int index, const std::string& s) {
    TStringsUpdate update(*this);
    TStringList::Insert(index, s);
}

void TSQLTableNames::Delete(int index) {
    TStringsUpdate update(*this);
    TStringList::Delete(index);
}

void TSQLTableNames::Clear() {
    TStringsUpdate update(*this);
    TStringList::Clear();
}

int TSQLTableNames::Add(const std::string& s) {
    TStringsUpdate update(*this);
    return TStringList::Add(s);
}

void TSQLTableNames::SetUpdateState(bool updating) {
    if (!updating && onChanged_) onChanged_();
}

// --- TSQLHighlighter ------------------------------------------------------------------------

namespace {

std::unique_ptr<TCustomHighlighter> CreateSQLHighlighter() {
    return std::make_unique<TSQLHighlighter>();
}

constexpr unsigned char LF = 10;
constexpr unsigned char CR = 13;

}  // namespace

const THighlighterClass TSQLHighlighter::HighlighterClass{"TSQLHighlighter", &CreateSQLHighlighter};

namespace {
// The class registers itself when the program starts.
const bool sqlHighlighterRegistered = (RegisterHighlighterClass(&TSQLHighlighter::HighlighterClass), true);
}  // namespace

const std::array<TSQLHighlighter::Routine, 256>& TSQLHighlighter::Dispatch() {
    static const std::array<Routine, 256> table = [] {
        std::array<Routine, 256> t{};
        for (int c = 0; c < 256; ++c) {
            Routine r = &TSQLHighlighter::SymbolProc;
            if (c == 0)
                r = &TSQLHighlighter::LineEndProc;
            else if (c == LF)
                r = &TSQLHighlighter::LFProc;
            else if (c == CR)
                r = &TSQLHighlighter::CRProc;
            else if (c <= 32)
                r = &TSQLHighlighter::SpaceProc;
            else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')
                r = &TSQLHighlighter::WordProc;
            else if (c >= '0' && c <= '9')
                r = &TSQLHighlighter::NumberProc;
            else if (c >= 127)
                r = &TSQLHighlighter::UnknownProc;
            else {
                switch (c) {
                    case '\'':
                        r = &TSQLHighlighter::StringProc;
                        break;
                    case '"':
                        r = &TSQLHighlighter::DoubleQuoteProc;
                        break;
                    case '-':
                        r = &TSQLHighlighter::MinusProc;
                        break;
                    case '/':
                        r = &TSQLHighlighter::SlashProc;
                        break;
                    case '<':
                        r = &TSQLHighlighter::LowerProc;
                        break;
                    case '=':
                    case '>':
                        r = &TSQLHighlighter::EqualGreaterProc;
                        break;
                    case '!':
                    case '%':
                    case '*':
                    case '^':
                        r = &TSQLHighlighter::EqualFollowsProc;
                        break;
                    case '&':
                        r = &TSQLHighlighter::AndProc;
                        break;
                    case '|':
                        r = &TSQLHighlighter::OrProc;
                        break;
                    case '+':
                        r = &TSQLHighlighter::PlusProc;
                        break;
                    case '@':
                    case ':':
                        r = &TSQLHighlighter::VariableProc;
                        break;
                    case '#':
                        r = &TSQLHighlighter::HashProc;
                        break;
                    case '$':
                    case '\\':
                    case '`':
                        r = &TSQLHighlighter::UnknownProc;
                        break;
                    default:
                        break;  // ( ) , . ; ? [ ] { } ~
                }
            }
            t[static_cast<size_t>(c)] = r;
        }
        return t;
    }();
    return table;
}

THighlighterAttributes* TSQLHighlighter::AddSQLAttribute(const char* name, TFontStyles style) {
    auto attribute = std::make_unique<THighlighterAttributes>(name);
    attribute->SetStyle(style);
    return AddAttribute(std::move(attribute));
}

TSQLHighlighter::TSQLHighlighter() : tables_(&StandardCharTables()), tableNames_([this] { LoadWordLists(); }) {
    using enum TFontStyle;
    comment_ = AddSQLAttribute("Comment", {fsItalic});
    dataType_ = AddSQLAttribute("Data type", {fsBold});
    defaultPackage_ = AddSQLAttribute("Default packages", {fsBold});
    exception_ = AddSQLAttribute("Exception", {fsItalic});
    function_ = AddSQLAttribute("Function", {fsBold});
    identifier_ = AddSQLAttribute("Identifier", {});
    key_ = AddSQLAttribute("Reserved word", {fsBold});
    number_ = AddSQLAttribute("Number", {});
    plsql_ = AddSQLAttribute("Reserved word (PL/SQL)", {fsBold});
    space_ = AddSQLAttribute("Space", {});
    sqlPlus_ = AddSQLAttribute("SQL*Plus command", {fsBold});
    string_ = AddSQLAttribute("String", {});
    symbol_ = AddSQLAttribute("Symbol", {});
    tableName_ = AddSQLAttribute("Table name", {});
    variable_ = AddSQLAttribute("Variable", {});
    BindAttributes();

    kindAttributes_ = {comment_, dataType_, defaultPackage_, exception_,  function_, identifier_,
                       key_,     nullptr,   number_,         space_,      plsql_,    sqlPlus_,
                       string_,  symbol_,   tableName_,      identifier_, variable_};

    SetDefaultFilter("SQL Files (*.sql)|*.sql");
    state_ = lsNormal;
    dialect_ = sqlStandard;
    SetSQLDialect(sqlSybase);
}

TSQLHighlighter::~TSQLHighlighter() = default;

void TSQLHighlighter::Assign(const TAssignable& source) {
    TCustomHighlighter::Assign(source);
    if (const auto* other = dynamic_cast<const TSQLHighlighter*>(&source)) SetSQLDialect(other->SQLDialect());
}

THighlighterAttributes* TSQLHighlighter::StandardAttribute(int role) const {
    switch (role) {
        case 0:
            return comment_;
        case 1:
            return identifier_;
        case 2:
            return key_;
        case 3:
            return string_;
        case 4:
            return space_;
        case 5:
            return symbol_;
        default:
            return nullptr;
    }
}

TCharSet TSQLHighlighter::IdentifierChars() const {
    TCharSet set;
    for (unsigned c = '0'; c <= '9'; ++c) set.set(c);
    for (unsigned c = 'A'; c <= 'Z'; ++c) set.set(c);
    for (unsigned c = 'a'; c <= 'z'; ++c) set.set(c);
    set.set('_');
    for (unsigned c = 192; c <= 255; ++c)
        if (c != 215 && c != 247) set.set(c);
    if (dialect_ == sqlMSSQL7 || dialect_ == sqlMSSQL2K) set.set('@');
    if (dialect_ == sqlOracle) {
        set.set('#');
        set.set('$');
    }
    return set;
}

std::string TSQLHighlighter::SampleText() const {
    switch (dialect_) {
        case sqlInterbase6:
            return "/* Interbase sample source */\r\n"
                   "SET TERM !! ;\r\n"
                   "\r\n"
                   "CREATE PROCEDURE HelloWorld(P_MSG VARCHAR(80)) AS\r\n"
                   "BEGIN\r\n"
                   "  EXECUTE PROCEDURE WRITELN(:P_MSG);\r\n"
                   "END !!\r\n"
                   "\r\n"
                   "SET TERM ; !!";
        case sqlOracle:
            return "PROMPT Oracle sample source\r\n"
                   "declare\r\n"
                   "  x varchar2(2000);\r\n"
                   "begin   -- Show some text here\r\n"
                   "  select to_char(count(*)) into x\r\n"
                   "  from tab;\r\n"
                   "\r\n"
                   "  dbms_output.put_line('Hello World: ' || x);\r\n"
                   "exception\r\n"
                   "  when others then\r\n"
                   "    null;\r\n"
                   "end;";
        default:
            return std::string();
    }
}

bool TSQLHighlighter::IsReservedWord(std::string_view text) const {
    switch (keywords_.WordKind(text)) {
        case skDataType:
        case skDefaultPackage:
        case skException:
        case skFunction:
        case skKey:
        case skPLSQL:
            return true;
        default:
            return false;
    }
}

void TSQLHighlighter::SetSQLDialect(TSQLDialect value) {
    if (value == dialect_) return;
    dialect_ = value;
    LoadWordLists();
}

void TSQLHighlighter::LoadWordLists() {
    keywords_.Clear();
    tables_ = &CharTablesFor(dialect_);
    keywords_.SetCharTables(*tables_);
    const TCharSet wordChars = IdentifierChars();
    for (const TSQLWordList& list : DialectWordLists(dialect_))
        ForEachListWord(std::string_view(list.words), wordChars,
                        [&](std::string_view word) { keywords_.AddWord(word, list.kind); });
    for (int i = 0; i < tableNames_.Count(); ++i) keywords_.AddTableName(tableNames_.Get(i));
    NotifyAttributeChange();
}

// --- line state -----------------------------------------------------------------------------

TCustomHighlighter::TLineState TSQLHighlighter::LineState() const {
    // While the empty token of a MySQL '#' line is current, the line reads as an open comment.
    return hashLinePending_ ? lsComment : state_;
}

void TSQLHighlighter::SetLineState(TLineState value) {
    // Anything but a state this highlighter produces (a client's "not scanned yet" marker, say)
    // starts the line in the normal state.
    state_ = value == lsComment || value == lsString ? static_cast<TSQLLineState>(value) : lsNormal;
    hashLinePending_ = false;
}

void TSQLHighlighter::ResetLineState() {
    state_ = lsNormal;
    hashLinePending_ = false;
}

// --- scanning -------------------------------------------------------------------------------

void TSQLHighlighter::StartLine(std::string_view text, int lineIndex) {
    if (const void* nul = std::memchr(text.data(), 0, text.size()))
        text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
    line_ = text;
    lineIndex_ = lineIndex;
    unsigned char high = 0;
    for (char c : text) high = static_cast<unsigned char>(high | static_cast<unsigned char>(c));
    ascii_ = high < 0x80;
    pos_ = 0;
    tokenStart_ = 0;
    tokenCharStart_ = 0;
    hashLinePending_ = false;
    Advance();
}

int TSQLHighlighter::TokenLength() const {
    return static_cast<int>(ascii_ ? pos_ - tokenStart_ : Utf8Length(TokenChars()));
}

void TSQLHighlighter::Advance() {
    if (!ascii_) tokenCharStart_ += Utf8Length(line_.substr(tokenStart_, pos_ - tokenStart_));
    tokenStart_ = pos_;
    if (hashLinePending_) {
        // The MySQL '#' line: the whole line is the comment.
        hashLinePending_ = false;
        kind_ = skComment;
        RestOfLine();
        return;
    }
    switch (state_) {
        case lsComment:
            CommentProc();
            break;
        case lsString:
            StringProc();
            break;
        default:
            (this->*Dispatch()[At(pos_)])();
            break;
    }
}

void TSQLHighlighter::RestOfLine() {
    while (pos_ < line_.size()) {
        const auto c = static_cast<unsigned char>(line_[pos_]);
        if (c == LF || c == CR) break;
        ++pos_;
    }
}

void TSQLHighlighter::LineEndProc() {
    kind_ = skLineEnd;
}

void TSQLHighlighter::SpaceProc() {
    kind_ = skSpace;
    ++pos_;
    for (;;) {
        const unsigned char c = At(pos_);
        if (c == 0 || c > 32 || c == LF || c == CR) break;
        ++pos_;
    }
}

void TSQLHighlighter::LFProc() {
    kind_ = skSpace;
    ++pos_;
}

void TSQLHighlighter::CRProc() {
    kind_ = skSpace;
    ++pos_;
    if (At(pos_) == LF) ++pos_;
}

void TSQLHighlighter::WordProc() {
    // The hash is computed in the pass that finds the end of the word.
    const bool* identifier = tables_->identifier;
    const uint8_t* values = tables_->hashValue;
    const char* s = line_.data();
    const size_t n = line_.size();
    size_t p = pos_;
    unsigned h = 0;
    while (p < n) {
        const auto c = static_cast<unsigned char>(s[p]);
        if (!identifier[c]) break;
        h = (h * 2 + values[c]) & 0xFFu;
        ++p;
    }
    kind_ = keywords_.Lookup(static_cast<uint8_t>(h), s + pos_, p - pos_);
    pos_ = p;
    if (kind_ == skComment) RestOfLine();  // Oracle's REM and its abbreviations
}

void TSQLHighlighter::NumberProc() {
    kind_ = skNumber;
    ++pos_;
    for (;;) {
        const unsigned char c = At(pos_);
        if ((c >= '0' && c <= '9') || c == '-') {
            ++pos_;
        } else if (c == '.') {
            if (At(pos_ + 1) == '.') break;  // a range "1..5"
            ++pos_;
        } else {
            break;
        }
    }
}

void TSQLHighlighter::StringProc() {
    const unsigned char first = At(pos_);
    if (first == 0) {
        kind_ = skLineEnd;
        return;
    }
    kind_ = skString;
    const size_t n = line_.size();
    if (pos_ == 0 && state_ == lsString && first == '\'') {
        // The line starts with the closing quote.
        ++pos_;
        state_ = lsNormal;
        return;
    }
    const bool opening = state_ != lsString;
    state_ = lsString;
    size_t p = pos_;
    if (dialect_ == sqlMySQL) {
        // A backslash escapes the next character, so \' stays in the string and \\ is one
        // backslash that does not hide a closing quote after it.
        if (opening) ++p;
        while (p < n) {
            const auto c = static_cast<unsigned char>(line_[p]);
            if (c == LF || c == CR) break;
            if (c == '\\') {
                ++p;
                if (p < n && line_[p] != '\n' && line_[p] != '\r') ++p;
                continue;
            }
            if (c == '\'') {
                pos_ = p + 1;
                state_ = lsNormal;
                return;
            }
            ++p;
        }
    } else {
        ++p;  // at least one character: the opening quote, or the first one of a continued line
        while (p < n) {
            const auto c = static_cast<unsigned char>(line_[p]);
            if (c == '\'') {
                pos_ = p + 1;
                state_ = lsNormal;
                return;
            }
            if (c == LF || c == CR) break;
            ++p;
        }
    }
    pos_ = p;  // the string goes on in the next line
}

void TSQLHighlighter::DoubleQuoteProc() {
    kind_ = skString;
    const size_t n = line_.size();
    size_t p = pos_ + 1;
    while (p < n) {
        const auto c = static_cast<unsigned char>(line_[p]);
        if (c == LF || c == CR) break;
        if (c == '\\' && At(p + 1) == '"') {
            p += 2;
        } else if (c == '"') {
            if (At(p + 1) != '"') {
                ++p;
                break;
            }
            p += 2;
        } else {
            ++p;
        }
    }
    pos_ = p;
}

void TSQLHighlighter::MinusProc() {
    if (At(pos_ + 1) == '-') {
        kind_ = skComment;
        pos_ += 2;
        RestOfLine();
    } else {
        kind_ = skSymbol;
        ++pos_;
    }
}

void TSQLHighlighter::SlashProc() {
    const unsigned char next = At(pos_ + 1);
    if (next == '*') {
        kind_ = skComment;
        state_ = lsComment;
        pos_ += 2;
        CommentProc();
        return;
    }
    kind_ = skSymbol;
    pos_ += next == '=' ? 2 : 1;
}

void TSQLHighlighter::LowerProc() {
    kind_ = skSymbol;
    const unsigned char next = At(pos_ + 1);
    if (next == '<')
        pos_ += At(pos_ + 2) == '=' ? 3 : 2;
    else
        pos_ += next == '=' ? 2 : 1;
}

void TSQLHighlighter::EqualGreaterProc() {
    kind_ = skSymbol;
    const unsigned char next = At(pos_ + 1);
    pos_ += next == '=' || next == '>' ? 2 : 1;
}

void TSQLHighlighter::EqualFollowsProc() {
    kind_ = skSymbol;
    pos_ += At(pos_ + 1) == '=' ? 2 : 1;
}

void TSQLHighlighter::AndProc() {
    kind_ = skSymbol;
    const unsigned char next = At(pos_ + 1);
    pos_ += next == '&' || next == '=' ? 2 : 1;
}

void TSQLHighlighter::OrProc() {
    kind_ = skSymbol;
    const unsigned char next = At(pos_ + 1);
    pos_ += next == '|' || next == '=' ? 2 : 1;
}

void TSQLHighlighter::PlusProc() {
    kind_ = skSymbol;
    const unsigned char next = At(pos_ + 1);
    pos_ += next == '+' || next == '=' ? 2 : 1;
}

void TSQLHighlighter::VariableProc() {
    const unsigned char c = At(pos_);
    const bool microsoft = dialect_ == sqlMSSQL7 || dialect_ == sqlMSSQL2K;
    if (c == '@' && microsoft && At(pos_ + 1) == '@') {
        WordProc();  // the global variables are words of the function lists
        return;
    }
    if ((c == '@' && (dialect_ == sqlMySQL || dialect_ == sqlOracle)) ||
        (c == ':' && dialect_ != sqlOracle && dialect_ != sqlIngres)) {
        kind_ = skSymbol;
        ++pos_;
        return;
    }
    kind_ = skVariable;
    ++pos_;
    while (tables_->identifier[At(pos_)]) ++pos_;
}

void TSQLHighlighter::HashProc() {
    if (dialect_ == sqlMySQL && pos_ == 0) {
        // An empty comment token first; the next one is the whole line.
        kind_ = skComment;
        hashLinePending_ = true;
        return;
    }
    UnknownProc();
}

void TSQLHighlighter::UnknownProc() {
    kind_ = skUnknown;
    // One character: a byte of its own, or a UTF-8 lead byte with its continuation bytes.
    const bool multiByte = At(pos_) >= 0x80;
    ++pos_;
    if (multiByte)
        while ((At(pos_) & 0xC0) == 0x80) ++pos_;
}

void TSQLHighlighter::SymbolProc() {
    kind_ = skSymbol;
    ++pos_;
}

void TSQLHighlighter::CommentProc() {
    if (tokenStart_ == pos_) {
        // Continuing a block comment at the start of a token: line breaks and the line end are
        // tokens of their own.
        const unsigned char c = At(pos_);
        if (c == 0) {
            kind_ = skLineEnd;
            return;
        }
        if (c == LF) {
            LFProc();
            return;
        }
        if (c == CR) {
            CRProc();
            return;
        }
    }
    kind_ = skComment;
    const size_t n = line_.size();
    while (pos_ < n) {
        const auto c = static_cast<unsigned char>(line_[pos_]);
        if (c == LF || c == CR) return;
        if (c == '*' && At(pos_ + 1) == '/') {
            pos_ += 2;
            state_ = lsNormal;
            return;
        }
        ++pos_;
    }
}

}  // namespace tessel
