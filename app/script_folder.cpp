// Private per-run folder for the backup script.
#include "app/script_folder.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"

namespace app {

ScriptFolder::ScriptFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string pattern = base + "/yedekalma-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw platform::EFCreateError(pattern, errno);
  path_ = buffer.data();
  ansi_path_ = platform::utf8_to_ansi(path_);
}

ScriptFolder::~ScriptFolder() {
  if (DIR* dir = ::opendir(path_.c_str())) {
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(path_ + "/" + name);
    }
    ::closedir(dir);
    for (const auto& n : names) ::unlink(n.c_str());
  }
  ::rmdir(path_.c_str());
}

}  // namespace app
