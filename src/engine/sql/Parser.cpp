// The parser of the local SQL dialect.

#include "engine/sql/Parser.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "base/AsciiText.h"
#include "engine/drivers/Drivers.h"
#include "engine/sql/SyntaxError.h"

namespace tessel::engine::sql {

namespace {

constexpr const char* kInvalidSyntax = "Invalid syntax";
constexpr const char* kInvalidKeyword = "Invalid use of keyword";
constexpr const char* kUnexpectedEnd = "Unexpected end of statement";
constexpr const char* kNotSupported = "Capability not supported";
constexpr const char* kTooDeep = "Statement nested too deeply";
constexpr const char* kOneStatement = "Only one statement may be run at a time";

bool IsComparison(TokenKind k) {
    return k == TokenKind::Eq || k == TokenKind::Ne || k == TokenKind::Lt || k == TokenKind::Le || k == TokenKind::Gt ||
           k == TokenKind::Ge;
}

BinaryOp ComparisonOp(TokenKind k) {
    switch (k) {
        case TokenKind::Eq:
            return BinaryOp::Eq;
        case TokenKind::Ne:
            return BinaryOp::Ne;
        case TokenKind::Lt:
            return BinaryOp::Lt;
        case TokenKind::Le:
            return BinaryOp::Le;
        case TokenKind::Gt:
            return BinaryOp::Gt;
        default:
            return BinaryOp::Ge;
    }
}

int HeightOf(const ExprPtr& e) {
    return e ? e->height : 0;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, const ParseLimits& limits) : tokens_(std::move(tokens)), limits_(limits) {}

    bool AtEnd() const { return Cur().kind == TokenKind::End; }
    bool AcceptSemicolon() { return Accept(TokenKind::Semicolon); }
    const Token& Cur() const { return tokens_[pos_]; }

    StatementPtr ParseStatement() {
        params_.clear();
        heights_.clear();
        const Token& t = Cur();
        StatementPtr stmt;
        if (t.IsKeyword("SELECT")) {
            auto s = std::make_unique<SelectStatement>();
            s->query = ParseQuery();
            stmt = std::move(s);
        } else if (t.IsKeyword("INSERT")) {
            stmt = ParseInsert();
        } else if (t.IsKeyword("UPDATE")) {
            stmt = ParseUpdate();
        } else if (t.IsKeyword("DELETE")) {
            stmt = ParseDelete();
        } else if (t.IsKeyword("CREATE")) {
            stmt = Peek(1).IsKeyword("TABLE") ? ParseCreateTable() : ParseCreateIndex();
        } else if (t.IsKeyword("ALTER")) {
            stmt = ParseAlterTable();
        } else if (t.IsKeyword("DROP")) {
            stmt = Peek(1).IsKeyword("INDEX") ? ParseDropIndex() : ParseDropTable();
        } else {
            Fail();
        }
        stmt->pos = t.pos;
        stmt->endOffset = prevEnd_;
        stmt->parameters = std::move(params_);
        params_.clear();
        if (stmt->endOffset - stmt->pos.offset > limits_.maxStatementLength) {
            throw SyntaxError(
                "Statement too long (at most " + std::to_string(limits_.maxStatementLength) + " characters)",
                std::string(t.text), t.pos);
        }
        return stmt;
    }

    [[noreturn]] void Fail(const char* headline = nullptr) const { FailAt(Cur(), headline); }

    [[noreturn]] void FailAt(const Token& t, const char* headline = nullptr) const {
        if (t.kind == TokenKind::End) {
            // Name the last token there was: "SELECT * FROM" stops at FROM.
            if (pos_ > 0 && &t == &tokens_[pos_]) {
                const Token& last = tokens_[pos_ - 1];
                throw SyntaxError(headline ? headline : kUnexpectedEnd, std::string(last.text), last.pos);
            }
            throw SyntaxError(headline ? headline : kUnexpectedEnd, "", t.pos);
        }
        if (!headline) headline = t.kind == TokenKind::Keyword ? kInvalidKeyword : kInvalidSyntax;
        throw SyntaxError(headline, std::string(t.text), t.pos);
    }

private:
    // ---- token helpers

