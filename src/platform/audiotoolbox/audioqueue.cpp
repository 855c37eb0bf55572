#include "platform/audiotoolbox/audioqueue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/audiotoolbox/audiodecoder.h"
#include "platform/audiotoolbox/audiosink.h"
#include "platform/serialqueue.h"

namespace tonvera {

namespace {
// PCM is handed to the sink in pieces of at most this many frames, so that a stop cuts in quickly.
constexpr std::size_t kWriteFrames = 1024;
// The output thread decodes up to this much audio in one stretch before writing it.
constexpr double kDecodeAheadSeconds = 0.25;
std::atomic<std::uint64_t> queueSerials{0};
std::atomic<AudioQueue::SampleWatcher> sampleWatcher{nullptr};
}  // namespace

void AudioQueue::setSampleWatcher(SampleWatcher watcher) { sampleWatcher.store(watcher); }
std::uint64_t AudioQueue::lastQueueSerial() { return queueSerials.load(); }

struct AudioQueue::BufferSlot {
  explicit BufferSlot(std::uint32_t capacity)
      : storage(new std::uint8_t[capacity ? capacity : 1]()), buffer(capacity, storage.get()) {}
  std::unique_ptr<std::uint8_t[]> storage;
  AudioQueueBuffer buffer;
  std::vector<AudioStreamPacketDescription> descriptions;
  bool queued = false;
};

AudioStatus AudioQueue::newOutput(const AudioStreamBasicDescription& format, OutputCallback callback,
                                  std::unique_ptr<AudioQueue>* out) {
  if (!out) return kAudioErrInvalidParameter;
  out->reset();
  if (format.sampleRate <= 0 || format.channelsPerFrame == 0 || !AudioDecoder::canDecode(format)) {
    return kAudioQueueErrInvalidFormat;
  }
  std::unique_ptr<AudioQueue> queue(new AudioQueue(format, std::move(callback)));
  queue->levels_.resize(format.channelsPerFrame);
  queue->thread_ = std::thread([q = queue.get()] { q->run(); });
  *out = std::move(queue);
  return kAudioNoErr;
}

AudioQueue::AudioQueue(const AudioStreamBasicDescription& format, OutputCallback callback)
    : format_(format), callback_(std::move(callback)), serial_(++queueSerials) {}

AudioQueue::~AudioQueue() { dispose(); }

AudioStatus AudioQueue::addPropertyListener(std::uint32_t propertyID, PropertyListener listener) {
  if (propertyID != kAudioQueueProperty_IsRunning || !listener) return kAudioErrInvalidParameter;
  std::lock_guard lock(mutex_);
  if (disposed_) return kAudioQueueErrDisposed;
  runningListeners_.push_back(std::move(listener));
  return kAudioNoErr;
}

AudioStatus AudioQueue::allocateBuffer(std::uint32_t capacity, AudioQueueBuffer** out) {
  if (!out) return kAudioErrInvalidParameter;
  std::lock_guard lock(mutex_);
  if (disposed_) return kAudioQueueErrDisposed;
  auto slot = std::make_unique<BufferSlot>(capacity);
  slot->descriptions.reserve(512);
  *out = &slot->buffer;
  slots_.push_back(std::move(slot));
  return kAudioNoErr;
}

AudioQueue::BufferSlot* AudioQueue::slotFor(AudioQueueBuffer* buffer) {
  for (auto& slot : slots_) {
    if (&slot->buffer == buffer) return slot.get();
  }
  return nullptr;
}

AudioStatus AudioQueue::freeBuffer(AudioQueueBuffer* buffer) {
  std::lock_guard lock(mutex_);
  BufferSlot* slot = slotFor(buffer);
  if (!slot || slot->queued) return kAudioQueueErrInvalidBuffer;
  slots_.erase(std::find_if(slots_.begin(), slots_.end(), [slot](const auto& s) { return s.get() == slot; }));
  return kAudioNoErr;
}

AudioStatus AudioQueue::enqueueBuffer(AudioQueueBuffer* buffer, std::uint32_t count,
                                      const AudioStreamPacketDescription* descriptions) {
  std::lock_guard lock(mutex_);
  if (disposed_) return kAudioQueueErrDisposed;
  BufferSlot* slot = slotFor(buffer);
  if (!slot || slot->queued) return kAudioQueueErrInvalidBuffer;
  if (buffer->audioDataByteSize > buffer->audioDataBytesCapacity) return kAudioQueueErrInvalidBuffer;
  if (buffer->audioDataByteSize == 0) return kAudioQueueErrBufferEmpty;
  if (count && !descriptions) return kAudioErrInvalidParameter;
  slot->descriptions.assign(descriptions, descriptions + count);
  slot->queued = true;
  queued_.push_back(slot);
  wake_.notify_all();
  return kAudioNoErr;
}

AudioStatus AudioQueue::start() {
  std::shared_ptr<AudioSink> sink;
  {
    std::lock_guard lock(mutex_);
    if (disposed_) return kAudioQueueErrDisposed;
    if (!running_) {
      running_ = true;
      framesWritten_ = 0;
      ++pendingRunningEvents_;
    }
    paused_ = false;
    pauseAfterRamp_ = false;
    sink = sink_;
    wake_.notify_all();
  }
  if (sink) sink->setPaused(false);
  return kAudioNoErr;
}

AudioStatus AudioQueue::pause(bool afterRamp) {
  std::shared_ptr<AudioSink> sink;
  {
    std::lock_guard lock(mutex_);
    if (disposed_) return kAudioQueueErrDisposed;
    if (afterRamp && running_ && !paused_) {
      // The output thread holds the queue where the ramp ends.
      pauseAfterRamp_ = true;
      wake_.notify_all();
      return kAudioNoErr;
    }
    paused_ = true;
    pauseAfterRamp_ = false;
    sink = sink_;
  }
  if (sink) sink->setPaused(true);
  return kAudioNoErr;
}

AudioStatus AudioQueue::stop(bool immediate) {
  std::deque<BufferSlot*> dropped;
  {
    std::unique_lock lock(mutex_);
    if (disposed_) return kAudioQueueErrDisposed;
    if (!immediate && running_) {
      stopAfterQueued_ = true;
      wake_.notify_all();
      return kAudioNoErr;
    }
    // Immediate stop, or a stop after the queued audio of a queue that never ran: everything queued
    // goes back now, and the running change is reported even when it was not running, so that a
    // listener waiting for the stop hears of it.
    ++generation_;
    dropped.swap(queued_);
    for (BufferSlot* slot : dropped) slot->queued = false;
    running_ = false;
    paused_ = false;
    pauseAfterRamp_ = false;
    stopAfterQueued_ = false;
    flushAfterQueued_ = false;
    discardSink_ = true;
    resetDecoder_ = true;
    // A ramp under way ends at its target.
    volumeRequest_ = VolumeRequest{volume_.load(), 0.0, std::nullopt};
    ++pendingRunningEvents_;
    wake_.notify_all();
    // The buffer being played comes back from the output thread as soon as it has cut its write
    // short; not waited for here, so that no caller waits on the audio device. A write waiting
    // for the sink returns at once; the discard asked for above ends the interruption (told to
    // the sink under mutex_, so it comes before that discard).
    if (sink_) sink_->interrupt();
  }
  for (BufferSlot* slot : dropped) {
    if (callback_) callback_(*this, &slot->buffer);
  }
  return kAudioNoErr;
}

AudioStatus AudioQueue::flush() {
  std::lock_guard lock(mutex_);
  if (disposed_) return kAudioQueueErrDisposed;
  flushAfterQueued_ = true;
  wake_.notify_all();
  return kAudioNoErr;
}

AudioStatus AudioQueue::rampVolume(float target, double seconds) {
  if (std::isnan(target) || !(seconds >= 0)) return kAudioErrInvalidParameter;
  std::lock_guard lock(mutex_);
  if (disposed_) return kAudioQueueErrDisposed;
  std::optional<float> from;
  if (volumeRequest_) from = volumeRequest_->seconds == 0.0 ? volumeRequest_->target : volumeRequest_->from;
  volume_ = std::clamp(target, 0.0f, 1.0f);
  volumeRequest_ = VolumeRequest{volume_.load(), seconds, from};
  wake_.notify_all();
  return kAudioNoErr;
}

AudioStatus AudioQueue::dispose() {
  {
    std::lock_guard lock(mutex_);
    if (!disposed_) {
      disposed_ = true;
      ++generation_;
      wake_.notify_all();
      // The output thread is joined below: a write or drain waiting for the sink returns now.
      if (sink_) sink_->interrupt();
    }
  }
  if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id()) thread_.join();
  return kAudioNoErr;
}

