// The container parsers on untrusted bytes: absurd sizes, tables that point past the data, files
// that cannot stream. Nothing may crash, hang, allocate without bound or describe bytes it was not
// given (checked by the recorder, and by the address sanitizer when the tests are built with it).
// Real files cut short, flipped and followed by garbage go through the fuzz entry (fuzz replay test).
#include <gtest/gtest.h>

#include <string_view>

#include "format_fixtures.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {
namespace {

using test::Bytes;
using namespace std::string_view_literals;

class Recorder : public StreamFormatParser::Output {
 public:
  void publishProperty(std::uint32_t id, const void*, std::uint32_t) override { properties.push_back(id); }
  void deliverPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                      const AudioStreamPacketDescription* d) override {
    volatile std::uint8_t sink = 0;
    for (std::uint32_t i = 0; i < numberBytes; ++i) sink = sink ^ data[i];  // every byte must be readable
    if (!d) {
      pcmBytes += numberBytes;
      return;
    }
    for (std::uint32_t i = 0; i < numberPackets; ++i) {
      ASSERT_GE(d[i].startOffset, 0);
      ASSERT_LE(std::uint64_t(d[i].startOffset) + d[i].dataByteSize, numberBytes);
      largest = std::max(largest, d[i].dataByteSize);
      ++packets;
    }
  }
  std::vector<std::uint32_t> properties;
  std::uint64_t pcmBytes = 0;
  std::uint64_t packets = 0;
  std::uint32_t largest = 0;
};

using Factory = test::ParserFactory;

struct Fed {
  AudioStatus status = kAudioNoErr;
  Recorder out;
};

Fed feed(Factory factory, const Bytes& bytes, std::size_t chunk = 777) {
  Fed fed;
  auto parser = factory(fed.out);
  for (std::size_t at = 0; at < bytes.size() && fed.status == kAudioNoErr; at += chunk) {
    fed.status = parser->parse(bytes.data() + at, std::min(chunk, bytes.size() - at), false);
  }
  return fed;
}

// Bytes written out, zero-padded to `size`.
Bytes bytes(std::string_view text, std::size_t size = 0) {
  Bytes b(text.begin(), text.end());
  if (b.size() < size) b.resize(size);
  return b;
}

// ---- damaged headers ----

// What the player learns from a damaged header: a format it cannot play, a file that cannot stream,
// or a file that is not valid. (Every other guard has its damaged header in the fuzz corpus.)
struct Damaged {
  const char* name;
  Factory factory;
  Bytes bytes;
  AudioStatus expected;
};

const Damaged kDamaged[] = {
    {"wav with no channels", makeWavStreamParser,
     bytes("RIFF\xFF\xFF\xFF\xFFWAVEfmt \x10\0\0\0\x01\0\0\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0"
           "data\x64\0\0\0"sv),
     fourcc("fmt?")},
    {"caf compressed data without a packet table", makeCafStreamParser,
     bytes("caff\0\x01\0\0desc\0\0\0\0\0\0\0\x20\x40\xE5\x88\x80\0\0\0\0aac "
           "\0\0\0\0\0\0\0\0\0\0\x04\0\0\0\0\x02"
           "\0\0\0\x10"
           "data\0\0\0\0\0\0\0\x68"sv,
           64 + 104),  // the data chunk's 104 bytes
     kAudioErrNotOptimized},
    {"mp4 moov of 1 GB", makeMp4StreamParser, bytes("\x40\0\0\0moov"sv, 4096), kAudioErrInvalidFile},
    {"mp4 moov without a sound track", makeMp4StreamParser, bytes("\0\0\0\x10moov\0\0\0\x08trak"sv),
     fourcc("fmt?")},
};

void PrintTo(const Damaged& d, std::ostream* os) { *os << d.name; }

class DamagedHeaderTest : public ::testing::TestWithParam<Damaged> {};

