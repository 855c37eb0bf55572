// AudioStreamer's stream input: the request, the read-stream events, the hand-over of the bytes to
// the format's parser and the parser's properties. Internal thread only.
#include <algorithm>
#include <cstring>

#include "audio/audiostreamer.h"
#include "platform/log.h"

namespace tonvera {

bool AudioStreamer::openReadStream() {
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

void AudioStreamer::closeReadStream() {
  if (!stream_) return;
  stream_->unscheduleFromRunLoop();
  stream_->setClient(nullptr);
  stream_->close();
  stream_.reset();
}

void AudioStreamer::connectionLost() {
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

bool AudioStreamer::openParser(const ReadStream& stream) {
  if (audioFileStream_) return true;
  fileTypeHint_ = input_->typeHint(stream);
  const AudioStatus status = AudioFileStream::open(
      fileTypeHint_,
      [this](AudioFileStream& s, std::uint32_t id, std::uint32_t*) { handlePropertyChangeForFileStream(s, id); },
      [this](const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
             const AudioStreamPacketDescription* descriptions) {
        handleAudioPackets(data, numberBytes, numberPackets, descriptions);
      },
      &audioFileStream_);
  if (status == kAudioNoErr) return true;
  failWithErrorCode(StreamerError::FileStreamOpenFailed);
  return false;
}

void AudioStreamer::handleReadFromStream(ReadStream& stream, ReadStreamEvent event) {
  if (&stream != stream_.get()) return;
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

  if (reConnect_) return;  // a refused reply, left unread until the reopen closes it
  if (refusedReply(stream)) {
    connectionLost();
    return;
  }
  lastRecivedTime_ = now();
  if (!replyRead_) {
    replyRead_ = true;
    {
      std::lock_guard guard(lock_);
      httpHeaders_ = stream.responseHeaderFields();
    }
    if (seekByteOffset_ == 0) {
      fileLength_ = input_->length(stream);
      streamLength_ = fileLength_;
    }
  }
  if (!openParser(stream)) return;
  if (isFinishing() || !stream.hasBytesAvailable()) return;
  std::uint8_t bytes[kReadChunk];
  long length = stream.read(bytes, kReadChunk);
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
  if (length == 0) return;
  if (length < 0) {
    failWithErrorCode(StreamerError::AudioDataNotFound);
    return;
  }
  // Counts the bytes consumed, so that a reconnection's request resumes where the stream stopped.
  seekByteOffset_ += length;

  const AudioStatus status =
      audioFileStream_->parseBytes(bytes, static_cast<std::uint32_t>(length), discontinuous_);
  // Bytes that are not audio of the type at all (a header that fails its check) have none to
  // play; bytes that break the format's rules further on fail the parse.
  if (status == kAudioErrNoAudioData) {
    failWithErrorCode(StreamerError::AudioDataNotFound);
  } else if (status) {
    failWithErrorCode(StreamerError::FileStreamParseBytesFailed);
  }
}

void AudioStreamer::handlePropertyChangeForFileStream(AudioFileStream& stream, std::uint32_t propertyID) {
  if (isFinishing()) return;
  auto read = [&](void* out, std::uint32_t size) {
    std::uint32_t ioSize = size;
    if (stream.getProperty(propertyID, &ioSize, out) == kAudioNoErr) return true;
    failWithErrorCode(StreamerError::FileStreamGetPropertyFailed);
    return false;
  };
  switch (propertyID) {
    case kAudioFileStreamProperty_ReadyToProducePackets:
      discontinuous_ = true;
      break;
    case kAudioFileStreamProperty_DataFormat:
      if (asbd_.sampleRate == 0) read(&asbd_, sizeof asbd_);
      break;
    case kAudioFileStreamProperty_DataOffset: {
      std::int64_t offset = 0;
      if (!read(&offset, sizeof offset)) break;
      dataOffset_ = offset;
      if (audioDataByteCount_) fileLength_ = dataOffset_ + static_cast<std::int64_t>(audioDataByteCount_);
      break;
    }
    case kAudioFileStreamProperty_AudioDataByteCount: {
      std::uint64_t count = 0;
      if (!read(&count, sizeof count)) break;
      audioDataByteCount_ = count;
      fileLength_ = dataOffset_ + static_cast<std::int64_t>(audioDataByteCount_);
      break;
    }
    case kAudioFileStreamProperty_BitRate:
      read(&statedBitRate_, sizeof statedBitRate_);
      break;
    case kAudioFileStreamProperty_EstimatedDuration:
      read(&statedDuration_, sizeof statedDuration_);
      break;
    case kAudioFileStreamProperty_FormatList: {
      std::vector<std::uint8_t> list;
      if (!stream.getProperty(propertyID, &list)) {
        failWithErrorCode(StreamerError::FileStreamGetPropertyFailed);
        break;
      }
      // The first high-efficiency AAC entry (v2, then v1 order as listed) replaces the format.
      for (std::size_t at = 0; at + sizeof(AudioFormatListItem) <= list.size();
           at += sizeof(AudioFormatListItem)) {
        AudioFormatListItem item;
        std::memcpy(&item, list.data() + at, sizeof item);
        if (item.asbd.formatID == kAudioFormatMPEG4AAC_HE_V2 ||
            item.asbd.formatID == kAudioFormatMPEG4AAC_HE) {
          asbd_ = item.asbd;
          break;
        }
      }
      break;
    }
    default:
      break;
  }
}

void AudioStreamer::handleEndOfStream() {
  if (isFinishing()) return;
  if (bytesFilled_ != 0) {
    {
      std::lock_guard guard(lock_);
      if (state_ == StreamerState::WaitingForData) setStateLocked(StreamerState::FlushingAtEnd);
    }
    enqueueBuffer();
  } else {
    std::lock_guard guard(lock_);
    if (state_ == StreamerState::WaitingForData && buffersUsed_ > 0) {
      // Audio was queued but the ring never reached the start count, and no partial buffer is
      // left to carry the start: start with what is there.
      setStateLocked(StreamerState::FlushingAtEnd);
      startQueueLocked();
    }
  }
  std::lock_guard guard(lock_);
  if (state_ == StreamerState::WaitingForData) {
    // Not one packet of audio: the error is set directly, without failWithErrorCode's effects.
    errorCode_ = StreamerError::AudioDataNotFound;
    setStateLocked(StreamerState::Stopped);
    stopReason_ = StopReason::Error;
    return;
  }
  if (isFinishing() || !audioQueue_) {
    if (!isFinishing()) {
      setStateLocked(StreamerState::Stopped);
      stopReason_ = StopReason::EndOfStream;
    }
    return;
  }
  if (audioQueue_->flush()) {
    failLocked(StreamerError::AudioQueueFlushFailed);
    return;
  }
  // The queue was held after running dry, waiting for a full ring that will never come now: it
  // plays what is queued, and the stop below ends the track after it.
  if (state_ == StreamerState::Buffering && audioQueue_->start()) {
    failLocked(StreamerError::AudioQueueStartFailed);
    return;
  }
  // A track shorter than the start count: its output started just now, and the late report of
  // that start would find the player stopping. The listener hears it, so it is announced.
  if (state_ == StreamerState::WaitingForQueueStart) setStateLocked(StreamerState::Playing);
  setStateLocked(StreamerState::Stopping);
  stopReason_ = StopReason::EndOfStream;
  if (audioQueue_->stop(false)) failLocked(StreamerError::AudioQueueStopFailed);
}

}  // namespace tonvera
