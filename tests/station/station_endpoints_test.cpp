// Every endpoint over real HTTP, asked the way the player asks (JsonCall and the endpoint
// catalogue), checking every key the player reads; every track's stream with its content type.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <set>

#include "platform/fileutil.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "station_fixture.h"

namespace tonvera::station {
namespace {

using test::RunningStation;

class StationEndpoints : public ::testing::Test {
 protected:
  void SetUp() override { setenv("TONVERA_SERVICE_URL", station.base().c_str(), 1); }
  void TearDown() override { unsetenv("TONVERA_SERVICE_URL"); }

  // A URL the station handed out: absolute, pointing back at it, and unchanged by the escaping the
  // player applies before using it.
  void expectOwnUrl(const std::string& url) {
    EXPECT_EQ(url.rfind(station.base() + "/", 0), 0u) << url;
    EXPECT_EQ(JsonCall::percentEscape(url), url);
  }

  std::string artistId(const std::string& name) {
    for (const auto& a : station.server().library()->artists())
      if (a.name == name) return a.id;
    ADD_FAILURE() << "no artist " << name;
    return {};
  }

  RunningStation station;
};

TEST_F(StationEndpoints, CatalogueListsAllThenGenresWithQueuesOfKnownTracks) {
  auto reply = JsonCall::call(selectedChannelsURL());
  ASSERT_TRUE(reply && reply->isObject());
  const auto& entries = (*reply)["entries"].array();
  ASSERT_GE(entries.size(), 5u);
  EXPECT_EQ(entries[0]["id"].toString(), "all");
  EXPECT_EQ(entries[0]["name"].toString(), "全部");
  std::set<std::string> names;
  for (const auto& channel : entries) {
    const std::string id = channel["id"].toString();
    names.insert(channel["name"].toString());
    auto queue = JsonCall::call(channelPlayURL(id));
    ASSERT_TRUE(queue && queue->isObject()) << id;
    const auto& tracks = (*queue)["tracks"].array();
    const auto size = static_cast<std::size_t>(channel["track_count"].toInteger());
    EXPECT_EQ(tracks.size(), std::min<std::size_t>(size, 10)) << id;
    std::set<std::string> seen;
    for (const auto& t : tracks) {
      seen.insert(t.toString());
      EXPECT_TRUE(station.server().library()->trackIndex(t.toString()));
    }
    EXPECT_EQ(seen.size(), tracks.size());
  }
  for (const char* genre : {"流行", "摇滚", "民谣", "爵士", "电子"}) EXPECT_TRUE(names.count(genre)) << genre;
}

TEST_F(StationEndpoints, TrackRecordsCarryEveryKeyAndWorkingUrls) {
  const auto lib = station.server().library();
  for (const auto& track : lib->tracks()) {
    SCOPED_TRACE(track.title);
    auto record = JsonCall::call(trackPlayURL(track.id));
    ASSERT_TRUE(record && record->isObject());
    const auto& r = *record;
    EXPECT_EQ(r["id"].toString(), track.id);
    EXPECT_EQ(r["name"].toString(), track.title);
    ASSERT_TRUE(r["artist"].isArray());
    ASSERT_EQ(r["artist"].array().size(), track.artists.size());
    for (std::size_t i = 0; i < track.artists.size(); ++i) {
      EXPECT_EQ(r["artist"][i]["id"].toString(), lib->artists()[track.artists[i]].id);
      EXPECT_EQ(r["artist"][i]["name"].toString(), lib->artists()[track.artists[i]].name);
    }
    EXPECT_GT(r["album"]["id"].toString().size(), 4u);
    EXPECT_EQ(r["album"]["name"].toString(), lib->albums()[track.album].name);
    ASSERT_EQ(r["url"].array().size(), 1u);
    const std::string stream = r["url"][0].toString();
    expectOwnUrl(stream);
    auto res = station.client()->Get(stream.substr(station.base().size()));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Content-Type"), track.format == AudioFormat::Mp3 ? "audio/mpeg" : "audio/aac");
    EXPECT_EQ(res->get_header_value("Accept-Ranges"), "bytes");
    auto file = readFile(track.path);
    ASSERT_TRUE(file);
    EXPECT_EQ(res->body, file->substr(track.audioBegin, track.audioEnd - track.audioBegin));
    if (track.format == AudioFormat::Aac) {  // frames from the first byte
      EXPECT_EQ(static_cast<unsigned char>(res->body.at(0)), 0xFF);
      EXPECT_EQ(static_cast<unsigned char>(res->body.at(1)) & 0xF6, 0xF0);
    }
    ASSERT_TRUE(r["lrc"].isArray());
    const std::string lyrics = r["lrc"][0][2].toString();
    expectOwnUrl(lyrics);
    auto text = JsonCall::down(lyrics, std::nullopt, false);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->rfind("[ti:" + track.title + "]", 0), 0u);
    EXPECT_NEAR(r["duration"].toReal(), 2.5, 0.15);
  }
}

// (Album covers: the listener's flow test.)
TEST_F(StationEndpoints, PicturesOfChannelsAndArtists) {
  const auto lib = station.server().library();
  auto fetchPicture = [&](const std::string& infoUrl, const char* key) {
    auto info = JsonCall::call(infoUrl);
    EXPECT_TRUE(info && info->isObject()) << infoUrl;
    if (!info) return QImage();
    const std::string url = (*info)[key].toString();
    expectOwnUrl(url);
    auto bytes = JsonCall::down(url, std::nullopt, false);
    EXPECT_TRUE(bytes) << url;
    if (!bytes) return QImage();
    return QImage::fromData(QByteArray::fromStdString(*bytes));
  };
  for (const auto& channel : lib->channels())
    EXPECT_EQ(fetchPicture(channelImagesURL(channel.id), "l").size(), QSize(240, 240)) << channel.name;
  for (const auto& artist : lib->artists()) {
    QImage image = fetchPicture(artistImagesURL(artist.id), "h");
    // artist.jpg is 480 x 320; a guest without a folder shows an album cover.
    EXPECT_TRUE(image.size() == QSize(480, 320) || image.size() == QSize(500, 500)) << artist.name;
  }
}

// What matches, and in which order, is the library's search; here the records, paging and errors.
TEST_F(StationEndpoints, SearchAsThePlayerEncodesIt) {
  // Keys escaped twice (as earlier players sent them) are still understood.
  auto search = [&](const char* kind, const std::string& key, int start, int offset) {
    auto reply = JsonCall::call(searchURL(kind, JsonCall::percentEscape(key), start, offset));
    EXPECT_TRUE(reply && (*reply)["err_code"].toInteger(-1) == 0) << kind << " " << key;
    return reply ? *reply : JsonValue();
  };
  const auto artist = search("artists", "林夏", 0, 25)["entries"];
  ASSERT_EQ(artist.array().size(), 1u);
  EXPECT_EQ(artist[0]["id"].toString(), artistId("林夏"));
  const auto track = search("tracks", "夏日", 0, 25)["entries"][0];
  EXPECT_EQ(track["name"].toString(), "夏日来信");
  expectOwnUrl(track["url"][0].toString());
  const auto album = search("albums", "lanterns", 0, 25)["entries"];
  ASSERT_EQ(album.array().size(), 1u);
  EXPECT_EQ(album[0]["name"].toString(), "Paper Lanterns");
  EXPECT_EQ(album[0]["artist"][0]["name"].toString(), "Echo Park");

  // Paging over every artist.
  const auto total = station.server().library()->artists().size();
  const auto page = search("artists", "", 0, 4);
  EXPECT_EQ(page["entries"].array().size(), 4u);
  EXPECT_EQ(page["total"].toUnsigned(), total);
  const auto rest = search("artists", "", 4, 25);
  EXPECT_EQ(rest["entries"].array().size(), total - 4);
  EXPECT_TRUE(search("artists", "", 1000, 25)["entries"].array().empty());

  // Malformed queries, and a key that is not UTF-8 once the HTTP escapes are undone: status 400 and a
  // non-zero err_code.
  for (const char* path : {"/artists/search.json?start=0&offset=25", "/artists/search.json?q=a&start=x&offset=25",
                           "/artists/search.json?q=a&start=0&offset=-1", "/artists/search.json?q=a&start=0&offset=101",
                           "/artists/search.json?q=%FF&start=0&offset=2"}) {
    auto res = station.client()->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 400) << path;
    auto bad = parseJson(res->body);
    EXPECT_TRUE(bad && (*bad)["err_code"].toInteger(0) != 0) << path;
  }
}

