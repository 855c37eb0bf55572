// The radio's flow end to end on loopback, and the prefetch of the next track: a scripted service,
// the real stream player on the null sink (paced in real time, so tracks stay playing), the real
// taste store and settings store in a temporary HOME.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <functional>

#include "platform/notificationcenter.h"
#include "platform/userdefaults.h"
#include "radio/mainviewcontroller.h"
#include "radio/progresstexts.h"
#include "recordingpage.h"
#include "records/picturecache.h"
#include "records/tnsong.h"
#include "scripted_service.h"
#include "shared_state.h"
#include "taste/tnmanager.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using test::ScriptedTrack;
using namespace std::chrono_literals;
using Audio = ScriptedTrack::Audio;
using test::channelRecord;
using test::postStationChange;

class ControllerFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
    test::forgetTasteStore();  // the store of an earlier test in this process knew other files
    service.start();
  }

  void TearDown() override { controller.reset(); }

  // A controller with fast time-outs and the test's clock.
  MainViewController& make(MainViewController::Options options = fastOptions()) {
    if (!realClock) options.now = [this] { return clock; };
    controller = std::make_unique<MainViewController>(page, std::move(options));
    MainViewController::Hooks hooks;
    hooks.advanceRequested = [this](const Sender& s) { advances.push_back(s.describe()); };
    hooks.playerStateChanged = [this](StreamerState state) {
      if (state == StreamerState::Playing) playingId = currentId();
    };
    hooks.queueRetryScheduled = [this](std::chrono::milliseconds pause) { retryPauses.push_back(pause); };
    controller->setHooks(std::move(hooks));
    return *controller;
  }

  static MainViewController::Options fastOptions() {
    MainViewController::Options o;
    o.waitingGiveUp = o.queueRetryMaximum = o.networkRetryMaximum = 400ms;
    o.queueRetryInitial = o.networkRetryInitial = 100ms;
    return o;
  }

  void addTracks(std::initializer_list<ScriptedTrack> list) {
    for (const auto& t : list) service.addTrack(t);
  }
  void addLong(std::initializer_list<const char*> ids) {
    for (const char* id : ids) service.addTrack(longTrack(id));
  }
  // A media key as it arrives: 1 previous, 2 play/pause, 3 next.
  static void mediaKey(int state) {
    NotificationCenter::defaultCenter().post(kPlayBackChangedNotification, nullptr,
                                             PlistValue(PlistValue::Dict{{"state", PlistValue(state)}}));
  }

  // Plays channel `id` with `tracks` (added to the service before).
  void startChannel(const std::string& id, std::vector<std::string> tracks) {
    service.setChannel(id, tracks);
    UserDefaults::standard().set(kSelectStationKey, channelRecord(id, "频道" + id));
    if (!controller) make();
    controller->awakeFromNib();
  }

  static std::string idOf(const std::shared_ptr<TNSong>& song) {
    return song ? song->trackId().value_or("") : "";
  }
  std::string currentId() const { return idOf(controller->curSong()); }

  // The track `id` is current, its player plays, and the controller has handled that.
  bool playing(const std::string& id) const {
    return currentId() == id && playingId == id && controller->streamer() &&
           controller->streamer()->isPlaying();
  }
  bool waitPlaying(const std::string& id) {
    return test::waitFor([&] { return playing(id); });
  }

  static ScriptedTrack longTrack(const std::string& id, const std::string& name = "",
                                 const std::string& artist = "歌手") {
    return {.id = id, .name = name.empty() ? "歌曲" + id : name, .artist = artist, .audio = Audio::Long};
  }

  test::TempHome home;
  test::ScriptedService service;
  test::RecordingPage page;
  MainViewController::Clock::time_point clock = MainViewController::Clock::now();
  bool realClock = false;  // the controller reads the steady clock instead of `clock`
  std::unique_ptr<MainViewController> controller;
  std::vector<std::string> advances;
  std::string playingId;  // the current track when the controller last handled Playing
  std::vector<std::chrono::milliseconds> retryPauses;  // every queue retry's pause, in order
};

