// The play queue's position rules, the retry pause and the two track filters.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "radio/playqueue.h"
#include "radio/radioplayer.h"
#include "radio/retrybackoff.h"
#include "radio/trackfilter.h"

namespace tonvera {
namespace {

void fill(PlayQueue& q, std::initializer_list<const char*> ids) {
  q.replace(PlayQueue::TrackIds(ids.begin(), ids.end()));
}

TEST(PlayQueue, PreviousFromTheFirstOrSecondTrackPlaysTheSecondElseTheOneBefore) {
  for (const auto& [from, plays] : {std::pair{0, "b"}, std::pair{1, "b"}, std::pair{3, "c"}}) {
    PlayQueue q;
    fill(q, {"a", "b", "c", "d"});
    q.setIndex(from);
    q.back();
    q.advance(true);
    EXPECT_EQ(q.takeNextId(), plays) << "from " << from;
  }
}

TEST(PlayQueue, InsertedTrackTakesTheNextSlotAndTheEntryAfterItIsPassedOver) {
  PlayQueue q;
  fill(q, {"e0", "e1", "e2", "e3"});
  q.setIndex(1);  // e1 plays
  EXPECT_EQ(std::make_tuple(q.idAhead(-1), q.idAhead(2), q.idAhead(3), q.idAhead(-2)),
            std::make_tuple(std::optional<std::string>("e0"), std::optional<std::string>("e3"),
                            std::optional<std::string>(), std::optional<std::string>()));
  q.insert("x");
  EXPECT_FALSE(q.idAhead(1));  // what plays after an inserted track is not known yet
  q.advance(true);
  EXPECT_EQ(q.index(), 2);
  EXPECT_EQ(q.takeNextId(), "x");
  EXPECT_FALSE(q.hasInsert());
  q.advance(true);
  EXPECT_EQ(q.takeNextId(), "e3");  // e2 was passed over
}

TEST(PlayQueue, UsedUpQueueAndRemovalOutsideIt) {
  PlayQueue q;
  fill(q, {"a"});
  q.setIndex(1);
  EXPECT_FALSE(q.takeNextId());
  EXPECT_FALSE(q.removeCurrent());  // nothing to remove: the skip is abandoned
  EXPECT_EQ(q.length(), 1);
  EXPECT_EQ(q.advance(true), PlayQueue::Step::UsedUp);
  EXPECT_EQ(q.index(), 0);

  PlayQueue none;
  none.replace(std::nullopt);
  EXPECT_EQ(none.length(), 0);
  EXPECT_FALSE(none.idAhead(0));
  EXPECT_EQ(none.advance(false), PlayQueue::Step::UsedUp);
  EXPECT_FALSE(none.removeCurrent());
  PlayQueue empty;
  fill(empty, {});
  EXPECT_EQ(empty.advance(false), PlayQueue::Step::UsedUp);
}

TEST(RetryBackoff, DoublesUpToTheMaximumAndResets) {
  using std::chrono::milliseconds;
  RetryBackoff b(milliseconds(2000), milliseconds(60000));
  std::vector<long long> pauses;
  for (int i = 0; i < 8; ++i) pauses.push_back(b.next().count());
  EXPECT_EQ(pauses, (std::vector<long long>{2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));
  EXPECT_EQ(b.retries(), 8);
  b.reset();
  EXPECT_EQ(b.retries(), 0);
  EXPECT_EQ(b.next().count(), 2000);
}

TEST(TrackFilter, EnglishAndDislikedTracks) {
  struct Case {
    const char* artist;
    const char* title;
    bool noEnglish, disliked, skip;
  };
  const Case cases[] = {
      {"Adele ", "Hello", true, false, true},  // ASCII artist
      {"周杰伦 ", "晴天", true, false, false},
      {"周杰伦 ", "Hello", true, false, true},      // the title decides too
      {"S.H.E ", "Super Star", true, false, true},  // exempt act: the English title decides
      {"S.H.E ", "中国话", true, false, false},
      {"she ", "（热情）", true, false, false},  // lower-case form, canonical upper case
      {"Mayday ", "温柔", true, false, false},
      {"Mayday Band ", "温柔", true, false, false},  // the exempt name within other letters
      {"", "", true, false, false},                  // no canonical form: not English
      {"", "Hello", true, false, true},
      {"Adele ", "Hello", false, false, false},  // filter off
      {"周杰伦 ", "晴天", false, true, true},    // disliked, whatever the filter
      {"周杰伦 ", "晴天", true, true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shouldSkipTrack(c.artist, c.title, c.noEnglish, c.disliked), c.skip)
        << c.artist << "|" << c.title << " enplay " << c.noEnglish << " hate " << c.disliked;
  }
}

}  // namespace
}  // namespace tonvera
