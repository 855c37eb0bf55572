#include "parser_fuzz_entry.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera::fuzz {

namespace {

using Factory = std::unique_ptr<StreamFormatParser> (*)(StreamFormatParser::Output&);

std::unique_ptr<StreamFormatParser> makeMp3(StreamFormatParser::Output& out) {
  return streamFormatFactory(kAudioFileMP3Type)(out);
}

constexpr Factory kFactories[] = {makeAdtsStreamParser, makeMp4StreamParser, makeWavStreamParser,
                                  makeAiffStreamParser, makeCafStreamParser, makeMp3};

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "audio parser invariant broken: %s\n", what);
  std::abort();
}

// Everything delivered, in order: packets as (size, bytes), linear PCM as bytes.
class Collector : public StreamFormatParser::Output {
 public:
  void publishProperty(std::uint32_t id, const void* data, std::uint32_t size) override {
    check(data != nullptr || size == 0, "property without data");
    properties.push_back(id);
  }
  void deliverPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                      const AudioStreamPacketDescription* d) override {
    if (!d) {
      pcm.insert(pcm.end(), data, data + numberBytes);
      return;
    }
    for (std::uint32_t i = 0; i < numberPackets; ++i) {
      check(d[i].startOffset >= 0 && std::uint64_t(d[i].startOffset) + d[i].dataByteSize <= numberBytes,
            "packet description outside the delivered bytes");
      packets.push_back(d[i].dataByteSize);
      packetBytes.insert(packetBytes.end(), data + d[i].startOffset,
                         data + d[i].startOffset + d[i].dataByteSize);
    }
  }
  std::vector<std::uint32_t> properties;
  std::vector<std::uint32_t> packets;
  std::vector<std::uint8_t> packetBytes;
  std::vector<std::uint8_t> pcm;
};

// Feeds the bytes in chunks from a small generator; with seed 0 all at once. Stops at a failure.
AudioStatus feed(StreamFormatParser& parser, const std::uint8_t* p, std::size_t size, unsigned seed) {
  std::uint32_t state = seed * 2654435761u + 1;
  std::size_t at = 0;
  while (at < size) {
    state = state * 1664525u + 1013904223u;
    const std::size_t n = seed == 0 ? size : 1 + (state >> 8) % ((state & 1) ? 16 : 3000);
    const std::size_t take = n < size - at ? n : size - at;
    const AudioStatus status = parser.parse(p + at, take, false);
    if (status) return status;
    at += take;
  }
  return kAudioNoErr;
}

}  // namespace

void audioParserOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const Factory factory = kFactories[data[0] % (sizeof kFactories / sizeof kFactories[0])];
  const unsigned seed = data[1];
  data += 2;
  size -= 2;

  Collector whole, chunked;
  auto a = factory(whole);
  auto b = factory(chunked);
  const AudioStatus wholeStatus = feed(*a, data, size, 0);
  const AudioStatus chunkedStatus = feed(*b, data, size, seed + 1);
  check(wholeStatus == chunkedStatus, "status depends on the chunk sizes");
  check(whole.properties == chunked.properties, "properties depend on the chunk sizes");
  check(whole.packets == chunked.packets && whole.packetBytes == chunked.packetBytes,
        "packets depend on the chunk sizes");
  check(whole.pcm == chunked.pcm, "linear PCM depends on the chunk sizes");

  // Seeks anywhere, then more bytes flagged as a discontinuity: no invariant but staying sound.
  for (std::int64_t index : {std::int64_t(0), std::int64_t(seed) * 7, std::int64_t(1) << 40}) {
    std::int64_t offset = 0;
    bool estimate = false;
    if (b->seek(index, &offset, &estimate) == kAudioNoErr) {
      check(estimate || offset >= 0, "exact seek before the data");
      b->parse(data + size / 2, size - size / 2, true);
    }
  }
}

}  // namespace tonvera::fuzz
