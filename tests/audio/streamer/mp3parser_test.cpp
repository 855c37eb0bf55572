// The MP3 stream parser: frame headers, chunkings, tags, information frames, garbage, seeking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/mp3streamparser.h"
#include "streamer_fixtures.h"

namespace tonvera {
namespace {

struct HeaderCase {
  std::uint8_t bytes[4];
  bool valid;
  int version, bitRate, sampleRate, channels, frameBytes;
};

TEST(Mp3FrameHeader, DecodesLayerThreeHeadersAndRejectsOthers) {
  const HeaderCase cases[] = {
      {{0xFF, 0xFB, 0x90, 0x00}, true, 1, 128000, 44100, 2, 417},  // MPEG-1, 128 kbit/s, 44.1 kHz
      {{0xFF, 0xFB, 0x92, 0x00}, true, 1, 128000, 44100, 2, 418},  // with padding
      {{0xFF, 0xFB, 0x94, 0xC0}, true, 1, 128000, 48000, 1, 384},  // 48 kHz mono
      {{0xFF, 0xF3, 0x80, 0xC0}, true, 2, 64000, 22050, 1, 208},   // MPEG-2
      {{0xFF, 0xE3, 0x80, 0xC0}, true, 3, 64000, 11025, 1, 417},   // MPEG-2.5
      {{0xFF, 0xFD, 0x90, 0x00}, false, 0, 0, 0, 0, 0},            // layer II
      {{0xFF, 0xFB, 0x00, 0x00}, false, 0, 0, 0, 0, 0},            // free format
      {{0xFF, 0xFB, 0xF0, 0x00}, false, 0, 0, 0, 0, 0},            // bad bit rate
      {{0xFF, 0xFB, 0x9C, 0x00}, false, 0, 0, 0, 0, 0},            // bad sample rate
      {{0xFF, 0xEB, 0x90, 0x00}, false, 0, 0, 0, 0, 0},            // reserved version
      {{0x49, 0x44, 0x33, 0x04}, false, 0, 0, 0, 0, 0},            // "ID3"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.bytes[1]) << " " << int(c.bytes[2]) << " "
                                    << int(c.bytes[3]));
    const auto h = Mp3FrameHeader::parse(c.bytes);
    ASSERT_EQ(h.has_value(), c.valid);
    if (!h) continue;
    EXPECT_EQ(h->version, c.version);
    EXPECT_EQ(h->bitRate, c.bitRate);
    EXPECT_EQ(h->sampleRate, c.sampleRate);
    EXPECT_EQ(h->channels, c.channels);
    EXPECT_EQ(h->frameBytes, c.frameBytes);
  }
}

// Everything a parser announced and delivered.
struct Parsed {
  std::vector<std::uint32_t> properties;
  std::vector<std::vector<std::uint8_t>> packets;
  std::int64_t dataOffset = -1;
  std::unique_ptr<AudioFileStream> parser;
};

std::unique_ptr<Parsed> parseInChunks(const std::vector<std::uint8_t>& bytes, std::size_t minChunk,
                                      std::size_t maxChunk, unsigned seed) {
  auto out = std::make_unique<Parsed>();
  Parsed* p = out.get();
  const AudioStatus opened = AudioFileStream::open(
      kAudioFileMP3Type,
      [p](AudioFileStream& s, std::uint32_t id, std::uint32_t*) {
        p->properties.push_back(id);
        std::uint32_t size = 8;
        if (id == kAudioFileStreamProperty_DataOffset) s.getProperty(id, &size, &p->dataOffset);
      },
      [p](const std::uint8_t* data, std::uint32_t bytes, std::uint32_t n,
          const AudioStreamPacketDescription* d) {
        ASSERT_NE(d, nullptr);
        for (std::uint32_t i = 0; i < n; ++i) {
          ASSERT_LE(d[i].startOffset + d[i].dataByteSize, bytes);
          p->packets.emplace_back(data + d[i].startOffset, data + d[i].startOffset + d[i].dataByteSize);
        }
      },
      &out->parser);
  EXPECT_EQ(opened, kAudioNoErr);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::size_t> size(minChunk, maxChunk);
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = std::min(size(rng), bytes.size() - at);
    EXPECT_EQ(out->parser->parseBytes(bytes.data() + at, std::uint32_t(n), false), kAudioNoErr);
    at += n;
  }
  return out;
}

