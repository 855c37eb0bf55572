// The MPRIS2 interfaces as a desktop's sound menu sees them: a second connection to a private bus
// reads the properties, calls the methods and records the signals.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTest>
#include <vector>

#include "keys/spmediakeytap.h"
#include "platform/userdefaults.h"
#include "private_bus.h"
#include "sound_menu.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using test::kPlayer;
using test::kRoot;
using test::SoundMenu;

struct RecordingDelegate : SPMediaKeyTap::Delegate {
  std::vector<int> downs;
  void mediaKeyTap(SPMediaKeyTap*, const MediaKeyEvent& e) override {
    if (e.keyDown) downs.push_back(e.keyCode);
  }
};

NowPlayingInfo song() {
  NowPlayingInfo info;
  info.trackId = "1042-b";
  info.title = "夜航";
  info.artists = {"林海", "Mira"};
  info.album = "北方";
  info.artUrl = "file:///home/l/.cache/tonvera/covers/1042.jpg";
  info.lengthUs = 215'000'000;
  info.liked = true;
  info.lyricsLine = "风吹过海面";
  return info;
}

TEST(Mpris, EveryPropertyShowsTheTrackTheStateAndWhatTheWindowAllows) {
  test::TempHome home;
  test::PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  RecordingDelegate delegate;
  SPMediaKeyTap tap(&delegate, UserDefaults::standard());
  ASSERT_TRUE(tap.startWatchingMediaKeys());
  SoundMenu menu(bus.address());

  // Before the window's hooks: it can neither raise nor quit nor seek.
  EXPECT_FALSE(menu.get(kRoot, "CanRaise").toBool());
  EXPECT_FALSE(menu.get(kRoot, "CanQuit").toBool());
  int raised = 0, quit = 0;
  tap.setWindowHooks([&] { ++raised; }, [&] { ++quit; });
  std::vector<std::int64_t> seeks;
  std::vector<double> volumes;
  tap.setPlayerHooks(
      {[&](std::int64_t us) { seeks.push_back(us); }, [&](double v) { volumes.push_back(v); }, {}});
  tap.setNowPlaying(song());
  tap.setPlaybackStatus(PlaybackStatus::Playing);
  tap.setPosition(61'500'000);
  tap.setVolume(0.5);

  EXPECT_EQ(menu.get(kRoot, "Identity").toString(), "Tonvera");
  EXPECT_EQ(menu.get(kRoot, "DesktopEntry").toString(), "org.tonvera.Tonvera");
  EXPECT_TRUE(menu.get(kRoot, "CanRaise").toBool());
  EXPECT_TRUE(menu.get(kRoot, "CanQuit").toBool());
  EXPECT_FALSE(menu.get(kRoot, "HasTrackList").toBool());
  EXPECT_EQ(menu.get(kPlayer, "PlaybackStatus").toString(), "Playing");
  EXPECT_EQ(menu.get(kPlayer, "Position").toLongLong(), 61'500'000);
  EXPECT_DOUBLE_EQ(menu.get(kPlayer, "Volume").toDouble(), 0.5);
  EXPECT_DOUBLE_EQ(menu.get(kPlayer, "Rate").toDouble(), 1.0);
  for (const char* flag : {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanSeek", "CanControl"}) {
    EXPECT_TRUE(menu.get(kPlayer, flag).toBool()) << flag;
  }

  const QVariantMap meta = menu.metadata();
  EXPECT_EQ(meta.value("mpris:trackid").value<QDBusObjectPath>().path(), "/org/tonvera/track/1042_b");
  EXPECT_EQ(meta.value("xesam:title").toString(), "夜航");
  EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList({"林海", "Mira"}));
  EXPECT_EQ(meta.value("xesam:album").toString(), "北方");
  EXPECT_EQ(meta.value("mpris:length").toLongLong(), 215'000'000);
  EXPECT_EQ(meta.value("mpris:artUrl").toString(), "file:///home/l/.cache/tonvera/covers/1042.jpg");
  EXPECT_EQ(meta.value("xesam:asText").toString(), "风吹过海面");
  EXPECT_DOUBLE_EQ(meta.value("xesam:userRating").toDouble(), 1.0);

  // A song without cover and lyrics, not liked: no picture and no text, rating 0.
  NowPlayingInfo plain = song();
  plain.trackId = "77";
  plain.artUrl.clear();
  plain.lyricsLine.clear();
  plain.liked = false;
  tap.setNowPlaying(plain);
  const QVariantMap bare = menu.metadata();
  EXPECT_FALSE(bare.contains("mpris:artUrl"));
  EXPECT_FALSE(bare.contains("xesam:asText"));
  EXPECT_DOUBLE_EQ(bare.value("xesam:userRating").toDouble(), 0.0);
  EXPECT_EQ(bare.value("xesam:title").toString(), "夜航");
  EXPECT_EQ(menu.get(kPlayer, "Position").toLongLong(), 0) << "a new song starts at 0";

  // Nothing playing: only the no-track id, and nothing to seek in.
  tap.setNowPlaying(NowPlayingInfo{});
  EXPECT_EQ(menu.metadata().keys(), QStringList({"mpris:trackid"}));
  EXPECT_EQ(menu.metadata().value("mpris:trackid").value<QDBusObjectPath>().path(),
            "/org/mpris/MediaPlayer2/TrackList/NoTrack");
  EXPECT_FALSE(menu.get(kPlayer, "CanSeek").toBool());

  // Raise and Quit reach the window.
  menu.call(kRoot, QStringLiteral("Raise"));
  menu.call(kRoot, QStringLiteral("Quit"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return raised == 1 && quit == 1; }, 5000));
}

