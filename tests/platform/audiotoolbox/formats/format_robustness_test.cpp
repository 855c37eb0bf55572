// The container parsers on untrusted bytes: truncated headers, absurd sizes, tables that point past
// the data, files that cannot stream, and garbage after a valid start. Nothing may crash, hang,
// allocate without bound or describe bytes it was not given (checked by the recorder, and by the
// address sanitizer when the tests are built with it).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "format_fixtures.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {
namespace {

using test::Bytes;

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

void be32(Bytes& b, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void be64(Bytes& b, std::uint64_t v) {
  be32(b, std::uint32_t(v >> 32));
  be32(b, std::uint32_t(v));
}
void le32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void le16(Bytes& b, std::uint16_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
void text(Bytes& b, const char* t) { b.insert(b.end(), t, t + std::strlen(t)); }

Bytes wavHeader(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
                std::uint16_t bits, std::uint32_t fmtSize = 16) {
  Bytes b;
  text(b, "RIFF");
  le32(b, 0xFFFFFFFF);
  text(b, "WAVEfmt ");
  le32(b, fmtSize);
  le16(b, tag);
  le16(b, channels);
  le32(b, rate);
  le32(b, rate * blockAlign);
  le16(b, blockAlign);
  le16(b, bits);
  return b;
}

Bytes cafStart(std::uint32_t formatID, std::uint32_t bytesPerPacket, std::uint32_t framesPerPacket) {
  Bytes b = {'c', 'a', 'f', 'f', 0, 1, 0, 0};
  text(b, "desc");
  be64(b, 32);
  const double rate = 44100;
  std::uint64_t bits;
  std::memcpy(&bits, &rate, 8);
  be64(b, bits);
  be32(b, formatID);
  be32(b, 0);
  be32(b, bytesPerPacket);
  be32(b, framesPerPacket);
  be32(b, 2);
  be32(b, 16);
  return b;
}

// ---- table of damaged headers ----

struct Damaged {
  const char* name;
  Factory factory;
  Bytes (*bytes)();
  AudioStatus expected;  // kAudioNoErr: accepted (waiting for more, or played what is valid)
};

const Damaged kDamaged[] = {
    {"wav fmt chunk claims 4 GB", makeWavStreamParser,
     [] { return wavHeader(1, 2, 44100, 4, 16, 0xFFFFFF00); }, kAudioErrInvalidFile},
    {"wav with no channels", makeWavStreamParser,
     [] {
       Bytes b = wavHeader(1, 0, 44100, 4, 16);
       text(b, "data");
       le32(b, 100);
       return b;
     },
     fourcc("fmt?")},
    {"wav with 7-byte samples", makeWavStreamParser,
     [] {
       Bytes b = wavHeader(1, 1, 44100, 7, 56);
       text(b, "data");
       le32(b, 100);
       return b;
     },
     fourcc("fmt?")},
    {"wav compressed (ADPCM)", makeWavStreamParser,
     [] {
       Bytes b = wavHeader(2, 2, 44100, 4, 4);
       text(b, "data");
       le32(b, 100);
       return b;
     },
     fourcc("fmt?")},
    {"wav data before fmt", makeWavStreamParser,
     [] {
       Bytes b;
       text(b, "RIFF");
       le32(b, 100);
       text(b, "WAVEdata");
       le32(b, 100);
       b.resize(b.size() + 100);
       return b;
     },
     kAudioErrInvalidFile},
    {"not RIFF", makeWavStreamParser, [] { return Bytes(64, 'x'); }, kAudioErrInvalidFile},
    {"aiff with a rate of infinity", makeAiffStreamParser,
     [] {
       Bytes b;
       text(b, "FORM");
       be32(b, 100);
       text(b, "AIFFCOMM");
       be32(b, 18);
       b.insert(b.end(), {0, 2, 0, 0, 1, 0, 0, 16, 0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0});
       return b;
     },
     fourcc("fmt?")},
    {"aiff SSND offset past the chunk", makeAiffStreamParser,
     [] {
       Bytes b;
       text(b, "FORM");
       be32(b, 100);
       text(b, "AIFFCOMM");
       be32(b, 18);
       b.insert(b.end(), {0, 2, 0, 0, 1, 0, 0, 16, 0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
       text(b, "SSND");
       be32(b, 16);
       be32(b, 1000);
       be32(b, 0);
       b.resize(b.size() + 8);
       return b;
     },
     kAudioErrInvalidFile},
    {"caf packet table of 2^40 packets", makeCafStreamParser,
     [] {
       Bytes b = cafStart(fourcc("aac "), 0, 1024);
       text(b, "pakt");
       be64(b, 24);
       be64(b, std::uint64_t(1) << 40);
       be64(b, 0);
       be64(b, 0);
       return b;
     },
     kAudioErrInvalidFile},
    {"caf packet of 1 GB", makeCafStreamParser,
     [] {
       Bytes b = cafStart(fourcc("aac "), 0, 1024);
       text(b, "pakt");
       be64(b, 29);
       be64(b, 1);
       be64(b, 1024);
       be64(b, 0);
       b.insert(b.end(), {0x84, 0x80, 0x80, 0x80, 0x00});
       return b;
     },
     kAudioErrInvalidFile},
    {"caf compressed data without a packet table", makeCafStreamParser,
     [] {
       Bytes b = cafStart(fourcc("aac "), 0, 1024);
       text(b, "data");
       be64(b, 104);
       b.resize(b.size() + 104);
       return b;
     },
     kAudioErrNotOptimized},
    {"caf chunk of negative size", makeCafStreamParser,
     [] {
       Bytes b = cafStart(kAudioFormatLinearPCM, 4, 1);
       text(b, "free");
       be64(b, std::uint64_t(-5));
       return b;
     },
     kAudioErrInvalidFile},
    {"caf desc of 2^62 bytes", makeCafStreamParser,
     [] {
       Bytes b = {'c', 'a', 'f', 'f', 0, 1, 0, 0};
       text(b, "desc");
       be64(b, std::uint64_t(1) << 62);
       return b;
     },
     kAudioErrInvalidFile},
    {"mp4 box smaller than its header", makeMp4StreamParser,
     [] {
       Bytes b;
       be32(b, 4);
       text(b, "ftyp");
       return b;
     },
     kAudioErrInvalidFile},
    {"mp4 moov of 1 GB", makeMp4StreamParser,
     [] {
       Bytes b;
       be32(b, 0x40000000);
       text(b, "moov");
       b.resize(4096);
       return b;
     },
     kAudioErrInvalidFile},
    {"mp4 64-bit box size past 2^62", makeMp4StreamParser,
     [] {
       Bytes b;
       be32(b, 1);
       text(b, "free");
       be64(b, ~std::uint64_t(0));
       return b;
     },
     kAudioErrInvalidFile},
    {"mp4 box with an unprintable type", makeMp4StreamParser, [] { return Bytes{0, 0, 0, 16, 0, 1, 2, 3}; },
     kAudioErrInvalidFile},
    {"mp4 moov without a sound track", makeMp4StreamParser,
     [] {
       Bytes b;
       be32(b, 16);
       text(b, "moov");
       be32(b, 8);
       text(b, "trak");
       return b;
     },
     fourcc("fmt?")},
};

void PrintTo(const Damaged& d, std::ostream* os) { *os << d.name; }

class DamagedHeaderTest : public ::testing::TestWithParam<Damaged> {};

TEST_P(DamagedHeaderTest, EndsWithTheExpectedStatus) {
  const Damaged& d = GetParam();
  const Bytes bytes = d.bytes();
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

// ---- damaged real files ----

class DamagedFileTest : public ::testing::TestWithParam<test::FormatCase> {
 protected:
  void SetUp() override {
    if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    bytes_ = test::readFile(test::fixturePath(GetParam()));
    ASSERT_FALSE(bytes_.empty());
  }
  Bytes bytes_;
};

TEST_P(DamagedFileTest, TruncatedAnywhereIsNoFailure) {
  // A stream may end at any byte: the parser waits for more, and what it delivered was whole.
  const Factory factory = test::parserFactoryFor(GetParam().fileType);
  for (std::size_t end = 0; end < std::min<std::size_t>(bytes_.size(), 2048); end += end < 200 ? 1 : 61) {
    Fed fed = feed(factory, Bytes(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(end)));
    EXPECT_EQ(fed.status, kAudioNoErr) << "cut at " << end;
  }
}

TEST_P(DamagedFileTest, GarbageAfterAValidStart) {
  const Factory factory = test::parserFactoryFor(GetParam().fileType);
  Fed clean = feed(factory, bytes_);
  ASSERT_EQ(clean.status, kAudioNoErr);
  const std::uint32_t largestClean = clean.out.largest;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    std::mt19937 random(seed);
    Bytes bytes(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(random() % (bytes_.size() / 2)));
    bytes.resize(bytes.size() + 40000);
    for (std::size_t i = bytes.size() - 40000; i < bytes.size(); ++i) bytes[i] = std::uint8_t(random());
    Fed fed = feed(factory, bytes, 1 + random() % 3000);
    // Whatever it makes of the garbage stays within the limits of the format.
    if (GetParam().fileType == kAudioFileAAC_ADTSType) {
      EXPECT_LE(fed.out.largest, 8191u);  // the largest an ADTS header can say
    } else {
      EXPECT_LE(fed.out.largest, std::max(largestClean, 1u));
    }
  }
}

TEST_P(DamagedFileTest, FlippedHeaderBytesAreNoFailure) {
  const Factory factory = test::parserFactoryFor(GetParam().fileType);
  std::mt19937 random(42);
  for (int round = 0; round < 200; ++round) {
    Bytes bytes(bytes_.begin(),
                bytes_.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(bytes_.size(), 20000)));
    const std::size_t header = std::min<std::size_t>(bytes.size(), GetParam().packets ? 4000 : 200);
    for (int flips = 0; flips < 4; ++flips) bytes[random() % header] ^= std::uint8_t(1u << (random() % 8));
    feed(factory, bytes, 1 + random() % 2000);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedFileTest, ::testing::ValuesIn(test::formatCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- single cases ----

TEST(Mp4Stream, MoovAfterTheMediaCannotStream) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const Bytes bytes = test::readFile(test::moovAtEndFixture());
  ASSERT_FALSE(bytes.empty());
  Fed fed = feed(makeMp4StreamParser, bytes);
  EXPECT_EQ(fed.status, kAudioErrNotOptimized);
  EXPECT_EQ(fed.out.packets, 0u);
}

TEST(Mp4Stream, SampleTablePointingPastTheDataDeliversWhatArrives) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const auto frames = test::splitAdtsFrames(test::readFile(test::fixturePath(*test::findCase("adts_lc"))));
  ASSERT_GT(frames.size(), 20u);
  std::vector<Bytes> raw(frames.begin(), frames.begin() + 20);
  for (Bytes& f : raw) f.erase(f.begin(), f.begin() + 7);
  Bytes m4a = test::writeM4a(Bytes{0x12, 0x10}, raw, 44100, 2, 1024, true);
  // Cut the media in half: the table still lists all twenty frames.
  std::size_t total = 0;
  for (const Bytes& f : raw) total += f.size();
  m4a.resize(m4a.size() - total / 2);
  Fed fed = feed(makeMp4StreamParser, m4a);
  EXPECT_EQ(fed.status, kAudioNoErr);
  EXPECT_GT(fed.out.packets, 5u);
  EXPECT_LT(fed.out.packets, 20u);
}

TEST(CafStream, PacketTableLongerThanTheDataIsCutAtTheData) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const auto frames = test::splitAdtsFrames(test::readFile(test::fixturePath(*test::findCase("adts_lc"))));
  std::vector<Bytes> raw(frames.begin(), frames.begin() + 30);
  for (Bytes& f : raw) f.erase(f.begin(), f.begin() + 7);
  Bytes cookie(4, 0);
  const Bytes es = test::esDescriptor(Bytes{0x12, 0x10});
  cookie.insert(cookie.end(), es.begin(), es.end());
  Bytes caf = test::writeCaf(44100, fourcc("aac "), 2, 1024, 2, cookie, raw);
  // Shrink the data chunk's declared size to ten packets' worth.
  std::size_t ten = 4;
  for (int i = 0; i < 10; ++i) ten += raw[std::size_t(i)].size();
  const std::size_t at = caf.size() -
                         (4 +
                          [&] {
                            std::size_t n = 0;
                            for (const Bytes& f : raw) n += f.size();
                            return n;
                          }()) -
                         8;
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
  const Bytes bytes = test::readFile(test::fixturePath(*test::findCase("adts_lc")));
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
