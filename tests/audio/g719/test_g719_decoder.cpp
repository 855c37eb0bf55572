// The G.719 decoder: every public vector sample for sample, the state's bit counts, the 16-bit
// output, clamped norms, the fuzz corpus, and the soft bits of short PURE payloads.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "audio/g719/g719_decoder.h"
#include "audio/g719/pure_format.h"
#include "g719_fuzz_entry.h"
#include "g719_test_util.h"
#include "temp_home.h"

namespace tonvera::test {
namespace {

using Pcm = std::vector<std::int16_t>;

Pcm decodeOne(std::span<const std::uint16_t> soft, int frameBits, G719ChannelState& state) {
  Pcm out(960);
  g719ResetBitCounts(state, frameBits);
  g719DecodeFrame(soft, false, std::span<std::int16_t, 960>(out.data(), 960), state);
  return out;
}

G719ChannelState freshState(int frameBits) {
  G719ChannelState s;
  std::memset(&s, 0, sizeof s);
  g719Init(s, frameBits);
  return s;
}

// Frame sizes out of range are limited to what the decoder accepts; the reset before every frame
// keeps the overlap and the transient flag.
TEST(G719State, BitCountsAreClampedAndTheResetKeepsTheSignalState) {
  G719ChannelState s = freshState(1280);
  s.overlap[3] = 7.0f;
  s.prevTransient = 1;
  const struct {
    int in, bits;
  } cases[] = {{-5, 0}, {0, 0}, {20, 20}, {640, 640}, {2560, 2560}, {2561, 2560}, {100000, 2560}};
  for (const auto& c : cases) {
    g719ResetBitCounts(s, c.in);
    EXPECT_EQ(s.bitsPerFrame, c.bits) << c.in;
    EXPECT_EQ(s.stationaryBits, c.bits - 3) << c.in;
    EXPECT_EQ(s.transientBits, c.bits - 1) << c.in;
  }
  EXPECT_EQ(s.overlap[3], 7.0f);
  EXPECT_EQ(s.prevTransient, 1);
}

// With a zero spectrum the output is the overlap memory itself, clamped to 16 bits and truncated
// toward zero.
TEST(G719Decoder, OutputIsClampedAndTruncatedTowardZero) {
  const struct {
    float in;
    std::int16_t out;
  } cases[] = {
      {0.0f, 0},           {0.99f, 0},          {-0.99f, 0},         {12.9f, 12},       {-12.9f, -12},
      {32766.99f, 32766},  {32767.0f, 32767},   {32767.5f, 32767},   {40000.0f, 32767}, {1e30f, 32767},
      {-32767.5f, -32767}, {-32768.0f, -32768}, {-32768.9f, -32768}, {-1e30f, -32768},  {-1.0f, -1},
  };
  G719ChannelState s = freshState(1280);
  std::memset(s.prevSpectrum, 0, sizeof s.prevSpectrum);
  const int n = static_cast<int>(std::size(cases));
  for (int i = 0; i < 960; ++i) s.overlap[i] = cases[i % n].in;
  Pcm out(960);
  g719DecodeFrame({}, true, std::span<std::int16_t, 960>(out.data(), 960), s);
  for (int i = 0; i < 960; ++i) ASSERT_EQ(out[i], cases[i % n].out) << "overlap value " << cases[i % n].in;
}

// Soft-bit frame writer for hand-made frames.
struct FrameWriter {
  std::vector<std::uint16_t> soft;
  void put(unsigned value, int bits) {
    for (int i = bits - 1; i >= 0; --i) soft.push_back((value >> i) & 1 ? kG719SoftOne : kG719SoftZero);
  }
};

// Plain 5-bit norms whose running sum leaves 0..39 decode exactly like the same frame with the
// norms held at the nearest limit: indices are clamped, and the bit reading is unchanged.
TEST(G719Decoder, NormIndicesOutsideTheQuantiserAreClamped) {
  struct Case {
    const char* name;
    unsigned first, firstDiff, diff;              // wild frame
    unsigned tameFirst, tameFirstDiff, tameDiff;  // same norms after clamping
  };
  const Case cases[] = {
      {"above 39", 31, 31, 31, 31, 23, 15},  // 31, 47, 63, ... -> 31, 39, 39, ...
      {"below 0", 0, 0, 0, 0, 15, 15},       // 0, -15, -30, ... -> 0, 0, 0, ...
  };
  std::mt19937 rng(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool transient : {false, true}) {
      FrameWriter wild, tame;
      for (FrameWriter* w : {&wild, &tame}) w->put(transient ? 0b1100 : 0b0100, 4);  // T, 44 bands, plain
      wild.put(c.first, 5);
      tame.put(c.tameFirst, 5);
      for (int q = 1; q < 44; ++q) {
        wild.put(q == 1 ? c.firstDiff : c.diff, 5);
        tame.put(q == 1 ? c.tameFirstDiff : c.tameDiff, 5);
      }
      std::vector<std::uint16_t> tail;
      while (wild.soft.size() + tail.size() < 1280) tail.push_back(rng() & 1 ? kG719SoftOne : kG719SoftZero);
      wild.soft.insert(wild.soft.end(), tail.begin(), tail.end());
      tame.soft.insert(tame.soft.end(), tail.begin(), tail.end());
      G719ChannelState a = freshState(1280), b = freshState(1280);
      for (int f = 0; f < 3; ++f) ASSERT_EQ(decodeOne(wild.soft, 1280, a), decodeOne(tame.soft, 1280, b));
    }
  }
}

// Every public vector (201 frames), sample for sample.
TEST(G719Vector, MatchesReferenceDecoder) {
  const std::pair<const char*, int> vectors[] = {
      {"castanets_r48", 48},    {"castanets_r64", 64}, {"chord_r64", 64},     {"chord_r96", 96},
      {"noise_full_r128", 128}, {"noise_low_r32", 32}, {"silence_r64", 64},   {"speech_en_r128", 128},
      {"speech_en_r32", 32},    {"speech_en_r64", 64}, {"speech_zh_r48", 48}, {"speech_zh_r64", 64},
      {"square_clip_r96", 96},  {"sweep_r128", 128},   {"sweep_r32", 32},     {"sweep_r96", 96},
  };
  for (const auto& [name, rate] : vectors) {
    SCOPED_TRACE(name);
    const std::vector<std::int16_t> ref = readPcm(g719Dir() + "vectors/" + name + ".ref.pcm");
    ASSERT_EQ(ref.size(), 201u * 960);
    EXPECT_TRUE(decodeStream(readBytes(g719Dir() + "vectors/" + name + ".bits"), rate) == ref);
  }
}

TEST(G719Fuzz, CorpusReplays) {
  EXPECT_GT(
      test::replayCorpus(std::string(TONVERA_SOURCE_DIR) + "/tests/audio/g719/corpus", g719FuzzOneInput), 10);
}

TEST(PureFormat, SoftBitExpansionFollowsTheBytesMsbFirst) {
  std::uint32_t seed = 1;
  for (const int rate : {1, 2, 3, 31, 64, 127, 128}) {
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(pureChannelBits(rate) / 8));
    for (auto& b : payload) b = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    for (const std::size_t given : {payload.size(), payload.size() / 2}) {  // a short payload reads as zeros
      std::vector<std::uint16_t> soft(static_cast<std::size_t>(pureChannelBits(rate)), 0);
      pureExpandSoftBits(std::span(payload).first(given), rate, soft);
      for (std::size_t k = 0; k < soft.size(); ++k) {
        const bool one = k / 8 < given && (payload[k / 8] >> (7 - k % 8)) & 1;
        ASSERT_EQ(soft[k], one ? 0x0081 : 0x007F) << "rate " << rate << " bit " << k;
      }
    }
  }
}

}  // namespace
}  // namespace tonvera::test
