// The radio against the bundled station on loopback, serving its small demo library: the default
// channel "全部" plays track after track, with lyrics and pictures, and an advance moves on.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "main_loop.h"
#include "radio/mainviewcontroller.h"
#include "recordingpage.h"
#include "records/tnsong.h"
#include "station_fixture.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

TEST(StationFlow, DefaultChannelPlaysTrackAfterTrackWithLyricsAndPictures) {
  setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
  test::TempHome home;
  station::test::RunningStation station;
  setenv("TONVERA_SERVICE_URL", station.base().c_str(), 1);

  test::RecordingPage page;
  MainViewController controller(page);
  std::vector<std::shared_ptr<TNSong>> played;
  MainViewController::Hooks hooks;
  hooks.playerStateChanged = [&](StreamerState state) {
    // A track counts once, however often its player comes back to Playing (after an underrun).
    if (state == StreamerState::Playing && (played.empty() || controller.curSong() != played.back()))
      played.push_back(controller.curSong());
  };
  controller.setHooks(std::move(hooks));

  controller.awakeFromNib();
  ASSERT_TRUE(runMainLoopUntil([&] { return played.size() >= 1; }, 20s));

  // Lyrics and both pictures of the current track come from the station.
  ASSERT_TRUE(runMainLoopUntil([&] { return !page.lyricsShown.empty() && page.pictures.size() >= 2; }, 20s));
  EXPECT_FALSE(page.lyrics.sortedTimes().empty());
  EXPECT_TRUE(std::any_of(page.pictures.begin(), page.pictures.end(),
                          [](const auto& p) { return !p.image.isNull(); }));

  // An advance plays another track, and the flow goes on by itself as the short demo tracks end.
  controller.nextTrack(Sender::reason(skipreason::kMediaKey));
  ASSERT_TRUE(runMainLoopUntil([&] { return played.size() >= 2; }, 20s));
  EXPECT_NE(played[1]->trackId(), played[0]->trackId());
  ASSERT_TRUE(runMainLoopUntil([&] { return played.size() >= 3; }, 30s));
}

}  // namespace
}  // namespace tonvera
