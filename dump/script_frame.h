// The fixed statements around every dump script: the opening and closing SET
// frames and the optional comment header. Used by the dump processor.
#pragma once

#include <string>

#include "dump/line_sink.h"

namespace dump {

inline constexpr const char* kDumpVersion = "8.6.21";

// charset: the script's character-set name ("" writes none of the character
// set lines); objects: tables, data or views requested. With objects the
// script loads in the time zone '+00:00' (the dump reads TIMESTAMP values in
// UTC) and with ALLOW_INVALID_DATES, so dates the server holds under that mode
// load unchanged; both are restored at the end.
void emit_opening_frame(LineSink& sink, const std::string& charset, bool objects);
void emit_closing_frame(LineSink& sink, const std::string& charset, bool objects);

struct HeaderFacts {
  std::string server_version;
  std::string client_version;
  std::string script_date;  // local date and time, e.g. "17.05.2024 10:20:30"
  std::string server;
  std::string database;
};

// The comment header text: seven comment lines and one empty line.
std::string header_text(const HeaderFacts& facts);

// The current local date and time in the short date and long time form.
std::string script_date_now();

}  // namespace dump
