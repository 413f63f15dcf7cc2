// The current folder and TMPDIR of a backup test, for the lifetime of the
// object: the program writes its archive into the current folder and its
// script folder under TMPDIR, so a test points both at folders of its own
// and sees whether anything stays behind. Both are restored on destruction.
// One per test at a time (both are process-wide).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace apptest {

class RunFolder {
 public:
  // tmpdir empty: TMPDIR is left as it is.
  explicit RunFolder(const std::string& folder, const std::string& tmpdir = "") {
    if (!getcwd(old_cwd_, sizeof old_cwd_) || chdir(folder.c_str()) != 0)
      throw std::runtime_error("cannot change into the folder " + folder);
    if (tmpdir.empty()) return;
    set_tmpdir_ = true;
    const char* old = std::getenv("TMPDIR");
    had_tmpdir_ = old != nullptr;
    if (old) old_tmpdir_ = old;
    setenv("TMPDIR", tmpdir.c_str(), 1);
  }
  ~RunFolder() {
    if (set_tmpdir_) {
      if (had_tmpdir_)
        setenv("TMPDIR", old_tmpdir_.c_str(), 1);
      else
        unsetenv("TMPDIR");
    }
    if (chdir(old_cwd_) != 0) std::abort();  // the next test would run in a removed folder
  }
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;

 private:
  char old_cwd_[4096];
  bool set_tmpdir_ = false;
  bool had_tmpdir_ = false;
  std::string old_tmpdir_;
};

}  // namespace apptest
