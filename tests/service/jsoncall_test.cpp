// Requests against a real HTTP server on 127.0.0.1: methods, headers, statuses, escaping, time-out;
// and the service's base URL from the environment. (The endpoint URLs and the private channel's form
// body are checked as the station receives them.)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/serialqueue.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "service/plistconvert.h"
#include "test_server.h"

namespace tonvera {
namespace {

class JsonCallTest : public testing::Test {
 protected:
  void SetUp() override {
    auto echo = [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(mutex_);
        seen_ = req;
      }
      res.set_content(R"({"method":")" + req.method + R"(","body":")" + req.body + R"("})", "application/json");
    };
    auto& http = server_.http();
    http.Get("/echo", echo);
    http.Post("/echo", echo);
    const std::tuple<const char*, int, const char*, const char*> replies[] = {
        {"/missing", 404, R"({"error":"not here"})", "application/json"},
        {"/fail", 500, R"({"err_code":1})", "application/json"},
        {"/array", 200, R"(["a",2])", "application/json"},
        {"/html", 502, "<html>bad gateway</html>", "text/html"},
        {"/latin1", 200, "[\"caf\xE9\"]", "application/json"},
    };
    for (const auto& [path, status, body, type] : replies) {
      http.Get(path, [status, body, type](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, type);
      });
    }
    http.Get("/moved", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(server_.url("/array"));
    });
    server_.start();
  }

  // What the server saw of the last request to /echo.
  httplib::Request seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

  std::mutex mutex_;
  httplib::Request seen_;
  test::TestServer server_;
};

TEST_F(JsonCallTest, RequestShapes) {
  struct R {
    const char* what;
    std::optional<std::string> body;
    bool isForm;
    const char* method;
    const char* contentType;  // nullptr: header absent
  };
  const R table[] = {
      {"no body is a GET without extra headers", std::nullopt, false, "GET", nullptr},
      {"no body ignores isForm", std::nullopt, true, "GET", nullptr},
      {"empty body is a POST of nothing", std::string(), false, "POST", nullptr},
      {"body without form has no content type", std::string("a=1"), false, "POST", nullptr},
      {"form body", std::string("similar=1&id=1,2,"), true, "POST", "application/x-www-form-urlencoded"},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(r.what);
    ASSERT_TRUE(JsonCall::down(server_.url("/echo"), r.body, r.isForm));
    const auto seen = this->seen();
    EXPECT_EQ(seen.method, r.method);
    EXPECT_EQ(seen.body, r.body.value_or(""));
    EXPECT_EQ(seen.has_header("Content-Type") ? seen.get_header_value("Content-Type") : "(none)",
              r.contentType ? r.contentType : "(none)");
  }
}

