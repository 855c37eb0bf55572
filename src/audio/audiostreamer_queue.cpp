// AudioStreamer's use of the output queue: the parser's properties, the queue and its 16
// buffers, packet copying, the enqueue/give-back protocol with its start rule, the running
// listener, the numbers the caller reads, and seeking.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audiostreamer.h"

namespace tonvera {

void AudioStreamer::handlePropertyChangeForFileStream(AudioFileStream& stream, std::uint32_t propertyID,
                                                      std::uint32_t* /*ioFlags*/) {
  std::lock_guard guard(lock_);
  if (isFinishing()) return;
  auto read = [&](void* out, std::uint32_t size) {
    std::uint32_t ioSize = size;
    err_ = stream.getProperty(propertyID, &ioSize, out);
    if (err_) failWithErrorCode(StreamerError::FileStreamGetPropertyFailed);
    return err_ == 0;
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

void AudioStreamer::createQueue() {
  std::lock_guard guard(lock_);
  const bool pure = fileTypeHint_ == kPureFileType;
  sampleRate_ = asbd_.sampleRate;
  packetDuration_ =
      pure ? durationMS_ / 1000.0 : (asbd_.sampleRate > 0 ? asbd_.framesPerPacket / asbd_.sampleRate : 0.0);
  numberOfChannels_ = asbd_.channelsPerFrame;

  std::unique_ptr<AudioQueue> queue;
  err_ = AudioQueue::newOutput(
      asbd_, [this](AudioQueue& q, AudioQueueBuffer* b) { handleBufferCompleteForQueue(q, b); }, &queue);
  audioQueue_ = std::move(queue);
  publishQueue();
  if (err_) {
    failWithErrorCode(StreamerError::AudioQueueCreationFailed);
    return;
  }
  err_ = audioQueue_->addPropertyListener(
      kAudioQueueProperty_IsRunning,
      [this](AudioQueue& q, std::uint32_t id) { handlePropertyChangeForQueue(q, id); });
  if (err_) {
    failWithErrorCode(StreamerError::AudioQueueAddListenerFailed);
    return;
  }

  if (pure) {
    packetBufferSize_ = kPureBufSize;
  } else if (vbr_) {
    std::uint32_t upperBound = 0;
    std::uint32_t size = sizeof upperBound;
    if (!audioFileStream_ ||
        audioFileStream_->getProperty(kAudioFileStreamProperty_PacketSizeUpperBound, &size, &upperBound) !=
            kAudioNoErr ||
        upperBound == 0) {
      upperBound = kAQDefaultBufSize;
    }
    packetBufferSize_ = upperBound;
  } else {
    packetBufferSize_ = kAQDefaultBufSize;
  }

  for (auto& buffer : audioQueueBuffer_) {
    err_ = audioQueue_->allocateBuffer(packetBufferSize_, &buffer);
    if (err_) {
      failWithErrorCode(StreamerError::AudioQueueBufferAllocationFailed);
      return;
    }
  }

  // The codec's configuration, when the format has one; silently skipped when it cannot be read.
  std::vector<std::uint8_t> cookie;
  if (!pure && audioFileStream_ &&
      audioFileStream_->getProperty(kAudioFileStreamProperty_MagicCookieData, &cookie)) {
    audioQueue_->setProperty(kAudioQueueProperty_MagicCookie, cookie.data(),
                             static_cast<std::uint32_t>(cookie.size()));
  }
}

bool AudioStreamer::beginPackets(bool withDescriptions) {
  std::lock_guard guard(lock_);
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
  if (fileTypeHint_ == kPureFileType) {
    handlePurePackets(data, numberBytes);
  } else {
    handleParsedPackets(data, numberBytes, numberPackets, packetDescriptions);
  }
}

void AudioStreamer::handleParsedPackets(const std::uint8_t* data, std::uint32_t numberBytes,
                                        std::uint32_t numberPackets,
                                        const AudioStreamPacketDescription* packetDescriptions) {
  if (!beginPackets(packetDescriptions != nullptr)) return;

  if (packetDescriptions) {
    for (std::uint32_t i = 0; i < numberPackets; ++i) {
      const std::int64_t offset = packetDescriptions[i].startOffset;
      const std::uint32_t size = packetDescriptions[i].dataByteSize;
      if (offset < 0 || offset > std::int64_t(numberBytes) || size > numberBytes - std::uint64_t(offset))
        continue;
      std::uint64_t spaceLeft = 0;
      {
        std::lock_guard guard(lock_);
        if (processedPacketsCount_ < kBitRateEstimationMaxPackets) {
          processedPacketsSizeTotal_ += size;
          ++processedPacketsCount_;
        }
        if (isFinishing()) return;
        if (size > packetBufferSize_) failWithErrorCode(StreamerError::AudioBufferTooSmall);
        spaceLeft = packetBufferSize_ - bytesFilled_;
      }
      if (spaceLeft < size) enqueueBuffer();
      {
        std::lock_guard guard(lock_);
        if (isFinishing()) return;
        if (bytesFilled_ + size > packetBufferSize_) return;
        AudioQueueBuffer* buffer = audioQueueBuffer_[fillBufferIndex_];
        std::memcpy(static_cast<std::uint8_t*>(buffer->audioData) + bytesFilled_, data + offset, size);
        AudioStreamPacketDescription& d = packetDescs_[packetsFilled_];
        d = packetDescriptions[i];
        d.startOffset = static_cast<std::int64_t>(bytesFilled_);
        bytesFilled_ += size;
        ++packetsFilled_;
      }
      std::uint64_t packets;
      {
        std::lock_guard guard(lock_);
        packets = packetsFilled_;
      }
      if (packets >= kAQMaxPacketDescs) enqueueBuffer();
    }
    // The estimate moves with every packet counted: the read-outs follow it chunk by chunk.
    publishReadouts();
    return;
  }

  // Constant bit rate, no descriptions: plain copies of at most kAQDefaultBufSize bytes.
  std::uint32_t offset = 0;
  std::uint32_t remaining = numberBytes;
  while (remaining > 0) {
    std::uint64_t spaceLeft;
    {
      std::lock_guard guard(lock_);
      spaceLeft = kAQDefaultBufSize - std::min<std::uint64_t>(bytesFilled_, kAQDefaultBufSize);
    }
    if (spaceLeft < remaining) enqueueBuffer();
    {
      std::lock_guard guard(lock_);
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
    }
    enqueueBuffer();
  }
}

void AudioStreamer::enqueueBuffer() {
  int wanted = 1;
  {
    std::lock_guard guard(lock_);
    if (isFinishing() || !stream_ || !audioQueue_) return;
    {
      std::lock_guard buffers(queueBuffersMutex_);
      inuse_[fillBufferIndex_] = true;
      ++buffersUsed_;
    }
    AudioQueueBuffer* buffer = audioQueueBuffer_[fillBufferIndex_];
    const bool pure = fileTypeHint_ == kPureFileType;
    buffer->audioDataByteSize = pure ? kPureBufSize : static_cast<std::uint32_t>(bytesFilled_);
    if (packetsFilled_ && !pure && vbr_) {
      err_ =
          audioQueue_->enqueueBuffer(buffer, static_cast<std::uint32_t>(packetsFilled_), packetDescs_.data());
    } else {
      err_ = audioQueue_->enqueueBuffer(buffer, 0, nullptr);
    }
    if (err_) {
      failWithErrorCode(StreamerError::AudioQueueEnqueueFailed);
      return;
    }

    const StreamerState s = state_;
    bool startNow = false;
    bool filling = false;  // the queue waits for the ring to fill: nothing comes back meanwhile
    if (s == StreamerState::FlushingAtEnd) {
      startNow = true;
    } else if (s == StreamerState::WaitingForData || s == StreamerState::Buffering ||
               (s == StreamerState::Stopped && stopReason_ == StopReason::Temporary)) {
      startNow = buffersUsed_ == kBuffersToStart;
      filling = !startNow;
    }
    if (startNow) startQueue();

    if (++fillBufferIndex_ >= kNumAQBufs) fillBufferIndex_ = 0;
    bytesFilled_ = 0;
    packetsFilled_ = 0;
    wanted = filling ? 1 : kRefillBatch;
  }
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

void AudioStreamer::startQueue() {
  std::lock_guard guard(lock_);
  if (!audioQueue_) return;
  queuePausedByCaller_ = false;
  if (state_ == StreamerState::Buffering) {
    err_ = audioQueue_->start();
    if (err_) {
      failWithErrorCode(StreamerError::AudioQueueStartFailed);
      return;
    }
    setState(StreamerState::Playing);
  } else {
    publishReadouts();
    setState(StreamerState::WaitingForQueueStart);
    // The fade-in rises from silence: a new queue's volume is 1.0, and its first buffer would
    // otherwise sound at full volume before the fade's first step. Both are asked for before the
    // queue runs, so that its first sample is the ramp's first step.
    audioQueue_->setParameter(kAudioQueueParam_Volume, 0.0f);
    fadein();
    err_ = audioQueue_->start();
    if (err_) failWithErrorCode(StreamerError::AudioQueueStartFailed);
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
    setState(StreamerState::Playing);
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
    setState(StreamerState::Stopped);
  }
}

// ---- numbers ----

void AudioStreamer::publishQueue() { clockQueue_.store(audioQueue_); }

double AudioStreamer::calculatedBitRate() { return calculatedBitRate_; }
double AudioStreamer::duration() { return duration_; }

void AudioStreamer::publishReadouts() {
  std::lock_guard guard(lock_);
  const double rate = estimateBitRate();
  calculatedBitRate_ = rate;
  if (fileTypeHint_ == kPureFileType) {
    duration_ = durationMS_ / 1000.0;
  } else {
    duration_ = rate == 0.0 || fileLength_ == 0 ? 0.0 : double(fileLength_ - dataOffset_) / (rate * 0.125);
  }
}

double AudioStreamer::estimateBitRate() {
  std::lock_guard guard(lock_);
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
      failWithErrorCode(StreamerError::GetAudioTimeFailed);
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
  if (!audioQueue_) return false;
  std::uint32_t on = 0;
  std::uint32_t size = sizeof on;
  return audioQueue_->getProperty(kAudioQueueProperty_EnableLevelMetering, &on, &size) == kAudioNoErr &&
         on == 1;
}

void AudioStreamer::setMeteringEnabled(bool enabled) {
  std::lock_guard guard(lock_);
  if (!audioQueue_ || enabled == isMeteringEnabled()) return;
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
  if (!isMeteringEnabled() || channel >= numberOfChannels_) return 0.0f;
  return levelOf(audioQueue_.get(), numberOfChannels_, channel, true);
}

float AudioStreamer::averagePowerForChannel(std::uint32_t channel) {
  std::lock_guard guard(lock_);
  if (!isMeteringEnabled() || channel >= numberOfChannels_) return 0.0f;
  return levelOf(audioQueue_.get(), numberOfChannels_, channel, false);
}

// ---- seeking ----

void AudioStreamer::internalSeekToTime(double seconds) {
  std::lock_guard guard(lock_);
  publishReadouts();
  const double bitRate = estimateBitRate();
  // The reply came without a length: no byte can be computed for a time, ever. Dropped.
  if (fileLength_ <= 0 && replyRead_) return;
  if (bitRate == 0.0 || fileLength_ <= 0 || (fileTypeHint_ != kPureFileType && !(duration_ > 0))) {
    // No format, bit rate or length yet: the seek waits until they are known.
    seekWasRequested_ = true;
    return;
  }
  if (!(seconds >= 0)) seconds = 0;

  // Where the clock starts again; published once the old queue's clock has stopped, so that
  // progress() never adds the new time to the old clock.
  double seekTime = seconds;
  if (fileTypeHint_ == kPureFileType) {
    pureSeekOffset(seconds);
  } else {
    const double length = duration_;
    std::int64_t offset =
        dataOffset_ + static_cast<std::int64_t>(seconds / length * double(fileLength_ - dataOffset_));
    offset = std::min<std::int64_t>(offset, fileLength_ - 2 * static_cast<std::int64_t>(packetBufferSize_));
    seekByteOffset_ = std::max<std::int64_t>(offset, 0);
    if (packetDuration_ > 0 && bitRate > 0 && audioFileStream_) {
      const auto packet = static_cast<std::int64_t>(std::floor(seconds / packetDuration_));
      std::int64_t packetOffset = 0;
      std::uint32_t flags = 0;
      if (audioFileStream_->seek(packet, &packetOffset, &flags) == kAudioNoErr &&
          !(flags & kAudioFileStreamSeekFlag_OffsetIsEstimated)) {
        seekTime -= double(seekByteOffset_ - dataOffset_ - packetOffset) * 8.0 / bitRate;
        seekByteOffset_ = packetOffset + dataOffset_;
      }
    }
  }

  // A seek opens the stream anew: a pending reconnection is answered by it.
  reConnect_ = false;
  reconnectTimes_ = 0;
  closeReadStream();
  togglePause();
  setState(StreamerState::Stopping);
  stopReason_ = StopReason::Temporary;
  if (audioQueue_) {
    err_ = audioQueue_->stop(true);
    if (err_) {
      failWithErrorCode(StreamerError::AudioQueueStopFailed);
      return;
    }
  }
  seekTime_ = seekTime;
  if (fileTypeHint_ != kPureFileType) {
    // Packets copied into the buffer being filled belong to the old position: played after the
    // seek they would repeat a moment of audio from before it.
    bytesFilled_ = 0;
    packetsFilled_ = 0;
  }
  openReadStream();
  fadein();
}

}  // namespace tonvera
