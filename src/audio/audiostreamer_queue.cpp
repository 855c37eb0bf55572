// AudioStreamer's use of the output queue: the queue and its 16 buffers, packet copying, the
// enqueue/give-back protocol with its start rule, the running listener, the numbers the caller
// reads, and seeking.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audiostreamer.h"

namespace tonvera {

void AudioStreamer::createQueue() {
  sampleRate_ = asbd_.sampleRate;
  packetDuration_ = asbd_.sampleRate > 0 ? asbd_.framesPerPacket / asbd_.sampleRate : 0.0;
  numberOfChannels_ = asbd_.channelsPerFrame;

  std::unique_ptr<AudioQueue> made;
  const AudioStatus status = AudioQueue::newOutput(
      asbd_, [this](AudioQueue& q, AudioQueueBuffer* b) { handleBufferCompleteForQueue(q, b); }, &made);
  std::shared_ptr<AudioQueue> queue = std::move(made);
  {
    std::lock_guard guard(lock_);
    audioQueue_ = queue;
  }
  clockQueue_.store(queue);
  if (status) {
    failWithErrorCode(StreamerError::AudioQueueCreationFailed);
    return;
  }
  if (queue->addPropertyListener(kAudioQueueProperty_IsRunning,
                                 [this](AudioQueue& q, std::uint32_t id) { handlePropertyChangeForQueue(q, id); })) {
    failWithErrorCode(StreamerError::AudioQueueAddListenerFailed);
    return;
  }

  packetBufferSize_ = kAQDefaultBufSize;
  if (vbr_) {
    std::uint32_t upperBound = 0;
    std::uint32_t size = sizeof upperBound;
    if (audioFileStream_ &&
        audioFileStream_->getProperty(kAudioFileStreamProperty_PacketSizeUpperBound, &size, &upperBound) ==
            kAudioNoErr &&
        upperBound != 0) {
      packetBufferSize_ = upperBound;
    }
  }
  for (auto& buffer : audioQueueBuffer_) {
    if (queue->allocateBuffer(packetBufferSize_, &buffer)) {
      failWithErrorCode(StreamerError::AudioQueueBufferAllocationFailed);
      return;
    }
  }

  // The codec's configuration, when the format has one; silently skipped when it cannot be read.
  std::vector<std::uint8_t> cookie;
  if (audioFileStream_ && audioFileStream_->getProperty(kAudioFileStreamProperty_MagicCookieData, &cookie)) {
    queue->setProperty(kAudioQueueProperty_MagicCookie, cookie.data(), static_cast<std::uint32_t>(cookie.size()));
  }
}

bool AudioStreamer::beginPackets(bool withDescriptions) {
  if (isFinishing()) return false;
  // All bits set: tells the caller that audio has arrived.
  if (bitRate_ == 0) bitRate_ = 0xFFFFFFFFu;
  discontinuous_ = false;
  if (!audioQueue_) {
    vbr_ = withDescriptions;
    createQueue();
  }
  return !isFinishing() && audioQueue_;
}

void AudioStreamer::handleAudioPackets(const std::uint8_t* data, std::uint32_t numberBytes,
                                       std::uint32_t numberPackets,
                                       const AudioStreamPacketDescription* packetDescriptions) {
  if (!beginPackets(packetDescriptions != nullptr)) return;

  if (packetDescriptions) {
    for (std::uint32_t i = 0; i < numberPackets; ++i) {
      const std::int64_t offset = packetDescriptions[i].startOffset;
      const std::uint32_t size = packetDescriptions[i].dataByteSize;
      if (offset < 0 || offset > std::int64_t(numberBytes) || size > numberBytes - std::uint64_t(offset))
        continue;
      if (processedPacketsCount_ < kBitRateEstimationMaxPackets) {
        processedPacketsSizeTotal_ += size;
        ++processedPacketsCount_;
      }
      if (isFinishing()) return;
      if (size > packetBufferSize_) failWithErrorCode(StreamerError::AudioBufferTooSmall);
      if (packetBufferSize_ - bytesFilled_ < size) enqueueBuffer();
      if (isFinishing()) return;
      if (bytesFilled_ + size > packetBufferSize_) return;
      AudioQueueBuffer* buffer = audioQueueBuffer_[fillBufferIndex_];
      std::memcpy(static_cast<std::uint8_t*>(buffer->audioData) + bytesFilled_, data + offset, size);
      AudioStreamPacketDescription& d = packetDescs_[packetsFilled_];
      d = packetDescriptions[i];
      d.startOffset = static_cast<std::int64_t>(bytesFilled_);
      bytesFilled_ += size;
      ++packetsFilled_;
      if (packetsFilled_ >= kAQMaxPacketDescs) enqueueBuffer();
    }
    // The estimate moves with every packet counted: the read-outs follow it chunk by chunk.
    publishReadouts();
    return;
  }

  // Constant bit rate, no descriptions: plain copies of at most kAQDefaultBufSize bytes.
  std::uint32_t offset = 0;
  std::uint32_t remaining = numberBytes;
  while (remaining > 0) {
    std::uint64_t spaceLeft = kAQDefaultBufSize - std::min<std::uint64_t>(bytesFilled_, kAQDefaultBufSize);
    if (spaceLeft < remaining) enqueueBuffer();
    if (isFinishing()) return;
    if (bytesFilled_ >= packetBufferSize_) return;
    spaceLeft = std::min<std::uint64_t>(kAQDefaultBufSize, packetBufferSize_) - bytesFilled_;
    const std::uint32_t copy = static_cast<std::uint32_t>(std::min<std::uint64_t>(spaceLeft, remaining));
    AudioQueueBuffer* buffer = audioQueueBuffer_[fillBufferIndex_];
    std::memcpy(static_cast<std::uint8_t*>(buffer->audioData) + bytesFilled_, data + offset, copy);
    bytesFilled_ += copy;
    ++packetsFilled_;
    remaining -= copy;
    offset += copy;
    enqueueBuffer();
  }
}

void AudioStreamer::enqueueBuffer() {
  bool filling = false;  // the queue waits for the ring to fill: nothing comes back meanwhile
  {
    // Under lock_: a stop comes either before (nothing is enqueued) or after (it gives the
    // buffer back).
    std::lock_guard guard(lock_);
    if (isFinishing() || !stream_ || !audioQueue_) return;
    {
      std::lock_guard buffers(queueBuffersMutex_);
      inuse_[fillBufferIndex_] = true;
      ++buffersUsed_;
    }
    AudioQueueBuffer* buffer = audioQueueBuffer_[fillBufferIndex_];
    buffer->audioDataByteSize = static_cast<std::uint32_t>(bytesFilled_);
    const bool described = packetsFilled_ && vbr_;
    if (audioQueue_->enqueueBuffer(buffer, described ? static_cast<std::uint32_t>(packetsFilled_) : 0,
                                   described ? packetDescs_.data() : nullptr)) {
      failLocked(StreamerError::AudioQueueEnqueueFailed);
      return;
    }
    const StreamerState s = state_;
    bool startNow = false;
    if (s == StreamerState::FlushingAtEnd) {
      startNow = true;
    } else if (s == StreamerState::WaitingForData || s == StreamerState::Buffering ||
               (s == StreamerState::Stopped && stopReason_ == StopReason::Temporary)) {
      startNow = buffersUsed_ == kBuffersToStart;
      filling = !startNow;
    }
    if (startNow) startQueueLocked();
  }
  if (++fillBufferIndex_ >= kNumAQBufs) fillBufferIndex_ = 0;
  bytesFilled_ = 0;
  packetsFilled_ = 0;
  const int wanted = filling ? 1 : kRefillBatch;

  // Waits for the next buffer with the player's lock released, so that the queue's thread never
  // waits for this one. Once the ring is full and the queue plays, the wait lasts until a batch
  // of buffers is free, which are then filled one after the other: the give-backs before that do
  // not wake this thread.
  // Running reports of the queue that come meanwhile are taken up while waiting.
  std::unique_lock buffers(queueBuffersMutex_);
  const std::uint32_t next = fillBufferIndex_;
  if (!inuse_[next]) return;
  refillWanted_ = wanted;
  for (;;) {
    queueBufferReadyCondition_.wait(buffers, [&] {
      return queueRunningReported_ || (!inuse_[next] && kNumAQBufs - buffersUsed_.load() >= refillWanted_);
    });
    if (!queueRunningReported_) break;
    buffers.unlock();
    takeQueueReport();
    buffers.lock();
  }
  refillWanted_ = 0;
}

void AudioStreamer::startQueueLocked() {
  if (!audioQueue_) return;
  queuePausedByCaller_ = false;
  if (state_ == StreamerState::Buffering) {
    if (audioQueue_->start()) {
      failLocked(StreamerError::AudioQueueStartFailed);
      return;
    }
    setStateLocked(StreamerState::Playing);
  } else {
    publishReadouts();
    setStateLocked(StreamerState::WaitingForQueueStart);
    // The fade-in rises from silence: a new queue's volume is 1.0, and its first buffer would
    // otherwise sound at full volume before the fade's first step. Both are asked for before the
    // queue runs, so that its first sample is the ramp's first step.
    audioQueue_->setParameter(kAudioQueueParam_Volume, 0.0f);
    fadeinLocked();
    if (audioQueue_->start()) failLocked(StreamerError::AudioQueueStartFailed);
  }
}

void AudioStreamer::handleBufferCompleteForQueue(AudioQueue& /*queue*/, AudioQueueBuffer* buffer) {
  int index = -1;
  for (int i = 0; i < kNumAQBufs; ++i) {
    if (audioQueueBuffer_[static_cast<std::size_t>(i)] == buffer) {
      index = i;
      break;
    }
  }
  bool wake = false;
  {
    std::lock_guard buffers(queueBuffersMutex_);
    if (index >= 0) {
      inuse_[static_cast<std::size_t>(index)] = false;
      --buffersUsed_;
    } else {
      bufferMismatch_ = true;
    }
    // The filler is woken only once there is as much room as it waits for (every give-back when
    // it is not waiting: it may be about to).
    wake = kNumAQBufs - buffersUsed_.load() >= refillWanted_;
  }
  // Told after the lock is let go: the internal thread wakes once and finds the mutex free,
  // instead of waking only to wait for this thread's unlock.
  if (wake) queueBufferReadyCondition_.notify_all();
}

// The queue's thread only publishes the report and wakes the internal thread, wherever it waits
// (its loop, or a free buffer): the state changes there.
void AudioStreamer::handlePropertyChangeForQueue(AudioQueue& /*queue*/, std::uint32_t propertyID) {
  if (propertyID != kAudioQueueProperty_IsRunning) return;
  {
    std::lock_guard buffers(queueBuffersMutex_);
    queueRunningReported_ = true;
  }
  queueBufferReadyCondition_.notify_all();
  wakeInternalThread();
}

void AudioStreamer::takeQueueReport() {
  {
    std::lock_guard buffers(queueBuffersMutex_);
    if (!queueRunningReported_) return;
    queueRunningReported_ = false;
  }
  std::lock_guard guard(lock_);
  if (state_ == StreamerState::WaitingForQueueStart) {
    setStateLocked(StreamerState::Playing);
  } else if (state_ == StreamerState::Stopping || state_ == StreamerState::Stopped) {
    // Reports are taken late: the report of a start made just before an end-of-stream stop (a
    // track shorter than the ring) must not end the track while the queue still plays what is
    // queued; only a report while the queue is stopped does.
    std::uint32_t running = 0;
    std::uint32_t size = sizeof running;
    if (audioQueue_ &&
        audioQueue_->getProperty(kAudioQueueProperty_IsRunning, &running, &size) == kAudioNoErr &&
        running != 0) {
      return;
    }
    setStateLocked(StreamerState::Stopped);
  }
}

// ---- numbers ----

double AudioStreamer::calculatedBitRate() { return calculatedBitRate_; }
double AudioStreamer::duration() { return duration_; }

void AudioStreamer::publishReadouts() {
  const double rate = estimateBitRate();
  calculatedBitRate_ = rate;
  if (statedDuration_ > 0) {
    duration_ = statedDuration_;
  } else {
    duration_ = rate == 0.0 || fileLength_ == 0 ? 0.0 : double(fileLength_ - dataOffset_) / (rate * 0.125);
  }
}

double AudioStreamer::estimateBitRate() {
  if (statedBitRate_ > 0) {
    bitRate_ = statedBitRate_;
    return statedBitRate_;
  }
  if (vbr_) {
    if (packetDuration_ > 0 && processedPacketsCount_ > kBitRateEstimationMinPackets) {
      const double averagePacketBytes = double(processedPacketsSizeTotal_ / processedPacketsCount_);
      return averagePacketBytes * 8.0 / packetDuration_;
    }
    // All bits set only marks that audio has arrived; taken as a rate it would make the duration
    // about 0 and send every seek to the end of the file. Until the estimate stands the rate is
    // unknown, and seeks wait.
    return bitRate_ == 0xFFFFFFFFu ? 0.0 : double(bitRate_);
  }
  const double rate = 8.0 * asbd_.sampleRate * asbd_.bytesPerPacket * asbd_.framesPerPacket;
  bitRate_ = rate >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rate);
  return rate;
}

