// Keeps what the session bus and the tray show of the radio in step with the now-playing page:
// the track with its cached cover and its length, the playback state, the like, and the lyrics
// line being sung (each announced as it changes); the position, read from the player when asked;
// seeks, which take the page's own seek (the slider's).
//
// The player has no volume of its own (the output queue's gain is its fades'), so no volume hook
// is given: the bus shows 1.0 and ignores writes.
//
// Threads: main thread only.
#pragma once

#include <functional>

namespace tonvera {

class PageController;
class SPMediaKeyTap;

// Follows the now-playing page's radio when `page` is the now-playing page; otherwise nothing.
// The feed lives as long as the tap (or the page, whichever goes first).
void feedMediaKeyTap(PageController& page, SPMediaKeyTap& tap);

// The page's like button acting on the track playing (like, or take the like back); an empty
// function when `page` is not the now-playing page.
std::function<void()> likeTrackAction(PageController& page);

}  // namespace tonvera