TEST_F(ControllerFlow, FirstStartPlaysTheDefaultChannelAndStoresIt) {
  service.setChannel("all", {"a"});
  addTracks({longTrack("a", "晴天", "周杰伦")});
  make().awakeFromNib();
  ASSERT_TRUE(waitPlaying("a"));
  EXPECT_EQ(page.windowTitle, "Tonvera音乐播放器--全部");
  EXPECT_EQ(UserDefaults::standard().dictionaryForKey(kSelectStationKey),
            channelRecord("all", "全部").dict());
  EXPECT_EQ(std::tie(page.trackName, page.artist, page.album), std::make_tuple("晴天", "周杰伦 ", "专辑"));
  // The progress tick shows the position of a 20 s track.
  ASSERT_TRUE(test::waitFor([&] {
    const double d = controller->streamer()->duration();
    return d > 19 && page.readout.size() > 6 &&
           page.readout.substr(page.readout.size() - 7) == readoutText(0, d).substr(4);
  }));
}

TEST_F(ControllerFlow, SkipGuardHoldsBackRepeatedButtonPressesButNeverMediaKeys) {
  addLong({"a", "b", "c", "d", "e", "f"});
  startChannel("c1", {"a", "b", "c", "d", "e", "f"});
  ASSERT_TRUE(waitPlaying("a"));
  auto& c = *controller;

  c.nextTrack(Sender::control());  // the queue's start does not count as a press
  EXPECT_EQ(c.queue().index(), 1);
  clock += 999ms;
  c.nextTrack(Sender::control());  // within 1 s of the accepted press: ignored
  EXPECT_EQ(c.queue().index(), 1);
  clock += 2ms;
  c.nextTrack(Sender::control());
  EXPECT_EQ(c.queue().index(), 2);
  ASSERT_TRUE(waitPlaying("c"));
  // An advance the program asked for (here a filter or a track's end would) restarts the second.
  clock += 5s;
  c.nextTrack(Sender::reason(skipreason::kPlaybackStateChanged));
  EXPECT_EQ(c.queue().index(), 3);
  c.nextTrack(Sender::control());
  EXPECT_EQ(c.queue().index(), 3);
  c.preTrack(Sender::control());  // held back too, and the position stays on the playing track
  EXPECT_EQ(c.queue().index(), 3);
  mediaKey(1);  // a media key's previous passes
  EXPECT_EQ(c.queue().index(), 2);
  ASSERT_TRUE(waitPlaying("c"));

  // Media keys arrive as "PlayBackChanged" and pass the guard every time.
  mediaKey(3);
  mediaKey(3);
  EXPECT_EQ(c.queue().index(), 4);
  ASSERT_TRUE(waitPlaying("e"));
  // Play/pause through the media key.
  mediaKey(2);
  ASSERT_TRUE(test::waitFor([&] { return c.streamer() && c.streamer()->isPaused(); }));
  EXPECT_EQ(page.playButtonOn, true);
  mediaKey(2);
  ASSERT_TRUE(waitPlaying("e"));
}

TEST_F(ControllerFlow, DislikedTracksAreSkippedOnAnyChannelUnlessInsertedPastTheQueuesEnd) {
  addLong({"x", "y", "z"});
  make();
  TNManager::sharedManager().hateSong(TNSong::create(Record{{"id", PlistValue("x")}}), true);
  startChannel("c1", {"x", "y"});
  ASSERT_TRUE(waitPlaying("y"));
  EXPECT_EQ(controller->queue().tracks(), (PlayQueue::TrackIds{"y"}));

  service.setPrivateTracks({"x", "z"});
  postStationChange("6", PlistValue(""));
  ASSERT_TRUE(waitPlaying("z"));
  EXPECT_EQ(service.countPrefix("/audio/x"), 0);
  EXPECT_EQ(UserDefaults::standard().dictionaryForKey(kSelectStationKey).at("name").toString(), "私人电台");

  // Inserted, it takes the position past the last entry, where nothing can be removed: it plays.
  postStationChange("1", PlistValue(PlistValue::Dict{{"id", PlistValue("x")}}));
  ASSERT_TRUE(waitPlaying("x"));
  EXPECT_EQ(controller->queue().tracks(), (PlayQueue::TrackIds{"z"}));
}

