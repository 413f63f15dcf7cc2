// Identifier quoting and TableNames parsing (see identifiers.h).
#include "dump/identifiers.h"

#include "platform/text_trim.h"

namespace dump {
namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_quote(char c) { return c == '`' || c == '"' || c == '\''; }

using platform::trim;

// Position of the first '.' outside backticks, or npos.
size_t qualifying_dot(std::string_view piece) {
  bool inside = false;
  for (size_t i = 0; i < piece.size(); ++i) {
    if (piece[i] == '`')
      inside = !inside;
    else if (piece[i] == '.' && !inside)
      return i;
  }
  return std::string_view::npos;
}

}  // namespace

bool needs_quoting(std::string_view name) {
  if (name.empty() || !is_ascii_letter(name[0])) return true;
  for (char c : name.substr(1)) {
    if (!is_ascii_letter(c) && !is_digit(c) && c != '_' && c != '$') return true;
  }
  return false;
}

bool is_quoted(std::string_view name) {
  return name.size() >= 2 && is_quote(name.front()) && name.front() == name.back();
}

std::string quote_identifier(std::string_view name, bool quote_names) {
  if (is_quoted(name)) return std::string(name);
  return quote_name(name, quote_names);
}

std::string quote_name(std::string_view name, bool quote_names) {
  if (!quote_names && !needs_quoting(name)) return std::string(name);
  std::string out;
  out.reserve(name.size() + 2);
  out += '`';
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  out += '`';
  return out;
}

std::string unquote_identifier(std::string_view name) {
  if (!is_quoted(name)) return std::string(name);
  const char q = name.front();
  std::string_view inner = name.substr(1, name.size() - 2);
  std::string out;
  out.reserve(inner.size());
  for (size_t i = 0; i < inner.size(); ++i) {
    out += inner[i];
    if (inner[i] == q && i + 1 < inner.size() && inner[i + 1] == q) ++i;
  }
  return out;
}

std::vector<TableEntry> parse_table_names(std::string_view text) {
  std::vector<TableEntry> entries;
  text = trim(text);
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ',' && text[i] != ';') continue;
    std::string_view piece = trim(text.substr(start, i - start));
    start = i + 1;
    if (piece.empty()) continue;
    TableEntry e;
    const size_t dot = qualifying_dot(piece);
    if (dot == std::string_view::npos) {
      e.name = unquote_identifier(piece);
    } else {
      e.database = unquote_identifier(trim(piece.substr(0, dot)));
      e.name = unquote_identifier(trim(piece.substr(dot + 1)));
    }
    if (e.name.empty() && e.database.empty()) continue;
    entries.push_back(std::move(e));
  }
  return entries;
}

std::string join_table_names(const std::vector<TableEntry>& entries, bool quote_names) {
  std::string out;
  for (const auto& e : entries) {
    if (!out.empty()) out += ", ";
    // Entries hold names as they are: a name with quotes around it is quoted
    // again, so the text parses back to the same entries.
    if (!e.database.empty()) {
      out += quote_name(e.database, quote_names);
      out += '.';
    }
    out += quote_name(e.name, quote_names);
  }
  return out;
}

}  // namespace dump
