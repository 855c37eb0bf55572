#pragma once
// AudioStreamer plays one track from one input (audioinput.h: HTTP, a local file, or a held head
// followed by HTTP): its own thread ("InternalThread") reads the bytes, parses them into packets
// with the audio toolbox's parser for the type (MP3, AAC, the PCM containers, PURE) and fills a
// ring of 16 buffers that an output queue decodes and plays. Every state change is announced once
// by "ASStatusChangedNotification" (sender: the player, no user info) on the main thread; when the
// track ends, fails or is stopped the player returns to Idle after cleaning up. The limits and
// clock of the reconnection and of the data-stall watchdog, and a hook for tests, come in
// StreamerOptions.
//
// Threads:
// - main thread: construction, start(), stop(), pause(), togglePause(), seekToTime(), the is...
//   tests, state(), progress(), duration() and the other read-outs, destruction.
// - the internal thread: startInternal(), the read-stream, parser and packet call-backs,
//   enqueueBuffer(), internalSeekToTime(), reconnection and clean-up.
// - the output queue's thread: handleBufferCompleteForQueue(), handlePropertyChangeForQueue() (which
//   only publish and wake), and the fades (volume ramps the queue applies to the samples it writes).
// The main thread never waits: the read-outs (state(), the is... tests, progress(), duration(),
// bitRate(), calculatedBitRate(), stopReason(), errorCode(), vbr(), numberOfChannels()) read atomics
// that the internal thread publishes, and the controls take `lock_` only for short steps, since no
// thread holds it while sleeping, waiting for the network, a free buffer or the output thread.
// Locks: `lock_` (a plain mutex) guards the few things the main thread and the internal thread
// share: the state changes, the queue the controls drive, the reply's headers. It is taken once
// per step, never twice: the functions named ...Locked expect it held. The output queue's thread
// never takes it: it gives buffers back and publishes its running reports under
// `queueBuffersMutex_`, and wakes the internal thread, which changes the state. Lock order:
// lock_, then queueBuffersMutex_, then runLoopMutex_.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/audioinput.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/audioqueue.h"
#include "platform/net/readstream.h"

namespace tonvera {

// The numbers are part of the interface: callers compare with them.
enum class StreamerState : std::int32_t {
  Idle = 0,
  StartingThread = 1,
  WaitingForData = 2,
  FlushingAtEnd = 3,
  WaitingForQueueStart = 4,
  Playing = 5,
  Buffering = 6,
  Stopping = 7,
  Stopped = 8,
  Paused = 9,
};

enum class StopReason : std::int32_t { None = 0, EndOfStream = 1, UserAction = 2, Error = 3, Temporary = 4 };

enum class StreamerError : std::int32_t {
  None = 0,
  NetworkConnectionFailed = 1,
  FileStreamGetPropertyFailed = 2,
  FileStreamSeekFailed = 3,
  FileStreamParseBytesFailed = 4,
  FileStreamOpenFailed = 5,
  FileStreamCloseFailed = 6,
  AudioDataNotFound = 7,
  AudioQueueCreationFailed = 8,
  AudioQueueBufferAllocationFailed = 9,
  AudioQueueEnqueueFailed = 10,
  AudioQueueAddListenerFailed = 11,
  AudioQueueRemoveListenerFailed = 12,
  AudioQueueStartFailed = 13,
  AudioQueuePauseFailed = 14,
  AudioQueueBufferMismatch = 15,
  AudioQueueDisposeFailed = 16,
  AudioQueueStopFailed = 17,
  AudioQueueFlushFailed = 18,
  AudioStreamerFailed = 19,
  GetAudioTimeFailed = 20,
  AudioBufferTooSmall = 21,
};

// The state's name as printed by tools ("Idle", "Playing", ...).
const char* streamerStateName(StreamerState state);

// The notification posted on every state change.
inline constexpr const char* kASStatusChangedNotification = "ASStatusChangedNotification";
// The file-type code that marks a PURE stream (the audio toolbox's).
inline constexpr std::uint32_t kPureFileType = kAudioFilePureType;

// How a player is set up: the product uses the defaults; a test sets what it is about directly
// (a short outage limit, its own clock), on the player it makes.
//
//   StreamerOptions options;
//   options.outageLimit = std::chrono::milliseconds(1000);
//   options.now = [&] { return fakeNow; };  // the limits below then run on the test's time
//   AudioStreamer player(url, options);
struct StreamerOptions {
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kOutageLimit{30000};
  static constexpr std::chrono::milliseconds kDataStallLimit{20000};

