// Keeps what the session bus shows of the radio (track, playback state) in step with the
// now-playing page: the page's controller reports each track shown and each state of its player,
// and the media-key tap publishes them.
//
// Threads: main thread only.
#pragma once

namespace tonvera {

class PageController;
class SPMediaKeyTap;

// Follows the now-playing page's radio when `page` is the now-playing page; otherwise nothing.
void feedMediaKeyTap(PageController& page, SPMediaKeyTap& tap);

}  // namespace tonvera
