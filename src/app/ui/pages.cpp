#include "app/ui/pages.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <optional>
#include <string>

#include "app/ui/shellviews.h"
#include "channels/ui/channelviewcontroller.h"
#include "controls/controlview.h"
#include "controls/fonts.h"
#include "controls/geometry.h"
#include "controls/pageviews.h"
#include "controls/tabview.h"
#include "help/helpviewcontroller.h"
#include "keys/ui/preferencecontroller.h"
#include "platform/userdefaults.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "radio/ui/nowplayingcontroller.h"
#include "taste/ui/privateviewcontroller.h"

namespace tonvera {
namespace {

// A placeholder page: the page view and nothing else.
template <typename V>
std::unique_ptr<PageController> placeholder() {
  return std::make_unique<SimplePageController<V>>();
}

// The favourites page's placeholder: its view with the side menu at the page's origin.
class LovePlaceholder : public SimplePageController<LoveView> {
 public:
  LovePlaceholder() { new TabView(pageView()); }
};

}  // namespace

std::unique_ptr<PageController> makeMainViewController(const PageOptions& options) {
  // The window's tests leave the radio off; the program starts it with the page.
  return std::make_unique<NowPlayingController>(nullptr, MainViewController::Options{}, options.playRadio);
}

std::unique_ptr<PageController> makeChannelViewController(const PageOptions&) {
  return std::make_unique<ChannelViewController>();
}

std::unique_ptr<PageController> makePrivateViewController(const PageOptions&) {
  return std::make_unique<PrivateViewController>();
}

std::unique_ptr<PageController> makeLoveViewController(const PageOptions&) {
  return std::make_unique<LovePlaceholder>();
}

std::unique_ptr<PageController> makeHelpViewController(const PageOptions&) {
  return std::make_unique<HelpViewController>();
}

std::unique_ptr<QWidget> makePreferenceController() {
  return std::make_unique<PreferenceController>(UserDefaults::standard());
}

}  // namespace tonvera
