// Table and column names in dump scripts: the quoting rule by which a name is
// written bare or in backticks, and the parsing of the TableNames text.
// Pure functions; used by the dump component and its processor.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dump {

// True unless the first character is an ASCII letter and every further one an
// ASCII letter, a digit, '_' or '$'.
bool needs_quoting(std::string_view name);

// True when the name starts and ends with the same quote character (backtick,
// double quote or single quote) and is at least two characters long.
bool is_quoted(std::string_view name);

// The name as a script writes it: unchanged when already quoted; bare when
// quote_names is off and it needs no quoting; otherwise in backticks with
// every backtick inside doubled.
std::string quote_identifier(std::string_view name, bool quote_names);

// The name exactly as it is, written bare when quote_names is off and it needs
// no quoting, otherwise in backticks with every backtick inside doubled. Unlike
// quote_identifier it never takes quotes around a name for quoting, so the
// table 'q' stays 'q' and never becomes q.
std::string quote_name(std::string_view name, bool quote_names);

// Removes the surrounding quotes of a quoted name and reduces each doubled
// quote character inside to one; other names come back unchanged.
std::string unquote_identifier(std::string_view name);

// One entry of TableNames. Database is empty unless the entry was written as
// database.table with the dot outside backticks.
struct TableEntry {
  std::string database;
  std::string name;
  friend bool operator==(const TableEntry&, const TableEntry&) = default;
};

// Splits a TableNames text at every ',' and ';' (no quoting honoured), trims
// blanks around each piece, unquotes it and drops empty pieces.
std::vector<TableEntry> parse_table_names(std::string_view text);

// The TableNames getter: entries joined by ", ", each in quoting form.
std::string join_table_names(const std::vector<TableEntry>& entries, bool quote_names);

}  // namespace dump
