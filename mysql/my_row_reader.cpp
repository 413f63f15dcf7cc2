// Forward-only row reader over the connection's session.
#include "mysql/my_row_reader.h"

#include "mysql/my_sql_session.h"

namespace mysql {

MyRowReader::MyRowReader(TMyConnection& connection) : connection_(connection) {}

MyRowReader::~MyRowReader() {
  try {
    Close();
  } catch (...) {
  }
  if (registered_) connection_.UnregisterClient(this);
}

bool MyRowReader::Execute(const std::string& sql) {
  Close();
  if (!connection_.Connected() && !connection_.Options().AllowImplicitConnect)
    throw EDatabaseError("Connection is not connected");
  connection_.BeginUse(this);
  registered_ = true;
  struct TEndUse {
    TMyConnection& c;
    MyRowReader* r;
    ~TEndUse() { c.EndUse(r); }
  } end_use{connection_, this};

  columns_.clear();
  return connection_.Guarded([&] {
    TMySqlSession& s = connection_.Session();
    s.read_timeout = kForeverSeconds;
    if (!s.Query(sql)) return false;
    columns_ = s.Columns();
    active_ = true;
    try {
      const ParsedStatement stmt = connection_.StatementInfo(sql);
      const FieldTypingOptions options = connection_.TypingOptions();
      for (MyColumn& c : columns_)
        c.typing = type_column(c.type, c.flags, c.charset, c.length, c.decimals, c.name, c.table,
                               stmt, options);
    } catch (...) {
      Close();
      throw;
    }
    values_.reserve(columns_.size());
    return true;
  });
}

bool MyRowReader::Next() {
  if (!active_) return false;
  bool more = connection_.Guarded([&] {
    try {
      return connection_.Session().FetchRow(values_);
    } catch (...) {
      active_ = false;
      throw;
    }
  });
  if (!more) active_ = false;
  return more;
}

void MyRowReader::Close() {
  if (!active_) return;
  active_ = false;
  if (!connection_.Connected()) return;
  connection_.Guarded([&] { connection_.Session().FreeResult(); });
}

void MyRowReader::ConnectionClosing() { active_ = false; }

}  // namespace mysql
