// The generated demo library: the same every time, made once, and its lyrics' times fall on the
// sung phrases. (What it holds is checked through the station's scan and endpoints.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/fileutil.h"
#include "station/demo.h"
#include "station/synth.h"
#include "station_fixture.h"

namespace tonvera::station {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesUnder(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), root).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

// Made once into the data folder, with any number of workers the same bytes as the shared copy; a
// library left incomplete (no marker) is made again.
TEST(StationDemo, EnsureGeneratesOnceTheSameLibraryEveryTime) {
  const std::string data = test::scratchFolder() + "/ensure";
  DemoOptions options;
  options.reduced = true;
  options.threads = 1;  // a different number of workers than the shared copy's
  std::vector<std::string> lines;
  options.progress = [&](const std::string& line) { lines.push_back(line); };
  auto folder = ensureDemoLibrary(data, options);
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, data + "/demo");
  EXPECT_EQ(static_cast<int>(lines.size()), demoTrackCount(true) + 1);  // and "generating ..." first
  EXPECT_EQ(lines.back().rfind("[" + std::to_string(demoTrackCount(true)) + "/", 0), 0u);
  EXPECT_FALSE(fs::exists(data + "/demo.partial"));
  const auto files = filesUnder(test::demoFolder());
  auto made = filesUnder(*folder);
  std::erase(made, ".tonvera-demo");
  ASSERT_EQ(files, made);
  for (const auto& rel : files)
    EXPECT_EQ(readFile(test::demoFolder() + "/" + rel), readFile(*folder + "/" + rel)) << rel;

  lines.clear();
  ASSERT_EQ(ensureDemoLibrary(data, options), folder);
  EXPECT_TRUE(lines.empty());  // nothing generated again
  fs::remove(data + "/demo/.tonvera-demo");
  ASSERT_EQ(ensureDemoLibrary(data, options), folder);
  EXPECT_FALSE(lines.empty());
}

TEST(StationDemo, LyricsTimeTagsFallOnTheSungPhrases) {
  // A full-length song: the time tags of its lyrics are the starts of its melody phrases, which
  // follow a two-bar introduction at the song's tempo, and all lie within the song.
  SongRecipe recipe;
  recipe.seed = 11;
  recipe.bpm = 100;
  recipe.seconds = 30;
  const RenderedSong song = renderSong(recipe);
  ASSERT_EQ(song.left.size(), static_cast<std::size_t>(30 * kSynthSampleRate));
  const double bar = 4 * 60.0 / recipe.bpm;
  ASSERT_GE(song.phraseStarts.size(), 4u);
  for (std::size_t i = 0; i < song.phraseStarts.size(); ++i) {
    EXPECT_DOUBLE_EQ(song.phraseStarts[i], bar * 2 * static_cast<double>(i + 1));
    EXPECT_LT(song.phraseStarts[i] + bar, recipe.seconds);
  }
  // A note sounds right after every phrase start.
  for (double start : song.phraseStarts) {
    const auto at = static_cast<std::size_t>((start + 0.1) * kSynthSampleRate);
    float peak = 0;
    for (std::size_t k = at; k < at + 2205; ++k) peak = std::max(peak, std::abs(song.left[k]));
    EXPECT_GT(peak, 0.05f) << start;
  }
  float peak = 0;
  for (float v : song.left) peak = std::max(peak, std::abs(v));
  EXPECT_LE(peak, 0.9001f);
}

}  // namespace
}  // namespace tonvera::station
