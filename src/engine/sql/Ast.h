#pragma once

// The syntax tree of the local SQL dialect, as the parser builds it and the binder reads it.
// Nodes keep names exactly as written (case and quotes) and the position where they start;
// the parser resolves nothing. Walk expressions with a switch over Expr::kind and the As<T>()
// helpers.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/ColumnType.h"

namespace tessel::engine::sql {

// A place in the statement text: 1-based line and column (a column counts characters, not
// bytes) and the 0-based byte offset.
struct SourcePos {
    int line = 1;
    int column = 1;
    size_t offset = 0;
};

// A name of a column, correlation, index or alias. `quoted` is true when it was written in
// single or double quotes; `text` is then without the quotes.
struct Identifier {
    std::string text;
    bool quoted = false;
    SourcePos pos;
};

// A table as written after FROM, INTO, UPDATE, TABLE or ON: `employee`, `parts.db`,
// "employee.db", "/abs/dir/t.dbf", ":WORK:customer.db" or :WORK:customer.
struct TableName {
    std::string text;  // as written, without quotes
    bool quoted = false;
    std::string alias;  // WORK of ":WORK:customer.db"; empty when not alias-qualified
    std::string name;   // the rest: a file name or path, with or without extension
    SourcePos pos;
};

// ---------------------------------------------------------------------------------------
// Types of CREATE TABLE, ALTER TABLE ... ADD and CAST.

using TypeName = ColumnKind;

// A type as written. For CHAR/VARCHAR/BYTES `size` is the length; for DECIMAL/NUMERIC/FLOAT
// `size` is the precision and `scale` the decimals; for BLOB `size` is the number of bytes kept
// in the record and `scale` the subtype (1 memo, 2 binary, 3 formatted memo, 4 OLE, 5 graphic).
// Absent numbers stay empty: the defaults depend on the table type and are the binder's.
struct TypeSpec {
    TypeName name = TypeName::Integer;
    std::string spelling;  // the type word as written (CHARACTER, Char, ...)
    std::optional<int> size;
    std::optional<int> scale;
    SourcePos pos;
};

const char* TypeNameText(TypeName name);  // upper-case SQL name

// ---------------------------------------------------------------------------------------
// Expressions

struct Query;

enum class ExprKind {
    Null,        // NULL
    Bool,        // TRUE, FALSE
    Number,      // 12, -5, 12.50, .5, 1.5E3
    String,      // 'Smith' or "Smith" (also dates and times: '1/23/1998', '10:30 PM')
    Param,       // ? or :name
    Column,      // LAST_NAME, E.LAST_NAME, E."Emp Id", "fish.db"."Species No"
    Unary,       // -x, NOT x
    Binary,      // arithmetic, ||, comparisons, AND, OR
    Like,        // x [NOT] LIKE p [ESCAPE e]
    Between,     // x [NOT] BETWEEN a AND b
    InList,      // x [NOT] IN (a, b, ...)
    InQuery,     // x [NOT] IN (SELECT ...)
    IsNull,      // x IS [NOT] NULL
    Exists,      // EXISTS (SELECT ...)
    Quantified,  // x op ANY|SOME|ALL (SELECT ...)
    Subquery,    // (SELECT ...) as a single value
    Function,    // UPPER(x), LOWER(x), or any other name(args) for the binder to judge
    Aggregate,   // COUNT(*), COUNT([DISTINCT] x), SUM, AVG, MIN, MAX
    Cast,        // CAST(x AS type)
    Extract,     // EXTRACT(part FROM x)
    Substring,   // SUBSTRING(x FROM start [FOR length])
    Trim,        // TRIM([LEADING|TRAILING|BOTH] [c] FROM x), TRIM(x)
};

struct Expr {
    explicit Expr(ExprKind k) : kind(k) {}
    virtual ~Expr() = default;
    Expr(const Expr&) = delete;
    Expr& operator=(const Expr&) = delete;

    template <class T>
    const T& As() const {
        return static_cast<const T&>(*this);
    }
    template <class T>
    T& As() {
        return static_cast<T&>(*this);
    }

