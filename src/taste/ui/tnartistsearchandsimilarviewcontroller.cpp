#include "taste/ui/tnartistsearchandsimilarviewcontroller.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "controls/fonts.h"
#include "controls/geometry.h"
#include "taste/ui/artistsearchview.h"
#include "taste/ui/tnartistrecommendview.h"

namespace tonvera {

ChangeBgBtn::ChangeBgBtn(const QRect& frame, QWidget* parent) : QWidget(parent) {
  setGeometry(frame);
  setCursor(Qt::PointingHandCursor);
}

void ChangeBgBtn::configTitle(const QString& title) {
  title_ = title;
  update();
}

void ChangeBgBtn::setIsSelect(bool isSelect) {
  if (isSelect == isSelect_) return;
  isSelect_ = isSelect;
  update();
}

void ChangeBgBtn::mousePressEvent(QMouseEvent* event) { pressed_ = event->button() == Qt::LeftButton; }

void ChangeBgBtn::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click && action_) action_(this);
}

void ChangeBgBtn::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal h = height();
  if (isSelect_) {
    // A tab over (0, 7, w, h - 7) with a 12-point pointer hanging 7 points from its lower edge.
    const qreal x = 0, y = 7, w = width(), th = h - 7;
    const auto p = [h](qreal px, qreal py) { return geometry::toBottomUp(QPointF(px, py), h); };
    QPainterPath path;
    path.moveTo(p(x, y));
    path.lineTo(p(x + w / 2 - 6, y));
    path.lineTo(p(x + w / 2, y - 7));
    path.lineTo(p(x + w / 2 + 6, y));
    path.lineTo(p(x + w, y));
    path.lineTo(p(x + w, y + th));
    path.lineTo(p(x, y + th));
    path.closeSubpath();
    painter.fillPath(path, QColor(255, 160, 64));
  }
  painter.setPen(isSelect_ ? Qt::white : Qt::black);
  painter.setFont(systemFont(14));
  painter.drawText(geometry::fromBottomUp(0, 4, 80, 20, h), Qt::AlignCenter, title_);
}

TNArtistSearchAndSimilarViewController::TNArtistSearchAndSimilarViewController(const QRect& frame,
                                                                               QWidget* parent)
    : QWidget(parent) {
  setGeometry(frame);
  const int w = frame.width();
  const int h = frame.height();
  const QRect below = geometry::frameFromBottomUp(0, 0, w, h - kBarHeight, h);
  searchArtist_ = new ArtistSearchView(below, this);
  recommendArtistsListView_ = new TNArtistRecommendView(below, this);
  searchArtist_->hide();

  tuicontainView_ = new QWidget(this);
  tuicontainView_->setGeometry(geometry::frameFromBottomUp(0, h - kBarHeight, w, kBarHeight, h));
  tuicontainView_->setAutoFillBackground(true);
  QPalette pal = tuicontainView_->palette();
  pal.setColor(QPalette::Window, Qt::white);
  tuicontainView_->setPalette(pal);

  const auto action = [this](ChangeBgBtn* sender) { buttonAction(sender); };
  myLoveBtn_ = new ChangeBgBtn(geometry::frameFromBottomUp(102, 2, 82, 28, kBarHeight), tuicontainView_);
  myLoveBtn_->configTitle(tr("可能喜欢"));
  myLoveBtn_->setTag(99);
  myLoveBtn_->setIsSelect(true);
  myLoveBtn_->addTarget(action);
  searchBtn_ = new ChangeBgBtn(geometry::frameFromBottomUp(204, 2, 82, 28, kBarHeight), tuicontainView_);
  searchBtn_->configTitle(tr("搜索艺人"));
  searchBtn_->setTag(100);
  searchBtn_->addTarget(action);
}

void TNArtistSearchAndSimilarViewController::buttonAction(ChangeBgBtn* sender) {
  const bool search = sender == searchBtn_;
  searchBtn_->setIsSelect(search);
  myLoveBtn_->setIsSelect(!search);
  searchArtist_->setVisible(search);
  recommendArtistsListView_->setVisible(!search);
}

}  // namespace tonvera
