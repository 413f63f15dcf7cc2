// Text-protocol value conversions and their formatting.
#include "mysql/value_convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "mysql/my_error.h"

namespace mysql {

namespace {

constexpr double kMsPerDay = 24.0 * 3600 * 1000;

std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
const std::int64_t kEpoch = days_from_civil(1899, 12, 30);

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int days_in_month(int y, int m) {
  static const int k[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : k[m - 1];
}

// Digits at a fixed position; -1 when missing or not digits.
int digits_at(std::string_view s, size_t pos, size_t count) {
  if (pos + count > s.size()) return -1;
  int v = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    unsigned char c = s[i];
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

int two_digit_year(int yy) { return yy < 0 ? -1 : yy < 70 ? 2000 + yy : 1900 + yy; }

std::optional<double> make_date_time(int y, int mo, int d, int h, int mi, int s, int ms) {
  if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0 || ms < 0) return std::nullopt;
  auto date = encode_date(y, mo, d);
  auto time = encode_time(h, mi, s, ms);
  if (!date || !time) return std::nullopt;
  return join_date_time(*date, *time);
}

// Fraction of `decimals` digits at pos, in milliseconds (microseconds
// truncated).
int fraction_ms(std::string_view s, size_t pos, int decimals) {
  if (decimals <= 0 || pos >= s.size()) return 0;
  long long v = 0;
  int n = 0;
  for (size_t i = pos; i < s.size() && n < decimals; ++i, ++n) {
    unsigned char c = s[i];
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  for (; n < 6; ++n) v *= 10;
  for (; n > 6; --n) v /= 10;
  return static_cast<int>(v / 1000);
}

[[noreturn]] void not_float(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

}  // namespace

std::int64_t parse_integer_text(std::string_view text, bool wide) {
  size_t i = 0;
  bool neg = false;
  if (!text.empty() && text[0] == '-') {
    neg = true;
    i = 1;
  }
  std::uint64_t acc64 = 0;
  std::uint32_t acc32 = 0;
  for (; i < text.size(); ++i) {
    const auto digit = static_cast<std::uint64_t>(static_cast<unsigned char>(text[i]) - '0');
    if (wide)
      acc64 = acc64 * 10 + digit;
    else
      acc32 = acc32 * 10 + static_cast<std::uint32_t>(digit);
  }
  if (wide) return static_cast<std::int64_t>(neg ? 0 - acc64 : acc64);
  return static_cast<std::int32_t>(neg ? 0 - acc32 : acc32);
}

std::uint64_t bit_value(std::string_view bytes) {
  std::uint64_t v = 0;
  for (unsigned char b : bytes) v = (v << 8) | b;
  return v;
}

double parse_float_text(std::string_view text) {
  size_t i = 0;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  std::string int_digits, frac_digits;
  bool point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      (point ? frac_digits : int_digits).push_back(c);
    } else if (c == '.' && !point) {
      point = true;
    } else if (c == 'e' || c == 'E') {
      break;
    } else {
      not_float(text);
    }
  }
  long long exponent = 0;
  if (i < text.size()) {  // at 'e' / 'E'
    std::string_view exp_text = text.substr(i + 1);
    size_t j = 0;
    bool exp_neg = false;
    if (j < exp_text.size() && (exp_text[j] == '-' || exp_text[j] == '+'))
      exp_neg = exp_text[j++] == '-';
    if (j == exp_text.size()) throw platform::invalid_integer(exp_text);
    for (; j < exp_text.size(); ++j) {
      char c = exp_text[j];
      if (c < '0' || c > '9') throw platform::invalid_integer(exp_text);
      if (exponent < 100000) exponent = exponent * 10 + (c - '0');
    }
    if (exp_neg) exponent = -exponent;
  }
  if (int_digits.empty() && frac_digits.empty()) return neg ? -0.0 : 0.0;
  std::string normal = (int_digits.empty() ? "0" : int_digits) + "." +
                       (frac_digits.empty() ? "0" : frac_digits) + "e" + std::to_string(exponent);
  double v = 0;
  auto r = std::from_chars(normal.data(), normal.data() + normal.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond the double range: infinity or zero as the value dictates.
    v = exponent > 0 ? HUGE_VAL : 0.0;
  } else if (r.ec != std::errc()) {
    not_float(text);
  }
  return neg ? -v : v;
}

std::optional<double> encode_date(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > days_in_month(year, month))
    return std::nullopt;
  return static_cast<double>(days_from_civil(year, month, day) - kEpoch);
}

std::optional<double> encode_time(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return std::nullopt;
  return ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + msec) / kMsPerDay;
}