  // A lost connection is reopened for this long (from the loss to the first byte that comes
  // again); then the track fails with error 1.
  std::chrono::milliseconds outageLimit = kOutageLimit;
  // Nothing from the network for this long: the stream is asked for again (files never stall).
  std::chrono::milliseconds dataStallLimit = kDataStallLimit;
  // The clock of the two limits and of the reconnection back-off, read on the player's internal
  // thread only (Clock::now when empty). The thread still waits on its own for the network
  // (at most kRunLoopSeconds a pass), so a test that moves this clock sees its effect within a pass.
  std::function<Clock::time_point()> now;
  // Told of every state the player enters, in order, on the thread that changes it and before
  // the change is announced (the announcement reaches the main thread later, when the state may
  // have moved on). For tests and tools that follow every step; the product leaves it empty.
  // It runs with the player's lock held: it may read the read-outs (progress() included), which
  // take no lock, and must call nothing else of the player.
  std::function<void(StreamerState)> stateEntered;
};

class AudioStreamer final {
 public:
  static constexpr int kNumAQBufs = 16;          // output buffers
  static constexpr int kAQMaxPacketDescs = 512;  // packet descriptions per buffer
  static constexpr std::uint32_t kAQDefaultBufSize = 2048;
  static constexpr int kBuffersToStart = 15;           // queued before a (re)start
  // While the queue plays, the filler sleeps until this many buffers are free and fills them in
  // one go, instead of waking for every buffer played (a buffer holds 20 to 130 ms of audio).
  static constexpr int kRefillBatch = kNumAQBufs / 2;
  static constexpr int kBitRateEstimationMaxPackets = 5000;
  static constexpr int kBitRateEstimationMinPackets = 50;
  static constexpr std::uint32_t kReadChunk = 2048;  // bytes per read
  static constexpr int kOpenTries = 4;
  // Nothing from the network for this long re-requests the stream (files never stall).
  static constexpr double kDataStallSeconds = StreamerOptions::kDataStallLimit.count() / 1000.0;
  // A lost connection is reopened at once, then after pauses that start at kReconnectBackoff and
  // double up to kReconnectBackoffMax, for as long as the outage lasts less than the outage limit
  // (StreamerOptions; from the loss to the first byte that comes again); then the track fails
  // with error 1.
  static constexpr std::chrono::milliseconds kReconnectBackoff{250};
  static constexpr std::chrono::milliseconds kReconnectBackoffMax{2000};
  static constexpr std::chrono::milliseconds kOutageLimit = StreamerOptions::kOutageLimit;
  static constexpr double kRunLoopSeconds = 0.25;

  // A player of the body of an http(s) URL.
  explicit AudioStreamer(std::string url, StreamerOptions options = {});
  AudioStreamer(std::unique_ptr<AudioInput> input, StreamerOptions options = {});
  ~AudioStreamer();
  AudioStreamer(const AudioStreamer&) = delete;
  AudioStreamer& operator=(const AudioStreamer&) = delete;

  void start();
  void stop();
  void pause();
  void togglePause();
  // The 100 ms volume ramps, applied sample by sample by the output queue's thread; both return
  // at once. fadeout() only while Playing, fadein() while WaitingForQueueStart or Playing.
  void fadein();
  void fadeout();
  static constexpr double kFadeSeconds = 0.1;
  void seekToTime(double seconds);

  StreamerState state();
  bool isPlaying() const { return state_.load() == StreamerState::Playing; }
  bool isPaused() const { return state_.load() == StreamerState::Paused; }
  bool isIdle() const { return state_.load() == StreamerState::Idle; }
  bool isFinishing();
  bool isWaiting();

  StreamerError errorCode();
  void setErrorCode(StreamerError code);
  std::uint32_t bitRate();
  void setBitRate(std::uint32_t bitRate);
  HttpHeaderFields httpHeaders();
  StopReason stopReason();
  bool vbr();
  std::uint32_t numberOfChannels();
  const std::string& url() const { return url_; }

  double progress();
  double duration();
  double calculatedBitRate();
  double bufferFillPercentage();
  bool isMeteringEnabled();
  void setMeteringEnabled(bool enabled);
  float peakPowerForChannel(std::uint32_t channel);
  float averagePowerForChannel(std::uint32_t channel);

  static std::string stringForErrorCode(std::int32_t code);
  static std::uint32_t hintForFileExtension(const std::string& extension);
  static std::uint32_t hintForMIMEType(const std::string& contentType);

  // Stops and waits for the internal thread to end (and so for the player to be Idle). Called by
  // the destructor. Main thread.
  void shutdown();

  // Records the error (the first one stays) and ends the track as the error requires. Any thread;
  // the player calls it on its own failures.
  void failWithErrorCode(StreamerError code);

