#pragma once
// Audio output queue: the filler enqueues buffers of packets (or linear PCM); an output thread of
// the queue decodes them, applies the volume, measures levels, writes 16-bit PCM to the sink and
// gives every buffer back through the output call-back.
//
// Contract (who calls what, and when):
// - newOutput() for a stream format; allocateBuffer() the buffers once; setProperty() the magic
//   cookie before the first enqueue when the format needs one.
// - enqueueBuffer() hands a filled buffer over. It comes back through the output call-back, on the
//   output thread, after its audio was written to the sink; or, on stop(true), on the thread that
//   called stop() before stop() returns (the buffers waiting in the queue), respectively on the
//   output thread as soon as it has cut its write short (the one it was playing).
// - start() runs (or resumes) the queue; pause() holds it (the buffers stay queued, and a buffer
//   being played holds at the next piece of PCM); pause(true) holds it only once the volume ramp
//   under way has reached its end, so that a fade-out is heard before the silence.
//   stop(true) drops everything queued at once, stop(false) ends after the queued audio.
//   None of them waits for the output thread: a caller (a window's thread) never blocks on audio.
// - flush() marks the queued audio as complete: once the last buffer queued so far is played, the
//   decoder gives out the samples it still holds (its delay), as stop(false) does at the end. More
//   buffers may follow; they start a fresh decode.
// - setParameter(volume) sets the gain from the next piece of PCM on; rampVolume() moves it
//   linearly, sample by sample, to a target over a time of the stream's audio. Either replaces a
//   ramp under way; stop(true) ends a ramp at its target.
//   Each change of the running state ('aqrn') is reported to the property listeners on the
//   output thread, in order, with no lock of the queue held: listeners may take their owner's
//   locks.
// - dispose() (also done by the destructor) ends the output thread and frees the buffers. It waits
//   for the output thread, so it must not be called while holding a lock that a listener takes.
// - getCurrentTime(): sample frames heard since the last start (in the stream's sample rate),
//   what is still in the sink's buffer not counted; kAudioQueueErrStopped while not running.
//
// Threads: every call but dispose() may come from any thread; call-backs run on the output thread
// (except the give-back done by stop(true), see above).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/audiotoolbox/audiotypes.h"

namespace tonvera {

class AudioDecoder;
class AudioSink;

// Queue properties and parameters.
constexpr std::uint32_t kAudioQueueProperty_IsRunning = fourcc("aqrn");
constexpr std::uint32_t kAudioQueueProperty_MagicCookie = fourcc("aqmc");
constexpr std::uint32_t kAudioQueueProperty_EnableLevelMetering = fourcc("aqme");
constexpr std::uint32_t kAudioQueueProperty_CurrentLevelMeter = fourcc("aqmv");
constexpr std::uint32_t kAudioQueueParam_Volume = 1;

// One channel's levels, linear (0.0 .. 1.0): mean power as RMS amplitude, and peak amplitude.
struct AudioQueueLevelMeterState {
  float averagePower = 0.0f;
  float peakPower = 0.0f;
};

struct AudioQueueBuffer {
  const std::uint32_t audioDataBytesCapacity;
  void* const audioData;
  std::uint32_t audioDataByteSize = 0;

  AudioQueueBuffer(std::uint32_t capacity, void* data) : audioDataBytesCapacity(capacity), audioData(data) {}
};

class AudioQueue {
 public:
  using OutputCallback = std::function<void(AudioQueue&, AudioQueueBuffer*)>;
  using PropertyListener = std::function<void(AudioQueue&, std::uint32_t propertyID)>;

  // A queue for `format`; kAudioQueueErrInvalidFormat when it cannot be played.
  static AudioStatus newOutput(const AudioStreamBasicDescription& format, OutputCallback callback,
                               std::unique_ptr<AudioQueue>* out);
  ~AudioQueue();
  AudioQueue(const AudioQueue&) = delete;
  AudioQueue& operator=(const AudioQueue&) = delete;

  AudioStatus addPropertyListener(std::uint32_t propertyID, PropertyListener listener);

  AudioStatus allocateBuffer(std::uint32_t capacity, AudioQueueBuffer** out);
  // Fails with kAudioQueueErrInvalidBuffer for a buffer not of this queue or still queued.
  AudioStatus freeBuffer(AudioQueueBuffer* buffer);
  // `descriptions` (may be null when `count` is 0) are copied.
  AudioStatus enqueueBuffer(AudioQueueBuffer* buffer, std::uint32_t count,
                            const AudioStreamPacketDescription* descriptions);

  AudioStatus start();
  AudioStatus pause(bool afterRamp = false);
  AudioStatus stop(bool immediate);
  // Marks the queued audio as complete: the decoder's held samples follow the last buffer queued.
  AudioStatus flush();
  // Moves the volume from where it is to `target` (0..1) over `seconds` of audio; returns at once.
  AudioStatus rampVolume(float target, double seconds);
  AudioStatus dispose();

