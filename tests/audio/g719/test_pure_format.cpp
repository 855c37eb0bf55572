// The PURE layout helpers: header check, frame sizes, descrambling, channel payloads and the
// soft-bit expansion.
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

TEST(PureFormat, HeaderCheck) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool accepted;
  } cases[] = {
      {"rate 64", header(16, 64), true},
      {"rate 1", header(16, 1), true},
      {"rate 128", header(16, 128), true},
      {"version 15", header(15, 64), false},
      {"version 17", header(17, 64), false},
      {"rate 0", header(16, 0), false},
      {"rate 129", header(16, 129), false},
      {"short",
       [] {
         auto h = header(16, 64);
         h.pop_back();
         return h;
       }(),
       false},
      {"magic",
       [] {
         auto h = header(16, 64);
         h[0] = 'p';
         return h;
       }(),
       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parsePureHeader(c.bytes).has_value(), c.accepted) << c.name;
  }
  const auto h = parsePureHeader(header(16, 64, 192000));
  ASSERT_TRUE(h);
  EXPECT_EQ(h->m_dwID, kPureMagic);
  EXPECT_EQ(h->m_ucVersion, 16);
  EXPECT_EQ(h->m_ucBPS, 64);
  EXPECT_EQ(h->m_dwBLOCKS, 100u);
  EXPECT_EQ(h->m_dwPCMLENGTH, 192000u);
  EXPECT_EQ(h->m_wRESERVED, 0x1234);
  EXPECT_EQ(pureFrameBytes(64), 324);
  EXPECT_EQ(pureChannelBytes(64), 160);
  EXPECT_EQ(pureFrameBytes(128), kPureMaxFrameBytes);
  EXPECT_EQ(pureChannelBits(64), 1280);
}

// The worked example of the first frame of en_chord_r64.pur: its payload descrambles to the
// first bytes of the two mono streams it was built from.
TEST(PureFormat, DescramblesTheFirstFrameOfAFile) {
  const auto bytes = readBytes(g719Dir() + "pure/en_chord_r64.pur");
  const auto file = PureFile::open(bytes);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->rate(), 64);
  EXPECT_EQ(file->frameCount(), 100u);
  EXPECT_EQ(file->trailingBytes(), 0u);
  EXPECT_EQ(file->header().m_dwPCMLENGTH, 384000u);
  std::uint8_t buffer[kPureMaxFrameBytes];
  const auto frame = file->readFrame(0, buffer);
  ASSERT_EQ(frame.size(), 324u);
  const auto left = readBytes(g719Dir() + "vectors/speech_en_r64.bits");
  const auto right = readBytes(g719Dir() + "vectors/chord_r64.bits");
  const auto l = pureChannelPayload(frame, 64, 0);
  const auto r = pureChannelPayload(frame, 64, 1);
  ASSERT_EQ(l.size(), 160u);
  ASSERT_EQ(r.size(), 160u);
  EXPECT_TRUE(std::equal(l.begin(), l.end(), left.begin()));
  EXPECT_TRUE(std::equal(r.begin(), r.end(), right.begin()));
  EXPECT_EQ(frame[4], 0x7f);
  EXPECT_EQ(frame[164], 0xff);
  EXPECT_TRUE(file->readFrame(100, buffer).empty());
  EXPECT_TRUE(file->readFrame(0, std::span<std::uint8_t>(buffer, 323)).empty());
}

TEST(PureFormat, DescramblingTwiceRestoresTheFrame) {
  for (const int rate : {1, 2, 3, 63, 64, 127, 128}) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(pureFrameBytes(rate)));
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const auto original = frame;
    pureDescramble(frame, rate);
    EXPECT_NE(frame, original) << rate;
    pureDescramble(frame, rate);
    EXPECT_EQ(frame, original) << rate;
  }
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
