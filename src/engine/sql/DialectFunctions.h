#pragma once

// SQLite functions that carry the dialect's rules where SQLite's built-ins differ. The binder's
// SQL calls them by these names; the executor registers them on its connection with
// RegisterDialectFunctions before it prepares any of that SQL.
//
//   tessel_like(v, p [, e])     LIKE: case-sensitive, trailing blanks of v ignored, ESCAPE e
//   tessel_upper(x), tessel_lower(x)   letter case of Latin, Greek and Cyrillic letters
//   tessel_substr(x, s [, n])   SUBSTRING: positions from 1, a start beyond the end gives ''
//   tessel_trim(x, c, side)     TRIM of one character c; side 0 both, 1 leading, 2 trailing
//   tessel_div(a, b)            a / b in floating point; division by zero fails
//   tessel_round(x, s)          x rounded to s decimals (results of fixed-point arithmetic)
//   tessel_sum_<s>(x), tessel_avg_<s>(x)   exact SUM and AVG of values of scale s (0..18):
//                               each value is taken as a scaled integer and added exactly
//   tessel_single(n, v)         v, failing when n (the rows of a subquery) is above 1
//   tessel_cast(x, from, fromScale, to, size, scale)   CAST between the engine's type codes
//
// Comparisons of text use SQLite's built-in RTRIM collation (binary, trailing blanks ignored).

struct sqlite3;

namespace tessel::engine::sql {

constexpr int kMaxExactScale = 18;

void RegisterDialectFunctions(sqlite3* db);

}  // namespace tessel::engine::sql
