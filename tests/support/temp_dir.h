// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes away.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "yedek");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Folder path without trailing '/'.
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Whole-file helpers for tests.
std::string read_all(const std::string& path);
void write_all(const std::string& path, const std::string& data);

}  // namespace testsupport
