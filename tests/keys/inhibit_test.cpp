// Keeping the machine awake while music plays, against stand-ins for the desktop portal and logind
// on a private bus (the screen saver's interface between them is the least used): what is asked, and
// that every hold is let go.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QSocketNotifier>
#include <QTest>
#include <memory>
#include <vector>

#include "keys/sleepinhibitor.h"
#include "private_bus.h"

namespace tonvera {
namespace {

std::vector<QString> gCalls;  // what the desktop's side received, one line per call
int gHanded = 0;

class PortalRequest : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
 public Q_SLOTS:
  void Close() { gCalls.push_back(QStringLiteral("Close ") + objectName()); }
};

class Portal : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
 public Q_SLOTS:
  QDBusObjectPath Inhibit(const QString&, uint flags, const QVariantMap& options) {
    auto* request = new PortalRequest;
    request->setParent(this);
    request->setObjectName(QStringLiteral("/org/freedesktop/portal/desktop/request/r%1").arg(++gHanded));
    QDBusConnection(QStringLiteral("desktop")).registerObject(request->objectName(), request, QDBusConnection::ExportAllSlots);
    gCalls.push_back(QStringLiteral("Inhibit %1 %2").arg(flags).arg(options.value(QStringLiteral("reason")).toString()));
    return QDBusObjectPath(request->objectName());
  }
};

// Hands out the writing end of a pipe per hold, like logind, and records when the last copy of it
// is closed (its reading end hangs up).
class Login1 : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
 public Q_SLOTS:
  QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString&,
                                  const QString& mode) {
    gCalls.push_back(QStringLiteral("Inhibit %1 %2 %3").arg(what, who, mode));
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return {};
    const QDBusUnixFileDescriptor held(ends[1]);  // a copy of its own
    ::close(ends[1]);
    auto* hangUp = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
    connect(hangUp, &QSocketNotifier::activated, this, [hangUp, n = ++gHanded] {
      gCalls.push_back(QStringLiteral("Closed %1").arg(n));
      ::close(static_cast<int>(hangUp->socket()));
      hangUp->deleteLater();
    });
    return held;
  }
};

using SleepInhibit = test::OnTheBus;

TEST_F(SleepInhibit, HeldWhilePlayingAndLetGoOnPauseAndQuitThroughThePortalElseLogind) {
  const QString portal = QStringLiteral("Inhibit 4 音乐播放中 (music is playing)");
  const QString closed = QStringLiteral("Close /org/freedesktop/portal/desktop/request/r");
  const QString logind = QStringLiteral("Inhibit sleep Tonvera block");
  struct Case {
    bool portal;
    const char* service;
    const char* path;
    std::vector<QString> calls;
  };
  const Case cases[] = {
      {true, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
       {portal, closed + "1", portal, closed + "2", portal, closed + "3"}},
      // (The private bus is the system bus too.)
      {false, "org.freedesktop.login1", "/org/freedesktop/login1",
       {logind, "Closed 1", logind, "Closed 2", logind, "Closed 3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.service);
    gCalls.clear();
    gHanded = 0;
    QDBusConnection desktop = QDBusConnection::connectToBus(bus.address(), QStringLiteral("desktop"));
    std::unique_ptr<QObject> standIn(c.portal ? static_cast<QObject*>(new Portal) : new Login1);
    ASSERT_TRUE(desktop.registerObject(QString::fromLatin1(c.path), standIn.get(), QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService(QString::fromLatin1(c.service)));

    auto inhibitor = std::make_unique<SleepInhibitor>();
    inhibitor->setPlaying(true);
    inhibitor->setPlaying(false);  // paused before the desktop answered: let go once it has
    ASSERT_TRUE(QTest::qWaitFor([&] { return gCalls.size() == 2; }, 5000));
    inhibitor->setPlaying(true);
    inhibitor->setPlaying(true);  // still playing: no second hold
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor->holding(); }, 5000));
    inhibitor->setPlaying(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gCalls.size() == 4; }, 5000));
    inhibitor->setPlaying(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor->holding(); }, 5000));
    inhibitor.reset();  // quit
    ASSERT_TRUE(QTest::qWaitFor([&] { return gCalls.size() == 6; }, 5000));
    EXPECT_EQ(gCalls, c.calls);
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
  }
}

}  // namespace
}  // namespace tonvera

#include "inhibit_test.moc"
