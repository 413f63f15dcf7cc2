// Code-page conversions of the program's 8-bit text.
//
// Every 8-bit string in the program holds Windows-1254 bytes (the "ANSI code
// page" of the Turkish systems the tool serves). These functions convert at the
// edges only: to UTF-8 for the screen, file names and the script file, to
// UTF-16 for archive entry names, and to OEM code page 857 for archive names
// written the DOS way. The ANSI <-> UTF-16 mapping is the one Windows uses, so
// all 256 bytes map to a character and back. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Windows-1254 byte -> UTF-16 code unit (total: every byte maps).
char16_t ansi_char_to_utf16(unsigned char byte);

std::u16string ansi_to_utf16(std::string_view ansi);

// UTF-16 -> Windows-1254. Characters without a Windows-1254 form become '?'
// and clear *exact when it is given.
std::string utf16_to_ansi(std::u16string_view text, bool* exact = nullptr);

std::string utf16_to_utf8(std::u16string_view text);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string utf8_to_utf16(std::string_view utf8);

std::string ansi_to_utf8(std::string_view ansi);
std::string utf8_to_ansi(std::string_view utf8, bool* exact = nullptr);

// Windows-1254 -> OEM code page 857. Characters without an 857 form become
// '?' and clear *exact when it is given.
std::string ansi_to_oem(std::string_view ansi, bool* exact = nullptr);

}  // namespace platform
