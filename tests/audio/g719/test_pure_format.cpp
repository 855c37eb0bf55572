// The PURE layout helpers beyond what decoding the public files to their references checks: the
// soft-bit expansion of short payloads and a partial last frame. (Headers, descrambling and channel
// payloads are checked by the PURE layer's tests and the writer's byte-for-byte rebuilds.)
#include <gtest/gtest.h>

#include <vector>

#include "audio/g719/pure_format.h"
#include "g719_test_util.h"

namespace tonvera::test {
namespace {

std::vector<std::uint8_t> header(std::uint8_t version, std::uint8_t rate, std::uint32_t pcmLength = 192000) {
  std::vector<std::uint8_t> h = {'P', 'U', 'R', 'E', version, rate, 100, 0, 0, 0};
  for (int i = 0; i < 4; ++i) h.push_back(static_cast<std::uint8_t>(pcmLength >> (8 * i)));
  h.push_back(0x34);
  h.push_back(0x12);
  return h;
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

TEST(PureFormat, PartialLastFrameIsNotCounted) {
  auto bytes = header(16, 64);
  bytes.resize(16 + 2 * 324 + 100, 0);
  const auto file = PureFile::open(bytes);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->frameCount(), 2u);
  EXPECT_EQ(file->trailingBytes(), 100u);
}

}  // namespace
}  // namespace tonvera::test