    const Token& Peek(size_t ahead) const { return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)]; }

    const Token& Take() {
        const Token& t = tokens_[pos_];
        if (t.kind != TokenKind::End) {
            prevEnd_ = t.pos.offset + t.text.size();
            ++pos_;
        }
        return t;
    }

    bool Accept(TokenKind k) {
        if (Cur().kind != k) return false;
        Take();
        return true;
    }

    bool AcceptKw(std::string_view kw) {
        if (!Cur().IsKeyword(kw)) return false;
        Take();
        return true;
    }

    const Token& Expect(TokenKind k) {
        if (Cur().kind != k) Fail();
        return Take();
    }

    const Token& ExpectKw(std::string_view kw) {
        if (!Cur().IsKeyword(kw)) Fail();
        return Take();
    }

    bool CurIsWord(std::string_view word) const {
        return Cur().kind == TokenKind::Identifier && SameAscii(Cur().value, word);
    }

    // ---- nesting and height

    class Nest {
    public:
        explicit Nest(Parser& p) : p_(p) {
            if (++p_.depth_ > p_.limits_.maxNesting) p_.Fail(kTooDeep);
        }
        ~Nest() { --p_.depth_; }
        Nest(const Nest&) = delete;
        Nest& operator=(const Nest&) = delete;

    private:
        Parser& p_;
    };

    void NoteHeight(int h, const SourcePos& pos) {
        if (h > limits_.maxHeight) throw SyntaxError(kTooDeep, std::string(Cur().text), pos);
        if (!heights_.empty()) heights_.back() = std::max(heights_.back(), h);
    }

    template <class T>
    ExprPtr Done(std::unique_ptr<T> node, std::initializer_list<int> childHeights) {
        int h = 0;
        for (int c : childHeights) h = std::max(h, c);
        node->height = h + 1;
        NoteHeight(node->height, node->pos);
        return node;
    }

    // ---- names

    Identifier TakeIdentifier(const Token& t) {
        Identifier id;
        id.text = t.value;
        id.quoted = t.kind == TokenKind::String;
        id.pos = t.pos;
        Take();
        return id;
    }

    // A name that may be quoted: column names in DDL and INSERT/SET, index names, aliases.
    Identifier ParseName() {
        const Token& t = Cur();
        if (t.kind != TokenKind::Identifier && t.kind != TokenKind::String) Fail();
        return TakeIdentifier(t);
    }

    ColumnName ParseColumnName() {
        ColumnName c;
        c.name = ParseName();
        if (Accept(TokenKind::Dot)) {
            c.qualifier = std::move(c.name);
            c.name = ParseName();
        }
        return c;
    }

    std::vector<ColumnName> ParseColumnNameList() {
        Expect(TokenKind::LParen);
        std::vector<ColumnName> names;
        do {
            names.push_back(ParseColumnName());
        } while (Accept(TokenKind::Comma));
        Expect(TokenKind::RParen);
        return names;
    }

    static bool IsTableExtension(const Token& t) {
        return t.kind == TokenKind::Identifier && FindDriverByExtension(t.value) != nullptr;
    }

    // employee | parts.db | "employee.db" | ":WORK:customer.db" | :WORK:customer[.db].
    // With `extensionNeedsDot` an unquoted extension is taken only when another "." follows
    // (DROP INDEX parts.db.ByName, where parts.db alone would be table parts, index db).
    TableName ParseTableName(bool extensionNeedsDot = false) {
        const Token& t = Cur();
        TableName name;
        name.pos = t.pos;
        auto takeExtension = [&]() {
            if (Cur().kind == TokenKind::Dot && !Cur().spaceBefore && IsTableExtension(Peek(1)) &&
                !Peek(1).spaceBefore && (!extensionNeedsDot || Peek(2).kind == TokenKind::Dot)) {
                Take();
                name.text += ".";
                name.text += Take().value;
            }
        };
        if (t.kind == TokenKind::String) {
            name.text = t.value;
            name.quoted = true;
            Take();
            const size_t second = name.text.size() > 2 ? name.text.find(':', 1) : std::string::npos;
            if (name.text[0] == ':' && second != std::string::npos && second > 1 && second + 1 < name.text.size()) {
                name.alias = name.text.substr(1, second - 1);
                name.name = name.text.substr(second + 1);
            } else {
                name.name = name.text;
            }
            return name;
        }
        if (t.kind == TokenKind::Identifier) {
            name.text = t.value;
            Take();
            takeExtension();
            name.name = name.text;
            return name;
        }
        if (t.kind == TokenKind::Param && Peek(1).kind == TokenKind::Param && !Peek(1).spaceBefore) {
            name.alias = t.value;
            Take();
            name.text = Take().value;
            takeExtension();
            name.name = name.text;
            name.text = ":";
            name.text += name.alias;
            name.text += ":";
            name.text += name.name;
            return name;
        }
        Fail();
    }

    // [AS] name after a table. Without AS only a bare word: CROSS before JOIN is no name.
    std::optional<Identifier> ParseCorrelation() {
        if (AcceptKw("AS")) {
            const Token& t = Cur();
            if (t.kind != TokenKind::Identifier && t.kind != TokenKind::String) Fail();
            return TakeIdentifier(t);
        }
        if (Cur().kind == TokenKind::Identifier && !(CurIsWord("CROSS") && Peek(1).IsKeyword("JOIN"))) {
            return TakeIdentifier(Cur());
        }
        return std::nullopt;
    }

    // ---- SELECT

    std::unique_ptr<Query> ParseQuery() {
        Nest nest(*this);
        auto q = std::make_unique<Query>();
        q->pos = Cur().pos;
        heights_.push_back(0);
        q->selects.push_back(ParseSelectCore());
        while (AcceptKw("UNION")) {
            q->unionAll.push_back(AcceptKw("ALL"));
            q->selects.push_back(ParseSelectCore());
        }
        if (AcceptKw("ORDER")) {
            ExpectKw("BY");
            do {
                OrderItem item;
                item.pos = Cur().pos;
                item.expr = ParseExpr();
                if (AcceptKw("DESC")) {
                    item.descending = true;
                } else {
                    AcceptKw("ASC");
                }
                q->orderBy.push_back(std::move(item));
            } while (Accept(TokenKind::Comma));
        }
        const int inner = heights_.back();
        heights_.pop_back();
        q->height = inner + 1;
        NoteHeight(q->height, q->pos);
        return q;
    }

    SelectCore ParseSelectCore() {
        SelectCore core;
        core.pos = ExpectKw("SELECT").pos;
        core.distinct = AcceptKw("DISTINCT");
        do {
            core.items.push_back(ParseSelectItem());
        } while (Accept(TokenKind::Comma));
        ExpectKw("FROM");
        do {
            core.from.push_back(ParseTableRef());
        } while (Accept(TokenKind::Comma));
        if (AcceptKw("WHERE")) core.where = ParseExpr();
        if (AcceptKw("GROUP")) {
            ExpectKw("BY");
            do {
                core.groupBy.push_back(ParseExpr());
            } while (Accept(TokenKind::Comma));
        }
        if (AcceptKw("HAVING")) core.having = ParseExpr();
        return core;
    }

    SelectItem ParseSelectItem() {
        SelectItem item;
        item.pos = Cur().pos;
        if (Accept(TokenKind::Star)) {
            item.kind = SelectItem::Kind::Star;
            return item;
        }
        const Token& t = Cur();
        if ((t.kind == TokenKind::Identifier || t.kind == TokenKind::String) && Peek(1).kind == TokenKind::Dot &&
            Peek(2).kind == TokenKind::Star) {
            item.kind = SelectItem::Kind::QualifiedStar;
            item.qualifier = TakeIdentifier(t);
            Take();
            Take();
            return item;
        }
        item.expr = ParseExpr();
        if (AcceptKw("AS")) {
            item.alias = ParseName();
        } else if (Cur().kind == TokenKind::Identifier || Cur().kind == TokenKind::String) {
            item.alias = TakeIdentifier(Cur());
        }
        return item;
    }

    TableRefPtr ParseTableRef() {
        TableRefPtr left = ParseTablePrimary();
        int joins = 0;
        for (;;) {
            const Token& t = Cur();
            JoinKind kind;
            if (t.IsKeyword("JOIN")) {
                kind = JoinKind::Inner;
            } else if (t.IsKeyword("INNER")) {
                kind = JoinKind::Inner;
                Take();
            } else if (t.IsKeyword("LEFT") || t.IsKeyword("RIGHT") || t.IsKeyword("FULL")) {
                kind = t.IsKeyword("LEFT") ? JoinKind::Left : t.IsKeyword("RIGHT") ? JoinKind::Right : JoinKind::Full;
                Take();
                AcceptKw("OUTER");
            } else if (CurIsWord("CROSS") && Peek(1).IsKeyword("JOIN")) {
                kind = JoinKind::Cross;
                Take();
            } else {
                return left;
            }
            ExpectKw("JOIN");
            if (++joins > limits_.maxHeight) FailAt(t, kTooDeep);
            auto join = std::make_unique<JoinRef>();
            join->pos = t.pos;
            join->joinKind = kind;
            join->left = std::move(left);
            join->right = ParseTablePrimary();
            if (kind != JoinKind::Cross) {
                ExpectKw("ON");
                join->condition = ParseExpr();
            }
            NoteHeight(joins + HeightOf(join->condition), t.pos);
            left = std::move(join);
        }
    }

    TableRefPtr ParseTablePrimary() {
        if (Cur().kind == TokenKind::LParen) {
            if (Peek(1).IsKeyword("SELECT")) FailAt(Peek(1), kNotSupported);
            Nest nest(*this);
            Take();
            TableRefPtr inner = ParseTableRef();
            Expect(TokenKind::RParen);
            return inner;
        }
        auto ref = std::make_unique<NamedTableRef>();
        ref->pos = Cur().pos;
        ref->table = ParseTableName();
        ref->correlation = ParseCorrelation();
        return ref;
    }

    // ---- expressions, lowest precedence first

    ExprPtr ParseExpr() {
        Nest nest(*this);
        return ParseOr();
    }

    ExprPtr MakeBinary(BinaryOp op, ExprPtr left, ExprPtr right, const SourcePos& pos) {
        auto b = std::make_unique<BinaryExpr>();
        b->pos = pos;
        b->op = op;
        const int hl = HeightOf(left), hr = HeightOf(right);
        b->left = std::move(left);
        b->right = std::move(right);
        return Done(std::move(b), {hl, hr});
    }

    ExprPtr ParseOr() {
        ExprPtr left = ParseAnd();
        while (Cur().IsKeyword("OR")) {
            const SourcePos pos = Take().pos;
            left = MakeBinary(BinaryOp::Or, std::move(left), ParseAnd(), pos);
        }
        return left;
    }

    ExprPtr ParseAnd() {
        ExprPtr left = ParseNot();
        while (Cur().IsKeyword("AND")) {
            const SourcePos pos = Take().pos;
            left = MakeBinary(BinaryOp::And, std::move(left), ParseNot(), pos);
        }
        return left;
    }

    ExprPtr ParseNot() {
        if (Cur().IsKeyword("NOT")) {
            Nest nest(*this);
            auto u = std::make_unique<UnaryExpr>();
            u->pos = Take().pos;
            u->op = UnaryOp::Not;
            u->operand = ParseNot();
            const int h = HeightOf(u->operand);
            return Done(std::move(u), {h});
        }
        return ParsePredicate();
    }

    std::unique_ptr<Query> ParseParenQuery() {
        Expect(TokenKind::LParen);
        if (!Cur().IsKeyword("SELECT")) Fail();
        auto q = ParseQuery();
        Expect(TokenKind::RParen);
        return q;
    }

    ExprPtr ParsePredicate() {
        ExprPtr left = ParseAdditive();
        const Token& t = Cur();
        if (IsComparison(t.kind)) {
            const BinaryOp op = ComparisonOp(t.kind);
            Take();
            const Token& q = Cur();
            if (q.IsKeyword("ANY") || q.IsKeyword("SOME") || q.IsKeyword("ALL")) {
                auto e = std::make_unique<QuantifiedExpr>();
                e->pos = t.pos;
                e->op = op;
                e->quantifier = q.IsKeyword("ALL")    ? Quantifier::All
                                : q.IsKeyword("SOME") ? Quantifier::Some
                                                      : Quantifier::Any;
                Take();
                e->left = std::move(left);
                e->query = ParseParenQuery();
                const int hl = HeightOf(e->left), hq = e->query->height;
                return Done(std::move(e), {hl, hq});
            }
            return MakeBinary(op, std::move(left), ParseAdditive(), t.pos);
        }
        bool negated = false;
        if (t.IsKeyword("NOT") &&
            (Peek(1).IsKeyword("BETWEEN") || Peek(1).IsKeyword("IN") || Peek(1).IsKeyword("LIKE"))) {
            negated = true;
            Take();
        }
        const Token& op = Cur();
        if (op.IsKeyword("BETWEEN")) {
            auto e = std::make_unique<BetweenExpr>();
            e->pos = Take().pos;
            e->negated = negated;
            e->operand = std::move(left);
            e->low = ParseAdditive();
            ExpectKw("AND");
            e->high = ParseAdditive();
            const int a = HeightOf(e->operand), b = HeightOf(e->low), c = HeightOf(e->high);
            return Done(std::move(e), {a, b, c});
        }
        if (op.IsKeyword("IN")) {
            const SourcePos pos = Take().pos;
            if (Cur().kind == TokenKind::LParen && Peek(1).IsKeyword("SELECT")) {
                auto e = std::make_unique<InQueryExpr>();
                e->pos = pos;
                e->negated = negated;
                e->operand = std::move(left);
                e->query = ParseParenQuery();
                const int a = HeightOf(e->operand), b = e->query->height;
                return Done(std::move(e), {a, b});
            }
            auto e = std::make_unique<InListExpr>();
            e->pos = pos;
            e->negated = negated;
            e->operand = std::move(left);
            int h = HeightOf(e->operand);
            Expect(TokenKind::LParen);
            do {
                e->items.push_back(ParseExpr());
                h = std::max(h, HeightOf(e->items.back()));
            } while (Accept(TokenKind::Comma));
            Expect(TokenKind::RParen);
            return Done(std::move(e), {h});
        }
        if (op.IsKeyword("LIKE")) {
            auto e = std::make_unique<LikeExpr>();
            e->pos = Take().pos;
            e->negated = negated;
            e->operand = std::move(left);
            e->pattern = ParseAdditive();
            if (AcceptKw("ESCAPE")) e->escape = ParseAdditive();
            const int a = HeightOf(e->operand), b = HeightOf(e->pattern), c = HeightOf(e->escape);
            return Done(std::move(e), {a, b, c});
        }
        if (op.IsKeyword("IS")) {
            auto e = std::make_unique<IsNullExpr>();
            e->pos = Take().pos;
            e->negated = AcceptKw("NOT");
            ExpectKw("NULL");
            e->operand = std::move(left);
            const int a = HeightOf(e->operand);
            return Done(std::move(e), {a});
        }
        return left;
    }

    ExprPtr ParseAdditive() {
        ExprPtr left = ParseMultiplicative();
        for (;;) {
            const Token& t = Cur();
            BinaryOp op;
            if (t.kind == TokenKind::Plus) {
                op = BinaryOp::Add;
            } else if (t.kind == TokenKind::Minus) {
                op = BinaryOp::Subtract;
            } else if (t.kind == TokenKind::Concat) {
                op = BinaryOp::Concat;
            } else {
                return left;
            }
            Take();
            left = MakeBinary(op, std::move(left), ParseMultiplicative(), t.pos);
        }
    }

    ExprPtr ParseMultiplicative() {
        ExprPtr left = ParseUnary();
        for (;;) {
            const Token& t = Cur();
            BinaryOp op;
            if (t.kind == TokenKind::Star) {
                op = BinaryOp::Multiply;
            } else if (t.kind == TokenKind::Slash) {
                op = BinaryOp::Divide;
            } else {
                return left;
            }
            Take();
            left = MakeBinary(op, std::move(left), ParseUnary(), t.pos);
        }
    }

    ExprPtr ParseUnary() {
        const Token& t = Cur();
        if (t.kind != TokenKind::Minus && t.kind != TokenKind::Plus) return ParsePrimary();
        Nest nest(*this);
        Take();
        // A minus right before a number is part of the literal: -5 is a number, not an
        // operation, which keeps the smallest integers representable for the binder.
        if (t.kind == TokenKind::Minus && Cur().kind == TokenKind::Number) {
            // Only a unary operator binds tighter than "*", so -2 * 3 is (-2) * 3 either way.
            auto e = MakeNumber(Cur());
            e->pos = t.pos;
            e->As<NumberExpr>().text.insert(0, "-");
            return e;
        }
        auto u = std::make_unique<UnaryExpr>();
        u->pos = t.pos;
        u->op = t.kind == TokenKind::Minus ? UnaryOp::Negate : UnaryOp::Plus;
        u->operand = ParseUnary();
        const int h = HeightOf(u->operand);
        return Done(std::move(u), {h});
    }

    ExprPtr MakeNumber(const Token& n) {
        auto e = std::make_unique<NumberExpr>();
        e->pos = n.pos;
        e->text = std::string(n.text);
        e->isInteger = std::all_of(n.text.begin(), n.text.end(), [](char c) { return c >= '0' && c <= '9'; });
        Take();
        return Done(std::move(e), {});
    }

    ExprPtr MakeColumn(const Token& first) {
        auto c = std::make_unique<ColumnExpr>();
        c->pos = first.pos;
        Identifier id = TakeIdentifier(first);
        if (Accept(TokenKind::Dot)) {
            c->qualifier = std::move(id);
            const Token& n = Cur();
            if (n.kind != TokenKind::Identifier && n.kind != TokenKind::String) Fail();
            c->name = TakeIdentifier(n);
        } else {
            c->name = std::move(id);
        }
        return Done(std::move(c), {});
    }

    ExprPtr ParsePrimary() {
        const Token& t = Cur();
        switch (t.kind) {
            case TokenKind::Number:
                return MakeNumber(t);
            case TokenKind::String: {
                // A quoted name followed by "." qualifies a column ("fish.db"."Species No");
                // alone it is a string.
                if (Peek(1).kind == TokenKind::Dot) return MakeColumn(t);
                auto s = std::make_unique<StringExpr>();
                s->pos = t.pos;
                s->value = t.value;
                s->quote = t.quote;
                Take();
                return Done(std::move(s), {});
            }
            case TokenKind::Identifier:
                if (Peek(1).kind == TokenKind::LParen) return ParseCall(t);
                return MakeColumn(t);
            case TokenKind::Param:
            case TokenKind::Question: {
                auto p = std::make_unique<ParamExpr>();
                p->pos = t.pos;
                if (t.kind == TokenKind::Param) p->name = t.value;
                p->index = static_cast<int>(params_.size());
                params_.push_back(ParameterInfo{p->name, t.pos});
                Take();
                return Done(std::move(p), {});
            }
            case TokenKind::LParen: {
                if (Peek(1).IsKeyword("SELECT")) {
                    auto s = std::make_unique<SubqueryExpr>();
                    s->pos = t.pos;
                    s->query = ParseParenQuery();
                    const int h = s->query->height;
                    return Done(std::move(s), {h});
                }
                Take();
                ExprPtr inner = ParseExpr();
                Expect(TokenKind::RParen);
                return inner;
            }
            case TokenKind::Keyword:
                return ParseKeywordPrimary(t);
            default:
                Fail();
        }
    }

    ExprPtr ParseCall(const Token& nameToken) {
        auto f = std::make_unique<FunctionExpr>();
        f->pos = nameToken.pos;
        f->name = TakeIdentifier(nameToken);
        Expect(TokenKind::LParen);
        int h = 0;
        if (!Accept(TokenKind::RParen)) {
            do {
                f->args.push_back(ParseExpr());
                h = std::max(h, HeightOf(f->args.back()));
            } while (Accept(TokenKind::Comma));
            Expect(TokenKind::RParen);
        }
        return Done(std::move(f), {h});
    }

    ExprPtr ParseKeywordPrimary(const Token& t) {
        const std::string& kw = t.value;
        if (kw == "NULL") {
            auto e = std::make_unique<NullExpr>();
            e->pos = Take().pos;
            return Done(std::move(e), {});
        }
        if (kw == "TRUE" || kw == "FALSE") {
            auto e = std::make_unique<BoolExpr>();
            e->pos = t.pos;
            e->value = kw == "TRUE";
            Take();
            return Done(std::move(e), {});
        }
        if (kw == "EXISTS") {
            auto e = std::make_unique<ExistsExpr>();
            e->pos = Take().pos;
            e->query = ParseParenQuery();
            const int h = e->query->height;
            return Done(std::move(e), {h});
        }
        if (kw == "UPPER" || kw == "LOWER") {
            auto f = std::make_unique<FunctionExpr>();
            f->pos = t.pos;
            f->name = TakeIdentifier(t);
            f->name.text = std::string(t.text);
            Expect(TokenKind::LParen);
            f->args.push_back(ParseExpr());
            Expect(TokenKind::RParen);
            const int h = HeightOf(f->args.back());
            return Done(std::move(f), {h});
        }
        if (kw == "COUNT" || kw == "SUM" || kw == "AVG" || kw == "MIN" || kw == "MAX") {
            auto a = std::make_unique<AggregateExpr>();
            a->pos = Take().pos;
            a->func = kw == "COUNT" ? AggregateFunc::Count
                      : kw == "SUM" ? AggregateFunc::Sum
                      : kw == "AVG" ? AggregateFunc::Avg
                      : kw == "MIN" ? AggregateFunc::Min
                                    : AggregateFunc::Max;
            Expect(TokenKind::LParen);
            if (a->func == AggregateFunc::Count && Accept(TokenKind::Star)) {
                Expect(TokenKind::RParen);
                return Done(std::move(a), {});
            }
            a->distinct = AcceptKw("DISTINCT");
            a->arg = ParseExpr();
            Expect(TokenKind::RParen);
            const int h = HeightOf(a->arg);
            return Done(std::move(a), {h});
        }
        if (kw == "CAST") {
            auto c = std::make_unique<CastExpr>();
            c->pos = Take().pos;
            Expect(TokenKind::LParen);
            c->operand = ParseExpr();
            ExpectKw("AS");
            c->type = ParseType();
            Expect(TokenKind::RParen);
            const int h = HeightOf(c->operand);
            return Done(std::move(c), {h});
        }
        if (kw == "EXTRACT") {
            auto e = std::make_unique<ExtractExpr>();
            e->pos = Take().pos;
            Expect(TokenKind::LParen);
            static constexpr std::pair<const char*, DatePart> kParts[] = {
                {"YEAR", DatePart::Year}, {"MONTH", DatePart::Month},   {"DAY", DatePart::Day},
                {"HOUR", DatePart::Hour}, {"MINUTE", DatePart::Minute}, {"SECOND", DatePart::Second}};
            bool found = false;
            for (const auto& [name, part] : kParts) {
                if (Cur().IsKeyword(name)) {
                    e->part = part;
                    found = true;
                    break;
                }
            }
            if (!found) Fail();
            Take();
            ExpectKw("FROM");
            e->operand = ParseExpr();
            Expect(TokenKind::RParen);
            const int h = HeightOf(e->operand);
            return Done(std::move(e), {h});
        }
        if (kw == "SUBSTRING") {
            auto s = std::make_unique<SubstringExpr>();
            s->pos = Take().pos;
            Expect(TokenKind::LParen);
            s->operand = ParseExpr();
            ExpectKw("FROM");
            s->start = ParseExpr();
            if (AcceptKw("FOR")) s->length = ParseExpr();
            Expect(TokenKind::RParen);
            const int a = HeightOf(s->operand), b = HeightOf(s->start), c = HeightOf(s->length);
            return Done(std::move(s), {a, b, c});
        }
        if (kw == "TRIM") return ParseTrim();
        Fail();
    }

    ExprPtr ParseTrim() {
        auto e = std::make_unique<TrimExpr>();
        e->pos = Take().pos;
        Expect(TokenKind::LParen);
        bool sideGiven = true;
        if (AcceptKw("LEADING")) {
            e->side = TrimSide::Leading;
        } else if (AcceptKw("TRAILING")) {
            e->side = TrimSide::Trailing;
        } else if (AcceptKw("BOTH")) {
            e->side = TrimSide::Both;
        } else {
            sideGiven = false;
        }
        if (sideGiven) {
            if (!AcceptKw("FROM")) {
                e->character = ParseExpr();
                ExpectKw("FROM");
            }
            e->operand = ParseExpr();
        } else {
            ExprPtr first = ParseExpr();
            if (AcceptKw("FROM")) {
                e->character = std::move(first);
                e->operand = ParseExpr();
            } else {
                e->operand = std::move(first);  // TRIM(x)
            }
        }
        Expect(TokenKind::RParen);
        const int a = HeightOf(e->character), b = HeightOf(e->operand);
        return Done(std::move(e), {a, b});
    }

    // ---- types

    int ParseSize() {
        const Token& t = Cur();
        if (t.kind != TokenKind::Number) Fail();
        if (t.text.size() > 7 ||
            !std::all_of(t.text.begin(), t.text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            Fail("Invalid field size");
        }
        Take();
        return std::stoi(std::string(t.text));
    }

    TypeSpec ParseType() {
        struct Known {
            const char* word;
            TypeName name;
            int maxNumbers;   // numbers allowed in parentheses
            bool sizeNeeded;  // the first number is required
        };
        static constexpr Known kTypes[] = {
            {"SMALLINT", TypeName::Smallint, 0, false},   {"INTEGER", TypeName::Integer, 0, false},
            {"DECIMAL", TypeName::Decimal, 2, false},     {"NUMERIC", TypeName::Numeric, 2, false},
            {"FLOAT", TypeName::Float, 2, false},         {"CHAR", TypeName::Char, 1, true},
            {"CHARACTER", TypeName::Char, 1, true},       {"VARCHAR", TypeName::Varchar, 1, true},
            {"DATE", TypeName::Date, 0, false},           {"TIME", TypeName::Time, 0, false},
            {"TIMESTAMP", TypeName::Timestamp, 0, false}, {"BOOLEAN", TypeName::Boolean, 0, false},
            {"MONEY", TypeName::Money, 0, false},         {"AUTOINC", TypeName::Autoinc, 0, false},
            {"BYTES", TypeName::Bytes, 1, true},          {"BLOB", TypeName::Blob, 2, false},
        };
        const Token& t = Cur();
        const Known* known = nullptr;
        if (t.kind == TokenKind::Keyword) {
            for (const Known& k : kTypes) {
                if (t.value == k.word) known = &k;
            }
        }
        if (!known) Fail(t.kind == TokenKind::Identifier ? "Invalid field type" : nullptr);
        TypeSpec type;
        type.name = known->name;
        type.spelling = std::string(t.text);
        type.pos = t.pos;
        Take();
        if (known->maxNumbers > 0 && Accept(TokenKind::LParen)) {
            type.size = ParseSize();
            if (known->maxNumbers > 1 && Accept(TokenKind::Comma)) type.scale = ParseSize();
            Expect(TokenKind::RParen);
        } else if (known->sizeNeeded) {
            Fail();
        }
        return type;
    }

    // ---- DML

    StatementPtr ParseInsert() {
        auto s = std::make_unique<InsertStatement>();
        ExpectKw("INSERT");
        ExpectKw("INTO");
        s->table = ParseTableName();
        if (Cur().kind == TokenKind::LParen) s->columns = ParseColumnNameList();
        if (Cur().IsKeyword("SELECT")) {
            s->query = ParseQuery();
        } else {
            ExpectKw("VALUES");
            Expect(TokenKind::LParen);
            do {
                s->values.push_back(ParseExpr());
            } while (Accept(TokenKind::Comma));
            Expect(TokenKind::RParen);
        }
        return s;
    }

    StatementPtr ParseUpdate() {
        auto s = std::make_unique<UpdateStatement>();
        ExpectKw("UPDATE");
        s->table = ParseTableName();
        s->correlation = ParseCorrelation();
        ExpectKw("SET");
        do {
            Assignment a;
            a.column = ParseColumnName();
            Expect(TokenKind::Eq);
            a.value = ParseExpr();
            s->assignments.push_back(std::move(a));
        } while (Accept(TokenKind::Comma));
        if (AcceptKw("WHERE")) s->where = ParseExpr();
        return s;
    }

    StatementPtr ParseDelete() {
        auto s = std::make_unique<DeleteStatement>();
        ExpectKw("DELETE");
        ExpectKw("FROM");
        s->table = ParseTableName();
        s->correlation = ParseCorrelation();
        if (AcceptKw("WHERE")) s->where = ParseExpr();
        return s;
    }

    // ---- DDL

    ColumnDef ParseColumnDef() {
        ColumnDef def;
        def.name = ParseColumnName();
        def.type = ParseType();
        return def;
    }

    StatementPtr ParseCreateTable() {
        auto s = std::make_unique<CreateTableStatement>();
        ExpectKw("CREATE");
        ExpectKw("TABLE");
        s->table = ParseTableName();
        Expect(TokenKind::LParen);
        bool keySeen = false;
        do {
            if (Cur().IsKeyword("PRIMARY")) {
                if (keySeen) Fail();
                keySeen = true;
                s->primaryKeyPos = Take().pos;
                ExpectKw("KEY");
                s->primaryKey = ParseColumnNameList();
            } else {
                s->columns.push_back(ParseColumnDef());
            }
        } while (Accept(TokenKind::Comma));
        Expect(TokenKind::RParen);
        return s;
    }

    // ADD COLUMN x / DROP COLUMN x: COLUMN is a filler word only when a name follows it.
    void SkipColumnWord() {
        if (CurIsWord("COLUMN") && (Peek(1).kind == TokenKind::Identifier || Peek(1).kind == TokenKind::String)) {
            Take();
        }
    }

    StatementPtr ParseAlterTable() {
        auto s = std::make_unique<AlterTableStatement>();
        ExpectKw("ALTER");
        ExpectKw("TABLE");
        s->table = ParseTableName();
        do {
            AlterAction a;
            a.pos = Cur().pos;
            if (AcceptKw("ADD")) {
                a.kind = AlterAction::Kind::Add;
                SkipColumnWord();
                a.column = ParseColumnDef();
            } else if (AcceptKw("DROP")) {
                a.kind = AlterAction::Kind::Drop;
                SkipColumnWord();
                a.column.name = ParseColumnName();
            } else {
                Fail();
            }
            s->actions.push_back(std::move(a));
        } while (Accept(TokenKind::Comma));
        return s;
    }

    StatementPtr ParseDropTable() {
        auto s = std::make_unique<DropTableStatement>();
        ExpectKw("DROP");
        ExpectKw("TABLE");
        s->table = ParseTableName();
        return s;
    }

    StatementPtr ParseCreateIndex() {
        auto s = std::make_unique<CreateIndexStatement>();
        ExpectKw("CREATE");
        s->unique = AcceptKw("UNIQUE");
        if (AcceptKw("DESC")) {
            s->descending = true;
        } else {
            AcceptKw("ASC");
        }
        ExpectKw("INDEX");
        s->name = ParseName();
        ExpectKw("ON");
        s->table = ParseTableName();
        s->columns = ParseColumnNameList();
        return s;
    }

    StatementPtr ParseDropIndex() {
        auto s = std::make_unique<DropIndexStatement>();
        ExpectKw("DROP");
        ExpectKw("INDEX");
        s->table = ParseTableName(/*extensionNeedsDot=*/true);
        Expect(TokenKind::Dot);
        if (Cur().IsKeyword("PRIMARY")) {
            s->primary = true;
            s->name = TakeIdentifier(Cur());
        } else {
            s->name = ParseName();
        }
        return s;
    }

    std::vector<Token> tokens_;
    const ParseLimits& limits_;
    size_t pos_ = 0;
    size_t prevEnd_ = 0;
    int depth_ = 0;
    std::vector<int> heights_;  // per open query: the greatest height inside it so far
    std::vector<ParameterInfo> params_;
};

