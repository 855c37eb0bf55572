// The prefetch of the next track on loopback: the scripted service, the real stream player on the
// null sink (paced in real time), the real taste and settings stores in a temporary HOME.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include "platform/notificationcenter.h"
#include "platform/userdefaults.h"
#include "radio/mainviewcontroller.h"
#include "recordingpage.h"
#include "records/tnsong.h"
#include "scripted_service.h"
#include "shared_state.h"
#include "taste/tnmanager.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using test::ScriptedTrack;
using namespace std::chrono_literals;

ScriptedTrack track(const std::string& id, const std::string& name,
                    ScriptedTrack::Audio audio = ScriptedTrack::Audio::Long) {
  return {.id = id, .name = name, .artist = "歌手", .audio = audio};
}

class Prefetch : public ::testing::Test {
 public:
  void SetUp() override {
    setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
    test::forgetTasteStore();
    UserDefaults::standard().set(kEnplayKey, PlistValue(false));  // the store outlives each test
    service.start();
    service.addTrack(track("a", "第一首"));
    service.addTrack(track("b", "Yesterday"));  // judged English
    service.addTrack(track("c", "第三首"));
    service.addTrack(track("x", "别的频道"));
    // Every announcement of any player, with the player that made it.
    statusObserver = ScopedObserver(NotificationCenter::defaultCenter(), kASStatusChangedNotification,
                                    nullptr, [this](const Notification& n) { senders.push_back(n.sender); });
  }
  void TearDown() override {
    controller.reset();
    UserDefaults::standard().set(kEnplayKey, PlistValue(false));
  }

  void start(std::vector<std::string> tracks, std::size_t headBytes = kHeldStreamMaxBytes) {
    MainViewController::Options options;
    options.prefetchDelay = 0ms;
    options.prefetchBytes = headBytes;
    controller = std::make_unique<MainViewController>(page, std::move(options));
    MainViewController::Hooks hooks;
    hooks.advanceRequested = [this](const Sender& s) { advances.push_back(s.describe()); };
    controller->setHooks(std::move(hooks));
    service.setChannel("c1", std::move(tracks));
    UserDefaults::standard().set(kSelectStationKey, test::channelRecord("c1", "频道c1"));
    controller->awakeFromNib();
  }

  std::string idOf(const std::shared_ptr<TNSong>& song) const {
    return song ? song->trackId().value_or("") : "";
  }
  bool playing(const std::string& id) const {
    return idOf(controller->curSong()) == id && controller->streamer() && controller->streamer()->isPlaying();
  }
  // The head of track `id`'s stream is held.
  bool held(const std::string& id) const {
    return idOf(controller->prefetch().song()) == id && controller->prefetch().heldBytes() > 0;
  }
  void next() { controller->nextTrack(Sender::reason(skipreason::kMediaKey)); }

  test::TempHome home;
  test::ScriptedService service;
  test::RecordingPage page;
  std::unique_ptr<MainViewController> controller;
  ScopedObserver statusObserver;
  std::vector<const void*> senders;
  std::vector<std::string> advances;
};

TEST_F(Prefetch, NextTrackIsHeldUnseenAndStartsFromMemory) {
  start({"a", "c"});
  ASSERT_TRUE(test::waitFor([&] { return playing("a") && held("c"); }));
  // Looked up and fetched, but nothing of it shown, requested for the page or announced.
  EXPECT_EQ(service.count("/tracks/c/play.json"), 1);
  EXPECT_EQ(service.count("/audio/c.mp3"), 1);
  EXPECT_EQ(service.count("/lrc/c"), 0);
  EXPECT_EQ(page.trackName, "第一首");
  for (const void* sender : senders) EXPECT_EQ(sender, controller->streamer()->notificationSender());

  next();
  ASSERT_TRUE(test::waitFor([&] { return playing("c"); }));
  EXPECT_EQ(page.trackName, "第三首");
  // No second lookup or request: the whole 20 s stream was held.
  EXPECT_EQ(service.count("/tracks/c/play.json"), 1);
  EXPECT_EQ(service.count("/audio/c.mp3"), 1);
  ASSERT_TRUE(test::waitFor([&] { return service.count("/lrc/c") == 1; }));
  EXPECT_EQ(controller->prefetch().heldBytes(), 0u);  // the last track: nothing after it
}

TEST_F(Prefetch, HeadShorterThanTheStreamContinuesAtTheNextByte) {
  service.addTrack(track("s", "短歌", ScriptedTrack::Audio::Short));
  start({"a", "s"}, 4096);
  ASSERT_TRUE(test::waitFor([&] { return playing("a") && held("s"); }));
  EXPECT_EQ(controller->prefetch().heldBytes(), 4096u);
  // The requests of s made until the radio moves on by itself (the refill after it may come in the
  // same turn of the main loop, and fetch s's head again for the next round).
  auto ranges = std::make_shared<std::optional<std::vector<std::string>>>();
  MainViewController::Hooks hooks;
  hooks.advanceRequested = [this, ranges](const Sender& s) {
    if (*ranges || s.describe() != "playbackStateChanged") return;
    ranges->emplace();
    for (const auto& r : service.requests()) {
      if (r.path == "/audio/s.mp3") (*ranges)->push_back(r.range);
    }
  };
  controller->setHooks(std::move(hooks));
  next();
  // The 1 s track plays to its end, and the radio moves on by itself.
  ASSERT_TRUE(test::waitFor([&] { return ranges->has_value(); }));
  const auto& asked = **ranges;
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], "");
  EXPECT_EQ(asked[1].rfind("bytes=4096-", 0), 0u) << asked[1];
}

struct DropCase {
  const char* name;
  std::function<void(Prefetch&)> change;
  const char* playsNext;  // the track the next advance plays
};

class PrefetchDrop : public Prefetch, public ::testing::WithParamInterface<DropCase> {};

TEST_P(PrefetchDrop, HeldTrackIsLetGoWhenWhatComesNextChanges) {
  service.setChannel("c2", {"x"});
  start({"a", "b", "c"});
  ASSERT_TRUE(test::waitFor([&] { return playing("a") && held("b"); }));
  GetParam().change(*this);
  ASSERT_TRUE(test::waitFor([&] { return idOf(controller->prefetch().song()) != "b"; }));
  if (std::string(GetParam().playsNext) != "x") next();
  ASSERT_TRUE(test::waitFor([&] { return playing(GetParam().playsNext); }));
  EXPECT_EQ(service.count("/lrc/b"), 0);  // b was never current
}

INSTANTIATE_TEST_SUITE_P(
    Changes, PrefetchDrop,
    ::testing::Values(DropCase{"DislikeOfThatTrack",
                               [](Prefetch& t) {
                                 TNManager::sharedManager().hateSong(t.controller->prefetch().song(), true);
                                 NotificationCenter::defaultCenter().post("hateSong", nullptr);
                               },
                               "c"},
                      DropCase{"EnglishFilterSwitchedOn",
                               [](Prefetch&) { UserDefaults::standard().set(kEnplayKey, PlistValue(true)); },
                               "c"},
                      DropCase{"ChannelChange",
                               [](Prefetch&) { test::postStationChange("0", test::channelRecord("c2", "二")); },
                               "x"}),
    [](const ::testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tonvera
