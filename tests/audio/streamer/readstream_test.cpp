// The HTTP read stream on a run loop: events, reads of at most 2048 bytes, header fields, "Range",
// connection errors and back-pressure.
#include "platform/net/readstream.h"

#include <gtest/gtest.h>

#include "streamer_fixtures.h"

namespace tonvera {
namespace {

struct Collected {
  std::vector<std::uint8_t> bytes;
  std::vector<ReadStreamEvent> events;
  long largestRead = 0;
  bool done = false;
};

// Runs the stream's events for `seconds`; with fromFirstBytes, counted from the first bytes on offer
// (at most 10 s away), so that a slow start on a busy machine does not shorten the run.
void drive(ReadStream& stream, Collected& c, bool read = true, double seconds = 10,
           bool fromFirstBytes = false) {
  stream.setClient([&c, read](ReadStream& s, ReadStreamEvent e) {
    c.events.push_back(e);
    if (e == ReadStreamEvent::HasBytesAvailable && read) {
      std::uint8_t buf[2048];
      const long n = s.read(buf, sizeof buf);
      c.largestRead = std::max(c.largestRead, n);
      if (n > 0) c.bytes.insert(c.bytes.end(), buf, buf + n);
    }
    if (e == ReadStreamEvent::EndEncountered || e == ReadStreamEvent::ErrorOccurred) c.done = true;
  });
  stream.scheduleWithRunLoop(RunLoop::current());
  using Clock = std::chrono::steady_clock;
  const auto run = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  auto end = Clock::now() + (fromFirstBytes ? std::chrono::seconds(10) : run);
  bool counting = !fromFirstBytes;
  while (!c.done && Clock::now() < end) {
    RunLoop::current().runInMode(0.25);
    if (!counting && std::count(c.events.begin(), c.events.end(), ReadStreamEvent::HasBytesAvailable) > 0) {
      counting = true;
      end = Clock::now() + run;
    }
  }
  stream.unscheduleFromRunLoop();
}

std::vector<std::uint8_t> pattern(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(i * 7 + (i >> 8));
  return v;
}

TEST(ReadStream, DeliversTheWholeBodyInReadsOfAtMost2048BytesAndTheHeaderFields) {
  test::MediaServer server(pattern(100000), {.contentType = "audio/x-test"});
  auto stream = ReadStream::createForHttpRequest(server.url());
  ASSERT_TRUE(stream->open());
  Collected c;
  drive(*stream, c);
  EXPECT_EQ(c.bytes, server.bytes());
  EXPECT_EQ(c.largestRead, 2048);
  EXPECT_EQ(c.events.front(), ReadStreamEvent::OpenCompleted);
  EXPECT_EQ(c.events.back(), ReadStreamEvent::EndEncountered);
  const auto fields = stream->responseHeaderFields();
  ASSERT_NE(findHeaderField(fields, "content-length"), nullptr);
  EXPECT_EQ(*findHeaderField(fields, "Content-Length"), "100000");
  EXPECT_EQ(*findHeaderField(fields, "CONTENT-TYPE"), "audio/x-test");
  EXPECT_EQ(stream->status(), ReadStreamStatus::AtEnd);
}

TEST(ReadStream, SendsTheRangeField) {
  test::MediaServer server(pattern(50000));
  auto stream = ReadStream::createForHttpRequest(server.url(), {{"Range", "bytes=1000-49999"}});
  ASSERT_TRUE(stream->open());
  Collected c;
  drive(*stream, c);
  EXPECT_EQ(server.ranges(), std::vector<std::string>{"bytes=1000-49999"});
  EXPECT_EQ(stream->responseStatusCode(), 206);
  EXPECT_EQ(c.bytes, std::vector<std::uint8_t>(server.bytes().begin() + 1000, server.bytes().end()));
}

TEST(ReadStream, RefusedConnectionsAndCutRepliesAreErrors) {
  {
    auto stream = ReadStream::createForHttpRequest("http://127.0.0.1:1/none");
    ASSERT_TRUE(stream->open());
    Collected c;
    drive(*stream, c);
    EXPECT_EQ(c.events.back(), ReadStreamEvent::ErrorOccurred);
    EXPECT_EQ(stream->status(), ReadStreamStatus::Error);
  }
  test::MediaServer server(pattern(60000), {.dropAfter = 20000});
  auto stream = ReadStream::createForHttpRequest(server.url());
  ASSERT_TRUE(stream->open());
  Collected c;
  drive(*stream, c);
  EXPECT_EQ(c.events.back(), ReadStreamEvent::ErrorOccurred);
  EXPECT_EQ(c.bytes, std::vector<std::uint8_t>(server.bytes().begin(), server.bytes().begin() + 20000));
}

TEST(ReadStream, TheNetworkIsNotReadWhileTheOwnerDoesNotRead) {
  test::MediaServer server(pattern(64 << 20), {.chunk = 65536});
  auto stream = ReadStream::createForHttpRequest(server.url());
  ASSERT_TRUE(stream->open());
  Collected c;
  drive(*stream, c, /*read=*/false, /*seconds=*/1.0, /*fromFirstBytes=*/true);
  // Only what the sockets' buffers and the stream's small buffer hold has left the server.
  EXPECT_LT(server.bytesSent(), 24 << 20);
  EXPECT_EQ(std::count(c.events.begin(), c.events.end(), ReadStreamEvent::HasBytesAvailable), 1);
}

TEST(RunLoop, FinishesAtOnceWithoutSources) {
  EXPECT_EQ(RunLoop::current().runInMode(5.0), RunLoop::Result::Finished);
}

}  // namespace
}  // namespace tonvera
