// AudioStreamer's internal thread: its loop, the data-stall watchdog, reconnection and clean-up.
#include <thread>

#include "audio/audiostreamer.h"
#include "platform/serialqueue.h"

namespace tonvera {

void AudioStreamer::startInternal() {
  setCurrentThreadName("InternalThread");
  internalThreadId_ = std::this_thread::get_id();
  {
    std::lock_guard guard(lock_);
    if (state_ != StreamerState::StartingThread) {
      // A stop came before the thread ran.
      setStateLocked(StreamerState::Idle);
      return;
    }
  }
  setInternalRunLoop(&RunLoop::current());
  {
    std::lock_guard buffers(queueBuffersMutex_);
    inuse_.fill(false);
    buffersUsed_ = 0;
  }

  bool opened = false;
  for (int attempt = 0; attempt < kOpenTries && !opened; ++attempt) opened = openReadStream();

  while (opened) {
    const bool ranAtAll = RunLoop::current().runInMode(kRunLoopSeconds) != RunLoop::Result::Finished;
    if (state() == StreamerState::Stopped) break;
    if (!afterPass()) break;

    bool reopening = false;
    const auto now = this->now();
    if (!reConnect_ || !input_->reopens()) {
      // nothing to reopen
    } else if (outageSince_ && now - *outageSince_ >= options_.outageLimit) {
      // The stream could not be had again in time: the track ends with the network's error.
      reConnect_ = false;
      failWithErrorCode(StreamerError::NetworkConnectionFailed);
      break;
    } else if (now >= nextReconnectAt_) {
      reconnect();
    }
    reopening = reConnect_;

    if (!ranAtAll && reopening) {
      // No stream to wait on (a reopen could not even be started): the next try comes after the
      // back-off; a stop is seen within one wait.
      std::this_thread::sleep_for(std::chrono::duration<double>(kRunLoopSeconds));
      continue;
    }
    if (!ranAtAll || runLoopShouldExit()) break;
  }
  cleanUp();
}

bool AudioStreamer::afterPass() {
  takeQueueReport();
  publishReadouts();
  if (bufferMismatch_.exchange(false)) failWithErrorCode(StreamerError::AudioQueueBufferMismatch);
  if (clockFailed_.exchange(false)) failWithErrorCode(StreamerError::GetAudioTimeFailed);
  // A resume: a stream lost while paused is reopened (its back-off may already run).
  if (resumed_.exchange(false) && input_->reopens() &&
      (!stream_ || stream_->status() == ReadStreamStatus::Closed || stream_->status() == ReadStreamStatus::Error)) {
    reConnect_ = true;
  }

  // Data-stall watchdog: nothing from the network for too long re-requests the stream from the
  // position heard. Files are read without the network and never stall; a lost connection is
  // the reopening's business, which continues at the next byte.
  if (input_->reopens()) {
    const auto now = this->now();
    if (reConnect_ || outageSince_) {
      lastRecivedTime_ = now;
    } else if (!lastRecivedTime_) {
      lastRecivedTime_ = now;  // starts the clock
    } else if (now - *lastRecivedTime_ > options_.dataStallLimit) {
      lastRecivedTime_ = now;
      if (streamLength_ > 0 && seekByteOffset_ > 0) {
        // A connection that went silent is a lost one: reopened at the next byte, with no jump
        // in the audio.
        connectionLost();
      } else {
        progress();  // brings lastProgress_ up to what was heard
        seekToTime(lastProgress_);
      }
    }
  }

  if (seekWasRequested_.exchange(false)) {
    // A seek that cannot be done yet (asked before the bit rate or the length is known) stays
    // requested and is done on a later pass, instead of being lost.
    internalSeekToTime(requestedSeekTime_);
  }

  // Underrun: the queue ran dry while playing; hold it until enough buffers are queued again.
  std::lock_guard guard(lock_);
  if (buffersUsed_ == 0 && state_ == StreamerState::Playing && audioQueue_) {
    if (audioQueue_->pause()) {
      failLocked(StreamerError::AudioQueuePauseFailed);
      return false;
    }
    setStateLocked(StreamerState::Buffering);
  }
  return true;
}

// One reopen of the stream after it was lost. The player keeps its state meanwhile (never Idle,
// which tells the caller that the track is over): what is queued plays on, and the internal loop
// holds the queue in Buffering when it runs dry. After a reply with a length the new request
// continues at the first byte not yet read, and the parser and the decoder go on as if nothing had
// happened (a frame cut by the loss is completed by the new bytes); without one it starts from the
// beginning with a new parser (no range can be asked of such a server), which reads the format's
// header again.
void AudioStreamer::reconnect() {
  if (!outageSince_) outageSince_ = now();
  closeReadStream();
  const bool continuing = streamLength_ > 0 && seekByteOffset_ > 0;
  if (!continuing) {
    if (audioFileStream_ && audioFileStream_->close() != kAudioNoErr) {
      failWithErrorCode(StreamerError::FileStreamCloseFailed);
    }
    audioFileStream_.reset();
    {
      std::lock_guard guard(lock_);
      httpHeaders_.clear();
    }
    replyRead_ = false;
    seekByteOffset_ = 0;
  }
  continuingStream_ = true;
  const bool opened = openReadStream();
  continuingStream_ = false;
  if (!opened) {
    connectionLost();
    return;
  }
  // The new request's answer (bytes, a refusal, a lost connection) decides what comes next.
  reConnect_ = false;
}

void AudioStreamer::cleanUp() {
  closeReadStream();
  if (audioFileStream_) {
    if (audioFileStream_->close() != kAudioNoErr) failWithErrorCode(StreamerError::FileStreamCloseFailed);
    audioFileStream_.reset();
  }
  std::shared_ptr<AudioQueue> queue;
  {
    std::lock_guard guard(lock_);
    queue = std::move(audioQueue_);
  }
  clockQueue_.store(nullptr);
  // Disposing waits for the queue's thread: done without lock_, which the controls take. The
  // buffers go with the queue.
  if (queue && queue->dispose() != kAudioNoErr) failWithErrorCode(StreamerError::AudioQueueDisposeFailed);
  queue.reset();
  {
    std::lock_guard buffers(queueBuffersMutex_);
    inuse_.fill(false);
    buffersUsed_ = 0;
  }
  audioQueueBuffer_.fill(nullptr);
  replyRead_ = false;
  bytesFilled_ = 0;
  packetsFilled_ = 0;
  seekByteOffset_ = 0;
  packetBufferSize_ = 0;
  fillBufferIndex_ = 0;
  setInternalRunLoop(nullptr);
  std::lock_guard guard(lock_);
  httpHeaders_.clear();
  setStateLocked(StreamerState::Idle);
}

}  // namespace tonvera
