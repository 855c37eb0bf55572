// KKStationView: one channel tile of the channel wall, 80 x 80: the channel's picture (or the
// placeholder until it arrives) with the channel's name in a dark band along its lower edge.
// A click chooses the channel when the button is released, wherever the release happens (the tile
// keeps the pointer from the press on).
//
// Threads: main thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/plist.h"

namespace tonvera {

class ResourcePicture;

class KKStationView : public QWidget {
  Q_OBJECT
 public:
  using Action = std::function<void(KKStationView* sender)>;

  explicit KKStationView(QWidget* parent = nullptr);

  // The tile's action, sent on release; also enables the tile.
  void addTarget(Action action);

  // Shows a copy of `picture` (the channel's own picture) and redraws.
  void setImage(const QImage& picture);
  // Shows the placeholder until a picture is set; drawn at the screen's scale.
  void setPlaceholder(std::shared_ptr<const ResourcePicture> placeholder);
  const QImage& image() const { return imageRef_; }
  // True while the tile shows no picture of its own.
  bool showsPlaceholder() const { return imageRef_.isNull(); }

  // The tile's channel record.
  const PlistValue& info() const { return info_; }
  void setInfo(PlistValue info);

  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage imageRef_;
  std::shared_ptr<const ResourcePicture> placeholder_;
  PlistValue info_;
  Action action_;
  int tag_ = 0;
};

}  // namespace tonvera
