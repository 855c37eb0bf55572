// Streams: byte ranges and lengths, clients that leave, the request log. (Content types are the
// endpoint tests'; many players at once, next to slow clients, the real-folder tests'.)
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <regex>

#include "main_loop.h"
#include "platform/fileutil.h"
#include "station/gatedserver.h"
#include "station/records.h"
#include "station/scanner.h"
#include "station_fixture.h"
#include "temp_home.h"

namespace tonvera::station {
namespace {

using test::RunningStation;

std::string audioBytes(const Track& track) {
  auto file = readFile(track.path);
  return file ? file->substr(track.audioBegin, track.audioEnd - track.audioBegin) : std::string();
}

// A library of one long PURE track (a header and `bytes` of payload) in a folder of its own.
std::shared_ptr<const Library> longPureLibrary(const std::string& name, std::size_t bytes) {
  const std::string root = test::scratchFolder() + "/" + name;
  tonvera::test::writeTextFile(
      root + "/Artist/Album/01 Long.pur",
      std::string("PURE\x10\x40\0\0\0\0\0\0\0\0\0\0", 16) + std::string(bytes, '\x55'));
  return scanLibrary(root, "");
}

TEST(StationStreams, ByteRanges) {
  RunningStation station;
  const Track& track = station.server().library()->tracks().front();
  const std::string all = audioBytes(track);
  const std::uint64_t n = all.size();
  ASSERT_GT(n, 1000u);
  struct Case {
    std::string range;
    int status;
    std::uint64_t first, last;  // expected bytes, inclusive
  };
  const Case cases[] = {
      {"bytes=" + std::to_string(n / 2) + "-" + std::to_string(n / 2 + 99), 206, n / 2, n / 2 + 99},
      {"bytes=-300", 206, n - 300, n - 1},
      {"bytes=0-1,5-6", 200, 0, n - 1},  // several ranges: the whole stream
  };
  auto client = station.client();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.range);
    auto res = client->Get(streamPath(track).c_str(), {{"Range", c.range}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status);
    EXPECT_EQ(res->body, all.substr(c.first, c.last - c.first + 1));
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(c.last - c.first + 1));
    if (c.status == 206) {
      EXPECT_EQ(res->get_header_value("Content-Range"),
                "bytes " + std::to_string(c.first) + "-" + std::to_string(c.last) + "/" + std::to_string(n));
    }
  }
  auto past = client->Get(streamPath(track).c_str(), {{"Range", "bytes=" + std::to_string(n) + "-"}});
  ASSERT_TRUE(past);
  EXPECT_EQ(past->status, 416);
  EXPECT_EQ(past->get_header_value("Content-Range"), "bytes */" + std::to_string(n));
}

TEST(StationStreams, ClientsLeavingMidStreamCostNothing) {
  // A long stream (a PURE file of 24 MB) served by a station with few workers: clients that read a
  // little and leave must give their worker back, or the station would stop answering.
  auto lib = longPureLibrary("big", 24 << 20);
  ASSERT_TRUE(lib);
  ASSERT_EQ(lib->tracks().size(), 1u);
  constexpr int kWorkers = 4;
  RunningStation station(lib, kWorkers);
  const std::string request =
      "GET " + streamPath(lib->tracks()[0]) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  for (int i = 0; i < 3 * kWorkers; ++i) {
    const int fd = test::openRequest(station.port(), request);
    ASSERT_FALSE(test::receive(fd, 4096).empty());
    ::close(fd);  // gone, with most of the stream unread
  }
  EXPECT_TRUE(runMainLoopUntil([&] { return station.server().openStreams() == 0; }, std::chrono::seconds(10)))
      << station.server().openStreams() << " streams still open";
  EXPECT_EQ(test::statusOf(station.client()->Get("/radios/selected.json")), 200);
}

TEST(StationStreams, StopClosesStreamsInProgress) {
  // A player that stopped reading (paused, its buffer full) must not hold up a stop (SIGTERM) for
  // the write time-out (kWriteTimeoutSeconds, longer than the wait below).
  auto lib = longPureLibrary("stop", 16 << 20);
  ASSERT_TRUE(lib);
  RunningStation station(lib);
  const int fd = test::openRequest(
      station.port(), "GET " + streamPath(lib->tracks()[0]) + " HTTP/1.1\r\nConnection: close\r\n\r\n", 4096);
  ASSERT_FALSE(test::receive(fd, 1).empty());  // under way
  // The station's end of the connection (this process's socket whose peer is the client), with a
  // fixed small buffer too: the kernel would otherwise grow it to hold more of the file.
  sockaddr_in client{};
  socklen_t length = sizeof client;
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&client), &length), 0);
  int stationEnd = -1;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int other = std::atoi(entry.path().filename().c_str());
    sockaddr_in peer{};
    length = sizeof peer;
    if (other != fd && ::getpeername(other, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_family == AF_INET && peer.sin_port == client.sin_port)
      stationEnd = other;
  }
  ASSERT_GE(stationEnd, 0);
  const int small = 4096;
  ::setsockopt(stationEnd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  // Stalled: the station's next write waits for the client.
  ASSERT_TRUE(runMainLoopUntil([&] { pollfd p{stationEnd, POLLOUT, 0}; return ::poll(&p, 1, 0) == 0; },
                               std::chrono::seconds(10)));
  station.server().stop();
  EXPECT_TRUE(runMainLoopUntil([&] { return station.server().openStreams() == 0; }, std::chrono::seconds(10)));
  ::close(fd);
}

TEST(StationStreams, RequestLogHasOneLinePerRequest) {
  using namespace std::chrono;
  EXPECT_EQ(formatRequestLogLine({system_clock::time_point(seconds(1796649601) + milliseconds(7)), "::1", "GET",
                                  "/a?b=1", 206, 5120, microseconds(3240)}),
            "2026-12-07T13:20:01.007Z ::1 GET /a?b=1 206 5120 3.2ms");

  std::mutex mutex;
  std::vector<std::string> lines;  // guarded by mutex
  RunningStation station(test::demoLibrary(), 0, 0, [&](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  });
  // One line per request, with the bytes sent and the target's control characters escaped.
  const std::string stream = streamPath(station.server().library()->tracks().front());
  test::rawExchange(station.port(), "GET " + stream + " HTTP/1.1\r\nRange: bytes=0-9\r\nConnection: close\r\n\r\n");
  test::rawExchange(station.port(), "GET /nothing\x01here HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_TRUE(runMainLoopUntil(
      [&] {
        std::lock_guard lock(mutex);
        return lines.size() >= 2;
      },
      std::chrono::seconds(10)));
  std::lock_guard lock(mutex);
  ASSERT_EQ(lines.size(), 2u);
  const std::string head = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 GET )";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(head + stream + R"( 206 10 \d+\.\dms)"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(head + R"(/nothing\\x01here 404 \d+ \d+\.\dms)"))) << lines[1];
}

}  // namespace
}  // namespace tonvera::station
