// TNetReplyFTP: one FTP server reply, and the pure rules for reading it.
//
// A reply is one line "220 text", or several: the first "220-text", the last
// "220 text" (same code, then a space or nothing); lines in between may start
// with anything, other codes included. Used by TNetFTP::ReadReply; pure
// functions, any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text_lines.h"

namespace ftp {

enum class TNetReplyFormat { rfNormal, rfIndentMidLines };

struct TNetReplyFTP {
  std::string Code;         // three digits, or empty
  platform::LineList Text;  // the text lines without their code prefixes
  TNetReplyFormat ReplyFormat = TNetReplyFormat::rfNormal;

  // Code as a number after trimming; 0 when it is not one.
  int NumericCode() const;
  // The text lines, each followed by CR LF (the message of reply errors).
  std::string JoinedText() const;
  // The reply written back the way a server sends it (for the banner
  // notifications).
  std::string FormattedReply() const;
};

// True when the line opens a multi-line reply ("220-...").
bool is_reply_first_of_many(std::string_view line);
// True when `line` ends the multi-line reply opened with `code`: at least three
// characters, the first three digits equal to the code (letter case ignored),
// and exactly three characters long or a space as the fourth.
bool is_reply_end_line(std::string_view line, std::string_view code);
// The lines of one reply (already trimmed) -> the reply. ENetException
// "Reply Code is not valid: %s" when the code is neither blank nor 100..999.
TNetReplyFTP parse_reply(const std::vector<std::string>& lines);

}  // namespace ftp
