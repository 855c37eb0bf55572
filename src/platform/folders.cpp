#include "platform/folders.h"

#include "platform/fileutil.h"

namespace tonvera {
namespace {

// Forms "%@/%@/" from the two parts.
std::string joinFolder(const std::string& parent, const std::string& name) {
  return parent + "/" + name + "/";
}

}  // namespace

std::optional<std::string> appSupportDir() {
  const std::string dataHome = environment("XDG_DATA_HOME").value_or(homeDirectory() + "/.local/share");
  std::string path = joinFolder(dataHome, kAppDisplayName);
  if (!makeDirectories(path)) return std::nullopt;
  return path;
}

std::optional<std::string> baseDir() {
  auto app = appSupportDir();
  if (!app) return std::nullopt;
  std::string path = joinFolder(*app, KKAccount::sharedManager().accountId());
  if (!makeDirectories(path)) return std::nullopt;
  return path;
}

std::string stateDir() {
  auto stateHome = environment("XDG_STATE_HOME");
  if (!stateHome || stateHome->front() != '/') stateHome = homeDirectory() + "/.local/state";
  return joinFolder(*stateHome, kStateFolderName);
}

KKAccount& KKAccount::sharedManager() {
  static KKAccount account;
  return account;
}

}  // namespace tonvera
