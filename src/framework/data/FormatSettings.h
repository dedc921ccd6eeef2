#pragma once

// How the data objects write dates, times and numbers as text and read them back: the
// process-wide national settings (United States forms by default, like "1/15/1998",
// "3:04:05 PM", "$1,234.50").

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

enum class TDateOrder { MDY, DMY, YMD };

struct TFormatSettings {
    TDateOrder dateOrder = TDateOrder::MDY;
    char dateSeparator = '/';
    bool dateLeadingZeros = false;  // "01/05/1998" instead of "1/5/1998"
    char timeSeparator = ':';
    bool twelveHour = true;  // "3:04:05 PM" instead of "15:04:05"
    std::string timeAMString = "AM";
    std::string timePMString = "PM";
    char decimalSeparator = '.';
    char thousandSeparator = ',';
    std::string currencyString = "$";
    int currencyDecimals = 2;
    // Two-digit years below this are read as 20xx, the others as 19xx.
    int twoDigitYearPivot = 50;
};

// The settings every field uses. Tests and the window may change them.
TFormatSettings& FormatSettings();

// Day numbers, milliseconds since midnight and timestamps as engine::Value keeps them.
std::string DateToStr(int64_t dayNumber);
std::string TimeToStr(int64_t msOfDay);
// The date, then a blank and the time unless the time is exactly midnight.
std::string DateTimeToStr(int64_t timestampMs);

// Readers for typed text. They accept the settings' date order with any of "/", "-", "." as
// separators, ISO "YYYY-MM-DD", 12- and 24-hour times with optional seconds and milliseconds.
// Leading and trailing blanks are ignored. False when the text is no such value.
bool TryStrToDate(std::string_view text, int64_t& dayNumber);
bool TryStrToTime(std::string_view text, int64_t& msOfDay);
bool TryStrToDateTime(std::string_view text, int64_t& timestampMs);

// Floating point in the general form with 15 significant digits ("0.1", "1234.5", "1E20").
std::string FloatToStr(double v);
// Fixed form with `decimals` digits and thousands separators when `thousands`.
std::string FloatToStrFixed(double v, int decimals, bool thousands);
// Currency form: "$1,234.50", negative "($1,234.50)".
std::string CurrToStr(double v);
// Strict readers: the whole text (less blanks) must be the number.
bool TryStrToFloat(std::string_view text, double& v);
bool TryStrToInt64(std::string_view text, int64_t& v);

// Numbers through a display format: up to three sections "positive;negative;zero"; in each,
// "0" is a digit always written, "#" a digit written when needed, "." the decimal point, ","
// anywhere among the digits asks for thousands separators, "%" multiplies by 100, text in
// quotes and other characters are written as they stand. A negative number without a
// negative section gets a minus sign.
std::string FormatFloat(std::string_view format, double v);
// Reads a number written through a display format, or typed by hand near it: the format's
// own characters, the currency string, thousands separators and blanks are passed over,
// parentheses or a minus sign (before or after) make the number negative, and "%" in the
// format divides by 100. False when no number remains.
bool TryStrToFloatFormatted(std::string_view text, std::string_view format, double& v);
// Whether a character typed for a number can belong to text in that format.
bool IsFormattedNumberChar(std::string_view format, char c);

std::string_view TrimBlanks(std::string_view s);

}  // namespace tessel
