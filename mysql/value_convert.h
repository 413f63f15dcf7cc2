// Conversions of text-protocol values into typed values: integers at fixed
// rules, the decimal float parser, DATE / DATETIME / TIMESTAMP (by length) /
// TIME into day counts since 1899-12-30 (TDateTime), BIT bytes, and the
// formatting of typed values as text. Pure functions; used by the query
// dataset when it fetches rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mysql/my_column.h"
#include "mysql/my_fields.h"

namespace mysql {

// Optional '-', then every character contributes (c - '0'), unchecked;
// 64-bit accumulation (wrapping), or 32-bit when wide is false.
std::int64_t parse_integer_text(std::string_view text, bool wide);

// BIT value: raw bytes, most significant first.
std::uint64_t bit_value(std::string_view bytes);

// The float parser: optional sign, digits with at most one '.', optional
// e/E and a signed integer exponent. Throws EConvertError "'%s' is not a
// valid floating point value" (whole text) or "'%s' is not a valid integer
// value" (exponent). Correctly rounded.
double parse_float_text(std::string_view text);

// TDateTime encoding. nullopt when the parts do not form a valid date/time.
std::optional<double> encode_date(int year, int month, int day);
std::optional<double> encode_time(int hour, int minute, int second, int msec);
// Joins a date and a time of day the TDateTime way (time subtracted for
// dates before 1899-12-30).
double join_date_time(double date, double time);
void decode_date_time(double value, int& year, int& month, int& day, int& hour, int& minute,
                      int& second, int& msec);

// Date and time texts; nullopt for an invalid value ("0000-00-00").
std::optional<double> parse_date_text(std::string_view text);                    // YYYY-MM-DD
std::optional<double> parse_datetime_text(std::string_view text, int decimals);  // + hh:mm:ss[.f]
// TIMESTAMP by column length (19, 14, 12, 10, 8, 6, 4, 2; a longer one
// with decimals is the 19 form with a fraction). EConvertError "Invalid
// FIELD_TYPE_TIMESTAMP Field.Length (%d)" for other lengths.
std::optional<double> parse_timestamp_text(std::string_view text, std::uint32_t length,
                                           int decimals);
// [-]h..h:mm:ss[.fff] as a fraction of days (more than one day allowed).
// EConvertError "Wrong time format at field %s" for more than 999 hours or
// no ':'.
std::optional<double> parse_time_text(std::string_view text, std::string_view field_name);

struct ConvertOptions {
  bool NullForZeroDate = true;       // dataset option
  bool NullForZeroBaseDate = false;  // connection option
  bool TrimFixedChar = true;
};

// Converts one raw value of a column into its record form. A NULL marker
// (is_null) gives a NULL value.
void convert_value(const MyColumn& column, std::string_view raw, bool is_null,
                   const ConvertOptions& options, RecordValue& out);

// Locale formatting of typed values (Turkish settings of the target
// systems: "dd.MM.yyyy", "HH:mm:ss", decimal comma).
std::string format_float(double v);
std::string format_date_time(double v, TFieldType type);

}  // namespace mysql
