// AudioStreamer's PURE path: the stream header, the decoder state, the PCM output format, the
// framing of the chunks into frames decoded straight into output buffers, and seeking by frames.
#include <algorithm>
#include <cstring>
#include <span>

#include "audio/audiostreamer.h"
#include "audio/purecodec.h"

namespace tonvera {

void PureCodecDeleter::operator()(PURE_CODEC_HANDLE* codec) const { std::default_delete<PURE_CODEC_HANDLE>()(codec); }

AudioStreamer::PureHeaderLoad AudioStreamer::loadHeader() {
  std::lock_guard guard(lock_);
  if (!stream_) return PureHeaderLoad::Refused;
  while (pureHeaderHeld_ < kPureHeaderBytes) {
    const long n = stream_->read(frame_buffer_.data() + pureHeaderHeld_, kPureHeaderBytes - pureHeaderHeld_);
    if (n <= 0) break;
    pureHeaderHeld_ += static_cast<std::uint32_t>(n);
  }
  if (pureHeaderHeld_ < kPureHeaderBytes) return PureHeaderLoad::Pending;
  pureHeaderHeld_ = 0;
  const auto header = parsePureHeader(std::span(frame_buffer_.data(), kPureHeaderBytes));
  frame_buffer_.fill(0);
  if (!header) return PureHeaderLoad::Refused;
  pure_header_ = *header;
  frame_bytes_ = pureFrameBytes(header->m_ucBPS);
  pureFramer_.reset(frame_bytes_);
  durationMS_ = static_cast<std::int32_t>(pureDurationMs(*header));
  return PureHeaderLoad::Loaded;
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

// The bytes are cut into frames by the same PureFramer the decoder tools and the fuzzers use. Each
// whole frame is decoded into the buffer being filled and enqueued as one buffer; a frame cut by
// the end of a chunk is held by the framer (bytesFilled_ mirrors its count) and completed by the
// following chunks, however short they are.
void AudioStreamer::handlePurePackets(const std::uint8_t* data, std::uint32_t numberBytes) {
  if (!beginPackets(false)) return;
  // The framer descrambles in place: it works on a copy of the chunk.
  pureChunk_.assign(data, data + numberBytes);
  std::span<std::uint8_t> chunk(pureChunk_);
  while (!chunk.empty()) {
    // The framer, the decoder state and the buffer being filled belong to this thread (the queue
    // holds only enqueued buffers): a frame is decoded without lock_, which the controls take.
    if (isFinishing() || !pCODEC_) return;
    const std::span<std::uint8_t> frame = pureFramer_.next(chunk);
    bytesFilled_ = pureFramer_.held();
    if (frame.empty()) continue;  // the rest of the chunk is held
    AudioQueueBuffer* buffer = audioQueueBuffer_[fillBufferIndex_];
    std::span<std::int16_t, kPureFramePcmSamples> out(static_cast<std::int16_t*>(buffer->audioData),
                                                       kPureFramePcmSamples);
    if (!pureDecodeFrame(pCODEC_.get(), frame, out)) {
      failWithErrorCode(StreamerError::FileStreamGetPropertyFailed);
      return;
    }
    ++packetsFilled_;
    enqueueBuffer();
    if (packetsFilled_ != 0) return;  // not enqueued: the player is finishing
  }
}

void AudioStreamer::pureSeekOffset(double seconds) {
  std::lock_guard guard(lock_);
  seekByteOffset_ = pureSeekByteOffset(seconds, frame_bytes_);
  if (fileLength_ > 0 && frame_bytes_ > 0 && seekByteOffset_ + frame_bytes_ > fileLength_) {
    // Past the last whole frame (the header's length may promise more than the stream holds, and
    // a seek to the very end lands there): the last whole frame instead. A range beyond the end
    // would be refused, and the refusal's text must never be decoded as audio.
    const std::int64_t frames = (fileLength_ - std::int64_t(kPureHeaderBytes)) / frame_bytes_;
    seekByteOffset_ = std::int64_t(kPureHeaderBytes) + std::max<std::int64_t>(frames - 1, 0) * frame_bytes_;
  }
  bytesFilled_ = 0;
  pureFramer_.drop();
}

}  // namespace tonvera
