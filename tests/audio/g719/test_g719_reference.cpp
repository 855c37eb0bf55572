// Every public G.719 vector and both channels of every public PURE file decode to the reference
// decoder's output. The rule is the strict one (largest difference 1, mean squared difference
// 0.01); the decoder in fact reproduces the reference sample for sample, which is checked too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/g719/g719_decoder.h"
#include "audio/g719/pure_format.h"
#include "g719_test_util.h"

namespace tonvera::test {
namespace {

struct Vector {
  const char* name;
  int rate;
};

const Vector kVectors[] = {
    {"castanets_r48", 48},    {"castanets_r64", 64}, {"chord_r64", 64},     {"chord_r96", 96},
    {"noise_full_r128", 128}, {"noise_low_r32", 32}, {"silence_r64", 64},   {"speech_en_r128", 128},
    {"speech_en_r32", 32},    {"speech_en_r64", 64}, {"speech_zh_r48", 48}, {"speech_zh_r64", 64},
    {"square_clip_r96", 96},  {"sweep_r128", 128},   {"sweep_r32", 32},     {"sweep_r96", 96},
};

void PrintTo(const Vector& v, std::ostream* os) { *os << v.name; }

class G719Vector : public testing::TestWithParam<Vector> {};

TEST_P(G719Vector, MatchesReferenceDecoder) {
  const Vector& v = GetParam();
  const std::vector<std::uint8_t> bits = readBytes(g719Dir() + "vectors/" + v.name + ".bits");
  const std::vector<std::int16_t> ref = readPcm(g719Dir() + "vectors/" + v.name + ".ref.pcm");
  ASSERT_EQ(bits.size(), 201u * 20 * v.rate / 8);
  ASSERT_EQ(ref.size(), 201u * 960);

  const std::vector<std::int16_t> out = decodeStream(bits, v.rate);
  const Closeness c = compare(ref, out);
  EXPECT_TRUE(c.strict()) << "samples " << c.samples << " max " << c.maxDiff << " mse " << c.mse;
  EXPECT_EQ(c.differing, 0u) << "max " << c.maxDiff;

  // The packed-byte entry point decodes the same bits to the same samples.
  G719ChannelState state{};
  g719Init(state, 20 * v.rate);
  const std::size_t frameBytes = 20u * v.rate / 8;
  std::vector<std::int16_t> packed(out.size());
  for (std::size_t f = 0; f < 201; ++f) {
    g719ResetBitCounts(state, 20 * v.rate);
    g719DecodePackedFrame(std::span<const std::uint8_t>(bits.data() + f * frameBytes, frameBytes), false,
                          std::span<std::int16_t, 960>(&packed[f * 960], 960), state);
  }
  EXPECT_EQ(packed, out);
}

INSTANTIATE_TEST_SUITE_P(Vectors, G719Vector, testing::ValuesIn(kVectors),
                         [](const testing::TestParamInfo<Vector>& info) {
                           return std::string(info.param.name);
                         });

// Decodes a whole PURE file: header, descrambling, soft-bit expansion of each channel, one state
// per channel, bit counts reset before every frame, channels interleaved.
std::vector<std::int16_t> decodePure(const std::vector<std::uint8_t>& bytes, int* rate) {
  const auto file = PureFile::open(bytes);
  if (!file) return {};
  *rate = file->rate();
  const int bits = pureChannelBits(file->rate());
  G719ChannelState states[2] = {};
  g719Init(states[0], bits);
  g719Init(states[1], bits);
  std::vector<std::int16_t> out;
  std::uint8_t buffer[kPureMaxFrameBytes];
  std::vector<std::uint16_t> soft(static_cast<std::size_t>(bits));
  std::int16_t pcm[2][960];
  for (std::size_t f = 0; f < file->frameCount(); ++f) {
    const std::span<std::uint8_t> frame = file->readFrame(f, buffer);
    for (int ch = 0; ch < 2; ++ch) {
      pureExpandSoftBits(pureChannelPayload(frame, file->rate(), ch), file->rate(), soft);
      g719ResetBitCounts(states[ch], bits);
      g719DecodeFrame(soft, false, pcm[ch], states[ch]);
    }
    for (int i = 0; i < 960; ++i) {
      out.push_back(pcm[0][i]);
      out.push_back(pcm[1][i]);
    }
  }
  return out;
}

struct PureCase {
  const char* name;
  int rate;
  std::size_t frames;
};

const PureCase kPureFiles[] = {
    {"castanets_silence_r64", 64, 100}, {"en_chord_r64", 64, 100}, {"en_enquiet_r64", 64, 100},
    {"en_sweep_r32", 32, 100},          {"short3_r64", 64, 3},     {"sweep_noisefull_r128", 128, 100},
    {"zh_castanets_r64", 64, 100},
};

void PrintTo(const PureCase& p, std::ostream* os) { *os << p.name; }

class PureReference : public testing::TestWithParam<PureCase> {};

TEST_P(PureReference, BothChannelsMatchReference) {
  const PureCase& p = GetParam();
  const std::vector<std::uint8_t> bytes = readBytes(g719Dir() + "pure/" + p.name + ".pur");
  const std::vector<std::int16_t> ref = readPcm(g719Dir() + "pure/" + p.name + ".ref.pcm");
  int rate = 0;
  const std::vector<std::int16_t> out = decodePure(bytes, &rate);
  EXPECT_EQ(rate, p.rate);
  ASSERT_EQ(out.size(), p.frames * 960 * 2);
  for (int ch = 0; ch < 2; ++ch) {
    const Closeness c = compare(ref, out, 2, ch);
    EXPECT_TRUE(c.strict()) << "channel " << ch << " max " << c.maxDiff << " mse " << c.mse;
    EXPECT_EQ(c.differing, 0u) << "channel " << ch;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, PureReference, testing::ValuesIn(kPureFiles),
                         [](const testing::TestParamInfo<PureCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(PureReference, ShortFileGivesThreeFramesWithEqualChannels) {
  const std::vector<std::uint8_t> bytes = readBytes(g719Dir() + "pure/short3_r64.pur");
  int rate = 0;
  const std::vector<std::int16_t> out = decodePure(bytes, &rate);
  ASSERT_EQ(out.size(), 3u * 960 * 2);
  for (std::size_t i = 0; i < out.size(); i += 2) ASSERT_EQ(out[i], out[i + 1]) << "sample " << i / 2;
}

TEST(PureReference, WrongVersionIsRefusedWithoutAudio) {
  const std::vector<std::uint8_t> bytes = readBytes(g719Dir() + "pure/badversion_r64.pur");
  ASSERT_GT(bytes.size(), kPureHeaderBytes);
  EXPECT_FALSE(PureFile::open(bytes).has_value());
  int rate = 0;
  EXPECT_TRUE(decodePure(bytes, &rate).empty());
}

}  // namespace
}  // namespace tonvera::test
