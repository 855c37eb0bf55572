#include "plist_fuzz_entry.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/fileutil.h"
#include "platform/plist.h"
#include "platform/userdefaults.h"
#include "records/tnsong.h"
#include "shared_state.h"
#include "taste/tnmanager.h"

namespace tonvera {
namespace {

namespace fs = std::filesystem;

void check(bool condition) {
  if (!condition) std::abort();
}

// Removes `path` and whatever was set aside beside it by an earlier input.
void clearBeside(const fs::path& path) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  for (const auto& entry : fs::directory_iterator(path.parent_path(), ec))
    if (entry.path().filename().string().starts_with(path.filename().string())) fs::remove(entry.path(), ec);
}

// The one file set aside beside `path`, or nothing when there is none.
std::optional<std::string> asideBytes(const fs::path& path) {
  std::optional<std::string> found;
  for (const auto& entry : fs::directory_iterator(path.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(path.filename().string() + ".corrupt")) continue;
    check(!found);
    found = readFile(entry.path().string());
  }
  return found;
}

void checkDefaults(const std::string& bytes, const std::optional<PlistValue>& parsed) {
  const fs::path path = UserDefaults::standardPath();
  clearBeside(path);
  check(writeFileAtomically(path.string(), bytes));
  {
    UserDefaults store(path.string());
    if (parsed && parsed->isDict()) {
      // Compared as written out: a real that is NaN is read whole but equals nothing.
      for (const auto& [key, value] : parsed->dict())
        check(store.object(key).value_or(PlistValue()).toXml() == value.toXml());
      check(!asideBytes(path));
    } else {
      check(!fs::exists(path) && asideBytes(path) == bytes);  // nothing the file held is lost
    }
    store.set("fuzz.check", PlistValue(7));
  }
  check(UserDefaults(path.string()).integerForKey("fuzz.check") == 7);
}

void checkTaste(const std::string& bytes, const std::optional<PlistValue>& parsed) {
  const auto file = TNManager::tasteFilePath(TNManager::kLoveFileName);
  check(file.has_value());
  const fs::path path = *file;
  clearBeside(path);
  check(writeFileAtomically(path.string(), bytes));
  const bool usable = parsed && parsed->isDict();

  test::forgetTasteStore();
  TNManager& store = TNManager::sharedManager();
  check(usable || store.likeSongs().empty());
  const bool held = usable && parsed->find("fuzz.song");
  store.likeSong(TNSong::create(Record{{"id", PlistValue("fuzz.song")}, {"name", PlistValue("x")}}), true);

  const auto after = readPlistFile(path.string());
  check(after.status == PlistFileRead::Status::Ok && after.value.isDict());
  check((after.value.find("fuzz.song") != nullptr) != held);  // the change toggled the entry
  if (usable) {
    check(!asideBytes(path));
  } else {
    check(asideBytes(path) == bytes);
  }
  test::forgetTasteStore();
}

}  // namespace

int plistFuzzOne(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<PlistValue> parsed = PlistValue::fromBytes(bytes);
  if (parsed) {
    const auto again = PlistValue::fromBytes(parsed->toXml());
    check(again && again->type() == parsed->type());
  }
  checkDefaults(bytes, parsed);
  checkTaste(bytes, parsed);
  return 0;
}

}  // namespace tonvera
