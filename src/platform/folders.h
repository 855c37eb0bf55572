#pragma once
// The application folder (picture caches) and the account folder inside it (taste files), both
// formed afresh on every call and created when missing; and the state folder (files the program
// keeps between runs that are not the listener's data, such as unsent usage reports). Nothing is
// cached.
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

// The name of the program's folder inside the state home.
inline constexpr const char* kStateFolderName = "tonvera";

// "<state home>/tonvera/" where <state home> is $XDG_STATE_HOME when it holds an absolute path (a
// relative one is ignored, as the XDG base-directory rules say), else $HOME/.local/state. Only the
// text: writers create the folder when they need it (makeDirectories).
std::string stateDir();

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
