// The preferences window: a colour well for the table colour, the check box that turns the cover
// slideshow's animated changes on, and a reset button that brings back the registered values.
// Opened from the window's right-click menu or Ctrl+, (the window has no menu bar).
//
// Threads: main thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;

namespace tonvera {

class UserDefaults;

class PreferenceController : public QWidget {
  Q_OBJECT
 public:
  explicit PreferenceController(UserDefaults& defaults, QWidget* parent = nullptr);

  // The controls show the stored settings.
  void reloadFromPreferences();
  // Actions of the controls.
  void changeBackgroundColor(const QColor& color);
  void changeNewEmptyDoc(bool on);
  void resetPreferences();

  QPushButton* colorWell() const { return colorWell_; }
  QCheckBox* checkbox() const { return checkbox_; }
  QPushButton* resetButton() const { return reset_; }

 private:
  void showColor(const QColor& color);
  UserDefaults& defaults_;
  QPushButton* colorWell_;
  QCheckBox* checkbox_;
  QPushButton* reset_;
};

}  // namespace tonvera
