// DesktopLyricsView: the lyrics on the desktop, in a frameless, translucent window of their own that
// stays above other windows. The line being sung is drawn large with a dark outline, so it reads
// over any background, and fills with the theme colour from left to right over the time until the
// next line starts; the next line follows below, smaller and dimmed. Without timed lyrics the song's
// title and artist show instead; while no song plays nothing is drawn.
//
// The lines are the now-playing page's (the LineLrcModel given with setSource): the view shows the
// line the page chose last and asks the position only to move the fill. It wakes for that as often as
// the fill moves a few pixels, at most kFramesPerSecond times a second, only while it is on screen, a
// song plays and the line is not yet full; it repaints only the band the fill moved over.
//
// The pointer: dragging moves the window; while the pointer is over it, a dark ground shows its
// extent with buttons for smaller and larger text, the lock and hiding, and a grip to resize it.
// Locked, the window lets the pointer through to what is underneath; it is unlocked from outside
// (setLocked), as the tray and the window's menu do.
//
// Threads: main thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class QSizeGrip;
class QToolButton;

namespace tonvera {

class LineLrcModel;

class DesktopLyricsView : public QWidget {
  Q_OBJECT
 public:
  // A frame (waking, painting the band, sending it to the display) costs about 0.15 ms of a core
  // here whatever its size: at 30 frames a second a fast line alone took half of the program's
  // budget of 1 %. Twenty still move the fill of a fast line (170 pixels a second) in steps under 10
  // pixels.
  static constexpr int kFramesPerSecond = 20;
  static constexpr int kDefaultFontSize = 34;  // pixels of the line being sung
  static constexpr int kMinFontSize = 18;
  static constexpr int kMaxFontSize = 72;
  static constexpr int kFontStep = 4;
  static constexpr QSize kDefaultSize{760, 128};

  // Where the lines come from: the page's model, the playback position and the track's length
  // (seconds; 0 or less when unknown).
  struct Source {
    const LineLrcModel* model = nullptr;
    std::function<double()> position;
    std::function<double()> duration;
  };

  explicit DesktopLyricsView(QWidget* parent = nullptr);

  void setSource(Source source);
  // The song shown (a null title: no song plays) and whether its lyrics are the model's yet; until
  // they are, the title and artist show.
  void setSong(const QString& title, const QString& artist);
  void setLyricsReady(bool ready);
  // Playing moves the fill; paused or stopped it stays where it is.
  void setPlaying(bool playing);
  // The model's lyrics or its chosen line changed.
  void lyricsChanged();

  void setLocked(bool locked);
  bool isLocked() const { return locked_; }
  void setFontSize(int pixels);
  int fontSize() const { return fontSize_; }
  // The fill's colour (the theme colour; shown opaque).
  void setColor(const QColor& color);

  // What is drawn, for tests: the texts of the two rows and the fill's share of the first.
  QString firstRow() const;
  QString secondRow() const;
  double fill() const { return fill_; }
  bool frameTimerActive() const { return frames_.isActive(); }
  bool hovered() const { return hovered_; }

  Q_SIGNAL void lockedChanged(bool locked);
  Q_SIGNAL void fontSizeChanged(int pixels);
  Q_SIGNAL void hideRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  enum class Kind { Empty, Title, Line };
  enum class Paint { Later, Now };
  // Reads the model and the position, and repaints what changed (the fill only when `moveFill`).
  void refresh(bool moveFill = true, Paint painting = Paint::Later);
  void tick();
  void followTimer();
  void setHovered(bool hovered);
  void invalidate();
  void renderRows();
  QRectF firstRowRect() const;
  int fillX(double fill) const;

  Source source_;
  QString title_, artist_;
  bool lyricsReady_ = false;
  bool playing_ = false;
  bool locked_ = false;
  bool hovered_ = false;
  int fontSize_ = kDefaultFontSize;
  QColor color_ = QColor(255, 214, 0);
  QTimer frames_;

  // What is drawn now.
  Kind kind_ = Kind::Empty;
  QString first_, second_;
  double fill_ = 0;
  double lineLength_ = 0;  // seconds the line fills over
  int drawnFillX_ = -1;  // device pixels of the fill as painted last

  // The rows drawn once per text, size and colour: plain, and in the fill's colour.
  QImage plain_, filled_;
  bool rowsValid_ = false;
  qreal firstTextLeft_ = 0, firstTextWidth_ = 0;
  int firstRowTop_ = 0, firstRowBottom_ = 0;  // points

  std::optional<QPoint> dragOffset_;
  QToolButton* smaller_ = nullptr;
  QToolButton* larger_ = nullptr;
  QToolButton* lock_ = nullptr;
  QToolButton* close_ = nullptr;
  QSizeGrip* grip_ = nullptr;
};

}  // namespace tonvera
