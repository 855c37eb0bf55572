// The PURE writer: the header, frames that the framer and the descrambler take apart into exactly
// the payloads that went in (the public files are rebuilt byte for byte), and the stereo encoder
// whose streams the PURE decoder plays with the channels kept apart.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

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
}

// Random payloads at every rate, framed from chunks of random sizes and descrambled, come back.
TEST(PureWriter, FramerGivesThePayloadsBack) {
  std::mt19937 rng(3);
  for (const int rate : {2, 12, 32, 48, 64, 96, 128}) {
    SCOPED_TRACE(rate);
    const std::size_t w = static_cast<std::size_t>(pureChannelBytes(rate));
    std::vector<std::vector<std::uint8_t>> payloads;
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(pureFrameBytes(rate)));
    for (int f = 0; f < 40; ++f) {
      std::vector<std::uint8_t> l(w), r(w);
      for (auto& b : l) b = static_cast<std::uint8_t>(rng());
      for (auto& b : r) b = static_cast<std::uint8_t>(rng());
      ASSERT_TRUE(pureBuildFrame(l, r, rate, static_cast<std::uint16_t>(rng()), frame));
      stream.insert(stream.end(), frame.begin(), frame.end());
      payloads.push_back(l);
      payloads.push_back(r);
    }
    PureFramer framer(pureFrameBytes(rate));
    std::size_t next = 0;
    for (std::size_t at = 0; at < stream.size();) {
      const std::size_t n = std::min<std::size_t>(1 + rng() % 700, stream.size() - at);
      std::span<std::uint8_t> chunk(stream.data() + at, n);
      at += n;
      while (!chunk.empty()) {
        const auto got = framer.next(chunk);
        if (got.empty()) break;
        pureDescramble(got, rate);
        for (int ch = 0; ch < 2; ++ch) {
          const auto p = pureChannelPayload(got, rate, ch);
          ASSERT_TRUE(std::equal(p.begin(), p.end(), payloads[next].begin())) << "payload " << next;
          ++next;
        }
      }
    }
    EXPECT_EQ(next, payloads.size());
  }
  std::vector<std::uint8_t> small(10);
  std::vector<std::uint8_t> frame(324);
  EXPECT_FALSE(pureBuildFrame(small, small, 64, 0, frame));
}

TEST(PureWriter, EncoderTakesEvenRatesOnly) {
  for (const int rate : {2, 64, 128}) EXPECT_TRUE(PureEncoder::create(rate)) << rate;
  for (const int rate : {0, 1, 63, 130}) EXPECT_FALSE(PureEncoder::create(rate)) << rate;
}

// Speech left and castanets right, coded at R = 64 and played by the PURE decoder: each channel
// follows its own source one frame late, and coding again gives the same bytes.
TEST(PureWriter, StereoStreamDecodesIntoItsTwoChannels) {
  const std::size_t n = 48000;
  const std::size_t frames = pureFramesFor(n);
  const auto stereo = speechAndCastanets(n, frames);
  auto encode = [&] {
    auto enc = PureEncoder::create(64);
    const auto h = pureHeaderBytes(64, static_cast<std::uint32_t>(frames));
    std::vector<std::uint8_t> out(h.begin(), h.end());
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(enc->frameBytes()));
    for (std::size_t f = 0; f < frames; ++f) {
      EXPECT_TRUE(
          enc->encodeFrame(std::span<const std::int16_t, 1920>(stereo.data() + 1920 * f, 1920), frame));
      out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
  };
  const auto stream = encode();
  EXPECT_EQ(stream.size(), 16 + frames * 324);
  EXPECT_TRUE(encode() == stream);
  const auto out = decodeWhole(stream);
  ASSERT_EQ(out.size(), frames * 1920);
  EXPECT_GT(channelSnrOneFrameLate(stereo, out, n, 0), 28.0);
  EXPECT_GT(channelSnrOneFrameLate(stereo, out, n, 1), 4.0);
}

}  // namespace
}  // namespace tonvera::test
