// Fields of the query dataset: one class per field data type, reading the
// current record of their dataset. Default fields are created by the dataset
// at Open; persistent fields are added by the owner before Open and bound to
// the result column of the same name (TMyQuery::AddField).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mysql/field_types.h"

namespace mysql {

class TMyQuery;

// One converted value of a record, stored in the width of its column's type.
struct RecordValue {
  bool null = true;
  std::int64_t i = 0;  // integer and boolean columns (sign/zero-extended)
  double f = 0;        // float, currency and date/time columns (TDateTime)
  std::string s;       // string, bytes, memo and blob columns; BCD text
};
using TRecord = std::vector<RecordValue>;

class TField {
 public:
  explicit TField(TFieldType type) : data_type_(type) {}
  virtual ~TField() = default;
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  // Component name of a persistent field ("ayarlarlevhano").
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& v) { field_name_ = v; }
  const std::string& DisplayLabel() const { return display_label_; }
  void SetDisplayLabel(const std::string& v) { display_label_ = v; }
  // The display label when set, else the field name.
  const std::string& DisplayName() const {
    return display_label_.empty() ? field_name_ : display_label_;
  }
  TFieldType DataType() const { return data_type_; }
  int Size() const { return size_; }
  void SetSize(int v) { size_ = v; }
  TMyQuery* DataSet() const { return dataset_; }
  // Index of the bound result column, -1 when unbound.
  int FieldNo() const { return column_; }

  bool IsNull() const;
  virtual std::string AsString() const;
  virtual std::int64_t AsLargeInt() const;
  virtual int AsInteger() const;
  virtual double AsFloat() const;
  virtual double AsDateTime() const;
  virtual bool AsBoolean() const;

 protected:
  // The current record's value of the bound column; nullptr when there is no
  // current record.
  const RecordValue* Value() const;
  // Field data type of the bound column (the stored form of the value).
  TFieldType ColumnType() const;

 private:
  friend class TMyQuery;
  std::string name_, field_name_, display_label_;
  TFieldType data_type_;
  int size_ = 0;
  TMyQuery* dataset_ = nullptr;
  int column_ = -1;
};

class TStringField : public TField {
 public:
  TStringField() : TField(ftString) {}
  std::string AsString() const override;  // up to the first NUL
  int AsInteger() const override;         // "'%s' is not a valid integer value"
  std::int64_t AsLargeInt() const override;
};

// Integer fields read the column's value and keep the low bits of their own
// width (a TSmallintField on an INT column takes the low 16 bits).
class TIntegerFieldBase : public TField {
 public:
  using TField::TField;
  std::int64_t AsLargeInt() const override;
  int AsInteger() const override;
  std::string AsString() const override;
  double AsFloat() const override { return static_cast<double>(AsLargeInt()); }
};
class TSmallintField : public TIntegerFieldBase {
 public:
  TSmallintField() : TIntegerFieldBase(ftSmallint) {}
};
class TIntegerField : public TIntegerFieldBase {
 public:
  TIntegerField() : TIntegerFieldBase(ftInteger) {}
};
class TWordField : public TIntegerFieldBase {
 public:
  TWordField() : TIntegerFieldBase(ftWord) {}
};
class TLargeintField : public TIntegerFieldBase {
 public:
  TLargeintField() : TIntegerFieldBase(ftLargeint) {}
};
class TBooleanField : public TField {
 public:
  TBooleanField() : TField(ftBoolean) {}
  std::string AsString() const override;  // "True" / "False"
};
class TFloatField : public TField {
 public:
  TFloatField() : TField(ftFloat) {}
};
class TCurrencyField : public TField {
 public:
  TCurrencyField() : TField(ftCurrency) {}
};
class TBCDField : public TField {
 public:
  TBCDField() : TField(ftBCD) {}
};
class TFMTBCDField : public TField {
 public:
  TFMTBCDField() : TField(ftFMTBcd) {}
};
class TDateField : public TField {
 public:
  TDateField() : TField(ftDate) {}
};
class TTimeField : public TField {
 public:
  TTimeField() : TField(ftTime) {}
};
class TDateTimeField : public TField {
 public:
  TDateTimeField() : TField(ftDateTime) {}
};
class TBytesField : public TField {
 public:
  TBytesField() : TField(ftBytes) {}
};
class TVarBytesField : public TField {
 public:
  TVarBytesField() : TField(ftVarBytes) {}
};
class TBlobField : public TField {
 public:
  TBlobField() : TField(ftBlob) {}
};
class TMemoField : public TField {
 public:
  TMemoField() : TField(ftMemo) {}
};
class TWideStringField : public TField {
 public:
  TWideStringField() : TField(ftWideString) {}
};

}  // namespace mysql