std::vector<Token> Lex(std::string_view text, const ParseOptions& options) {
    return Tokenize(text, options.lex);
}

}  // namespace

StatementPtr ParseSingleStatement(std::string_view text, const ParseOptions& options) {
    if (text.size() > options.limits.maxStatementLength) {
        throw EngineError("Statement too long (" + std::to_string(text.size()) + " characters, at most " +
                              std::to_string(options.limits.maxStatementLength) + ")",
                          errc::kSqlSyntax);
    }
    Parser p(Lex(text, options), options.limits);
    if (p.AtEnd()) throw EngineError("No SQL statement available", errc::kSqlSyntax);
    StatementPtr stmt = p.ParseStatement();
    if (p.AcceptSemicolon()) {
        if (!p.AtEnd()) p.Fail(kOneStatement);
    } else if (!p.AtEnd()) {
        p.Fail();
    }
    return stmt;
}

std::vector<StatementPtr> ParseScript(std::string_view text, const ParseOptions& options) {
    Parser p(Lex(text, options), options.limits);
    std::vector<StatementPtr> statements;
    for (;;) {
        while (p.AcceptSemicolon()) {
        }
        if (p.AtEnd()) break;
        statements.push_back(p.ParseStatement());
        if (!p.AtEnd() && !p.AcceptSemicolon()) p.Fail();
    }
    return statements;
}

