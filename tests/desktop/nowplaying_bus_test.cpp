// The now-playing page as the desktop sees it: a real page playing from the scripted service, fed to
// a private session bus (read by a sound menu of the test's own), the tray's menu and the desktop lyrics.
#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QUrl>
#include <cstdlib>

#include "app/ui/desktoplyrics.h"
#include "app/ui/nowplayingbus.h"
#include "app/ui/trayicon.h"
#include "controls/buttons.h"
#include "display/ui/desktoplyricsview.h"
#include "keys/preferences.h"
#include "platform/notificationcenter.h"
#include "platform/userdefaults.h"
#include "private_bus.h"
#include "radio/ui/nowplayingcontroller.h"
#include "records/picturecache.h"
#include "records/tnsong.h"
#include "scripted_service.h"
#include "sound_menu.h"
#include "taste/tnmanager.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;
using test::kPlayer;
using test::ScriptedTrack;
using Rows = std::pair<QString, QString>;

class PageOnTheBus : public test::OnTheBus {
 protected:
  void SetUp() override {
    setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
    OnTheBus::SetUp();
    service.start();
    const auto long20s = ScriptedTrack::Audio::Long;
    service.addTrack({.id = "a",
                      .name = "有词",
                      .artist = "歌手",
                      .audio = long20s,
                      .lrc = "[00:00.00]第一句\n[00:02.00]第二句\n[00:08.00]第三句"});
    service.addTrack({.id = "bb", .name = "无词", .artist = "歌手", .audio = long20s});
    UserDefaults::standard().set(kSelectStationKey, test::channelRecord("c1", "频道"));
    // Track a's cover is in the picture cache; bb has none.
    const QString cover = QString::fromStdString(*pictureCachePath(PictureKind::Album, "albuma"));
    QDir().mkpath(QFileInfo(cover).path());
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(cover, "PNG"));
    coverUrl = QUrl::fromLocalFile(QDir::cleanPath(cover)).toString();

    MainViewController::Options o;
    o.configControlDelay = o.skipGuard = 0ms;
    page = std::make_unique<NowPlayingController>(&window, std::move(o), false);
    window.resize(NowPlayingView::kWidth, NowPlayingView::kHeight);
    window.show();
    feedMediaKeyTap(*page, tap);
    menu = std::make_unique<test::SoundMenu>(bus.address());
    menu->get(test::kRoot, "Identity");  // the menu's match rules are in place once a call came back
  }
  void start(std::vector<std::string> tracks) {
    service.setChannel("c1", std::move(tracks));
    page->awakeFromNib();
  }
  void TearDown() override {
    menu.reset();
    page.reset();
  }

  std::string current() const { return tap.nowPlaying().trackId; }
  QVariantMap meta() { return menu->metadata(); }
  QVariant get(const char* property) { return menu->get(kPlayer, property); }
  // The metadata of the last PropertiesChanged that had any.
  std::optional<QVariantMap> lastAnnounced() const {
    for (auto it = menu->changes.rbegin(); it != menu->changes.rend(); ++it) {
      if (it->contains(QStringLiteral("Metadata")))
        return qdbus_cast<QVariantMap>(it->value(QStringLiteral("Metadata")).value<QDBusArgument>());
    }
    return std::nullopt;
  }
  bool announcedLine(const QString& line) const {
    const auto m = lastAnnounced();
    return m && m->value(QStringLiteral("xesam:asText")).toString() == line;
  }

  test::ScriptedService service;
  QWidget window;
  std::unique_ptr<NowPlayingController> page;
  std::unique_ptr<test::SoundMenu> menu;
  QString coverUrl;
};