TEST_P(DamagedHeaderTest, EndsWithTheExpectedStatus) {
  const Damaged& d = GetParam();
  const Bytes& bytes = d.bytes;
  for (std::size_t chunk : {std::size_t(1), std::size_t(3), bytes.size()}) {
    Fed fed = feed(d.factory, bytes, chunk);
    EXPECT_EQ(fed.status, d.expected) << d.name << ", chunks of " << chunk;
    EXPECT_EQ(fed.out.packets, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedHeaderTest, ::testing::ValuesIn(kDamaged), [](const auto& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
});

// ---- single cases ----

TEST(Mp4Stream, MoovAfterTheMediaCannotStream) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const Bytes bytes = test::readBytes(test::moovAtEndFixture());
  ASSERT_FALSE(bytes.empty());
  Fed fed = feed(makeMp4StreamParser, bytes);
  EXPECT_EQ(fed.status, kAudioErrNotOptimized);
  EXPECT_EQ(fed.out.packets, 0u);
}

TEST(Mp4Stream, SampleTablePointingPastTheDataDeliversWhatArrives) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  Bytes m4a = test::readBytes(test::fixturePath(*test::findCase("m4a_lc")));
  const std::uint64_t all = feed(makeMp4StreamParser, m4a).out.packets;
  // Cut the media short ("moov" comes first): the table still lists every frame.
  m4a.resize(m4a.size() / 2);
  Fed fed = feed(makeMp4StreamParser, m4a);
  EXPECT_EQ(fed.status, kAudioNoErr);
  EXPECT_GT(fed.out.packets, 5u);
  EXPECT_LT(fed.out.packets, all);
}

TEST(CafStream, PacketTableLongerThanTheDataIsCutAtTheData) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const auto frames = test::splitAdtsFrames(test::readBytes(test::fixturePath(*test::findCase("adts_lc"))));
  std::vector<Bytes> raw(frames.begin(), frames.begin() + 30);
  for (Bytes& f : raw) f.erase(f.begin(), f.begin() + 7);
  Bytes cookie(4, 0);
  const Bytes es = test::esDescriptor(Bytes{0x12, 0x10});
  cookie.insert(cookie.end(), es.begin(), es.end());
  Bytes caf = test::writeCaf(44100, fourcc("aac "), 2, 1024, 2, cookie, raw);
  // Shrink the data chunk's declared size (the last chunk; 4 bytes of edit count, then the
  // packets) to ten packets' worth.
  std::size_t all = 4, ten = 4;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    all += raw[i].size();
    if (i < 10) ten += raw[i].size();
  }
  const std::size_t at = caf.size() - all - 8;
  for (int i = 0; i < 8; ++i) caf[at + std::size_t(i)] = std::uint8_t(std::uint64_t(ten) >> (56 - 8 * i));
  Fed fed = feed(makeCafStreamParser, caf);
  EXPECT_EQ(fed.status, kAudioNoErr);
  EXPECT_EQ(fed.out.packets, 10u);
}

TEST(AdtsStream, FrameLargerThanTheUpperBoundIsStillDelivered) {
  // The player, not the parser, decides what to do with a packet larger than its buffers.
  Bytes stream;
  auto frame = [&](std::uint32_t length) {
    Bytes f = {0xFF,
               0xF1,
               0x50,
               std::uint8_t(0x80 | (length >> 11)),
               std::uint8_t(length >> 3),
               std::uint8_t((length & 7) << 5 | 0x1F),
               0xFC};
    f.resize(length, 0x21);
    stream.insert(stream.end(), f.begin(), f.end());
  };
  for (int i = 0; i < 4; ++i) frame(300);
  frame(6000);
  frame(300);
  Fed fed = feed(makeAdtsStreamParser, stream, 500);
  EXPECT_EQ(fed.status, kAudioNoErr);
  EXPECT_EQ(fed.out.packets, 6u);
  EXPECT_EQ(fed.out.largest, 6000u);
}

TEST(AdtsStream, SeekBeyondWhatWasParsedIsAnEstimate) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const Bytes bytes = test::readBytes(test::fixturePath(*test::findCase("adts_lc")));
  Recorder out;
  auto parser = makeAdtsStreamParser(out);
  ASSERT_EQ(parser->parse(bytes.data(), bytes.size() / 2, false), kAudioNoErr);
  const std::uint64_t seen = out.packets;
  std::int64_t offset = 0;
  bool estimate = false;
  ASSERT_EQ(parser->seek(std::int64_t(seen) + 20, &offset, &estimate), kAudioNoErr);
  EXPECT_TRUE(estimate);
  const auto frames = test::splitAdtsFrames(bytes);
  std::int64_t exact = 0;
  for (std::size_t i = 0; i < seen + 20; ++i) exact += std::int64_t(frames[i].size());
  EXPECT_NEAR(double(offset), double(exact), 0.05 * double(exact));
  // After an estimate the bytes come flagged as a discontinuity: the parser finds the next frame.
  const std::size_t from = std::size_t(offset) + 3;
  out.packets = 0;
  ASSERT_EQ(parser->parse(bytes.data() + from, bytes.size() - from, true), kAudioNoErr);
  EXPECT_GT(out.packets, 0u);
}

}  // namespace
}  // namespace tonvera
