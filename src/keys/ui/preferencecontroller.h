// The preferences window: a colour well for the table colour, the check boxes that turn the cover
// slideshow's animated changes, the song notifications, the closing to the tray and the desktop
// lyrics on, the language (the locale's, Chinese or English; from the next start), and a reset button that brings back the registered values. The controls follow the
// settings when they change elsewhere (the tray and the window's menu show the desktop lyrics too). Where the desktop has no tray the tray's check box
// is shown greyed (closing the window quits there). Opened from the window's right-click menu (the
// window has no menu bar).
//
// Threads: main thread only.
#pragma once

#include <QWidget>

#include "platform/notificationcenter.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace tonvera {

class UserDefaults;

class PreferenceController : public QWidget {
  Q_OBJECT
 public:
  explicit PreferenceController(UserDefaults& defaults, QWidget* parent = nullptr, bool trayAvailable = true);

  // The controls show the stored settings.
  void reloadFromPreferences();
  // Actions of the controls.
  void changeBackgroundColor(const QColor& color);
  void changeNewEmptyDoc(bool on);
  void resetPreferences();

  QPushButton* colorWell() const { return colorWell_; }
  QCheckBox* checkbox() const { return checkbox_; }
  QCheckBox* notificationsBox() const { return notifications_; }
  QCheckBox* closeToTrayBox() const { return closeToTray_; }
  QCheckBox* desktopLyricsBox() const { return desktopLyrics_; }
  QComboBox* languageBox() const { return language_; }
  QPushButton* resetButton() const { return reset_; }

 private:
  void showColor(const QColor& color);
  UserDefaults& defaults_;
  QPushButton* colorWell_;
  QCheckBox* checkbox_;
  QCheckBox* notifications_;
  QCheckBox* closeToTray_;
  QCheckBox* desktopLyrics_;
  QComboBox* language_;
  QPushButton* reset_;
  ScopedObserver changes_;
};

}  // namespace tonvera