// From the published queue's clock, without lock_: a seek or a reopen holding it never delays the
// caller's tick.
double AudioStreamer::progress() {
  const double sampleRate = sampleRate_;
  const StreamerState s = state_;
  // At the end of the stream the queue still plays what it holds (up to the whole ring): the clock
  // goes on until the queue has stopped, so the readout and the lyrics do not freeze before the end.
  const bool draining = s == StreamerState::Stopping && stopReason_ == StopReason::EndOfStream;
  if (!(sampleRate > 0) || (isFinishing() && !draining)) return lastProgress_;
  if (s == StreamerState::Playing || s == StreamerState::Buffering || s == StreamerState::Paused || draining) {
    const std::shared_ptr<AudioQueue> queue = clockQueue_.load();
    if (!queue) return lastProgress_;
    double sampleTime = 0;
    const AudioStatus status = queue->getCurrentTime(&sampleTime);
    // A queue stopped, or disposed of by the clean-up meanwhile: the last value stands.
    if (status == kAudioQueueErrStopped || status == kAudioQueueErrDisposed) return lastProgress_;
    if (status) {
      // Recorded by the internal thread: a read-out takes no lock.
      clockFailed_ = true;
      wakeInternalThread();
      return lastProgress_;
    }
    const double progress = std::max(0.0, sampleTime / sampleRate + seekTime_);
    lastProgress_ = progress;
    return progress;
  }
  if (s == StreamerState::WaitingForData || s == StreamerState::WaitingForQueueStart) return -1.0;
  return lastProgress_;
}

