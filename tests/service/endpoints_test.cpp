// The endpoint catalogue: base URL from the environment and the paths of every entry.
#include <gtest/gtest.h>

#include <cstdlib>

#include "service/endpoints.h"

namespace tonvera {
namespace {

TEST(Endpoints, BaseUrlFromEnvironmentElseCompiledIn) {
  ::unsetenv("TONVERA_SERVICE_URL");
  EXPECT_EQ(serviceBaseURL(), "http://127.0.0.1:7650");
  ::setenv("TONVERA_SERVICE_URL", "", 1);
  EXPECT_EQ(serviceBaseURL(), "http://127.0.0.1:7650");
  ::setenv("TONVERA_SERVICE_URL", "http://example.test:81//", 1);
  EXPECT_EQ(serviceBaseURL(), "http://example.test:81");
  ::setenv("TONVERA_SERVICE_URL", "http://10.0.0.2:7650", 1);
  EXPECT_EQ(serviceBaseURL(), "http://10.0.0.2:7650");
}

TEST(Endpoints, Catalogue) {
  ::setenv("TONVERA_SERVICE_URL", "http://s", 1);
  struct P {
    std::string url;
    const char* expected;
  };
  const P table[] = {
      {selectedChannelsURL(), "http://s/radios/selected.json"},
      {channelPlayURL("12"), "http://s/radios/12/play.json"},
      {privateChannelURL(), "http://s/radios/play"},
      {channelImagesURL("12"), "http://s/radios/12/images.json"},
      {trackPlayURL("1773208"), "http://s/tracks/1773208/play.json"},
      {albumImagesURL("55"), "http://s/albums/55/images.json"},
      {artistImagesURL("9"), "http://s/artists/9/images"},
      {searchURL("artists", "abc", 0, 25), "http://s/artists/search.json?q=abc&start=0&offset=25"},
      {searchURL("tracks", "a%20b", 10, 5), "http://s/tracks/search.json?q=a%20b&start=10&offset=5"},
      {artistSimilarURL("9"), "http://s/artists/9/similar"},
      {statsURL(), "http://s/stats"},
  };
  for (const auto& p : table) EXPECT_EQ(p.url, p.expected);
}

TEST(Endpoints, PrivateChannelBody) {
  EXPECT_EQ(privateChannelBody({}, {}), "similar=1&id=");
  EXPECT_EQ(privateChannelBody({"t1", "t2"}, {}), "similar=1&id=t1,t2,");
  EXPECT_EQ(privateChannelBody({"t1"}, {"a1", "a2"}), "similar=1&id=t1,a1,a2,");
  EXPECT_EQ(privateChannelBody({}, {"a1"}), "similar=1&id=a1,");
}

}  // namespace
}  // namespace tonvera
