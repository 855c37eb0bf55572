// The station's small parts (text folding and the PURE header: through the library), and the fuzz
// corpus of its request-text parsers replayed through the fuzz entry.
#include <gtest/gtest.h>

#include "station/audioformats.h"
#include "station/byterange.h"
#include "station/ids.h"
#include "station/records.h"
#include "station/tagreader.h"
#include "station/text.h"
#include "station_fuzz_entry.h"
#include "temp_home.h"

namespace tonvera::station {
namespace {

TEST(StationParts, RangeHeaderAgainstLength) {
  using K = RangeRequest::Kind;
  struct Case {
    const char* header;
    std::uint64_t length;
    K kind;
    std::uint64_t first, last;
  };
  const Case cases[] = {
      {"", 100, K::Whole, 0, 0},
      {"bytes=0-0", 100, K::Partial, 0, 0},
      {"bytes=99-99", 100, K::Partial, 99, 99},
      {"bytes=99-", 100, K::Partial, 99, 99},
      {"bytes=50-999", 100, K::Partial, 50, 99},  // the end is cut to the length
      {"bytes=-10", 100, K::Partial, 90, 99},
      {"bytes=-1000", 100, K::Partial, 0, 99},
      {" bytes = 5 - 6 ", 100, K::Whole, 0, 0},  // the unit is "bytes=" exactly
      {"bytes= 5 - 6 ", 100, K::Partial, 5, 6},
      {"bytes=100-", 100, K::Unsatisfiable, 0, 0},
      {"bytes=-0", 100, K::Unsatisfiable, 0, 0},
      {"bytes=0-", 0, K::Unsatisfiable, 0, 0},
      {"bytes=5-2", 100, K::Whole, 0, 0},
      {"bytes=0-1,5-6", 100, K::Whole, 0, 0},
      {"items=0-1", 100, K::Whole, 0, 0},
      {"bytes=abc", 100, K::Whole, 0, 0},
      {"bytes=1-x", 100, K::Whole, 0, 0},
      {"bytes=99999999999999999999-", 100, K::Whole, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    const auto r = parseRange(c.header, c.length);
    EXPECT_EQ(r.kind, c.kind);
    if (c.kind == K::Partial) {
      EXPECT_EQ(r.first, c.first);
      EXPECT_EQ(r.last, c.last);
    }
  }
}

TEST(StationParts, BaseUrlFollowsTheHostHeaderWhenItIsAPlainHost) {
  const std::pair<const char*, const char*> cases[] = {
      {"127.0.0.1:7650", "http://127.0.0.1:7650"},
      {"music.example", "http://music.example"},
      {"[::1]:7650", "http://[::1]:7650"},
      {"", "http://127.0.0.1:9"},
      {"evil.example/path", "http://127.0.0.1:9"},
      {"host:", "http://127.0.0.1:9"},
      {"host:12x", "http://127.0.0.1:9"},
      {"host:123456", "http://127.0.0.1:9"},
      {"[::1", "http://127.0.0.1:9"},
      {"[::1]x", "http://127.0.0.1:9"},
      {"主机:80", "http://127.0.0.1:9"},
  };
  for (const auto& [host, expected] : cases) EXPECT_EQ(baseUrlFor(host, "127.0.0.1:9"), expected) << host;
}

TEST(StationParts, QueryTextIsDecodedOnceMoreWhenItStillHoldsEscapes) {
  // The player's search page escapes the key and the request layer escapes the URL again; the HTTP
  // server undoes one level.
  EXPECT_EQ(decodeQueryText("echo%20park"), "echo park");
  EXPECT_EQ(decodeQueryText("林夏"), "林夏");
  EXPECT_EQ(decodeQueryText("100%"), "100%");      // not an escape: kept
  EXPECT_EQ(decodeQueryText("%FF%FE"), "%FF%FE");  // decoding again would not be UTF-8: kept
}

TEST(StationParts, FormBodies) {
  auto form = parseForm("similar=1&id=t1,ar2,&x=a+b%21");
  ASSERT_TRUE(form);
  ASSERT_EQ(form->size(), 3u);
  EXPECT_EQ((*form)[0], (std::pair<std::string, std::string>{"similar", "1"}));
  EXPECT_EQ((*form)[1].second, "t1,ar2,");
  EXPECT_EQ((*form)[2].second, "a b!");
  EXPECT_EQ(parseForm("")->size(), 0u);
  EXPECT_EQ(parseForm("id")->at(0).second, "");
  EXPECT_FALSE(parseForm("id=%4"));  // (bad escapes and bytes: the station's refusals)
}

TEST(StationParts, Utf8Validation) {
  EXPECT_TRUE(isValidUtf8("abc 林夏 😀"));
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(isValidUtf8("\xE6\x9E"));          // cut short
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_EQ(toValidUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

TEST(StationParts, IdsAreStableAndNeedNoEscaping) {
  const auto id = makeId("t", "林夏/夏日来信/01 夏日来信.mp3");
  EXPECT_EQ(id, makeId("t", "林夏/夏日来信/01 夏日来信.mp3"));
  EXPECT_NE(id, makeId("t", "林夏/夏日来信/02 海边的风.mp3"));
  EXPECT_EQ(id.size(), 14u);
  EXPECT_TRUE(isWellFormedId(id));
  for (const char* bad : {"", "..", "a/b", "A", "a%2F", "a b", "a.b", "-1"}) EXPECT_FALSE(isWellFormedId(bad)) << bad;
  EXPECT_TRUE(isWellFormedId("all"));
}

TEST(StationParts, ArtistNamesAreSplitAtListSeparatorsOnly) {
  EXPECT_EQ(splitArtistNames({"A / B"}), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(splitArtistNames({"林夏、苏小禾"}), (std::vector<std::string>{"林夏", "苏小禾"}));
  EXPECT_EQ(splitArtistNames({"A; B", "C"}), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(splitArtistNames({"Simon & Garfunkel"}), (std::vector<std::string>{"Simon & Garfunkel"}));
  EXPECT_EQ(splitArtistNames({"AC/DC"}), (std::vector<std::string>{"AC/DC"}));
  EXPECT_EQ(splitArtistNames({" A ", "A", ""}), (std::vector<std::string>{"A"}));
}

// The content type of each format is checked where streams are served.
TEST(StationParts, FormatsByExtensionInAnyCase) {
  const std::pair<const char*, std::optional<AudioFormat>> cases[] = {
      {"a.MP3", AudioFormat::Mp3}, {"a.aif", AudioFormat::Aiff}, {"a.mp4", AudioFormat::M4a},
      {"a.pur", AudioFormat::Pure}, {"a.flac", std::nullopt}, {"mp3", std::nullopt}, {"a.", std::nullopt},
  };
  for (const auto& [name, format] : cases) EXPECT_EQ(formatForFileName(name), format) << name;
}

TEST(StationParts, Id3v2TagSize) {
  EXPECT_EQ(id3v2TagSize(std::string("ID3\x04\x00\x00\x00\x00\x01\x7F", 10)), 10u + 255u);
  EXPECT_EQ(id3v2TagSize(std::string("ID3\x04\x00\x10\x00\x00\x00\x05", 10)), 10u + 5u + 10u);  // footer
  EXPECT_EQ(id3v2TagSize(std::string("\xFF\xF1\x50\x80\x00\x1F\xFC", 7)), 0u);
  EXPECT_FALSE(id3v2TagSize(std::string("ID3\x04\x00\x00\x80\x00\x00\x00", 10)));  // not sync-safe
}

TEST(StationFuzzReplay, CorpusRunsClean) {
  EXPECT_GE(test::replayCorpus(std::string(TONVERA_SOURCE_DIR) + "/fuzz/station/corpus", stationFuzzOne), 10);
  // Every parser also meets empty and one-byte inputs.
  for (int selector = 0; selector < 6; ++selector) {
    const std::uint8_t one[] = {static_cast<std::uint8_t>(selector)};
    EXPECT_EQ(stationFuzzOne(one, 1), 0);
  }
  EXPECT_EQ(stationFuzzOne(nullptr, 0), 0);
}

}  // namespace
}  // namespace tonvera::station