  AudioStatus getCurrentTime(double* sampleTime);
  AudioStatus setParameter(std::uint32_t parameter, float value);
  AudioStatus getParameter(std::uint32_t parameter, float* value);
  AudioStatus setProperty(std::uint32_t propertyID, const void* data, std::uint32_t size);
  // `*ioSize` in: room at `data`; out: bytes written.
  AudioStatus getProperty(std::uint32_t propertyID, void* data, std::uint32_t* ioSize);

  const AudioStreamBasicDescription& format() const { return format_; }

  // A watcher of the samples every queue hands its sink, told with the queue's serial number
  // (counted from 1 in the order the queues are made). The product installs none; a benchmark
  // that times when the listener first hears something does. Without one a write costs one
  // relaxed atomic load. Any thread; the watcher is called on the output threads.
  using SampleWatcher = void (*)(std::uint64_t queueSerial, const std::int16_t* samples, std::size_t count);
  static void setSampleWatcher(SampleWatcher watcher);
  // The serial number of the last queue made (0 before the first).
  static std::uint64_t lastQueueSerial();

 private:
  struct BufferSlot;
  AudioQueue(const AudioStreamBasicDescription& format, OutputCallback callback);
  BufferSlot* slotFor(AudioQueueBuffer* buffer);
  void run();
  // Output thread: decodes one buffer onto pcm_ (writing a long one as it goes); false when a stop
  // or dispose cut it short, or there is no decoder for the format.
  bool decode(BufferSlot& slot, std::uint64_t generation);
  // Output thread: writes pcm_ to the sink, giving each taken buffer back once its audio is
  // written (and the rest when a stop cuts the write short); false when cut short.
  bool writePcm(std::uint64_t generation);
  bool writeOut(std::uint64_t generation);
  void giveBackWritten(std::size_t writtenSamples);
  // How much PCM the output thread decodes before it writes.
  std::size_t decodeAheadSamples() const;
  void measure(const std::int16_t* samples, std::size_t frames, int channels);
  // Output thread: applies the volume (and its ramp) to one piece of PCM.
  void applyVolume(std::int16_t* samples, std::size_t frames, int channels);
  // Output thread: holds while the queue is paused, then takes up a volume change asked for;
  // false when a stop or dispose came meanwhile.
  bool waitWhilePaused(std::uint64_t generation, int rate);

  const AudioStreamBasicDescription format_;
  const OutputCallback callback_;
  const std::uint64_t serial_;  // this queue's number for the sample watcher

  // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::unique_ptr<BufferSlot>> slots_;
  std::deque<BufferSlot*> queued_;
  std::vector<PropertyListener> runningListeners_;
  int pendingRunningEvents_ = 0;  // running changes not yet reported
  bool running_ = false;
  bool paused_ = false;
  bool stopAfterQueued_ = false;
  bool pauseAfterRamp_ = false;   // pause(true) waits for the ramp to end
  bool flushAfterQueued_ = false; // flush(): drain the decoder once the queue runs empty
  // The volume change asked for and not yet taken up by the output thread.
  struct VolumeRequest {
    float target = 1.0f;
    double seconds = 0.0;
    // Where the ramp starts when a volume was set just before it (and never heard): a fade-in
    // from silence stays one, whether or not the output thread took the set up in between.
    std::optional<float> from;
  };
  std::optional<VolumeRequest> volumeRequest_;
  bool discardSink_ = false;      // the sink must drop what it holds (set by stop(true))
  bool resetDecoder_ = false;
  bool disposed_ = false;
  std::vector<std::uint8_t> magicCookie_;
  std::vector<AudioQueueLevelMeterState> levels_;
  std::shared_ptr<AudioSink> sink_;  // made by the output thread on the first PCM

  // read by any thread
  std::atomic<std::uint64_t> generation_{0};  // bumped (under mutex_) by stop(true) and dispose
  std::atomic<float> volume_{1.0f};  // the volume asked for (the end of a ramp)
  std::atomic<bool> metering_{false};
  std::atomic<std::int64_t> framesWritten_{0};  // since the last start, in the sink's rate
  std::atomic<int> sinkRate_{0};

  // output thread only
  std::unique_ptr<AudioDecoder> decoder_;
  std::vector<std::int16_t> pcm_;
  // Buffers whose audio is on pcm_, oldest first, each with where its audio ends there (samples).
  struct Taken {
    BufferSlot* slot;
    std::size_t end;
  };
  std::vector<Taken> taken_;
  float gain_ = 1.0f;              // applied to the last frame written
  float rampStart_ = 1.0f;
  float rampTarget_ = 1.0f;
  std::int64_t rampFrames_ = 0;    // length of the ramp under way
  std::int64_t rampFramesLeft_ = 0;

  std::thread thread_;  // immutable after construction
};

}  // namespace tonvera
