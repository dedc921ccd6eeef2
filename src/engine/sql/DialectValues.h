#pragma once

// How the dialect reads date, time, timestamp, logical and number text, and the text forms in
// which such values travel through SQLite (see Catalog.h). The binder uses these for literals,
// the SQLite functions of DialectFunctions.h for CAST, and the executor may use them to bring
// parameter values given as text into a column's type.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessel::engine::sql {

// Dates are written month first: m/d/yyyy or m/d/yy (a year of one or two digits falls in
// 1950..2049); yyyy-mm-dd is read too. Leading and trailing blanks are ignored. False for an
// impossible date.
bool ParseDateLiteral(std::string_view text, int64_t& dayNumber);

// h:mm[:ss[.fff]] with an optional AM/PM in any case. Without a designator the hour decides;
// an hour above 12 wins over the designator ("15:03:22 AM" is 3:03:22 PM); 12 AM is midnight.
bool ParseTimeLiteral(std::string_view text, int64_t& msOfDay);

// A date, optionally followed by blanks and a time (midnight when left out).
bool ParseTimestampLiteral(std::string_view text, int64_t& ms);

// TRUE/FALSE and T/F in any case.
std::optional<bool> ParseBoolLiteral(std::string_view text);

// A decimal number: optional sign, digits with an optional point, optional exponent.
// `decimals` is the count of digits after the point (-1 with an exponent).
bool ParseNumberLiteral(std::string_view text, double& value, int& decimals);

// The forms in which values travel between the virtual tables and SQLite.
std::string SqliteDateText(int64_t dayNumber);  // YYYY-MM-DD
std::string SqliteTimeText(int64_t msOfDay);    // HH:MM:SS.mmm
std::string SqliteTimestampText(int64_t ms);    // YYYY-MM-DD HH:MM:SS.mmm

// The travelling forms read back (exactly the forms above; also without the milliseconds).
bool ReadSqliteDate(std::string_view text, int64_t& dayNumber);
bool ReadSqliteTime(std::string_view text, int64_t& msOfDay);
bool ReadSqliteTimestamp(std::string_view text, int64_t& ms);

// The dialect's display forms, as CAST(... AS CHAR) gives them: mm/dd/yyyy, hh:mm:ss AM,
// and the two joined by a blank.
std::string DialectDateText(int64_t dayNumber);
std::string DialectTimeText(int64_t msOfDay);
std::string DialectTimestampText(int64_t ms);

}  // namespace tessel::engine::sql
