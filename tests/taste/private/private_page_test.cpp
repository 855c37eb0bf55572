// The private channel page: its switches and their settings, its description, and the start button
// driving the real now-playing controller against a loopback service.
#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "controls/buttons.h"
#include "golden.h"
#include "platform/userdefaults.h"
#include "radio/mainviewcontroller.h"
#include "recordingpage.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "scripted_service.h"
#include "taste/tnmanager.h"
#include "taste/ui/privateview.h"
#include "taste/ui/privateviewcontroller.h"
#include "temp_home.h"
#include "ui_helpers.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

class PrivatePage : public ::testing::Test {
 protected:
  std::string settingsPath() const { return home.configHome() + "/tonvera/defaults.plist"; }

  test::TempHome home;
};

TEST_F(PrivatePage, SwitchesAreStoredOnEveryClickAndComeBackAfterARestart) {
  {
    UserDefaults store(settingsPath());
    PrivateView view(&store);
    EXPECT_FALSE(view.recommendationSwitch()->state());  // neither key has a default
    EXPECT_FALSE(view.englishSwitch()->state());
    QTest::mouseClick(view.recommendationSwitch(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(view.englishSwitch(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(view.englishSwitch(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(store.boolForKey("aiplay"));
    // Written at once: a second store reading the file sees the values.
    UserDefaults reader(settingsPath());
    EXPECT_TRUE(reader.boolForKey("aiplay"));
    EXPECT_EQ(reader.object("enplay"), PlistValue(false));
  }
  UserDefaults restarted(settingsPath());
  PrivateView view(&restarted);
  EXPECT_TRUE(view.recommendationSwitch()->state());
  EXPECT_FALSE(view.englishSwitch()->state());
}

TEST_F(PrivatePage, StartPlaysThePrivateChannelOfTheLikedSongsAndArtists) {
  test::ScriptedService service;  // the private channel and every other channel without tracks
  service.start();

  TNManager& store = TNManager::sharedManager();
  for (const char* id : {"t1", "t2"}) store.likeSong(TNSong::create(Record{{"id", PlistValue(id)}}), true);
  store.likeArtist(TNArtist::create(Record{{"id", PlistValue("a1")}, {"name", PlistValue("甲")}}), true);

  UserDefaults settings(settingsPath());
  settings.set("kSelectStation", test::channelRecord("c1", "频道1"));
  test::RecordingPage nowPlaying;
  MainViewController::Options options;
  options.defaults = &settings;
  MainViewController radio(nowPlaying, options);
  radio.awakeFromNib();

  test::RecordingNavigator navigator;
  PrivateViewController page(&settings);
  // Turning the recommendation switch on does not change the request.
  QTest::mouseClick(page.privateView()->recommendationSwitch(), Qt::LeftButton, {}, QPoint(10, 10));
  NovaColorButton* start = page.playButton();
  page.view()->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(page.view()));
  test::click(start, QPoint(20, 20));

  EXPECT_EQ(navigator.showMains, 1);
  // The label beside the button is part of it.
  QTest::mouseClick(page.view(), Qt::LeftButton, {}, QPoint(405, 135));
  EXPECT_EQ(navigator.showMains, 2);
  EXPECT_EQ(settings.dictionaryForKey("kSelectStation"),
            (PlistValue::Dict{{"name", PlistValue(kPrivateChannelName)}}));
  ASSERT_TRUE(test::waitFor([&] { return service.count("/radios/play") > 0; }, 10s));
  for (const auto& r : service.requests()) {
    if (r.method == "POST") {
      EXPECT_EQ(r.body, "similar=1&id=t1,t2,a1,");
    }
  }
}

TEST_F(PrivatePage, GoldenBothOptionsOnWhileThePrivateChannelPlays) {
  UserDefaults settings(settingsPath());
  settings.set("aiplay", PlistValue(true));
  settings.set("enplay", PlistValue(true));
  settings.set("kSelectStation", PlistValue(PlistValue::Dict{{"name", PlistValue(kPrivateChannelName)}}));
  test::Backdrop backdrop;
  PrivateViewController page(&settings);
  page.view()->setParent(&backdrop);
  backdrop.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
  EXPECT_GOLDEN(backdrop, "taste/private-page");
}

}  // namespace
}  // namespace tonvera
