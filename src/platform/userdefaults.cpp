#include "platform/userdefaults.h"

#include <filesystem>

#include "platform/fileutil.h"
#include "platform/log.h"

namespace tonvera {

std::string UserDefaults::standardPath() {
  std::string config = environment("XDG_CONFIG_HOME").value_or(homeDirectory() + "/.config");
  return config + "/tonvera/defaults.plist";
}

UserDefaults& UserDefaults::standard() {
  static UserDefaults store(standardPath());
  return store;
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {
  PlistFileRead read = readPlistFile(path_);
  switch (read.status) {
    case PlistFileRead::Status::Ok:
      if (read.value.isDict()) {
        values_ = read.value.dict();
        return;
      }
      read.error = "root is not a dictionary";
      [[fallthrough]];
    case PlistFileRead::Status::Corrupt: {
      auto aside = moveAside(path_, ".corrupt");
      log(lcPlatform, "settings file %s is damaged (%s); kept as %s, starting with defaults", path_.c_str(),
          read.error.c_str(), aside ? aside->c_str() : "(could not move it)");
      return;
    }
    case PlistFileRead::Status::Unreadable:
      log(lcPlatform, "settings file %s cannot be read (%s); starting with defaults", path_.c_str(), read.error.c_str());
      return;
    case PlistFileRead::Status::Missing:
      return;
  }
}

void UserDefaults::registerDefaults(const PlistValue::Dict& defaults) {
  std::lock_guard lock(mutex_);
  for (const auto& [k, v] : defaults) registered_[k] = v;
}

std::optional<PlistValue> UserDefaults::object(const std::string& key) const {
  std::lock_guard lock(mutex_);
  if (auto it = values_.find(key); it != values_.end()) return it->second;
  if (auto it = registered_.find(key); it != registered_.end()) return it->second;
  return std::nullopt;
}

std::string UserDefaults::stringForKey(const std::string& key) const {
  return object(key).value_or(PlistValue()).toString();
}
std::int64_t UserDefaults::integerForKey(const std::string& key) const {
  auto v = object(key).value_or(PlistValue());
  if (v.isString()) {
    try {
      return std::stoll(v.toString());
    } catch (...) {
      return 0;
    }
  }
  return v.toInteger();
}
double UserDefaults::doubleForKey(const std::string& key) const { return object(key).value_or(PlistValue()).toReal(); }
bool UserDefaults::boolForKey(const std::string& key) const {
  auto v = object(key).value_or(PlistValue());
  if (v.isString()) {
    const std::string s = v.toString();
    return s == "YES" || s == "yes" || s == "true" || (!s.empty() && s[0] >= '1' && s[0] <= '9');
  }
  return v.toBool();
}
PlistValue::Dict UserDefaults::dictionaryForKey(const std::string& key) const {
  return object(key).value_or(PlistValue()).dict();
}
PlistValue::Array UserDefaults::arrayForKey(const std::string& key) const {
  return object(key).value_or(PlistValue()).array();
}

void UserDefaults::set(const std::string& key, PlistValue value) {
  std::lock_guard lock(mutex_);
  if (value.isNone()) {
    values_.erase(key);
  } else {
    values_[key] = std::move(value);
  }
  writeLocked();
}

void UserDefaults::remove(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (values_.erase(key) > 0) writeLocked();
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  return writeLocked();
}

bool UserDefaults::writeLocked() {
  std::string error;
  const std::string folder = std::filesystem::path(path_).parent_path().string();
  if (!folder.empty() && !makeDirectories(folder, &error)) {
    log(lcPlatform, "settings folder %s cannot be created: %s", folder.c_str(), error.c_str());
    return false;
  }
  if (!writePlistFile(path_, PlistValue(values_), &error)) {
    log(lcPlatform, "settings file %s cannot be written: %s", path_.c_str(), error.c_str());
    return false;
  }
  return true;
}

}  // namespace tonvera
