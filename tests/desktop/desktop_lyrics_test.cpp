// The desktop lyrics of the program: a real page playing from the scripted service (real player on
// the null sink) feeds the window; the setting, the menu items and the kept frame.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <cstdlib>

#include "app/ui/desktoplyrics.h"
#include "display/ui/desktoplyricsview.h"
#include "keys/preferences.h"
#include "platform/notificationcenter.h"
#include "platform/userdefaults.h"
#include "radio/ui/nowplayingcontroller.h"
#include "scripted_service.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;
using test::ScriptedTrack;
using Rows = std::pair<QString, QString>;

class DesktopLyricsOfThePage : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
    service.start();
    service.addTrack({.id = "a",
                      .name = "有词",
                      .artist = "歌手",
                      .audio = ScriptedTrack::Audio::Long,
                      .lrc = "[00:00.00]第一句\n[00:02.00]第二句\n[00:08.00]第三句"});
    service.addTrack({.id = "bb", .name = "无词", .artist = "歌手", .audio = ScriptedTrack::Audio::Long});
    UserDefaults::standard().set(
        kSelectStationKey, PlistValue(PlistValue::Dict{{"id", PlistValue("c1")}, {"name", PlistValue("频道")}}));
    MainViewController::Options o;
    o.configControlDelay = o.skipGuard = 0ms;
    page = std::make_unique<NowPlayingController>(&window, std::move(o), false);
    window.resize(NowPlayingView::kWidth, NowPlayingView::kHeight);
    window.show();
    lyrics = std::make_unique<DesktopLyrics>(*page, UserDefaults::standard());
  }
  void TearDown() override {
    lyrics.reset();
    page.reset();
  }
  DesktopLyricsView& view() { return lyrics->view(); }
  Rows rows() { return {view().firstRow(), view().secondRow()}; }

  test::TempHome home;
  test::ScriptedService service;
  QWidget window;
  std::unique_ptr<NowPlayingController> page;
  std::unique_ptr<DesktopLyrics> lyrics;
};

TEST_F(DesktopLyricsOfThePage, FollowsThePagesLineHiddenAfterASeekAndPausedAndShowsTheTitleWithoutLyrics) {
  EXPECT_FALSE(view().isVisible());  // off until asked for
  Preferences::setDesktopLyrics(UserDefaults::standard(), true);
  EXPECT_TRUE(view().isVisible());
  EXPECT_EQ(rows(), Rows());  // nothing plays yet
  service.setChannel("c1", {"a", "bb"});
  page->awakeFromNib();
  ASSERT_TRUE(test::waitFor([&] { return rows() == Rows("第一句", "第二句"); }));
  ASSERT_TRUE(test::waitFor([&] { return view().frameTimerActive() && view().fill() > 0; }));

  // The window in the tray: the line moves on with the page's, which the tick still follows.
  window.hide();
  ASSERT_TRUE(test::waitFor([&] { return view().firstRow() == QStringLiteral("第二句"); }));
  EXPECT_EQ(page->lyricsLine(), view().firstRow());
  ASSERT_TRUE(page->controller().seekToPercent(45));  // 9 s of 20
  ASSERT_TRUE(test::waitFor([&] { return view().firstRow() == QStringLiteral("第三句"); }));
  EXPECT_EQ(page->lyricsLine(), view().firstRow());

  page->controller().buttonPressed();  // pause: the line stays and nothing wakes
  ASSERT_TRUE(test::waitFor([&] { return !view().frameTimerActive(); }));
  EXPECT_EQ(rows(), Rows("第三句", ""));

  NotificationCenter::defaultCenter().post(kPlayBackChangedNotification, nullptr,
                                           PlistValue(PlistValue::Dict{{"state", PlistValue(3)}}));
  ASSERT_TRUE(test::waitFor([&] { return rows() == Rows("无词", "歌手"); }));
}

TEST_F(DesktopLyricsOfThePage, TheMenuItemShowsAndHidesItUnlockingIsOfferedWhileLockedAndTheFrameIsKept) {
  lyrics->showAction()->trigger();
  EXPECT_TRUE(Preferences::desktopLyrics(UserDefaults::standard()));
  EXPECT_TRUE(view().isVisible());
  EXPECT_TRUE(lyrics->showAction()->isChecked());
  EXPECT_FALSE(lyrics->unlockAction()->isVisible());

  view().setLocked(true);
  EXPECT_TRUE(lyrics->unlockAction()->isVisible());
  lyrics->unlockAction()->trigger();
  EXPECT_FALSE(view().isLocked());
  EXPECT_FALSE(lyrics->unlockAction()->isVisible());

  view().setGeometry(120, 140, 600, 110);
  view().setFontSize(50);
  view().setLocked(true);
  lyrics.reset();  // writes the frame
  lyrics = std::make_unique<DesktopLyrics>(*page, UserDefaults::standard());
  EXPECT_TRUE(view().isVisible());  // it was on
  EXPECT_EQ(view().geometry(), QRect(120, 140, 600, 110));
  EXPECT_EQ(view().fontSize(), 50);
  EXPECT_TRUE(view().isLocked());

  lyrics->showAction()->trigger();
  EXPECT_FALSE(view().isVisible());
  EXPECT_FALSE(Preferences::desktopLyrics(UserDefaults::standard()));
}

}  // namespace
}  // namespace tonvera
