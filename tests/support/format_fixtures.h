#pragma once
// Audio fixtures for the container-format tests: short files of every format and codec the parsers
// read, made on first use with Debian's ffmpeg (AAC and HE-AAC in CAF, which ffmpeg cannot mux,
// assembled here from its AAC frames), kept under the build folder, and ffmpeg's decode of each.

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

// The frames of an ADTS stream, headers included.
std::vector<Bytes> splitAdtsFrames(const Bytes& adts);

}  // namespace tonvera::test