    const ExprKind kind;
    SourcePos pos;
    // Height of the tree below and including this node, subqueries included; the parser keeps
    // it bounded, so recursive walks over a parsed tree cannot run out of stack.
    int height = 1;
};
using ExprPtr = std::unique_ptr<Expr>;

struct NullExpr : Expr {
    NullExpr() : Expr(ExprKind::Null) {}
};

struct BoolExpr : Expr {
    BoolExpr() : Expr(ExprKind::Bool) {}
    bool value = false;
};

struct NumberExpr : Expr {
    NumberExpr() : Expr(ExprKind::Number) {}
    std::string text;        // as written, with a folded unary minus: "-5", "12.50", "1.5E3"
    bool isInteger = false;  // digits only (no point, no exponent)
};

struct StringExpr : Expr {
    StringExpr() : Expr(ExprKind::String) {}
    std::string value;  // without the quotes, doubled quotes made single
    char quote = '\'';  // ' or "
};

struct ParamExpr : Expr {
    ParamExpr() : Expr(ExprKind::Param) {}
    std::string name;  // empty for ?
    int index = 0;     // 0-based place among the statement's parameters, in text order
};

struct ColumnExpr : Expr {
    ColumnExpr() : Expr(ExprKind::Column) {}
    std::optional<Identifier> qualifier;  // correlation name, table name or quoted file name
    Identifier name;
};

enum class UnaryOp { Negate, Plus, Not };

struct UnaryExpr : Expr {
    UnaryExpr() : Expr(ExprKind::Unary) {}
    UnaryOp op = UnaryOp::Not;
    ExprPtr operand;
};

enum class BinaryOp { Add, Subtract, Multiply, Divide, Concat, Eq, Ne, Lt, Le, Gt, Ge, And, Or };

const char* BinaryOpText(BinaryOp op);  // "+", "||", "<>", "AND", ...

struct BinaryExpr : Expr {
    BinaryExpr() : Expr(ExprKind::Binary) {}
    BinaryOp op = BinaryOp::Eq;
    ExprPtr left;
    ExprPtr right;
};

struct LikeExpr : Expr {
    LikeExpr() : Expr(ExprKind::Like) {}
    bool negated = false;
    ExprPtr operand;
    ExprPtr pattern;
    ExprPtr escape;  // may be null
};

struct BetweenExpr : Expr {
    BetweenExpr() : Expr(ExprKind::Between) {}
    bool negated = false;
    ExprPtr operand;
    ExprPtr low;
    ExprPtr high;
};

struct InListExpr : Expr {
    InListExpr() : Expr(ExprKind::InList) {}
    bool negated = false;
    ExprPtr operand;
    std::vector<ExprPtr> items;
};

struct InQueryExpr : Expr {
    InQueryExpr() : Expr(ExprKind::InQuery) {}
    bool negated = false;
    ExprPtr operand;
    std::unique_ptr<Query> query;
};

struct IsNullExpr : Expr {
    IsNullExpr() : Expr(ExprKind::IsNull) {}
    bool negated = false;  // IS NOT NULL
    ExprPtr operand;
};

struct ExistsExpr : Expr {
    ExistsExpr() : Expr(ExprKind::Exists) {}
    std::unique_ptr<Query> query;
};

enum class Quantifier { Any, Some, All };

struct QuantifiedExpr : Expr {
    QuantifiedExpr() : Expr(ExprKind::Quantified) {}
    BinaryOp op = BinaryOp::Eq;  // a comparison
    Quantifier quantifier = Quantifier::Any;
    ExprPtr left;
    std::unique_ptr<Query> query;
};

struct SubqueryExpr : Expr {
    SubqueryExpr() : Expr(ExprKind::Subquery) {}
    std::unique_ptr<Query> query;
};

struct FunctionExpr : Expr {
    FunctionExpr() : Expr(ExprKind::Function) {}
    Identifier name;  // as written; UPPER and LOWER are the dialect's own
    std::vector<ExprPtr> args;
};

enum class AggregateFunc { Count, Sum, Avg, Min, Max };

struct AggregateExpr : Expr {
    AggregateExpr() : Expr(ExprKind::Aggregate) {}
    AggregateFunc func = AggregateFunc::Count;
    bool distinct = false;
    ExprPtr arg;  // null for COUNT(*)
};

struct CastExpr : Expr {
    CastExpr() : Expr(ExprKind::Cast) {}
    ExprPtr operand;
    TypeSpec type;
};

enum class DatePart { Year, Month, Day, Hour, Minute, Second };

struct ExtractExpr : Expr {
    ExtractExpr() : Expr(ExprKind::Extract) {}
    DatePart part = DatePart::Year;
    ExprPtr operand;
};

struct SubstringExpr : Expr {
    SubstringExpr() : Expr(ExprKind::Substring) {}
    ExprPtr operand;
    ExprPtr start;
    ExprPtr length;  // may be null (no FOR)
};

enum class TrimSide { Both, Leading, Trailing };

struct TrimExpr : Expr {
    TrimExpr() : Expr(ExprKind::Trim) {}
    TrimSide side = TrimSide::Both;
    ExprPtr character;  // may be null (a blank)
    ExprPtr operand;
};

// ---------------------------------------------------------------------------------------
// SELECT

struct SelectItem {
    enum class Kind { Expr, Star, QualifiedStar };  // expr [[AS] alias] | * | qualifier.*
    Kind kind = Kind::Expr;
    ExprPtr expr;
    std::optional<Identifier> alias;
    Identifier qualifier;  // for QualifiedStar
    SourcePos pos;
};

enum class TableRefKind { Table, Join };
enum class JoinKind { Inner, Left, Right, Full, Cross };

struct TableRef {
    explicit TableRef(TableRefKind k) : kind(k) {}
    virtual ~TableRef() = default;
    TableRef(const TableRef&) = delete;
    TableRef& operator=(const TableRef&) = delete;

