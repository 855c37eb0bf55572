#pragma once
// The music service's endpoints. Every path follows the service base URL; the functions only format
// text (ids are put in unchanged); JsonCall escapes the whole URL when it sends it.
//
//   #  method  path                                         sent with          reply keys read
//   1  GET     /radios/selected.json                        JsonCall::call     entries[] {id, name}
//   2  GET     /radios/<channel id>/play.json               JsonCall::call     tracks[]
//   3  POST    /radios/play  (form body, see below)         JsonCall::down     tracks[]
//   4  GET     /radios/<channel id>/images.json             JsonCall::call     l
//   5  GET     /tracks/<track id>/play.json                 JsonCall::call     the track record
//   6  GET     /albums/<album id>/images.json               JsonCall::call     h
//   7  GET     /artists/<artist id>/images                  JsonCall::call     h
//   8  GET     /<kind>/search.json?q=..&start=..&offset=..  JsonCall::call     entries[], err_code
//   9  GET     /artists/<artist id>/similar                 JsonCall::down     entries[]
//  10  POST    /stats  (usage reports; sent by the reporter with its own request code)
//
// Threads: any thread.

#include <string>
#include <string_view>
#include <vector>

namespace tonvera {

// Compiled-in address of the service (the bundled station's default).
inline constexpr const char* kDefaultServiceBaseURL = "http://127.0.0.1:7650";

// $TONVERA_SERVICE_URL when set and not empty, else kDefaultServiceBaseURL; never ends with "/".
std::string serviceBaseURL();

std::string selectedChannelsURL();                              // 1
std::string channelPlayURL(std::string_view channelId);         // 2
std::string privateChannelURL();                                // 3
std::string channelImagesURL(std::string_view channelId);       // 4
std::string trackPlayURL(std::string_view trackId);             // 5
std::string albumImagesURL(std::string_view albumId);           // 6
std::string artistImagesURL(std::string_view artistId);         // 7
// 8: kind "tracks", "artists" or "albums"; `query` is put in as given (the caller encodes it).
std::string searchURL(std::string_view kind, std::string_view query, int start, int offset);
std::string artistSimilarURL(std::string_view artistId);        // 9
std::string statsURL();                                         // 10

// The form body of request 3: "similar=1&id=" followed by every liked track id and then every liked
// artist id, each followed by "," ("similar=1&id=" alone when both lists are empty).
std::string privateChannelBody(const std::vector<std::string>& likedTrackIds,
                               const std::vector<std::string>& likedArtistIds);

}  // namespace tonvera
