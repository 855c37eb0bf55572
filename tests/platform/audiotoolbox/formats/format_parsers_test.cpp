// The container parsers (ADTS, MP4, WAV, AIFF, CAF): exact seeks on real files fed in random chunks,
// and untrusted bytes (absurd sizes, tables past the data, damaged fixtures) that must not crash, hang
// or describe bytes the parser was not given.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string_view>

#include "format_fixtures.h"
#include "parser_fuzz_entry.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/containerparsers.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using test::Bytes;
using namespace std::string_view_literals;

// Collects what a parser hands out.
class Recorder : public StreamFormatParser::Output {
 public:
  void publishProperty(std::uint32_t id, const void* data, std::uint32_t size) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    properties[id].assign(p, p + size);
    order.push_back(id);
  }
  void deliverPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                      const AudioStreamPacketDescription* d) override {
    if (!d) {
      pcm.insert(pcm.end(), data, data + numberBytes);
      return;
    }
    for (std::uint32_t i = 0; i < numberPackets; ++i) {
      ASSERT_GE(d[i].startOffset, 0);
      ASSERT_LE(std::uint64_t(d[i].startOffset) + d[i].dataByteSize, numberBytes);
      packets.emplace_back(data + d[i].startOffset, data + d[i].startOffset + d[i].dataByteSize);
    }
  }
  template <typename T>
  T get(std::uint32_t id) const {
    T value{};
    auto it = properties.find(id);
    if (it != properties.end() && it->second.size() == sizeof(T))
      std::memcpy(&value, it->second.data(), sizeof(T));
    return value;
  }
  bool has(std::uint32_t id) const { return properties.count(id) != 0; }

  std::map<std::uint32_t, Bytes> properties;
  std::vector<std::uint32_t> order;
  Bytes pcm;
  std::vector<Bytes> packets;
};

// Feeds `bytes` in chunks of `chunk` bytes, or of random sizes drawn with `seed` (chunk 0).
AudioStatus feed(StreamFormatParser& parser, const Bytes& bytes, unsigned seed, bool discontinuity = false,
                 std::size_t chunk = 0) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> small(1, 16), large(17, 6000);
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = std::min(bytes.size() - at, chunk               ? chunk
                                                      : random() % 4 == 0 ? small(random)
                                                                          : large(random));
    if (const AudioStatus status = parser.parse(bytes.data() + at, n, at == 0 && discontinuity))
      return status;
    at += n;
  }
  return kAudioNoErr;
}

struct Parsed {
  Recorder out;
  AudioStatus status = kAudioNoErr;
  std::unique_ptr<StreamFormatParser> parser;
};

std::unique_ptr<Parsed> parse(test::ParserFactory factory, const Bytes& bytes, unsigned seed,
                              std::size_t chunk = 0) {
  auto parsed = std::make_unique<Parsed>();
  parsed->parser = factory(parsed->out);
  parsed->status = feed(*parsed->parser, bytes, seed, false, chunk);
  return parsed;
}

class FormatParserTest : public ::testing::TestWithParam<test::FormatCase> {
 protected:
  void SetUp() override {
    if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    path_ = test::fixturePath(GetParam());
    ASSERT_FALSE(path_.empty()) << "fixture " << GetParam().name << " could not be made";
    bytes_ = test::readBytes(path_);
    ASSERT_FALSE(bytes_.empty());
  }
  std::string path_;
  Bytes bytes_;
};

