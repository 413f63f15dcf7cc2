// File-mask matching of the archiver: wildcards ('*' any run, '?' any one
// character, letters compared case-insensitively) and the mask rules of the
// exclusion and no-compression lists. Pure functions over UTF-16 paths with
// '/' separators.
#pragma once

#include <string>

namespace zip {

char16_t fold_case(char16_t c);
bool same_text_ignoring_case(const std::u16string& a, const std::u16string& b);
bool has_wildcards(const std::u16string& mask);

// Whole text against a wildcard pattern; "*.*" matches everything.
bool match_wildcard(const std::u16string& pattern, const std::u16string& text);

// full_path: absolute path of the file; base_dir: absolute, ending in '/'.
// A mask with a folder part matches when the file's folder equals the mask's
// folder and the whole path matches, or when the mask's file part is "*.*"
// (or "*") and the file lies below the mask's folder. A bare mask is
// matched against the file name and against the path relative to base_dir.
bool matches_mask(const std::u16string& mask, const std::u16string& full_path,
                  const std::u16string& base_dir);

}  // namespace zip
