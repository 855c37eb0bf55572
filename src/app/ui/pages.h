// The page controllers of the window's page list, one factory per page: the swap points where the
// pages built by their own modules take the place of the placeholders below (each placeholder is a
// page view with the page's background and nothing else).
//
//   index 0  makeMainViewController     now playing (placeholder: the page grid on the left, the
//                                        radio playing with the track's title and artists on the
//                                        right)
//   index 1  makeChannelViewController  channel wall (placeholder)
//   index 2  makePrivateViewController  private channel (placeholder: an empty PrivateView)
//   index 3  makeLoveViewController     favourites (LoveViewController)
//   index 4  makeHelpViewController     help (placeholder: an empty HelpView)
//   the preferences window: makePreferenceController (none yet)
//
// A page's view belongs to the window once it has been shown (the window is destroyed after the
// controllers): a controller that set itself as its view's observer (MainView::setObj) clears it in
// its destructor.
//
// Threads: main thread only.
#pragma once

#include <QWidget>
#include <memory>

#include "controls/pagecontroller.h"

namespace tonvera {

struct PageOptions {
  // The now-playing page starts the radio when it is created (the window's tests leave it off).
  bool playRadio = true;
};

std::unique_ptr<PageController> makeMainViewController(const PageOptions& options);
std::unique_ptr<PageController> makeChannelViewController(const PageOptions& options);
std::unique_ptr<PageController> makePrivateViewController(const PageOptions& options);
std::unique_ptr<PageController> makeLoveViewController(const PageOptions& options);
std::unique_ptr<PageController> makeHelpViewController(const PageOptions& options);

// The preferences window, created on its first showing; null while there is none.
std::unique_ptr<QWidget> makePreferenceController();

}  // namespace tonvera
