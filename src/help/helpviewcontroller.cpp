#include "help/helpviewcontroller.h"

#include <QPainter>
#include <QPropertyAnimation>
#include <memory>

#include "controls/buttons.h"
#include "controls/geometry.h"
#include "controls/navigator.h"
#include "controls/pageviews.h"
#include "controls/resources.h"

namespace tonvera {
namespace {

constexpr int kPageWidth = 512;
constexpr int kPageHeight = 256;

// One band of the guide sheet, drawn at the screen's scale.
class GuidePictureView : public QWidget {
 public:
  GuidePictureView(std::shared_ptr<const ResourcePicture> sheet, QRectF band, QWidget* parent)
      : QWidget(parent), sheet_(std::move(sheet)), band_(band) {
    setAttribute(Qt::WA_TransparentForMouseEvents);  // the page behind follows the pointer
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!sheet_) return;
    QPainter painter(this);
    const QPixmap band = sheet_->cut(band_, painter.device()->devicePixelRatioF());
    painter.drawPixmap(rect(), band, QRectF(QPointF(0, 0), QSizeF(band.size())));
  }

 private:
  std::shared_ptr<const ResourcePicture> sheet_;
  QRectF band_;
};

}  // namespace

HelpViewController::HelpViewController() : view_(new HelpView) {
  view_->resize(kPageWidth, kPageHeight);
  awakeFromNib();
}

HelpViewController::~HelpViewController() {
  if (view_ && view_->parent() == nullptr) delete view_.data();
}

QWidget* HelpViewController::view() { return view_.data(); }

void HelpViewController::awakeFromNib() {
  index_ = 0;
  configSlide();
  configControl();
}

void HelpViewController::configSlide() {
  const auto sheet = ResourcePicture::load(QStringLiteral("GUILD.png"));
  // Without the sheet the page still works: empty pictures of the page's size.
  const qreal w = sheet ? sheet->size().width() : kPageWidth;
  const qreal h = sheet ? sheet->size().height() / 5 : kPageHeight;
  for (int k = 0; k < kPictures; ++k) {
    // Band k counted from the top of the sheet, as a rectangle counted from its bottom.
    const qreal sheetHeight = sheet ? sheet->size().height() : 5 * h;
    const QRectF band(0, sheetHeight - (k + 1) * h, w, h);
    auto* picture = new GuidePictureView(sheet, band, view_);
    picture->setGeometry(geometry::frameFromBottomUp(w * k, kPageHeight - h, w, h, kPageHeight));
    imageViewArray_[static_cast<size_t>(k)] = picture;
  }
}

void HelpViewController::configControl() {
  const auto controls = ResourcePicture::load(QStringLiteral("CONTROL.png"));
  const auto act = [this](NovaColorButton* sender) { changeIndex(sender); };
  for (int k = 0; k < kPictures; ++k) {
    auto* dot = new StateButton(view_);
    dot->setGeometry(geometry::frameFromBottomUp(207 + 26 * k, 20, 20, 20, kPageHeight));
    dot->setTag(k);
    dot->setImage(controls, QRectF(20, 60, 20, 20));
    dot->setOnImage(controls, QRectF(0, 60, 20, 20));
    dot->setColor1Color2(QColor(Qt::black), QColor(Qt::black));
    dot->setOnColor(QColor(Qt::black));
    dot->setOn(k == 0);
    dot->addTarget(act);
    buttonsArray_[static_cast<size_t>(k)] = dot;
  }
  const QColor orange = QColor::fromRgbF(1.0f, 0.5f, 0.0f, 1.0f);
  prevButton_ = new NovaToggleButton(view_);
  prevButton_->setGeometry(geometry::frameFromBottomUp(152, 10, 40, 40, kPageHeight));
  prevButton_->setImage(controls, QRectF(40, 40, 40, 40));
  nextButton_ = new NovaToggleButton(view_);
  nextButton_->setGeometry(geometry::frameFromBottomUp(320, 10, 40, 40, kPageHeight));
  nextButton_->setImage(controls, QRectF(80, 40, 40, 40));
  nextButton_->setOnImage(controls, QRectF(120, 40, 40, 40));
  for (NovaToggleButton* arrow : {prevButton_, nextButton_}) {
    arrow->setColors(QColor::fromRgbF(0, 0, 0, 0.6f), QColor(Qt::black), orange);
    arrow->addTarget(act);
  }
}

void HelpViewController::changeIndex(NovaColorButton* sender) {
  int next = index_;
  if (sender == prevButton_) {
    next = std::max(index_ - 1, 0);
  } else if (sender == nextButton_) {
    if (index_ == kPictures - 1) {
      if (PageNavigator* nav = appNavigator()) nav->showMain();
      nextButton_->setOn(true);  // the arrow flipped itself on release; the last picture keeps it on
      return;
    }
    next = index_ + 1;
  } else if (sender != nullptr) {
    next = sender->tag();
  }
  nextButton_->setOn(next == kPictures - 1);
  prevButton_->setOn(false);  // the previous arrow has no on-look; keep it plain
  if (next != index_) {
    // Each picture moves by its width times the change of index. Counted from where the strip
    // is heading, so a press during a move ends in the right place too.
    for (int k = 0; k < kPictures; ++k) {
      QWidget* picture = imageViewArray_[static_cast<size_t>(k)];
      for (auto* running : picture->findChildren<QPropertyAnimation*>()) running->stop();
      auto* move = new QPropertyAnimation(picture, "pos", picture);
      move->setDuration(kAnimationMs);
      move->setEndValue(QPoint(picture->width() * (k - next), picture->y()));
      move->start(QAbstractAnimation::DeleteWhenStopped);
    }
    index_ = next;
  }
  for (int k = 0; k < kPictures; ++k) {
    buttonsArray_[static_cast<size_t>(k)]->setOn(k == index_);
  }
}

}  // namespace tonvera
