// CoverImageView: the now-playing page's cover area. It keeps the track's album cover and artist
// picture as they arrive and, every 5 seconds, hands the one whose turn it is (album first, then
// artist, by turns) to its SlideshowView child. Nothing is shown until a tick comes; before the
// first picture arrives, and while the window is hidden or minimised, ticks do nothing (the turn
// does not advance). The placeholder picture "COVER.png" lies under the slideshow, so an empty
// turn or a track without pictures still shows a finished area.
//
// Threads: main thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

class QTimer;

namespace tonvera {

class ResourcePicture;
class SlideshowView;

class CoverImageView : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kSlideshowInterval = 5.0;  // seconds

  explicit CoverImageView(QWidget* parent = nullptr);

  // A picture for the artist slot (yOrn true) or the album slot (false); shown at its next turn.
  // A null picture leaves the slot empty.
  void refreshImage(const QImage& picture, bool yOrn);

  double slideshowInterval() const { return interval_; }
  // Restarts the timer with the new interval (none for 0 or less); the same value changes nothing.
  void setSlideshowInterval(double seconds);
  void startSlideshowTimer();
  void stopSlideshowTimer();
  bool slideshowTimerRunning() const;
  // Whether the window is on screen (told by the page). A hidden window's ticks would do nothing:
  // the timer is held meanwhile, so that it wakes nobody, and ticks again once the window shows.
  void setWindowShown(bool shown);
  bool slideshowTicking() const;

  // One tick.
  void advanceSlideshow();

  SlideshowView* slideshowView() const { return slideshowView_; }
  int count() const { return count_; }
  bool isArtist() const { return isArtist_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool windowShown() const;

  QImage artist_;
  QImage album_;
  int count_ = 0;
  bool isArtist_ = false;
  double interval_ = 0;
  bool shown_ = true;
  SlideshowView* slideshowView_;  // child
  QTimer* timer_ = nullptr;       // child while the slideshow runs
  std::shared_ptr<const ResourcePicture> placeholder_;
};

}  // namespace tonvera
