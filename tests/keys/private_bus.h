// A private session bus for a test: a dbus-daemon of its own whose address becomes
// DBUS_SESSION_BUS_ADDRESS. Qt keeps the first session-bus connection for the whole process, so a
// test process uses one PrivateBus (CTest runs each case in its own process).
#pragma once

#include <QProcess>
#include <QString>

namespace tonvera::test {

class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) return;
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
  }
  ~PrivateBus() {
    daemon_.kill();
    daemon_.waitForFinished(2000);
  }
  bool ok() const { return !address_.isEmpty(); }
  const QString& address() const { return address_; }

  // Calls a Player method with dbus-send, as a desktop's key handling would.
  bool send(const QString& method) {
    QProcess p;
    p.start(QStringLiteral("dbus-send"), {QStringLiteral("--session"), QStringLiteral("--type=method_call"),
                                          QStringLiteral("--dest=org.mpris.MediaPlayer2.tonvera"),
                                          QStringLiteral("/org/mpris/MediaPlayer2"),
                                          QStringLiteral("org.mpris.MediaPlayer2.Player.") + method});
    return p.waitForFinished(5000) && p.exitCode() == 0;
  }

 private:
  QProcess daemon_;
  QString address_;
};

}  // namespace tonvera::test
