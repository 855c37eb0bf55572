#pragma once
// MPEG-1, MPEG-2 and MPEG-2.5 Layer III streams: ID3v2 tags skipped, frames found by their sync
// word (the first one confirmed by the header that follows it), Xing/Info and VBRI headers read
// for the frame and byte counts and then skipped, every other frame handed on as one packet.
//
// Threads: the thread that drives the owning AudioFileStream.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audiotoolbox/streamformat.h"

namespace tonvera {

// A decoded 4-byte Layer III frame header.
struct Mp3FrameHeader {
  int version = 0;        // 1 = MPEG-1, 2 = MPEG-2, 3 = MPEG-2.5 (written "2.5")
  int bitRate = 0;        // bit/s
  int sampleRate = 0;     // Hz
  int channels = 0;       // 1 or 2
  int frameBytes = 0;     // whole frame, header included
  int samplesPerFrame = 0;
  int sideInfoBytes = 0;
  // The fields that stay the same from frame to frame of one stream.
  std::uint32_t streamKey = 0;

  // Nothing when the four bytes are not a Layer III header we can play (free format included).
  static std::optional<Mp3FrameHeader> parse(const std::uint8_t* p);
  // Largest frame possible at this version and sample rate.
  int maxFrameBytes() const;
};

class Mp3StreamParser final : public StreamFormatParser {
 public:
  explicit Mp3StreamParser(Output& output);

  AudioStatus parse(const std::uint8_t* data, std::size_t size, bool discontinuity) override;
  AudioStatus seek(std::int64_t packetIndex, std::int64_t* byteOffset, bool* isEstimate) override;

 private:
  // Handles the frame at pending_[pos]; false when it was an information frame (not audio).
  bool firstFrame(std::size_t pos, const Mp3FrameHeader& header);
  void readInfoFrame(const std::uint8_t* frame, const Mp3FrameHeader& header);

  // Bytes not yet consumed; pending_[0] sits at stream offset pendingOffset_.
  std::vector<std::uint8_t> pending_;
  std::int64_t pendingOffset_ = 0;
  bool positionKnown_ = true;   // false after a discontinuity: offsets are then unknown
  std::int64_t skipBytes_ = 0;  // rest of an ID3v2 tag still to drop
  bool atStart_ = true;         // nothing but tags seen yet
  bool synced_ = false;
  std::uint32_t streamKey_ = 0;

  // Format, known after the first frame.
  bool formatKnown_ = false;
  bool readyPending_ = false;
  Mp3FrameHeader first_;
  std::int64_t dataOffset_ = 0;
  std::int64_t infoFrames_ = 0;     // frame count of a Xing/Info/VBRI header (0: none)
  std::int64_t infoBytes_ = 0;      // byte count of that header (0: none)
  bool hasToc_ = false;
  std::array<std::uint8_t, 100> toc_{};

  // Offsets (relative to the data offset) of the audio packets parsed since the start, while the
  // bytes have come without a break: seeks to these packets are exact.
  std::vector<std::int64_t> packetOffsets_;
  bool tableGrowing_ = true;

  // Reused for each delivery: no allocation per packet in the steady state.
  std::vector<AudioStreamPacketDescription> descriptions_;
};

}  // namespace tonvera
