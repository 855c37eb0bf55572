// Every public G.719 vector decodes through the packed-byte entry to the reference decoder's output
// (the soft-bit entry is checked on the PURE files through the PURE layer). The rule is the strict one
// (largest difference 1, mean squared difference 0.01); the decoder in fact reproduces the reference sample
// for sample, which is checked too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/g719/g719_decoder.h"
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
}

INSTANTIATE_TEST_SUITE_P(Vectors, G719Vector, testing::ValuesIn(kVectors),
                         [](const testing::TestParamInfo<Vector>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tonvera::test
