#pragma once
// A fresh temporary HOME for one test: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and
// XDG_STATE_HOME point into it while the object lives; the folder is removed afterwards (kept when
// TONVERA_KEEP_TEMP is set).

#include <string>
#include <vector>

namespace tonvera::test {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return path_; }
  std::string configHome() const { return path_ + "/.config"; }
  std::string dataHome() const { return path_ + "/.local/share"; }
  std::string stateHome() const { return path_ + "/.local/state"; }

 private:
  std::string path_;
  std::vector<std::pair<std::string, std::string>> saved_;  // variable, old value ("\x01" = unset)
};

// Writes a file (creating parent folders); for test data.
void writeTextFile(const std::string& path, const std::string& bytes);

}  // namespace tonvera::test
