#pragma once
// Turns the packets of one stream into interleaved signed 16-bit PCM for the output queue:
// compressed formats through FFmpeg's libavcodec, PURE through the G.719 decoder, linear PCM by
// plain conversion.
//
// Threads: one thread uses a decoder (the queue's output thread).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audiotoolbox/audiotypes.h"

namespace tonvera {

class AudioDecoder {
 public:
  virtual ~AudioDecoder() = default;

  // True when create() would succeed for this format (checked when a queue is made).
  static bool canDecode(const AudioStreamBasicDescription& format);
  // Nothing when the format cannot be decoded. `magicCookie` is the codec configuration (may be
  // empty).
  static std::unique_ptr<AudioDecoder> create(const AudioStreamBasicDescription& format,
                                              const std::vector<std::uint8_t>& magicCookie);

  // Decodes one packet (for linear PCM: any whole number of frames) and appends the PCM to `out`.
  // A damaged packet adds nothing and is not an error: false only for a decoder that has failed.
  virtual bool decode(const std::uint8_t* data, std::size_t size, std::vector<std::int16_t>& out) = 0;
  // Appends what the decoder still holds (end of the stream).
  virtual void drain(std::vector<std::int16_t>& out) = 0;
  // Forgets the state carried from packet to packet (after a jump in the stream).
  virtual void reset() = 0;

  // The PCM format; fixed by the first output (0 before it).
  int outputRate() const { return outputRate_; }
  int outputChannels() const { return outputChannels_; }

 protected:
  int outputRate_ = 0;
  int outputChannels_ = 0;
};

// The three kinds (one file each).
std::unique_ptr<AudioDecoder> makeFfmpegDecoder(const AudioStreamBasicDescription& format,
                                                const std::vector<std::uint8_t>& magicCookie);
bool ffmpegCanDecode(const AudioStreamBasicDescription& format);
std::unique_ptr<AudioDecoder> makePcmDecoder(const AudioStreamBasicDescription& format);
bool pcmCanDecode(const AudioStreamBasicDescription& format);
// The magic cookie is the PURE stream's 16-byte header.
std::unique_ptr<AudioDecoder> makePureDecoder(const AudioStreamBasicDescription& format,
                                              const std::vector<std::uint8_t>& magicCookie);
bool pureCanDecode(const AudioStreamBasicDescription& format);

}  // namespace tonvera