// What a reply gives as bytes and as JSON. 404 and a server that is gone give nothing; other
// statuses give their body; redirects are followed (not away from HTTP: the transfer set-up's
// tests). As JSON a reply that does not decode is nothing.
TEST_F(JsonCallTest, RepliesAsBytesAndAsJson) {
  std::string gone;
  {
    test::TestServer stopped;
    stopped.start();
    gone = stopped.url("/echo");
  }  // the port refuses connections now
  const struct {
    std::string url;
    std::optional<std::string> bytes, json;  // json: canonical text
  } cases[] = {
      {server_.url("/missing"), std::nullopt, std::nullopt},
      {server_.url("/fail"), R"({"err_code":1})", R"({"err_code":1})"},
      {server_.url("/html"), "<html>bad gateway</html>", std::nullopt},
      {server_.url("/array"), R"(["a",2])", R"(["a",2])"},
      {server_.url("/latin1"), "[\"caf\xE9\"]", std::nullopt},
      {server_.url("/moved"), R"(["a",2])", R"(["a",2])"},
      {gone, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(JsonCall::down(c.url, std::nullopt, false), c.bytes);
    const auto json = JsonCall::call(c.url);
    EXPECT_EQ(json ? std::optional<std::string>(toCanonicalJson(*json)) : std::nullopt, c.json);
  }
  // A body through call() goes out as a POST without a content type.
  auto posted = JsonCall::call(server_.url("/echo"), std::string("x=1"));
  ASSERT_TRUE(posted);
  EXPECT_EQ(toCanonicalJson(*posted), R"({"body":"x=1","method":"POST"})");
}

TEST(JsonCallEscape, PercentEscapeTable) {
  struct E {
    const char* in;
    const char* out;
  };
  const E table[] = {
      {"http://h:1/a/b.json?x=1&y=2#f", "http://h:1/a/b.json?x=1&y=2#f"},
      {"a b", "a%20b"},
      {"%20", "%2520"},  // an escape already present is escaped again
      {"中", "%E4%B8%AD"},
      {"-._~!$&'()*+,;=:@/?[]", "-._~!$&'()*+,;=:@/?[]"},
      {"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"},
      {"\t\n\x7F", "%09%0A%7F"},
  };
  for (const auto& e : table) EXPECT_EQ(JsonCall::percentEscape(e.in), e.out) << e.in;
}

TEST_F(JsonCallTest, ConcurrentCallsFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> ok(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        auto v = JsonCall::call(server_.url("/array"));
        if (v && v->isArray()) ++ok[t];
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(ok[t], 5) << "thread " << t;
}

// A server that accepts the connection and never answers: the request gives up at the time-out
// (6 s; shortened here, or the test would wait for ever) as unreachable.
TEST(JsonCall, ServerThatNeverAnswersGivesUpAtTheTimeOut) {
  test::RawListener silent("", /*accepting=*/false);
  JsonCall::setTimeout(std::chrono::milliseconds(200));
  bool unreachable = false;
  auto reply = JsonCall::down("http://127.0.0.1:" + std::to_string(silent.port()) + "/x.json", std::nullopt,
                              false, &unreachable);
  JsonCall::setTimeout(std::chrono::milliseconds(JsonCall::kTimeoutMilliseconds));
  EXPECT_FALSE(reply);
  EXPECT_TRUE(unreachable);
}

// At quit a download in flight gives up at once instead of outliving the application object, and
// no new one starts. (The quit is for good: each test case runs in a process of its own.)
TEST(JsonCallQuit, DownloadsInFlightAreCancelledAndNoneStartsAfterwards) {
  // The service takes the request and holds its answer until the test ends.
  std::mutex mutex;
  std::condition_variable done;
  bool arrived = false, over = false;
  test::TestServer server;
  server.http().Get("/held", [&](const httplib::Request&, httplib::Response& res) {
    std::unique_lock lock(mutex);
    arrived = true;
    done.notify_all();
    done.wait(lock, [&] { return over; });
    res.set_content("{}", "application/json");
  });
  server.start();
  const std::string url = server.url("/held");
  // The quit ends the request, not its own time-out: that is set far beyond the quit's wait.
  JsonCall::setTimeout(std::chrono::hours(1));
  std::atomic<bool> ended = false;
  SerialQueue::runDetached("albumId", [&] {
    EXPECT_FALSE(JsonCall::down(url, std::nullopt, false));
    ended = true;
  });
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(done.wait_for(lock, std::chrono::seconds(10), [&] { return arrived; }));
  }
  EXPECT_TRUE(SerialQueue::finishDetached(std::chrono::seconds(30)));
  EXPECT_TRUE(ended);
  std::atomic<bool> ran = false;
  SerialQueue::runDetached("lrc", [&] { ran = true; });
  EXPECT_TRUE(SerialQueue::finishDetached(std::chrono::seconds(10)));
  EXPECT_FALSE(ran);
  EXPECT_FALSE(JsonCall::down(url, std::nullopt, false));  // not even tried
  std::lock_guard lock(mutex);
  over = true;
  done.notify_all();
}

TEST(Endpoints, BaseUrlFromEnvironmentElseCompiledIn) {
  ::unsetenv("TONVERA_SERVICE_URL");
  EXPECT_EQ(serviceBaseURL(), "http://127.0.0.1:7650");
  ::setenv("TONVERA_SERVICE_URL", "", 1);
  EXPECT_EQ(serviceBaseURL(), "http://127.0.0.1:7650");
  ::setenv("TONVERA_SERVICE_URL", "http://example.test:81//", 1);
  EXPECT_EQ(serviceBaseURL(), "http://example.test:81");
}

}  // namespace
}  // namespace tonvera
