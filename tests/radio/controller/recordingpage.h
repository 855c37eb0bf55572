// A now-playing page for tests: it keeps what the controller shows (texts, readout, slider, lyrics,
// pictures, play button, window title) and lets a test play the slider as a listener would.
#pragma once

#include <QImage>
#include <optional>
#include <string>
#include <vector>

#include "display/lyricsmodel.h"
#include "radio/mainpage.h"

namespace tonvera::test {

class RecordingPage : public MainPage {
 public:
  void setArtistText(const std::string& text) override { artist = text; }
  void setAlbumText(const std::string& text) override { album = text; }
  void setTrackNameText(const std::string& text) override { trackName = text; }
  void setPositionText(const std::string& text) override { position = text; }

  void readoutSetString(const std::string& text) override { readout = text; }
  void readoutSetColor(int c) override { readoutColor = c; }
  void readoutDisplay() override {}

  void sliderSetProgress(double percent) override {
    if (!sliderDown) slider = percent;
  }
  double sliderGetProgress() const override { return slider; }
  bool sliderIsDown() const override { return sliderDown; }
  bool sliderIsEntered() const override { return sliderEntered; }
  bool sliderIsSeek() const override { return sliderSeek; }

  void lrcSetLrc(const std::optional<std::string>& text) override {
    lyricsShown.push_back(text);
    lyrics.setLrcUtf8(text ? std::optional<std::string_view>(*text) : std::nullopt);
  }
  void lrcProcess() override { lyrics.processLrc(); }
  void lrcSetTimestamp(double seconds) override { lyrics.setTimestamp(seconds); }
  void lrcDisplay() override {}

  void refreshImage(const QImage& image, bool yOrn) override { pictures.push_back({image, yOrn}); }
  void playButtonSetOn(bool on) override { playButtonOn = on; }
  void setWindowTitle(const std::string& title) override { windowTitle = title; }
  void showNotice(const std::string& text) override { notice = text; }

  std::string artist, album, trackName, position, readout, windowTitle, notice;
  int readoutColor = -1;
  double slider = 0;
  bool sliderDown = false, sliderEntered = false, sliderSeek = false;
  LineLrcModel lyrics;
  std::vector<std::optional<std::string>> lyricsShown;
  struct Picture {
    QImage image;
    bool artistSlot;
  };
  std::vector<Picture> pictures;
  std::optional<bool> playButtonOn;
};

}  // namespace tonvera::test
