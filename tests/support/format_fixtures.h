#pragma once
// Audio fixtures for the container-format tests: short files of every format and codec the parser
// reads, made on first use with Debian's ffmpeg (HE-AAC in MP4 muxed by libavformat from ffmpeg's AAC
// frames with an HE configuration; AAC in CAF, which ffmpeg cannot mux, assembled here), kept under
// the build folder, and an independent decode of each by ffmpeg.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "g719_test_util.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera::test {

using Bytes = std::vector<std::uint8_t>;

bool haveFfmpeg();

struct FormatCase {
  const char* name;
  const char* mime;        // Content-Type a server would send
  std::uint32_t fileType;  // parser hint
  std::uint32_t formatID;  // expected 'dfmt' format (after 'flst' for HE-AAC)
  int outputRate;          // decoded rate
  int outputChannels;      // decoded channels
  bool packets;            // compressed, with packet descriptions
  const char* encoding;    // ffmpeg's output arguments; nullptr: assembled from ffmpeg's AAC or ALAC
  int seconds = 3;
};
const std::vector<FormatCase>& formatCases();
// Test listings name a case by its fixture.
inline void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
const FormatCase* findCase(const std::string& name);

// The container parser of a file type (the AIFF parser for both AIFF types).
using ParserFactory = std::unique_ptr<StreamFormatParser> (*)(StreamFormatParser::Output&);
ParserFactory parserFactoryFor(std::uint32_t fileType);

// Path of the fixture, made if missing (empty when it cannot be made).
std::string fixturePath(const FormatCase& c);
// An M4A as ffmpeg writes it by default: "moov" after "mdat".
std::string moovAtEndFixture();
// ffmpeg's own decode of a case's fixture to 16-bit PCM at the case's rate and channels.
Pcm ffmpegDecode(const FormatCase& c);

// Building blocks used by the fixtures (and by tests that damage them).
std::vector<Bytes> splitAdtsFrames(const Bytes& adts);
Bytes heAacConfig(int coreRate, int channels, int extensionRate, bool parametricStereo);
Bytes esDescriptor(const Bytes& audioSpecificConfig);
// An M4A of one AAC track written by libavformat, "moov" first (`path`: a scratch file, removed).
Bytes muxM4a(const Bytes& audioSpecificConfig, const std::vector<Bytes>& frames, int sampleRate, int channels,
             const std::string& path);
Bytes writeCaf(double sampleRate, std::uint32_t formatID, std::uint32_t formatFlags,
               std::uint32_t framesPerPacket, int channels, const Bytes& cookie,
               const std::vector<Bytes>& packets);
// A CAF file with its chunks put in streaming order (desc, kuki, pakt, then data); `framesInTable`:
// no fixed frames per packet, each packet's count in the table instead.
Bytes cafInStreamingOrder(const Bytes& caf, bool framesInTable = false);

}  // namespace tonvera::test
