// An in-memory DumpSource for dump tests: canned results by statement text,
// a record of the statements executed and of reader closes, and an optional
// failure while rows are read.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dump/dump_source.h"

namespace dumptest {

using Value = std::optional<std::string>;  // nullopt is NULL
using Row = std::vector<Value>;

struct Result {
  std::vector<dump::DumpColumn> columns;
  std::vector<Row> rows;
};

inline dump::DumpColumn col(std::string name, std::uint8_t type, std::uint16_t flags = 0,
                            std::uint32_t length = 11, std::uint16_t charset = 30) {
  return {std::move(name), type, flags, length, charset};
}

class MemorySource : public dump::DumpSource, public dump::DumpRowReader {
 public:
  std::map<std::string, Result> results;
  std::vector<std::string> executed;
  std::vector<std::string> tables;  // the connection's table list
  int closes = 0;
  int major = 5;
  bool backslashes = true;
  std::string database = "db";
  // Throw while reading this statement's rows after this many rows.
  std::string fail_statement;
  size_t fail_after = 0;

  // A table without rows: one column, and no row for its SELECT.
  void Empty(const std::string& table) { Data(table, {{col("a", 3)}, {}}); }
  void Create(const std::string& table, const std::string& text) {
    results["SHOW CREATE TABLE " + table] = {{col("Table", 253), col("Create Table", 253)},
                                             {{table, text}}};
  }

  // A view: its SHOW CREATE VIEW answer and its columns as SHOW FULL COLUMNS
  // gives them (name, type, collation or NULL).
  void View(const std::string& view, const std::string& create, const std::vector<Row>& columns) {
    results["SHOW CREATE VIEW " + view] = {
        {col("View", 253), col("Create View", 253), col("character_set_client", 253),
         col("collation_connection", 253)},
        {{view, create, "utf8mb4", "utf8mb4_general_ci"}}};
    Result full{{col("Field", 253), col("Type", 253), col("Collation", 253)}, columns};
    results["SHOW FULL COLUMNS FROM " + view] = full;
  }

  // The rows of a table: the SHOW COLUMNS answer (type float for FLOAT result
  // columns, Extra texts from extra by column name, then the generated
  // columns with their Extra) and the SELECT of the stored columns the dump
  // then sends.
  void Data(const std::string& table, Result data,
            const std::map<std::string, std::string>& extra = {},
            const std::vector<std::pair<std::string, std::string>>& generated = {}) {
    Result columns{{col("Field", 253), col("Type", 253), col("Null", 253), col("Key", 253),
                    col("Default", 253), col("Extra", 253)},
                   {}};
    std::string select = "SELECT ";
    for (size_t i = 0; i < data.columns.size(); ++i) {
      const auto& c = data.columns[i];
      const bool is_float = c.type == 4;
      const auto e = extra.find(c.name);
      columns.rows.push_back({c.name, is_float ? "float" : "int(11)", "YES", "", std::nullopt,
                              e == extra.end() ? "" : e->second});
      if (i) select += ',';
      select += "`" + c.name + "`" + (is_float ? "+0e0" : "");
      if (is_float) data.columns[i].type = 5;  // the server answers with a DOUBLE
    }
    for (const auto& [name, text] : generated)
      columns.rows.push_back({name, "int(11)", "YES", "", std::nullopt, text});
    results["SHOW COLUMNS FROM " + table] = columns;
    results[select + " FROM " + table] = std::move(data);
  }

  // DumpSource
  int ServerMajorVersion() const override { return major; }
  std::string ServerVersion() const override { return "5.5.5-10.11.19-MariaDB"; }
  std::string ClientVersion() const override { return "8.0.0 Direct"; }
  std::string Server() const override { return "127.0.0.1"; }
  std::string Database() const override { return database; }
  bool BackslashEscapes() const override { return backslashes; }
  std::vector<std::string> TableNames() override { return tables; }
  dump::DumpRowReader& Rows() override { return *this; }

  // DumpRowReader
  void Execute(const std::string& sql) override {
    executed.push_back(sql);
    auto it = results.find(sql);
    if (it == results.end()) throw std::runtime_error("unknown statement: " + sql);
    current_ = &it->second;
    sql_ = sql;
    next_ = 0;
  }
  const std::vector<dump::DumpColumn>& Columns() const override { return current_->columns; }
  bool Next() override {
    if (!current_) return false;
    if (sql_ == fail_statement && next_ == fail_after) throw std::runtime_error("lost connection");
    if (next_ >= current_->rows.size()) return false;
    row_ = current_->rows[next_++];
    return true;
  }
  std::string_view Value(size_t i) const override {
    return row_[i] ? std::string_view(*row_[i]) : std::string_view();
  }
  bool IsNull(size_t i) const override { return !row_[i].has_value(); }
  void Close() override {
    ++closes;
    current_ = nullptr;
  }

 private:
  const Result* current_ = nullptr;
  std::string sql_;
  size_t next_ = 0;
  Row row_;  // a copy, so a test sees a stale view after Next
};

}  // namespace dumptest
