// Text names of the syntax tree's type names and operators.

#include "engine/sql/Ast.h"

namespace tessel::engine::sql {

const char* TypeNameText(TypeName name) {
    switch (name) {
        case TypeName::Smallint:
            return "SMALLINT";
        case TypeName::Integer:
            return "INTEGER";
        case TypeName::Decimal:
            return "DECIMAL";
        case TypeName::Numeric:
            return "NUMERIC";
        case TypeName::Float:
            return "FLOAT";
        case TypeName::Char:
            return "CHAR";
        case TypeName::Varchar:
            return "VARCHAR";
        case TypeName::Date:
            return "DATE";
        case TypeName::Time:
            return "TIME";
        case TypeName::Timestamp:
            return "TIMESTAMP";
        case TypeName::Boolean:
            return "BOOLEAN";
        case TypeName::Money:
            return "MONEY";
        case TypeName::Autoinc:
            return "AUTOINC";
        case TypeName::Bytes:
            return "BYTES";
        case TypeName::Blob:
            return "BLOB";
    }
    return "?";
}

const char* BinaryOpText(BinaryOp op) {
    switch (op) {
        case BinaryOp::Add:
            return "+";
        case BinaryOp::Subtract:
            return "-";
        case BinaryOp::Multiply:
            return "*";
        case BinaryOp::Divide:
            return "/";
        case BinaryOp::Concat:
            return "||";
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
        case BinaryOp::And:
            return "AND";
        case BinaryOp::Or:
            return "OR";
    }
    return "?";
}

}  // namespace tessel::engine::sql
