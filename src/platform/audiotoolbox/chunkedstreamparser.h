#pragma once
// The engine shared by the container parsers whose files are a sequence of sized chunks or boxes
// (WAV, AIFF/AIFC, CAF, MP4): it walks the chunk headers as the bytes come, skips the chunks it
// does not need without keeping them, keeps the few small ones a format asks for (each under a
// size limit) and hands them to the format, and then delivers the audio in one of two ways:
//
// - constant-size frames (linear PCM): the bytes of the audio data pass through unchanged,
//   without packet descriptions, up to the end of the data when it is known;
// - a packet table (compressed audio): every packet is delivered, whole and with its description,
//   as soon as its bytes have arrived; packets are found by their absolute position in the file,
//   so gaps between them are skipped.
//
// Positions are absolute file offsets: the first byte ever parsed is offset 0. seek() answers the
// exact offset of a packet and expects the next bytes to start there (a range request from that
// offset); the discontinuity flag alone does not move the position, since the bytes of a stream
// that was only flagged still follow on.
//
// Memory is bounded: kept chunks are limited per format, a packet table to kMaxPackets entries,
// a packet to kMaxPacketBytes; the bytes held between calls are at most one packet or one header.
//
// Threads: the thread that drives the owning AudioFileStream.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audiotoolbox/streamformat.h"

namespace tonvera {

// Limits shared by the container parsers.
inline constexpr std::size_t kMaxPackets = std::size_t(1) << 20;  // about 6 hours of AAC
inline constexpr std::uint32_t kMaxPacketBytes = 256 * 1024;      // larger packets: invalid file
inline constexpr double kMaxSampleRate = 768000.0;
inline constexpr std::uint32_t kMaxChannels = 8;

// Reading numbers from bytes (no alignment needed).
inline std::uint16_t readBE16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }
inline std::uint32_t readBE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
inline std::uint64_t readBE64(const std::uint8_t* p) {
  return std::uint64_t(readBE32(p)) << 32 | readBE32(p + 4);
}
inline std::uint16_t readLE16(const std::uint8_t* p) { return std::uint16_t(p[1] << 8 | p[0]); }
inline std::uint32_t readLE32(const std::uint8_t* p) {
  return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

class ChunkedStreamParser : public StreamFormatParser {
 public:
  explicit ChunkedStreamParser(Output& output);

  AudioStatus parse(const std::uint8_t* data, std::size_t size, bool discontinuity) final;
  AudioStatus seek(std::int64_t packetIndex, std::int64_t* byteOffset, bool* isEstimate) final;

 protected:
  struct ChunkHeader {
    std::uint32_t id = 0;
    std::int64_t payloadSize = -1;  // -1: unknown, the chunk runs to the end of the file
    std::size_t headerBytes = 0;
    bool padToEven = false;  // a pad byte follows an odd payload
  };
  enum class ChunkAction { Skip, Keep, Audio };

  // Bytes of the file header (0 when the file starts with a chunk) and its check.
  virtual std::size_t fileHeaderBytes() const = 0;
  virtual AudioStatus readFileHeader(const std::uint8_t* p) = 0;
  // Reads a chunk header from `avail` bytes. Sets `*need` (more bytes are needed) or fills `out`.
  virtual AudioStatus readChunkHeader(const std::uint8_t* p, std::size_t avail, ChunkHeader* out,
                                      std::size_t* need) = 0;
  // What to do with a chunk; for Keep, `*limit` is the largest payload accepted (larger: invalid).
  virtual ChunkAction actionFor(const ChunkHeader& chunk, std::size_t* limit) = 0;
  // A kept chunk, whole. The format may start the audio from here (startPackets()), when the
  // chunk locates the packets by absolute offsets.
  virtual AudioStatus readChunk(std::uint32_t id, const std::uint8_t* p, std::size_t size) = 0;
  // Bytes read from the start of the audio chunk before the audio itself (kept for the format).
  virtual std::size_t audioPrefixBytes(std::uint32_t /*id*/) const { return 0; }
  // The audio chunk begins: `start` is the offset after the prefix, `size` the payload left after
  // it (-1 unknown). The format publishes its properties and calls startFrames() or startPackets().
  virtual AudioStatus startAudio(const ChunkHeader& chunk, const std::uint8_t* prefix, std::int64_t start,
                                 std::int64_t size) = 0;

  // Constant-size frames from `start` for `byteCount` bytes (-1: to the end of the stream).
  void startFrames(std::int64_t start, std::int64_t byteCount, std::uint32_t bytesPerFrame);
  // Packets at absolute `offsets` with `sizes` (same length, offsets ascending and not
  // overlapping: checked by checkPacketTable()).
  void startPackets(std::vector<std::int64_t> offsets, std::vector<std::uint32_t> sizes);
  static bool checkPacketTable(const std::vector<std::int64_t>& offsets,
                               const std::vector<std::uint32_t>& sizes);

  void publish(std::uint32_t id, const void* data, std::uint32_t size) {
    output().publishProperty(id, data, size);
  }
  // 'ffmt', 'dfmt', 'doff', 'bcnt' (when known), 'pcnt' (when known), 'pkub' (when non-zero).
  void publishBasics(std::uint32_t fileType, const AudioStreamBasicDescription& asbd, std::int64_t dataOffset,
                     std::int64_t byteCount, std::int64_t packetCount, std::uint32_t upperBound);
  void publishReady();

  std::int64_t dataOffset() const { return dataOffset_; }

 private:
  enum class Stage { FileHeader, ChunkHeader, Skip, Keep, AudioPrefix, Frames, Packets, Done, Failed };

  AudioStatus run();
  AudioStatus runFrames();
  AudioStatus runPackets();
  AudioStatus beginChunk(const ChunkHeader& chunk);
  AudioStatus fail(AudioStatus status);
  // Offset of the first byte after the chunk being read (-1: the chunk runs to the end).
  std::int64_t chunkEnd() const;
  void dropHeld(std::size_t n);

  Stage stage_ = Stage::FileHeader;
  AudioStatus failure_ = kAudioNoErr;
  // Bytes held between calls; held_[heldStart_] sits at file offset heldPos_.
  std::vector<std::uint8_t> held_;
  std::size_t heldStart_ = 0;
  std::int64_t heldPos_ = 0;
  std::int64_t skipTo_ = -1;  // while skipping: the first offset to keep (-1: to the end)

  ChunkHeader chunk_;
  std::int64_t chunkStart_ = 0;  // offset of the chunk's payload
  std::size_t keepBytes_ = 0;

  std::int64_t dataOffset_ = 0;
  // Frames
  std::int64_t framesStart_ = 0;
  std::int64_t framesEnd_ = -1;
  std::uint32_t bytesPerFrame_ = 1;
  // Packets
  std::vector<std::int64_t> offsets_;
  std::vector<std::uint32_t> sizes_;
  std::size_t next_ = 0;
  std::vector<AudioStreamPacketDescription> descriptions_;
};

}  // namespace tonvera
