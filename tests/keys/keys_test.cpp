// Media keys and MPRIS2 on a private session bus as a sound menu sees them, song notifications, and
// the preferences window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
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

  tap.stopWatchingMediaKeys();
  EXPECT_FALSE(registered());
}

using test::kPlayer;
using test::kRoot;
using test::SoundMenu;

NowPlayingInfo song() {
  return {"1042-b", "夜航", {"林海", "Mira"}, "北方", "file:///c/1042.jpg", 215'000'000, true, "风吹过海面"};
}

// The metadata with the track id as its path, so that it compares as a whole.
QVariantMap flat(QVariantMap meta) {
  meta["mpris:trackid"] = meta.value("mpris:trackid").value<QDBusObjectPath>().path();
  return meta;
}

using Mpris = test::OnTheBus;

TEST_F(Mpris, EveryPropertyShowsTheTrackTheStateAndWhatTheWindowAllows) {
  SoundMenu menu(bus.address());
  int raised = 0, quit = 0;
  tap.setWindowHooks([&] { ++raised; }, [&] { ++quit; });
  tap.setPlayerHooks({[](std::int64_t) {}, [](double) {}, {}});
  tap.setNowPlaying(song());
  tap.setPlaybackStatus(PlaybackStatus::Playing);
  tap.setPosition(61'500'000);
  tap.setVolume(0.5);

  const struct {
    const char* interface;
    const char* name;
    QVariant value;
  } properties[] = {
      {kRoot, "Identity", "Tonvera"},
      {kRoot, "DesktopEntry", "org.tonvera.Tonvera"},
      {kRoot, "CanRaise", true},
      {kRoot, "CanQuit", true},
      {kPlayer, "PlaybackStatus", "Playing"},
      {kPlayer, "Position", qlonglong(61'500'000)},
      {kPlayer, "Volume", 0.5},
      {kPlayer, "CanSeek", true},
  };
  for (const auto& p : properties) EXPECT_EQ(menu.get(p.interface, p.name), p.value) << p.name;
  EXPECT_EQ(flat(menu.metadata()), (QVariantMap{{"mpris:trackid", "/org/tonvera/track/1042_b"},
                                                {"xesam:title", "夜航"},
                                                {"xesam:artist", QStringList({"林海", "Mira"})},
                                                {"xesam:album", "北方"},
                                                {"mpris:length", qlonglong(215'000'000)},
                                                {"mpris:artUrl", "file:///c/1042.jpg"},
                                                {"xesam:asText", "风吹过海面"},
                                                {"xesam:userRating", 1.0}}));

  // A new song starts at 0. (Songs without cover or lyrics: the page's tests on the bus.)
  tap.setNowPlaying({"77", "夜航", {"林海"}, "北方", "", 1, false, ""});
  EXPECT_EQ(menu.get(kPlayer, "Position").toLongLong(), 0);

  // Nothing playing: only the no-track id, and nothing to seek in.
  tap.setNowPlaying(NowPlayingInfo{});
  EXPECT_EQ(flat(menu.metadata()),
            (QVariantMap{{"mpris:trackid", "/org/mpris/MediaPlayer2/TrackList/NoTrack"}}));
  EXPECT_FALSE(menu.get(kPlayer, "CanSeek").toBool());

  menu.call(kRoot, QStringLiteral("Raise"));
  menu.call(kRoot, QStringLiteral("Quit"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return raised == 1 && quit == 1; }, 5000));
}

TEST_F(Mpris, ChangesAreAnnouncedAndSeeksAndVolumeGoToThePlayer) {
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
  ASSERT_FALSE(delegate.keys.empty());
  EXPECT_EQ(delegate.keys.front(), std::make_pair(int(MediaKeyEvent::kFastForward), true));
}

struct Shown {
  uint replaces;
  QString summary, body, image;
  bool operator==(const Shown&) const = default;
};
void PrintTo(const Shown& s, std::ostream* os) {
  *os << s.replaces << " " << (s.summary + " | " + s.body + " | " + s.image).toStdString();
}

class NotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  std::vector<Shown> shown;

 public Q_SLOTS:
  uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap& hints, int) {
    shown.push_back({replaces, summary, body, hints.value(QStringLiteral("image-path")).toString()});
    return replaces != 0 ? replaces : 7;
  }
};

using SongNotifications = test::OnTheBus;

TEST_F(SongNotifications, OnePerSongReplacedInPlaceOnlyInTheBackgroundAndSwitchable) {
  NotificationServer server;
  QDBusConnection desktop = QDBusConnection::connectToBus(bus.address(), QStringLiteral("desktop"));
  ASSERT_TRUE(desktop.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                     QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.Notifications")));

  UserDefaults& defaults = UserDefaults::standard();
  bool active = false;
  SongNotifier notifier(defaults, [&] { return active; });
  NowPlayingInfo song{"1", "夜航", {"林海", "Mira"}, "北方", "file:///tmp/covers/1.jpg", 1, false, ""};
  notifier.songStarted(song);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.notificationId() == 7; }, 5000));
  song.trackId = "2";
  song.title = "晨光";
  song.artUrl.clear();  // no cover: no image
  notifier.songStarted(song);
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.shown.size() == 2; }, 5000));
  // The next song replaces the notification.
  EXPECT_EQ(server.shown, (std::vector<Shown>{{0, "夜航", "林海 / Mira — 北方", "/tmp/covers/1.jpg"},
                                              {7, "晨光", "林海 / Mira — 北方", ""}}));

  // The window in front, or the setting off: nothing.
  active = true;
  notifier.songStarted(song);
  active = false;
  defaults.set(kSongNotificationsKey, PlistValue(false));
  notifier.songStarted(song);
  defaults.remove(kSongNotificationsKey);
  song.title = "第三";
  notifier.songStarted(song);
  // The calls arrive in order: when the last one is there, none of the two before it came.
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.shown.back().summary == "第三"; }, 5000));
  EXPECT_EQ(server.shown.size(), 3u);
  QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
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
  EXPECT_FALSE(SongNotifier::enabled(defaults));
  EXPECT_FALSE(Preferences::closeToTray(defaults));
  PreferenceController reopened(defaults);
  EXPECT_FALSE(reopened.notificationsBox()->isChecked());

  reopened.resetButton()->click();
  EXPECT_EQ(Preferences::preferenceTableBgColor(defaults), QColor(Qt::yellow));
  EXPECT_FALSE(Preferences::preferenceEmptyDoc(defaults));
  EXPECT_TRUE(Preferences::songNotifications(defaults));
  EXPECT_TRUE(Preferences::closeToTray(defaults));
  EXPECT_TRUE(reopened.closeToTrayBox()->isChecked());
  defaults.set(kTableBackgroundColorKey, PlistValue(PlistValue::Data{0xff, 0x00, 0x12}));
  EXPECT_EQ(Preferences::preferenceTableBgColor(defaults), QColor(Qt::yellow));

  // Without a tray the box stays, greyed: closing quits there whatever it says.
  PreferenceController noTray(defaults, nullptr, false);
  EXPECT_FALSE(noTray.closeToTrayBox()->isEnabled());
}

}  // namespace
}  // namespace tonvera

#include "keys_test.moc"
