// tonvera-station --pure: every track also offered as PURE, coded on the first request into the
// data folder, served with ranges, kept in a cache bounded in size.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "audio/g719/pure_format.h"
#include "station/purecache.h"
#include "station/records.h"
#include "station_fixture.h"

namespace tonvera::station {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

// The record lists the PURE stream first; the first request codes it, later ranges come from the cache.
TEST(StationPure, RecordsListThePureStreamFirstCodedOnTheFirstRequest) {
  test::RunningStation station(test::demoLibrary(), 0, 32);
  const Track& track = test::demoLibrary()->tracks().front();
  auto client = station.client();
  client->set_read_timeout(60, 0);
  auto res = client->Get(("/tracks/" + track.id + "/play.json").c_str());
  ASSERT_TRUE(res);
  const auto record = Json::parse(res->body);
  ASSERT_EQ(record["url"].size(), 2u);
  EXPECT_TRUE(record["url"][0].get<std::string>().ends_with(pureStreamPath(track)));
  EXPECT_TRUE(record["url"][1].get<std::string>().ends_with(streamPath(track)));

  auto whole = client->Get(pureStreamPath(track).c_str());
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole->status, 200);
  EXPECT_EQ(whole->get_header_value("Content-Type"), "audio/x-pur");
  const auto header = parsePureHeader(whole->body);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->rate, 32);
  // About the track's length (one frame more for the decoder's delay).
  EXPECT_NEAR(static_cast<double>(header->durationMs()), static_cast<double>(track.durationMs), 100.0);

  auto part = client->Get(pureStreamPath(track).c_str(), {{"Range", "bytes=16-339"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, whole->body.substr(16, 324));

  const auto cached = filesIn(station.dataDir() + "/pure");
  ASSERT_EQ(cached.size(), 1u);
  EXPECT_TRUE(cached[0].starts_with(track.id + "-r32-"));
}

// Concurrent first requests share one coding; a cache bounded below two files keeps the newest.
TEST(StationPure, CacheCodesOnceAndKeepsItsBound) {
  const auto lib = test::demoLibrary();
  ASSERT_GE(lib->tracks().size(), 2u);
  const std::string folder = test::scratchFolder() + "/pure-cache";
  fs::create_directories(folder);
  PureCache cache(folder, 24, 1);  // every older file goes
  std::vector<std::optional<std::string>> paths(4);
  std::vector<std::thread> threads;
  for (auto& p : paths) threads.emplace_back([&] { p = cache.fileFor(lib->tracks()[0]); });
  for (auto& t : threads) t.join();
  for (const auto& p : paths) {
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, *paths[0]);
  }
  EXPECT_EQ(filesIn(folder).size(), 1u);  // no temporary file left behind
  const auto second = cache.fileFor(lib->tracks()[1]);
  ASSERT_TRUE(second);
  EXPECT_EQ(filesIn(folder), std::vector<std::string>{fs::path(*second).filename().string()});
  EXPECT_EQ(cache.bytesOnDisk(), fs::file_size(*second));

  Track missing = lib->tracks()[0];
  missing.path = folder + "/nothing.mp3";
  EXPECT_FALSE(cache.fileFor(missing));
}

}  // namespace
}  // namespace tonvera::station
