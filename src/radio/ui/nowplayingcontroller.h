// NowPlayingController: the now-playing page (page 0 of the window). It builds the page's view (a
// NowPlayingView, a MainView whose pointer events come here), owns the radio's MainViewController
// and is the page that controller shows its track on (MainPage):
//   left half   the cover slideshow (CoverImageView) under the page-button grid (ControlView);
//   right half  title, artists, album, the position readout (ProgressNumView), the remaining time,
//               the progress bar (KKSlideView), the lyrics line (LineLrcView) with the area for
//               untimed lyrics.
// Three seconds after the start (configControl) it adds the transport buttons (previous,
// play/pause, next) and the taste buttons (like, dislike). They and the grid are shown by the
// pointer: on the right half the buttons fully and the grid half, on the left half the grid fully
// and the buttons half; none once the pointer leaves the page. The taste buttons act on the track,
// or on its first artist while the pointer is in the upper right part (they move up beside the
// artist's name).
//
// The progress updates stop while the window is hidden or minimised (playback goes on).
//
// Construction starts the radio (the stored channel, else the default one). The application shell
// creates one for the whole run and puts view() into the window.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "controls/kktrackview.h"
#include "controls/pagecontroller.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "radio/ui/nowplayingview.h"

class QGraphicsOpacityEffect;
class QLabel;
class QPlainTextEdit;
class QVariantAnimation;
class QWidget;

namespace tonvera {

class ControlView;
class CoverImageView;
class KKSlideView;
class LineLrcView;
class NovaColorButton;
class NovaToggleButton;
class ProgressNumView;
class TextField;

class NowPlayingController : public QObject, public PageController, public MainPage, public PointerObserver {
  Q_OBJECT
 public:
  // The layers the pointer shows and hides.
  enum class Layer { Control = 0, TrackButtons = 1, ArtistButtons = 2 };
  // Opacity changes of the layers take this long (milliseconds).
  static constexpr int kLayerFadeMs = 250;

  // Builds the page (its view parented to `parent` when given) and starts the radio.
  explicit NowPlayingController(QWidget* parent = nullptr);
  // The same with the controller's options; `startRadio` false leaves the start to awakeFromNib().
  NowPlayingController(QWidget* parent, MainViewController::Options options, bool startRadio = true);
  ~NowPlayingController() override;

  // Starts the radio (the page's set-up is done by the constructor).
  void awakeFromNib();
  MainViewController& controller() { return *controller_; }
  // Hooks for a host that follows the flow; configControl still builds the controls.
  void setControllerHooks(MainViewController::Hooks hooks);

  // PageController
  QWidget* view() override;
  void showCoverView() override;

  // PointerObserver: positions in the window's top-down coordinates.
  void mouseMoved(const QPointF& windowPos) override;
  void mouseExited() override;

  // Builds the transport and taste buttons (3 s after the start).
  void configControl();
  bool controlsConfigured() const { return trackBtnsView_ != nullptr; }
  // Shows the controls for a pointer at `pagePoint` (points, y from the page's bottom).
  void mouseEventWithPoint(const QPointF& pagePoint);
  // The taste buttons' actions.
  void loveTrack();
  void disgustTrack();
  bool isTrack() const { return isTrack_; }
  // The opacity a layer is set to (reached after kLayerFadeMs).
  qreal layerOpacity(Layer layer) const;
  void setLayerFadeMs(int ms) { layerFadeMs_ = ms; }

  // The page's parts (for the shell and tests).
  NowPlayingView* pageView() const { return view_; }
  CoverImageView* albumCover() const { return albumCover_; }
  ControlView* controlView() const { return controlView_; }
  ProgressNumView* progressNumView() const { return progressNumView_; }
  KKSlideView* progressSlider() const { return progressSlider_; }
  LineLrcView* lrcView() const { return lrcView_; }
  QPlainTextEdit* lrcScrollView() const { return lrcShow_; }
  TextField* artistField() const { return artist_; }
  TextField* albumField() const { return album_; }
  TextField* trackNameField() const { return trackName_; }
  TextField* positionLabel() const { return positionLabel_; }
  QWidget* trackBtnsView() const { return trackBtnsView_; }
  QWidget* artisBtnsView() const { return artisBtnsView_; }
  NovaColorButton* preButton() const { return preButton_; }
  NovaToggleButton* playButton() const { return playButton_; }
  NovaColorButton* nextButton() const { return nextButton_; }
  NovaToggleButton* loveButton() const { return loveTrack_; }
  NovaColorButton* delButton() const { return delTrack_; }
  const QString& windowTitle() const { return windowTitle_; }
  // The lyrics line being sung ("" without timed lyrics), as last reported by lyricsLineChanged.
  const QString& lyricsLine() const { return lyricsLine_; }