std::vector<ScriptPiece> SplitScript(std::string_view text) {
    std::vector<ScriptPiece> pieces;
    SourcePos here;
    size_t i = 0;
    auto advance = [&]() {
        StepOver(text, i, here.line, here.column);
        ++i;
        ++here.offset;
    };
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    bool inPiece = false;
    SourcePos start;
    size_t end = 0;  // just after the last byte that is not white space or comment
    auto finish = [&]() {
        if (inPiece) pieces.push_back(ScriptPiece{text.substr(start.offset, end - start.offset), start});
        inPiece = false;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (isSpace(c)) {
            advance();
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            advance();
            advance();
            while (i < text.size() && !(text[i] == '*' && i + 1 < text.size() && text[i + 1] == '/')) advance();
            if (i < text.size()) {
                advance();
                advance();
            }
        } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            while (i < text.size() && text[i] != '\n' && text[i] != '\r') advance();
        } else if (c == ';') {
            finish();
            advance();
        } else {
            if (!inPiece) {
                inPiece = true;
                start = here;
            }
            if (c == '\'' || c == '"') {
                advance();
                while (i < text.size() && text[i] != c) advance();
                if (i < text.size()) advance();  // a doubled quote reopens on the next turn
            } else {
                advance();
            }
            end = i;
        }
    }
    finish();
    return pieces;
}

}  // namespace tessel::engine::sql
