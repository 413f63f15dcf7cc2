// Codecs of the text result protocol: the answer header (OK packet, result
// set header, LOAD DATA LOCAL request), EOF packets, column definitions in
// the 4.1 and pre-4.1 forms, and text rows. Pure functions over one packet
// payload; malformed data throws EMyError 2027. The session drives them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mysql/my_column.h"

namespace mysql {

constexpr std::uint16_t SERVER_STATUS_IN_TRANS = 0x1;
constexpr std::uint16_t SERVER_STATUS_AUTOCOMMIT = 0x2;
constexpr std::uint16_t SERVER_MORE_RESULTS_EXISTS = 0x8;

// EOF packet: 0xFE, then (4.1) 2-byte warning count and 2-byte status;
// at most 8 bytes long (a row or header can start with 0xFE only when longer).
inline bool is_eof_packet(std::string_view p) {
  return !p.empty() && p.size() <= 8 && static_cast<std::uint8_t>(p[0]) == 0xFE;
}
struct EofInfo {
  std::uint16_t warnings = 0;
  std::uint16_t status = 0;
  bool has_status = false;
};
EofInfo parse_eof(std::string_view p);

// First packet of a statement's answer.
struct ResultHeader {
  enum Kind { kOk, kResultSet, kLocalInfile } kind = kOk;
  std::uint64_t field_count = 0;
  // OK packet
  std::uint64_t affected_rows = 0, insert_id = 0;
  std::uint16_t status = 0;
  bool has_status = false;
  std::uint16_t warnings = 0;
  std::string info;
  // LOCAL INFILE: the file the server asks for
  std::string file_name;
};
// client_flags: the flags of the login; server_capabilities: the greeting's.
ResultHeader parse_result_header(std::string_view p, std::uint32_t client_flags,
                                 std::uint16_t server_capabilities);

// Column definition packet.
//   4.1:     lenenc catalog, database, table, org_table, name, org_name,
//            lenenc length of fixed block (0x0C), 2 charset, 4 length,
//            1 type, 2 flags, 1 decimals, 2 filler
//   pre-4.1: lenenc table, name, lenenc(3) length, lenenc(1) type,
//            lenenc flags+decimals (2+1 with CLIENT_LONG_FLAG, else 1+1)
// The numeric flag is added for type codes 0..9 (but not a TIMESTAMP whose
// length is neither 14 nor 8) and 13.
MyColumn parse_column_definition(std::string_view p, bool protocol41, bool long_flag);

// Row of a text result: one length-encoded value per column (251 = NULL).
// values[i] views the bytes inside p; a NULL value has data() == nullptr.
// Fewer values than columns, or a value running past the packet: 2027.
void parse_row(std::string_view p, std::size_t column_count, std::vector<std::string_view>& values);

}  // namespace mysql
