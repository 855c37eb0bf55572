// ControlView: the page-button grid of the now-playing page. Nine square NovaControlButtons (84 x
// 84, 86 apart) with icons from "CUBEICON.png" placed by "resource.plist"; the centre square shows
// the caption of the square the pointer last entered. Tags pick the page to open.
//
// Threads: main thread only.
#pragma once

#include <QWidget>

namespace tonvera {

class NovaColorButton;

class ControlView : public QWidget {
  Q_OBJECT
 public:
  // The grid's side in points (three squares of 84 with gaps of 2).
  static constexpr int kSide = 256;

  explicit ControlView(QWidget* parent = nullptr);

  void addButton(NovaColorButton* button);
  // Acts by the sender's tag: 0 help, 2 preferences, 6 channels, 7 private channel, 8 favourites,
  // 100 quit.
  void buttonAction(NovaColorButton* sender);

 private:
  void configButtons();
};

}  // namespace tonvera