double AudioStreamer::bufferFillPercentage() { return double(buffersUsed_.load()) / double(kBuffersToStart); }

bool AudioStreamer::isMeteringEnabled() {
  std::lock_guard guard(lock_);
  return isMeteringEnabledLocked();
}

bool AudioStreamer::isMeteringEnabledLocked() {
  if (!audioQueue_) return false;
  std::uint32_t on = 0;
  std::uint32_t size = sizeof on;
  return audioQueue_->getProperty(kAudioQueueProperty_EnableLevelMetering, &on, &size) == kAudioNoErr &&
         on == 1;
}

void AudioStreamer::setMeteringEnabled(bool enabled) {
  std::lock_guard guard(lock_);
  if (!audioQueue_ || enabled == isMeteringEnabledLocked()) return;
  const std::uint32_t on = enabled ? 1 : 0;
  audioQueue_->setProperty(kAudioQueueProperty_EnableLevelMetering, &on, sizeof on);
}

namespace {
float levelOf(AudioQueue* queue, std::uint32_t channels, std::uint32_t channel, bool peak) {
  std::vector<AudioQueueLevelMeterState> levels(channels);
  std::uint32_t size = static_cast<std::uint32_t>(levels.size() * sizeof(AudioQueueLevelMeterState));
  if (queue->getProperty(kAudioQueueProperty_CurrentLevelMeter, levels.data(), &size) != kAudioNoErr)
    return 0.0f;
  if (size < (channel + 1) * sizeof(AudioQueueLevelMeterState)) return 0.0f;
  return peak ? levels[channel].peakPower : levels[channel].averagePower;
}
}  // namespace

