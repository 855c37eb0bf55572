// Catalogue searches and the similar-artists request against a real service.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "fake_service.h"
#include "lookups.h"
#include "main_loop.h"
#include "platform/mainqueue.h"
#include "taste/similarartists.h"
#include "taste/tnsearcher.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

using test::plist;
TEST(Searcher, KeyReachesTheServiceEncodedOnce) {
  test::FakeService service;
  service.serve("/artists/search.json",
                R"({"err_code":0,"entries":[{"id":"a1","name":"A","x":null},{"id":"a2"}]})");
  std::optional<PlistValue::Array> got;
  bool onMain = false;
  int calls = 0;
  TNSearcher::searchWithURL(TNSearcher::genURL(1, 0, 25, "a b&中+"), [&](PlistValue::Array entries) {
    ++calls;
    onMain = isMainThread();
    got = std::move(entries);
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }, 10s));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(PlistValue(*got), plist(R"([{"id":"a1","name":"A"},{"id":"a2"}])"));
  EXPECT_EQ(service.lastTarget("/artists/search.json"), "/artists/search.json?q=a%20b%26%E4%B8%AD%2B&start=0&offset=25");
}

TEST(Searcher, FailedOrEmptySearchesDeliverAnEmptyListOnce) {
  test::FakeService service;
  const char* replies[] = {
      R"({"err_code":3,"entries":[{"id":"a1"}]})",
      R"({"err_code":-1,"entries":[{"id":"a1"}]})",
      R"({"err_code":0,"entries":[]})",
      R"({"entries":{"id":"a1"}})",
      R"({"total":0})",
      R"([{"id":"a1"}])",
      "not json",
  };
  const int n = static_cast<int>(std::size(replies));
  for (int i = 0; i < n; ++i) service.serve("/q" + std::to_string(i) + "/search.json", replies[i]);
  std::vector<PlistValue::Array> got;
  for (int i = 0; i <= n; ++i) {  // the last one has no reply at all (404)
    TNSearcher::searchWithURL(service.url("/q" + std::to_string(i) + "/search.json"),
                              [&](PlistValue::Array entries) { got.push_back(std::move(entries)); });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return got.size() == static_cast<size_t>(n + 1); }, 10s));
  for (const auto& entries : got) EXPECT_TRUE(entries.empty());
}

TEST(SimilarArtists, EntriesOfAnObjectReplyOnly) {
  test::FakeService service;
  service.serve("/artists/a1/similar", R"({"entries":[{"id":"b1","name":"B","pic":null},{"id":"b2"}]})");
  service.serve("/artists/a2/similar", R"({"count":0})");
  service.serve("/artists/a3/similar", R"([{"id":"b1"}])");
  service.serve("/artists/a4/similar", "{\"entries\":[{\"id\":\"\xff\"}]}");

  auto got = requestSimilarArtists("a1");
  ASSERT_TRUE(got);
  EXPECT_EQ(PlistValue(*got), plist(R"([{"id":"b1","name":"B"},{"id":"b2"}])"));
  auto none = requestSimilarArtists("a2");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  EXPECT_FALSE(requestSimilarArtists("a3"));
  EXPECT_FALSE(requestSimilarArtists("a4"));  // not UTF-8
  EXPECT_FALSE(requestSimilarArtists("a5"));  // 404
  EXPECT_EQ(service.hits("/artists/a1/similar"), 1);
}

}  // namespace
}  // namespace tonvera