  // New lyrics were given to the page (those of the track now shown); the line starts empty.
  Q_SIGNAL void lyricsSet();
  // The lyrics line changed (a new line reached, or none).
  Q_SIGNAL void lyricsLineChanged(const QString& line);
  // The lyrics view was given a position to show (each progress tick, new lyrics).
  Q_SIGNAL void lyricsDisplayed();
  // A new track's texts were set (its lyrics follow with lyricsSet).
  Q_SIGNAL void trackShown();
  // The play button changed: the player started, paused or stopped.
  Q_SIGNAL void playStateChanged();
  // The album picture of the current track arrived (a null picture: the track has none).
  Q_SIGNAL void albumCoverShown(bool hasPicture);

  // MainPage
  void setArtistText(const std::string& text) override;
  void setAlbumText(const std::string& text) override;
  void setTrackNameText(const std::string& text) override;
  void setPositionText(const std::string& text) override;
  void readoutSetString(const std::string& text) override;
  void readoutSetColor(int color) override;
  void readoutDisplay() override;
  void sliderSetProgress(double percent) override;
  double sliderGetProgress() const override;
  bool sliderIsDown() const override;
  bool sliderIsEntered() const override;
  bool sliderIsSeek() const override;
  void lrcSetLrc(const std::optional<std::string>& text) override;
  void lrcProcess() override;
  void lrcSetTimestamp(double seconds) override;
  void lrcDisplay() override;
  bool lrcShownOutside() const override;
  std::optional<double> lrcNextLineTime(double seconds) const override;
  void refreshImage(const QImage& image, bool yOrn) override;
  void playButtonSetOn(bool on) override;
  void setWindowTitle(const std::string& title) override;
  void showNotice(const std::string& text) override;
  // The line that says why nothing plays (hidden while something does).
  QLabel* noticeLabel() const { return notice_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct LayerState {
    QPointer<QWidget> view;
    QGraphicsOpacityEffect* effect = nullptr;  // owned by the view
    QVariantAnimation* animation = nullptr;    // child of the effect
    qreal target = 1;
  };

  void buildPage();
  LayerState makeLayer(QWidget* view, qreal opacity);
  void setLayerOpacity(Layer layer, qreal opacity);
  void setArtisBtnsFrame(qreal y, qreal height);
  void setLoveButtonForTarget();
  // Follows the window the view is in: its title, and whether it is on screen.
  void watchWindow();
  void updateShown();
  void reportLyricsLine();

  QPointer<NowPlayingView> view_;  // owned: deleted with the controller unless its window went first
  CoverImageView* albumCover_ = nullptr;
  ControlView* controlView_ = nullptr;
  TextField* trackName_ = nullptr;
  TextField* artist_ = nullptr;
  TextField* album_ = nullptr;
  TextField* positionLabel_ = nullptr;
  ProgressNumView* progressNumView_ = nullptr;
  KKSlideView* progressSlider_ = nullptr;
  LineLrcView* lrcView_ = nullptr;
  QPlainTextEdit* lrcShow_ = nullptr;
  QLabel* notice_ = nullptr;
  QWidget* trackBtnsView_ = nullptr;
  QWidget* artisBtnsView_ = nullptr;
  NovaColorButton* preButton_ = nullptr;
  NovaToggleButton* playButton_ = nullptr;
  NovaColorButton* nextButton_ = nullptr;
  NovaToggleButton* loveTrack_ = nullptr;
  NovaColorButton* delTrack_ = nullptr;
  qreal tasteSide_ = 0;  // side of the taste buttons
  std::array<std::optional<LayerState>, 3> layers_;
  bool isTrack_ = true;
  bool playButtonOn_ = true;
  int layerFadeMs_ = kLayerFadeMs;
  QString windowTitle_;
  QString lyricsLine_;
  QPointer<QWidget> watchedWindow_;
  MainViewController::Hooks hooks_;
  // The heart follows the taste store, whichever page changed it.
  ScopedObserver likeSongObserver_;
  ScopedObserver likeArtistObserver_;
  std::unique_ptr<MainViewController> controller_;  // after the views: it talks to them until it goes
};

}  // namespace tonvera
