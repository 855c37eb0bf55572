// The MPRIS2 interfaces the media-key tap exports on the session bus: the root interface
// (org.mpris.MediaPlayer2) and the Player interface (org.mpris.MediaPlayer2.Player) at
// /org/mpris/MediaPlayer2. PlayPause, Next and Previous (and Play, Pause, Stop) become media-key
// events of the tap; Seek, SetPosition and Volume go to the player through the tap's hooks, Raise
// and Quit to the window. Properties show the tap's state; every change but the position is
// announced with PropertiesChanged, a seek with Seeked.
//
// Threads: main thread only.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace tonvera {

class SPMediaKeyTap;

class MprisService : public QObject {
  Q_OBJECT
 public:
  explicit MprisService(SPMediaKeyTap& tap);
  ~MprisService() override;
  // Registers the object and takes the bus name; false without a bus or when the name is taken.
  bool registerOnBus();

  SPMediaKeyTap& tap() const { return tap_; }
  QString playbackStatus() const;
  QVariantMap metadata() const;
  bool canSeek() const;
  // Announces changed Player properties by name, or root ones (CanRaise, CanQuit).
  void announce(const QStringList& names);
  void announceRoot(const QStringList& names);
  void emitSeeked(qlonglong positionUs);
  // A media key from a Player method.
  void press(int keyCode);
  // Seek and SetPosition: to the player's seek, kept within the track; Seeked follows.
  void seekTo(qlonglong positionUs);
  void setVolume(double volume);

 private:
  void sendPropertiesChanged(const char* interface, const QVariantMap& changed);

  SPMediaKeyTap& tap_;
  bool registered_ = false;
};

class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ canQuit)
  Q_PROPERTY(bool CanRaise READ canRaise)
  Q_PROPERTY(bool HasTrackList READ hasTrackList)
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
 public:
  explicit MprisRootAdaptor(MprisService* service);
  bool canQuit() const;
  bool canRaise() const;
  bool hasTrackList() const { return false; }
  QString identity() const { return QStringLiteral("Tonvera"); }
  QString desktopEntry() const { return QStringLiteral("org.tonvera.Tonvera"); }
  QStringList supportedUriSchemes() const { return {}; }
  QStringList supportedMimeTypes() const { return {}; }

 public Q_SLOTS:
  void Raise();
  void Quit();

 private:
  MprisService* service_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Rate READ rate)
  Q_PROPERTY(double MinimumRate READ rate)
  Q_PROPERTY(double MaximumRate READ rate)
  Q_PROPERTY(double Volume READ volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(bool CanGoNext READ yes)
  Q_PROPERTY(bool CanGoPrevious READ yes)
  Q_PROPERTY(bool CanPlay READ yes)
  Q_PROPERTY(bool CanPause READ yes)
  Q_PROPERTY(bool CanSeek READ canSeek)
  Q_PROPERTY(bool CanControl READ yes)
 public:
  explicit MprisPlayerAdaptor(MprisService* service);
  QString playbackStatus() const { return service_->playbackStatus(); }
  QVariantMap metadata() const { return service_->metadata(); }
  double rate() const { return 1.0; }
  double volume() const;
  void setVolume(double volume) { service_->setVolume(volume); }
  qlonglong position() const;
  bool canSeek() const { return service_->canSeek(); }
  bool yes() const { return true; }

 public Q_SLOTS:
  void PlayPause();
  void Next();
  void Previous();
  void Play();
  void Pause();
  void Stop();
  void Seek(qlonglong offsetUs);
  void SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs);
  void OpenUri(const QString&) {}  // no URI schemes are supported

 Q_SIGNALS:
  void Seeked(qlonglong positionUs);

 private:
  MprisService* service_;
};

}  // namespace tonvera
