// libFuzzer target: property-list files, XML and binary, as the user defaults and the taste store
// read them from disk. The stores' files go to a scratch folder made at start and removed at exit.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "plist_fuzz_entry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::string scratch = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                               "/tonvera-fuzz-plist-XXXXXX";
  if (!::mkdtemp(scratch.data())) std::abort();
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
  });
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
    ::setenv(name, scratch.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tonvera::plistFuzzOne(data, size);
}
