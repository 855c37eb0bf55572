// Keeping the machine awake while music plays, against stand-ins for the desktop portal and the
// screen saver on a private bus: what is asked, and that every hold is let go.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QTest>
#include <memory>
#include <vector>

#include "keys/sleepinhibitor.h"
#include "private_bus.h"

namespace tonvera {
namespace {

// The desktop's side. Each call it receives is one line in `calls`.
class Desktop : public QObject {
 public:
  explicit Desktop(QDBusConnection bus) : bus(std::move(bus)) {}
  QDBusConnection bus;
  std::vector<QString> calls;
  int handed = 0;
};

class PortalRequest : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
 public:
  PortalRequest(Desktop& desktop, QString path) : QObject(&desktop), desktop_(desktop), path_(std::move(path)) {}
 public Q_SLOTS:
  void Close() { desktop_.calls.push_back(QStringLiteral("Close ") + path_); }

 private:
  Desktop& desktop_;
  QString path_;
};

class Portal : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
 public:
  explicit Portal(Desktop& desktop) : QObject(&desktop), desktop_(desktop) {}
 public Q_SLOTS:
  QDBusObjectPath Inhibit(const QString&, uint flags, const QVariantMap& options) {
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/r%1").arg(++desktop_.handed);
    desktop_.bus.registerObject(path, new PortalRequest(desktop_, path), QDBusConnection::ExportAllSlots);
    desktop_.calls.push_back(QStringLiteral("Inhibit %1 %2").arg(flags).arg(options.value(QStringLiteral("reason")).toString()));
    return QDBusObjectPath(path);
  }

 private:
  Desktop& desktop_;
};

class ScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
 public:
  explicit ScreenSaver(Desktop& desktop) : QObject(&desktop), desktop_(desktop) {}
 public Q_SLOTS:
  uint Inhibit(const QString& application, const QString&) {
    desktop_.calls.push_back(QStringLiteral("Inhibit ") + application);
    return 40 + ++desktop_.handed;
  }
  void UnInhibit(uint cookie) { desktop_.calls.push_back(QStringLiteral("UnInhibit %1").arg(cookie)); }

 private:
  Desktop& desktop_;
};

using SleepInhibit = test::OnTheBus;

TEST_F(SleepInhibit, HeldWhilePlayingAndLetGoOnPauseAndQuitThroughThePortalElseTheScreenSaver) {
  const QString portal = QStringLiteral("Inhibit 4 音乐播放中 (music is playing)");
  const QString request = QStringLiteral("Close /org/freedesktop/portal/desktop/request/r");
  struct Case {
    bool hasPortal;
    std::vector<QString> calls;
  };
  const Case cases[] = {
      {true, {portal, request + "1", portal, request + "2", portal, request + "3"}},
      {false, {"Inhibit Tonvera", "UnInhibit 41", "Inhibit Tonvera", "UnInhibit 42", "Inhibit Tonvera", "UnInhibit 43"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hasPortal ? "portal" : "screen saver");
    Desktop desktop(QDBusConnection::connectToBus(bus.address(), QStringLiteral("desktop")));
    if (c.hasPortal) {
      ASSERT_TRUE(desktop.bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), new Portal(desktop),
                                             QDBusConnection::ExportAllSlots));
      ASSERT_TRUE(desktop.bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    } else {
      ASSERT_TRUE(desktop.bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), new ScreenSaver(desktop),
                                             QDBusConnection::ExportAllSlots));
      ASSERT_TRUE(desktop.bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    }
    auto inhibitor = std::make_unique<SleepInhibitor>();
    inhibitor->setPlaying(true);
    inhibitor->setPlaying(false);  // paused before the desktop answered: let go once it has
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls.size() == 2; }, 5000));
    inhibitor->setPlaying(true);
    inhibitor->setPlaying(true);  // still playing: no second hold
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor->holding(); }, 5000));
    inhibitor->setPlaying(false);
    inhibitor->setPlaying(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor->holding(); }, 5000));
    inhibitor.reset();  // quit
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls.size() == 6; }, 5000));
    EXPECT_EQ(desktop.calls, c.calls);
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
  }
}

}  // namespace
}  // namespace tonvera

#include "inhibit_test.moc"
