// The PURE writer: the header, frames that the descrambler takes apart into exactly the payloads
// that went in (the public files are rebuilt byte for byte), and the rates the encoder takes. (What
// the encoder codes is checked through pure-encode.)
#include <gtest/gtest.h>

#include <cstring>

#include "audio/g719/pure_writer.h"
#include "audio/purecodec.h"
#include "g719_test_util.h"
#include "pure_test_util.h"

namespace tonvera::test {
namespace {

TEST(PureWriter, HeaderIsTheDocumentedLayout) {
  // The header of the public file en_chord_r64.pur: R = 64, 100 frames, 384000 PCM bytes.
  const auto h = pureHeaderBytes(64, 100);
  const std::uint8_t expected[16] = {0x50, 0x55, 0x52, 0x45, 0x10, 0x40, 0x64, 0,
                                     0,    0,    0,    0xdc, 0x05, 0,    0,    0};
  EXPECT_EQ(std::memcmp(h.data(), expected, 16), 0);
  for (const int rate : {2, 32, 64, 128}) {
    const auto parsed = parsePureHeader(pureHeaderBytes(rate, 12345));
    ASSERT_TRUE(parsed) << rate;
    EXPECT_EQ(parsed->m_ucBPS, rate);
    EXPECT_EQ(parsed->m_dwBLOCKS, 12345u);
    EXPECT_EQ(pureDurationMs(*parsed), 12345u * 20);
  }
  // Beyond 32 bits of PCM length the length stays a whole number of frames.
  const auto huge = parsePureHeader(pureHeaderBytes(64, 2000000));
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->m_dwPCMLENGTH % kPureFramePcmBytes, 0u);
  EXPECT_GT(huge->m_dwPCMLENGTH, 0xFFFFFFFFu - kPureFramePcmBytes);
}

// Every public file, split into seeds and payloads and built again, is the same file.
TEST(PureWriter, RebuildsThePublicFilesByteForByte) {
  for (const auto& file : publicPureFiles()) {
    SCOPED_TRACE(file.name);
    const auto bytes = readBytes(purePath(file.name));
    const auto pure = PureFile::open(bytes);
    ASSERT_TRUE(pure);
    const int rate = pure->rate();
    std::vector<std::uint8_t> rebuilt(bytes.begin(), bytes.begin() + kPureHeaderBytes);
    std::vector<std::uint8_t> plain(static_cast<std::size_t>(pure->frameBytes()));
    std::vector<std::uint8_t> frame(plain.size());
    for (std::size_t f = 0; f < pure->frameCount(); ++f) {
      const auto d = pure->readFrame(f, plain);
      const auto seed = static_cast<std::uint16_t>(d[1] | d[2] << 8);
      ASSERT_TRUE(pureBuildFrame(pureChannelPayload(d, rate, 0), d.subspan(4 + pureChannelBytes(rate)), rate,
                                 seed, frame));
      rebuilt.insert(rebuilt.end(), frame.begin(), frame.end());
    }
    EXPECT_TRUE(rebuilt == bytes);
  }
  std::vector<std::uint8_t> small(10), frame(324);
  EXPECT_FALSE(pureBuildFrame(small, small, 64, 0, frame));  // payloads shorter than the rate's
}

TEST(PureWriter, EncoderTakesEvenRatesOnly) {
  for (const int rate : {2, 64, 128}) EXPECT_TRUE(PureEncoder::create(rate)) << rate;
  for (const int rate : {0, 1, 63, 130}) EXPECT_FALSE(PureEncoder::create(rate)) << rate;
}

}  // namespace
}  // namespace tonvera::test
