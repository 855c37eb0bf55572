// PURE decoding above the G.719 channel decoder: the decoder state of a stream
// (PURE_CODEC_HANDLE), the decode of one scrambled frame into 960 interleaved stereo samples,
// the framing of a byte stream that arrives in chunks of any size, and the frame arithmetic
// behind seeking and the track length.
//
// Threads: the free functions keep no global state and may be called from any thread. One
// PURE_CODEC_HANDLE or PureFramer is used by one thread at a time (an output queue's thread,
// or the command-line decoder's only thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "audio/g719/g719_decoder.h"
#include "audio/g719/pure_format.h"

namespace tonvera {

// Decoded output of one frame: 960 sample frames of left and right 16-bit samples.
inline constexpr int kPureFrameSamples = kG719FrameSamples;
inline constexpr int kPureFramePcmSamples = 2 * kPureFrameSamples;   // 1920
inline constexpr int kPureFramePcmBytes = kPureFramePcmSamples * 2;  // 3840
inline constexpr int kPureFramesPerSecond = 50;                      // 20 ms frames
inline constexpr std::uint32_t kPurePcmBytesPerMs = 192;             // 48 kHz x 2 x 2
inline constexpr std::uint32_t kPureBitRate = 8 * 48000 * 4;         // 1 536 000 bit/s

// The decoder state of one stream: the rate byte R, then one G.719 state per channel
// (0 = left, 1 = right). Allocated zero-filled by pureCodecCreate and kept for the whole
// stream: frames overlap with the previous one, across seeks too.
struct PURE_CODEC_HANDLE {
  std::uint8_t rate;
  G719ChannelState channel[2];
};
static_assert(sizeof(PURE_CODEC_HANDLE) == 15380);

// Allocates a zero-filled state for the header's rate, copies R and initialises both channels
// for R x 20 bits per frame. Null when header is null, its rate is outside 1..128, or memory is
// short.
std::unique_ptr<PURE_CODEC_HANDLE> pureCodecCreate(const PURE_HEADER* header);

// Decodes one frame of pureFrameBytes(codec->rate) bytes: descrambles it in place, decodes the
// left and right payloads (expanded into soft bits, bit counts reset to R x 20 before each) and
// interleaves them into out. False, with out untouched, when codec is null or frame is shorter
// than a frame.
bool pureDecodeFrame(PURE_CODEC_HANDLE* codec, std::span<std::uint8_t> frame,
                     std::span<std::int16_t, kPureFramePcmSamples> out);

// Cuts a stream of frames (the bytes after the header) into whole frames, whatever the sizes of
// the chunks it arrives in: a frame cut by the end of a chunk is held and completed by as many
// following chunks as it takes, so the frames come out exactly as from the unsplit stream.
class PureFramer {
 public:
  PureFramer() = default;
  explicit PureFramer(int frameBytes) { reset(frameBytes); }

  // Sets the frame size (pureFrameBytes of the header's rate) and drops any held bytes.
  // A size outside 1..kPureMaxFrameBytes makes next() discard everything.
  void reset(int frameBytes);
  // Forgets the partial frame held (a seek, or the end of a stream that stopped inside a frame).
  void drop() { held_ = 0; }

  int frameBytes() const { return frameBytes_; }
  // Bytes of the partial frame held between chunks (0..frameBytes - 1).
  std::size_t held() const { return held_; }

  // Takes the next whole frame from the front of chunk and advances chunk past the bytes used.
  // When chunk ends before a frame is complete, its bytes are held, chunk becomes empty and the
  // result is empty. The frame returned points into chunk or into the framer's own buffer and
  // stays valid until the next call; the caller may change it (descrambling works in place).
  std::span<std::uint8_t> next(std::span<std::uint8_t>& chunk);

 private:
  int frameBytes_ = 0;
  std::size_t held_ = 0;
  std::uint8_t frame_buffer[kPureMaxFrameBytes] = {};
};

// Track length in milliseconds from the header's PCM length (192 bytes a millisecond).
std::uint32_t pureDurationMs(const PURE_HEADER& header);

}  // namespace tonvera
