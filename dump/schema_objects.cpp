// Script pieces for views, routines, triggers and events (see schema_objects.h).
#include "dump/schema_objects.h"

#include "platform/ascii_case.h"

namespace dump {

std::string backticked(std::string_view name) {
  std::string out = "`";
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  return out + "`";
}

std::string comment_text(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

namespace {

// The index just past the quoted text that starts at `open` (a quote
// character): a doubled quote stays inside, and so does a backslash escape
// when `backslash` is set. The end of the text when it is not closed.
size_t quoted_end(std::string_view text, size_t open, bool backslash) {
  const char quote = text[open];
  size_t j = open + 1;
  while (j < text.size()) {
    if (backslash && text[j] == '\\') {
      j += 2;
    } else if (text[j] != quote) {
      ++j;
    } else if (j + 1 < text.size() && text[j + 1] == quote) {
      j += 2;
    } else {
      return j + 1;
    }
  }
  return text.size();
}

}  // namespace

std::string strip_schema_qualifier(std::string_view definition, std::string_view db) {
  const std::string qualifier = backticked(db) + ".";
  std::string out;
  out.reserve(definition.size());
  size_t i = 0;
  while (i < definition.size()) {
    const char c = definition[i];
    if (c == '`' && definition.substr(i, qualifier.size()) == qualifier) {
      i += qualifier.size();
    } else if (c == '\'' || c == '"' || c == '`') {
      // A string literal or another quoted name, copied whole.
      const size_t end = quoted_end(definition, i, c != '`');
      out.append(definition.substr(i, end - i));
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::string statement_delimiter(std::string_view text) {
  // The client ends the statement at the first occurrence, so the delimiter
  // must not start anywhere in the text or overlap its end (a body ending in
  // ";" followed by ";;").
  for (size_t n = 2;; n += 2) {
    for (char c : {';', '$', '/'}) {
      const std::string d(n, c);
      if ((std::string(text) + d).find(d) == text.size()) return d;
    }
  }
}

std::string stand_in_column(std::string_view name, std::string_view type,
                            std::string_view collation) {
  std::string out = backticked(name) + " ";
  if (platform::starts_with_ignoring_ascii_case(type, "varchar(")) {
    out += "longtext";
  } else if (platform::starts_with_ignoring_ascii_case(type, "varbinary(")) {
    out += "longblob";
  } else {
    out += type;
  }
  if (!collation.empty()) {
    out += " COLLATE ";
    out += collation;
  }
  return out;
}

std::string server_message(std::string_view what) {
  if (what.substr(0, 2) == "\r\n") what.remove_prefix(2);
  if (what.size() >= 6 && what[0] == '#') what.remove_prefix(6);
  return std::string(what);
}

bool is_access_denied(int error_code) {
  switch (error_code) {
    case 1044:
    case 1142:
    case 1143:
    case 1227:
    case 1305:
    case 1370:
      return true;
    default:
      return false;
  }
}

}  // namespace dump
