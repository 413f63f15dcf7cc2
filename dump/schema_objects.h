// Pieces of the script that recreate the database's views, routines,
// triggers and events: how the server's definitions are made fit to load into
// a database of any name with the standard command-line client. Pure
// functions; used by the dump processor.
#pragma once

#include <string>
#include <string_view>

namespace dump {

// `name` with every backtick inside doubled: how SHOW statements and the
// script name an object whatever its name holds.
std::string backticked(std::string_view name);

// A name or message inside a comment line: a line break in it would end the
// comment and turn the rest into a statement, so it is shown as a blank.
std::string comment_text(std::string text);

// The server names columns in a view's definition with their database
// (`shop`.`t`.`a`), which breaks the view when the script is loaded into a
// database of another name. Removes every backtick-quoted `db` followed by a
// "." outside string literals; everything else stays as the server gave it.
std::string strip_schema_qualifier(std::string_view definition, std::string_view db);

// A statement delimiter for the client's DELIMITER command that does not occur
// in text: ";;" unless text holds it, else "$$", "//", then longer runs.
std::string statement_delimiter(std::string_view text);

// One column of a view's stand-in table: the name in backticks and the
// view column's type, with variable-length strings widened to LONGTEXT or
// LONGBLOB so that a wide view never exceeds a table's row size. collation
// is empty for binary and non-string columns.
std::string stand_in_column(std::string_view name, std::string_view type,
                            std::string_view collation);

// The server's own text of a server error's message ("\r\n#42000Access
// denied ..." gives "Access denied ..."); other texts come back unchanged.
std::string server_message(std::string_view what);

// Server error codes that say the account may not see or read an object:
// 1044 (database), 1142 (table), 1143 (column), 1227 (a named privilege),
// 1305 (a routine the account may not see is "does not exist"), 1370
// (routine).
bool is_access_denied(int error_code);

}  // namespace dump