TEST_F(ControllerFlow, PrivateChannelStaysChosenThroughItsRefillsUntilAPublicOneIsPicked) {
  addLong({"a", "p1", "p2", "p3", "b"});
  startChannel("c1", {"a"});
  ASSERT_TRUE(waitPlaying("a"));
  // Three batches of the private channel, each used up by the next key.
  for (const char* id : {"p1", "p2", "p3"}) {
    SCOPED_TRACE(id);
    service.setPrivateTracks({id});
    if (std::string(id) == "p1") {
      postStationChange("6", PlistValue(""));
    } else {
      mediaKey(3);
    }
    ASSERT_TRUE(waitPlaying(id));
  }
  EXPECT_EQ(service.count("/radios/play"), 3);
  EXPECT_EQ(service.count("/radios/c1/play.json"), 1);
  EXPECT_EQ(UserDefaults::standard().dictionaryForKey(kSelectStationKey).at("name").toString(), "私人电台");
  EXPECT_EQ(page.windowTitle, "Tonvera音乐播放器--频道c1");  // the title is left as it was
  // A public channel ends it: its own refills follow.
  service.setChannel("c2", {"b"});
  postStationChange("0", channelRecord("c2", "二"));
  ASSERT_TRUE(waitPlaying("b"));
  mediaKey(3);
  ASSERT_TRUE(test::waitFor([&] { return service.count("/radios/c2/play.json") == 2; }));
  EXPECT_EQ(service.count("/radios/play"), 3);
}

TEST_F(ControllerFlow, ChannelWithEveryTrackFilteredSaysWhyAndTheTasteButtonsActOnNothingHidden) {
  UserDefaults::standard().set(kEnplayKey, true);
  addTracks({longTrack("zh", "远山", "林夏"), longTrack("en1", "Highway Lights", "Echo Park"),
             longTrack("en2", "Last Train Home", "Echo Park"), longTrack("zh2", "晴天", "周杰伦")});
  startChannel("c1", {"zh"});
  ASSERT_TRUE(waitPlaying("zh"));
  ASSERT_TRUE(controller->loveTrack());
  service.setChannel("c2", {"en1", "en2"});
  postStationChange("0", channelRecord("c2", "摇滚"));
  ASSERT_TRUE(test::waitFor([&] { return page.notice == kNoticeAllFiltered; }));
  // No track is shown: the title is gone and a like records nothing.
  EXPECT_EQ(std::tie(page.trackName, page.readout, page.slider), std::make_tuple("", "0:00 / 0:00", 0.0));
  EXPECT_FALSE(controller->loveTrack());
  const auto liked = TNManager::sharedManager().genSongsLove(true);
  ASSERT_EQ(liked.size(), 1u);
  EXPECT_EQ(liked[0]->trackId(), "zh");
  // The line goes as soon as something plays.
  service.setChannel("c2", {"zh2"});
  ASSERT_TRUE(waitPlaying("zh2"));
  EXPECT_EQ(page.notice, "");
}

TEST_F(ControllerFlow, ATrackShorterThanThePlayersStartCountShowsAsPlaying) {
  addTracks({{.id = "s", .audio = Audio::Short}});
  startChannel("c1", {"s"});
  ASSERT_TRUE(test::waitFor([&] { return currentId() == "s"; }));
  EXPECT_TRUE(test::waitFor([&] { return page.playButtonOn == false; }));
}

