#include "service/endpoints.h"

#include "platform/fileutil.h"

namespace tonvera {

namespace {
std::string join(std::string_view a, std::string_view b, std::string_view c) {
  std::string s = serviceBaseURL();
  s.append(a).append(b).append(c);
  return s;
}
}  // namespace

std::string serviceBaseURL() {
  std::string base = environment("TONVERA_SERVICE_URL").value_or(kDefaultServiceBaseURL);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

std::string selectedChannelsURL() { return join("/radios/selected.json", "", ""); }
std::string channelPlayURL(std::string_view channelId) { return join("/radios/", channelId, "/play.json"); }
std::string privateChannelURL() { return join("/radios/play", "", ""); }
std::string channelImagesURL(std::string_view channelId) { return join("/radios/", channelId, "/images.json"); }
std::string trackPlayURL(std::string_view trackId) { return join("/tracks/", trackId, "/play.json"); }
std::string albumImagesURL(std::string_view albumId) { return join("/albums/", albumId, "/images.json"); }
std::string artistImagesURL(std::string_view artistId) { return join("/artists/", artistId, "/images"); }
std::string artistSimilarURL(std::string_view artistId) { return join("/artists/", artistId, "/similar"); }
std::string statsURL() { return join("/stats", "", ""); }

std::string searchURL(std::string_view kind, std::string_view query, int start, int offset) {
  std::string s = join("/", kind, "/search.json?q=");
  s.append(query);
  s.append("&start=").append(std::to_string(start));
  s.append("&offset=").append(std::to_string(offset));
  return s;
}

std::string privateChannelBody(const std::vector<std::string>& likedTrackIds,
                               const std::vector<std::string>& likedArtistIds) {
  std::string body = "similar=1&id=";
  for (const auto& id : likedTrackIds) body.append(id).push_back(',');
  for (const auto& id : likedArtistIds) body.append(id).push_back(',');
  return body;
}

}  // namespace tonvera
