// AudioStreamer's PURE path: the stream header, the decoder state, the PCM output format, the
// framing of the chunks into frames decoded straight into output buffers, and seeking by frames.
#include <algorithm>
#include <cstring>
#include <span>

#include "audio/audiostreamer.h"
#include "audio/purecodec.h"

namespace tonvera {

void PureCodecDeleter::operator()(PURE_CODEC_HANDLE* codec) const { std::default_delete<PURE_CODEC_HANDLE>()(codec); }

bool AudioStreamer::loadHeader() {
  std::lock_guard guard(lock_);
  if (!stream_) return false;
  std::uint8_t bytes[kPureHeaderBytes];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const long n = stream_->read(bytes + got, sizeof bytes - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < sizeof bytes) return false;
  const auto header = parsePureHeader(bytes);
  if (!header) return false;
  pure_header_ = *header;
  frame_bytes_ = pureFrameBytes(header->m_ucBPS);
  durationMS_ = static_cast<std::int32_t>(pureDurationMs(*header));
  return true;
}

bool AudioStreamer::createPureCodec() {
  std::lock_guard guard(lock_);
  auto codec = pureCodecCreate(&pure_header_);
  if (!codec) return false;
  pCODEC_.reset(codec.release());
  return true;
}

void AudioStreamer::handlePropertyChangeForPur() {
  std::lock_guard guard(lock_);
  if (isFinishing()) return;
  discontinuous_ = true;
  asbd_ = AudioStreamBasicDescription{};
  asbd_.sampleRate = 48000.0;
  asbd_.formatID = kAudioFormatLinearPCM;
  asbd_.formatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
  asbd_.bytesPerPacket = 4;
  asbd_.framesPerPacket = 1;
  asbd_.bytesPerFrame = 4;
  asbd_.channelsPerFrame = 2;
  asbd_.bitsPerChannel = 16;
}

// Each whole frame is decoded into the buffer being filled and enqueued as one buffer. A frame cut
// by the end of a chunk is held in frame_buffer_ (bytesFilled_ counts its bytes) and completed by
// the following chunks, however short they are.
void AudioStreamer::handlePurePackets(const std::uint8_t* data, std::uint32_t numberBytes) {
  if (!beginPackets(false)) return;
  std::uint32_t at = 0;
  while (at < numberBytes) {
    bool frameReady = false;
    {
      std::lock_guard guard(lock_);
      if (isFinishing() || !pCODEC_ || frame_bytes_ <= 0) return;
      const auto frameBytes = static_cast<std::uint32_t>(frame_bytes_);
      const std::uint32_t held = static_cast<std::uint32_t>(bytesFilled_);
      const std::uint32_t take = std::min(frameBytes - held, numberBytes - at);
      std::memcpy(frame_buffer_.data() + held, data + at, take);
      at += take;
      bytesFilled_ = held + take;
      if (bytesFilled_ == frameBytes) {
        AudioQueueBuffer* buffer = audioQueueBuffer_[fillBufferIndex_];
        std::span<std::int16_t, kPureFramePcmSamples> out(static_cast<std::int16_t*>(buffer->audioData),
                                                           kPureFramePcmSamples);
        if (!pureDecodeFrame(pCODEC_.get(), std::span(frame_buffer_.data(), frameBytes), out)) {
          failWithErrorCode(StreamerError::FileStreamGetPropertyFailed);
          return;
        }
        ++packetsFilled_;
        frameReady = true;
      }
    }
    if (frameReady) enqueueBuffer();  // resets bytesFilled_
  }
}

void AudioStreamer::pureSeekOffset(double seconds) {
  std::lock_guard guard(lock_);
  seekByteOffset_ = pureSeekByteOffset(seconds, frame_bytes_);
  bytesFilled_ = 0;
  frame_buffer_.fill(0);
  seekTime_ = seconds;
}

}  // namespace tonvera