TEST_F(ControllerFlow, QueueWithoutPlayableTracksIsAskedForAgainAfterAGrowingPause) {
  service.addTrack({.id = "m1", .audio = Audio::Missing});
  // No tracks, no list, no JSON, a list for the record, and tracks whose streams all fail.
  const std::string replies[] = {"{\"tracks\":[]}", "{}", "not json", "[\"a\"]", "{\"tracks\":[\"m1\"]}"};
  for (const auto& reply : replies) {
    SCOPED_TRACE(reply);
    service.setChannelRaw("c1", reply);
    const int before = service.count("/radios/c1/play.json");
    const int more = controller ? 2 : 4;
    if (!controller) {
      UserDefaults::standard().set(kSelectStationKey, channelRecord("c1", "一"));
      make().awakeFromNib();
    }
    ASSERT_TRUE(test::waitFor([&] { return service.count("/radios/c1/play.json") >= before + more; }, 10s));
  }
  EXPECT_GT(controller->queueRetries(), 4);
  for (std::size_t i = 0; i < retryPauses.size(); ++i)  // from 100 ms, doubling up to the 400 ms maximum
    EXPECT_EQ(retryPauses[i], 100ms * (1 << std::min<std::size_t>(i, 2))) << i;

  // A queue with tracks plays, and the pause starts small again.
  service.addTrack(longTrack("a"));
  service.setChannel("c1", {"a"});
  ASSERT_TRUE(waitPlaying("a"));
  EXPECT_TRUE(test::waitFor([&] { return controller->queueRetries() == 0; }));
}

TEST_F(ControllerFlow, LateLyricsOfAnEarlierTrackAreDropped) {
  for (const auto& [id, line] : {std::pair{"a", "第一首的歌词"}, std::pair{"b", "第二首的歌词"}})
    service.addTrack(
        {.id = id, .audio = Audio::Long, .lrc = std::string("[00:00.00]") + line, .lrcHeld = true});
  startChannel("c1", {"a", "b"});
  ASSERT_TRUE(waitPlaying("a"));
  controller->nextTrack(Sender::reason(skipreason::kMediaKey));
  ASSERT_TRUE(waitPlaying("b"));
  ASSERT_TRUE(test::waitFor([&] { return service.countPrefix("/lrc/b") == 1; }));
  // The first track's lyrics arrive after the skip, then the second track's.
  service.releaseLyrics("a");
  service.releaseLyrics("b");
  ASSERT_TRUE(test::waitFor([&] { return !page.lyricsShown.empty(); }));
  ASSERT_EQ(page.lyricsShown.size(), 1u);
  EXPECT_EQ(page.lyricsShown[0], std::optional<std::string>("[00:00.00]第二首的歌词"));
}

// While the page is hidden, pictures in the cache wait for it to show; pictures not yet cached are
// fetched all the same (the sound menu and notifications take them from the cache).
TEST_F(ControllerFlow, CachedPicturesWaitForThePageToShow) {
  addLong({"a", "b"});
  for (auto [kind, id] : {std::pair{PictureKind::Album, "albuma"}, std::pair{PictureKind::Artist, "ara"}}) {
    const auto path = pictureCachePath(kind, id);
    ASSERT_TRUE(path && QImage(4, 4, QImage::Format_RGB32).save(QString::fromStdString(*path), "PNG"));
  }
  make().setProgressShown(false);
  startChannel("c1", {"a", "b"});
  ASSERT_TRUE(waitPlaying("a"));
  EXPECT_TRUE(page.pictures.empty());
  controller->setProgressShown(true);
  ASSERT_EQ(page.pictures.size(), 2u);

  controller->setProgressShown(false);
  controller->nextTrack(Sender::reason(skipreason::kMediaKey));
  ASSERT_TRUE(waitPlaying("b"));
  ASSERT_TRUE(test::waitFor(
      [&] { return service.countPrefix("/albums/") == 1 && service.countPrefix("/artists/") == 1; }));
}

// The liked ids the request carries are the private page's test; here the start from the stored marker.
TEST_F(ControllerFlow, StoredPrivateMarkerAsksThePrivateChannelAtStart) {
  addLong({"p1"});
  service.setPrivateTracks({"p1"});
  UserDefaults::standard().set(kSelectStationKey,
                               PlistValue(PlistValue::Dict{{"name", PlistValue("私人电台")}}));
  make().awakeFromNib();
  ASSERT_TRUE(waitPlaying("p1"));
  EXPECT_EQ(page.windowTitle, "Tonvera音乐播放器--私人电台");
  const auto reqs = service.requests();
  const auto post = std::find_if(reqs.begin(), reqs.end(), [](const auto& r) { return r.method == "POST"; });
  ASSERT_NE(post, reqs.end());
  EXPECT_EQ(std::tie(post->path, post->contentType),
            std::make_tuple("/radios/play", "application/x-www-form-urlencoded"));
}

