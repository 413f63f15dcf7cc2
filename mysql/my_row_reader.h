// MyRowReader: forward-only reader of one text result set that keeps no
// rows. Each Next() reads one row packet into a reused buffer; Value(i) views
// the column's bytes exactly as the server sent them and stays valid until the
// next Next(), Close() or Execute(). Used by the dump to read table rows.
//
// Flow: MyRowReader r(conn); r.Execute(sql); r.Columns(); while (r.Next())
// { r.IsNull(i) / r.Value(i) }; r.Close() (or destructor).
// The connection must outlive the reader. Errors (server ERR, lost
// connection 2013, malformed data) raise EMyError.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mysql/my_column.h"
#include "mysql/my_connection.h"

namespace mysql {

class MyRowReader : private MyConnectionClient {
 public:
  explicit MyRowReader(TMyConnection& connection);
  ~MyRowReader();
  MyRowReader(const MyRowReader&) = delete;
  MyRowReader& operator=(const MyRowReader&) = delete;

  // Sends the statement (COM_QUERY) and reads its column definitions.
  // Returns true when the statement produced a result set (false for an OK
  // answer). A pending result is closed first. Connects implicitly like a
  // dataset (AllowImplicitConnect).
  bool Execute(const std::string& sql);
  bool Active() const { return active_; }

  const std::vector<MyColumn>& Columns() const { return columns_; }
  std::size_t ColumnCount() const { return columns_.size(); }

  // Reads the next row; false at the end of the result (the session is then
  // ready for the next statement).
  bool Next();
  bool IsNull(std::size_t i) const { return values_[i].data() == nullptr; }
  std::string_view Value(std::size_t i) const { return values_[i]; }

  // Drains an unfinished result so the connection can run other statements.
  void Close();

 private:
  void ConnectionClosing() override;

  TMyConnection& connection_;
  std::vector<MyColumn> columns_;
  std::vector<std::string_view> values_;  // data()==nullptr marks NULL
  bool active_ = false;
  bool registered_ = false;
};

}  // namespace mysql
