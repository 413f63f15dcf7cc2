// Query dataset: open (execute, field definitions, fields, fetch all),
// cursor, field lookup.
#include "mysql/my_query.h"

#include <cctype>

#include "mysql/my_sql_session.h"
#include "mysql/value_convert.h"
#include "platform/ascii_case.h"

namespace mysql {

namespace {

std::unique_ptr<TField> make_field(TFieldType type) {
  switch (type) {
    case ftString:
      return std::make_unique<TStringField>();
    case ftSmallint:
      return std::make_unique<TSmallintField>();
    case ftInteger:
      return std::make_unique<TIntegerField>();
    case ftWord:
      return std::make_unique<TWordField>();
    case ftBoolean:
      return std::make_unique<TBooleanField>();
    case ftFloat:
      return std::make_unique<TFloatField>();
    case ftCurrency:
      return std::make_unique<TCurrencyField>();
    case ftBCD:
      return std::make_unique<TBCDField>();
    case ftFMTBcd:
      return std::make_unique<TFMTBCDField>();
    case ftDate:
      return std::make_unique<TDateField>();
    case ftTime:
      return std::make_unique<TTimeField>();
    case ftDateTime:
      return std::make_unique<TDateTimeField>();
    case ftBytes:
      return std::make_unique<TBytesField>();
    case ftVarBytes:
      return std::make_unique<TVarBytesField>();
    case ftBlob:
      return std::make_unique<TBlobField>();
    case ftMemo:
      return std::make_unique<TMemoField>();
    case ftWideString:
      return std::make_unique<TWideStringField>();
    case ftLargeint:
      return std::make_unique<TLargeintField>();
    default:
      return std::make_unique<TField>(type);
  }
}

bool types_compatible(TFieldType field, TFieldType def) {
  if (field == ftFloat || field == ftCurrency) {
    if (def == ftFloat || def == ftCurrency) return true;
  } else if (field == ftBCD || field == ftFMTBcd) {
    if (def == field) return true;
  }
  return base_field_type(field) == base_field_type(def);
}

}  // namespace

TMyQuery::TMyQuery() = default;

TMyQuery::~TMyQuery() {
  Close();
  if (connection_ && registered_) connection_->UnregisterClient(this);
}

void TMyQuery::SetConnection(TMyConnection* c) {
  if (c == connection_) return;
  Close();
  if (connection_ && registered_) connection_->UnregisterClient(this);
  registered_ = false;
  connection_ = c;
}

void TMyQuery::SetSQL(const std::string& text) { SetSQL(platform::split_lines(text)); }

void TMyQuery::SetSQL(const platform::LineList& lines) {
  Close();
  sql_ = lines;
}

std::string TMyQuery::StatementText() const {
  std::string text = platform::join_lines(sql_);
  while (!text.empty() && static_cast<unsigned char>(text.back()) < 33) text.pop_back();
  return text;
}

void TMyQuery::DatabaseError(const std::string& message) const {
  throw EDatabaseError(prefixed_message(name_, message));
}

void TMyQuery::AdoptPersistentField(std::unique_ptr<TField> f) {
  if (active_) DatabaseError("Cannot perform this operation on an open dataset");
  f->dataset_ = this;
  persistent_fields_.push_back(std::move(f));
}

std::vector<TField*> TMyQuery::Fields() const {
  std::vector<TField*> out;
  const auto& list = persistent_fields_.empty() ? default_fields_ : persistent_fields_;
  out.reserve(list.size());
  for (const auto& f : list) out.push_back(f.get());
  return out;
}

TField* TMyQuery::FindField(const std::string& name) const {
  const auto& list = persistent_fields_.empty() ? default_fields_ : persistent_fields_;
  for (const auto& f : list)
    if (platform::equal_ignoring_ascii_case(f->FieldName(), name)) return f.get();
  return nullptr;
}

TField& TMyQuery::FieldByName(const std::string& name) const {
  TField* f = FindField(name);
  if (!f) DatabaseError("Field '" + name + "' not found");
  return *f;
}

void TMyQuery::Open() {
  if (active_) return;
  if (!connection_) DatabaseError("Connection is not defined");
  if (!connection_->Connected() && !connection_->Options().AllowImplicitConnect)
    DatabaseError("Connection is not connected");
  connection_->BeginUse(this);
  registered_ = true;
  struct TEndUse {
    TMyConnection* c;
    TMyQuery* q;
    ~TEndUse() { c->EndUse(q); }
  } end_use{connection_, this};
  try {
    FetchAllRows(StatementText());
  } catch (...) {
    records_.clear();
    columns_.clear();
    default_fields_.clear();
    for (auto& f : persistent_fields_) f->column_ = -1;
    throw;
  }
  active_ = true;
  cursor_ = 0;
  eof_ = records_.empty();
}

void TMyQuery::FetchAllRows(const std::string& sql) {
  TMyConnection& conn = *connection_;
  TMySqlSession& session = conn.Session();
  // Drops what is left of the result when binding or converting fails.
  auto release = [&] {
    try {
      if (conn.Connected() && conn.Session().State() != TSessionState::Ready)
        conn.Guarded([&] { conn.Session().FreeResult(); });
    } catch (...) {
    }
  };
  session.read_timeout = CommandTimeout > 0 ? CommandTimeout : kForeverSeconds;
  if (!conn.Guarded([&] { return session.Query(sql); })) return;
  columns_ = session.Columns();
  try {
    FieldTypingOptions typing = conn.TypingOptions();
    typing.EnableBoolean = Options.EnableBoolean;
    typing.BinaryAsString = Options.BinaryAsString;
    typing.FieldsAsString = Options.FieldsAsString;
    typing.LongStrings = Options.LongStrings;
    const ParsedStatement stmt = conn.StatementInfo(sql);
    for (MyColumn& c : columns_)
      c.typing = type_column(c.type, c.flags, c.charset, c.length, c.decimals, c.name, c.table,
                             stmt, typing);
    if (persistent_fields_.empty())
      CreateDefaultFields();
    else
      BindPersistentFields();

    ConvertOptions convert;
    convert.NullForZeroDate = Options.NullForZeroDate;
    convert.NullForZeroBaseDate = conn.Options().NullForZeroBaseDate();
    convert.TrimFixedChar = Options.TrimFixedChar;
    std::vector<std::string_view> values;
    while (conn.Guarded([&] { return conn.Session().FetchRow(values); })) {
      TRecord record(columns_.size());
      for (size_t i = 0; i < columns_.size(); ++i)
        convert_value(columns_[i], values[i], values[i].data() == nullptr, convert, record[i]);
      records_.push_back(std::move(record));
    }
  } catch (...) {
    release();
    throw;
  }
}

void TMyQuery::CreateDefaultFields() {
  default_fields_.clear();
  for (size_t i = 0; i < columns_.size(); ++i) {
    const MyColumn& c = columns_[i];
    auto f = make_field(c.typing.data_type);
    f->SetFieldName(c.name);
    f->SetSize(c.typing.size == 0 && c.typing.data_type == ftString ? 1 : c.typing.size);
    f->dataset_ = this;
    f->column_ = static_cast<int>(i);
    default_fields_.push_back(std::move(f));
  }
}

void TMyQuery::BindPersistentFields() {
  for (auto& f : persistent_fields_) {
    int found = -1;
    for (size_t i = 0; i < columns_.size(); ++i)
      if (platform::equal_ignoring_ascii_case(columns_[i].name, f->FieldName())) {
        found = static_cast<int>(i);
        break;
      }
    if (found < 0) DatabaseError("Field '" + f->DisplayName() + "' not found");
    const MyColumn& c = columns_[found];
    const TFieldType def = c.typing.data_type;
    if (!types_compatible(f->DataType(), def)) {
      DatabaseError("Type mismatch for field '" + f->DisplayName() +
                    "', expecting: " + std::string(FieldTypeNames(f->DataType())) +
                    " actual: " + std::string(FieldTypeNames(def)));
    }
    const TFieldType t = f->DataType();
    if ((t == ftBytes || t == ftVarBytes || t == ftReference) && f->Size() != c.typing.size) {
      DatabaseError("Size mismatch for field '" + f->DisplayName() + "', expecting: " +
                    std::to_string(f->Size()) + " actual: " + std::to_string(c.typing.size));
    }
    f->column_ = found;
  }
}

void TMyQuery::Close() {
  if (!active_) return;
  active_ = false;
  eof_ = true;
  cursor_ = 0;
  records_.clear();
  columns_.clear();
  default_fields_.clear();
  for (auto& f : persistent_fields_) f->column_ = -1;
}

void TMyQuery::ConnectionClosing() { Close(); }

void TMyQuery::First() {
  cursor_ = 0;
  eof_ = records_.empty();
}

void TMyQuery::Next() {
  if (cursor_ + 1 < records_.size())
    ++cursor_;
  else
    eof_ = true;
}

const RecordValue* TMyQuery::CurrentValue(int column) const {
  if (!active_ || records_.empty() || column < 0 || static_cast<size_t>(column) >= columns_.size())
    return nullptr;
  return &records_[cursor_][column];
}

TFieldType TMyQuery::ColumnType(int column) const {
  if (column < 0 || static_cast<size_t>(column) >= columns_.size()) return ftUnknown;
  return columns_[column].typing.data_type;
}

}  // namespace mysql