double join_date_time(double date, double time) { return date < 0 ? date - time : date + time; }

void decode_date_time(double value, int& year, int& month, int& day, int& hour, int& minute,
                      int& second, int& msec) {
  double whole = std::trunc(value);
  auto ms_total = static_cast<long long>(std::llround(std::fabs(value - whole) * kMsPerDay));
  if (ms_total >= static_cast<long long>(kMsPerDay)) {
    ms_total -= static_cast<long long>(kMsPerDay);
    whole += value < 0 ? -1 : 1;
  }
  std::int64_t z = static_cast<std::int64_t>(whole) + kEpoch + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
  msec = static_cast<int>(ms_total % 1000);
  second = static_cast<int>(ms_total / 1000 % 60);
  minute = static_cast<int>(ms_total / 60000 % 60);
  hour = static_cast<int>(ms_total / 3600000);
}

std::optional<double> parse_date_text(std::string_view s) {
  int y = digits_at(s, 0, 4), m = digits_at(s, 5, 2), d = digits_at(s, 8, 2);
  if (y < 0 || m < 0 || d < 0) return std::nullopt;
  return encode_date(y, m, d);
}

std::optional<double> parse_datetime_text(std::string_view s, int decimals) {
  return make_date_time(digits_at(s, 0, 4), digits_at(s, 5, 2), digits_at(s, 8, 2),
                        digits_at(s, 11, 2), digits_at(s, 14, 2), digits_at(s, 17, 2),
                        fraction_ms(s, 20, decimals));
}

std::optional<double> parse_timestamp_text(std::string_view s, std::uint32_t length, int decimals) {
  switch (length) {
    case 19:
      return parse_datetime_text(s, 0);
    case 14:
      return make_date_time(digits_at(s, 0, 4), digits_at(s, 4, 2), digits_at(s, 6, 2),
                            digits_at(s, 8, 2), digits_at(s, 10, 2), digits_at(s, 12, 2), 0);
    case 12:
      return make_date_time(two_digit_year(digits_at(s, 0, 2)), digits_at(s, 2, 2),
                            digits_at(s, 4, 2), digits_at(s, 6, 2), digits_at(s, 8, 2),
                            digits_at(s, 10, 2), 0);
    case 10:
      return make_date_time(two_digit_year(digits_at(s, 0, 2)), digits_at(s, 2, 2),
                            digits_at(s, 4, 2), digits_at(s, 6, 2), digits_at(s, 8, 2), 0, 0);
    case 8:
      return make_date_time(digits_at(s, 0, 4), digits_at(s, 4, 2), digits_at(s, 6, 2), 0, 0, 0, 0);
    case 6:
      return make_date_time(two_digit_year(digits_at(s, 0, 2)), digits_at(s, 2, 2),
                            digits_at(s, 4, 2), 0, 0, 0, 0);
    case 4:
      return make_date_time(two_digit_year(digits_at(s, 0, 2)), digits_at(s, 2, 2), 1, 0, 0, 0, 0);
    case 2:
      return make_date_time(two_digit_year(digits_at(s, 0, 2)), 1, 1, 0, 0, 0, 0);
    default:
      // TIMESTAMP(n) of newer servers: the 19-character form, '.', n digits.
      if (decimals > 0 && length == 20u + static_cast<std::uint32_t>(decimals))
        return parse_datetime_text(s, decimals);
      char text[80];
      std::snprintf(text, sizeof text, "Invalid FIELD_TYPE_TIMESTAMP Field.Length (%u)", length);
      throw EConvertError(text);
  }
}