TEST(Mpris, ChangesAreAnnouncedAndSeeksAndVolumeGoToThePlayer) {
  test::TempHome home;
  test::PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  RecordingDelegate delegate;
  SPMediaKeyTap tap(&delegate, UserDefaults::standard());
  ASSERT_TRUE(tap.startWatchingMediaKeys());
  std::vector<std::int64_t> seeks;
  std::vector<double> volumes;
  tap.setPlayerHooks(
      {[&](std::int64_t us) { seeks.push_back(us); }, [&](double v) { volumes.push_back(v); }, {}});
  tap.setNowPlaying(song());
  SoundMenu menu(bus.address());
  menu.get(kRoot, "Identity");  // the menu's match rules are in place once a call came back

  // Each change: one PropertiesChanged with the new value. The position alone is never announced.
  const auto expectChange = [&](const char* name, auto&& change, auto&& check) {
    const size_t before = menu.changes.size();
    change();
    tap.setPosition(90'000'000);
    const auto announced = [&] {
      return menu.changes.size() > before && menu.changes.back().contains(QString::fromLatin1(name));
    };
    ASSERT_TRUE(QTest::qWaitFor(announced, 5000)) << name;
    EXPECT_EQ(menu.changedInterfaces.back(), kPlayer);
    for (size_t i = before; i < menu.changes.size(); ++i) EXPECT_FALSE(menu.changes[i].contains("Position"));
    check(menu.changes.back().value(QString::fromLatin1(name)));
  };
  const auto meta = [](const QVariant& v) { return qdbus_cast<QVariantMap>(v.value<QDBusArgument>()); };
  expectChange(
      "PlaybackStatus", [&] { tap.setPlaybackStatus(PlaybackStatus::Paused); },
      [](const QVariant& v) { EXPECT_EQ(v.toString(), "Paused"); });
  expectChange(
      "Metadata", [&] { tap.setLiked(false); },
      [&](const QVariant& v) { EXPECT_DOUBLE_EQ(meta(v).value("xesam:userRating").toDouble(), 0.0); });
  expectChange(
      "Metadata", [&] { tap.setLyricsLine("第二句"); },
      [&](const QVariant& v) { EXPECT_EQ(meta(v).value("xesam:asText").toString(), "第二句"); });
  expectChange(
      "Metadata", [&] { tap.setNowPlaying(NowPlayingInfo{}); },
      [&](const QVariant& v) { EXPECT_FALSE(meta(v).contains("xesam:title")); });
  tap.setNowPlaying(song());
  expectChange(
      "Volume", [&] { menu.set("Volume", 0.25); },
      [](const QVariant& v) { EXPECT_DOUBLE_EQ(v.toDouble(), 0.25); });
  EXPECT_EQ(volumes, std::vector<double>({0.25}));
  EXPECT_DOUBLE_EQ(tap.volume(), 0.25);

  // Seeks: relative, absolute for the song playing, a stale song's request dropped; each lands as
  // Seeked with the new position.
  tap.setPosition(60'000'000);
  menu.call(kPlayer, QStringLiteral("Seek"), {qlonglong(-10'000'000)});
  menu.call(kPlayer, QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath("/org/tonvera/track/1042_b")), qlonglong(120'000'000)});
  menu.call(kPlayer, QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath("/org/tonvera/track/9")), qlonglong(5'000'000)});
  menu.call(kPlayer, QStringLiteral("Seek"), {qlonglong(-900'000'000)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu.seeks.size() >= 3; }, 5000));
  EXPECT_EQ(seeks, std::vector<std::int64_t>({50'000'000, 120'000'000, 0}));
  EXPECT_EQ(menu.seeks, std::vector<qlonglong>({50'000'000, 120'000'000, 0}));
  EXPECT_EQ(tap.position(), 0);

  // Past the end: the next song.
  menu.call(kPlayer, QStringLiteral("Seek"), {qlonglong(400'000'000)});
  EXPECT_EQ(delegate.downs, std::vector<int>({MediaKeyEvent::kFastForward}));
}

}  // namespace
}  // namespace tonvera
