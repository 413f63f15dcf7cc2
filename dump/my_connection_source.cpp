// The dump's view of a TMyConnection (see my_connection_source.h).
#include "dump/my_connection_source.h"

namespace dump {

void MyRowReaderAdapter::Execute(const std::string& sql) {
  columns_.clear();
  has_result_ = reader_.Execute(sql);
  if (!has_result_) return;  // an OK answer: no columns, no rows
  for (const auto& c : reader_.Columns()) {
    columns_.push_back(
        {c.name, c.type, static_cast<std::uint16_t>(c.flags & 0xFFFF), c.length, c.charset});
  }
}

std::vector<std::string> MyConnectionSource::TableNames() {
  std::vector<std::string> names;
  rows_.Execute("SHOW TABLES");
  while (rows_.Next()) names.emplace_back(rows_.Value(0));
  rows_.Close();
  return names;
}

}  // namespace dump
