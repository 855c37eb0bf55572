// SingleInstance: one running window per user. The first start listens on a local socket; a later
// start finds it, asks it to come forward ("raise") and exits. A socket left behind by a crashed
// run refuses connections, so it is removed and the new start listens in its place.
//
// The socket lives in $XDG_RUNTIME_DIR (private to the user) or, without one, in the temporary
// folder with the user id in its name.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tonvera {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // The socket path of this user's running window.
  static QString defaultSocketPath();

  explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // True: this is the only instance and now listens. False: a running instance was asked to raise
  // its window; this one should exit.
  bool start();
  bool isListening() const { return server_ != nullptr; }
  const QString& socketPath() const { return path_; }

 Q_SIGNALS:
  // A later start asked for the window.
  void raiseRequested();

 private:
  // Tells a running instance to raise; false when none answers.
  bool askRunningInstance() const;

  QString path_;
  QLocalServer* server_ = nullptr;
};

}  // namespace tonvera
