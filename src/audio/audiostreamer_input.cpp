// AudioStreamer's stream input: the request, the read-stream events, and the hand-over of the
// bytes to the parser (or to the PURE path).
#include <algorithm>
#include <cstring>

#include "audio/audiostreamer.h"
#include "platform/log.h"

namespace tonvera {

bool AudioStreamer::openReadStream() {
  std::lock_guard guard(lock_);
  contractAssert(isInternalThread(), "File stream download must be started on the internalThread");
  contractAssert(!stream_, "Download stream already initialized");
  // An input that was refused once is refused again: no point in the thread's further attempts.
  if (stream_ || errorCode_ != StreamerError::None) return false;

  rangeAsked_ = fileLength_ > 0 && seekByteOffset_ > 0;
  continuationAsked_ = rangeAsked_ && continuingStream_;
  skipReplyBytes_ = 0;
  replyChecked_ = false;
  // A reopen continues the bytes exactly where they stopped: the parser and the decoder go on as
  // if nothing had happened. Only a seek jumps.
  if (rangeAsked_ && !continuingStream_) discontinuous_ = vbr_;
  auto stream = input_->open({.offset = seekByteOffset_, .length = fileLength_, .continuing = continuingStream_});
  // A reopen keeps the state it finds (playing what is queued, buffering, paused): the listener
  // hears of the outage only if it lasts until the queue runs dry.
  if (!continuingStream_ || !audioQueue_) setState(StreamerState::WaitingForData);
  if (!stream) {
    // A file that cannot be read has no audio: the track ends with that error instead of looking
    // like an empty track that played to its end. (A request that could not be started is the
    // caller's to try again.)
    if (!input_->reopens()) failWithErrorCode(StreamerError::AudioDataNotFound);
    return false;
  }
  stream->setClient([this](ReadStream& s, ReadStreamEvent event) { handleReadFromStream(s, event); });
  stream->scheduleWithRunLoop(RunLoop::current());
  stream_ = std::move(stream);
  return true;
}

void AudioStreamer::connectionLost() {
  std::lock_guard guard(lock_);
  if (isFinishing()) return;
  if (!input_->reopens()) {
    // The file can no longer be read: nothing more will come, so the track ends here instead of
    // waiting for bytes forever.
    failWithErrorCode(StreamerError::AudioDataNotFound);
    return;
  }
  const auto now = this->now();
  if (!outageSince_) outageSince_ = now;
  // At once after bytes flowed; then 0.25 s, 0.5 s, 1 s, 2 s, 2 s, ...
  std::chrono::milliseconds pause{0};
  if (reconnectTimes_ > 0) {
    pause = kReconnectBackoffMax;
    if (reconnectTimes_ <= 4)
      pause = std::min(kReconnectBackoffMax, kReconnectBackoff * (1 << (reconnectTimes_ - 1)));
  }
  nextReconnectAt_ = now + pause;
  ++reconnectTimes_;
  reConnect_ = true;
}

bool AudioStreamer::refusedReply(ReadStream& stream) {
  std::lock_guard guard(lock_);
  if (replyChecked_) return false;
  replyChecked_ = true;
  const long status = stream.responseStatusCode();
  // The server is there but cannot serve now: an outage like a lost connection.
  if (status >= 500) return true;
  // A first reply is read whatever it says; a continuation must be one.
  if (!outageSince_ && !continuationAsked_) return false;
  if (status < 200 || status >= 300) return true;
  if (rangeAsked_ && status != 206) {
    // The whole file instead of the range: the bytes already read are skipped on their way.
    skipReplyBytes_ = seekByteOffset_;
  }
  return false;
}

void AudioStreamer::handleReadFromStream(ReadStream& stream, ReadStreamEvent event) {
  {
    std::lock_guard guard(lock_);
    if (&stream != stream_.get()) return;
  }
  switch (event) {
    case ReadStreamEvent::OpenCompleted:
      return;
    case ReadStreamEvent::ErrorOccurred:
      // The connection is lost. What is queued plays on (the player waits in Buffering when it
      // runs out), and the stream is requested again from the first byte not yet read.
      connectionLost();
      return;
    case ReadStreamEvent::EndEncountered:
      if (refusedReply(stream)) {
        connectionLost();
        return;
      }
      handleEndOfStream();
      return;
    case ReadStreamEvent::HasBytesAvailable:
      break;
  }

  std::uint8_t bytes[kReadChunk];
  long length = 0;
  {
    std::lock_guard guard(lock_);
    if (reConnect_) return;  // a refused reply, left unread until the reopen closes it
    if (refusedReply(stream)) {
      connectionLost();
      return;
    }
    lastRecivedTime_ = now();
    if (!replyRead_) {
      replyRead_ = true;
      httpHeaders_ = stream.responseHeaderFields();
      if (seekByteOffset_ == 0) {
        fileLength_ = input_->length(stream);
        streamLength_ = fileLength_;
      }
    }
    if (!audioFileStream_ && !pCODEC_) {
      fileTypeHint_ = input_->typeHint(stream);
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
    if (length > 0 && skipReplyBytes_ > 0) {
      // The part of a whole reply that was read before the loss.
      const long skip = static_cast<long>(std::min<std::int64_t>(skipReplyBytes_, length));
      skipReplyBytes_ -= skip;
      length -= skip;
      std::memmove(bytes, bytes + skip, static_cast<std::size_t>(length));
      if (length == 0) return;
    }
    // Bytes again: the outage, if there was one, is over.
    outageSince_.reset();
    reconnectTimes_ = 0;
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
    // A track shorter than the start count: its output started just now, and the late report of
    // that start would find the player stopping. The listener hears it, so it is announced.
    if (state_ == StreamerState::WaitingForQueueStart) setState(StreamerState::Playing);
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
