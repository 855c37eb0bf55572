// Tonvera in English: which language the locale and the setting choose, and every view in English
// (golden screenshots at scale 1; they show that nothing is clipped).
#include <gtest/gtest.h>

#include <QMenu>
#include <QPainter>
#include <QTest>
#include <cstdlib>
#include <map>

#include "app/ui/appdelegate.h"
#include "app/ui/desktoplyrics.h"
#include "app/ui/kkwindow.h"
#include "app/ui/trayicon.h"
#include "controls/buttons.h"
#include "controls/controlview.h"
#include "display/ui/desktoplyricsview.h"
#include "golden.h"
#include "main_loop.h"
#include "help/helpviewcontroller.h"
#include "keys/preferences.h"
#include "keys/ui/preferencecontroller.h"
#include "platform/language.h"
#include "platform/userdefaults.h"
#include "radio/ui/nowplayingcontroller.h"
#include "taste/ui/loveviewcontroller.h"
#include "temp_home.h"
#include "ui_helpers.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;
using Env = std::map<std::string, std::string>;

Language of(const Env& env) {
  return languageOfEnvironment([&](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  });
}

TEST(Language, EnglishForAnEnglishLocaleChineseOtherwiseAndTheSettingOverrides) {
  const Language en = Language::English, zh = Language::Chinese;
  const struct {
    Env env;
    Language language;
  } cases[] = {
      {{}, zh},
      {{{"LANG", "en_US.UTF-8"}}, en},
      {{{"LANG", "en"}}, en},
      {{{"LANG", "english"}}, zh},  // not en_*
      {{{"LC_ALL", "en_GB.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, en},
      {{{"LC_MESSAGES", "zh_TW.UTF-8"}, {"LANG", "en_US.UTF-8"}}, zh},
      {{{"LANGUAGE", "en_AU:zh_CN"}, {"LANG", "zh_CN.UTF-8"}}, en},
      {{{"LANGUAGE", "zh_CN:en"}, {"LC_ALL", "en_US.UTF-8"}}, zh},
      {{{"LANGUAGE", ""}, {"LANG", "en_US.UTF-8"}}, en},  // an empty list says nothing
  };
  for (const auto& c : cases) {
    EXPECT_EQ(of(c.env), c.language) << (c.env.empty() ? "" : c.env.rbegin()->second);
  }

  test::TempHome home;
  UserDefaults& defaults = UserDefaults::standard();
  setenv("LANGUAGE", "en_US", 1);
  EXPECT_EQ(chosenLanguage(defaults), en);
  Preferences::setLanguage(defaults, "zh");
  EXPECT_EQ(chosenLanguage(defaults), zh);
  setenv("LANGUAGE", "zh_CN", 1);
  Preferences::setLanguage(defaults, "en");
  EXPECT_EQ(chosenLanguage(defaults), en);
  Preferences::setLanguage(defaults, "");
  EXPECT_EQ(chosenLanguage(defaults), zh);
  unsetenv("LANGUAGE");
}

void expectGolden(QWidget& widget, const char* name) {
  EXPECT_EQ(test::compareWithGolden(test::renderAt(widget, 1.0), QString::fromUtf8(name), 1.0), "");
}

TEST(EnglishGolden, EveryPageTheHelpPicturesThePreferencesTheMenusAndTheDesktopLyrics) {
  test::TempHome home;
  ASSERT_TRUE(useLanguage(Language::English));
  KKWindow window;
  AppDelegate::Options options;
  options.pages.playRadio = false;
  options.reportUsage = false;
  options.mediaKeysOnBus = false;
  window.move(200, 200);
  AppDelegate delegate(window, options);
  delegate.applicationDidFinishLaunching();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const auto settle = [&] { EXPECT_TRUE(runMainLoopUntil([&] { return !delegate.isAnimating(); }, 5s)); };

  expectGolden(window, "english/nowplaying");
  // The grid's caption for the square under the pointer, the widest one.
  auto* nowPlayingPage = static_cast<NowPlayingController*>(delegate.controllers()[0].get());
  for (auto* square : nowPlayingPage->controlView()->findChildren<NovaControlButton*>()) {
    if (square->tag() == 8) test::enter(square, QPointF(5, 5));
  }
  expectGolden(*nowPlayingPage->controlView(), "english/grid-caption");
  const char* pages[] = {"english/channels", "english/private", "english/favourites-songs", "english/help-1"};
  for (int page = 1; page <= 4; ++page) {
    delegate.selectViewControllerIndex(page);
    settle();
    expectGolden(window, pages[page - 1]);
    if (page < 4) delegate.showMain();
    settle();
  }
  auto* help = static_cast<HelpViewController*>(delegate.controllers()[4].get());
  for (int k = 1; k < HelpViewController::kPictures; ++k) {
    test::click(help->dot(k));
    ASSERT_TRUE(QTest::qWaitFor([&] { return help->picture(k)->x() == 0; }, 2000));
    expectGolden(window, ("english/help-" + std::to_string(k + 1)).c_str());
  }
  delegate.showMain();
  settle();
  delegate.selectViewControllerIndex(3);
  settle();
  static_cast<LoveViewController*>(delegate.controllers()[3].get())->tabViewSelectIndex(2);  // adding artists: search and recommendations
  expectGolden(window, "english/favourites-add-artists");

  PreferenceController preferences(UserDefaults::standard());
  preferences.resize(preferences.sizeHint());
  expectGolden(preferences, "english/preferences");

  DesktopLyrics lyrics(*nowPlayingPage, UserDefaults::standard());
  lyrics.view().setSong(QStringLiteral("Orbit"), QStringLiteral("Chen Mo"));
  lyrics.view().show();
  test::enter(&lyrics.view(), QPointF(20, 60));
  test::Backdrop ground;
  ground.resize(lyrics.view().size());
  QImage shot = test::renderAt(ground, 1.0);
  {
    QPainter painter(&shot);
    lyrics.view().render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  EXPECT_EQ(test::compareWithGolden(shot, QStringLiteral("english/desktop-lyrics"), 1.0), "");

  // The tray's menu with the desktop lyrics' items (locked: the unlock item shows).
  lyrics.view().setLocked(true);
  TrayIcon tray(TrayIcon::Actions{[] {}, [] {}, [] {}, [] {}, [] {}});
  tray.addActions({lyrics.showAction(), lyrics.unlockAction()});
  tray.menu()->adjustSize();
  expectGolden(*tray.menu(), "english/tray-menu");
}

}  // namespace
}  // namespace tonvera
