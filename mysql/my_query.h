// TMyQuery: the query dataset. Runs one statement on a TMyConnection, fetches
// every row into memory while opening, and exposes the rows through typed
// fields (default fields per column, or persistent fields added beforehand).
//
// Flow: SetConnection -> SetSQL -> [AddField...] -> Open -> First/Next until
// Eof, FieldByName(...).AsString() -> Close. Used from one thread. Binding
// and field errors are EDatabaseError prefixed with Name() and ": ";
// connection and statement errors are EMyError.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mysql/my_column.h"
#include "mysql/my_connection.h"
#include "mysql/my_fields.h"
#include "platform/text_lines.h"

namespace mysql {

struct TMyDataSetOptions {
  bool EnableBoolean = true;
  bool BinaryAsString = true;
  bool FieldsAsString = false;
  bool NullForZeroDate = true;
  bool LongStrings = true;
  bool TrimFixedChar = true;
  bool TrimVarChar = false;
  bool RequiredFields = false;
  bool CreateConnection = true;
  bool FlatBuffers = false;
};

class TMyQuery : private MyConnectionClient {
 public:
  TMyQuery();
  ~TMyQuery();
  TMyQuery(const TMyQuery&) = delete;
  TMyQuery& operator=(const TMyQuery&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  TMyConnection* Connection() const { return connection_; }
  void SetConnection(TMyConnection* c);  // closes an active dataset

  // The statement as a line list; SetSQL closes an active dataset first.
  const platform::LineList& SQL() const { return sql_; }
  void SetSQL(const std::string& text);
  void SetSQL(const platform::LineList& lines);
  // Lines joined with CR LF, trailing characters below 33 removed.
  std::string StatementText() const;

  TMyDataSetOptions Options;
  bool FetchAll = true;
  int FetchRows = 25;
  bool UniDirectional = false;
  bool ReadOnly = false;
  int CommandTimeout = 0;  // seconds; 0 = 31536000
  bool ParamCheck = true;

  bool Active() const { return active_; }
  void SetActive(bool v) { v ? Open() : Close(); }
  void Open();
  void Close();
  void First();
  void Next();
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return records_.empty(); }
  int RecordCount() const { return static_cast<int>(records_.size()); }
  int RecNo() const { return static_cast<int>(cursor_) + 1; }

  // Result columns of the open dataset (field definitions).
  const std::vector<MyColumn>& Columns() const { return columns_; }

  // Fields in order (persistent ones, or the default ones while open).
  std::vector<TField*> Fields() const;
  int FieldCount() const { return static_cast<int>(Fields().size()); }
  TField* FindField(const std::string& name) const;    // case-insensitive
  TField& FieldByName(const std::string& name) const;  // "Field '%s' not found"

  // Adds a persistent field (dataset must be closed); returns it.
  template <typename F>
  F& AddField(const std::string& field_name, const std::string& component_name = {}, int size = 0) {
    auto f = std::make_unique<F>();
    f->SetFieldName(field_name);
    f->SetName(component_name);
    if (size) f->SetSize(size);
    F& ref = *f;
    AdoptPersistentField(std::move(f));
    return ref;
  }

  // --- used by fields ---
  const RecordValue* CurrentValue(int column) const;
  TFieldType ColumnType(int column) const;

 private:
  void ConnectionClosing() override;
  void AdoptPersistentField(std::unique_ptr<TField> f);
  void CreateDefaultFields();
  void BindPersistentFields();
  void FetchAllRows(const std::string& sql);
  [[noreturn]] void DatabaseError(const std::string& message) const;

  std::string name_;
  TMyConnection* connection_ = nullptr;
  platform::LineList sql_;

  bool active_ = false;
  bool eof_ = true;
  std::size_t cursor_ = 0;
  std::vector<MyColumn> columns_;
  std::vector<TRecord> records_;
  std::vector<std::unique_ptr<TField>> persistent_fields_;
  std::vector<std::unique_ptr<TField>> default_fields_;
  bool registered_ = false;
};

}  // namespace mysql
