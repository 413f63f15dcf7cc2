// Field value access over the dataset's current record.
#include "mysql/my_fields.h"

#include <charconv>
#include <cmath>

#include "mysql/my_error.h"
#include "mysql/my_query.h"
#include "mysql/value_convert.h"

namespace mysql {

namespace {

bool is_integer_type(TFieldType t) {
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftLargeint || t == ftBoolean ||
         t == ftAutoInc;
}
bool is_float_type(TFieldType t) {
  return t == ftFloat || t == ftCurrency || t == ftBCD || t == ftFMTBcd;
}
bool is_date_type(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime; }

std::int64_t text_to_int(const std::string& s) {
  std::int64_t v = 0;
  const char* b = s.data();
  const char* e = s.data() + s.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  if (s.empty() || r.ec != std::errc() || r.ptr != e) throw platform::invalid_integer(s);
  return v;
}

}  // namespace

const RecordValue* TField::Value() const {
  if (!dataset_ || column_ < 0) return nullptr;
  return dataset_->CurrentValue(column_);
}

TFieldType TField::ColumnType() const {
  return dataset_ && column_ >= 0 ? dataset_->ColumnType(column_) : data_type_;
}

bool TField::IsNull() const {
  const RecordValue* v = Value();
  return !v || v->null;
}

std::string TField::AsString() const {
  const RecordValue* v = Value();
  if (!v || v->null) return {};
  const TFieldType t = ColumnType();
  if (t == ftBoolean) return v->i ? "True" : "False";
  if (is_integer_type(t)) return std::to_string(v->i);
  if (t == ftBCD || t == ftFMTBcd) return format_float(v->f);
  if (is_float_type(t)) return format_float(v->f);
  if (is_date_type(t)) return format_date_time(v->f, t);
  return v->s;
}

std::int64_t TField::AsLargeInt() const {
  const RecordValue* v = Value();
  if (!v || v->null) return 0;
  const TFieldType t = ColumnType();
  if (is_integer_type(t)) return v->i;
  if (is_float_type(t) || is_date_type(t)) return static_cast<std::int64_t>(std::llround(v->f));
  return text_to_int(v->s);
}

int TField::AsInteger() const { return static_cast<int>(AsLargeInt()); }

double TField::AsFloat() const {
  const RecordValue* v = Value();
  if (!v || v->null) return 0;
  const TFieldType t = ColumnType();
  if (is_integer_type(t)) return static_cast<double>(v->i);
  if (is_float_type(t) || is_date_type(t)) return v->f;
  return parse_float_text(v->s);
}

double TField::AsDateTime() const {
  const RecordValue* v = Value();
  if (!v || v->null) return 0;
  return is_integer_type(ColumnType()) ? static_cast<double>(v->i) : AsFloat();
}

bool TField::AsBoolean() const {
  const RecordValue* v = Value();
  if (!v || v->null) return false;
  const TFieldType t = ColumnType();
  if (is_integer_type(t)) return v->i != 0;
  if (is_float_type(t)) return v->f != 0;
  if (v->s == "True" || v->s == "true" || v->s == "1") return true;
  return false;
}

std::string TStringField::AsString() const {
  std::string s = TField::AsString();
  size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

std::int64_t TStringField::AsLargeInt() const {
  if (IsNull()) return 0;
  return text_to_int(AsString());
}

int TStringField::AsInteger() const {
  std::int64_t v = AsLargeInt();
  if (v < INT32_MIN || v > INT32_MAX) throw platform::invalid_integer(AsString());
  return static_cast<int>(v);
}

std::int64_t TIntegerFieldBase::AsLargeInt() const {
  std::int64_t v = TField::AsLargeInt();
  switch (DataType()) {
    case ftSmallint:
      return static_cast<std::int16_t>(v);
    case ftWord:
      return static_cast<std::uint16_t>(v);
    case ftInteger:
      return static_cast<std::int32_t>(v);
    default:
      return v;
  }
}

int TIntegerFieldBase::AsInteger() const { return static_cast<int>(AsLargeInt()); }

std::string TIntegerFieldBase::AsString() const {
  if (IsNull()) return {};
  return std::to_string(AsLargeInt());
}

std::string TBooleanField::AsString() const {
  if (IsNull()) return {};
  return AsBoolean() ? "True" : "False";
}

}  // namespace mysql
