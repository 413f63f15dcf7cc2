// Streaming writer of the backup script (UTF-8, byte-order mark, CR LF).
#include "app/script_file.h"

#include "platform/cancel.h"

namespace app {

ScriptFile::ScriptFile(zip::StreamedArchive& archive) : archive_(archive) {
  buffer_.reserve(kBufferSize + 4096);
  Append("\xEF\xBB\xBF");
}

void ScriptFile::AddLine(std::string_view line) {
  platform::throw_if_cancelled();
  Append(line);
  Append("\r\n");
}

void ScriptFile::Append(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kBufferSize) Flush();
}

void ScriptFile::Flush() {
  archive_.Write(buffer_);
  size_ += buffer_.size();
  buffer_.clear();
  if (OnFlush) OnFlush(size_);
}

void ScriptFile::Finish() { Flush(); }

}  // namespace app