    template <class T>
    const T& As() const {
        return static_cast<const T&>(*this);
    }

    const TableRefKind kind;
    SourcePos pos;
};
using TableRefPtr = std::unique_ptr<TableRef>;

struct NamedTableRef : TableRef {
    NamedTableRef() : TableRef(TableRefKind::Table) {}
    TableName table;
    std::optional<Identifier> correlation;
};

struct JoinRef : TableRef {
    JoinRef() : TableRef(TableRefKind::Join) {}
    JoinKind joinKind = JoinKind::Inner;
    TableRefPtr left;
    TableRefPtr right;
    ExprPtr condition;  // null for CROSS JOIN
};

struct SelectCore {
    bool distinct = false;
    std::vector<SelectItem> items;
    std::vector<TableRefPtr> from;  // comma-separated references
    ExprPtr where;                  // may be null
    std::vector<ExprPtr> groupBy;
    ExprPtr having;  // may be null
    SourcePos pos;   // of the SELECT keyword
};

struct OrderItem {
    ExprPtr expr;  // a name, a qualified name, a position (integer literal) or an expression
    bool descending = false;
    SourcePos pos;
};

// SELECT ... [UNION [ALL] SELECT ...]... [ORDER BY ...]
struct Query {
    std::vector<SelectCore> selects;  // at least one
    std::vector<bool> unionAll;       // unionAll[i]: UNION ALL between selects[i] and [i + 1]
    std::vector<OrderItem> orderBy;
    SourcePos pos;
    int height = 1;  // as Expr::height
};

// ---------------------------------------------------------------------------------------
// Statements

// A column named in DDL, in an INSERT column list or on the left of SET. The qualifier is kept
// when written ("customer.db"."CustNo", E.SALARY) so the binder can check that it names the
// table at hand.
struct ColumnName {
    std::optional<Identifier> qualifier;
    Identifier name;
};

struct Assignment {
    ColumnName column;
    ExprPtr value;
};

enum class StatementKind { Select, Insert, Update, Delete, CreateTable, AlterTable, DropTable, CreateIndex, DropIndex };

struct ParameterInfo {
    std::string name;  // empty for ?
    SourcePos pos;
};

struct Statement {
    explicit Statement(StatementKind k) : kind(k) {}
    virtual ~Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    template <class T>
    const T& As() const {
        return static_cast<const T&>(*this);
    }

    const StatementKind kind;
    SourcePos pos;                          // of the first keyword
    size_t endOffset = 0;                   // byte offset just after the last token
    std::vector<ParameterInfo> parameters;  // in text order; ParamExpr::index points here
};
using StatementPtr = std::unique_ptr<Statement>;

struct SelectStatement : Statement {
    SelectStatement() : Statement(StatementKind::Select) {}
    std::unique_ptr<Query> query;
};

struct InsertStatement : Statement {
    InsertStatement() : Statement(StatementKind::Insert) {}
    TableName table;
    std::vector<ColumnName> columns;  // empty: all columns in table order
    std::vector<ExprPtr> values;      // VALUES (...); empty when `query` is set
    std::unique_ptr<Query> query;     // INSERT ... SELECT
};

struct UpdateStatement : Statement {
    UpdateStatement() : Statement(StatementKind::Update) {}
    TableName table;
    std::optional<Identifier> correlation;
    std::vector<Assignment> assignments;
    ExprPtr where;
};

struct DeleteStatement : Statement {
    DeleteStatement() : Statement(StatementKind::Delete) {}
    TableName table;
    std::optional<Identifier> correlation;
    ExprPtr where;
};

struct ColumnDef {
    ColumnName name;
    TypeSpec type;
};

struct CreateTableStatement : Statement {
    CreateTableStatement() : Statement(StatementKind::CreateTable) {}
    TableName table;
    std::vector<ColumnDef> columns;
    std::vector<ColumnName> primaryKey;  // empty: no PRIMARY KEY clause
    SourcePos primaryKeyPos;
};

struct AlterAction {
    enum class Kind { Add, Drop };
    Kind kind = Kind::Add;
    ColumnDef column;  // for Drop only column.name is set
    SourcePos pos;
};

struct AlterTableStatement : Statement {
    AlterTableStatement() : Statement(StatementKind::AlterTable) {}
    TableName table;
    std::vector<AlterAction> actions;  // in statement order
};

struct DropTableStatement : Statement {
    DropTableStatement() : Statement(StatementKind::DropTable) {}
    TableName table;
};

struct CreateIndexStatement : Statement {
    CreateIndexStatement() : Statement(StatementKind::CreateIndex) {}
    bool unique = false;
    bool descending = false;  // CREATE DESC INDEX; applies to the whole index
    Identifier name;
    TableName table;
    std::vector<ColumnName> columns;
};

struct DropIndexStatement : Statement {
    DropIndexStatement() : Statement(StatementKind::DropIndex) {}
    TableName table;
    Identifier name;
    bool primary = false;  // DROP INDEX t.PRIMARY (unquoted PRIMARY)
};

}  // namespace tessel::engine::sql