TEST_F(StationEndpoints, SimilarArtistsShareAlbumsAndGenres) {
  auto reply = JsonCall::call(artistSimilarURL(artistId("林夏")));
  ASSERT_TRUE(reply && reply->isObject());
  std::set<std::string> entries;
  for (const auto& e : (*reply)["entries"].array()) entries.insert(e["id"].toString() + e["name"].toString());
  EXPECT_TRUE(entries.count(artistId("苏小禾") + "苏小禾"));  // both sing on her album
  EXPECT_TRUE(entries.count(artistId("Echo Park") + "Echo Park"));
}

// (With nothing liked the queue is a random one of the whole library: the queue picker's test.)
TEST_F(StationEndpoints, PrivateChannelFromLikedIds) {
  const auto lib = station.server().library();
  const std::string liked = lib->tracks().front().id;
  auto bytes = JsonCall::down(privateChannelURL(), privateChannelBody({liked}, {artistId("Nora Bell")}), true);
  ASSERT_TRUE(bytes);
  auto reply = JSONValue(*bytes);
  ASSERT_TRUE(reply && reply->isObject());
  std::set<std::string> tracks;
  for (const auto& t : (*reply)["tracks"].array()) tracks.insert(t.toString());
  EXPECT_TRUE(tracks.count(liked));
  for (const auto& id : tracks) EXPECT_TRUE(lib->trackIndex(id));
}

TEST_F(StationEndpoints, UsageReportsAreAcceptedAndLogged) {
  // The reporter's body: form content type, but braces and quotes as they are.
  const std::string report =
      "api=Service.Start&param={\"local_time\":1700000000,\"ver_code\":2401011200,\"mac\":\"00:11\",\"os\":\"MacOSX\"}";
  auto client = station.client();
  EXPECT_EQ(test::statusOf(client->Post("/stats", report, "application/x-www-form-urlencoded")), 202);
  EXPECT_EQ(test::statusOf(client->Post("/stats", "api=Service.End&param={\"a\":1}\nsecond line",
                                        "application/x-www-form-urlencoded")),
            202);
  auto log = readFile(statsLogPath(station.dataDir()));
  ASSERT_TRUE(log);
  EXPECT_NE(log->find("\t" + report + "\n"), std::string::npos);
  EXPECT_NE(log->find("\tapi=Service.End&param={\"a\":1} second line\n"), std::string::npos);
  EXPECT_EQ(test::statusOf(client->Post("/stats", "", "application/x-www-form-urlencoded")), 400);
}

}  // namespace
}  // namespace tonvera::station