TEST_F(ControllerFlow, SeekFromTheSliderAndTheReadoutColour) {
  addLong({"a"});
  startChannel("c1", {"a"});
  ASSERT_TRUE(waitPlaying("a"));
  page.sliderEntered = true;
  page.sliderDown = true;
  page.slider = 50;
  controller->sliderMoved();
  EXPECT_EQ(page.readoutColor, 2);
  // While held, the readout shows where the drag is.
  ASSERT_TRUE(test::waitFor([&] {
    const double d = controller->streamer()->duration();
    return page.readout == readoutText(50 * d / 100, d);
  }));

  page.sliderDown = false;
  page.sliderSeek = true;
  controller->sliderMoved();
  page.sliderSeek = false;
  EXPECT_EQ(page.readoutColor, 1);
  // Back in Playing after the seek, the slider follows the player again, from about the middle.
  ASSERT_TRUE(test::waitFor([&] { return page.slider >= 48 && page.slider < 60; }));
}

// The network away (the service and its streams answer 503): the stream lost in the middle of a
// track, and then a lookup after "next". Neither skips through the queue nor asks more than once per
// pause; when the service answers again the same track goes on (the lost one from where it was).
TEST_F(ControllerFlow, ANetworkOutageHoldsTheTrackInsteadOfSkipping) {
  realClock = true;
  addTracks({{.id = "a", .audio = Audio::Paced}, longTrack("b"), longTrack("c")});
  auto options = fastOptions();
  options.waitingGiveUp = 20s;
  options.player.outageLimit = 1000ms;  // the player gives up after 1 s
  make(options);
  startChannel("c1", {"a", "b", "c"});
  ASSERT_TRUE(waitPlaying("a"));
  const std::size_t advancesBefore = advances.size();

  service.setDown(true);
  ASSERT_TRUE(test::waitFor([&] { return controller->waitingForNetwork(); }));
  const int asked = service.count("/tracks/a/play.json");
  ASSERT_TRUE(test::waitFor([&] { return service.count("/tracks/a/play.json") >= asked + 3; }));
  service.setDown(false);
  playingId.clear();
  ASSERT_TRUE(waitPlaying("a"));
  EXPECT_GT(controller->streamer()->progress(), 0.5);  // played on, not from the start
  EXPECT_EQ(advances.size(), advancesBefore);

  service.setDown(true);
  controller->nextTrack(Sender::control());
  ASSERT_TRUE(test::waitFor([&] { return controller->waitingForNetwork(); }));
  ASSERT_TRUE(test::waitFor([&] { return service.count("/tracks/b/play.json") >= 3; }));
  service.setDown(false);
  ASSERT_TRUE(waitPlaying("b"));
  EXPECT_EQ(service.count("/tracks/c/play.json"), 0);
  EXPECT_EQ(controller->queue().index(), 1);
}

// A track that cannot be played is passed over for the next one, with the reason of the advance;
// also while the page is not on screen (no progress tick runs then).
struct BrokenTrack {
  const char* name;
  std::optional<Audio> audio;  // nothing: the service does not know the track
  const char* reason;
  bool pageHidden = false;
};

void PrintTo(const BrokenTrack& c, std::ostream* os) { *os << c.name; }

class BrokenTrackFlow : public ControllerFlow, public ::testing::WithParamInterface<BrokenTrack> {};

TEST_P(BrokenTrackFlow, IsSkippedForTheNextTrack) {
  if (GetParam().audio) service.addTrack({.id = "broken", .audio = *GetParam().audio});
  addLong({"a"});
  // The waiting give-up counts real time.
  realClock = GetParam().audio == Audio::Stall;
  make().setProgressShown(!GetParam().pageHidden);
  startChannel("c1", {"broken", "a"});
  ASSERT_TRUE(waitPlaying("a"));
  EXPECT_NE(std::find(advances.begin(), advances.end(), GetParam().reason), advances.end());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenTrackFlow,
    ::testing::Values(BrokenTrack{"UnknownTrack", std::nullopt, "track info error"},
                      BrokenTrack{"NoStreamUrl", Audio::NoUrl, "track info error"},
                      BrokenTrack{"MissingStream", Audio::Missing, "playbackStateChanged"},
                      BrokenTrack{"StalledStream", Audio::Stall, "streamer waiting timeout"},
                      BrokenTrack{"StalledStreamPageHidden", Audio::Stall, "streamer waiting timeout", true}),
    [](const auto& info) { return std::string(info.param.name); });

