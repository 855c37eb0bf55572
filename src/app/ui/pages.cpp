#include "app/ui/pages.h"

#include <QSystemTrayIcon>

#include "channels/ui/channelviewcontroller.h"
#include "help/helpviewcontroller.h"
#include "keys/ui/preferencecontroller.h"
#include "platform/userdefaults.h"
#include "radio/mainviewcontroller.h"
#include "radio/ui/nowplayingcontroller.h"
#include "taste/ui/loveviewcontroller.h"
#include "taste/ui/privateviewcontroller.h"

namespace tonvera {

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
  return std::make_unique<LoveViewController>();
}

std::unique_ptr<PageController> makeHelpViewController(const PageOptions&) {
  return std::make_unique<HelpViewController>();
}

std::unique_ptr<QWidget> makePreferenceController() {
  return std::make_unique<PreferenceController>(UserDefaults::standard(), nullptr,
                                                QSystemTrayIcon::isSystemTrayAvailable());
}

}  // namespace tonvera
