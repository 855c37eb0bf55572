// The HTTP read stream's back-pressure: a stream whose owner does not read leaves the rest of the
// body on the server. (Bodies, ranges and connection errors are checked through the players.)
#include "platform/net/readstream.h"

#include <gtest/gtest.h>

#include "streamer_fixtures.h"

namespace tonvera {
namespace {

TEST(ReadStream, TheNetworkIsNotReadWhileTheOwnerDoesNotRead) {
  test::MediaServer server(std::vector<std::uint8_t>(64 << 20, 0x5A), {.chunk = 65536});
  auto stream = ReadStream::createForHttpRequest(server.url());
  ASSERT_TRUE(stream->open());
  int offers = 0;
  bool ended = false;
  stream->setClient([&](ReadStream&, ReadStreamEvent e) {
    offers += e == ReadStreamEvent::HasBytesAvailable;
    ended |= e == ReadStreamEvent::EndEncountered || e == ReadStreamEvent::ErrorOccurred;
  });
  stream->scheduleWithRunLoop(RunLoop::current());
  // One second counted from the first bytes on offer (at most 10 s away), so that a slow start on a
  // busy machine does not shorten the run.
  using Clock = std::chrono::steady_clock;
  auto end = Clock::now() + std::chrono::seconds(10);
  for (bool counting = false; !ended && Clock::now() < end;) {
    RunLoop::current().runInMode(0.25);
    if (!counting && offers > 0) {
      counting = true;
      end = Clock::now() + std::chrono::seconds(1);
    }
  }
  stream->unscheduleFromRunLoop();
  // Only what the sockets' buffers and the stream's small buffer hold has left the server.
  EXPECT_LT(server.bytesSent(), 24 << 20);
  EXPECT_EQ(offers, 1);
}

}  // namespace
}  // namespace tonvera
