// The play queue's position rules, the retry pause, the two track filters, and the progress tick of
// the now-playing page: the exact readout and remaining-time texts, the slider rule while a seek is
// pending.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "radio/playqueue.h"
#include "radio/progresstexts.h"
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
  EXPECT_FALSE(none.idAhead(0) || none.takeNextId());
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
      {"Mayday ", "温柔", true, false, false},      // judged in canonical form ("Mayday" is English)
      {"", "", true, false, false},                 // no canonical form: not English
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

TEST(ProgressTexts, ReadoutAndRemainingTime) {
  struct Case {
    double p, d;
    const char* readout;
    const char* remaining;
  };
  const Case cases[] = {
      {61.9, 245.2, "1:01 / 4:05", "03:03"},
      {0, 0.5, "0:00 / 0:00", "00:00"},
      {59.99, 60.0, "0:59 / 1:00", "00:00"},
      {3599.5, 7200.9, "59:59 / 120:00", "60:01"},
      {9.0, 10.0, "0:09 / 0:10", "00:01"},
      // A position reported a little past the end shows no negative clock.
      {247.0, 245.2, "4:07 / 4:05", "00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readoutText(c.p, c.d), c.readout) << c.p << " of " << c.d;
    EXPECT_EQ(remainingText(c.p, c.d), c.remaining) << c.p << " of " << c.d;
  }
}

TEST(ProgressTexts, UnknownFormatOrPositionChangesOnlyWhatItShould) {
  auto out = computeProgress({.bitRate = 0, .progress = 30, .duration = 100});
  EXPECT_EQ(out.positionText, std::optional<std::string>("00:00"));
  EXPECT_FALSE(out.readout || out.sliderPercent || out.lyricsTimestamp);

  for (auto [p, d] : {std::pair{-1.0, 100.0}, std::pair{10.0, 0.0}, std::pair{10.0, -3.0}}) {
    out = computeProgress({.bitRate = 128000, .progress = p, .duration = d});
    EXPECT_FALSE(out.positionText || out.readout || out.sliderPercent || out.lyricsTimestamp)
        << p << " " << d;
  }
}

// (The readout following the held slider is the controller flow's seek test.)
TEST(ProgressTexts, HeldSliderLeavesTheRemainingTimeAndLyricsToThePlayer) {
  const auto out = computeProgress(
      {.bitRate = 128000, .progress = 61.9, .duration = 245.2, .sliderDown = true, .sliderProgress = 50});
  EXPECT_EQ(*out.positionText, "03:03");
  EXPECT_DOUBLE_EQ(*out.lyricsTimestamp, 61.9);
}

TEST(ProgressTexts, TwoPointSliderRuleWhileASeekIsPending) {
  struct Case {
    double reported, slideValue;
    bool follows;
  };
  const Case cases[] = {
      {10, 50, false},  // the player still reports the old position
      {47.9, 50, false}, {48.0, 50, true},  {50, 50, true},
      {52.0, 50, true},  {52.1, 50, false}, {10, 0, true},  // no seek pending
      {99, -1, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sliderFollowsPlayer(c.reported, c.slideValue), c.follows)
        << c.reported << " vs " << c.slideValue;
    const ProgressInput in{.bitRate = 1, .progress = c.reported, .duration = 100, .slideValue = c.slideValue};
    EXPECT_EQ(computeProgress(in).sliderPercent.has_value(), c.follows);
  }
}

}  // namespace
}  // namespace tonvera
