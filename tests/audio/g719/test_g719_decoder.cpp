// Behaviour of the G.719 decoder beyond the reference streams: the bit counts of the state,
// erasure concealment, the 16-bit output conversion, and clamped norms. Damaged frames and bit
// counts at every rate come from the fuzz corpus (test_g719_corpus.cpp).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "audio/g719/g719_decoder.h"
#include "audio/g719/g719_transform.h"
#include "g719_test_util.h"

namespace tonvera::test {
namespace {

using Pcm = std::vector<std::int16_t>;

// Decodes frames [0, count) of a packed vector into state; returns the last frame's samples.
Pcm decodeFrames(const std::vector<std::uint8_t>& bits, int rate, int count, G719ChannelState& state) {
  const int frameBits = 20 * rate;
  Pcm out(960);
  for (int f = 0; f < count; ++f) {
    const auto soft = softBitsOf(bits.data() + static_cast<std::size_t>(f) * frameBits / 8, frameBits);
    g719ResetBitCounts(state, frameBits);
    g719DecodeFrame(soft, false, std::span<std::int16_t, 960>(out.data(), 960), state);
  }
  return out;
}

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

// The erasure output is the synthesis of the halved previous spectrum with the previous frame's
// transform type; the halved spectrum is kept for the next erasure.
struct ErasureCase {
  int framesBefore;  // castanets_r64 frames decoded before the erasure
  int lastTransient;
};

void PrintTo(const ErasureCase& c, std::ostream* os) { *os << c.framesBefore << " frames"; }

class G719Erasure : public testing::TestWithParam<ErasureCase> {};

TEST_P(G719Erasure, HalvesPreviousSpectrumAndKeepsTransientFlag) {
  const auto bits = readBytes(g719Dir() + "vectors/castanets_r64.bits");
  G719ChannelState s = freshState(1280);
  decodeFrames(bits, 64, GetParam().framesBefore, s);
  ASSERT_EQ(s.prevTransient, GetParam().lastTransient);
  const G719ChannelState before = s;

  Pcm out(960);
  g719DecodeFrame({}, true, std::span<std::int16_t, 960>(out.data(), 960), s);
  EXPECT_EQ(s.prevTransient, before.prevTransient);
  int nonzero = 0;
  for (int i = 0; i < 960; ++i) {
    ASSERT_EQ(s.prevSpectrum[i], before.prevSpectrum[i] / 2) << i;
    nonzero += before.prevSpectrum[i] != 0;
  }
  EXPECT_GT(nonzero, 100);

  float overlap[960];
  std::memcpy(overlap, before.overlap, sizeof overlap);
  Pcm expected(960);
  (before.prevTransient ? g719::synthesizeShort : g719::synthesizeLong)(s.prevSpectrum, overlap,
                                                                        expected.data());
  EXPECT_EQ(out, expected);
  EXPECT_EQ(std::memcmp(overlap, s.overlap, sizeof overlap), 0);

  // A second erasure halves again.
  g719DecodeFrame({}, true, std::span<std::int16_t, 960>(out.data(), 960), s);
  for (int i = 0; i < 960; ++i) ASSERT_EQ(s.prevSpectrum[i], before.prevSpectrum[i] / 4) << i;
}

// castanets_r64 frames 40 and 41 are transient, frame 42 stationary.
INSTANTIATE_TEST_SUITE_P(PreviousFrame, G719Erasure, testing::Values(ErasureCase{41, 1}, ErasureCase{43, 0}),
                         [](const testing::TestParamInfo<ErasureCase>& info) {
                           return info.param.lastTransient ? std::string("Transient")
                                                           : std::string("Stationary");
                         });

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

}  // namespace
}  // namespace tonvera::test
