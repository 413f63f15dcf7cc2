// A private folder for one backup run's script.
//
// Made with mkdtemp under the user's temporary folder (TMPDIR, else /tmp), so
// an install in a read-only folder works and two copies of the program never
// share a script. The destructor deletes every file in it and the folder
// itself, however the run ends. Used by the backup run's worker thread.
#pragma once

#include <string>

namespace app {

class ScriptFolder {
 public:
  // Throws platform::EFCreateError naming the folder it could not make.
  ScriptFolder();
  ~ScriptFolder();
  ScriptFolder(const ScriptFolder&) = delete;
  ScriptFolder& operator=(const ScriptFolder&) = delete;

  // The folder, without a trailing separator, as the program's
  // Windows-1254 paths name it.
  const std::string& path() const { return ansi_path_; }

 private:
  std::string path_;  // operating-system bytes
  std::string ansi_path_;
};

}  // namespace app
