#pragma once
// The inside of the audio file stream parser: one StreamFormatParser per container format (MP3,
// ADTS, MP4/M4A, WAV, AIFF/AIFC, CAF and PURE; see containerparsers.h for all but MP3). The front (AudioFileStream) owns one,
// feeds it bytes and answers property reads from what the format parser published.
//
// Adding a format: write <format>streamparser.cpp with a class deriving from StreamFormatParser
// and add one line to the table in streamformats.cpp.
//
// Threads: a format parser is used by the thread that drives its AudioFileStream only.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/audiotoolbox/audiotypes.h"

namespace tonvera {

class StreamFormatParser {
 public:
  // What a format parser produces. Both calls run synchronously inside parse().
  class Output {
   public:
    virtual ~Output() = default;
    // Stores the property value (raw bytes, the platform's layout) and then tells the listener.
    virtual void publishProperty(std::uint32_t propertyID, const void* data, std::uint32_t size) = 0;
    // Hands complete packets on. `descriptions` is null for data without packet descriptions
    // (linear PCM); then `numberPackets` may be 0. Offsets are relative to `data`.
    virtual void deliverPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                                const AudioStreamPacketDescription* descriptions) = 0;
  };

  explicit StreamFormatParser(Output& output) : output_(output) {}
  virtual ~StreamFormatParser() = default;
  StreamFormatParser(const StreamFormatParser&) = delete;
  StreamFormatParser& operator=(const StreamFormatParser&) = delete;

  // Consumes `size` bytes. `discontinuity`: these bytes do not follow the previous ones (after a
  // seek); partial data held from before is dropped. Non-zero status: the bytes cannot be parsed.
  virtual AudioStatus parse(const std::uint8_t* data, std::size_t size, bool discontinuity) = 0;

  // Packet index -> byte offset of that packet, relative to the data offset ('doff').
  // `isEstimate` is set when the offset is not known exactly.
  virtual AudioStatus seek(std::int64_t packetIndex, std::int64_t* byteOffset, bool* isEstimate) = 0;
  // True for a format whose seeks land on coarse points and count the position from the time
  // asked (kAudioFileStreamSeekFlag_KeepsRequestedTime).
  virtual bool seeksKeepRequestedTime() const { return false; }

 protected:
  Output& output() { return output_; }

 private:
  Output& output_;
};

using StreamFormatFactory = std::unique_ptr<StreamFormatParser> (*)(StreamFormatParser::Output&);

// The factory for a file-type code, or null when the type is not supported.
StreamFormatFactory streamFormatFactory(std::uint32_t fileType);

// One factory per format (each defined in its own file).
std::unique_ptr<StreamFormatParser> makeMp3StreamParser(StreamFormatParser::Output& output);

}  // namespace tonvera
