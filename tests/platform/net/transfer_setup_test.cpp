// The transfer set-up shared by service requests, read streams and the usage sender: only http and
// https (also after a redirect), the proxy from the environment; and the file-URL test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/net/fileurl.h"
#include "platform/net/readstream.h"
#include "service/jsoncall.h"
#include "stats/datasender.h"
#include "test_server.h"

namespace tonvera {
namespace {

using test::RawListener;

// Runs one GET through a read stream on this thread's run loop; true when the body ended cleanly.
bool streamEndsCleanly(const std::string& url) {
  auto stream = ReadStream::createForHttpRequest(url);
  if (!stream->open()) return false;
  std::optional<bool> clean;
  stream->setClient([&clean](ReadStream& s, ReadStreamEvent e) {
    if (e == ReadStreamEvent::HasBytesAvailable) {
      std::uint8_t buf[2048];
      (void)s.read(buf, sizeof buf);
    }
    if (e == ReadStreamEvent::EndEncountered) clean = true;
    if (e == ReadStreamEvent::ErrorOccurred) clean = false;
  });
  stream->scheduleWithRunLoop(RunLoop::current());
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!clean && std::chrono::steady_clock::now() < end) RunLoop::current().runInMode(0.25);
  stream->unscheduleFromRunLoop();
  return clean.value_or(false);
}

bool senderAccepted(const std::string& url) {
  DataSender sender("a=1", url);
  sender.start();
  return !sender.isError();
}

bool serviceAnswered(const std::string& url) { return JsonCall::down(url, std::nullopt, false).has_value(); }

struct Transfer {
  const char* name;
  std::function<bool(const std::string& url)> succeeds;
};

const Transfer kTransfers[] = {
    {"ServiceRequest", serviceAnswered},
    {"ReadStream", streamEndsCleanly},
    {"UsageSender", senderAccepted},
};

void PrintTo(const Transfer& c, std::ostream* os) { *os << c.name; }
class EveryTransfer : public ::testing::TestWithParam<Transfer> {};

TEST_P(EveryTransfer, OtherSchemesFailWithoutConnecting) {
  RawListener other("");
  for (const char* scheme : {"ftp", "dict", "telnet"}) {
    const std::string url = std::string(scheme) + "://127.0.0.1:" + std::to_string(other.port()) + "/x";
    EXPECT_FALSE(GetParam().succeeds(url)) << url;
  }
  EXPECT_FALSE(GetParam().succeeds("file:///etc/hostname"));
  EXPECT_EQ(other.connections(), 0);
}

TEST_P(EveryTransfer, TheProxyComesFromTheEnvironment) {
  RawListener proxy("HTTP/1.1 202 Accepted\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
  ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port())).c_str(), 1);
  ::setenv("no_proxy", "", 1);
  ::setenv("NO_PROXY", "", 1);
  EXPECT_TRUE(GetParam().succeeds("http://tonvera.invalid/stats"));
  for (const char* name : {"http_proxy", "no_proxy", "NO_PROXY"}) ::unsetenv(name);
  const auto lines = proxy.requestLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with(" http://tonvera.invalid/stats HTTP/1.1")) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Transfers, EveryTransfer, ::testing::ValuesIn(kTransfers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TransferSetup, ARedirectToAnotherSchemeIsNotFollowed) {
  RawListener other("");
  test::TestServer server;
  const std::string target = "ftp://127.0.0.1:" + std::to_string(other.port()) + "/x";
  server.http().Get("/moved", [&](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", target);
  });
  server.start();
  EXPECT_FALSE(serviceAnswered(server.url("/moved")));
  EXPECT_FALSE(streamEndsCleanly(server.url("/moved")));
  EXPECT_EQ(other.connections(), 0);
}

TEST(FileUrl, TheSchemeIsMatchedInAnyCase) {
  const struct {
    const char* text;
    bool file;
  } cases[] = {{"file:///music/a.pur", true},
               {"FILE:/a.pur", true},
               {"File:a.pur", true},
               {"file:", true},
               {"http://h/a.mp3", false},
               {"fil", false},
               {"/music/a.pur", false},
               {"files:///a", false},
               {"", false}};
  for (const auto& c : cases) EXPECT_EQ(isFileUrl(c.text), c.file) << c.text;
}

}  // namespace
}  // namespace tonvera
