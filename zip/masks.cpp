// Wildcard and mask matching.
#include "zip/masks.h"

#include <vector>

namespace zip {

char16_t fold_case(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  switch (c) {
    case 0x011E:
      return 0x011F;  // Ğ
    case 0x015E:
      return 0x015F;  // Ş
    case 0x0130:
      return u'i';  // İ
    case 0x0131:
      return u'i';  // ı
    default:
      return c;
  }
}

bool same_text_ignoring_case(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold_case(a[i]) != fold_case(b[i])) return false;
  return true;
}

bool has_wildcards(const std::u16string& mask) {
  return mask.find_first_of(u"*?") != std::u16string::npos;
}

bool match_wildcard(const std::u16string& pattern, const std::u16string& text) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  // Iterative matcher with one backtrack point for the last '*'.
  std::size_t p = 0, t = 0, star = std::u16string::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || fold_case(pattern[p]) == fold_case(text[t]))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = t;
    } else if (star != std::u16string::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

namespace {
std::u16string folder_of(const std::u16string& path) {
  auto slash = path.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}
std::u16string name_of(const std::u16string& path) {
  auto slash = path.rfind(u'/');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}
}  // namespace

bool matches_mask(const std::u16string& mask, const std::u16string& full_path,
                  const std::u16string& base_dir) {
  if (mask == u"*.*" || mask == u"*") return true;
  std::u16string mask_folder = folder_of(mask);
  if (!mask_folder.empty()) {
    if (mask_folder[0] != u'/') return matches_mask(base_dir + mask, full_path, base_dir);
    std::u16string file_folder = folder_of(full_path);
    if (same_text_ignoring_case(file_folder, mask_folder) && match_wildcard(mask, full_path))
      return true;
    std::u16string mask_name = name_of(mask);
    if ((mask_name == u"*.*" || mask_name == u"*") && file_folder.size() >= mask_folder.size() &&
        same_text_ignoring_case(file_folder.substr(0, mask_folder.size()), mask_folder))
      return true;
    return false;
  }
  if (match_wildcard(mask, name_of(full_path))) return true;
  if (full_path.size() > base_dir.size() &&
      same_text_ignoring_case(full_path.substr(0, base_dir.size()), base_dir))
    return match_wildcard(mask, full_path.substr(base_dir.size()));
  return false;
}

}  // namespace zip
