// AudioStreamer's stream input: the request, the read-stream events, and the hand-over of the
// bytes to the parser (or to the PURE path).
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "audio/audiostreamer.h"
#include "platform/log.h"

namespace tonvera {

namespace {
bool isHttpUrl(const std::string& url) { return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0; }
}  // namespace

bool AudioStreamer::openReadStream() {
  std::lock_guard guard(lock_);
  contractAssert(isInternalThread(), "File stream download must be started on the internalThread");
  contractAssert(!stream_, "Download stream already initialized");
  if (url_.empty() || stream_) return false;
  if (!isHttpUrl(url_)) return false;

  HttpHeaderFields fields;
  if (fileLength_ > 0 && seekByteOffset_ > 0) {
    char range[64];
    std::snprintf(range, sizeof range, "bytes=%" PRId64 "-%" PRId64, seekByteOffset_, fileLength_ - 1);
    fields.emplace_back("Range", range);
    // A reconnection continues the bytes exactly where they stopped; only a seek jumps.
    if (!continuingStream_) discontinuous_ = vbr_;
  }
  // Redirects are followed, the proxy comes from the environment, and https certificates are
  // verified.
  auto stream = ReadStream::createForHttpRequest(url_, fields);
  setState(StreamerState::WaitingForData);
  if (!stream->open()) return false;
  stream->setClient([this](ReadStream& s, ReadStreamEvent event) { handleReadFromStream(s, event); });
  stream->scheduleWithRunLoop(RunLoop::current());
  stream_ = std::move(stream);
  bytesSinceOpen_ = false;
  return true;
}

void AudioStreamer::handleReadFromStream(ReadStream& stream, ReadStreamEvent event) {
  {
    std::lock_guard guard(lock_);
    if (&stream != stream_.get()) return;
  }
  switch (event) {
    case ReadStreamEvent::OpenCompleted:
      return;
    case ReadStreamEvent::ErrorOccurred: {
      // The connection is lost. Playback pauses; then the stream is requested again at once (from
      // the first byte not yet read), and playback resumes when it comes back.
      std::lock_guard guard(lock_);
      if (state_ == StreamerState::Playing) {
        pause();
        resumeAfterReconnect_ = true;
      }
      if (!bytesSinceOpen_) {
        // A reopen that brought nothing counts as a failed attempt.
        ++reconnectTimes_;
        nextReconnectAt_ = std::chrono::steady_clock::now() + reconnectTimes_ * kReconnectBackoff;
      }
      if (!isFinishing()) reConnect_ = true;
      return;
    }
    case ReadStreamEvent::EndEncountered:
      handleEndOfStream();
      return;
    case ReadStreamEvent::HasBytesAvailable:
      break;
  }

  std::uint8_t bytes[kReadChunk];
  long length = 0;
  {
    std::lock_guard guard(lock_);
    lastRecivedTime_ = std::chrono::steady_clock::now();
    bytesSinceOpen_ = true;
    reconnectTimes_ = 0;
    if (httpHeaders_.empty()) {
      httpHeaders_ = stream.responseHeaderFields();
      if (seekByteOffset_ == 0) {
        const std::string* length = findHeaderField(httpHeaders_, "Content-Length");
        fileLength_ = length ? std::strtoll(length->c_str(), nullptr, 10) : 0;
        if (fileLength_ < 0) fileLength_ = 0;
      }
    }
    if (!audioFileStream_ && !pCODEC_) {
      const std::string* type = findHeaderField(httpHeaders_, "Content-Type");
      fileTypeHint_ = hintForMIMEType(type ? *type : std::string());
      if (fileTypeHint_ == kPureFileType) {
        const PureHeaderLoad header = loadHeader();
        if (header == PureHeaderLoad::Pending) return;  // the rest of the header comes with the next reads
        if (header == PureHeaderLoad::Refused) {
          // A stream announced as PURE without a valid header cannot be framed.
          failWithErrorCode(StreamerError::AudioDataNotFound);
          return;
        }
        seekByteOffset_ += static_cast<std::int64_t>(kPureHeaderBytes);
        if (!createPureCodec()) {
          failWithErrorCode(StreamerError::AudioDataNotFound);
          return;
        }
        handlePropertyChangeForPur();
      } else {
        const AudioStatus status = AudioFileStream::open(
            fileTypeHint_,
            [this](AudioFileStream& s, std::uint32_t id, std::uint32_t* flags) {
              handlePropertyChangeForFileStream(s, id, flags);
            },
            [this](const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                   const AudioStreamPacketDescription* descriptions) {
              handleAudioPackets(data, numberBytes, numberPackets, descriptions);
            },
            &audioFileStream_);
        if (status != kAudioNoErr) {
          err_ = status;
          failWithErrorCode(StreamerError::FileStreamOpenFailed);
          return;
        }
      }
    }
    if (isFinishing() || !stream.hasBytesAvailable()) return;
    length = stream.read(bytes, kReadChunk);
    if (fileTypeHint_ == kPureFileType && pCODEC_) {
      if (length <= 0) return;
    } else {
      if (length == 0) return;
      if (length < 0) {
        failWithErrorCode(StreamerError::AudioDataNotFound);
        return;
      }
    }
    // Counts the bytes consumed, so that a reconnection's request resumes where the stream stopped.
    seekByteOffset_ += length;
  }

  // Outside the lock: parsing may wait for a free buffer.
  if (fileTypeHint_ == kPureFileType) {
    const std::uint32_t frames = frame_bytes_ > 0 ? static_cast<std::uint32_t>(length / frame_bytes_) : 0;
    handleAudioPackets(bytes, static_cast<std::uint32_t>(length), frames, nullptr);
    return;
  }
  AudioFileStream* parser = nullptr;
  bool discontinuity = false;
  {
    std::lock_guard guard(lock_);
    parser = audioFileStream_.get();
    discontinuity = discontinuous_;
  }
  if (!parser) return;
  const AudioStatus status = parser->parseBytes(bytes, static_cast<std::uint32_t>(length), discontinuity);
  if (status) {
    std::lock_guard guard(lock_);
    err_ = status;
    failWithErrorCode(StreamerError::FileStreamParseBytesFailed);
  }
}

void AudioStreamer::handleEndOfStream() {
  if (isFinishing()) return;
  {
    std::unique_lock guard(lock_);
    if (fileTypeHint_ == kPureFileType) {
      // A stream that stops inside a frame: the partial frame cannot be decoded. It is dropped,
      // and no buffer is enqueued for it (the buffer being filled holds older audio).
      bytesFilled_ = 0;
      pureFramer_.drop();
    }
    if (bytesFilled_ != 0) {
      if (state_ == StreamerState::WaitingForData) setState(StreamerState::FlushingAtEnd);
      guard.unlock();
      enqueueBuffer();
    } else if (state_ == StreamerState::WaitingForData && buffersUsed_ > 0) {
      // Audio was queued but the ring never reached the start count, and no partial buffer is
      // left to carry the start: start with what is there.
      setState(StreamerState::FlushingAtEnd);
      startQueue();
    }
  }
  std::lock_guard guard(lock_);
  if (state_ == StreamerState::WaitingForData) {
    // Not one packet of audio: the error is set directly, without failWithErrorCode's effects.
    errorCode_ = StreamerError::AudioDataNotFound;
    setState(StreamerState::Stopped);
    stopReason_ = StopReason::Error;
    return;
  }
  if (isFinishing()) return;
  if (audioQueue_) {
    err_ = audioQueue_->flush();
    if (err_) {
      failWithErrorCode(StreamerError::AudioQueueFlushFailed);
      return;
    }
    if (state_ == StreamerState::Buffering) {
      // The queue was held after running dry, waiting for a full ring that will never come now:
      // it plays what is queued, and the stop below ends the track after it.
      err_ = audioQueue_->start();
      if (err_) {
        failWithErrorCode(StreamerError::AudioQueueStartFailed);
        return;
      }
    }
    setState(StreamerState::Stopping);
    stopReason_ = StopReason::EndOfStream;
    err_ = audioQueue_->stop(false);
    if (err_) failWithErrorCode(StreamerError::AudioQueueStopFailed);
  } else {
    setState(StreamerState::Stopped);
    stopReason_ = StopReason::EndOfStream;
  }
}

}  // namespace tonvera