AudioStatus AudioQueue::getCurrentTime(double* sampleTime) {
  if (!sampleTime) return kAudioErrInvalidParameter;
  std::shared_ptr<AudioSink> sink;
  {
    std::lock_guard lock(mutex_);
    if (disposed_) return kAudioQueueErrDisposed;
    if (!running_) return kAudioQueueErrStopped;
    sink = sink_;
  }
  const std::int64_t latency = sink ? sink->latencyFrames() : 0;
  const std::int64_t heard = std::max<std::int64_t>(0, framesWritten_.load() - latency);
  const int rate = sinkRate_.load();
  *sampleTime = rate > 0 ? double(heard) * format_.sampleRate / rate : double(heard);
  return kAudioNoErr;
}

AudioStatus AudioQueue::setParameter(std::uint32_t parameter, float value) {
  if (parameter != kAudioQueueParam_Volume || std::isnan(value)) return kAudioErrInvalidParameter;
  std::lock_guard lock(mutex_);
  volume_ = std::clamp(value, 0.0f, 1.0f);
  volumeRequest_ = VolumeRequest{volume_.load(), 0.0, std::nullopt};
  return kAudioNoErr;
}

AudioStatus AudioQueue::getParameter(std::uint32_t parameter, float* value) {
  if (parameter != kAudioQueueParam_Volume || !value) return kAudioErrInvalidParameter;
  *value = volume_;
  return kAudioNoErr;
}

