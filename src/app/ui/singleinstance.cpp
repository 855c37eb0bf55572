#include "app/ui/singleinstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/log.h"

namespace tonvera {
namespace {

constexpr int kConnectMs = 1000;
constexpr QByteArrayView kRaise = "raise\n";

}  // namespace

QString SingleInstance::defaultSocketPath() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime + QStringLiteral("/tonvera.sock");
  return QDir::tempPath() + QStringLiteral("/tonvera-%1.sock").arg(::getuid());
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), path_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
  if (server_ != nullptr) server_->close();  // removes the socket file
}

bool SingleInstance::askRunningInstance() const {
  QLocalSocket socket;
  socket.connectToServer(path_);
  if (!socket.waitForConnected(kConnectMs)) return false;
  socket.write(kRaise.data(), kRaise.size());
  socket.waitForBytesWritten(kConnectMs);
  socket.disconnectFromServer();
  return true;
}

bool SingleInstance::start() {
  if (server_ != nullptr) return true;
  // Two tries: a start racing this one may take the socket between the look and the listen.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (askRunningInstance()) return false;
    // Nobody answers: whatever is at the path is left from a run that ended without cleaning up.
    QLocalServer::removeServer(path_);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(path_)) {
      server_ = server;
      connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
          connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
          connect(client, &QLocalSocket::readyRead, this, [this, client] {
            while (client->canReadLine()) {
              if (client->readLine() == kRaise) Q_EMIT raiseRequested();
            }
          });
          // The request may already be in the buffer.
          if (client->bytesAvailable() > 0) Q_EMIT client->readyRead();
        }
      });
      return true;
    }
    delete server;
  }
  // Neither answered nor listenable (an unwritable folder): run without the guard.
  log(lcApp, "single instance: cannot listen on %s; a second start will not find this one", qPrintable(path_));
  return true;
}

}  // namespace tonvera
