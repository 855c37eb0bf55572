// Progress tick of the now-playing page: the exact readout and remaining-time texts, the slider
// rule while a seek is pending, the readout colour.
#include <gtest/gtest.h>

#include "radio/progresstexts.h"

namespace tonvera {
namespace {

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

TEST(ProgressTexts, HeldSliderDrivesTheReadoutOnly) {
  // Held at 50 % = 122.6 s.
  ProgressInput in{
      .bitRate = 128000, .progress = 61.9, .duration = 245.2, .sliderDown = true, .sliderProgress = 50};
  const auto out = computeProgress(in);
  EXPECT_EQ(*out.readout, "2:02 / 4:05");
  EXPECT_EQ(*out.positionText, "03:03");  // the remaining time still follows the player
  EXPECT_DOUBLE_EQ(*out.lyricsTimestamp, 61.9);
  in.sliderDown = false;
  EXPECT_EQ(*computeProgress(in).readout, "1:01 / 4:05");
  EXPECT_NEAR(*computeProgress(in).sliderPercent, 61.9 * 100 / 245.2, 1e-9);
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
