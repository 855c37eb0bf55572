#include "channels/ui/channelview.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPointer>

#include "controls/fonts.h"
#include "controls/geometry.h"
#include "controls/pageshapes.h"
#include "platform/mainqueue.h"
#include "platform/userdefaults.h"

namespace tonvera {
namespace {

constexpr const char* kStationChanged = "STATIONChanged";
constexpr const char* kSelectStation = "kSelectStation";
constexpr int kFontSize = 18;
// Bottom-up layout of the page.
const QRectF kTab(50, 200, 100, 26);
const QRectF kTitleBox(50, 198, 100, 26);
const QRectF kNamePlate(340, 24, 140, 30);
const QRectF kNameBox(340, 22, 140, 30);

}  // namespace

QString selectedStationName(UserDefaults& defaults) {
  const PlistValue::Dict station = defaults.dictionaryForKey(kSelectStation);
  auto it = station.find("name");
  return it == station.end() ? QString() : QString::fromStdString(it->second.toString());
}

ChannelView::ChannelView(UserDefaults* defaults, QWidget* parent)
    : MainView(parent), defaults_(defaults ? defaults : &UserDefaults::standard()) {
  resize(512, 256);
  stationObserver_ = ScopedObserver(NotificationCenter::defaultCenter(), kStationChanged, nullptr,
                                    [this](const Notification&) {
                                      if (isMainThread()) {
                                        getStationInfo();
                                      } else {
                                        runOnMain([view = QPointer<ChannelView>(this)] {
                                          if (view) view->getStationInfo();
                                        });
                                      }
                                    });
}

void ChannelView::getStationInfo() {
  update(
      geometry::frameFromBottomUp(kNameBox.x(), kNameBox.y(), kNameBox.width(), kNameBox.height(), height()));
}

void ChannelView::showEvent(QShowEvent* event) {
  MainView::showEvent(event);
  if (!shown_) {
    shown_ = true;
    if (firstShown_) firstShown_();
  }
}

void ChannelView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal h = height();
  const QColor plate = QColor::fromRgbF(0, 0, 0, 0.5f);
  painter.fillPath(tabPathWithPointer(kTab, h), plate);
  painter.fillPath(rectanglePath(kNamePlate, h), plate);

  const QFont font = systemFont(kFontSize);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(geometry::fromBottomUp(kTitleBox, h), Qt::AlignCenter, tr("公共频道"));
  const QRectF nameBox = geometry::fromBottomUp(kNameBox, h);
  painter.drawText(nameBox, Qt::AlignCenter | Qt::TextSingleLine,
                   QFontMetrics(font).elidedText(selectedStationName(*defaults_), Qt::ElideRight,
                                                 static_cast<int>(nameBox.width())));
}

}  // namespace tonvera
