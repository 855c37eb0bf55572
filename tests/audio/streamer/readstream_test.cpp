// The HTTP read stream's back-pressure: a stream whose owner does not read leaves the rest of the
// body on the server. (Bodies, ranges and connection errors are checked through the players.)
#include "platform/net/readstream.h"

#include <gtest/gtest.h>

#include "streamer_fixtures.h"

namespace tonvera {
namespace {

TEST(ReadStream, TheNetworkIsNotReadWhileTheOwnerDoesNotRead) {
  // The yardstick: a second stream whose owner reads takes the whole body meanwhile.
  const std::vector<std::uint8_t> body(64 << 20, 0x5A);
  test::MediaServer idleServer(body, {.chunk = 65536}), readServer(body, {.chunk = 65536});
  auto idle = ReadStream::createForHttpRequest(idleServer.url());
  auto reading = ReadStream::createForHttpRequest(readServer.url());
  ASSERT_TRUE(idle->open() && reading->open());
  int offers = 0;
  bool idleEnded = false, readingEnded = false;
  idle->setClient([&](ReadStream&, ReadStreamEvent e) {
    offers += e == ReadStreamEvent::HasBytesAvailable;
    idleEnded |= e == ReadStreamEvent::EndEncountered || e == ReadStreamEvent::ErrorOccurred;
  });
  std::int64_t read = 0;
  reading->setClient([&](ReadStream& s, ReadStreamEvent e) {
    std::uint8_t buffer[65536];
    for (long n; e == ReadStreamEvent::HasBytesAvailable && (n = s.read(buffer, sizeof buffer)) > 0;)
      read += n;
    readingEnded |= e == ReadStreamEvent::EndEncountered || e == ReadStreamEvent::ErrorOccurred;
  });
  idle->scheduleWithRunLoop(RunLoop::current());
  reading->scheduleWithRunLoop(RunLoop::current());
  const auto ceiling = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!readingEnded && !idleEnded && std::chrono::steady_clock::now() < ceiling)
    RunLoop::current().runInMode(0.25);
  idle->unscheduleFromRunLoop();
  reading->unscheduleFromRunLoop();
  ASSERT_EQ(read, std::int64_t(body.size()));
  // Only what the sockets' buffers and the stream's small buffer hold has left the idle server.
  EXPECT_FALSE(idleEnded);
  EXPECT_LT(idleServer.bytesSent(), 24 << 20);
  EXPECT_EQ(offers, 1);
}

}  // namespace
}  // namespace tonvera
