// The container parsers fed the bytes of real files in random chunk sizes: what they publish, the
// packets they deliver, and exact seeks. (That chunk sizes change nothing is checked by the fuzz
// entry over these files; the decoded audio against ffmpeg's by the player's format tests.)
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "format_fixtures.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {
namespace {

using test::Bytes;

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
  // The format the player ends up with: 'dfmt', replaced by the first 'aacp' or 'aach' of 'flst'.
  AudioStreamBasicDescription playedFormat() const {
    AudioStreamBasicDescription asbd = get<AudioStreamBasicDescription>(kAudioFileStreamProperty_DataFormat);
    auto it = properties.find(kAudioFileStreamProperty_FormatList);
    if (it == properties.end()) return asbd;
    for (std::size_t at = 0; at + sizeof(AudioFormatListItem) <= it->second.size();
         at += sizeof(AudioFormatListItem)) {
      AudioFormatListItem item;
      std::memcpy(&item, it->second.data() + at, sizeof item);
      if (item.asbd.formatID == kAudioFormatMPEG4AAC_HE_V2 || item.asbd.formatID == kAudioFormatMPEG4AAC_HE) {
        return item.asbd;
      }
    }
    return asbd;
  }

  std::map<std::uint32_t, Bytes> properties;
  std::vector<std::uint32_t> order;
  Bytes pcm;
  std::vector<Bytes> packets;
};

// Feeds `bytes` in chunks of random size (seed 0: all at once); the first failure is returned.
AudioStatus feed(StreamFormatParser& parser, const Bytes& bytes, unsigned seed, bool discontinuity = false) {
  if (seed == 0) return parser.parse(bytes.data(), bytes.size(), discontinuity);
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> small(1, 16), large(17, 6000);
  std::size_t at = 0;
  bool first = true;
  while (at < bytes.size()) {
    const std::size_t n = std::min(bytes.size() - at, random() % 4 == 0 ? small(random) : large(random));
    const AudioStatus status = parser.parse(bytes.data() + at, n, first && discontinuity);
    if (status) return status;
    first = false;
    at += n;
  }
  return kAudioNoErr;
}

struct Parsed {
  Recorder out;
  AudioStatus status = kAudioNoErr;
  std::unique_ptr<StreamFormatParser> parser;
};

std::unique_ptr<Parsed> parseFile(const test::FormatCase& c, const Bytes& bytes, unsigned seed) {
  auto parsed = std::make_unique<Parsed>();
  parsed->parser = test::parserFactoryFor(c.fileType)(parsed->out);
  parsed->status = feed(*parsed->parser, bytes, seed);
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

// What the parser publishes and delivers; then a seek to the middle, whose offset is exact and from
// which the bytes (as a range request brings them) give the rest of the packets.
TEST_P(FormatParserTest, PublishesTheFormatAndTheAudioAndSeeksExactly) {
  const auto& c = GetParam();
  auto parsed = parseFile(c, bytes_, 7);
  ASSERT_EQ(parsed->status, kAudioNoErr);
  Recorder& out = parsed->out;
  const AudioStreamBasicDescription played = out.playedFormat();
  EXPECT_EQ(played.formatID, c.formatID);
  EXPECT_EQ(played.sampleRate, c.outputRate);
  EXPECT_EQ(played.channelsPerFrame, std::uint32_t(c.outputChannels));
  ASSERT_TRUE(out.has(kAudioFileStreamProperty_ReadyToProducePackets));
  EXPECT_EQ(out.order.back(), kAudioFileStreamProperty_ReadyToProducePackets);

  const auto offset = out.get<std::int64_t>(kAudioFileStreamProperty_DataOffset);
  const auto count = out.get<std::uint64_t>(kAudioFileStreamProperty_AudioDataByteCount);
  const auto format = out.get<AudioStreamBasicDescription>(kAudioFileStreamProperty_DataFormat);
  if (!c.packets) {
    // Linear PCM: exactly the bytes of the audio data, nothing of the chunks around them.
    ASSERT_TRUE(out.has(kAudioFileStreamProperty_AudioDataByteCount));
    ASSERT_LE(offset + std::int64_t(count), std::int64_t(bytes_.size()));
    EXPECT_EQ(out.pcm, Bytes(bytes_.begin() + offset, bytes_.begin() + offset + std::int64_t(count)));
    EXPECT_TRUE(out.packets.empty());
    EXPECT_EQ(played.bytesPerFrame, played.bytesPerPacket);
  } else {
    EXPECT_TRUE(out.pcm.empty());
    ASSERT_GT(out.packets.size(), 10u);
    const auto upperBound = out.get<std::uint32_t>(kAudioFileStreamProperty_PacketSizeUpperBound);
    std::uint64_t total = 0;
    for (const Bytes& p : out.packets) {
      EXPECT_LE(p.size(), upperBound);
      total += p.size();
    }
    if (c.fileType != kAudioFileAAC_ADTSType) {
      EXPECT_EQ(total, count);  // the packets fill the data back to back
      EXPECT_EQ(out.get<std::uint64_t>(kAudioFileStreamProperty_AudioDataPacketCount), out.packets.size());
      EXPECT_TRUE(out.has(kAudioFileStreamProperty_MagicCookieData));
    }
  }

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

}  // namespace
}  // namespace tonvera
