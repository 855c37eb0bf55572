#pragma once
// The user-defaults store: registered defaults (volatile, never written) under values the program
// set (kept in an XML property list, $XDG_CONFIG_HOME/tonvera/defaults.plist, default
// ~/.config/tonvera/). A value set overrides a registered one; removing it brings the registered
// one back.
//
// Every set() and remove() is written through at once (atomically), so nothing set is lost if the
// program ends abruptly; synchronize() writes again and reports the result. A settings file that
// cannot be parsed is moved aside (".corrupt" suffix) with one log line, and the store starts empty.
//
// Threads: any thread; one mutex guards the store.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/plist.h"

namespace tonvera {

class UserDefaults {
 public:
  // The process-wide store at the standard path, opened on first use.
  static UserDefaults& standard();
  // The standard settings file path: $XDG_CONFIG_HOME (default $HOME/.config) + "/tonvera/defaults.plist".
  static std::string standardPath();

  // A store kept in `path` (read now; the folder is created on first write).
  explicit UserDefaults(std::string path);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::string& path() const { return path_; }

  // Adds to the registered defaults (later registrations replace earlier ones key by key).
  void registerDefaults(const PlistValue::Dict& defaults);

  // The value set for `key`, else the registered one, else nothing.
  std::optional<PlistValue> object(const std::string& key) const;
  std::string stringForKey(const std::string& key) const;  // "" when absent or not a string
  std::int64_t integerForKey(const std::string& key) const;
  double doubleForKey(const std::string& key) const;
  bool boolForKey(const std::string& key) const;
  PlistValue::Dict dictionaryForKey(const std::string& key) const;  // empty when absent
  PlistValue::Array arrayForKey(const std::string& key) const;

  void set(const std::string& key, PlistValue value);
  void remove(const std::string& key);

  // Writes the set values now. False when the file could not be written (one line is logged).
  bool synchronize();

 private:
  bool writeLocked();

  const std::string path_;
  // guarded by mutex_
  mutable std::mutex mutex_;
  PlistValue::Dict registered_;
  PlistValue::Dict values_;
};

}  // namespace tonvera