float AudioStreamer::peakPowerForChannel(std::uint32_t channel) {
  std::lock_guard guard(lock_);
  if (!isMeteringEnabledLocked() || channel >= numberOfChannels_) return 0.0f;
  return levelOf(audioQueue_.get(), numberOfChannels_, channel, true);
}

float AudioStreamer::averagePowerForChannel(std::uint32_t channel) {
  std::lock_guard guard(lock_);
  if (!isMeteringEnabledLocked() || channel >= numberOfChannels_) return 0.0f;
  return levelOf(audioQueue_.get(), numberOfChannels_, channel, false);
}

// ---- seeking ----

void AudioStreamer::internalSeekToTime(double seconds) {
  publishReadouts();
  const double bitRate = estimateBitRate();
  // The reply came without a length: no byte can be computed for a time, ever. Dropped.
  if (fileLength_ <= 0 && replyRead_) return;
  if (bitRate == 0.0 || fileLength_ <= 0 || !(duration_ > 0)) {
    // No format, bit rate or length yet: the seek waits until they are known.
    seekWasRequested_ = true;
    return;
  }
  if (!(seconds >= 0)) seconds = 0;

  // Where the clock starts again; published once the old queue's clock has stopped, so that
  // progress() never adds the new time to the old clock.
  double seekTime = seconds;
  const double length = duration_;
  std::int64_t offset =
      dataOffset_ + static_cast<std::int64_t>(seconds / length * double(fileLength_ - dataOffset_));
  offset = std::min<std::int64_t>(offset, fileLength_ - 2 * static_cast<std::int64_t>(packetBufferSize_));
  seekByteOffset_ = std::max<std::int64_t>(offset, 0);
  if (packetDuration_ > 0 && audioFileStream_) {
    const auto packet = static_cast<std::int64_t>(std::floor(seconds / packetDuration_));
    std::int64_t packetOffset = 0;
    std::uint32_t flags = 0;
    if (audioFileStream_->seek(packet, &packetOffset, &flags) == kAudioNoErr &&
        !(flags & kAudioFileStreamSeekFlag_OffsetIsEstimated)) {
      if (!(flags & kAudioFileStreamSeekFlag_KeepsRequestedTime)) {
        seekTime -= double(seekByteOffset_ - dataOffset_ - packetOffset) * 8.0 / bitRate;
      }
      seekByteOffset_ = packetOffset + dataOffset_;
      const std::int64_t packetBytes = asbd_.bytesPerPacket;
      if (packetBytes > 0 && seekByteOffset_ + packetBytes > fileLength_) {
        // Past the last whole packet (a header may promise more than the stream holds, and a seek
        // to the very end lands there): the last whole packet instead. A range beyond the end
        // would be refused, and the refusal's text must never be decoded as audio.
        const std::int64_t packets = (fileLength_ - dataOffset_) / packetBytes;
        seekByteOffset_ = dataOffset_ + std::max<std::int64_t>(packets - 1, 0) * packetBytes;
      }
    }
  }

  // A seek opens the stream anew: a pending reconnection is answered by it.
  reConnect_ = false;
  reconnectTimes_ = 0;
  closeReadStream();
  {
    std::lock_guard guard(lock_);
    fadeoutLocked();
    setStateLocked(StreamerState::Stopping);
    stopReason_ = StopReason::Temporary;
    if (audioQueue_ && audioQueue_->stop(true)) {
      failLocked(StreamerError::AudioQueueStopFailed);
      return;
    }
  }
  seekTime_ = seekTime;
  // Packets copied into the buffer being filled belong to the old position: played after the
  // seek they would repeat a moment of audio from before it.
  bytesFilled_ = 0;
  packetsFilled_ = 0;
  openReadStream();
  fadein();
}

}  // namespace tonvera
