// LineLrcView: the now-playing page's lyrics, one line at a time: the line whose time tag playback
// passed last, right-aligned 15 points from the right edge, in two rows (the line's halves) when it
// is too wide for one. A track without lyrics shows "无歌词"; lyrics without any time tag go, as
// they are, into the scrolling read-only text area given with setScrollView (hidden otherwise).
// The parsing and the choice of the line are LineLrcModel's; this view only draws.
//
// Threads: main thread only.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>
#include <optional>
#include <string>

#include "display/lyricsmodel.h"

namespace tonvera {

class LineLrcView : public QWidget {
  Q_OBJECT
 public:
  explicit LineLrcView(QWidget* parent = nullptr);

  // The area for untimed lyrics (not owned; usually a sibling placed by the page).
  void setScrollView(QPlainTextEdit* scrollView);
  QPlainTextEdit* scrollView() const { return scrollView_; }

  // The raw LRC text (UTF-8; nothing: the track has no lyrics). Call processLrc afterwards.
  void setLrc(const std::optional<std::string>& text);
  // Parses the text and shows or hides the untimed area.
  void processLrc();
  void setTimestamp(double seconds) { model_.setTimestamp(seconds); }
  // Redraws when the line to show differs from the one drawn last.
  void display();

  const LineLrcModel& model() const { return model_; }
  // The timed line for the current timestamp, as text; empty without timed lyrics.
  QString currentLine();

  // The line's and the notice's fonts.
  static QFont lineFont();
  static QFont noticeFont();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  LineLrcModel model_;
  QPointer<QPlainTextEdit> scrollView_;
  std::optional<LineLrcModel::Choice> drawn_;
  bool dirty_ = true;
};

}  // namespace tonvera
