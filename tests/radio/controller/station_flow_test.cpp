// The radio against the bundled station on loopback, serving its small demo library: the default
// channel "全部" plays track after track, with lyrics and pictures, and an advance moves on.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <cstdlib>

#include "platform/mainqueue.h"
#include "radio/mainviewcontroller.h"
#include "radio/radioplayer.h"
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
  int playing = 0;
  std::vector<std::string> played;
  MainViewController::Hooks hooks;
  std::shared_ptr<TNSong> last;
  hooks.playerStateChanged = [&](StreamerState state) {
    // A track counts once, however often its player comes back to Playing (after an underrun).
    if (state != StreamerState::Playing || controller.curSong() == last) return;
    last = controller.curSong();
    ++playing;
    played.push_back(controller.curSong()->trackId().value_or(""));
  };
  controller.setHooks(std::move(hooks));

  const auto t0 = std::chrono::steady_clock::now();
  controller.awakeFromNib();
  ASSERT_TRUE(runMainLoopUntil([&] { return playing >= 1; }, 20s));
  const auto firstPlaying = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(page.windowTitle, "Tonvera音乐播放器--全部");
  EXPECT_FALSE(page.trackName.empty());

  // Lyrics and both pictures of the current track come from the station.
  ASSERT_TRUE(runMainLoopUntil([&] { return !page.lyricsShown.empty() && page.pictures.size() >= 2; }, 20s));
  EXPECT_TRUE(page.lyricsShown.back().has_value());
  EXPECT_FALSE(page.lyrics.sortedTimes().empty());
  int shown = 0;
  for (const auto& p : page.pictures) shown += !p.image.isNull();
  EXPECT_GE(shown, 1);

  // An advance plays another track.
  const auto t1 = std::chrono::steady_clock::now();
  controller.nextTrack(Sender::reason(skipreason::kMediaKey));
  ASSERT_TRUE(runMainLoopUntil([&] { return playing >= 2; }, 20s));
  const auto nextPlaying = std::chrono::steady_clock::now() - t1;
  EXPECT_NE(played[1], played[0]);
  // And the flow goes on by itself as the short demo tracks end.
  ASSERT_TRUE(runMainLoopUntil([&] { return playing >= 3; }, 30s));

  using ms = std::chrono::milliseconds;
  RecordProperty("channel_to_playing_ms",
                 static_cast<int>(std::chrono::duration_cast<ms>(firstPlaying).count()));
  RecordProperty("next_to_playing_ms", static_cast<int>(std::chrono::duration_cast<ms>(nextPlaying).count()));
}

}  // namespace
}  // namespace tonvera
