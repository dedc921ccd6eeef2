#pragma once

// A compact S-expression form of the syntax tree, for tests and for looking at what the parser
// made of a statement:
//   SELECT E.LAST_NAME FROM "employee.db" E WHERE SALARY > 100 ORDER BY 1 DESC
//   (select (cols E.LAST_NAME) (from (as "employee.db" E)) (where (> SALARY 100))
//           (order-by (desc 1)))
// Names print as written: bare words as they are, quoted names in double quotes; string
// literals keep their own quotes (an unqualified "x" is always a string).

#include <string>

#include "engine/sql/Ast.h"

namespace tessel::engine::sql {

std::string ToString(const Statement& statement);
std::string ToString(const Query& query);
std::string ToString(const Expr& expr);
std::string ToString(const TypeSpec& type);

}  // namespace tessel::engine::sql
