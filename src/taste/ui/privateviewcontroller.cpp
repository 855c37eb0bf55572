#include "taste/ui/privateviewcontroller.h"

#include "controls/buttons.h"
#include "controls/geometry.h"
#include "controls/navigator.h"
#include "controls/resources.h"
#include "platform/notificationcenter.h"
#include "taste/ui/privateview.h"

namespace tonvera {
namespace {

constexpr const char* kStationChanged = "STATIONChanged";
// The sprite sheet of the start button: 7 columns, 2 rows.
constexpr int kSheetColumns = 7;
constexpr int kSheetRows = 2;
constexpr qreal kButtonX = 445;
constexpr qreal kButtonY = 105;

}  // namespace

PrivateViewController::PrivateViewController(UserDefaults* defaults) {
  view_ = new PrivateView(defaults);
  awakeFromNib();
}

PrivateViewController::~PrivateViewController() {
  if (!view_) return;
  if (view_->parent() == nullptr) {
    delete view_.data();
  } else {
    // The window keeps the view; no calls back to us.
    if (playButton_) playButton_->addTarget([](NovaColorButton*) {});
    QObject::disconnect(view_, &PrivateView::startLabelClicked, nullptr, nullptr);
  }
}

QWidget* PrivateViewController::view() { return view_; }

PrivateView* PrivateViewController::privateView() const { return view_; }

NovaColorButton* PrivateViewController::playButton() const { return playButton_; }

void PrivateViewController::awakeFromNib() {
  auto sheet = ResourcePicture::load(QStringLiteral("CONTROL.png"));
  // Without the sheet the button has no picture and no size.
  const QSizeF cell = sheet
                          ? QSizeF(sheet->size().width() / kSheetColumns, sheet->size().height() / kSheetRows)
                          : QSizeF(0, 0);
  playButton_ = new NovaColorButton(view_);
  playButton_->setGeometry(
      geometry::frameFromBottomUp(kButtonX, kButtonY, cell.width(), cell.height(), view_->height()));
  playButton_->setImage(sheet, QRectF(0, 0, cell.width(), cell.height()));
  playButton_->addTarget([this](NovaColorButton*) { playAction(); });
  QObject::connect(view_, &PrivateView::startLabelClicked, view_, [this] { playAction(); });
}

void PrivateViewController::playAction() {
  NotificationCenter::defaultCenter().post(kStationChanged, this,
                                           PlistValue(PlistValue::Dict{{"6", PlistValue("xxxx")}}));
  if (PageNavigator* navigator = appNavigator()) navigator->showMain();
}

}  // namespace tonvera
