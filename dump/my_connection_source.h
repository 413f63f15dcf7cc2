// MyConnectionSource: the dump's view of an open TMyConnection. Rows come
// from one MyRowReader, which delivers every value as the bytes the server
// sent in its text result. Created by TMyDump for each Backup.
#pragma once

#include <memory>

#include "dump/dump_source.h"
#include "mysql/my_connection.h"
#include "mysql/my_row_reader.h"

namespace dump {

class MyRowReaderAdapter : public DumpRowReader {
 public:
  explicit MyRowReaderAdapter(mysql::TMyConnection& connection) : reader_(connection) {}
  void Execute(const std::string& sql) override;
  const std::vector<DumpColumn>& Columns() const override { return columns_; }
  bool Next() override { return has_result_ && reader_.Next(); }
  std::string_view Value(size_t i) const override { return reader_.Value(i); }
  bool IsNull(size_t i) const override { return reader_.IsNull(i); }
  void Close() override { reader_.Close(); }

 private:
  mysql::MyRowReader reader_;
  std::vector<DumpColumn> columns_;
  bool has_result_ = false;  // the last statement produced a result set
};

class MyConnectionSource : public DumpSource {
 public:
  // The connection must be open and outlive the source.
  explicit MyConnectionSource(mysql::TMyConnection& connection)
      : connection_(connection), rows_(connection) {}

  int ServerMajorVersion() const override { return connection_.ServerMajorVersion(); }
  std::string ServerVersion() const override { return connection_.ServerVersion(); }
  std::string ClientVersion() const override { return mysql::TMyConnection::ClientVersion(); }
  std::string Server() const override { return connection_.Server(); }
  std::string Database() const override { return connection_.Database(); }
  bool BackslashEscapes() const override { return connection_.BackslashEscapes(); }
  std::vector<std::string> TableNames() override;
  DumpRowReader& Rows() override { return rows_; }

 private:
  mysql::TMyConnection& connection_;
  MyRowReaderAdapter rows_;
};

}  // namespace dump
