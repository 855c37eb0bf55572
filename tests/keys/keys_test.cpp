// Media keys from the session bus (a private dbus-daemon) and the preferences window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "golden.h"
#include "keys/preferences.h"
#include "keys/songnotifier.h"
#include "keys/spmediakeytap.h"
#include "keys/ui/preferencecontroller.h"
#include "platform/userdefaults.h"
#include "private_bus.h"
#include "sound_menu.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using MediaKeysOnTheBus = test::OnTheBus;

TEST_F(MediaKeysOnTheBus, PlayerMethodsArriveAsKeyPressesOfTheirKeys) {
  const auto registered = [] {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QString::fromLatin1(SPMediaKeyTap::kBusName));
  };
  EXPECT_TRUE(registered());
  // Pause while stopped presses nothing; Play does.
  test::SoundMenu menu(bus.address());
  for (const char* m : {"PlayPause", "Next", "Previous", "Pause", "Play"})
    menu.call(test::kPlayer, QString::fromLatin1(m));
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.keys.size() >= 8; }, 5000));
  const std::vector<std::pair<int, bool>> expected{{16, true}, {16, false}, {19, true}, {19, false},
                                                   {20, true}, {20, false}, {16, true}, {16, false}};
  EXPECT_EQ(delegate.keys, expected);

  // Another listed player in front: keys from the bus are left to it (the call's reply comes after
  // it was handled).
  tap.setShouldInterceptMediaKeyEvents(false);
  menu.call(test::kPlayer, QStringLiteral("Next"));
  EXPECT_EQ(delegate.keys, expected);

  tap.stopWatchingMediaKeys();
  EXPECT_FALSE(registered());
}

TEST(MediaKeyApps, TheMostRecentListedPlayerInFrontDecides) {
  test::TempHome home;
  UserDefaults& defaults = UserDefaults::standard();
  PlistValue::Array listed;
  for (const auto& id : SPMediaKeyTap::defaultMediaKeyUserBundleIdentifiers()) listed.emplace_back(id);
  defaults.registerDefaults({{kApplicationsNeedingMediaKeysKey, PlistValue(listed)}});
  ASSERT_GE(listed.size(), 2u);
  EXPECT_EQ(listed.front().toString(), SPMediaKeyTap::kOwnIdentifier);
  const std::string other = listed[1].toString();
  const std::int64_t self = QCoreApplication::applicationPid();

  SPMediaKeyTap tap(nullptr, defaults);
  EXPECT_TRUE(tap.shouldInterceptMediaKeyEvents());  // empty list: intercept
  tap.appIsNowFrontmost(other, 4242);
  EXPECT_FALSE(tap.shouldInterceptMediaKeyEvents());
  tap.appIsNowFrontmost("some.unlisted.App", 5151);
  EXPECT_FALSE(tap.shouldInterceptMediaKeyEvents());
  tap.appIsNowFrontmost(SPMediaKeyTap::kOwnIdentifier, self);
  EXPECT_TRUE(tap.shouldInterceptMediaKeyEvents());
  tap.appIsNowFrontmost(other, 4242);
  tap.appTerminated(4242);  // it quits: this program heads the list again
  EXPECT_TRUE(tap.shouldInterceptMediaKeyEvents());
  tap.appTerminated(self);  // empty list: the last setting stays
  EXPECT_TRUE(tap.shouldInterceptMediaKeyEvents());

  defaults.set("SPIgnoreMediaKeys", PlistValue(true));
  EXPECT_FALSE(SPMediaKeyTap::usesGlobalMediaKeyTap(defaults));
}

// Song notifications and closing to the tray are on until turned off; the reset brings back the
// registered values, and a damaged colour reads as the registered one.
TEST(Preferences, ResetBringsBackTheDefaultsAndEveryWindowShowsWhatIsStored) {
  test::TempHome home;
  UserDefaults& defaults = UserDefaults::standard();
  defaults.registerDefaults({{kTableBackgroundColorKey, PlistValue(archiveColor(QColor(Qt::yellow)))},
                             {kEmptyDocumentFlagKey, PlistValue(false)}});
  PreferenceController window(defaults);
  window.resize(window.sizeHint().expandedTo(QSize(320, 0)));
  EXPECT_GOLDEN(window, "keys/preferences");  // the window with its five settings
  window.changeBackgroundColor(QColor(Qt::blue));
  window.checkbox()->click();
  for (QCheckBox* box : {window.notificationsBox(), window.closeToTrayBox()}) {
    EXPECT_TRUE(box->isChecked()) << box->text().toStdString();
    box->click();
  }
  EXPECT_EQ(Preferences::preferenceTableBgColor(defaults), QColor(Qt::blue));
  EXPECT_TRUE(Preferences::preferenceEmptyDoc(defaults));
  EXPECT_FALSE(Preferences::songNotifications(defaults));
  EXPECT_FALSE(SongNotifier::enabled(defaults));
  EXPECT_FALSE(Preferences::closeToTray(defaults));
  PreferenceController reopened(defaults);
  EXPECT_FALSE(reopened.notificationsBox()->isChecked());
  EXPECT_FALSE(reopened.closeToTrayBox()->isChecked());

  reopened.resetButton()->click();
  EXPECT_EQ(Preferences::preferenceTableBgColor(defaults), QColor(Qt::yellow));
  EXPECT_FALSE(Preferences::preferenceEmptyDoc(defaults));
  EXPECT_TRUE(Preferences::songNotifications(defaults));
  EXPECT_TRUE(Preferences::closeToTray(defaults));
  EXPECT_FALSE(reopened.checkbox()->isChecked());
  EXPECT_TRUE(reopened.notificationsBox()->isChecked());
  EXPECT_TRUE(reopened.closeToTrayBox()->isChecked());
  defaults.set(kTableBackgroundColorKey, PlistValue(PlistValue::Data{0xff, 0x00, 0x12}));
  EXPECT_EQ(Preferences::preferenceTableBgColor(defaults), QColor(Qt::yellow));

  // Without a tray the box stays, greyed: closing quits there whatever it says.
  PreferenceController noTray(defaults, nullptr, false);
  EXPECT_FALSE(noTray.closeToTrayBox()->isEnabled());
}

}  // namespace
}  // namespace tonvera