AudioStatus AudioQueue::setProperty(std::uint32_t propertyID, const void* data, std::uint32_t size) {
  if (!data && size) return kAudioErrInvalidParameter;
  std::lock_guard lock(mutex_);
  if (disposed_) return kAudioQueueErrDisposed;
  switch (propertyID) {
    case kAudioQueueProperty_MagicCookie: {
      const auto* p = static_cast<const std::uint8_t*>(data);
      magicCookie_.assign(p, p + size);
      return kAudioNoErr;
    }
    case kAudioQueueProperty_EnableLevelMetering: {
      if (size < sizeof(std::uint32_t)) return kAudioErrBadPropertySize;
      std::uint32_t on;
      std::memcpy(&on, data, sizeof on);
      metering_ = on != 0;
      if (!on) std::fill(levels_.begin(), levels_.end(), AudioQueueLevelMeterState{});
      return kAudioNoErr;
    }
    default:
      return kAudioErrUnsupportedProperty;
  }
}

AudioStatus AudioQueue::getProperty(std::uint32_t propertyID, void* data, std::uint32_t* ioSize) {
  if (!data || !ioSize) return kAudioErrInvalidParameter;
  std::lock_guard lock(mutex_);
  if (disposed_) return kAudioQueueErrDisposed;
  auto put = [&](const void* value, std::size_t size) -> AudioStatus {
    if (*ioSize < size) return kAudioErrBadPropertySize;
    std::memcpy(data, value, size);
    *ioSize = static_cast<std::uint32_t>(size);
    return kAudioNoErr;
  };
  switch (propertyID) {
    case kAudioQueueProperty_IsRunning: {
      const std::uint32_t v = running_ ? 1 : 0;
      return put(&v, sizeof v);
    }
    case kAudioQueueProperty_EnableLevelMetering: {
      const std::uint32_t v = metering_ ? 1 : 0;
      return put(&v, sizeof v);
    }
    case kAudioQueueProperty_CurrentLevelMeter:
      if (!metering_) return kAudioErrInvalidParameter;
      return put(levels_.data(), levels_.size() * sizeof(AudioQueueLevelMeterState));
    case kAudioQueueProperty_MagicCookie:
      return put(magicCookie_.data(), magicCookie_.size());
    default:
      return kAudioErrUnsupportedProperty;
  }
}