// The next track's head is fetched while one plays: held unseen, and let go when what comes next
// changes.
class Prefetch : public ControllerFlow {
 protected:
  void SetUp() override {
    ControllerFlow::SetUp();
    realClock = true;
    addTracks({longTrack("a", "第一首"), longTrack("b", "第二首"), longTrack("c", "第三首"),
               longTrack("x", "别的频道")});
    // Every announcement of any player, with the player that made it.
    statusObserver = ScopedObserver(NotificationCenter::defaultCenter(), kASStatusChangedNotification,
                                    nullptr, [this](const Notification& n) { senders.push_back(n.sender); });
  }

  void start(std::vector<std::string> tracks, std::size_t headBytes = kHeldStreamMaxBytes) {
    MainViewController::Options options;
    options.prefetchDelay = 0ms;
    options.prefetchBytes = headBytes;
    make(options);
    startChannel("c1", std::move(tracks));
  }
  // The head of track `id`'s stream is held.
  bool held(const std::string& id) const {
    return idOf(controller->prefetch().song()) == id && controller->prefetch().heldBytes() > 0;
  }
  void next() { controller->nextTrack(Sender::reason(skipreason::kMediaKey)); }

  ScopedObserver statusObserver;
  std::vector<const void*> senders;
};

TEST_F(Prefetch, NextTrackIsHeldUnseenAndStartsFromMemory) {
  start({"a", "c"});
  ASSERT_TRUE(test::waitFor([&] { return playing("a") && held("c"); }));
  // Fetched, but nothing of it shown, requested for the page or announced.
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
  service.addTrack({.id = "s", .name = "短歌", .artist = "歌手", .audio = Audio::Short});
  start({"a", "s"}, 4096);
  ASSERT_TRUE(test::waitFor([&] { return playing("a") && held("s"); }));
  EXPECT_EQ(controller->prefetch().heldBytes(), 4096u);
  next();
  // The 1 s track plays on past its head to its end, and the refill plays a again (and may fetch
  // s's head once more).
  ASSERT_TRUE(test::waitFor([&] { return service.count("/audio/s.mp3") >= 2 && playing("a"); }));
  std::vector<std::string> ranges;
  for (const auto& r : service.requests())
    if (r.path == "/audio/s.mp3") ranges.push_back(r.range);
  EXPECT_EQ(ranges[0], "");
  EXPECT_EQ(ranges[1].rfind("bytes=4096-", 0), 0u) << ranges[1];
}

struct DropCase {
  const char* name;
  std::function<void(MainViewController&)> change;
  const char* playsNext;  // the track the next advance plays
};

class PrefetchDrop : public Prefetch, public ::testing::WithParamInterface<DropCase> {};

TEST_P(PrefetchDrop, HeldTrackIsLetGoWhenWhatComesNextChanges) {
  service.setChannel("c2", {"x"});
  start({"a", "b", "c"});
  ASSERT_TRUE(test::waitFor([&] { return playing("a") && held("b"); }));
  GetParam().change(*controller);
  ASSERT_TRUE(test::waitFor([&] { return idOf(controller->prefetch().song()) != "b"; }));
  if (std::string(GetParam().playsNext) != "x") next();
  ASSERT_TRUE(test::waitFor([&] { return playing(GetParam().playsNext); }));
  EXPECT_EQ(service.count("/lrc/b"), 0);  // b was never current
}

INSTANTIATE_TEST_SUITE_P(
    Changes, PrefetchDrop,
    ::testing::Values(DropCase{"DislikeOfThatTrack",
                               [](MainViewController& c) {
                                 TNManager::sharedManager().hateSong(c.prefetch().song(), true);
                               },
                               "c"},
                      DropCase{"ChannelChange",
                               [](MainViewController&) { postStationChange("0", channelRecord("c2", "二")); },
                               "x"}),
    [](const ::testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tonvera
