#pragma once
// A fresh temporary HOME (and XDG folders) for one test while the object lives; removed afterwards
// unless TONVERA_KEEP_TEMP is set.

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Runs a fuzz entry point on every file of a committed corpus (a failure naming the file when it
// does not return 0); returns how many files it ran.
int replayCorpus(const std::string& folder,
                 const std::function<int(const std::uint8_t*, std::size_t)>& fuzzOne);

}  // namespace tonvera::test
