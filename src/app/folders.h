#pragma once
// The application folder (picture caches) and the account folder inside it (taste files).
// Both are formed afresh on every call and created when missing; nothing is cached.
// Threads: any thread (creating a folder another caller just created is not an error).

#include <optional>
#include <string>

namespace tonvera {

// The display name under which the application folder is created.
inline constexpr const char* kAppDisplayName = "Tonvera";

// "<data home>/Tonvera/" where <data home> is $XDG_DATA_HOME, else $HOME/.local/share. Creates the
// folder with its missing parents; nothing when that fails.
std::optional<std::string> appSupportDir();

// appSupportDir() + "/" + account id + "/" (the application folder already ends in "/", so the text
// holds "//", which names the same folder). Created when missing; nothing when that fails.
std::optional<std::string> baseDir();

// The one account of the program.
class KKAccount {
 public:
  static KKAccount& sharedManager();
  KKAccount(const KKAccount&) = delete;
  KKAccount& operator=(const KKAccount&) = delete;

  // Always "000".
  std::string accountId() const { return "000"; }

 private:
  KKAccount() = default;
};

}  // namespace tonvera
