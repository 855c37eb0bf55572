#include "keys/mediakeys.h"

namespace tonvera {

MediaKeyEvent MediaKeyEvent::fromData1(std::uint32_t data1) {
  MediaKeyEvent event;
  event.keyCode = static_cast<int>((data1 & 0xFFFF0000u) >> 16);
  event.keyDown = ((data1 & 0x0000FF00u) >> 8) == 0x0A;
  event.isRepeat = (data1 & 0x1u) != 0;
  return event;
}

std::vector<std::string> defaultMediaKeyUserBundleIdentifiers() {
  return {
      "org.tonvera.Tonvera",
      "org.gnome.Rhythmbox3",
      "org.gnome.Lollypop",
      "org.gnome.Music",
      "io.bassi.Amberol",
      "org.strawberrymusicplayer.strawberry",
      "org.clementine_player.Clementine",
      "org.kde.elisa",
      "org.kde.amarok",
      "audacious",
      "deadbeef",
      "quodlibet",
      "exaile",
      "vlc",
      "mpv",
      "spotify",
  };
}

}  // namespace tonvera
