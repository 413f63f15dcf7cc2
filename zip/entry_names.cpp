// Stored-name rules and name encodings.
#include "zip/entry_names.h"

#include <array>
#include <vector>

#include "platform/codepage.h"

namespace zip {
namespace {

std::vector<std::u16string> split(const std::u16string& s) {
  std::vector<std::u16string> parts;
  std::u16string cur;
  for (char16_t c : s) {
    if (c == u'/') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

// Joins the non-empty parts that are neither "." nor "..".
std::u16string clean_relative(const std::u16string& s) {
  std::u16string out;
  for (const auto& p : split(s)) {
    if (p.empty() || p == u"." || p == u"..") continue;
    if (!out.empty()) out += u'/';
    out += p;
  }
  return out;
}

}  // namespace

std::u16string normalize_path(const std::u16string& path, const std::u16string& base_dir) {
  std::u16string full = (!path.empty() && path[0] == u'/') ? path : base_dir + u"/" + path;
  std::vector<std::u16string> stack;
  for (const auto& p : split(full)) {
    if (p.empty() || p == u".") continue;
    if (p == u"..") {
      if (!stack.empty()) stack.pop_back();
      continue;
    }
    stack.push_back(p);
  }
  std::u16string out;
  for (const auto& p : stack) out += u"/" + p;
  return out.empty() ? u"/" : out;
}

std::u16string MakeStoredName(const std::u16string& source_path, const std::u16string& base_dir,
                              TZipStorePathMode mode) {
  std::u16string base = normalize_path(base_dir, u"/");
  std::u16string path = normalize_path(source_path, base);
  std::u16string name;
  switch (mode) {
    case spNoPath:
      name = path.substr(path.rfind(u'/') + 1);
      break;
    case spRelativePath: {
      // Relative to the base folder when the path lies inside it; a result
      // that would climb out of the base folder ("..") keeps the full path.
      std::u16string prefix = base == u"/" ? base : base + u"/";
      if (path.compare(0, prefix.size(), prefix) == 0)
        name = path.substr(prefix.size());
      else
        name = path;
      break;
    }
    case spFullPath:
    case spFullPathWithDrive:
      name = path;
      break;
  }
  for (auto& c : name)
    if (c == u'\\') c = u'/';
  return clean_relative(name);
}

EncodedName EncodeEntryName(const std::u16string& name, bool oem_file_names) {
  bool exact = true;
  std::string ansi = platform::utf16_to_ansi(name, &exact);
  if (exact && platform::ansi_to_utf16(ansi) == name) {
    if (!oem_file_names) return {ansi, false};
    bool oem_exact = true;
    std::string oem = platform::ansi_to_oem(ansi, &oem_exact);
    if (oem_exact) return {oem, false};
    // A character without a code page 857 form ("€"): written in UTF-8
    // rather than as a '?' that no reader could map back.
  }
  std::string utf8 = platform::utf16_to_utf8(name);
  if (utf8.size() > 254) {
    std::size_t cut = 254;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    utf8.resize(cut);
  }
  return {utf8, true};
}

std::u16string decode_entry_name(const std::string& bytes, bool utf8, bool oem) {
  if (utf8) return platform::utf8_to_utf16(bytes);
  if (!oem) return platform::ansi_to_utf16(bytes);
  // Code page 857 -> Windows-1254 by inverting the platform's 1254 -> 857 table.
  static const std::array<char, 256> from_oem = [] {
    std::array<char, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = '?';
    for (int b = 255; b >= 0; --b) {
      bool exact = true;
      std::string one(1, static_cast<char>(b));
      std::string o = platform::ansi_to_oem(one, &exact);
      if (exact) t[static_cast<unsigned char>(o[0])] = static_cast<char>(b);
    }
    return t;
  }();
  std::string ansi;
  for (unsigned char c : bytes) ansi += from_oem[c];
  return platform::ansi_to_utf16(ansi);
}

}  // namespace zip
