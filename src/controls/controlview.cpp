#include "controls/controlview.h"

#include "controls/buttons.h"
#include "controls/geometry.h"
#include "controls/navigator.h"
#include "controls/resources.h"

namespace tonvera {

ControlView::ControlView(QWidget* parent) : QWidget(parent) {
  resize(kSide, kSide);
  configButtons();
}

void ControlView::configButtons() {
  const auto sheet = ResourcePicture::load(QStringLiteral("CUBEICON.png"));
  const qreal s = sheet ? sheet->size().width() / 9 : 0;
  const auto layout = resourcePlist(QStringLiteral("resource.plist"));
  const PlistValue::Array* entries = layout ? &layout->array() : nullptr;
  const QColor orange = QColor::fromRgbF(1.0f, 0.5f, 0.0f, 1.0f);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int i = 3 * r + c;
      auto* button = new NovaControlButton(this);
      button->setGeometry(geometry::frameFromBottomUp(86 * c, 86 * r, 84, 84, kSide));
      button->setTag(i);
      std::int64_t p = -1;
      if (entries != nullptr && i < static_cast<int>(entries->size())) {
        if (const PlistValue* position = (*entries)[static_cast<size_t>(i)].find("position")) {
          p = position->toInteger(-1);
        }
      }
      if (p >= 0 && sheet) {
        button->setImage(sheet, QRectF(static_cast<qreal>(p) * s, 0, s, s));
      } else {
        button->setTag(1);  // an empty square that does nothing
      }
      button->setColor2(orange);
      addButton(button);
    }
  }
}

void ControlView::addButton(NovaColorButton* button) {
  button->addTarget([this](NovaColorButton* sender) { buttonAction(sender); });
  button->setParent(this);
}

void ControlView::buttonAction(NovaColorButton* sender) {
  PageNavigator* nav = appNavigator();
  if (nav == nullptr || sender == nullptr) {
    return;
  }
  // The page slides in over the grid: the centre's caption must not outlast it.
  if (sender->tag() != 2) {
    for (auto* square : findChildren<NovaControlButton*>()) {
      if (square->tag() == 4) square->setText(QString());
    }
  }
  switch (sender->tag()) {
    case 0:
      nav->selectViewControllerIndex(4);
      break;
    case 2:
      nav->showPreferencePanel();
      break;
    case 6:
      nav->selectViewControllerIndex(1);
      break;
    case 7:
      nav->selectViewControllerIndex(2);
      break;
    case 8:
      nav->selectViewControllerIndex(3);
      break;
    case 100:
      nav->terminate();
      break;
    default:
      break;  // the login square and the empty ones lead nowhere
  }
}

}  // namespace tonvera
