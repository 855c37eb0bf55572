#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "display/lyricsmodel.h"

namespace tonvera {
namespace {

using Dict = LineLrcModel::LrcDict;
using Display = LineLrcModel::Display;

// A tag's time as the lyrics are read: minutes and seconds in 32-bit floating point.
float tagTime(int minutes, float seconds) { return float(minutes) * 60.0f + seconds; }

LineLrcModel parsed(std::optional<std::u16string> text) {
  LineLrcModel model;
  model.setLrc(std::move(text));
  model.processLrc();
  return model;
}

std::u16string lineAt(LineLrcModel& model, double seconds) {
  model.setTimestamp(seconds);
  const auto choice = model.chooseLine();
  EXPECT_EQ(choice.display, Display::Line);
  return choice.line;
}

TEST(GenTimeStamps, ReadsMinuteSecondTags) {
  const struct {
    const char* name;
    std::u16string head;
    std::vector<float> times;
  } cases[] = {
      {"TwoTags", u"[00:10.00][01:10.00]", {10.0f, 70.0f}},
      {"Hundredths", u"[01:23.45]", {tagTime(1, 23.45f)}},
      {"Thousandths", u"[00:05.123]", {tagTime(0, 5.123f)}},
      {"NoFraction", u"[1:2]", {62.0f}},
      {"LongMinutes", u"[123:00]", {7380.0f}},
      {"TitleTag", u"[ti:Title]", {}},
      {"LengthTag", u"[length: 03:05]", {}},
      {"SignedMinutes", u"[-1:00]", {}},
      {"EmptySeconds", u"[00:]", {}},
      {"NoColon", u"[0010]", {}},
      {"ClosingBracketInside", u"[00:01]a]", {1.0f}},
      {"TextBetweenTags", u"[00:01] [x2] [00:03]", {1.0f, 3.0f}},
      {"SecondsNotANumber", u"[02:ab]", {120.0f}},
      {"BlanksBeforeSeconds", u"[01:\t 2]", {62.0f}},
      {"CommaIsNoDecimalPoint", u"[01:2,5]", {62.0f}},
      {"NonAsciiDigitsReadAsZero", u"[０１:０２]", {0.0f}},
      {"HugeMinutes", u"[" + std::u16string(50, u'9') + u":00]", {std::numeric_limits<float>::infinity()}},
      {"HugeMinusHugeIsLeftOut",
       u"[" + std::u16string(50, u'9') + u":-" + std::u16string(50, u'9') + u"]",
       {}}};
  for (const auto& c : cases) EXPECT_EQ(LineLrcModel::genTimeStamps(c.head), c.times) << c.name;
}

TEST(GenLineDict, MapsEveryTagToTheTextAfterTheHead) {
  const struct {
    const char* name;
    std::u16string line;
    Dict entries;
  } cases[] = {{"OneTag", u"[00:12.50]窗外的雨", {{12.5f, u"窗外的雨"}}},
               {"SeveralTags", u"[00:10.00][01:10.00]la", {{10.0f, u"la"}, {70.0f, u"la"}}},
               {"TitleTag", u"[ti:Title]", {}},
               {"NoTag", u"just words", {}},
               {"EmptyLine", u"", {}},
               {"CarriageReturnDropped", u"[00:01]text\r", {{1.0f, u"text"}}},
               {"LastClosingBracketEndsTheHead", u"[00:01]a]b", {{1.0f, u"b"}}},
               {"BracketedWordInLyric", u"[01:10.00]Hey hey [x2]", {{70.0f, u""}}},
               {"BlankTimedLine", u"[00:37.00]", {{37.0f, u""}}},
               {"TextBeforeTheHead", u"\uFEFF[00:01]x", {{1.0f, u"x"}}},
               {"CarriageReturnInsideLineMatchesNothing", u"[00:01]a\rb", {}},
               {"SurrogatePairsInText", u"[00:02]\U0001F3B5 la", {{2.0f, u"\U0001F3B5 la"}}}};
  for (const auto& c : cases) EXPECT_EQ(LineLrcModel::genLineDict(c.line), c.entries) << c.name;
}

TEST(ProcessLrc, BuildsTheMapAndSortedTimes) {
  struct Case {
    const char* name;
    std::u16string text;
    Dict entries;
  } cases[] = {
      {"CrLf", u"[00:01]one\r\n[00:02]two\r\n", {{1.0f, u"one"}, {2.0f, u"two"}}},
      {"LaterLineWins", u"[00:05]first\n[00:05]second\n[00:03]x", {{3.0f, u"x"}, {5.0f, u"second"}}},
      {"TagsOutOfOrder", u"[00:30]c\n[00:10]a\n[00:20]b", {{10.0f, u"a"}, {20.0f, u"b"}, {30.0f, u"c"}}},
      {"NoFinalNewline", u"[00:01]a\n[00:02]b", {{1.0f, u"a"}, {2.0f, u"b"}}},
      {"OnlyTitleTags", u"[ti:Title]\n[ar:Artist]\n", {}},
      // Only line feeds split lines: in a CR-only file the line pattern finds just the last line,
      // the one before the final CR.
      {"CarriageReturnsOnly", u"[00:01]a\r[00:02]b\r", {{2.0f, u"b"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineLrcModel model = parsed(c.text);
    EXPECT_EQ(model.lrcdict(), c.entries);
    std::vector<float> keys;
    for (const auto& entry : c.entries) keys.push_back(entry.first);
    EXPECT_EQ(model.sortedTimes(), keys);
  }
}

TEST(ProcessLrc, ReplacesTheWholeStateEachTime) {
  LineLrcModel model = parsed(u"[00:01]a\n[00:09]b");
  model.setTimestamp(100);
  model.chooseLine();
  EXPECT_EQ(model.index(), 1u);
  model.setLrc(u"[00:02]c");
  model.processLrc();
  EXPECT_EQ(model.index(), 0u);
  EXPECT_EQ(model.lrcdict(), (Dict{{2.0f, u"c"}}));
  model.setLrcUtf8(std::nullopt);
  model.processLrc();
  EXPECT_TRUE(model.lrcdict().empty());
  EXPECT_TRUE(model.sortedTimes().empty());
}

// What the view shows: the notice, the untimed text area, or a line.
TEST(ChooseLine, NoTextUntimedAndTimed) {
  struct Case {
    const char* name;
    std::optional<std::u16string> text;
    Display display;
    std::optional<std::u16string> untimed;
  } cases[] = {
      {"Absent", std::nullopt, Display::NoLyrics, std::nullopt},
      {"Empty", u"", Display::NoLyrics, std::nullopt},
      {"PlainText", u"no tags\nat all", Display::Untimed, u"no tags\nat all"},
      {"TitleTagsOnly", u"[ti:Title]\r\n[ar:A]", Display::Untimed, u"[ti:Title]\r\n[ar:A]"},
      {"OnlyNewlines", u"\n\n", Display::Untimed, u"\n\n"},
      {"Timed", u"[ti:T]\n[00:01]x", Display::Line, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineLrcModel model = parsed(c.text);
    model.setTimestamp(5);
    EXPECT_EQ(model.chooseLine().display, c.display);
    EXPECT_EQ(model.untimedText(), c.untimed);
  }
  EXPECT_EQ(LineLrcModel::kNoLyricsText, u"无歌词");
}

TEST(ChooseLine, TheLastTagNotAfterThePosition) {
  LineLrcModel model = parsed(u"[00:10.00]a\n[00:20.10]b\n[00:30.55]c\n[01:00.00]d\n");
  struct Case {
    double position;
    std::u16string line;
    std::size_t index;
  } cases[] = {
      {0.0, u"a", 0},  // before the first tag the first line shows
      {10.0, u"a", 0},
      {20.1, u"b", 1},  // exactly on a tag as written
      {double(tagTime(0, 20.1f)), u"b", 1},
      {30.54, u"b", 1},
      {30.55, u"c", 2},
      {60.0, u"d", 3},
      {1e300, u"d", 3},
      {std::numeric_limits<double>::infinity(), u"d", 3},
      {-std::numeric_limits<double>::infinity(), u"a", 0},
      {std::nan(""), u"a", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    EXPECT_EQ(lineAt(model, c.position), c.line);
    EXPECT_EQ(model.index(), c.index);
  }
}

TEST(Span, TheChosenLineFillsFromItsTagToTheNextOne) {
  LineLrcModel model = parsed(u"[00:10]a\n[00:20]b\n[00:30]c\n");
  struct Case {
    double chosenAt, seconds, end;
    std::u16string line, next;
    double fill, length;
  } cases[] = {
      {0, 5, 0, u"a", u"b", 0, 10},     // before the first tag: the first line, not started
      {10, 12.5, 0, u"a", u"b", 0.25, 10},
      {10, 25, 0, u"a", u"b", 1, 10},   // the position ran ahead of the page: full until it moves on
      {20, 15, 0, u"b", u"c", 0, 10},   // sought back, the page not there yet: the page's line, empty
      {30, 31, 40, u"c", u"", 0.1, 10},  // the last line runs to the track's end
      {30, 31, 0, u"c", u"", 1 / LineLrcModel::kLastLineSeconds, LineLrcModel::kLastLineSeconds},  // end unknown
      {30, 31, 30, u"c", u"", 1 / LineLrcModel::kLastLineSeconds, LineLrcModel::kLastLineSeconds},
      {10, std::nan(""), 0, u"a", u"b", 0, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    lineAt(model, c.chosenAt);
    const auto span = model.span(c.seconds, c.end);
    ASSERT_TRUE(span);
    EXPECT_EQ(std::tie(span->line, span->next), std::tie(c.line, c.next));
    EXPECT_DOUBLE_EQ(span->fill, c.fill);
    EXPECT_DOUBLE_EQ(span->length, c.length);
  }
  EXPECT_FALSE(parsed(u"untimed text").span(1, 0));
  EXPECT_FALSE(parsed(std::nullopt).span(1, 0));
}

TEST(LayoutLine, SplitsALineTooWideForOneRow) {
  // Ten points per code unit; the view leaves 100 points.
  const LineLrcModel::TextWidth width = [](const std::u16string& s) { return 10.0 * s.size(); };
  struct Case {
    const char* name;
    std::u16string line;
    std::u16string first;
    std::optional<std::u16string> second;
  } cases[] = {
      {"Fits", u"short", u"short", std::nullopt},
      {"ExactlyFits", u"0123456789", u"0123456789", std::nullopt},
      {"OddLength", u"abcdefghijk", u"abcde", u"fghijk"},
      {"EvenLength", u"我们一起走过的那些年啊", u"我们一起走", u"过的那些年啊"},
      {"Empty", u"", u"", std::nullopt},
      {"PairOnTheBoundaryStaysWhole", u"abcde\U00010000fghij", u"abcde", u"\U00010000fghij"},
      {"LastPairOnTheBoundary", u"abcde\U0010FFFFfghij", u"abcde", u"\U0010FFFFfghij"},
      {"PairBeforeTheBoundary", u"abcd\U0001F3B5fghijk", u"abcd\U0001F3B5", u"fghijk"},
      // Words stay whole: the space nearest the middle breaks the line, the earlier of two as near.
      {"AtTheSpaceNearestTheMiddle", u"Somewhere past the midnight train", u"Somewhere past the",
       u"midnight train"},
      {"SpaceRightOfTheMiddle", u"aaaaaaa bb c", u"aaaaaaa", u"bb c"},
      {"TwoSpacesAsNear", u"aaaaa b cccc", u"aaaaa", u"b cccc"},
      {"SecondOfAdjacentSpaces", u"ab  cdefghijk", u"ab ", u"cdefghijk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineLrcModel model = parsed(u"[00:01]" + c.line);
    model.setTimestamp(1);
    const auto rows = model.layoutLine(width, 100.0);
    EXPECT_EQ(std::tie(rows.display, rows.first, rows.second),
              std::make_tuple(Display::Line, c.first, c.second));
  }
}

TEST(Robustness, MalformedUtf8AndRunawayLinesStayBounded) {
  LineLrcModel model;
  model.setLrcUtf8(
      std::string("[00:01]a\xFF"
                  "b\n"));
  model.processLrc();
  EXPECT_EQ(model.lrcdict(), (Dict{{1.0f, u"a\uFFFDb"}}));

  // A line that needs too much work to match (a run of '[' without ']' before its tag) is given up
  // after a bounded amount of work and dropped; the lines around it are still read.
  std::u16string text = u"[00:01]before\n" + std::u16string(60000, u'[') + u"\r[00:05]x\n[00:02]after";
  model.setLrc(text);
  model.processLrc();
  EXPECT_EQ(model.lrcdict(), (Dict{{1.0f, u"before"}, {2.0f, u"after"}}));

  // A long but well-formed line is read whole.
  const std::u16string longText(200000, u'啦');
  model.setLrc(u"[00:03]" + longText);
  model.processLrc();
  EXPECT_EQ(model.lrcdict(), (Dict{{3.0f, longText}}));

  // UTF-8 text too long to convert leaves no lyrics, not the earlier ones (the pages are never read).
  const std::size_t huge = std::size_t{1} << 31;
  void* pages = mmap(nullptr, huge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  model.setLrcUtf8(std::string_view(static_cast<const char*>(pages), huge));
  EXPECT_FALSE(model.lrc());
  munmap(pages, huge);
}

}  // namespace
}  // namespace tonvera
