// Song notifications against a notification server of the test's own on a private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QTest>
#include <vector>

#include "keys/songnotifier.h"
#include "private_bus.h"

namespace tonvera {
namespace {

struct Shown {
  uint replaces;
  QString summary, body, image;
  bool operator==(const Shown&) const = default;
};
void PrintTo(const Shown& s, std::ostream* os) {
  *os << s.replaces << " " << (s.summary + " | " + s.body + " | " + s.image).toStdString();
}

// The desktop's notification server: records each Notify and hands out ids.
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

}  // namespace
}  // namespace tonvera

#include "notifier_test.moc"
