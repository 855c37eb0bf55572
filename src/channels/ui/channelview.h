// ChannelView: the channel page's own view (512 x 256). It draws the title tab "公共频道" and the name
// of the channel now playing (the "name" of the record stored under "kSelectStation"), and redraws
// that name on every "STATIONChanged". The channel wall's frame is its child.
//
// Threads: main thread only.
#pragma once

#include <functional>

#include "controls/kktrackview.h"
#include "platform/notificationcenter.h"

namespace tonvera {

class UserDefaults;

class ChannelView : public MainView {
  Q_OBJECT
 public:
  // `defaults`: the settings store the selected channel is read from; UserDefaults::standard() when
  // null. Not owned.
  explicit ChannelView(UserDefaults* defaults = nullptr, QWidget* parent = nullptr);

  // Called once, the first time the page is shown.
  void setFirstShown(std::function<void()> firstShown) { firstShown_ = std::move(firstShown); }

  // Marks the name area for redrawing.
  void getStationInfo();

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  UserDefaults* defaults_;
  std::function<void()> firstShown_;
  bool shown_ = false;
  ScopedObserver stationObserver_;
};

// The name of the selected channel as the pages show it: the "name" of the record under
// "kSelectStation"; empty when there is none.
QString selectedStationName(UserDefaults& defaults);

}  // namespace tonvera
