// Reply parsing; see ftp_reply.h.
#include "ftp/ftp_reply.h"

#include "ftp/net_exceptions.h"
#include "platform/ascii_case.h"
#include "platform/text_trim.h"

namespace ftp {
namespace {

std::string trim(std::string_view s) { return std::string(platform::trim(s)); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Text from the 0-based index on, or empty when the line is shorter.
std::string tail_from(std::string_view line, size_t index) {
  return index < line.size() ? std::string(line.substr(index)) : std::string();
}

}  // namespace

int TNetReplyFTP::NumericCode() const {
  std::string c = trim(Code);
  if (c.empty() || c.size() > 9) return 0;
  int v = 0;
  for (char ch : c) {
    if (!is_digit(ch)) return 0;
    v = v * 10 + (ch - '0');
  }
  return v;
}

std::string TNetReplyFTP::JoinedText() const { return platform::join_lines(Text); }

std::string TNetReplyFTP::FormattedReply() const {
  if (NumericCode() < 1) return platform::join_lines(Text);
  if (Text.empty()) return platform::join_lines({Code + " "});
  platform::LineList out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (i + 1 == Text.size())
      out.push_back(Code + " " + Text[i]);
    else if (ReplyFormat == TNetReplyFormat::rfIndentMidLines && i > 0)
      out.push_back(" " + Text[i]);
    else
      out.push_back(Code + "-" + Text[i]);
  }
  return platform::join_lines(out);
}

bool is_reply_first_of_many(std::string_view line) { return line.size() >= 4 && line[3] == '-'; }

bool is_reply_end_line(std::string_view line, std::string_view code) {
  if (line.size() < 3) return false;
  if (!is_digit(line[0]) || !is_digit(line[1]) || !is_digit(line[2])) return false;
  if (line.size() > 3 && line[3] != ' ') return false;
  return platform::starts_with_ignoring_ascii_case(line, code.substr(0, 3)) && code.size() >= 3;
}

TNetReplyFTP parse_reply(const std::vector<std::string>& lines) {
  TNetReplyFTP reply;
  if (lines.empty()) return reply;
  const std::string& first = lines[0];
  std::string code = trim(std::string_view(first).substr(0, 4));
  if (code.size() == 4 && code[3] == '-') code.resize(3);
  reply.Code = code;
  if (!code.empty()) {
    int value = reply.NumericCode();
    if (value < 100 || value > 999) throw ENetException("Reply Code is not valid: " + code);
  }
  reply.Text.push_back(tail_from(first, code.size() + 1));
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!code.empty() && platform::starts_with_ignoring_ascii_case(line, code)) {
      reply.Text.push_back(tail_from(line, code.size() + 1));
    } else {
      if (!line.empty() && line[0] == ' ') reply.ReplyFormat = TNetReplyFormat::rfIndentMidLines;
      size_t b = 0;
      while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
      reply.Text.push_back(line.substr(b));
    }
  }
  return reply;
}

}  // namespace ftp
