// Requests that try to reach files outside the index, malformed input, unknown ids and oversized
// bodies: each gets a small JSON error, never a file.
#include <gtest/gtest.h>

#include "service/jsoncall.h"
#include "service/jsonvalue.h"
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

TEST(StationSafety, TraversalAttemptsNeverReachAFile) {
  RunningStation station;
  const auto& track = station.server().library()->tracks().front();
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
  EXPECT_EQ(test::statusOf(test::rawExchange(station.port(), get(JsonCall::percentEscape("/tracks/" + track.relPath + "/play.json")))), 404);
}

TEST(StationSafety, UnknownIdsAnd404s) {
  RunningStation station;
  auto client = station.client();
  const char* paths[] = {
      "/radios/gnosuch/play.json", "/radios/gnosuch/images.json", "/tracks/tnosuch/play.json",
      "/albums/alnosuch/images.json", "/artists/arnosuch/images",  "/artists/arnosuch/similar",
      "/streams/tnosuch.mp3",       "/lyrics/tnosuch.lrc",        "/pictures/albums/alnosuch",
      "/pictures/artists/arnosuch", "/pictures/channels/gnosuch", "/nothing/here",
      "/radios/selected.jsonx",     "/",
  };
  for (const char* path : paths) {
    auto res = client->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 404) << path;
    expectJsonError(res->body, path);
    EXPECT_EQ(res->get_header_value("Content-Type").rfind("application/json", 0), 0u) << path;
  }
  // A stream id with the wrong extension is not that stream.
  const auto& track = station.server().library()->tracks().front();
  auto res = client->Get(("/streams/" + track.id + ".wav").c_str());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  // Wrong methods.
  res = client->Get("/radios/play");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  res = client->Post("/radios/selected.json", "x", "text/plain");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
}

TEST(StationSafety, MalformedInputGets400) {
  RunningStation station;
  auto client = station.client();
  for (const char* path : {"/tracks/T1/play.json", "/tracks/a.b/play.json", "/radios/All/play.json",
                           "/artists/ar-1/similar", "/streams/T.mp3", "/pictures/albums/AL1", "/tracks/%FF/play.json"}) {
    auto res = client->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 400) << path;
    expectJsonError(res->body, path);
  }
  const std::string longId(65, 'a');
  auto res = client->Get(("/tracks/" + longId + "/play.json").c_str());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  for (const char* body : {"similar=1", "similar=1&id=%zz", "id=%E6%9E", ""}) {
    res = client->Post("/radios/play", body, "application/x-www-form-urlencoded");
    ASSERT_TRUE(res) << body;
    EXPECT_EQ(res->status, 400) << body;
    expectJsonError(res->body, body);
  }
  // Foreign or odd ids in a well-formed body are ignored, not refused.
  res = client->Post("/radios/play", "similar=1&id=../../etc,12345,,TRACK,", "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  // The body of a form without a content type is read the same way.
  res = client->Post("/radios/play", "similar=1&id=", "");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

TEST(StationSafety, OversizedBodiesAreRefused) {
  RunningStation station;
  auto client = station.client();
  const std::string big = "similar=1&id=" + std::string(100 * 1024, 'a') + ",";
  auto res = client->Post("/radios/play", big, "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  res = client->Post("/stats", "api=x&param=" + std::string(100 * 1024, 'b'), "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  // Just under the limit is fine (a long list of liked ids).
  std::string many = "similar=1&id=";
  while (many.size() < 60 * 1024) many += "tabcdefghijklm,";
  res = client->Post("/radios/play", many, "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  // The station goes on answering.
  res = client->Get("/radios/selected.json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

TEST(StationSafety, RangesApplyToStreamsOnly) {
  RunningStation station;
  auto client = station.client();
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
