// A dbus-daemon of the tests' own as the session and the system bus. Qt keeps the first connection to
// each bus for the whole process, so all tests of a process share one daemon.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <utility>
#include <vector>

#include "keys/spmediakeytap.h"
#include "platform/userdefaults.h"
#include "temp_home.h"

namespace tonvera::test {

class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) return;
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
  }
  ~PrivateBus() {
    daemon_.kill();
    daemon_.waitForFinished(2000);
  }
  bool ok() const { return !address_.isEmpty(); }
  const QString& address() const { return address_; }

  // The process's bus.
  static PrivateBus& shared() {
    static PrivateBus* bus = [] {
      auto* started = new PrivateBus;
      struct Stop : ::testing::Environment {
        explicit Stop(PrivateBus* b) : bus(b) {}
        void TearDown() override { delete bus; }
        PrivateBus* bus;
      };
      ::testing::AddGlobalTestEnvironment(new Stop(started));
      return started;
    }();
    return *bus;
  }

 private:
  QProcess daemon_;
  QString address_;
};

// A test on the bus: a temporary HOME, the process's bus, and the media-key tap watching on it,
// its delegate recording the key events.
class OnTheBus : public ::testing::Test {
 protected:
  struct RecordingDelegate : SPMediaKeyTap::Delegate {
    std::vector<std::pair<int, bool>> keys;  // key code, key down
    void mediaKeyTap(SPMediaKeyTap*, const MediaKeyEvent& e) override {
      keys.emplace_back(e.keyCode, e.keyDown);
    }
  };

  void SetUp() override {
    ASSERT_TRUE(bus.ok());
    ASSERT_TRUE(tap.startWatchingMediaKeys());
  }

  TempHome home;
  PrivateBus& bus = PrivateBus::shared();
  RecordingDelegate delegate;
  SPMediaKeyTap tap{&delegate, UserDefaults::standard()};
};

}  // namespace tonvera::test
