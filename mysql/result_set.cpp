// Answer header, EOF, column definition and row codecs.
#include "mysql/result_set.h"

#include "mysql/handshake.h"
#include "mysql/my_error.h"
#include "mysql/wire.h"

namespace mysql {

EofInfo parse_eof(std::string_view p) {
  EofInfo e;
  if (p.size() >= 5) {
    auto* b = reinterpret_cast<const unsigned char*>(p.data());
    e.warnings = get_u16(b + 1);
    e.status = get_u16(b + 3);
    e.has_status = true;
  }
  return e;
}

ResultHeader parse_result_header(std::string_view p, std::uint32_t client_flags,
                                 std::uint16_t server_capabilities) {
  ResultHeader h;
  if (p.empty()) throw make_error(CR_MALFORMED_PACKET);
  if (static_cast<std::uint8_t>(p[0]) == kLenEncNull) {
    h.kind = ResultHeader::kLocalInfile;
    h.file_name = std::string(p.substr(1));
    return h;
  }
  PayloadReader r(p);
  h.field_count = r.LenEnc();
  if (h.field_count == 0) {
    h.kind = ResultHeader::kOk;
    h.affected_rows = r.LenEnc();
    h.insert_id = r.LenEnc();
    const bool p41 =
        (client_flags & CLIENT_PROTOCOL_41) && (server_capabilities & CLIENT_PROTOCOL_41);
    if ((p41 || (server_capabilities & CLIENT_TRANSACTIONS)) && r.Remaining() >= 2) {
      h.status = r.U16();
      h.has_status = true;
    }
    if (p41 && r.Remaining() >= 2) h.warnings = r.U16();
    h.info = std::string(r.NulText());
    return h;
  }
  h.kind = ResultHeader::kResultSet;
  return h;
}

namespace {

bool is_numeric_type(std::uint8_t type, std::uint32_t length) {
  if (type == MYSQL_TYPE_TIMESTAMP) return length == 14 || length == 8;
  return type <= MYSQL_TYPE_INT24 || type == MYSQL_TYPE_YEAR;
}

}  // namespace

MyColumn parse_column_definition(std::string_view p, bool protocol41, bool long_flag) {
  MyColumn c;
  PayloadReader r(p);
  if (protocol41) {
    r.LenEncString();  // catalog
    c.database = std::string(r.LenEncString());
    c.table = std::string(r.LenEncString());
    c.org_table = std::string(r.LenEncString());
    c.name = std::string(r.LenEncString());
    c.org_name = std::string(r.LenEncString());
    r.LenEnc();  // length of the fixed block
    c.charset = r.U16();
    c.length = r.U32();
    c.type = r.U8();
    c.flags = r.U16();
    c.decimals = r.U8();
  } else {
    c.table = c.org_table = std::string(r.LenEncString());
    c.name = c.org_name = std::string(r.LenEncString());
    std::string_view len = r.LenEncString();
    auto* lb = reinterpret_cast<const unsigned char*>(len.data());
    c.length = len.size() >= 3   ? get_u24(lb)
               : len.size() == 2 ? get_u16(lb)
               : len.size() == 1 ? lb[0]
                                 : 0;
    std::string_view type = r.LenEncString();
    if (type.empty()) throw make_error(CR_MALFORMED_PACKET);
    c.type = static_cast<std::uint8_t>(type[0]);
    std::string_view fd = r.LenEncString();
    auto* fb = reinterpret_cast<const unsigned char*>(fd.data());
    if (long_flag && fd.size() >= 3) {
      c.flags = get_u16(fb);
      c.decimals = fb[2];
    } else if (fd.size() >= 2) {
      c.flags = fb[0];
      c.decimals = fb[1];
    } else if (fd.size() == 1) {
      c.flags = fb[0];
    }
  }
  if (is_numeric_type(c.type, c.length)) c.flags |= NUM_FLAG;
  return c;
}

void parse_row(std::string_view p, std::size_t column_count,
               std::vector<std::string_view>& values) {
  values.resize(column_count);
  const auto* b = reinterpret_cast<const unsigned char*>(p.data());
  const std::size_t n = p.size();
  std::size_t pos = 0;
  for (std::size_t i = 0; i < column_count; ++i) {
    if (pos >= n) throw make_error(CR_MALFORMED_PACKET);
    std::uint8_t first = b[pos];
    std::uint64_t len;
    if (first <= 250) {
      len = first;
      ++pos;
    } else if (first == kLenEncNull) {
      values[i] = std::string_view();
      ++pos;
      continue;
    } else {
      std::size_t used = decode_lenenc(p.substr(pos), len);
      if (used == 0) throw make_error(CR_MALFORMED_PACKET);
      pos += used;
    }
    if (len > n - pos) throw make_error(CR_MALFORMED_PACKET);
    // A non-null pointer even for an empty value: data()==nullptr means NULL.
    values[i] = std::string_view(p.data() + pos, static_cast<std::size_t>(len));
    pos += static_cast<std::size_t>(len);
  }
}

}  // namespace mysql
