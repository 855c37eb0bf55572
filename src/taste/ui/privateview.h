// PrivateView: the private channel page's view (512 x 256). Two ON/OFF switches set the listening
// options, each stored in the settings store at once:
//   "aiplay"  the recommendation switch ("智能推荐"): changes only the page's description;
//   "enplay"  the English switch ("不想听英文"): the now-playing controller skips songs judged English.
// The view draws the title tab "私人频道", the selected station's name (redrawn on every
// "STATIONChanged"), the label of the start button, the switches' labels and a description of what
// the private channel will play.
//
// Threads: main thread only.
#pragma once

#include <QString>

#include "controls/kktrackview.h"
#include "platform/notificationcenter.h"

namespace tonvera {

class SegControl;
class UserDefaults;

class PrivateView : public MainView {
  Q_OBJECT
 public:
  static constexpr const char* kAiplayKey = "aiplay";
  static constexpr const char* kEnplayKey = "enplay";

  // `defaults`: the settings store the switches are kept in; UserDefaults::standard() when null.
  // Not owned.
  explicit PrivateView(UserDefaults* defaults = nullptr, QWidget* parent = nullptr);

  SegControl* recommendationSwitch() const { return aiSwitch_; }
  SegControl* englishSwitch() const { return enSwitch_; }

  // Stores the sender's state under its key, writes the settings at once and redraws.
  void updateState(SegControl* sender);
  // Marks the station-name area for redrawing.
  void getStationInfo();

  // The description for the switches' states: one line per option, each ending in "\n".
  static QString description(bool recommendation, bool noEnglish);

  // The start button's label was clicked: it starts the private channel like the button beside it.
  Q_SIGNAL void startLabelClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  UserDefaults* defaults_;
  SegControl* aiSwitch_;  // child
  SegControl* enSwitch_;  // child
  ScopedObserver stationObserver_;
};

}  // namespace tonvera
