// The now-playing page's own view and its text fields. NowPlayingView is the page's MainView: it
// paints the light panel of the right half on which the track's texts, the readout, the slider and
// the lyrics line stand (their colours are dark, so they need a light ground whatever the window's
// background is). TextField is a one-line text that cuts a text too long for it with an ellipsis.
//
// Threads: main thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "controls/kktrackview.h"

namespace tonvera {

class NowPlayingView : public MainView {
  Q_OBJECT
 public:
  static constexpr int kWidth = 512;
  static constexpr int kHeight = 256;
  static constexpr int kHalf = 256;

  explicit NowPlayingView(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TextField : public QWidget {
  Q_OBJECT
 public:
  explicit TextField(QWidget* parent = nullptr);
  void setText(const QString& text);
  const QString& text() const { return text_; }
  void setTextColor(const QColor& color);
  const QColor& textColor() const { return color_; }
  void setTextFont(const QFont& font);
  void setAlignment(Qt::Alignment alignment);
  // Width of the whole text in the field's font (points).
  qreal textWidth() const;
  // The text as drawn: cut with an ellipsis only when it does not fit the field's width.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  QColor color_ = Qt::black;
  QFont font_;
  Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

}  // namespace tonvera
