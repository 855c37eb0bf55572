// PubFilmView: the channel wall, a strip of film 1690 x 116 with one tile (KKStationView) per
// channel, framed by sprocket rows. It sits at the origin of a frame 512 wide (its parent) that clips
// it, and moves itself left and right while the pointer rests in an edge zone of that frame (the
// numbers are in channels/filmstrip.h).
//
// Clicking a tile posts "STATIONChanged" with the strip as sender and user info {"0": the channel
// record}. Tiles show the placeholder until the channel's picture arrives; a channel whose picture
// cannot be fetched keeps the placeholder.
//
// Threads: main thread only.
#pragma once

#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "channels/channelcatalogue.h"
#include "channels/channelpictures.h"
#include "controls/kktrackview.h"

namespace tonvera {

class KKStationView;
class ResourcePicture;

class PubFilmView : public KKTrackView {
  Q_OBJECT
 public:
  // The picture a tile shows until its channel's own arrives.
  static constexpr const char* kPlaceholderName = "StationTile.png";

  explicit PubFilmView(QWidget* parent = nullptr);
  ~PubFilmView() override;

  const ChannelList& channelList() const { return channelList_; }
  void setChannelList(ChannelList channels) { channelList_ = std::move(channels); }
  // The channel pictures fetched so far, by channel id.
  const std::map<std::string, QImage>& channelsImageInfo() const { return pictures_.channelsImageInfo(); }

  // Builds one tile per channel of channelList at x 80 + 85 i (tiles already present stay).
  void updateStations();
  // The tile with tag `index` (the first built), or null.
  KKStationView* tileAt(int index) const;
  // Posts the choice of the tile's channel.
  void stationAction(KKStationView* tile);
  // Fetches the picture of channel `channelId` for the tile with tag `index`.
  void downloadImageForIndex(int index, const std::string& channelId);

  // The strip's x inside its frame (kept as a fraction; the widget moves by whole points).
  double originX() const { return originX_; }
  void setOriginX(double x);

  // Pointer-driven scrolling; `windowPos` in the window's coordinates.
  void doAction(const QPointF& windowPos);
  void createTimers(bool start);
  void moveActin();
  double speed() const { return speed_; }
  bool isScrolling() const { return timer_ != nullptr; }

 protected:
  void trackEntered(const QPointF& windowPos) override;
  void trackMoved(const QPointF& windowPos) override;
  void trackExited() override;
  void hideEvent(QHideEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::shared_ptr<const ResourcePicture> cover_;
  ChannelList channelList_;
  ChannelPictures pictures_;
  double speed_ = 0;
  double originX_ = 0;
  bool mouseEntered_ = false;
  QTimer* timer_ = nullptr;  // child; only while scrolling
};

}  // namespace tonvera