 private:
  // ---- internal thread (audiostreamer_input.cpp): reading and parsing ----
  // Opens the input at seekByteOffset_.
  bool openReadStream();
  void handleReadFromStream(ReadStream& stream, ReadStreamEvent event);
  // Opens the parser for the input's type hint when there is none yet; false when the player fails.
  bool openParser(const ReadStream& stream);
  void handlePropertyChangeForFileStream(AudioFileStream& stream, std::uint32_t propertyID);
  void handleEndOfStream();
  // The connection is lost (or a reopen was refused); the outage clock starts if it does not run
  // yet, and the next reopen is due after the back-off. An input that does not reopen (a file)
  // cannot be read any further: the track ends with error 7.
  void connectionLost();
  // A reply that must not be read as the track's bytes: a server error, or, when reopening,
  // anything but the continuation asked for (a whole file where a range was asked is taken, its
  // first bytes skipped). Looks once per reply.
  bool refusedReply(ReadStream& stream);
  void closeReadStream();

  // ---- internal thread (audiostreamer_queue.cpp): packets, buffers and the queue ----
  void handleAudioPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                          const AudioStreamPacketDescription* packetDescriptions);
  // Marks that audio arrived and makes the queue; false when the player is finishing.
  bool beginPackets(bool withDescriptions);
  void createQueue();
  void enqueueBuffer();
  // The state change a running report of the queue asks for, if one came.
  void takeQueueReport();
  // The bit rate from what was parsed so far (0 while unknown).
  double estimateBitRate();
  // Publishes the numbers the read-outs serve (duration, bit rate).
  void publishReadouts();
  // Carries out a seek (the request already taken). One that cannot be done yet (no format, bit
  // rate or length known so far) is requested again, for a later pass.
  void internalSeekToTime(double seconds);

  // ---- internal thread (audiostreamer_thread.cpp): the loop, reconnection, clean-up ----
  void startInternal();
  // One pass's checks after the loop ran: reports, watchdog, seek, underrun. False: the loop ends.
  bool afterPass();
  bool runLoopShouldExit();
  void reconnect();
  void cleanUp();
  bool isInternalThread() const;
  StreamerOptions::Clock::time_point now() const;

  // ---- lock_ held (audiostreamer.cpp and audiostreamer_queue.cpp) ----
  // Stores the state, tells the options' hook and announces the change.
  void setStateLocked(StreamerState state);
  // Records the error (the first one stays) and ends the track as the error requires.
  void failLocked(StreamerError code);
  void fadeoutLocked();
  // The ramp from the present volume (silence after a fade-out or before a start) up to full, logged.
  void rampUpLocked();
  void fadeinLocked();
  // Paused: the queue runs again from silence up.
  void resumeLocked();
  void startQueueLocked();
  bool isMeteringEnabledLocked();
  // lock_ not held: takes it for one state change.
  void setState(StreamerState state);

  // ---- any thread ----
  // Makes the internal thread's loop start its next pass at once (nothing while no loop runs).
  void wakeInternalThread();
  void setInternalRunLoop(RunLoop* loop);
  void mainThreadStateNotification();
  // Output thread: the queue's give-backs and running reports (publish and wake only).
  void handleBufferCompleteForQueue(AudioQueue& queue, AudioQueueBuffer* buffer);
  void handlePropertyChangeForQueue(AudioQueue& queue, std::uint32_t propertyID);

  // Each field says who may touch it:
  // - "immutable after start": set before the internal thread starts, then only read;
  // - "guarded by lock_": read and written with lock_ held;
  // - "internal thread only": read and written by the internal thread alone, without a lock;
  // - "published": atomics the internal thread writes for the main thread's read-outs, which
  //   never take a lock.

  // immutable after start
  const std::unique_ptr<AudioInput> input_;  // its calls are made by the internal thread only
  const std::string url_;
  const StreamerOptions options_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // main thread; dropped first by the destructor
  // The weak reference to alive_ that other threads copy (never alive_ itself, which the destructor
  // resets on the main thread while they may run).
  const std::weak_ptr<int> aliveToken_{alive_};
  std::thread internalThread_;                       // main thread only: start() and shutdown()
  std::atomic<std::thread::id> internalThreadId_{};  // set first thing by the internal thread

  // guarded by lock_
  std::mutex lock_;
  // Made and cleared by the internal thread (under lock_; it reads it without, as no other thread
  // writes it while it runs: the destructor takes what is left only after it ended); the controls
  // drive it.
  std::shared_ptr<AudioQueue> audioQueue_;
  HttpHeaderFields httpHeaders_;
  bool queuePausedByCaller_ = false;
  // Written under lock_ (each change of state with the others), read anywhere.
  std::atomic<StreamerState> state_{StreamerState::Idle};
  std::atomic<StopReason> stopReason_{StopReason::None};
  std::atomic<StreamerError> errorCode_{StreamerError::None};

