// The desktop's sound menu: its own connection to the private bus, reading properties, calling
// methods and recording PropertiesChanged and Seeked.
#pragma once

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTest>
#include <vector>

#include "keys/spmediakeytap.h"

namespace tonvera::test {

inline constexpr const char* kPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
inline constexpr const char* kRoot = "org.mpris.MediaPlayer2";
inline constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

class SoundMenu : public QObject {
  Q_OBJECT
 public:
  explicit SoundMenu(const QString& address)
      : bus_(QDBusConnection::connectToBus(address, QStringLiteral("sound-menu"))) {
    const QString service = QString::fromLatin1(SPMediaKeyTap::kBusName);
    bus_.connect(service, QString::fromLatin1(kPath), QString::fromLatin1(kProperties),
                 QStringLiteral("PropertiesChanged"), this,
                 SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    bus_.connect(service, QString::fromLatin1(kPath), QString::fromLatin1(kPlayer), QStringLiteral("Seeked"),
                 this, SLOT(onSeeked(qlonglong)));
  }
  ~SoundMenu() override { QDBusConnection::disconnectFromBus(QStringLiteral("sound-menu")); }

  QDBusMessage call(const char* interface, const QString& method, const QVariantList& args = {}) {
    QDBusMessage m =
        QDBusMessage::createMethodCall(QString::fromLatin1(SPMediaKeyTap::kBusName),
                                       QString::fromLatin1(kPath), QString::fromLatin1(interface), method);
    m.setArguments(args);
    QDBusPendingCall pending = bus_.asyncCall(m);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000)) << method.toStdString();
    EXPECT_EQ(pending.reply().type(), QDBusMessage::ReplyMessage)
        << pending.reply().errorMessage().toStdString();
    return pending.reply();
  }
  QVariant get(const char* interface, const char* name) {
    const QDBusMessage reply =
        call(kProperties, QStringLiteral("Get"), {QString::fromLatin1(interface), QString::fromLatin1(name)});
    if (reply.arguments().isEmpty()) return {};
    return reply.arguments().front().value<QDBusVariant>().variant();
  }
  QVariantMap metadata() { return qdbus_cast<QVariantMap>(get(kPlayer, "Metadata").value<QDBusArgument>()); }
  void set(const char* name, const QVariant& value) {
    call(kProperties, QStringLiteral("Set"),
         {QString::fromLatin1(kPlayer), QString::fromLatin1(name), QVariant::fromValue(QDBusVariant(value))});
  }

  std::vector<QVariantMap> changes;  // the changed properties of each PropertiesChanged
  std::vector<QString> changedInterfaces;
  std::vector<qlonglong> seeks;

 public Q_SLOTS:
  void onPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
    changedInterfaces.push_back(interface);
    changes.push_back(changed);
  }
  void onSeeked(qlonglong position) { seeks.push_back(position); }

 private:
  QDBusConnection bus_;
};

}  // namespace tonvera::test
