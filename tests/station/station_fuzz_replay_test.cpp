// The fuzz corpus of the station's request-text parsers, replayed through the fuzz entry.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fileutil.h"
#include "station_fuzz_entry.h"

namespace tonvera::station {
namespace {

TEST(StationFuzzReplay, CorpusRunsClean) {
  const std::filesystem::path corpus = std::string(TONVERA_SOURCE_DIR) + "/fuzz/station/corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    auto bytes = readFile(entry.path().string());
    ASSERT_TRUE(bytes) << entry.path();
    EXPECT_EQ(stationFuzzOne(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()), 0);
    ++files;
  }
  EXPECT_GE(files, 10);
  // Every parser also meets empty and one-byte inputs.
  for (int selector = 0; selector < 6; ++selector) {
    const std::uint8_t one[] = {static_cast<std::uint8_t>(selector)};
    EXPECT_EQ(stationFuzzOne(one, 1), 0);
  }
  EXPECT_EQ(stationFuzzOne(nullptr, 0), 0);
}

}  // namespace
}  // namespace tonvera::station
