#include "taste/ui/privateview.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStringList>
#include <algorithm>

#include "controls/buttons.h"
#include "controls/fonts.h"
#include "controls/geometry.h"
#include "controls/pageshapes.h"
#include "platform/mainqueue.h"
#include "platform/userdefaults.h"

namespace tonvera {
namespace {

constexpr const char* kStationChanged = "STATIONChanged";
constexpr const char* kSelectStation = "kSelectStation";
constexpr int kLabelFontSize = 18;
constexpr int kDescriptionFontSize = 16;

// Bottom-up layout of the page.
const QRectF kBand(0, 66, 0, 120);  // width: the view's
const QRectF kTab(50, 200, 100, 26);
const QRectF kTitleBox(50, 198, 100, 26);
const QRectF kNamePlate(340, 24, 140, 30);
const QRectF kNameBox(340, 22, 140, 30);
const QRectF kStartLabel(355, 108, 100, 26);
const QRectF kAiLabel(95, 72, 100, 26);
const QRectF kEnLabel(260, 72, 100, 26);
const QRectF kAiSwitch(30, 76, 60, 20);
const QRectF kEnSwitch(190, 76, 60, 20);
// The description block: left edge, width, the line it is centred on, and the lowest its last line
// may reach (ten points above the switches' labels, so three lines do not crowd them).
constexpr qreal kDescriptionX = 55;
constexpr qreal kDescriptionWidth = 290;
constexpr qreal kDescriptionCentreY = 130;
constexpr qreal kDescriptionFloorY = 108;

bool onStartLabel(const QMouseEvent* event, qreal height) {
  return event->button() == Qt::LeftButton && geometry::fromBottomUp(kStartLabel, height).contains(event->position());
}

QRect frameOf(const QRectF& r, qreal parentHeight) {
  return geometry::frameFromBottomUp(r.x(), r.y(), r.width(), r.height(), parentHeight);
}

QString stationName(UserDefaults& defaults) {
  const PlistValue::Dict station = defaults.dictionaryForKey(kSelectStation);
  auto it = station.find("name");
  return it == station.end() ? QString() : QString::fromStdString(it->second.toString());
}

}  // namespace

QString PrivateView::description(bool recommendation, bool noEnglish) {
  QString text = tr("自动播放我喜欢的音乐内容\n");
  if (recommendation) text += tr("同时推荐一些可能符合我口味的音乐\n");
  if (noEnglish) text += tr("并且不要播放英文内容\n");
  return text;
}

PrivateView::PrivateView(UserDefaults* defaults, QWidget* parent)
    : MainView(parent), defaults_(defaults ? defaults : &UserDefaults::standard()) {
  resize(512, 256);
  aiSwitch_ = new SegControl(this, defaults_->boolForKey(kAiplayKey));
  aiSwitch_->setGeometry(frameOf(kAiSwitch, height()));
  aiSwitch_->addTarget([this](SegControl* sender) { updateState(sender); });
  enSwitch_ = new SegControl(this, defaults_->boolForKey(kEnplayKey));
  enSwitch_->setGeometry(frameOf(kEnSwitch, height()));
  enSwitch_->addTarget([this](SegControl* sender) { updateState(sender); });
  stationObserver_ = ScopedObserver(NotificationCenter::defaultCenter(), kStationChanged, nullptr,
                                    [this](const Notification&) {
                                      if (isMainThread()) {
                                        getStationInfo();
                                      } else {
                                        runOnMain([view = QPointer<PrivateView>(this)] {
                                          if (view) view->getStationInfo();
                                        });
                                      }
                                    });
}

void PrivateView::updateState(SegControl* sender) {
  const char* key = sender == aiSwitch_ ? kAiplayKey : kEnplayKey;
  defaults_->set(key, PlistValue(sender->state()));
  defaults_->synchronize();
  update();
}

void PrivateView::getStationInfo() { update(frameOf(kNameBox, height())); }

void PrivateView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal w = width();
  const qreal h = height();
  const QString text = description(aiSwitch_->state(), enSwitch_->state());

  const QColor plate = QColor::fromRgbF(0, 0, 0, 0.5f);
  painter.fillRect(geometry::fromBottomUp(kBand.x(), kBand.y(), w, kBand.height(), h), plate);
  painter.fillPath(tabPathWithPointer(kTab, h), plate);
  painter.fillPath(rectanglePath(kNamePlate, h), plate);

  const QFont labelFont = systemFont(kLabelFontSize);
  painter.setFont(labelFont);
  painter.setPen(Qt::white);
  auto centred = [&](const QRectF& box, const QString& s) {
    const QRectF r = geometry::fromBottomUp(box, h);
    painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine,
                     QFontMetrics(labelFont).elidedText(s, Qt::ElideRight, static_cast<int>(r.width())));
  };
  centred(kTitleBox, tr("私人频道"));
  centred(kNameBox, stationName(*defaults_));
  centred(kStartLabel, tr("启动播放"));
  centred(kAiLabel, tr("智能推荐"));
  centred(kEnLabel, tr("不想听英文"));
  centred(kTitleBox, tr("私人频道"));  // drawn a second time, as the title always was

  // The description: left-aligned lines clipped at the block's right edge, centred as a block on
  // y = 130 inside the band, raised when it would reach below the floor. Each line ends in "\n";
  // the last one opens no further line.
  QFont descriptionFont(QStringLiteral("Helvetica"));
  descriptionFont.setPixelSize(kDescriptionFontSize);
  painter.setFont(descriptionFont);
  const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
  const QFontMetricsF metrics(descriptionFont);
  const qreal height = metrics.lineSpacing() * lines.size();
  const qreal bottom = std::max(kDescriptionCentreY - height / 2, kDescriptionFloorY);
  const QRectF block = geometry::fromBottomUp(kDescriptionX, bottom, kDescriptionWidth, height, h);
  painter.save();
  painter.setClipRect(block);
  painter.drawText(block, Qt::AlignLeft | Qt::AlignTop, lines.join(u'\n'));
  painter.restore();
}

// A press on the start label is the label's own (not the start of a window drag); the release on it
// starts the private channel.
void PrivateView::mousePressEvent(QMouseEvent* event) {
  if (onStartLabel(event, height())) return event->accept();
  MainView::mousePressEvent(event);
}

void PrivateView::mouseReleaseEvent(QMouseEvent* event) {
  if (onStartLabel(event, height())) {
    event->accept();
    Q_EMIT startLabelClicked();
    return;
  }
  MainView::mouseReleaseEvent(event);
}

}  // namespace tonvera