// The lyrics line reaches the bus and the desktop lyrics as playback reaches it, also after a seek.
TEST_F(PageOnTheBus, TheLyricsLineThePositionSeeksAndTheVolumeFollowThePlayer) {
  DesktopLyrics lyrics(*page, UserDefaults::standard());
  DesktopLyricsView& view = lyrics.view();
  const auto rows = [&] { return Rows(view.firstRow(), view.secondRow()); };
  EXPECT_FALSE(view.isVisible());
  Preferences::setDesktopLyrics(UserDefaults::standard(), true);
  EXPECT_TRUE(view.isVisible());
  EXPECT_EQ(rows(), Rows());  // nothing plays yet
  start({"a", "bb"});
  // Playing with a known length: seekable, the cover's file and the first line in the metadata.
  ASSERT_TRUE(test::waitFor([&] { return current() == "a" && get("CanSeek").toBool(); }));
  ASSERT_TRUE(test::waitFor([&] { return meta().value("xesam:asText").toString() == "第一句"; }));
  EXPECT_EQ(meta().value("mpris:artUrl").toString(), coverUrl);
  EXPECT_NEAR(meta().value("mpris:length").toLongLong(), 20'000'000, 500'000);
  EXPECT_EQ(get("PlaybackStatus"), "Playing");
  ASSERT_TRUE(test::waitFor([&] { return rows() == Rows("第一句", "第二句"); }));
  ASSERT_TRUE(test::waitFor([&] { return view.frameTimerActive() && view.fill() > 0; }));

  // The next line is announced when playback reaches it, also with the window hidden (in the
  // tray); the position only when asked for.
  window.hide();
  ASSERT_TRUE(test::waitFor([&] { return announcedLine("第二句"); }));
  ASSERT_TRUE(test::waitFor([&] { return view.firstRow() == QStringLiteral("第二句"); }));
  for (const QVariantMap& change : menu->changes) EXPECT_FALSE(change.contains("Position"));

  // SetPosition takes the slider's seek: Seeked at once, the player and the lyrics line follow.
  menu->call(kPlayer, QStringLiteral("SetPosition"),
             {QVariant::fromValue(QDBusObjectPath("/org/tonvera/track/a")), qlonglong(9'000'000)});
  ASSERT_TRUE(test::waitFor([&] { return !menu->seeks.empty(); }));
  EXPECT_EQ(menu->seeks, std::vector<qlonglong>({9'000'000}));
  EXPECT_GE(get("Position").toLongLong(), 9'000'000);
  ASSERT_TRUE(test::waitFor([&] { return announcedLine("第三句"); }));
  ASSERT_TRUE(test::waitFor([&] { return view.firstRow() == QStringLiteral("第三句"); }));
  EXPECT_EQ(page->lyricsLine(), view.firstRow());
  EXPECT_GE(page->controller().streamer()->progress(), 8.5);
  // Asked again only once the player is well past the seek's landing: its own position.
  ASSERT_TRUE(test::waitFor([&] { return page->controller().streamer()->progress() > 11.5; }));
  EXPECT_NEAR(get("Position").toLongLong() / 1e6, page->controller().streamer()->progress(), 0.5);

  // The player has no volume of its own: 1.0 stays, whatever is written.
  EXPECT_EQ(get("Volume"), 1.0);
  menu->set("Volume", 0.3);
  EXPECT_EQ(get("Volume"), 1.0);

  page->controller().buttonPressed();  // pause
  ASSERT_TRUE(test::waitFor([&] { return !view.frameTimerActive(); }));
  EXPECT_EQ(rows(), Rows("第三句", ""));
  NotificationCenter::defaultCenter().post(kPlayBackChangedNotification, nullptr,
                                           PlistValue(PlistValue::Dict{{"state", PlistValue(3)}}));
  ASSERT_TRUE(test::waitFor([&] { return rows() == Rows("无词", "歌手"); }));
}

TEST_F(PageOnTheBus, ASongWithoutCoverOrLyricsAndTheTrayLikeKeepInStep) {
  TrayIcon tray({{}, {}, likeTrackAction(*page), {}, {}});
  QObject::connect(&tap, &SPMediaKeyTap::nowPlayingChanged, &tray,
                   [&] { tray.setNowPlaying(tap.nowPlaying()); });
  start({"bb"});

  // No cover, no lyrics: neither key, the rest as usual, seekable once its length is known.
  ASSERT_TRUE(test::waitFor([&] { return current() == "bb" && get("CanSeek").toBool(); }));
  const QVariantMap bare = meta();
  EXPECT_FALSE(bare.contains("mpris:artUrl"));
  EXPECT_FALSE(bare.contains("xesam:asText"));
  EXPECT_DOUBLE_EQ(bare.value("xesam:userRating").toDouble(), 0.0);
  EXPECT_EQ(tray.icon().toolTip(), "无词 — 歌手");

  // The tray's like is the page's like button: the store, the bus and the check mark agree.
  QAction* like = tray.likeAction();
  ASSERT_TRUE(like->isEnabled());
  EXPECT_FALSE(like->isChecked());
  like->trigger();
  EXPECT_TRUE(TNManager::sharedManager().isLove(*page->controller().curSong()));
  EXPECT_TRUE(like->isChecked());
  ASSERT_TRUE(test::waitFor([&] {
    const auto m = lastAnnounced();
    return m && m->value("xesam:userRating").toDouble() == 1.0;
  }));
  page->loveTrack();  // the page's own button takes the like back
  EXPECT_FALSE(like->isChecked());
  EXPECT_FALSE(TNManager::sharedManager().isLove(*page->controller().curSong()));
  // Taken back on another page (the favourites list's X goes to the store): the heart, the check
  // mark and the rating follow.
  like->trigger();
  ASSERT_TRUE(page->loveButton() && page->loveButton()->isOn());
  TNManager::sharedManager().likeSong(page->controller().curSong(), false);
  EXPECT_FALSE(page->loveButton()->isOn());
  EXPECT_FALSE(like->isChecked());
  EXPECT_TRUE(test::waitFor([&] {
    const auto m = lastAnnounced();
    return m && m->value("xesam:userRating").toDouble() == 0.0;
  }));
}

TEST_F(PageOnTheBus, DesktopLyricsMenuItemShowsAndHidesThemUnlockingIsOfferedWhileLockedAndTheFrameIsKept) {
  auto lyrics = std::make_unique<DesktopLyrics>(*page, UserDefaults::standard());
  lyrics->showAction()->trigger();
  EXPECT_TRUE(Preferences::desktopLyrics(UserDefaults::standard()));
  EXPECT_TRUE(lyrics->view().isVisible());
  EXPECT_FALSE(lyrics->unlockAction()->isVisible());

  lyrics->view().setLocked(true);
  EXPECT_TRUE(lyrics->unlockAction()->isVisible());
  lyrics->unlockAction()->trigger();
  EXPECT_FALSE(lyrics->view().isLocked());
  EXPECT_FALSE(lyrics->unlockAction()->isVisible());

  lyrics->view().setGeometry(120, 140, 600, 110);
  lyrics->view().setFontSize(50);
  lyrics->view().setLocked(true);
  lyrics.reset();  // writes the frame
  lyrics = std::make_unique<DesktopLyrics>(*page, UserDefaults::standard());
  DesktopLyricsView& view = lyrics->view();
  EXPECT_TRUE(view.isVisible());  // it was on
  EXPECT_EQ(view.geometry(), QRect(120, 140, 600, 110));
  EXPECT_EQ(view.fontSize(), 50);
  EXPECT_TRUE(view.isLocked());

  lyrics->showAction()->trigger();
  EXPECT_FALSE(Preferences::desktopLyrics(UserDefaults::standard()));
}

}  // namespace
}  // namespace tonvera