void AudioQueue::run() {
  setCurrentThreadName("AudioQueue");
  std::unique_lock lock(mutex_);
  for (;;) {
    if (pendingRunningEvents_ > 0) {
      --pendingRunningEvents_;
      const auto listeners = runningListeners_;
      lock.unlock();
      for (const auto& listener : listeners) listener(*this, kAudioQueueProperty_IsRunning);
      lock.lock();
      continue;
    }
    if (disposed_) break;
    if (discardSink_ || resetDecoder_) {
      const bool discard = std::exchange(discardSink_, false);
      const bool reset = std::exchange(resetDecoder_, false);
      auto sink = sink_;
      lock.unlock();
      if (discard && sink) sink->discard();
      if (reset && decoder_) decoder_->reset();
      lock.lock();
      continue;
    }
    if (running_ && !paused_ && !queued_.empty()) {
      // A run of queued buffers is decoded in one stretch, then written: the sink lets this thread
      // through a few times a second whatever it does, and decoding, its main cost, comes out
      // several times cheaper in one stretch than a packet after each sleep (its code and tables
      // stay in the caches). Each buffer goes back once its audio is written, as before.
      const std::uint64_t generation = generation_;
      bool decoded = true;
      do {
        BufferSlot* slot = queued_.front();
        queued_.pop_front();
        lock.unlock();
        decoded = decode(*slot, generation);
        taken_.push_back({slot, pcm_.size()});
        lock.lock();
      } while (decoded && running_ && !paused_ && generation == generation_ && !queued_.empty() &&
               pcm_.size() < decodeAheadSamples());
      lock.unlock();
      writePcm(generation);
      lock.lock();
      continue;
    }
    if (pauseAfterRamp_ && (queued_.empty() || (!volumeRequest_ && rampFramesLeft_ == 0))) {
      // Nothing left to fade (or the fade is over): the pause takes effect now.
      pauseAfterRamp_ = false;
      paused_ = true;
      auto sink = sink_;
      lock.unlock();
      if (sink) sink->setPaused(true);
      lock.lock();
      continue;
    }
    if (running_ && !paused_ && flushAfterQueued_ && queued_.empty()) {
      // The queued audio is complete: what the decoder still holds follows it.
      flushAfterQueued_ = false;
      const std::uint64_t generation = generation_;
      lock.unlock();
      if (decoder_) {
        pcm_.clear();
        decoder_->drain(pcm_);
        writePcm(generation);
      }
      lock.lock();
      continue;
    }
    if (running_ && !paused_ && stopAfterQueued_) {
      // End of the stream: what the decoder holds, then wait for the sink to play it all.
      const std::uint64_t generation = generation_;
      auto sink = sink_;
      lock.unlock();
      if (decoder_) {
        pcm_.clear();
        decoder_->drain(pcm_);
        writePcm(generation);
      }
      if (sink) sink->drain();
      lock.lock();
      if (generation == generation_ && stopAfterQueued_ && queued_.empty()) {
        running_ = false;
        stopAfterQueued_ = false;
        ++pendingRunningEvents_;
      }
      continue;
    }
    wake_.wait(lock);
  }
  lock.unlock();
  decoder_.reset();
  std::shared_ptr<AudioSink> sink;
  {
    std::lock_guard guard(mutex_);
    sink.swap(sink_);
  }
  // The last owner closes the device (a WAV file gets its final header).
}

bool AudioQueue::decode(BufferSlot& slot, std::uint64_t generation) {
  if (!decoder_) {
    std::vector<std::uint8_t> cookie;
    {
      std::lock_guard lock(mutex_);
      cookie = magicCookie_;
    }
    decoder_ = AudioDecoder::create(format_, cookie);
    if (!decoder_) return false;
  }
  const auto* data = static_cast<const std::uint8_t*>(slot.buffer.audioData);
  const std::uint32_t size = slot.buffer.audioDataByteSize;
  if (slot.descriptions.empty()) {
    decoder_->decode(data, size, pcm_);
    return true;
  }
  for (const auto& d : slot.descriptions) {
    if (generation_ != generation) return false;
    if (d.startOffset < 0 || d.startOffset > std::int64_t(size) || d.dataByteSize > size - std::uint64_t(d.startOffset)) {
      continue;  // a description pointing outside the buffer is skipped
    }
    decoder_->decode(data + d.startOffset, d.dataByteSize, pcm_);
    // A buffer of many packets is written as its PCM comes, a stretch at a time.
    if (pcm_.size() >= decodeAheadSamples() && !writePcm(generation)) return false;
  }
  return true;
}

std::size_t AudioQueue::decodeAheadSamples() const {
  if (!decoder_) return 0;
  const auto channels = static_cast<std::size_t>(std::max(decoder_->outputChannels(), 0));
  // Until the first sound after a start, only a couple of pieces: the sound starts at once.
  if (framesWritten_ == 0) return 2 * kWriteFrames * channels;
  return static_cast<std::size_t>(decoder_->outputRate() * kDecodeAheadSeconds) * channels;
}

void AudioQueue::giveBackWritten(std::size_t writtenSamples) {
  std::size_t n = 0;
  while (n < taken_.size() && taken_[n].end <= writtenSamples) ++n;
  if (n == 0) return;
  {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < n; ++i) taken_[i].slot->queued = false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (callback_) callback_(*this, &taken_[i].slot->buffer);
  }
  taken_.erase(taken_.begin(), taken_.begin() + static_cast<std::ptrdiff_t>(n));
  wake_.notify_all();
}

bool AudioQueue::writePcm(std::uint64_t generation) {
  const bool written = writeOut(generation);
  // Whatever was not written (a stop cut in) is dropped, and its buffers go back with the rest.
  pcm_.clear();
  giveBackWritten(std::numeric_limits<std::size_t>::max());
  return written;
}

