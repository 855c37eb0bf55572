// The now-playing page as the now-playing controller sees it: the track texts, the remaining-time
// label, the position readout, the progress slider, the lyrics view, the cover slideshow, the
// play button and the window title. The window implements it with its widgets; the terminal radio
// implements it with printed lines. The controller never reaches further into the page.
//
// Threads: main thread only. The controller calls it from its notification handlers, timers and
// main-queue callbacks; an implementation need not synchronise.
#pragma once

#include <optional>
#include <string>

class QImage;

namespace tonvera {

class MainPage {
 public:
  virtual ~MainPage() = default;

  // Text fields (UTF-8).
  virtual void setArtistText(const std::string& text) = 0;
  virtual void setAlbumText(const std::string& text) = 0;
  virtual void setTrackNameText(const std::string& text) = 0;
  // The remaining time ("03:03"), or "00:00" while the stream's format is unknown.
  virtual void setPositionText(const std::string& text) = 0;

  // Position and duration readout: its text ("1:01 / 4:05"), its colour mode (0 grey at rest,
  // 1 black under the pointer, 2 orange while the slider is held down) and a redraw request.
  virtual void readoutSetString(const std::string& text) = 0;
  virtual void readoutSetColor(int color) = 0;
  virtual void readoutDisplay() = 0;

  // Progress slider, in percent of the track. setProgress is ignored by the slider while it is
  // held down. isSeek is true only while the slider reports a finished drag.
  virtual void sliderSetProgress(double percent) = 0;
  virtual double sliderGetProgress() const = 0;
  virtual bool sliderIsDown() const = 0;
  virtual bool sliderIsEntered() const = 0;
  virtual bool sliderIsSeek() const = 0;

  // Lyrics view: the raw LRC text (nothing: the track has no lyrics), parsing, the playback
  // position in seconds, and a redraw request (the view chooses its line when it draws).
  virtual void lrcSetLrc(const std::optional<std::string>& text) = 0;
  virtual void lrcProcess() = 0;
  virtual void lrcSetTimestamp(double seconds) = 0;
  virtual void lrcDisplay() = 0;
  // Whether a timed lyrics line is shown outside the page too (and so must move on while the page
  // is hidden).
  virtual bool lrcShownOutside() const { return false; }
  // The time (seconds) of the first timed lyrics line after `seconds`; nothing when none follows.
  virtual std::optional<double> lrcNextLineTime(double /*seconds*/) const { return std::nullopt; }

  // Cover slideshow: a picture for the album slot (yOrn false) or the artist slot (yOrn true);
  // a null image means the lookup found nothing.
  virtual void refreshImage(const QImage& image, bool yOrn) = 0;

  // Play button: on while paused or stopped, off while playing.
  virtual void playButtonSetOn(bool on) = 0;

  virtual void setWindowTitle(const std::string& title) = 0;

  // A short line that says why nothing plays; "" takes it away (a track is shown again).
  virtual void showNotice(const std::string& /*text*/) {}
};

}  // namespace tonvera
