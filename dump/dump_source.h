// What the dump needs from the database: a forward-only row reader and a few
// facts about the connection. MyConnectionSource provides them over a
// TMyConnection; tests provide them from memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dump {

// One result column as its column definition describes it.
struct DumpColumn {
  std::string name;
  std::uint8_t type = 0;      // MySQL type code (253 VAR_STRING, 252 BLOB, ...)
  std::uint16_t flags = 0;    // column flags (0x80 BINARY, 0x20 UNSIGNED, ...)
  std::uint32_t length = 0;   // declared length
  std::uint16_t charset = 0;  // character set number (63 binary)
};

// Reads the rows of one statement at a time, strictly forward.
// Flow: Execute -> Columns -> (Next -> Value / IsNull)* -> Close.
class DumpRowReader {
 public:
  virtual ~DumpRowReader() = default;
  // Sends the statement and reads its column definitions; a server error is
  // thrown. Closes a previous result first.
  virtual void Execute(const std::string& sql) = 0;
  virtual const std::vector<DumpColumn>& Columns() const = 0;
  // Moves to the next row; false at the end of the rows.
  virtual bool Next() = 0;
  // The value bytes of the current row as the server sent them; valid until
  // the next call of Next, Execute or Close.
  virtual std::string_view Value(size_t i) const = 0;
  virtual bool IsNull(size_t i) const = 0;
  // Drops the rest of the result; the reader can execute again afterwards.
  virtual void Close() = 0;
};

// The connection as one Backup sees it.
class DumpSource {
 public:
  virtual ~DumpSource() = default;
  virtual int ServerMajorVersion() const = 0;
  virtual std::string ServerVersion() const = 0;
  virtual std::string ClientVersion() const = 0;
  virtual std::string Server() const = 0;
  virtual std::string Database() const = 0;
  // False when the server does not accept backslash escapes in literals.
  virtual bool BackslashEscapes() const = 0;
  // The tables of the connection's database, for a Backup without TableNames.
  virtual std::vector<std::string> TableNames() = 0;
  // The row query: one reader reused for every statement of a Backup.
  virtual DumpRowReader& Rows() = 0;
};

}  // namespace dump