std::optional<double> parse_time_text(std::string_view s, std::string_view field_name) {
  auto wrong = [&]() -> EConvertError {
    return EConvertError("Wrong time format at field " + std::string(field_name));
  };
  size_t i = 0;
  bool neg = false;
  if (!s.empty() && s[0] == '-') {
    neg = true;
    i = 1;
  }
  size_t colon = s.find(':', i);
  if (colon == std::string_view::npos || colon == i) throw wrong();
  long long hours = 0;
  for (size_t k = i; k < colon; ++k) {
    unsigned char c = s[k];
    if (c < '0' || c > '9') throw wrong();
    hours = hours * 10 + (c - '0');
    if (hours > 999) throw wrong();
  }
  int minutes = digits_at(s, colon + 1, 2), seconds = digits_at(s, colon + 4, 2);
  int ms = 0;
  if (colon + 6 < s.size() && s[colon + 6] == '.')
    ms = fraction_ms(s, colon + 7, static_cast<int>(s.size() - (colon + 7)));
  if (minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 || ms < 0) return std::nullopt;
  double v = ((hours * 3600.0 + minutes * 60.0 + seconds) * 1000.0 + ms) / kMsPerDay;
  return neg ? -v : v;
}

namespace {

// Integer and Boolean fields: the text (or BIT bytes) narrowed to the field.
void convert_integer(const MyColumn& column, std::string_view raw, TFieldType t, RecordValue& out) {
  std::int64_t v;
  if (column.type == MYSQL_TYPE_BIT)
    v = static_cast<std::int64_t>(bit_value(raw));
  else
    v = parse_integer_text(raw, t == ftLargeint);
  switch (t) {
    case ftSmallint:
      out.i = static_cast<std::int16_t>(v);
      break;
    case ftInteger:
      out.i = static_cast<std::int32_t>(v);
      break;
    case ftWord:
      out.i = static_cast<std::uint16_t>(v);
      break;
    case ftBoolean:
      out.i = (v & 0xFF) != 0;
      break;
    default:
      out.i = v;
      break;
  }
}

// Date, time and date-time fields; an invalid (zero) value is NULL or the
// first day of year 1 as the options say.
void convert_date_time(const MyColumn& column, std::string_view raw, TFieldType t,
                       const ConvertOptions& options, RecordValue& out) {
  std::optional<double> v;
  if (t == ftDate)
    v = parse_date_text(raw);
  else if (t == ftTime)
    v = parse_time_text(raw, column.name);
  else if (column.type == MYSQL_TYPE_TIMESTAMP)
    v = parse_timestamp_text(raw, column.typing.length, column.decimals);
  else
    v = parse_datetime_text(raw, column.decimals);
  if (!v) {
    if (options.NullForZeroDate)
      out.null = true;
    else
      out.f = *encode_date(1, 1, 1);
    return;
  }
  out.f = *v;
  if (*v == 0.0 && options.NullForZeroBaseDate) out.null = true;
}

// String and byte fields: short sizes cut, trailing blanks of CHAR trimmed.
void convert_string(const MyColumn& column, std::string_view raw, TFieldType t,
                    const ConvertOptions& options, RecordValue& out) {
  std::string_view v = raw;
  const int size = column.typing.size;
  if (size >= 1 && size <= 31 && v.size() > static_cast<size_t>(size)) v = v.substr(0, size);
  if (column.typing.fixed && options.TrimFixedChar && t == ftString) {
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  }
  out.s = std::string(v);
}

}  // namespace

void convert_value(const MyColumn& column, std::string_view raw, bool is_null,
                   const ConvertOptions& options, RecordValue& out) {
  out = RecordValue{};
  if (is_null) return;
  out.null = false;
  const TFieldType t = column.typing.data_type;
  switch (t) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftBoolean:
      convert_integer(column, raw, t, out);
      break;
    case ftFloat:
    case ftCurrency:
      out.f = parse_float_text(raw);
      break;
    case ftBCD:
      out.f = std::round(parse_float_text(raw) * 10000.0) / 10000.0;
      out.s = std::string(raw);
      break;
    case ftFMTBcd:
      out.f = parse_float_text(raw);
      out.s = std::string(raw);
      break;
    case ftDate:
    case ftTime:
    case ftDateTime:
      convert_date_time(column, raw, t, options, out);
      break;
    case ftString:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
      convert_string(column, raw, t, options, out);
      break;
    default:
      out.s = std::string(raw);
      break;
  }
}

std::string format_float(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string s(buf);
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

std::string format_date_time(double v, TFieldType type) {
  int y, mo, d, h, mi, s, ms;
  decode_date_time(v, y, mo, d, h, mi, s, ms);
  char buf[64];
  if (type == ftDate) {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, mo, y);
  } else if (type == ftTime) {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
  } else if (h == 0 && mi == 0 && s == 0) {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, mo, y);
  } else {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", d, mo, y, h, mi, s);
  }
  return buf;
}

}  // namespace mysql
