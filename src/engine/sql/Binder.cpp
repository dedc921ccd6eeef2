// The binder: names, types and coercions of the local dialect, and the SQLite translation.

#include "engine/sql/Binder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "base/AsciiText.h"
#include "engine/drivers/Drivers.h"
#include "engine/sql/DialectFunctions.h"
#include "engine/sql/DialectValues.h"
#include "engine/sql/SyntaxError.h"

namespace tessel::engine::sql {

std::string QuoteSqliteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

namespace {

// ---- Small helpers ------------------------------------------------------------------------

std::string QuoteString(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

size_t CharCount(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

uint16_t ClampU16(size_t v) {
    return static_cast<uint16_t>(std::min<size_t>(v, 65535));
}

[[noreturn]] void Fail(const std::string& headline, const std::string& token, const SourcePos& pos) {
    throw SyntaxError(headline, token, pos, errc::kSqlBind);
}

[[noreturn]] void Mismatch(const std::string& token, const SourcePos& pos) {
    Fail("Type mismatch in expression", token, pos);
}

[[noreturn]] void NotSupported(const std::string& token, const SourcePos& pos) {
    Fail("Capability not supported", token, pos);
}

// ---- Types --------------------------------------------------------------------------------

enum class Fam { Null, String, Number, Bool, Date, Time, Timestamp, Binary };

struct Ty {
    uint16_t type = fldtype::kUnknown;
    uint16_t sub = fldsub::kNone;
    uint16_t units1 = 0;
    uint16_t units2 = 0;
    char native = 0;
    int fixed = -1;  // scale of an exact fixed-point value; -1 for anything else
};

Fam FamilyOf(const Ty& t) {
    switch (t.type) {
        case fldtype::kString:
            return Fam::String;
        case fldtype::kBlob:
            return t.sub == fldsub::kMemo || t.sub == fldsub::kFormattedMemo || t.sub == fldsub::kNone ? Fam::String
                                                                                                       : Fam::Binary;
        case fldtype::kInt16:
        case fldtype::kInt32:
        case fldtype::kFloat:
        case fldtype::kBcd:
            return Fam::Number;
        case fldtype::kBool:
            return Fam::Bool;
        case fldtype::kDate:
            return Fam::Date;
        case fldtype::kTime:
            return Fam::Time;
        case fldtype::kTimestamp:
            return Fam::Timestamp;
        case fldtype::kBytes:
            return Fam::Binary;
        default:
            return Fam::Null;
    }
}

bool IsInteger(const Ty& t) {
    return t.type == fldtype::kInt16 || t.type == fldtype::kInt32;
}

// The scale at which a field's values are exact: dBASE numbers (with decimals or without),
// money, BCD.
int FixedScaleOf(const FieldDesc& f) {
    int scale = -1;
    if (f.type == fldtype::kBcd) {
        scale = f.units2;
    } else if (f.type == fldtype::kFloat) {
        if (f.subType == fldsub::kMoney)
            scale = f.units2 > 0 ? f.units2 : 4;
        else if ((f.nativeType == 'N' || f.nativeType == 'F') && f.units1 > 0)
            scale = f.units2;  // digits in the file (dBASE): N(n,0) is an exact whole number
    }
    return std::min(scale, kMaxExactScale);
}

Ty TyOfField(const FieldDesc& f) {
    Ty t;
    t.type = f.type;
    t.sub = f.subType;
    t.units1 = f.units1;
    t.units2 = f.units2;
    t.native = f.nativeType;
    t.fixed = FixedScaleOf(f);
    return t;
}

Ty Simple(uint16_t type, uint16_t units1 = 0) {
    Ty t;
    t.type = type;
    t.units1 = units1;
    return t;
}

Ty FixedNumber(int scale, bool bcd) {
    Ty t;
    t.type = bcd ? fldtype::kBcd : fldtype::kFloat;
    t.units1 = bcd ? 32 : 20;
    t.units2 = static_cast<uint16_t>(scale);
    t.native = bcd ? 0 : 'N';
    t.fixed = scale;
    return t;
}

const char* TypeWord(const Ty& t) {
    switch (FamilyOf(t)) {
        case Fam::String:
            return "text";
        case Fam::Number:
            return "number";
        case Fam::Bool:
            return "logical";
        case Fam::Date:
            return "date";
        case Fam::Time:
            return "time";
        case Fam::Timestamp:
            return "timestamp";
        case Fam::Binary:
            return "binary";
        default:
            return "null";
    }
}

// ---- Bound expressions --------------------------------------------------------------------

enum class Lit { None, Null, String, Param, Number, Bool };

struct BExpr {
    std::string sql;
    Ty ty;
    Lit lit = Lit::None;
    std::string text;                  // a string literal's value
    int param = -1;                    // a parameter's index
    bool aggregate = false;            // holds an aggregate of the query being bound
    const FieldDesc* field = nullptr;  // a plain column: its descriptor
    std::string columnKey;             // a plain column: "alias.FIELD" (for GROUP BY checks)
    std::string defaultName;           // answer name when no alias is given ("" = EXPRn)
    SourcePos pos;
    std::string token;  // what error messages name
    std::string exact;  // a number literal without exponent, sign included: its digits as written
    // A left-associative chain (a AND b AND c, a + b - c, a || b || c) is written without
    // nesting its left operands in parentheses: SQLite's parser has a small fixed stack, and
    // a long chain of conditions must not exhaust it. `sql` is "(" + inner + ")".
    int group = 0;
    std::string inner;
};

int ChainGroup(BinaryOp op) {
    switch (op) {
        case BinaryOp::And:
            return 1;
        case BinaryOp::Or:
            return 2;
        case BinaryOp::Add:
        case BinaryOp::Subtract:
            return 3;
        case BinaryOp::Multiply:
            return 4;
        case BinaryOp::Concat:
            return 5;
        default:
            return 0;
    }
}

// `left op right` as a chain link: the left operand's parentheses are dropped when it is a
// link of the same chain.
void Chain(BExpr& r, const BExpr& left, const std::string& op, const std::string& right, int group) {
    r.inner = (left.group == group ? left.inner : left.sql) + " " + op + " " + right;
    r.sql = "(" + r.inner + ")";
    r.group = group;
}

// ---- Scopes -------------------------------------------------------------------------------

struct TableEntry {
    const CatalogTable* table = nullptr;
    std::string correlation;  // empty when none was written
    TableName name;
    std::string alias;  // the SQLite alias
};

struct Scope {
    Scope* parent = nullptr;
    std::vector<TableEntry> tables;
    bool grouped = false;
    std::vector<std::string> groupKeys;
    bool aggregatesAllowed = false;
    bool inAggregate = false;
};

std::string BaseName(std::string_view path) {
    const size_t slash = path.find_last_of("/\\:");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WithoutExtension(const std::string& s) {
    const size_t dot = s.rfind('.');
    return dot == std::string::npos ? s : s.substr(0, dot);
}

bool MatchesTableName(const TableEntry& t, const std::string& q) {
    const std::string base = BaseName(t.name.name.empty() ? t.name.text : t.name.name);
    if (SameAscii(q, t.name.text) || SameAscii(q, base) || SameAscii(q, WithoutExtension(base))) return true;
    // The file the name resolved to: "employee.db" qualifies a table written as employee.
    if (!t.table) return false;
    const std::string file = BaseName(t.table->path);
    return SameAscii(q, file) || SameAscii(q, WithoutExtension(file));
}

// ---- Query shape --------------------------------------------------------------------------

struct QueryResult {
    std::string sql;
    std::optional<LiveSource> live;  // see BoundStatement
    std::string notLive;
    std::vector<Ty> types;
    std::vector<FieldDesc> fields;  // answer fields (names unique)
    std::vector<const FieldDesc*> sourceFields;
};

void ForEachChild(const Expr& e, const std::function<void(const Expr&)>& fn) {
    auto visit = [&](const ExprPtr& p) {
        if (p) fn(*p);
    };
    switch (e.kind) {
        case ExprKind::Unary:
            visit(e.As<UnaryExpr>().operand);
            break;
        case ExprKind::Binary:
            visit(e.As<BinaryExpr>().left);
            visit(e.As<BinaryExpr>().right);
            break;
        case ExprKind::Like:
            visit(e.As<LikeExpr>().operand);
            visit(e.As<LikeExpr>().pattern);
            visit(e.As<LikeExpr>().escape);
            break;
        case ExprKind::Between:
            visit(e.As<BetweenExpr>().operand);
            visit(e.As<BetweenExpr>().low);
            visit(e.As<BetweenExpr>().high);
            break;
        case ExprKind::InList:
            visit(e.As<InListExpr>().operand);
            for (const auto& i : e.As<InListExpr>().items) visit(i);
            break;
        case ExprKind::InQuery:
            visit(e.As<InQueryExpr>().operand);
            break;
        case ExprKind::IsNull:
            visit(e.As<IsNullExpr>().operand);
            break;
        case ExprKind::Quantified:
            visit(e.As<QuantifiedExpr>().left);
            break;
        case ExprKind::Function:
            for (const auto& a : e.As<FunctionExpr>().args) visit(a);
            break;
        case ExprKind::Aggregate:
            visit(e.As<AggregateExpr>().arg);
            break;
        case ExprKind::Cast:
            visit(e.As<CastExpr>().operand);
            break;
        case ExprKind::Extract:
            visit(e.As<ExtractExpr>().operand);
            break;
        case ExprKind::Substring:
            visit(e.As<SubstringExpr>().operand);
            visit(e.As<SubstringExpr>().start);
            visit(e.As<SubstringExpr>().length);
            break;
        case ExprKind::Trim:
            visit(e.As<TrimExpr>().character);
            visit(e.As<TrimExpr>().operand);
            break;
        default:
            break;
    }
}

bool ContainsAggregate(const Expr& e) {
    if (e.kind == ExprKind::Aggregate) return true;
    bool found = false;
    ForEachChild(e, [&](const Expr& c) { found = found || ContainsAggregate(c); });
    return found;
}

const char* AggregateName(AggregateFunc f) {
    switch (f) {
        case AggregateFunc::Count:
            return "COUNT";
        case AggregateFunc::Sum:
            return "SUM";
        case AggregateFunc::Avg:
            return "AVG";
        case AggregateFunc::Min:
            return "MIN";
        case AggregateFunc::Max:
            return "MAX";
    }
    return "";
}

const char* CompareText(BinaryOp op) {
    switch (op) {
        case BinaryOp::Eq:
            return "=";
        case BinaryOp::Ne:
            return "<>";
        case BinaryOp::Lt:
            return "<";
        case BinaryOp::Le:
            return "<=";
        case BinaryOp::Gt:
            return ">";
        case BinaryOp::Ge:
            return ">=";
        default:
            return "=";
    }
}

bool IsComparison(BinaryOp op) {
    return op == BinaryOp::Eq || op == BinaryOp::Ne || op == BinaryOp::Lt || op == BinaryOp::Le || op == BinaryOp::Gt ||
           op == BinaryOp::Ge;
}

// ---- The binder ---------------------------------------------------------------------------

class Binder {
public:
    Binder(const Statement& statement, Catalog& catalog) : st_(statement), catalog_(catalog) {
        out_.params.resize(statement.parameters.size());
    }

    BoundStatement Run() {
        switch (st_.kind) {
            case StatementKind::Select:
                BindSelect(st_.As<SelectStatement>());
                break;
            case StatementKind::Insert:
                BindInsert(st_.As<InsertStatement>());
                break;
            case StatementKind::Update:
                BindUpdate(st_.As<UpdateStatement>());
                break;
            case StatementKind::Delete:
                BindDelete(st_.As<DeleteStatement>());
                break;
            case StatementKind::CreateTable:
                BindCreateTable(st_.As<CreateTableStatement>());
                break;
            case StatementKind::AlterTable:
                BindAlterTable(st_.As<AlterTableStatement>());
                break;
            case StatementKind::DropTable: {
                const auto& d = st_.As<DropTableStatement>();
                out_.kind = BoundKind::DropTable;
                out_.tablePath = catalog_.ResolveTable(d.table).path;
                break;
            }
            case StatementKind::CreateIndex:
                BindCreateIndex(st_.As<CreateIndexStatement>());
                break;
            case StatementKind::DropIndex: {
                const auto& d = st_.As<DropIndexStatement>();
                out_.kind = BoundKind::DropIndex;
                out_.tablePath = catalog_.ResolveTable(d.table).path;
                out_.indexName = d.primary ? "PRIMARY" : d.name.text;
                break;
            }
        }
        return std::move(out_);
    }

private:
    // ---- Tables ----

    const CatalogTable& Resolve(const TableName& name) {
        const CatalogTable& t = catalog_.ResolveTable(name);
        if (std::find(out_.reads.begin(), out_.reads.end(), &t) == out_.reads.end()) out_.reads.push_back(&t);
        return t;
    }

    void AddTable(Scope& scope, const NamedTableRef& ref) {
        TableEntry e;
        e.table = &Resolve(ref.table);
        e.name = ref.table;
        if (ref.correlation) e.correlation = ref.correlation->text;
        e.alias = "t" + std::to_string(++aliasCounter_);
        const std::string mine = e.correlation.empty() ? ref.table.text : e.correlation;
        for (const auto& other : scope.tables) {
            const std::string theirs = other.correlation.empty() ? other.name.text : other.correlation;
            if (SameAscii(mine, theirs))
                Fail("Duplicate table or correlation name", mine,
                     ref.correlation ? ref.correlation->pos : ref.table.pos);
        }
        scope.tables.push_back(std::move(e));
    }

    std::string TableSql(const TableEntry& e) {
        return QuoteSqliteIdentifier(e.table->sqliteName) + " AS " + QuoteSqliteIdentifier(e.alias);
    }

    std::string BindTableRef(const TableRef& ref, Scope& scope) {
        if (ref.kind == TableRefKind::Table) {
            AddTable(scope, ref.As<NamedTableRef>());
            return TableSql(scope.tables.back());
        }
        const auto& j = ref.As<JoinRef>();
        const std::string left = BindTableRef(*j.left, scope);
        std::string right = BindTableRef(*j.right, scope);
        if (j.right->kind == TableRefKind::Join) right = "(" + right + ")";
        std::string cond = "1";
        if (j.condition) {
            BExpr c = BindExpr(*j.condition, scope);
            RequireCondition(c);
            cond = c.sql;
        }
        const char* kind = j.joinKind == JoinKind::Left    ? " LEFT JOIN "
                           : j.joinKind == JoinKind::Right ? " RIGHT JOIN "
                           : j.joinKind == JoinKind::Full  ? " FULL JOIN "
                                                           : " JOIN ";
        return left + kind + right + " ON " + cond;
    }

    // ---- Columns ----

    BExpr ColumnRef(const TableEntry& t, const FieldDesc& f, const SourcePos& pos) {
        BExpr b;
        b.sql = QuoteSqliteIdentifier(t.alias) + "." + QuoteSqliteIdentifier(f.name);
        b.ty = TyOfField(f);
        b.field = &f;
        b.columnKey = t.alias + "." + AsciiUpper(f.name);
        b.defaultName = f.name;
        b.pos = pos;
        b.token = f.name;
        return b;
    }

    static const FieldDesc* FindField(const CatalogTable& t, const std::string& name) {
        for (const auto& f : t.fields)
            if (!f.hidden && SameAscii(f.name, name)) return &f;
        return nullptr;
    }

    BExpr ResolveColumn(const std::optional<Identifier>& qualifier, const Identifier& name, Scope& scope,
                        const SourcePos& pos) {
        const std::string token = qualifier ? qualifier->text + "." + name.text : name.text;
        for (Scope* s = &scope; s; s = s->parent) {
            const TableEntry* entry = nullptr;
            const FieldDesc* field = nullptr;
            if (qualifier) {
                for (int pass = 0; pass < 2 && !entry; ++pass) {
                    for (const auto& t : s->tables) {
                        const bool match = pass == 0
                                               ? !t.correlation.empty() && SameAscii(t.correlation, qualifier->text)
                                               : MatchesTableName(t, qualifier->text);
                        if (!match) continue;
                        if (entry) Fail("Ambiguous field name", token, pos);
                        entry = &t;
                    }
                }
                if (!entry) continue;
                field = FindField(*entry->table, name.text);
                if (!field) Fail("Invalid field name", token, pos);
            } else {
                for (const auto& t : s->tables) {
                    const FieldDesc* f = FindField(*t.table, name.text);
                    if (!f) continue;
                    if (entry) Fail("Ambiguous field name", token, pos);
                    entry = &t;
                    field = f;
                }
                if (!entry) continue;
            }
            BExpr b = ColumnRef(*entry, *field, pos);
            if (s == &scope && scope.grouped && !scope.inAggregate &&
                std::find(scope.groupKeys.begin(), scope.groupKeys.end(), b.columnKey) == scope.groupKeys.end())
                Fail("Field must be in GROUP BY or in an aggregate", token, pos);
            return b;
        }
        Fail("Invalid field name", token, pos);
    }

    // ---- Coercions ----

    void TypeParam(BExpr& p, const Ty& t) {
        if (p.lit != Lit::Param || FamilyOf(t) == Fam::Null) return;
        auto& binding = out_.params[static_cast<size_t>(p.param)];
        if (binding.type == fldtype::kUnknown) {
            binding.type = t.type == fldtype::kBlob && FamilyOf(t) == Fam::String ? fldtype::kString : t.type;
            binding.units2 = t.fixed > 0 ? static_cast<uint16_t>(t.fixed) : 0;
        }
        p.ty = t;
    }

    // A string literal read as a value of the family of `target`.
    void ConvertLiteral(BExpr& e, const Ty& target) {
        const Fam fam = FamilyOf(target);
        const std::string token = "'" + e.text + "'";
        switch (fam) {
            case Fam::Number: {
                double d = 0;
                int decimals = 0;
                if (!ParseNumberLiteral(e.text, d, decimals)) Mismatch(token, e.pos);
                std::string t = e.text;
                t.erase(0, t.find_first_not_of(" \t"));
                t.erase(t.find_last_not_of(" \t") + 1);
                if (!t.empty() && t[0] == '+') t.erase(0, 1);
                e.sql = "(" + t + ")";
                if (decimals == 0 && std::fabs(d) < 2147483648.0)
                    e.ty = Simple(fldtype::kInt32);
                else if (decimals > 0 && decimals <= kMaxExactScale)
                    e.ty = FixedNumber(decimals, false);
                else
                    e.ty = Simple(fldtype::kFloat);
                e.lit = Lit::Number;
                return;
            }
            case Fam::Bool: {
                const auto b = ParseBoolLiteral(e.text);
                if (!b) Mismatch(token, e.pos);
                e.sql = *b ? "1" : "0";
                e.ty = Simple(fldtype::kBool);
                e.lit = Lit::Bool;
                return;
            }
            case Fam::Date: {
                int64_t day = 0;
                if (!ParseDateLiteral(e.text, day)) Mismatch(token, e.pos);
                e.sql = QuoteString(SqliteDateText(day));
                e.ty = Simple(fldtype::kDate);
                e.lit = Lit::None;
                return;
            }
            case Fam::Time: {
                int64_t ms = 0;
                if (!ParseTimeLiteral(e.text, ms)) Mismatch(token, e.pos);
                e.sql = QuoteString(SqliteTimeText(ms));
                e.ty = Simple(fldtype::kTime);
                e.lit = Lit::None;
                return;
            }
            case Fam::Timestamp: {
                int64_t ms = 0;
                if (!ParseTimestampLiteral(e.text, ms)) Mismatch(token, e.pos);
                e.sql = QuoteString(SqliteTimestampText(ms));
                e.ty = Simple(fldtype::kTimestamp);
                e.lit = Lit::None;
                return;
            }
            default:
                return;  // text stays text; binary takes the bytes as written
        }
    }

    static void PromoteDate(BExpr& e) {
        e.sql = "(" + e.sql + " || ' 00:00:00.000')";
        e.group = 0;
        e.ty = Simple(fldtype::kTimestamp);
    }

    // Makes two operands of a comparison comparable, or fails with a type mismatch.
    void Unify(BExpr& a, BExpr& b, const SourcePos& pos, const std::string& token) {
        if (a.lit == Lit::Param && FamilyOf(b.ty) != Fam::Null) TypeParam(a, b.ty);
        if (b.lit == Lit::Param && FamilyOf(a.ty) != Fam::Null) TypeParam(b, a.ty);
        if (a.lit == Lit::String && FamilyOf(b.ty) != Fam::String && FamilyOf(b.ty) != Fam::Null &&
            b.lit != Lit::String)
            ConvertLiteral(a, b.ty);
        if (b.lit == Lit::String && FamilyOf(a.ty) != Fam::String && FamilyOf(a.ty) != Fam::Null &&
            a.lit != Lit::String)
            ConvertLiteral(b, a.ty);
        const Fam fa = FamilyOf(a.ty), fb = FamilyOf(b.ty);
        if (fa == Fam::Null || fb == Fam::Null || fa == fb) return;
        if (fa == Fam::Date && fb == Fam::Timestamp) return PromoteDate(a);
        if (fa == Fam::Timestamp && fb == Fam::Date) return PromoteDate(b);
        Mismatch(token, pos);
    }

    // Makes a value fit a column of type `target` (INSERT, SET), or fails.
    void Assign(BExpr& v, const FieldDesc& target) {
        const Ty t = TyOfField(target);
        if (v.lit == Lit::Param) TypeParam(v, t);
        if (v.lit == Lit::String) ConvertLiteral(v, t);
        const Fam fv = FamilyOf(v.ty), ft = FamilyOf(t);
        // An exact column gets a number literal as its digits: a double holds only 15 to 17 of them.
        if (!v.exact.empty() && t.fixed >= 0) v.sql = QuoteString(v.exact);
        if (fv == Fam::Null || fv == ft) return;
        if (ft == Fam::Timestamp && fv == Fam::Date) return PromoteDate(v);
        if (ft == Fam::Binary && fv == Fam::String) return;
        Fail("Type mismatch in expression",
             target.name + " (" + TypeWord(t) + ") := " + v.token + " (" + TypeWord(v.ty) + ")", v.pos);
    }

    void RequireCondition(BExpr& c) {
        if (c.lit == Lit::Param) TypeParam(c, Simple(fldtype::kBool));
        const Fam f = FamilyOf(c.ty);
        if (f != Fam::Bool && f != Fam::Null) Mismatch(c.token, c.pos);
    }

    void RequireText(BExpr& e) {
        if (e.lit == Lit::Param) TypeParam(e, Simple(fldtype::kString, 255));
        const Fam f = FamilyOf(e.ty);
        if (f != Fam::String && f != Fam::Null) Mismatch(e.token, e.pos);
    }

    void RequireNumber(BExpr& e) {
        if (e.lit == Lit::Param) TypeParam(e, Simple(fldtype::kFloat));
        if (e.lit == Lit::String) ConvertLiteral(e, Simple(fldtype::kFloat));
        const Fam f = FamilyOf(e.ty);
        if (f != Fam::Number && f != Fam::Null) Mismatch(e.token, e.pos);
    }

    void RequireInteger(BExpr& e) {
        if (e.lit == Lit::Param) TypeParam(e, Simple(fldtype::kInt32));
        RequireNumber(e);
    }

    // ---- Expressions ----

    // Text under the dialect's rule: a column of a table carries the RTRIM collation itself
    // (and leaves SQLite free to hand a constant compared with it to the table); any other
    // text expression is given it.
    static std::string Collate(const BExpr& e) {
        return FamilyOf(e.ty) == Fam::String && e.field == nullptr ? "(" + e.sql + " COLLATE RTRIM)" : e.sql;
    }

    BExpr Literal(const Expr& e, std::string sql, Ty ty, Lit lit, std::string token) {
        BExpr b;
        b.sql = std::move(sql);
        b.ty = ty;
        b.lit = lit;
        b.pos = e.pos;
        b.token = std::move(token);
        return b;
    }

    BExpr BindExpr(const Expr& e, Scope& scope) {
        switch (e.kind) {
            case ExprKind::Null:
                return Literal(e, "NULL", Ty{}, Lit::Null, "NULL");
            case ExprKind::Bool: {
                const bool v = e.As<BoolExpr>().value;
                return Literal(e, v ? "1" : "0", Simple(fldtype::kBool), Lit::Bool, v ? "TRUE" : "FALSE");
            }
            case ExprKind::Number:
                return BindNumber(e.As<NumberExpr>());
            case ExprKind::String: {
                const auto& s = e.As<StringExpr>();
                if (s.quote == '"') {
                    // A double-quoted name is always a column.
                    Identifier id{s.value, true, s.pos};
                    return ResolveColumn(std::nullopt, id, scope, s.pos);
                }
                BExpr b = Literal(e, QuoteString(s.value),
                                  Simple(fldtype::kString, ClampU16(std::max<size_t>(1, CharCount(s.value)))),
                                  Lit::String, "'" + s.value + "'");
                b.text = s.value;
                return b;
            }
            case ExprKind::Param: {
                const auto& p = e.As<ParamExpr>();
                BExpr b = Literal(e, "?" + std::to_string(p.index + 1), Ty{}, Lit::Param,
                                  p.name.empty() ? "?" : ":" + p.name);
                b.param = p.index;
                const auto& binding = out_.params[static_cast<size_t>(p.index)];
                if (binding.type != fldtype::kUnknown) {
                    b.ty = Simple(binding.type);
                    if (binding.units2) b.ty = FixedNumber(binding.units2, binding.type == fldtype::kBcd);
                }
                return b;
            }
            case ExprKind::Column: {
                const auto& c = e.As<ColumnExpr>();
                return ResolveColumn(c.qualifier, c.name, scope, c.pos);
            }
            case ExprKind::Unary:
                return BindUnary(e.As<UnaryExpr>(), scope);
            case ExprKind::Binary:
                return BindBinary(e.As<BinaryExpr>(), scope);
            case ExprKind::Like:
                return BindLike(e.As<LikeExpr>(), scope);
            case ExprKind::Between:
                return BindBetween(e.As<BetweenExpr>(), scope);
            case ExprKind::InList:
                return BindInList(e.As<InListExpr>(), scope);
            case ExprKind::InQuery:
                return BindInQuery(e.As<InQueryExpr>(), scope);
            case ExprKind::IsNull: {
                const auto& n = e.As<IsNullExpr>();
                BExpr x = BindExpr(*n.operand, scope);
                return Predicate(e, "(" + x.sql + (n.negated ? " IS NOT NULL)" : " IS NULL)"), x.aggregate);
            }
            case ExprKind::Exists: {
                const auto& x = e.As<ExistsExpr>();
                QueryResult q = BindSubquery(*x.query, scope, false);
                return Predicate(e, "(EXISTS (" + q.sql + "))", false);
            }
            case ExprKind::Quantified:
                return BindQuantified(e.As<QuantifiedExpr>(), scope);
            case ExprKind::Subquery:
                return BindScalarSubquery(e.As<SubqueryExpr>(), scope);
            case ExprKind::Function:
                return BindFunction(e.As<FunctionExpr>(), scope);
            case ExprKind::Aggregate:
                return BindAggregate(e.As<AggregateExpr>(), scope);
            case ExprKind::Cast:
                return BindCast(e.As<CastExpr>(), scope);
            case ExprKind::Extract:
                return BindExtract(e.As<ExtractExpr>(), scope);
            case ExprKind::Substring:
                return BindSubstring(e.As<SubstringExpr>(), scope);
            case ExprKind::Trim:
                return BindTrim(e.As<TrimExpr>(), scope);
        }
        NotSupported("expression", e.pos);
    }

    BExpr Predicate(const Expr& e, std::string sql, bool aggregate) {
        BExpr b;
        b.sql = std::move(sql);
        b.ty = Simple(fldtype::kBool);
        b.aggregate = aggregate;
        b.pos = e.pos;
        b.token = "condition";
        return b;
    }

    BExpr BindNumber(const NumberExpr& n) {
        Ty ty;
        if (n.isInteger) {
            errno = 0;
            const long long v = std::strtoll(n.text.c_str(), nullptr, 10);
            if (errno == 0 && v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
                ty = Simple(fldtype::kInt32);
            else
                ty = Simple(fldtype::kFloat);
        } else {
            const size_t dot = n.text.find('.');
            const bool exponent = n.text.find_first_of("eE") != std::string::npos;
            const int decimals = dot == std::string::npos ? 0 : static_cast<int>(n.text.size() - dot - 1);
            if (!exponent && decimals <= kMaxExactScale) {
                ty = FixedNumber(decimals, false);
                ty.units1 = ClampU16(std::max<size_t>(n.text.size(), 1));
            } else {
                ty = Simple(fldtype::kFloat);
            }
        }
        std::string sql = n.text;
        if (!sql.empty() && sql.back() == '.') sql += '0';
        BExpr b = Literal(n, "(" + sql + ")", ty, Lit::Number, n.text);
        if (n.text.find_first_of("eE") == std::string::npos) b.exact = sql;
        return b;
    }

    BExpr BindUnary(const UnaryExpr& u, Scope& scope) {
        BExpr x = BindExpr(*u.operand, scope);
        if (u.op == UnaryOp::Not) {
            RequireCondition(x);
            return Predicate(u, "(NOT " + x.sql + ")", x.aggregate);
        }
        RequireNumber(x);
        if (u.op == UnaryOp::Negate && !x.exact.empty())
            x.exact = x.exact[0] == '-' ? x.exact.substr(1) : "-" + x.exact;
        x.sql = u.op == UnaryOp::Negate ? "(- " + x.sql + ")" : x.sql;
        x.group = u.op == UnaryOp::Negate ? 0 : x.group;
        x.lit = Lit::None;
        x.field = nullptr;
        x.columnKey.clear();
        x.defaultName.clear();
        x.pos = u.pos;
        return x;
    }

    BExpr BindBinary(const BinaryExpr& bin, Scope& scope) {
        BExpr a = BindExpr(*bin.left, scope);
        BExpr b = BindExpr(*bin.right, scope);
        const bool agg = a.aggregate || b.aggregate;
        const std::string op = BinaryOpText(bin.op);
        const std::string token = a.token + " " + op + " " + b.token;
        if (bin.op == BinaryOp::And || bin.op == BinaryOp::Or) {
            RequireCondition(a);
            RequireCondition(b);
            BExpr r = Predicate(bin, "", agg);
            Chain(r, a, op, b.sql, ChainGroup(bin.op));
            return r;
        }
        if (IsComparison(bin.op)) {
            Unify(a, b, bin.pos, token);
            const Fam f = FamilyOf(a.ty) == Fam::Null ? FamilyOf(b.ty) : FamilyOf(a.ty);
            if (f == Fam::Binary) Mismatch(token, bin.pos);
            std::string right = b.sql;
            // A column on either side brings its collation; otherwise the comparison is given it.
            if (f == Fam::String && a.field == nullptr && b.field == nullptr) right += " COLLATE RTRIM";
            return Predicate(bin, "(" + a.sql + " " + CompareText(bin.op) + " " + right + ")", agg);
        }
        BExpr r;
        r.pos = bin.pos;
        r.token = token;
        r.aggregate = agg;
        if (bin.op == BinaryOp::Concat) {
            RequireText(a);
            RequireText(b);
            if (a.lit == Lit::Null || b.lit == Lit::Null) {
                r.sql = "NULL";
                r.ty = Simple(fldtype::kString, 1);
                return r;
            }
            const bool memo = a.ty.type == fldtype::kBlob || b.ty.type == fldtype::kBlob;
            if (memo) {
                r.ty = Simple(fldtype::kBlob);
                r.ty.sub = fldsub::kMemo;
            } else {
                r.ty = Simple(fldtype::kString, ClampU16(size_t{a.ty.units1} + b.ty.units1));
            }
            Chain(r, a, "||", b.sql, ChainGroup(bin.op));
            return r;
        }
        // Arithmetic.
        if (a.lit == Lit::Param && FamilyOf(b.ty) == Fam::Number) TypeParam(a, b.ty);
        if (b.lit == Lit::Param && FamilyOf(a.ty) == Fam::Number) TypeParam(b, a.ty);
        RequireNumber(a);
        RequireNumber(b);
        if (bin.op == BinaryOp::Divide) {
            r.ty = Simple(fldtype::kFloat);
            r.sql = "tessel_div(" + a.sql + ", " + b.sql + ")";
            return r;
        }
        const std::string expr = "(" + a.sql + " " + op + " " + b.sql + ")";
        const Ty& ta = a.lit == Lit::Null ? b.ty : a.ty;
        const Ty& tb = b.lit == Lit::Null ? a.ty : b.ty;
        if (IsInteger(ta) && IsInteger(tb)) {
            r.ty = Simple(fldtype::kInt32);
            Chain(r, a, op, b.sql, ChainGroup(bin.op));
            return r;
        }
        const int sa = IsInteger(ta) ? 0 : ta.fixed;
        const int sb = IsInteger(tb) ? 0 : tb.fixed;
        if (sa < 0 || sb < 0) {
            r.ty = Simple(fldtype::kFloat);
            Chain(r, a, op, b.sql, ChainGroup(bin.op));
            return r;
        }
        const int scale = bin.op == BinaryOp::Multiply ? std::min(sa + sb, kMaxExactScale) : std::max(sa, sb);
        const bool bcd = (ta.type == fldtype::kBcd || IsInteger(ta)) && (tb.type == fldtype::kBcd || IsInteger(tb));
        r.ty = FixedNumber(scale, bcd);
        r.sql = "tessel_round(" + expr + ", " + std::to_string(scale) + ")";
        return r;
    }

    BExpr BindLike(const LikeExpr& l, Scope& scope) {
        BExpr x = BindExpr(*l.operand, scope);
        BExpr p = BindExpr(*l.pattern, scope);
        RequireText(x);
        RequireText(p);
        std::string sql = "tessel_like(" + x.sql + ", " + p.sql;
        if (l.escape) {
            BExpr esc = BindExpr(*l.escape, scope);
            RequireText(esc);
            if (esc.lit == Lit::String && CharCount(esc.text) != 1)
                Fail("Invalid escape character in LIKE", esc.token, esc.pos);
            sql += ", " + esc.sql;
        }
        sql += ")";
        return Predicate(l, l.negated ? "(NOT " + sql + ")" : sql, x.aggregate || p.aggregate);
    }

    BExpr BindBetween(const BetweenExpr& bt, Scope& scope) {
        BExpr x = BindExpr(*bt.operand, scope);
        BExpr lo = BindExpr(*bt.low, scope);
        BExpr hi = BindExpr(*bt.high, scope);
        Unify(x, lo, bt.pos, x.token + " BETWEEN " + lo.token);
        Unify(x, hi, bt.pos, x.token + " BETWEEN " + hi.token);
        if (FamilyOf(x.ty) == Fam::Date && (FamilyOf(lo.ty) == Fam::Timestamp || FamilyOf(hi.ty) == Fam::Timestamp)) {
            PromoteDate(x);
            if (FamilyOf(lo.ty) == Fam::Date) PromoteDate(lo);
            if (FamilyOf(hi.ty) == Fam::Date) PromoteDate(hi);
        }
        const std::string sql =
            "(" + Collate(x) + (bt.negated ? " NOT" : "") + " BETWEEN " + lo.sql + " AND " + hi.sql + ")";
        return Predicate(bt, sql, x.aggregate || lo.aggregate || hi.aggregate);
    }

    BExpr BindInList(const InListExpr& in, Scope& scope) {
        BExpr x = BindExpr(*in.operand, scope);
        std::vector<BExpr> items;
        bool agg = x.aggregate;
        for (const auto& i : in.items) {
            items.push_back(BindExpr(*i, scope));
            agg = agg || items.back().aggregate;
        }
        // A parameter operand takes its type from the first typed item.
        for (auto& i : items) {
            Unify(x, i, in.pos, x.token + " IN " + i.token);
        }
        bool timestamp = FamilyOf(x.ty) == Fam::Timestamp;
        std::string list;
        for (auto& i : items) {
            if (timestamp && FamilyOf(i.ty) == Fam::Date) PromoteDate(i);
            if (!list.empty()) list += ", ";
            list += i.sql;
        }
        return Predicate(in, "(" + Collate(x) + (in.negated ? " NOT IN (" : " IN (") + list + "))", agg);
    }

    BExpr BindInQuery(const InQueryExpr& in, Scope& scope) {
        BExpr x = BindExpr(*in.operand, scope);
        QueryResult q = BindSubquery(*in.query, scope, true);
        BExpr col;
        col.ty = q.types[0];
        col.token = q.fields[0].name;
        col.pos = in.pos;
        Unify(x, col, in.pos, x.token + " IN (SELECT " + col.token + ")");
        if (FamilyOf(x.ty) == Fam::Date && FamilyOf(col.ty) == Fam::Timestamp) PromoteDate(x);
        std::string sub = q.sql;
        if (FamilyOf(x.ty) == Fam::Timestamp && FamilyOf(q.types[0]) == Fam::Date)
            sub = "SELECT (" + QuoteSqliteIdentifier(q.fields[0].name) + " || ' 00:00:00.000') FROM (" + q.sql + ")";
        return Predicate(in, "(" + Collate(x) + (in.negated ? " NOT IN (" : " IN (") + sub + "))", x.aggregate);
    }

    // x op ANY|SOME|ALL (subquery), with SQL's three-valued answer: unknown when no row
    // decides and a NULL took part.
    BExpr BindQuantified(const QuantifiedExpr& qe, Scope& scope) {
        BExpr x = BindExpr(*qe.left, scope);
        QueryResult q = BindSubquery(*qe.query, scope, true);
        BExpr col;
        col.ty = q.types[0];
        col.token = q.fields[0].name;
        col.pos = qe.pos;
        col.sql = "q." + QuoteSqliteIdentifier(q.fields[0].name);
        Unify(x, col, qe.pos, x.token + " " + CompareText(qe.op) + " (SELECT " + col.token + ")");
        std::string right = col.sql;
        if (FamilyOf(x.ty) == Fam::String || FamilyOf(col.ty) == Fam::String) right += " COLLATE RTRIM";
        // One pass over the subquery, each row's comparison counting 1, 0, or 0.5 when unknown:
        // ANY is true when the largest is 1, unknown when it is 0.5; ALL is false when the
        // smallest is 0, unknown when it is 0.5; an empty subquery gives false and true. The
        // subquery and the operand appear once, so nested predicates keep the SQL linear.
        const std::string v = "coalesce((" + x.sql + " " + CompareText(qe.op) + " " + right + "), 0.5)";
        const std::string from = " END FROM (" + q.sql + ") AS q)";
        const std::string sql = qe.quantifier == Quantifier::All
                                    ? "(SELECT CASE min(" + v + ") WHEN 0 THEN 0 WHEN 0.5 THEN NULL ELSE 1" + from
                                    : "(SELECT CASE max(" + v + ") WHEN 1 THEN 1 WHEN 0.5 THEN NULL ELSE 0" + from;
        return Predicate(qe, sql, x.aggregate);
    }

    BExpr BindScalarSubquery(const SubqueryExpr& se, Scope& scope) {
        QueryResult q = BindSubquery(*se.query, scope, true);
        BExpr b;
        b.ty = q.types[0];
        b.pos = se.pos;
        b.token = "(SELECT " + q.fields[0].name + ")";
        const std::string c = "q." + QuoteSqliteIdentifier(q.fields[0].name);
        b.sql = "(SELECT tessel_single(count(*), min(" + c + ")) FROM (" + q.sql + ") AS q)";
        return b;
    }

    BExpr BindFunction(const FunctionExpr& f, Scope& scope) {
        const std::string name = AsciiUpper(f.name.text);
        if ((name == "UPPER" || name == "LOWER") && f.args.size() == 1) {
            BExpr x = BindExpr(*f.args[0], scope);
            RequireText(x);
            BExpr r;
            r.sql = (name == "UPPER" ? "tessel_upper(" : "tessel_lower(") + x.sql + ")";
            r.ty = x.ty.type == fldtype::kUnknown ? Simple(fldtype::kString, 255) : x.ty;
            r.ty.native = 0;
            r.aggregate = x.aggregate;
            r.pos = f.pos;
            r.token = name + "(" + x.token + ")";
            return r;
        }
        NotSupported(f.name.text, f.name.pos);
    }

    BExpr BindAggregate(const AggregateExpr& a, Scope& scope) {
        const std::string fname = AggregateName(a.func);
        if (!scope.aggregatesAllowed || scope.inAggregate) NotSupported(fname, a.pos);
        BExpr r;
        r.aggregate = true;
        r.pos = a.pos;
        if (!a.arg) {
            r.sql = "count(*)";
            r.ty = Simple(fldtype::kInt32);
            r.defaultName = "COUNT";
            r.token = "COUNT(*)";
            return r;
        }
        scope.inAggregate = true;
        BExpr x = BindExpr(*a.arg, scope);
        scope.inAggregate = false;
        const std::string distinct = a.distinct ? "DISTINCT " : "";
        r.token = fname + "(" + x.token + ")";
        if (x.field) r.defaultName = fname + " OF " + x.field->name;
        switch (a.func) {
            case AggregateFunc::Count:
                r.sql = "count(" + distinct + x.sql + ")";
                r.ty = Simple(fldtype::kInt32);
                return r;
            case AggregateFunc::Sum:
            case AggregateFunc::Avg: {
                RequireNumber(x);
                const bool sum = a.func == AggregateFunc::Sum;
                const int scale = IsInteger(x.ty) ? -1 : x.ty.fixed;
                if (scale >= 0) {
                    r.sql = std::string(sum ? "tessel_sum_" : "tessel_avg_") + std::to_string(scale) + "(" + distinct +
                            x.sql + ")";
                } else {
                    r.sql = std::string(sum ? "sum(" : "avg(") + distinct + x.sql + ")";
                }
                if (sum && scale >= 0) {
                    r.ty = x.ty;
                    if (r.ty.type == fldtype::kBcd)
                        r.ty.units1 = 32;
                    else if (r.ty.native == 'N' || r.ty.native == 'F')
                        r.ty.units1 = 20;
                } else {
                    r.ty = Simple(fldtype::kFloat);
                }
                return r;
            }
            case AggregateFunc::Min:
            case AggregateFunc::Max: {
                const Fam f = FamilyOf(x.ty);
                if (f == Fam::Binary || (x.ty.type == fldtype::kBlob)) Mismatch(r.token, a.pos);
                r.sql = std::string(a.func == AggregateFunc::Min ? "min(" : "max(") + distinct + x.sql + ")";
                r.ty = x.ty.type == fldtype::kUnknown ? Simple(fldtype::kString, 1) : x.ty;
                if (r.ty.type == fldtype::kInt32 && r.ty.sub == fldsub::kAutoInc) r.ty.sub = 0;
                return r;
            }
        }
        return r;
    }

    static Ty TypeOfSpec(const TypeSpec& t, const SourcePos& pos) {
        auto size = [&](int def, int lo, int hi) {
            const int v = t.size.value_or(def);
            if (v < lo || v > hi) Fail("Invalid field size", std::to_string(v), pos);
            return static_cast<uint16_t>(v);
        };
        switch (t.name) {
            case TypeName::Smallint:
                return Simple(fldtype::kInt16);
            case TypeName::Integer:
            case TypeName::Autoinc:
                return Simple(fldtype::kInt32);
            case TypeName::Decimal: {
                const int scale = t.scale.value_or(0);
                if (scale < 0 || scale > kMaxExactScale) Fail("Invalid field size", std::to_string(scale), pos);
                Ty r = FixedNumber(scale, true);
                r.units1 = size(32, 1, 32);
                return r;
            }
            case TypeName::Numeric:
            case TypeName::Float: {
                Ty r = Simple(fldtype::kFloat);
                if (t.scale) {
                    const int scale = *t.scale;
                    if (scale < 0 || scale > kMaxExactScale) Fail("Invalid field size", std::to_string(scale), pos);
                    r = FixedNumber(scale, false);
                    r.units1 = size(20, 1, 20);
                }
                return r;
            }
            case TypeName::Money: {
                Ty r = Simple(fldtype::kFloat);
                r.sub = fldsub::kMoney;
                r.fixed = 4;
                return r;
            }
            case TypeName::Char:
            case TypeName::Varchar:
                return Simple(fldtype::kString, size(255, 1, 255));
            case TypeName::Date:
                return Simple(fldtype::kDate);
            case TypeName::Time:
                return Simple(fldtype::kTime);
            case TypeName::Timestamp:
                return Simple(fldtype::kTimestamp);
            case TypeName::Boolean:
                return Simple(fldtype::kBool);
            case TypeName::Bytes:
                return Simple(fldtype::kBytes, size(255, 1, 255));
            case TypeName::Blob:
                NotSupported("BLOB", pos);
        }
        NotSupported(t.spelling, pos);
    }

    BExpr BindCast(const CastExpr& c, Scope& scope) {
        BExpr x = BindExpr(*c.operand, scope);
        const Ty to = TypeOfSpec(c.type, c.type.pos);
        const Fam ff = FamilyOf(x.ty), ft = FamilyOf(to);
        if (x.lit == Lit::Param) TypeParam(x, to);
        const std::string token = "CAST(" + x.token + " AS " + TypeNameText(c.type.name) + ")";
        bool ok = true;
        if (x.ty.type == fldtype::kBlob && ft != Fam::String) ok = false;
        switch (ft) {
            case Fam::Number:
                ok = ok && (ff == Fam::Number || ff == Fam::String || ff == Fam::Bool || ff == Fam::Null);
                break;
            case Fam::Bool:
                ok = ok && (ff == Fam::Bool || ff == Fam::String || ff == Fam::Number || ff == Fam::Null);
                break;
            case Fam::Date:
            case Fam::Timestamp:
                ok = ok && (ff == Fam::Date || ff == Fam::Timestamp || ff == Fam::String || ff == Fam::Null);
                break;
            case Fam::Time:
                ok = ok && (ff == Fam::Time || ff == Fam::Timestamp || ff == Fam::String || ff == Fam::Null);
                break;
            case Fam::Binary:
                ok = ok && (ff == Fam::Binary || ff == Fam::String || ff == Fam::Null);
                break;
            default:
                break;
        }
        if (!ok) Mismatch(token, c.pos);
        BExpr r;
        r.ty = to;
        r.aggregate = x.aggregate;
        r.pos = c.pos;
        r.token = token;
        const uint16_t fromType = ff == Fam::String ? fldtype::kString : x.ty.type;
        r.sql = "tessel_cast(" + x.sql + ", " + std::to_string(fromType) + ", " + std::to_string(x.ty.fixed) + ", " +
                std::to_string(to.type) + ", " +
                std::to_string(ft == Fam::String || ft == Fam::Binary ? to.units1 : 0) + ", " +
                std::to_string(to.fixed) + ")";
        return r;
    }

    BExpr BindExtract(const ExtractExpr& ex, Scope& scope) {
        BExpr x = BindExpr(*ex.operand, scope);
        const bool datePart = ex.part == DatePart::Year || ex.part == DatePart::Month || ex.part == DatePart::Day;
        if (x.lit == Lit::Param) TypeParam(x, Simple(fldtype::kTimestamp));
        if (x.lit == Lit::String) ConvertLiteral(x, Simple(datePart ? fldtype::kTimestamp : fldtype::kTime));
        const Fam f = FamilyOf(x.ty);
        int start = 0, length = 2;
        if (f == Fam::Date || f == Fam::Timestamp) {
            switch (ex.part) {
                case DatePart::Year:
                    start = 1;
                    length = 4;
                    break;
                case DatePart::Month:
                    start = 6;
                    break;
                case DatePart::Day:
                    start = 9;
                    break;
                default:
                    break;
            }
        }
        if (f == Fam::Timestamp || f == Fam::Time) {
            const int base = f == Fam::Timestamp ? 12 : 1;
            switch (ex.part) {
                case DatePart::Hour:
                    start = base;
                    break;
                case DatePart::Minute:
                    start = base + 3;
                    break;
                case DatePart::Second:
                    start = base + 6;
                    break;
                default:
                    break;
            }
        }
        static const char* const kParts[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
        const std::string token =
            std::string("EXTRACT(") + kParts[static_cast<int>(ex.part)] + " FROM " + x.token + ")";
        if (f != Fam::Null && start == 0) Mismatch(token, ex.pos);
        BExpr r;
        r.ty = Simple(fldtype::kInt16);
        r.aggregate = x.aggregate;
        r.pos = ex.pos;
        r.token = token;
        r.sql = f == Fam::Null ? "NULL"
                               : "CAST(substr(" + x.sql + ", " + std::to_string(start) + ", " + std::to_string(length) +
                                     ") AS INTEGER)";
        return r;
    }

    BExpr BindSubstring(const SubstringExpr& s, Scope& scope) {
        BExpr x = BindExpr(*s.operand, scope);
        BExpr start = BindExpr(*s.start, scope);
        RequireText(x);
        RequireInteger(start);
        std::string sql = "tessel_substr(" + x.sql + ", " + start.sql;
        uint16_t size = x.ty.type == fldtype::kString ? x.ty.units1 : 255;
        bool agg = x.aggregate || start.aggregate;
        if (s.length) {
            BExpr len = BindExpr(*s.length, scope);
            RequireInteger(len);
            sql += ", " + len.sql;
            agg = agg || len.aggregate;
            if (len.lit == Lit::Number) {
                const long long n = std::atoll(len.token.c_str());
                if (n >= 0 && n < size) size = static_cast<uint16_t>(std::max<long long>(n, 1));
            }
        }
        BExpr r;
        r.sql = sql + ")";
        r.ty = Simple(fldtype::kString, std::max<uint16_t>(size, 1));
        r.aggregate = agg;
        r.pos = s.pos;
        r.token = "SUBSTRING(" + x.token + ")";
        return r;
    }

    BExpr BindTrim(const TrimExpr& t, Scope& scope) {
        BExpr x = BindExpr(*t.operand, scope);
        RequireText(x);
        std::string c = "' '";
        bool agg = x.aggregate;
        if (t.character) {
            BExpr ch = BindExpr(*t.character, scope);
            RequireText(ch);
            if (ch.lit == Lit::String && CharCount(ch.text) != 1)
                Fail("TRIM removes a single character", ch.token, ch.pos);
            c = ch.sql;
            agg = agg || ch.aggregate;
        }
        const int side = t.side == TrimSide::Both ? 0 : t.side == TrimSide::Leading ? 1 : 2;
        BExpr r;
        r.sql = "tessel_trim(" + x.sql + ", " + c + ", " + std::to_string(side) + ")";
        r.ty = x.ty.type == fldtype::kUnknown ? Simple(fldtype::kString, 255) : x.ty;
        r.aggregate = agg;
        r.pos = t.pos;
        r.token = "TRIM(" + x.token + ")";
        return r;
    }

    // ---- Queries ----

    QueryResult BindSubquery(const Query& q, Scope& outer, bool oneColumn) {
        if (!q.orderBy.empty()) NotSupported("ORDER BY", q.orderBy.front().pos);
        QueryResult r = BindQuery(q, &outer);
        if (oneColumn && r.types.size() != 1)
            Fail("A subquery used as a value must select exactly one field", "SELECT", q.pos);
        return r;
    }

    static FieldDesc AnswerField(const BExpr& e) {
        FieldDesc f;
        if (e.field) {
            f = *e.field;
            f.offset = 0;
            f.length = 0;
            f.hidden = false;
            f.readOnly = false;
            f.nullable = true;
            return f;
        }
        Ty t = e.ty;
        if (t.type == fldtype::kUnknown) t = Simple(fldtype::kString, e.lit == Lit::Param ? 255 : 1);
        f.type = t.type;
        f.subType = t.sub;
        f.units1 = t.units1;
        f.units2 = t.units2;
        f.nativeType = t.native;
        return f;
    }

    struct CoreResult {
        std::string select;  // SELECT ... (no ORDER BY)
        std::vector<BExpr> items;
        std::vector<std::string> names;
        std::vector<std::string> explicitAlias;  // alias as written, or ""
        // A SELECT of plain columns of one table: that table, the field of each item, and the
        // SELECT with each row's slot as a last column; else why not.
        const CatalogTable* liveTable = nullptr;
        std::vector<size_t> liveColumns;
        std::string liveSelect;
        std::string notLive;
    };

    // Whether the answer of `core` shows records of its one table as they are; fills the
    // live part of `r` (the slot column is added once the SELECT is written).
    void FindLiveSource(const SelectCore& core, const Scope& scope, CoreResult& r) {
        if (core.distinct) {
            r.notLive = "the query uses DISTINCT";
            return;
        }
        if (scope.grouped) {
            r.notLive = "the query groups records";
            return;
        }
        if (core.from.size() != 1 || core.from[0]->kind != TableRefKind::Table || scope.tables.size() != 1) {
            r.notLive = "the query joins tables";
            return;
        }
        const CatalogTable& t = *scope.tables[0].table;
        size_t k = 0;
        for (const auto& item : core.items) {
            if (item.kind != SelectItem::Kind::Expr) {
                // A star stands for the table's visible fields, each a plain column.
                for (size_t f = 0; f < t.fields.size(); ++f)
                    if (!t.fields[f].hidden) r.liveColumns.push_back(f), ++k;
                continue;
            }
            const FieldDesc* field = r.items[k].field;
            const bool own = field && field >= t.fields.data() && field < t.fields.data() + t.fields.size();
            if (item.expr->kind != ExprKind::Column || !own) {
                r.notLive = "the field " + r.names[k] + " is computed";
                r.liveColumns.clear();
                return;
            }
            r.liveColumns.push_back(static_cast<size_t>(field - t.fields.data()));
            ++k;
        }
        for (size_t a = 0; a < r.liveColumns.size(); ++a)
            for (size_t b = 0; b < a; ++b)
                if (r.liveColumns[a] == r.liveColumns[b]) {
                    r.notLive = "the field " + t.fields[r.liveColumns[a]].name + " is shown twice";
                    r.liveColumns.clear();
                    return;
                }
        r.liveTable = &t;
    }

    // How the SQL names the record slot of a row of `t`: SQLite's own names for it, the first
    // that no field of the table takes.
    static std::string SlotName(const CatalogTable& t) {
        for (const char* name : {"rowid", "_rowid_", "oid"}) {
            bool taken = false;
            for (const auto& f : t.fields) taken = taken || SameAscii(f.name, name);
            if (!taken) return name;
        }
        return {};
    }

    // Binds one SELECT; `orderBy`, when given, is bound in its scope (a SELECT without UNION).
    CoreResult BindCore(const SelectCore& core, Scope* outer, const std::vector<OrderItem>* orderBy,
                        std::string* orderSql) {
        Scope scope;
        scope.parent = outer;
        std::string from;
        for (const auto& ref : core.from) {
            if (!from.empty()) from += ", ";
            from += BindTableRef(*ref, scope);
        }
        if (core.from.empty()) Fail("SELECT needs a FROM clause", "SELECT", core.pos);

        std::string where;
        if (core.where) {
            BExpr w = BindExpr(*core.where, scope);
            RequireCondition(w);
            where = w.sql;
        }

        // Grouping: GROUP BY names columns; an aggregate anywhere in the select list or a HAVING
        // makes the whole query one group.
        std::string groupBy;
        for (const auto& g : core.groupBy) {
            if (g->kind != ExprKind::Column && !(g->kind == ExprKind::String && g->As<StringExpr>().quote == '"'))
                NotSupported("GROUP BY", g->pos);
            BExpr c = BindExpr(*g, scope);
            scope.groupKeys.push_back(c.columnKey);
            if (!groupBy.empty()) groupBy += ", ";
            groupBy += c.sql;
        }
        bool anyAggregate = core.having != nullptr;
        for (const auto& item : core.items)
            if (item.kind == SelectItem::Kind::Expr && ContainsAggregate(*item.expr)) anyAggregate = true;
        scope.grouped = !core.groupBy.empty() || anyAggregate;
        scope.aggregatesAllowed = true;

        CoreResult r;
        int exprNumber = 0;
        for (const auto& item : core.items) {
            if (item.kind == SelectItem::Kind::Expr) {
                r.items.push_back(BindExpr(*item.expr, scope));
                r.explicitAlias.push_back(item.alias ? item.alias->text : "");
                if (item.alias) {
                    r.names.push_back(item.alias->text);
                } else if (!r.items.back().defaultName.empty()) {
                    r.names.push_back(r.items.back().defaultName);
                } else {
                    r.names.push_back("EXPR" + std::to_string(++exprNumber));
                }
                continue;
            }
            bool any = false;
            for (const auto& t : scope.tables) {
                if (item.kind == SelectItem::Kind::QualifiedStar) {
                    const bool match = !t.correlation.empty() ? SameAscii(t.correlation, item.qualifier.text)
                                                              : MatchesTableName(t, item.qualifier.text);
                    if (!match) continue;
                }
                any = true;
                for (const auto& f : t.table->fields) {
                    if (f.hidden) continue;
                    BExpr c = ColumnRef(t, f, item.pos);
                    if (scope.grouped &&
                        std::find(scope.groupKeys.begin(), scope.groupKeys.end(), c.columnKey) == scope.groupKeys.end())
                        Fail("Field must be in GROUP BY or in an aggregate", f.name, item.pos);
                    r.items.push_back(std::move(c));
                    r.names.push_back(f.name);
                    r.explicitAlias.push_back("");
                }
            }
            if (!any) Fail("Invalid field name", item.qualifier.text + ".*", item.pos);
        }
        MakeUnique(r.names);

        std::string having;
        if (core.having) {
            BExpr h = BindExpr(*core.having, scope);
            RequireCondition(h);
            having = h.sql;
        }

        if (orderBy && orderSql) *orderSql = BindOrderBy(*orderBy, &scope, r, core.distinct || scope.grouped);

        FindLiveSource(core, scope, r);

        std::string sql = core.distinct ? "SELECT DISTINCT " : "SELECT ";
        if (!core.distinct && core.items.size() == 1 && core.items[0].kind == SelectItem::Kind::Expr &&
            core.items[0].expr->kind == ExprKind::Aggregate && r.items[0].sql == "count(*)" && core.from.size() == 1 &&
            core.from[0]->kind == TableRefKind::Table && scope.tables.size() == 1 && !core.where &&
            core.groupBy.empty() && !core.having) {
            // COUNT(*) of a whole table: the table knows how many live records it holds, so
            // no record needs reading.
            sql += "tessel_row_count(" + QuoteString(scope.tables[0].table->sqliteName) + ") AS " +
                   QuoteSqliteIdentifier(r.names[0]);
            r.select = std::move(sql);
            return r;
        }
        std::string slot;
        if (r.liveTable) {
            const std::string name = SlotName(*r.liveTable);
            if (name.empty()) {
                r.liveTable = nullptr;
                r.notLive = "the table has fields named ROWID, _ROWID_ and OID";
            } else {
                slot = ", " + QuoteSqliteIdentifier(scope.tables[0].alias) + "." + name;
            }
        }
        for (size_t k = 0; k < r.items.size(); ++k) {
            if (k) sql += ", ";
            // A column of text carries the dialect's collation already; a text expression gets
            // it here, so DISTINCT, UNION and ORDER BY its position follow the same rule.
            if (FamilyOf(r.items[k].ty) == Fam::String && r.items[k].field == nullptr)
                sql += "(" + r.items[k].sql + ") COLLATE RTRIM AS " + QuoteSqliteIdentifier(r.names[k]);
            else
                sql += r.items[k].sql + " AS " + QuoteSqliteIdentifier(r.names[k]);
        }
        std::string rest = " FROM " + from;
        if (!where.empty()) rest += " WHERE " + where;
        if (!groupBy.empty()) rest += " GROUP BY " + groupBy;
        if (!having.empty()) rest += " HAVING " + having;
        if (r.liveTable) r.liveSelect = sql + slot + rest;
        r.select = std::move(sql) + rest;
        return r;
    }

    static void MakeUnique(std::vector<std::string>& names) {
        for (size_t k = 0; k < names.size(); ++k) {
            bool clash = false;
            for (size_t j = 0; j < k && !clash; ++j) clash = SameAscii(names[j], names[k]);
            if (!clash) continue;
            for (int n = 1;; ++n) {
                const std::string candidate = names[k] + "_" + std::to_string(n);
                bool taken = false;
                for (size_t j = 0; j < names.size() && !taken; ++j) taken = j != k && SameAscii(names[j], candidate);
                if (!taken) {
                    names[k] = candidate;
                    break;
                }
            }
        }
    }

    // ORDER BY: positions, answer names (aliases), and columns; with `restricted` (DISTINCT,
    // GROUP BY, UNION) only what the answer holds.
    std::string BindOrderBy(const std::vector<OrderItem>& items, Scope* scope, const CoreResult& core,
                            bool restricted) {
        std::string sql;
        for (const auto& o : items) {
            std::string term;
            const Expr& e = *o.expr;
            if (e.kind == ExprKind::Number && e.As<NumberExpr>().isInteger) {
                const long long n = std::atoll(e.As<NumberExpr>().text.c_str());
                if (n < 1 || n > static_cast<long long>(core.names.size()))
                    Fail("Invalid ORDER BY position", e.As<NumberExpr>().text, e.pos);
                term = std::to_string(n);
            } else {
                const Identifier* bare = nullptr;
                Identifier quoted;
                if (e.kind == ExprKind::Column && !e.As<ColumnExpr>().qualifier) bare = &e.As<ColumnExpr>().name;
                if (e.kind == ExprKind::String && e.As<StringExpr>().quote == '"') {
                    quoted = Identifier{e.As<StringExpr>().value, true, e.pos};
                    bare = &quoted;
                }
                // A bare name is first looked for among the answer's names (aliases, column
                // names, names made unique), so that a selected column needs no qualifier.
                if (bare) {
                    for (size_t k = 0; k < core.names.size() && term.empty(); ++k)
                        if (SameAscii(core.explicitAlias[k], bare->text)) term = std::to_string(k + 1);
                    for (size_t k = 0; k < core.names.size() && term.empty(); ++k)
                        if (SameAscii(core.names[k], bare->text)) term = std::to_string(k + 1);
                }
                if (term.empty() && e.kind != ExprKind::Column && !bare) NotSupported("ORDER BY", o.pos);
                if (term.empty() && scope) {
                    Scope& s = *scope;
                    const bool wasGrouped = s.grouped;
                    s.grouped = false;  // judged below against the answer
                    BExpr c = e.kind == ExprKind::Column
                                  ? ResolveColumn(e.As<ColumnExpr>().qualifier, e.As<ColumnExpr>().name, s, e.pos)
                                  : ResolveColumn(std::nullopt, *bare, s, e.pos);
                    s.grouped = wasGrouped;
                    for (size_t k = 0; k < core.items.size() && term.empty(); ++k)
                        if (!core.items[k].columnKey.empty() && core.items[k].columnKey == c.columnKey)
                            term = std::to_string(k + 1);
                    if (term.empty()) {
                        const bool grouped =
                            std::find(s.groupKeys.begin(), s.groupKeys.end(), c.columnKey) != s.groupKeys.end();
                        if (restricted && !grouped) Fail("ORDER BY field must be in the select list", c.token, e.pos);
                        term = c.sql;
                    }
                }
                if (term.empty()) Fail("Invalid field name", bare ? bare->text : "ORDER BY", e.pos);
            }
            if (!sql.empty()) sql += ", ";
            sql += term + (o.descending ? " DESC" : "");
        }
        return sql;
    }

    static Ty Reconcile(const Ty& a, const Ty& b, const SourcePos& pos, const std::string& name) {
        const Fam fa = FamilyOf(a), fb = FamilyOf(b);
        if (fa == Fam::Null) return b;
        if (fb == Fam::Null) return a;
        if (fa != fb) Fail("Type mismatch in expression", name, pos);
        if (fa == Fam::String) {
            if (a.type == fldtype::kBlob) return a;
            if (b.type == fldtype::kBlob) return b;
            Ty r = a;
            r.units1 = std::max(a.units1, b.units1);
            r.native = 0;
            return r;
        }
        if (fa != Fam::Number) return a;
        if (IsInteger(a) && IsInteger(b)) return a.type == fldtype::kInt32 && a.sub == 0 ? a : Simple(fldtype::kInt32);
        const int sa = IsInteger(a) ? 0 : a.fixed, sb = IsInteger(b) ? 0 : b.fixed;
        if (sa < 0 || sb < 0) return Simple(fldtype::kFloat);
        if (a.type == b.type && a.sub == b.sub && a.units2 == b.units2 && a.native == b.native) {
            Ty r = a;
            r.units1 = std::max(a.units1, b.units1);
            return r;
        }
        return FixedNumber(std::max(sa, sb), a.type == fldtype::kBcd && b.type == fldtype::kBcd);
    }

    QueryResult BindQuery(const Query& q, Scope* outer, bool top = false) {
        QueryResult r;
        std::string orderSql;
        const bool single = q.selects.size() == 1;
        std::vector<CoreResult> cores;
        for (size_t k = 0; k < q.selects.size(); ++k)
            cores.push_back(
                BindCore(q.selects[k], outer, single && !q.orderBy.empty() ? &q.orderBy : nullptr, &orderSql));
        const CoreResult& first = cores.front();
        for (size_t k = 0; k < first.items.size(); ++k) {
            r.types.push_back(first.items[k].ty);
            r.sourceFields.push_back(first.items[k].field);
        }
        for (size_t c = 1; c < cores.size(); ++c) {
            if (cores[c].items.size() != first.items.size())
                Fail("Each SELECT of a UNION must select the same number of fields", "UNION", q.selects[c].pos);
            for (size_t k = 0; k < first.items.size(); ++k) {
                const Ty before = r.types[k];
                r.types[k] = Reconcile(r.types[k], cores[c].items[k].ty, q.selects[c].pos, first.names[k]);
                const BExpr& other = cores[c].items[k];
                if (!(other.field && r.sourceFields[k] && other.field->type == r.sourceFields[k]->type &&
                      other.field->units1 == r.sourceFields[k]->units1 &&
                      other.field->units2 == r.sourceFields[k]->units2 &&
                      other.field->subType == r.sourceFields[k]->subType) ||
                    before.type != r.types[k].type)
                    r.sourceFields[k] = nullptr;
            }
        }
        for (size_t k = 0; k < first.items.size(); ++k) {
            BExpr shape = first.items[k];
            shape.ty = r.types[k];
            shape.field = r.sourceFields[k];
            if (shape.ty.type != fldtype::kUnknown && shape.lit == Lit::Param) shape.lit = Lit::None;
            FieldDesc f = AnswerField(shape);
            f.name = first.names[k];
            r.fields.push_back(std::move(f));
        }
        if (!single && !q.orderBy.empty()) {
            CoreResult answer;
            answer.names = first.names;
            answer.explicitAlias = first.names;
            answer.items.resize(first.items.size());
            orderSql = BindOrderBy(q.orderBy, nullptr, answer, true);
        }
        for (size_t c = 0; c < cores.size(); ++c) {
            if (c) r.sql += q.unionAll[c - 1] ? " UNION ALL " : " UNION ";
            r.sql += cores[c].select;
        }
        if (!orderSql.empty()) r.sql += " ORDER BY " + orderSql;
        if (top) {
            if (!single) {
                r.notLive = "the query is a UNION";
            } else if (first.liveTable) {
                r.live.emplace();
                r.live->table = first.liveTable;
                r.live->columns = first.liveColumns;
                r.live->sql = first.liveSelect + (orderSql.empty() ? "" : " ORDER BY " + orderSql);
            } else {
                r.notLive = first.notLive;
            }
        }
        return r;
    }

    // ---- Statements ----

    void BindSelect(const SelectStatement& s) {
        out_.kind = BoundKind::Query;
        QueryResult r = BindQuery(*s.query, nullptr, true);
        out_.sql = std::move(r.sql);
        out_.fields = std::move(r.fields);
        out_.live = std::move(r.live);
        out_.notLive = std::move(r.notLive);
    }

    // The target of INSERT/UPDATE/DELETE.
    const CatalogTable& Target(const TableName& name) {
        const CatalogTable& t = catalog_.ResolveTable(name);
        out_.writes.push_back(&t);
        return t;
    }

    const FieldDesc& TargetColumn(const CatalogTable& t, const TableName& table, const std::string& correlation,
                                  const ColumnName& c) {
        const std::string token = c.qualifier ? c.qualifier->text + "." + c.name.text : c.name.text;
        if (c.qualifier) {
            TableEntry e;
            e.table = &t;
            e.name = table;
            const bool ok = (!correlation.empty() && SameAscii(correlation, c.qualifier->text)) ||
                            MatchesTableName(e, c.qualifier->text);
            if (!ok) Fail("Invalid field name", token, c.name.pos);
        }
        const FieldDesc* f = FindField(t, c.name.text);
        if (!f || f->hidden) Fail("Invalid field name", token, c.name.pos);
        return *f;
    }

    void BindInsert(const InsertStatement& ins) {
        out_.kind = BoundKind::Dml;
        const CatalogTable& t = Target(ins.table);
        std::vector<const FieldDesc*> columns;
        const bool listed = !ins.columns.empty();
        for (const auto& c : ins.columns) {
            const FieldDesc& f = TargetColumn(t, ins.table, "", c);
            if (std::find(columns.begin(), columns.end(), &f) != columns.end())
                Fail("Duplicate field name", c.name.text, c.name.pos);
            if (f.readOnly) Fail("Field is read-only", f.name, c.name.pos);
            columns.push_back(&f);
        }
        if (!listed) {
            for (const auto& f : t.fields)
                if (!f.hidden) columns.push_back(&f);
        }
        const size_t given = ins.query ? 0 : ins.values.size();
        std::vector<std::string> names;
        std::string valuesSql;
        if (!ins.query) {
            // Without a column list the values may leave out read-only (auto-increment) fields.
            if (!listed && given != columns.size()) {
                std::vector<const FieldDesc*> writable;
                for (const FieldDesc* f : columns)
                    if (!f->readOnly) writable.push_back(f);
                if (writable.size() == given) columns = writable;
            }
            if (given != columns.size())
                Fail("The number of values does not match the number of fields", "VALUES", ins.pos);
            Scope empty;
            for (size_t k = 0; k < given; ++k) {
                BExpr v = BindExpr(*ins.values[k], empty);
                if (columns[k]->readOnly) {
                    if (v.lit != Lit::Null) Fail("Field is read-only", columns[k]->name, v.pos);
                    continue;
                }
                Assign(v, *columns[k]);
                names.push_back(QuoteSqliteIdentifier(columns[k]->name));
                if (!valuesSql.empty()) valuesSql += ", ";
                valuesSql += v.sql;
            }
            if (names.empty()) {
                out_.sql = "INSERT INTO " + QuoteSqliteIdentifier(t.sqliteName) + " DEFAULT VALUES";
                return;
            }
            out_.sql = "INSERT INTO " + QuoteSqliteIdentifier(t.sqliteName) + " (" + Join(names) + ") VALUES (" +
                       valuesSql + ")";
            return;
        }
        if (!listed) {
            std::vector<const FieldDesc*> writable;
            for (const FieldDesc* f : columns)
                if (!f->readOnly) writable.push_back(f);
            columns = writable;
        }
        QueryResult q = BindQuery(*ins.query, nullptr);
        if (q.types.size() != columns.size())
            Fail("The number of values does not match the number of fields", "SELECT", ins.query->pos);
        for (size_t k = 0; k < columns.size(); ++k) {
            BExpr v;
            v.ty = q.types[k];
            v.token = q.fields[k].name;
            v.pos = ins.query->pos;
            const Ty target = TyOfField(*columns[k]);
            const Fam fv = FamilyOf(v.ty), ft = FamilyOf(target);
            if (!(fv == Fam::Null || fv == ft || (ft == Fam::Timestamp && fv == Fam::Date) ||
                  (ft == Fam::Binary && fv == Fam::String)))
                Fail("Type mismatch in expression",
                     columns[k]->name + " (" + TypeWord(target) + ") := " + v.token + " (" + TypeWord(v.ty) + ")",
                     v.pos);
            names.push_back(QuoteSqliteIdentifier(columns[k]->name));
        }
        out_.sql = "INSERT INTO " + QuoteSqliteIdentifier(t.sqliteName) + " (" + Join(names) + ") " + q.sql;
    }

    static std::string Join(const std::vector<std::string>& parts) {
        std::string out;
        for (const auto& p : parts) {
            if (!out.empty()) out += ", ";
            out += p;
        }
        return out;
    }

    void TargetScope(Scope& scope, const CatalogTable& t, const TableName& name,
                     const std::optional<Identifier>& correlation) {
        TableEntry e;
        e.table = &t;
        e.name = name;
        if (correlation) e.correlation = correlation->text;
        e.alias = "t" + std::to_string(++aliasCounter_);
        scope.tables.push_back(std::move(e));
    }

    void BindUpdate(const UpdateStatement& u) {
        out_.kind = BoundKind::Dml;
        const CatalogTable& t = Target(u.table);
        Scope scope;
        TargetScope(scope, t, u.table, u.correlation);
        std::string sets;
        std::vector<const FieldDesc*> seen;
        for (const auto& a : u.assignments) {
            const FieldDesc& f = TargetColumn(t, u.table, u.correlation ? u.correlation->text : "", a.column);
            if (std::find(seen.begin(), seen.end(), &f) != seen.end())
                Fail("Duplicate field name", a.column.name.text, a.column.name.pos);
            if (f.readOnly) Fail("Field is read-only", f.name, a.column.name.pos);
            seen.push_back(&f);
            BExpr v = BindExpr(*a.value, scope);
            Assign(v, f);
            if (!sets.empty()) sets += ", ";
            sets += QuoteSqliteIdentifier(f.name) + " = " + v.sql;
        }
        out_.sql = "UPDATE " + TableSql(scope.tables.front()) + " SET " + sets;
        if (u.where) {
            BExpr w = BindExpr(*u.where, scope);
            RequireCondition(w);
            out_.sql += " WHERE " + w.sql;
        }
    }

    void BindDelete(const DeleteStatement& d) {
        out_.kind = BoundKind::Dml;
        const CatalogTable& t = Target(d.table);
        Scope scope;
        TargetScope(scope, t, d.table, d.correlation);
        out_.sql = "DELETE FROM " + TableSql(scope.tables.front());
        if (d.where) {
            BExpr w = BindExpr(*d.where, scope);
            RequireCondition(w);
            out_.sql += " WHERE " + w.sql;
        }
    }

    // ---- DDL ----

    // The field a column definition makes in a table of the driver's format.
    static FieldDesc DefineField(const ColumnDef& c, const StorageDriver& driver) {
        const TypeSpec& t = c.type;
        try {
            return driver.DefineField(c.name.name.text, ColumnType{t.name, t.size, t.scale});
        } catch (const ColumnTypeError& e) {
            switch (e.what) {
                case ColumnTypeError::What::InvalidType:
                    Fail("Invalid field type", t.spelling.empty() ? TypeNameText(t.name) : t.spelling, t.pos);
                case ColumnTypeError::What::InvalidSize:
                    Fail("Invalid field size", std::to_string(e.value), t.pos);
                case ColumnTypeError::What::NeedsSize:
                    Fail("Invalid field size", std::string(TypeNameText(t.name)) + " needs a size", t.pos);
                case ColumnTypeError::What::InvalidBlobSubtype:
                    Fail("Invalid field type", "BLOB subtype " + std::to_string(e.value), t.pos);
            }
            throw;
        }
    }

    void CheckDdlQualifier(const ColumnName& c, const TableName& table) {
        if (!c.qualifier) return;
        TableEntry e;
        e.name = table;
        if (!MatchesTableName(e, c.qualifier->text))
            Fail("Invalid field name", c.qualifier->text + "." + c.name.text, c.name.pos);
    }

    void BindCreateTable(const CreateTableStatement& c) {
        out_.kind = BoundKind::CreateTable;
        out_.tablePath = catalog_.PathForNewTable(c.table);
        const StorageDriver& driver = catalog_.DriverFor(out_.tablePath);
        for (const auto& col : c.columns) {
            CheckDdlQualifier(col.name, c.table);
            for (const auto& f : out_.newFields)
                if (SameAscii(f.name, col.name.name.text))
                    Fail("Duplicate field name", col.name.name.text, col.name.name.pos);
            out_.newFields.push_back(DefineField(col, driver));
        }
        if (c.primaryKey.empty()) return;
        if (!driver.HasPrimaryKeys())
            Fail("A " + std::string(driver.DisplayName()) + " table cannot have a primary key", "PRIMARY KEY",
                 c.primaryKeyPos);
        for (size_t k = 0; k < c.primaryKey.size(); ++k) {
            const ColumnName& key = c.primaryKey[k];
            CheckDdlQualifier(key, c.table);
            size_t at = out_.newFields.size();
            for (size_t j = 0; j < out_.newFields.size(); ++j)
                if (SameAscii(out_.newFields[j].name, key.name.text)) at = j;
            if (at == out_.newFields.size()) Fail("Invalid field name", key.name.text, key.name.pos);
            if (at != k)
                Fail("The key fields must be the first fields of the table, in order", key.name.text, key.name.pos);
            const FieldDesc& f = out_.newFields[at];
            if (f.type == fldtype::kBlob || f.type == fldtype::kBool)
                Fail("Invalid field type for a key", key.name.text, key.name.pos);
            out_.primaryKey.push_back(f.name);
        }
    }

    void BindAlterTable(const AlterTableStatement& a) {
        out_.kind = BoundKind::AlterTable;
        const CatalogTable& t = catalog_.ResolveTable(a.table);
        out_.tablePath = t.path;
        const StorageDriver& driver = t.driver ? *t.driver : catalog_.DriverFor(t.path);
        std::vector<std::string> names;
        for (const auto& f : t.fields)
            if (!f.hidden) names.push_back(f.name);
        auto find = [&](const std::string& n) {
            for (size_t k = 0; k < names.size(); ++k)
                if (SameAscii(names[k], n)) return static_cast<int>(k);
            return -1;
        };
        for (const auto& action : a.actions) {
            const ColumnName& c = action.column.name;
            CheckDdlQualifier(c, a.table);
            BoundAlterAction bound;
            if (action.kind == AlterAction::Kind::Add) {
                if (find(c.name.text) >= 0) Fail("Duplicate field name", c.name.text, c.name.pos);
                bound.kind = BoundAlterAction::Kind::Add;
                bound.field = DefineField(action.column, driver);
                names.push_back(c.name.text);
            } else {
                const int at = find(c.name.text);
                if (at < 0) Fail("Invalid field name", c.name.text, c.name.pos);
                for (const auto& key : t.primaryKey)
                    if (SameAscii(key, c.name.text)) Fail("A key field cannot be dropped", c.name.text, c.name.pos);
                bound.kind = BoundAlterAction::Kind::Drop;
                bound.field.name = names[static_cast<size_t>(at)];
                names.erase(names.begin() + at);
            }
            out_.alterActions.push_back(std::move(bound));
        }
        if (names.empty()) Fail("A table needs at least one field", "DROP", a.pos);
    }

    void BindCreateIndex(const CreateIndexStatement& c) {
        out_.kind = BoundKind::CreateIndex;
        const CatalogTable& t = catalog_.ResolveTable(c.table);
        out_.tablePath = t.path;
        out_.indexName = c.name.text;
        out_.indexUnique = c.unique;
        out_.indexDescending = c.descending;
        for (const auto& col : c.columns) {
            CheckDdlQualifier(col, c.table);
            const FieldDesc* f = FindField(t, col.name.text);
            if (!f || f->hidden) Fail("Invalid field name", col.name.text, col.name.pos);
            out_.indexFields.push_back(f->name);
        }
    }

    const Statement& st_;
    Catalog& catalog_;
    BoundStatement out_;
    int aliasCounter_ = 0;
};

}  // namespace

const StorageDriver& Catalog::DriverFor(const std::string& path) {
    return DriverForPath(path);
}

BoundStatement Bind(const Statement& statement, Catalog& catalog) {
    return Binder(statement, catalog).Run();
}

}  // namespace tessel::engine::sql
