// libFuzzer target for the client's readers of server data: the packet
// reader (joining, sequence check, size limit), the login answers, the
// result-set header, column definitions, rows and the value conversions.
// Hostile data must end in an exception of the client, never a crash, a
// hang or an unbounded allocation.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mysql/my_error.h"
#include "mysql/my_sql_session.h"
#include "mysql/result_set.h"
#include "mysql/value_convert.h"
#include "mysql/vio.h"

namespace {

// Serves a fixed byte string; writes are dropped.
class TMemoryVio : public mysql::TVio {
 public:
  explicit TMemoryVio(std::string data) : data_(std::move(data)) {}
  std::size_t Read(void* buffer, std::size_t n) override {
    std::size_t k = std::min(n, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, k);
    pos_ += k;
    return k;
  }
  bool Write(const void*, std::size_t) override { return true; }
  void SetReceiveTimeout(int) override {}
  void Close() override {}
  std::string LastErrorText() const override { return {}; }

 private:
  std::string data_;
  std::size_t pos_ = 0;
};

std::string packet(std::uint8_t seq, const std::string& payload) {
  std::string h(4, '\0');
  h[0] = static_cast<char>(payload.size() & 0xFF);
  h[1] = static_cast<char>((payload.size() >> 8) & 0xFF);
  h[2] = static_cast<char>((payload.size() >> 16) & 0xFF);
  h[3] = static_cast<char>(seq);
  return h + payload;
}

std::string logged_in_prefix() {
  std::string g(1, '\x0A');
  g += "5.5.5-10.11.19-MariaDB";
  g += '\0';
  g += std::string("\x01\0\0\0", 4);
  g += "ABCDEFGH";
  g += '\0';
  g += "\xFE\xF7";  // capabilities
  g += '\x08';
  g += "\x02\0";
  g += std::string(13, '\0');
  g += "IJKLMNOPQRST";
  g += '\0';
  return packet(0, g) + packet(2, std::string("\0\0\0\x02\0\0\0", 7));
}

void run_statement(mysql::TMySqlSession& s) {
  if (!s.Query("SELECT 1")) return;
  mysql::ParsedStatement stmt{"SHOW CREATE TABLE t", 5, 0, 52};
  mysql::FieldTypingOptions options;
  std::vector<mysql::MyColumn> cols = s.Columns();
  for (auto& c : cols)
    c.typing = mysql::type_column(c.type, c.flags, c.charset, c.length, c.decimals, c.name, c.table,
                                  stmt, options);
  std::vector<std::string_view> values;
  mysql::RecordValue out;
  for (int rows = 0; s.FetchRow(values); ++rows) {
    for (size_t i = 0; i < cols.size(); ++i) {
      try {
        mysql::convert_value(cols[i], values[i], values[i].data() == nullptr, {}, out);
      } catch (const mysql::EDatabaseError&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const int mode = data[0] % 3;
  try {
    if (mode == 2) {
      // Pure codecs on one payload.
      mysql::parse_result_header(input, 0x3A20F, 0xF7FE);
      mysql::parse_column_definition(input, data[0] & 4, data[0] & 8);
      std::vector<std::string_view> values;
      mysql::parse_row(input, data[0] >> 4, values);
      return 0;
    }
    mysql::TMySqlSession s;
    s.SetMaxPacket(1 << 22);  // keeps the fuzzer's memory small; same code path
    const std::string stream = mode == 0 ? input : logged_in_prefix() + input;
    s.ConnectOver(std::make_unique<TMemoryVio>(stream), "u", "p", "db", 0x10002);
    run_statement(s);
    run_statement(s);
  } catch (const mysql::EDatabaseError&) {
  }
  return 0;
}
