#include "radio/trackfilter.h"

#include "radio/titlerules.h"

namespace tonvera {

bool isEnglishSong(std::string_view artistText, std::string_view title) {
  const auto artist = makeVeryPureText(artistText);
  if (artist && isEnglishArtis(std::string_view(*artist))) return true;
  const auto name = makeVeryPureText(title);
  return name && isEnglish(std::string_view(*name));
}

bool shouldSkipTrack(std::string_view artistText, std::string_view title, bool noEnglish, bool disliked) {
  if (noEnglish && isEnglishSong(artistText, title)) return true;
  return disliked;
}

}  // namespace tonvera