// A seek to the middle: its offset is exact, and the bytes from there give the rest of the packets.
TEST_P(FormatParserTest, SeeksExactlyToThePacketInTheMiddle) {
  const auto& c = GetParam();
  auto parsed = parse(test::parserFactoryFor(c.fileType), bytes_, 7);
  ASSERT_EQ(parsed->status, kAudioNoErr);
  Recorder& out = parsed->out;
  ASSERT_TRUE(out.has(kAudioFileStreamProperty_ReadyToProducePackets));
  EXPECT_EQ(out.order.back(), kAudioFileStreamProperty_ReadyToProducePackets);
  const auto offset = out.get<std::int64_t>(kAudioFileStreamProperty_DataOffset);
  const auto count = out.get<std::uint64_t>(kAudioFileStreamProperty_AudioDataByteCount);
  const auto format = out.get<AudioStreamBasicDescription>(kAudioFileStreamProperty_DataFormat);
  ASSERT_TRUE(c.packets ? out.packets.size() > 10 : out.pcm.size() == count);

  const std::int64_t packets =
      c.packets ? std::int64_t(out.packets.size()) : std::int64_t(out.pcm.size() / format.bytesPerFrame);
  const std::int64_t target = packets / 2 + 1;
  std::int64_t byteOffset = -1;
  bool estimate = true;
  ASSERT_EQ(parsed->parser->seek(target, &byteOffset, &estimate), kAudioNoErr);
  EXPECT_FALSE(estimate);
  const Bytes rest(bytes_.begin() + offset + byteOffset, bytes_.end());
  const auto before = out.packets;
  out.packets.clear();
  out.pcm.clear();
  ASSERT_EQ(feed(*parsed->parser, rest, 9, true), kAudioNoErr);
  if (c.packets) {
    ASSERT_EQ(out.packets.size(), before.size() - std::size_t(target));
    EXPECT_TRUE(std::equal(out.packets.begin(), out.packets.end(), before.begin() + target));
  } else {
    EXPECT_EQ(byteOffset, target * format.bytesPerFrame);
    EXPECT_EQ(out.pcm.size(), count - std::uint64_t(byteOffset));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatParserTest, ::testing::ValuesIn(test::formatCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Bytes written out, zero-padded to `size`.
Bytes bytes(std::string_view text, std::size_t size = 0) {
  Bytes b(text.begin(), text.end());
  if (b.size() < size) b.resize(size);
  return b;
}

// What the player learns from a damaged header (every other guard has its case in the fuzz corpus).
struct Damaged {
  const char* name;
  test::ParserFactory factory;
  Bytes bytes;
  AudioStatus expected;
};

const Damaged kDamaged[] = {
    {"WavWithNoChannels", makeWavStreamParser,
     bytes("RIFF\xFF\xFF\xFF\xFFWAVEfmt \x10\0\0\0\x01\0\0\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0"
           "data\x64\0\0\0"sv),
     fourcc("fmt?")},
    {"CafCompressedDataWithoutAPacketTable", makeCafStreamParser,
     bytes("caff\0\x01\0\0desc\0\0\0\0\0\0\0\x20\x40\xE5\x88\x80\0\0\0\0aac "
           "\0\0\0\0\0\0\0\0\0\0\x04\0\0\0\0\x02"
           "\0\0\0\x10"
           "data\0\0\0\0\0\0\0\x68"sv,
           64 + 104),  // the data chunk's 104 bytes
     kAudioErrNotOptimized},
    {"Mp4MoovOf1GB", makeMp4StreamParser, bytes("\x40\0\0\0moov"sv, 4096), kAudioErrInvalidFile},
    {"Mp4MoovWithoutASoundTrack", makeMp4StreamParser, bytes("\0\0\0\x10moov\0\0\0\x08trak"sv),
     fourcc("fmt?")},
};

void PrintTo(const Damaged& d, std::ostream* os) { *os << d.name; }

class DamagedHeaderTest : public ::testing::TestWithParam<Damaged> {};

TEST_P(DamagedHeaderTest, EndsWithTheExpectedStatus) {
  const Damaged& d = GetParam();
  for (std::size_t chunk : {std::size_t(1), std::size_t(3), d.bytes.size()}) {
    const auto parsed = parse(d.factory, d.bytes, 0, chunk);
    EXPECT_EQ(parsed->status, d.expected) << "chunks of " << chunk;
    EXPECT_TRUE(parsed->out.packets.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedHeaderTest, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Mp4Stream, SampleTablePointingPastTheDataDeliversWhatArrives) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  Bytes m4a = test::readBytes(test::fixturePath(*test::findCase("m4a_lc")));
  const std::size_t all = parse(makeMp4StreamParser, m4a, 1)->out.packets.size();
  // Cut the media short ("moov" comes first): the table still lists every frame.
  m4a.resize(m4a.size() / 2);
  const auto cut = parse(makeMp4StreamParser, m4a, 1);
  EXPECT_EQ(cut->status, kAudioNoErr);
  EXPECT_GT(cut->out.packets.size(), 5u);
  EXPECT_LT(cut->out.packets.size(), all);
}

TEST(CafStream, PacketTableLongerThanTheDataIsCutAtTheData) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  Bytes caf = test::readBytes(test::fixturePath(*test::findCase("caf_aac")));
  // Shrink the data chunk's declared size (the last chunk: 4 bytes of edit count, then the
  // packets) to ten packets' worth.
  const auto packets = parse(makeCafStreamParser, caf, 1)->out.packets;
  std::size_t all = 4, ten = 4;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    all += packets[i].size();
    if (i < 10) ten += packets[i].size();
  }
  const std::size_t at = caf.size() - all - 8;
  for (int i = 0; i < 8; ++i) caf[at + std::size_t(i)] = std::uint8_t(std::uint64_t(ten) >> (56 - 8 * i));
  const auto parsed = parse(makeCafStreamParser, caf, 1);
  EXPECT_EQ(parsed->status, kAudioNoErr);
  EXPECT_EQ(parsed->out.packets.size(), 10u);
}

TEST(AdtsStream, SeekBeyondWhatWasParsedIsAnEstimate) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const Bytes bytes = test::readBytes(test::fixturePath(*test::findCase("adts_lc")));
  Recorder out;
  auto parser = makeAdtsStreamParser(out);
  ASSERT_EQ(parser->parse(bytes.data(), bytes.size() / 2, false), kAudioNoErr);
  const std::size_t seen = out.packets.size();
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
  out.packets.clear();
  ASSERT_EQ(parser->parse(bytes.data() + from, bytes.size() - from, true), kAudioNoErr);
  EXPECT_FALSE(out.packets.empty());
}

TEST(AudioParserFuzzReplay, CommittedCorpus) {
  const auto parse = [](const std::uint8_t* data, std::size_t size) {
    fuzz::audioParserOneInput(data, size);
    return 0;
  };
  EXPECT_GE(test::replayCorpus(std::string(TONVERA_SOURCE_DIR) + "/fuzz/audiotoolbox/corpus", parse), 20);
}

// The fixtures whole, cut short anywhere in their headers, with header bits flipped, and with garbage
// after a valid start.
TEST(AudioParserFuzzReplay, WholeAndDamagedFixtures) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::mt19937 random(42);
  for (const auto& c : test::formatCases()) {
    // The entry's first byte: 0 ADTS, 1 MP4, 2 WAV, 3 AIFF, 4 CAF; the second seeds its chunking.
    const std::uint8_t selector = c.fileType == kAudioFileAAC_ADTSType ? 0
                                  : c.fileType == kAudioFileWAVEType   ? 2
                                  : c.fileType == kAudioFileAIFFType   ? 3
                                  : c.fileType == kAudioFileCAFType    ? 4
                                                                       : 1;
    const test::Bytes file = test::readBytes(test::fixturePath(c));
    ASSERT_FALSE(file.empty()) << c.name;
    SCOPED_TRACE(c.name);
    auto replay = [&](std::size_t length, auto&& damage) {
      test::Bytes input = {selector, std::uint8_t(random())};
      input.insert(input.end(), file.begin(),
                   file.begin() + static_cast<std::ptrdiff_t>(std::min(length, file.size())));
      damage(input);
      fuzz::audioParserOneInput(input.data(), input.size());
    };
    const auto none = [](test::Bytes&) {};
    replay(file.size(), none);
    for (std::size_t end = 0; end < std::min<std::size_t>(file.size(), 2048); end += end < 200 ? 1 : 61) {
      replay(end, none);
    }
    const std::size_t header = std::min<std::size_t>(file.size(), c.packets ? 4000 : 200);
    for (int round = 0; round < 100; ++round) {
      replay(20000, [&](test::Bytes& b) {
        for (int flips = 0; flips < 4; ++flips)
          b[2 + random() % header] ^= std::uint8_t(1u << (random() % 8));
      });
    }
    for (int round = 0; round < 8; ++round) {
      replay(random() % (file.size() / 2), [&](test::Bytes& b) {
        for (int i = 0; i < 40000; ++i) b.push_back(std::uint8_t(random()));
      });
    }
  }
}

}  // namespace
}  // namespace tonvera
