// Requests that try to reach files outside the index, malformed input, unknown ids and oversized
// bodies: each gets a small JSON error, never a file.
#include <gtest/gtest.h>

#include "service/jsoncall.h"
#include "service/jsonvalue.h"
#include "station/purecache.h"
#include "station/records.h"
#include "station_fixture.h"

namespace tonvera::station {
namespace {

using test::RunningStation;

// A JSON object with an "error" text, small.
void expectJsonError(const std::string& body, const std::string& what) {
  EXPECT_LT(body.size(), 200u) << what;
  auto value = parseJson(body);
  ASSERT_TRUE(value && value->isObject()) << what << ": " << body;
  EXPECT_TRUE((*value)["error"].isString()) << what;
}

std::string get(const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

class StationSafety : public ::testing::Test {
 protected:
  RunningStation station;
  std::unique_ptr<httplib::Client> client = station.client();
  const Track& track = station.server().library()->tracks().front();
};

TEST_F(StationSafety, TraversalAttemptsNeverReachAFile) {
  const char* paths[] = {
      "/../../../../etc/passwd",
      "/streams/../../../../etc/passwd",
      "/streams/..%2F..%2F..%2F..%2Fetc%2Fpasswd.mp3",
      "/streams/%2e%2e%2f%2e%2e%2fetc%2fpasswd.mp3",
      "/streams/%2Fetc%2Fpasswd.mp3",
      "/streams//etc/passwd.mp3",
      "/streams/..%5C..%5Cetc%5Cpasswd.mp3",
      "/lyrics/..%2F..%2Fetc%2Fpasswd.lrc",
      "/tracks/..%2F..%2Fetc%2Fpasswd/play.json",
      "/tracks/%2Fetc%2Fpasswd/play.json",
      "/pictures/albums/..%2F..%2F..%2Fetc%2Fpasswd",
      "/pictures/artists/%2e%2e",
      "/pictures/channels/%00",
      "/pictures/../../etc/passwd",
      "/radios/..%2F..%2Fetc/play.json",
      "/artists/%2Fetc%2Fpasswd/similar",
  };
  for (const char* path : paths) {
    const std::string response = test::rawExchange(station.port(), get(path));
    const int status = test::statusOf(response);
    EXPECT_TRUE(status == 400 || status == 404) << path << " -> " << status;
    EXPECT_EQ(response.find("root:"), std::string::npos) << path;
    if (status == 400 || status == 404) expectJsonError(test::bodyOf(response), path);
  }
  // The same track by its id works, by anything resembling its path does not.
  EXPECT_EQ(test::statusOf(test::rawExchange(station.port(), get("/tracks/" + track.id + "/play.json"))), 200);
  EXPECT_EQ(test::statusOf(test::rawExchange(
                station.port(), get(JsonCall::percentEscape("/tracks/" + track.relPath + "/play.json")))),
            404);
}

// Unknown ids, wrong methods and malformed input: the status, and a small JSON error.
TEST_F(StationSafety, RefusedRequestsGetTheirStatusAndAJsonError) {
  const std::pair<int, std::vector<std::string>> gets[] = {
      {404,
       {"/radios/gnosuch/play.json", "/radios/gnosuch/images.json", "/tracks/tnosuch/play.json",
        "/albums/alnosuch/images.json", "/artists/arnosuch/images", "/artists/arnosuch/similar",
        "/streams/tnosuch.mp3", "/lyrics/tnosuch.lrc", "/pictures/albums/alnosuch",
        "/pictures/artists/arnosuch", "/pictures/channels/gnosuch", "/nothing/here", "/radios/selected.jsonx",
        "/", "/radios/play",
        "/streams/" + track.id + ".wav",  // a stream id with the wrong extension is not that stream
        pureStreamPath(track)}},          // no PURE streams without the option
      {400,
       {"/tracks/T1/play.json", "/tracks/a.b/play.json", "/radios/All/play.json", "/artists/ar-1/similar",
        "/streams/T.mp3", "/pictures/albums/AL1", "/tracks/%FF/play.json",
        "/tracks/" + std::string(65, 'a') + "/play.json"}},
  };
  for (const auto& [status, paths] : gets) {
    for (const auto& path : paths) {
      auto res = client->Get(path);
      ASSERT_TRUE(res) << path;
      EXPECT_EQ(res->status, status) << path;
      expectJsonError(res->body, path);
      EXPECT_TRUE(res->get_header_value("Content-Type").starts_with("application/json")) << path;
    }
  }
  for (const char* body : {"similar=1", "similar=1&id=%zz", "id=%E6%9E", ""}) {
    auto res = client->Post("/radios/play", body, "application/x-www-form-urlencoded");
    ASSERT_TRUE(res) << body;
    EXPECT_EQ(res->status, 400) << body;
    expectJsonError(res->body, body);
  }
}

TEST_F(StationSafety, OddIdsAreIgnoredAndOversizedBodiesRefused) {
  std::string many = "similar=1&id=";  // just under the limit: a long list of liked ids
  while (many.size() < 60 * 1024) many += "tabcdefghijklm,";
  const std::tuple<const char*, std::string, const char*, int> posts[] = {
      {"/radios/play", "similar=1&id=../../etc,12345,,TRACK,", "application/x-www-form-urlencoded", 200},
      {"/radios/play", "similar=1&id=", "", 200},  // a form without a content type reads the same
      {"/radios/play", many, "application/x-www-form-urlencoded", 200},
      {"/radios/play", "similar=1&id=" + std::string(100 * 1024, 'a') + ",",
       "application/x-www-form-urlencoded", 413},
      {"/stats", "api=x&param=" + std::string(100 * 1024, 'b'), "application/x-www-form-urlencoded", 413},
  };
  for (const auto& [path, body, type, status] : posts)
    EXPECT_EQ(test::statusOf(client->Post(path, body, type)), status) << body.substr(0, 40);
  EXPECT_EQ(test::statusOf(client->Get("/radios/selected.json")), 200);  // the station goes on answering
}

TEST_F(StationSafety, RangesApplyToStreamsOnly) {
  auto whole = client->Get("/radios/selected.json");
  ASSERT_TRUE(whole);
  for (const char* range : {"bytes=0-3", "bytes=100000-", "bytes=-5"}) {
    auto res = client->Get("/radios/selected.json", {{"Range", range}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << range;
    EXPECT_EQ(res->body, whole->body) << range;
    res = client->Get("/tracks/tnosuch/play.json", {{"Range", range}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    expectJsonError(res->body, range);
  }
}

}  // namespace
}  // namespace tonvera::station