  // Requests to the internal thread, without lock_ (a control never waits for a pass of it).
  // A seek: the time is stored before the flag is raised, and the thread lowers the flag before it
  // reads the time, so the latest request is the one carried out.
  std::atomic<bool> seekWasRequested_{false};
  std::atomic<double> requestedSeekTime_{0.0};
  // A resume: a stream lost while paused is reopened.
  std::atomic<bool> resumed_{false};
  // The queue's clock failed when progress() read it (error 20, recorded by the internal thread).
  std::atomic<bool> clockFailed_{false};
  // guarded by runLoopMutex_, which is held for nothing longer than a wake-up
  std::mutex runLoopMutex_;
  RunLoop* internalRunLoop_ = nullptr;  // the internal thread's loop while it runs (for wake-ups)

  // published by the internal thread (read anywhere, without a lock)
  std::atomic<std::shared_ptr<AudioQueue>> clockQueue_;  // the queue whose clock progress() reads
  std::atomic<double> sampleRate_{0.0};
  std::atomic<double> seekTime_{0.0};      // time of the last seek, added to the queue's clock
  std::atomic<double> lastProgress_{0.0};  // also written by progress() on any thread
  std::atomic<double> duration_{0.0};
  std::atomic<double> calculatedBitRate_{0.0};
  std::atomic<bool> vbr_{false};
  std::atomic<std::uint32_t> numberOfChannels_{0};
  std::atomic<std::uint32_t> bitRate_{0};  // also written by setBitRate()

  // written by the internal thread only while none of them is queued (made with the queue, before
  // the first enqueue; cleared after the queue is disposed of); read by the give-back (on the
  // queue's thread, or on the thread of a stop that drops what is queued), which runs only between
  // those two (the queue's own lock orders them)
  std::array<AudioQueueBuffer*, kNumAQBufs> audioQueueBuffer_{};

  // internal thread only
  std::unique_ptr<ReadStream> stream_;
  std::unique_ptr<AudioFileStream> audioFileStream_;
  AudioStreamBasicDescription asbd_{};
  std::array<AudioStreamPacketDescription, kAQMaxPacketDescs> packetDescs_{};
  std::uint32_t fillBufferIndex_ = 0;
  std::uint32_t packetBufferSize_ = 0;
  std::uint64_t bytesFilled_ = 0;
  std::uint64_t packetsFilled_ = 0;
  bool discontinuous_ = false;
  bool reConnect_ = false;  // a reopen is due (set by start() before the thread runs)
  std::int64_t dataOffset_ = 0;
  std::int64_t fileLength_ = 0;
  std::int64_t seekByteOffset_ = 0;  // where the next request starts; grows with every byte read
  std::uint64_t audioDataByteCount_ = 0;
  std::uint64_t processedPacketsCount_ = 0;
  std::uint64_t processedPacketsSizeTotal_ = 0;
  double packetDuration_ = 0.0;
  std::uint32_t statedBitRate_ = 0;  // the parser's 'brat' (0: not stated)
  double statedDuration_ = 0.0;      // the parser's 'edur' (0: not stated)
  std::uint32_t fileTypeHint_ = 0;
  int reconnectTimes_ = 0;           // reopens since bytes last came
  bool continuingStream_ = false;    // the request being made reopens the stream after a loss
  std::int64_t streamLength_ = 0;    // the first reply's length (0: not told; no range may be asked)
  bool replyRead_ = false;           // the current body's first reply was looked at
  bool rangeAsked_ = false;          // the current request asks for a range
  bool continuationAsked_ = false;   // ... and that range continues the bytes read so far
  bool replyChecked_ = false;        // the current reply's status was looked at
  std::int64_t skipReplyBytes_ = 0;  // bytes of a whole reply to a range request, already read
  std::optional<std::chrono::steady_clock::time_point> outageSince_;  // the loss not yet made good
  std::chrono::steady_clock::time_point nextReconnectAt_{};
  std::optional<std::chrono::steady_clock::time_point> lastRecivedTime_;

  // guarded by queueBuffersMutex_
  std::mutex queueBuffersMutex_;
  std::condition_variable queueBufferReadyCondition_;
  std::array<bool, kNumAQBufs> inuse_{};
  std::atomic<std::int64_t> buffersUsed_{0};  // also read alone, as one atomic value
  // Free buffers the waiting filler needs before it is woken (0: it does not wait).
  int refillWanted_ = 0;
  // The queue reported a change of its running state, not yet taken up by the internal thread.
  bool queueRunningReported_ = false;
  // A give-back of a buffer that is not ours, seen on the queue's thread; recorded by the
  // internal thread (the queue's thread does not take lock_).
  std::atomic<bool> bufferMismatch_{false};
};

}  // namespace tonvera
