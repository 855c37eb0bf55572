// The PURE layer on the public files: decoding against the references, framing, refused headers,
// seek and length arithmetic, the fuzz corpus; and the writer (the public files rebuilt byte for byte).
#include <gtest/gtest.h>

#include <cstring>

#include "audio/g719/pure_writer.h"
#include "audio/g719/purecodec.h"
#include "g719_test_util.h"
#include "pure_fuzz_entry.h"
#include "pure_test_util.h"
#include "temp_home.h"

namespace tonvera::test {
namespace {

PURE_HEADER headerWith(std::uint8_t version, std::uint8_t rate, std::uint32_t pcmLength = 0) {
  return PURE_HEADER{kPureMagic, version, rate, 0, pcmLength, 0};
}

TEST(PureCodec, EveryPublicFileDecodesToItsReference) {
  for (const auto& file : publicPureFiles()) {
    SCOPED_TRACE(file.name);
    const auto out = decodeWhole(readBytes(purePath(file.name)));
    const auto ref = readPcm(pureRefPath(file.name));
    ASSERT_EQ(out.size(), static_cast<std::size_t>(file.frames) * kPureFramePcmSamples);
    EXPECT_TRUE(out == ref);
  }
}

// No state without a valid rate; no audio from a refused header; no frame decoded from a missing
// state or a short frame, and nothing written then.
TEST(PureCodec, RefusesWhatItCannotDecode) {
  EXPECT_FALSE(pureCodecCreate(nullptr));
  for (const int rate : {0, 1, 128, 129, 255}) {
    const PURE_HEADER header = headerWith(16, static_cast<std::uint8_t>(rate));
    const auto codec = pureCodecCreate(&header);
    EXPECT_EQ(bool(codec), rate >= 1 && rate <= 128) << rate;
    if (codec) {
      EXPECT_EQ(codec->channel[1].bitsPerFrame, 20 * rate);
    }
  }

  const PURE_HEADER header = headerWith(16, 64);
  const auto codec = pureCodecCreate(&header);
  std::vector<std::uint8_t> frame(323, 0x5A);
  std::int16_t out[kPureFramePcmSamples];
  std::fill(std::begin(out), std::end(out), 1234);
  EXPECT_FALSE(pureDecodeFrame(nullptr, frame, out));
  EXPECT_FALSE(pureDecodeFrame(codec.get(), frame, out));
  EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](std::int16_t v) { return v == 1234; }));
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0x5A; }));
  frame.resize(324, 0x5A);
  EXPECT_TRUE(pureDecodeFrame(codec.get(), frame, out));
}

TEST(PureFramer, DropForgetsThePartialFrameAndResetChangesTheSize) {
  std::vector<std::uint8_t> bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  PureFramer framer(324);
  std::span<std::uint8_t> chunk(bytes.data(), 100);
  EXPECT_TRUE(framer.next(chunk).empty());
  EXPECT_EQ(framer.held(), 100u);
  framer.drop();
  chunk = std::span<std::uint8_t>(bytes.data() + 500, 400);
  auto frame = framer.next(chunk);
  ASSERT_EQ(frame.size(), 324u);
  EXPECT_EQ(frame[0], static_cast<std::uint8_t>(500));
  EXPECT_EQ(chunk.size(), 76u);

  framer.reset(164);
  chunk = std::span<std::uint8_t>(bytes.data(), 164);
  EXPECT_EQ(framer.next(chunk).size(), 164u);

  // Without a usable frame size nothing is framed, and the chunk is consumed (no endless loop).
  for (const int size : {0, -1, kPureMaxFrameBytes + 1}) {
    framer.reset(size);
    chunk = std::span<std::uint8_t>(bytes);
    EXPECT_TRUE(framer.next(chunk).empty());
    EXPECT_TRUE(chunk.empty());
    EXPECT_EQ(framer.held(), 0u);
  }
}

TEST(PureArithmetic, DurationComesFromThePcmLength) {
  const struct {
    std::uint32_t pcmLength, ms;
  } cases[] = {{192000, 1000}, {384000, 2000}, {191, 0}, {192 * 12345 + 191, 12345}, {0xFFFFFFFFu, 22369621}};
  for (const auto& c : cases) EXPECT_EQ(pureDurationMs(headerWith(16, 64, c.pcmLength)), c.ms) << c.pcmLength;
}

TEST(PureFuzz, CorpusReplays) {
  EXPECT_GE(
      test::replayCorpus(std::string(TONVERA_SOURCE_DIR) + "/tests/audio/pure/corpus", pureFuzzOneInput), 8);
}

TEST(PureWriter, HeaderIsTheDocumentedLayout) {
  // The header of the public file en_chord_r64.pur: R = 64, 100 frames, 384000 PCM bytes.
  const auto h = pureHeaderBytes(64, 100);
  const std::uint8_t expected[16] = {0x50, 0x55, 0x52, 0x45, 0x10, 0x40, 0x64, 0,
                                     0,    0,    0,    0xdc, 0x05, 0,    0,    0};
  EXPECT_EQ(std::memcmp(h.data(), expected, 16), 0);
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
    const auto header = parsePureHeader(bytes);
    ASSERT_TRUE(header);
    const int rate = header->m_ucBPS;
    const std::size_t size = static_cast<std::size_t>(pureFrameBytes(rate));
    std::vector<std::uint8_t> rebuilt(bytes.begin(), bytes.begin() + kPureHeaderBytes), frame(size);
    for (std::size_t at = kPureHeaderBytes; at + size <= bytes.size(); at += size) {
      std::vector<std::uint8_t> d(bytes.begin() + long(at), bytes.begin() + long(at + size));
      pureDescramble(d, rate);
      const auto seed = static_cast<std::uint16_t>(d[1] | d[2] << 8);
      ASSERT_TRUE(pureBuildFrame(pureChannelPayload(d, rate, 0), std::span(d).subspan(4 + pureChannelBytes(rate)),
                                 rate, seed, frame));
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
