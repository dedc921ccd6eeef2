// A text form of the syntax tree, for tests and diagnostics.

#include "engine/sql/AstDump.h"
#include "base/AsciiText.h"

#include <cctype>
#include <initializer_list>
#include <string_view>

namespace tessel::engine::sql {

namespace {

std::string Quote(const std::string& text, char quote) {
    std::string out(1, quote);
    for (char c : text) {
        out.push_back(c);
        if (c == quote) out.push_back(c);
    }
    out.push_back(quote);
    return out;
}

std::string Name(const Identifier& id) {
    return id.quoted ? Quote(id.text, '"') : id.text;
}

std::string Name(const ColumnName& c) {
    if (!c.qualifier) return Name(c.name);
    std::string out = Name(*c.qualifier);
    out += ".";
    out += Name(c.name);
    return out;
}

std::string Name(const TableName& t) {
    return t.quoted ? Quote(t.text, '"') : t.text;
}

class Dumper {
public:
    std::string out;

    void DumpExpr(const sql::Expr& e) {
        switch (e.kind) {
            case ExprKind::Null:
                out += "NULL";
                return;
            case ExprKind::Bool:
                out += e.As<BoolExpr>().value ? "TRUE" : "FALSE";
                return;
            case ExprKind::Number:
                out += e.As<NumberExpr>().text;
                return;
            case ExprKind::String: {
                const auto& s = e.As<StringExpr>();
                out += Quote(s.value, s.quote);
                return;
            }
            case ExprKind::Param: {
                const auto& p = e.As<ParamExpr>();
                Put({p.name.empty() ? "?" : ":", p.name});
                return;
            }
            case ExprKind::Column: {
                const auto& c = e.As<ColumnExpr>();
                if (c.qualifier) out += Name(*c.qualifier) + ".";
                out += Name(c.name);
                return;
            }
            case ExprKind::Unary: {
                const auto& u = e.As<UnaryExpr>();
                Open(u.op == UnaryOp::Not ? "not" : u.op == UnaryOp::Negate ? "neg" : "plus");
                Arg(*u.operand);
                Close();
                return;
            }
            case ExprKind::Binary: {
                const auto& b = e.As<BinaryExpr>();
                Open(b.op == BinaryOp::And || b.op == BinaryOp::Or ? AsciiLower(BinaryOpText(b.op))
                                                                   : BinaryOpText(b.op));
                Arg(*b.left);
                Arg(*b.right);
                Close();
                return;
            }
            case ExprKind::Like: {
                const auto& l = e.As<LikeExpr>();
                Open(l.negated ? "not-like" : "like");
                Arg(*l.operand);
                Arg(*l.pattern);
                if (l.escape) {
                    out += " (escape ";
                    DumpExpr(*l.escape);
                    out += ")";
                }
                Close();
                return;
            }
            case ExprKind::Between: {
                const auto& b = e.As<BetweenExpr>();
                Open(b.negated ? "not-between" : "between");
                Arg(*b.operand);
                Arg(*b.low);
                Arg(*b.high);
                Close();
                return;
            }
            case ExprKind::InList: {
                const auto& in = e.As<InListExpr>();
                Open(in.negated ? "not-in" : "in");
                Arg(*in.operand);
                out += " (list";
                for (const auto& item : in.items) Arg(*item);
                out += "))";
                return;
            }
            case ExprKind::InQuery: {
                const auto& in = e.As<InQueryExpr>();
                Open(in.negated ? "not-in" : "in");
                Arg(*in.operand);
                out += " ";
                DumpQuery(*in.query);
                Close();
                return;
            }
            case ExprKind::IsNull: {
                const auto& n = e.As<IsNullExpr>();
                Open(n.negated ? "is-not-null" : "is-null");
                Arg(*n.operand);
                Close();
                return;
            }
            case ExprKind::Exists:
                Open("exists");
                out += " ";
                DumpQuery(*e.As<ExistsExpr>().query);
                Close();
                return;
            case ExprKind::Quantified: {
                const auto& q = e.As<QuantifiedExpr>();
                Open(BinaryOpText(q.op));
                Arg(*q.left);
                out += q.quantifier == Quantifier::All    ? " (all "
                       : q.quantifier == Quantifier::Some ? " (some "
                                                          : " (any ";
                DumpQuery(*q.query);
                out += "))";
                return;
            }
            case ExprKind::Subquery:
                DumpQuery(*e.As<SubqueryExpr>().query);
                return;
            case ExprKind::Function: {
                const auto& f = e.As<FunctionExpr>();
                Put({"(call ", Name(f.name)});
                for (const auto& a : f.args) Arg(*a);
                Close();
                return;
            }
            case ExprKind::Aggregate: {
                const auto& a = e.As<AggregateExpr>();
                static const char* const kNames[] = {"count", "sum", "avg", "min", "max"};
                Open(kNames[static_cast<int>(a.func)]);
                if (a.distinct) out += " distinct";
                if (a.arg) {
                    Arg(*a.arg);
                } else {
                    out += " *";
                }
                Close();
                return;
            }
            case ExprKind::Cast: {
                const auto& c = e.As<CastExpr>();
                Open("cast");
                Arg(*c.operand);
                Put({" ", ToString(c.type)});
                Close();
                return;
            }
            case ExprKind::Extract: {
                const auto& x = e.As<ExtractExpr>();
                static const char* const kParts[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
                Open("extract");
                out += std::string(" ") + kParts[static_cast<int>(x.part)];
                Arg(*x.operand);
                Close();
                return;
            }
            case ExprKind::Substring: {
                const auto& s = e.As<SubstringExpr>();
                Open("substring");
                Arg(*s.operand);
                Arg(*s.start);
                if (s.length) Arg(*s.length);
                Close();
                return;
            }
            case ExprKind::Trim: {
                const auto& t = e.As<TrimExpr>();
                Open("trim");
                out += t.side == TrimSide::Leading ? " leading" : t.side == TrimSide::Trailing ? " trailing" : " both";
                if (t.character) Arg(*t.character);
                Arg(*t.operand);
                Close();
                return;
            }
        }
    }

    void DumpQuery(const sql::Query& q) {
        const bool single = q.selects.size() == 1;
        if (!single) out += "(union";
        for (size_t i = 0; i < q.selects.size(); ++i) {
            if (i > 0 && q.unionAll[i - 1]) out += " all";
            if (!single) out += " ";
            Core(q.selects[i], single ? &q.orderBy : nullptr);
        }
        if (!single) {
            OrderBy(q.orderBy);
            out += ")";
        }
    }

    void DumpStatement(const sql::Statement& s) {
        switch (s.kind) {
            case StatementKind::Select:
                DumpQuery(*s.As<SelectStatement>().query);
                return;
            case StatementKind::Insert: {
                const auto& i = s.As<InsertStatement>();
                Put({"(insert ", Name(i.table)});
                if (!i.columns.empty()) {
                    out += " (cols";
                    for (const auto& c : i.columns) Put({" ", Name(c)});
                    out += ")";
                }
                if (i.query) {
                    out += " ";
                    DumpQuery(*i.query);
                } else {
                    out += " (values";
                    for (const auto& v : i.values) Arg(*v);
                    out += ")";
                }
                out += ")";
                return;
            }
            case StatementKind::Update: {
                const auto& u = s.As<UpdateStatement>();
                Put({"(update ", Target(u.table, u.correlation), " (set"});
                for (const auto& a : u.assignments) {
                    Put({" (= ", Name(a.column)});
                    Arg(*a.value);
                    out += ")";
                }
                out += ")";
                Where(u.where);
                out += ")";
                return;
            }
            case StatementKind::Delete: {
                const auto& d = s.As<DeleteStatement>();
                Put({"(delete ", Target(d.table, d.correlation)});
                Where(d.where);
                out += ")";
                return;
            }
            case StatementKind::CreateTable: {
                const auto& c = s.As<CreateTableStatement>();
                Put({"(create-table ", Name(c.table)});
                for (const auto& col : c.columns) Put({" (", Name(col.name), " ", ToString(col.type), ")"});
                if (!c.primaryKey.empty()) {
                    out += " (primary-key";
                    for (const auto& k : c.primaryKey) Put({" ", Name(k)});
                    out += ")";
                }
                out += ")";
                return;
            }
            case StatementKind::AlterTable: {
                const auto& a = s.As<AlterTableStatement>();
                Put({"(alter-table ", Name(a.table)});
                for (const auto& act : a.actions) {
                    if (act.kind == AlterAction::Kind::Add) {
                        Put({" (add ", Name(act.column.name), " ", ToString(act.column.type), ")"});
                    } else {
                        Put({" (drop ", Name(act.column.name), ")"});
                    }
                }
                out += ")";
                return;
            }
            case StatementKind::DropTable:
                Put({"(drop-table ", Name(s.As<DropTableStatement>().table), ")"});
                return;
            case StatementKind::CreateIndex: {
                const auto& c = s.As<CreateIndexStatement>();
                out += "(create-index";
                if (c.unique) out += " unique";
                if (c.descending) out += " desc";
                Put({" ", Name(c.name), " ", Name(c.table), " (cols"});
                for (const auto& col : c.columns) Put({" ", Name(col)});
                out += "))";
                return;
            }
            case StatementKind::DropIndex: {
                const auto& d = s.As<DropIndexStatement>();
                Put({"(drop-index ", Name(d.table), " ", d.primary ? std::string("(primary)") : Name(d.name), ")"});
                return;
            }
        }
    }

private:
    void Open(std::string_view head) {
        out += "(";
        out += head;
    }
    void Put(std::initializer_list<std::string_view> parts) {
        for (std::string_view part : parts) out += part;
    }
    void Close() { out += ")"; }
    void Arg(const sql::Expr& e) {
        out += " ";
        DumpExpr(e);
    }

    void Where(const ExprPtr& where) {
        if (!where) return;
        out += " (where";
        Arg(*where);
        out += ")";
    }

    static std::string Target(const TableName& t, const std::optional<Identifier>& corr) {
        if (!corr) return Name(t);
        std::string s = "(as ";
        s += Name(t);
        s += " ";
        s += Name(*corr);
        s += ")";
        return s;
    }

    void DumpTableRef(const sql::TableRef& r) {
        if (r.kind == TableRefKind::Table) {
            const auto& n = r.As<NamedTableRef>();
            out += Target(n.table, n.correlation);
            return;
        }
        const auto& j = r.As<JoinRef>();
        static const char* const kJoins[] = {"join", "left-join", "right-join", "full-join", "cross-join"};
        Open(kJoins[static_cast<int>(j.joinKind)]);
        out += " ";
        DumpTableRef(*j.left);
        out += " ";
        DumpTableRef(*j.right);
        if (j.condition) Arg(*j.condition);
        Close();
    }

    void OrderBy(const std::vector<OrderItem>& items) {
        if (items.empty()) return;
        out += " (order-by";
        for (const auto& item : items) {
            if (item.descending) {
                out += " (desc";
                Arg(*item.expr);
                out += ")";
            } else {
                Arg(*item.expr);
            }
        }
        out += ")";
    }

    void Core(const SelectCore& c, const std::vector<OrderItem>* orderBy) {
        out += "(select";
        if (c.distinct) out += " distinct";
        out += " (cols";
        for (const auto& item : c.items) {
            out += " ";
            switch (item.kind) {
                case SelectItem::Kind::Star:
                    out += "*";
                    break;
                case SelectItem::Kind::QualifiedStar:
                    out += Name(item.qualifier) + ".*";
                    break;
                case SelectItem::Kind::Expr:
                    if (item.alias) {
                        out += "(as ";
                        DumpExpr(*item.expr);
                        Put({" ", Name(*item.alias), ")"});
                    } else {
                        DumpExpr(*item.expr);
                    }
                    break;
            }
        }
        out += ") (from";
        for (const auto& ref : c.from) {
            out += " ";
            DumpTableRef(*ref);
        }
        out += ")";
        Where(c.where);
        if (!c.groupBy.empty()) {
            out += " (group-by";
            for (const auto& g : c.groupBy) Arg(*g);
            out += ")";
        }
        if (c.having) {
            out += " (having";
            Arg(*c.having);
            out += ")";
        }
        if (orderBy) OrderBy(*orderBy);
        out += ")";
    }
};

}  // namespace

std::string ToString(const TypeSpec& type) {
    std::string name = TypeNameText(type.name);
    if (!type.size) return name;
    std::string out = "(";
    out += name;
    out += " ";
    out += std::to_string(*type.size);
    if (type.scale) {
        out += " ";
        out += std::to_string(*type.scale);
    }
    out += ")";
    return out;
}

std::string ToString(const Statement& statement) {
    Dumper d;
    d.DumpStatement(statement);
    return d.out;
}

std::string ToString(const Query& query) {
    Dumper d;
    d.DumpQuery(query);
    return d.out;
}

std::string ToString(const Expr& expr) {
    Dumper d;
    d.DumpExpr(expr);
    return d.out;
}

}  // namespace tessel::engine::sql