bool AudioQueue::writeOut(std::uint64_t generation) {
  if (pcm_.empty()) return true;
  const int channels = decoder_->outputChannels();
  const int rate = decoder_->outputRate();
  if (channels <= 0 || rate <= 0) return true;
  std::shared_ptr<AudioSink> sink;
  {
    std::lock_guard lock(mutex_);
    sink = sink_;
  }
  if (!sink) {
    // Opened without mutex_ (connecting to a sound server takes a while, and the callers' start,
    // pause and clock must not wait for it); only this thread makes the sink.
    std::shared_ptr<AudioSink> opened = openAudioSink(rate, channels);
    std::lock_guard lock(mutex_);
    sink_ = opened;
    sinkRate_ = rate;
    if (paused_) sink_->setPaused(true);
    sink = sink_;
  }
  const std::size_t frames = pcm_.size() / static_cast<std::size_t>(channels);
  for (std::size_t at = 0; at < frames;) {
    if (!waitWhilePaused(generation, rate)) return false;
    std::size_t n = std::min(kWriteFrames, frames - at);
    // A piece ends where a ramp ends, so that a pause after a fade-out holds exactly there.
    if (rampFramesLeft_ > 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(rampFramesLeft_));
    std::int16_t* piece = pcm_.data() + at * static_cast<std::size_t>(channels);
    applyVolume(piece, n, channels);
    if (metering_) measure(piece, n, channels);
    if (const SampleWatcher watch = sampleWatcher.load(std::memory_order_relaxed)) {
      watch(serial_, piece, n * static_cast<std::size_t>(channels));
    }
    sink->write(piece, n);
    framesWritten_ += static_cast<std::int64_t>(n);
    at += n;
    giveBackWritten(at * static_cast<std::size_t>(channels));
    if (rampFramesLeft_ == 0) {
      std::unique_lock lock(mutex_);
      if (pauseAfterRamp_ && !volumeRequest_) {
        pauseAfterRamp_ = false;
        paused_ = true;
        lock.unlock();
        sink->setPaused(true);
      }
    }
  }
  return true;
}

bool AudioQueue::waitWhilePaused(std::uint64_t generation, int rate) {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [&] { return !paused_ || generation_ != generation || disposed_; });
  if (generation_ != generation || disposed_) return false;
  if (volumeRequest_) {
    const VolumeRequest request = *volumeRequest_;
    volumeRequest_.reset();
    const auto frames = static_cast<std::int64_t>(std::llround(request.seconds * double(rate)));
    rampTarget_ = request.target;
    if (request.from) gain_ = *request.from;
    if (frames <= 0) {
      gain_ = request.target;
      rampFramesLeft_ = 0;
    } else {
      rampStart_ = gain_;
      rampFrames_ = frames;
      rampFramesLeft_ = frames;
    }
  }
  return true;
}

void AudioQueue::applyVolume(std::int16_t* samples, std::size_t frames, int channels) {
  const auto perFrame = static_cast<std::size_t>(channels);
  for (std::size_t i = 0; i < frames; ++i) {
    if (rampFramesLeft_ > 0) {
      // Linear, one step a frame, without drift; the last step lands exactly on the target.
      --rampFramesLeft_;
      const double done = double(rampFrames_ - rampFramesLeft_) / double(rampFrames_);
      gain_ = rampFramesLeft_ == 0 ? rampTarget_ : float(rampStart_ + (rampTarget_ - rampStart_) * done);
    }
    if (gain_ == 1.0f) continue;
    for (std::size_t c = 0; c < perFrame; ++c) {
      std::int16_t& s = samples[i * perFrame + c];
      const long v = std::lrint(float(s) * gain_);
      s = static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
    }
  }
}

void AudioQueue::measure(const std::int16_t* samples, std::size_t frames, int channels) {
  std::lock_guard lock(mutex_);
  const std::size_t n = std::min<std::size_t>(levels_.size(), static_cast<std::size_t>(channels));
  for (std::size_t c = 0; c < n; ++c) {
    double sum = 0;
    int peak = 0;
    for (std::size_t i = 0; i < frames; ++i) {
      const int s = samples[i * static_cast<std::size_t>(channels) + c];
      sum += double(s) * s;
      peak = std::max(peak, s < 0 ? -s : s);
    }
    levels_[c].averagePower = frames ? float(std::sqrt(sum / double(frames)) / 32768.0) : 0.0f;
    levels_[c].peakPower = float(peak / 32768.0);
  }
}

}  // namespace tonvera