// Any chunking gives the same packets and properties: the tag skipped, and the information frame
// read for the byte count and not delivered as audio.
TEST(Mp3StreamParser, AnyChunkingGivesTheSamePacketsAndProperties) {
  for (const char* name : {"cbr.mp3", "vbr.mp3", "short.mp3", "noinfo.mp3"}) {
    SCOPED_TRACE(name);
    const auto bytes = test::readBytes(test::fixturePath(name));
    ASSERT_FALSE(bytes.empty());
    const auto whole = parseInChunks(bytes, bytes.size(), bytes.size(), 1);
    ASSERT_GT(whole->packets.size(), 5u);
    EXPECT_EQ(whole->dataOffset, test::id3Size(bytes));
    EXPECT_EQ(std::count(whole->properties.begin(), whole->properties.end(),
                         kAudioFileStreamProperty_AudioDataByteCount),
              std::string(name) == "noinfo.mp3" ? 0 : 1);
    EXPECT_EQ(whole->properties.back(), kAudioFileStreamProperty_ReadyToProducePackets);
    for (auto [lo, hi] : {std::pair<std::size_t, std::size_t>{1, 7}, {100, 3000}, {2048, 2048}}) {
      const auto chunked = parseInChunks(bytes, lo, hi, unsigned(lo * 31 + hi));
      EXPECT_EQ(chunked->packets, whole->packets);
      EXPECT_EQ(chunked->properties, whole->properties);
    }
  }
  // The information frame is the only difference between cbr.mp3 and noinfo.mp3.
  EXPECT_EQ(parseInChunks(test::readBytes(test::fixturePath("noinfo.mp3")), 2048, 2048, 9)->packets,
            parseInChunks(test::readBytes(test::fixturePath("cbr.mp3")), 2048, 2048, 9)->packets);
}

TEST(Mp3StreamParser, GarbageBetweenFramesIsSkippedAndParsingGoesOn) {
  auto bytes = test::readBytes(test::fixturePath("cbr.mp3"));
  const auto clean = parseInChunks(bytes, 2048, 2048, 4);
  std::mt19937 rng(5);
  std::vector<std::uint8_t> junk(3000);
  for (auto& b : junk) b = std::uint8_t(rng());
  bytes.insert(bytes.begin() + long(bytes.size() / 2), junk.begin(), junk.end());
  const auto dirty = parseInChunks(bytes, 1, 2048, 6);
  // At most the frame cut by the junk and the one after it are lost.
  EXPECT_GE(dirty->packets.size() + 2, clean->packets.size());
  EXPECT_LE(dirty->packets.size(), clean->packets.size() + 1);
  EXPECT_EQ(dirty->packets.back(), clean->packets.back());
}

TEST(Mp3StreamParser, SeekIsExactForParsedPacketsAndAnEstimateBeyond) {
  const auto bytes = test::readBytes(test::fixturePath("cbr.mp3"));
  const std::size_t half = bytes.size() / 2;
  auto parsed =
      parseInChunks(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + long(half)), 2048, 2048, 7);
  const std::size_t known = parsed->packets.size();
  std::int64_t offset = -1;
  std::uint32_t flags = 99;
  ASSERT_EQ(parsed->parser->seek(10, &offset, &flags), kAudioNoErr);
  EXPECT_EQ(flags, 0u);
  // The packet really starts there.
  ASSERT_LT(std::size_t(parsed->dataOffset + offset), bytes.size());
  EXPECT_EQ(0, std::memcmp(bytes.data() + parsed->dataOffset + offset, parsed->packets[10].data(),
                           parsed->packets[10].size()));
  ASSERT_EQ(parsed->parser->seek(std::int64_t(known) + 20, &offset, &flags), kAudioNoErr);
  EXPECT_EQ(flags, kAudioFileStreamSeekFlag_OffsetIsEstimated);
  EXPECT_GT(offset, 0);
  EXPECT_LT(std::size_t(offset), bytes.size());
}

}  // namespace
}  // namespace tonvera
