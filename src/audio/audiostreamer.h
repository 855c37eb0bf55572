#pragma once
// AudioStreamer plays one track from one input (audioinput.h: HTTP, a local file, or a held head
// followed by HTTP): its own thread ("InternalThread") reads the bytes, parses them into packets
// (or PURE frames) and fills a ring of 16 buffers that an output queue plays. Every state change
// is announced once by "ASStatusChangedNotification" (sender: the player, no user info) on the
// main thread; when the track ends, fails or is stopped the player returns to Idle after cleaning
// up. The limits and clock of the reconnection and of the data-stall watchdog, and a hook for
// tests, come in StreamerOptions.
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
// Locks: `lock_` (recursive) guards the fields so marked below; operations call each other while
// holding it. `queueBuffersMutex_` with `queueBufferReadyCondition_` guards the buffers' use and
// the queue's running report. The internal thread never waits for a free buffer while holding
// `lock_`, and the queue's thread never takes `lock_`: it gives buffers back and publishes its
// running reports under `queueBuffersMutex_`, and wakes the internal thread, which changes the state.

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
#include "audio/g719/pure_format.h"
#include "audio/purecodec.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/audioqueue.h"
#include "platform/net/readstream.h"

namespace tonvera {

struct PURE_CODEC_HANDLE;
// Frees the PURE decoder state (defined with the PURE path, in audiostreamer_pure.cpp).
struct PureCodecDeleter {
  void operator()(PURE_CODEC_HANDLE* codec) const;
};

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
// The file-type code that marks a PURE stream.
inline constexpr std::uint32_t kPureFileType = 1979;

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
  // It must not call back into the player.
  std::function<void(StreamerState)> stateEntered;
};

class AudioStreamer final {
 public:
  static constexpr int kNumAQBufs = 16;          // output buffers
  static constexpr int kAQMaxPacketDescs = 512;  // packet descriptions per buffer
  static constexpr std::uint32_t kAQDefaultBufSize = 2048;
  static constexpr std::uint32_t kPureBufSize = 3840;  // one decoded PURE frame
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
  // The internal thread's reading: opens the input at seekByteOffset_.
  bool openReadStream();
  void handleReadFromStream(ReadStream& stream, ReadStreamEvent event);
  void handleAudioPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                          const AudioStreamPacketDescription* packetDescriptions);
  // Carries out a seek (lock_ held, the request already taken). One that cannot be done yet (no
  // format, bit rate or length known so far) is requested again, for a later pass.
  void internalSeekToTime(double seconds);

  // The ramp from the present volume (silence after a fade-out or before a start) up to full, logged.
  void rampUp();
  // Stores the state, tells the options' hook and announces the change.
  void setState(StreamerState state);
  bool runLoopShouldExit();
  void startInternal();
  void mainThreadStateNotification();

  // Output queue use.
  void createQueue();
  void enqueueBuffer();
  void startQueue();
  void handlePropertyChangeForFileStream(AudioFileStream& stream, std::uint32_t propertyID,
                                         std::uint32_t* ioFlags);
  void handleBufferCompleteForQueue(AudioQueue& queue, AudioQueueBuffer* buffer);
  void handlePropertyChangeForQueue(AudioQueue& queue, std::uint32_t propertyID);
  // Internal thread: the state change a running report of the queue asks for, if one came.
  void takeQueueReport();
  void handleEndOfStream();
  // The parsed-format part of handleAudioPackets() (the first step included).
  void handleParsedPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                           const AudioStreamPacketDescription* packetDescriptions);
  // The step shared by every format: marks that audio arrived and makes the queue. False when
  // the player is finishing.
  bool beginPackets(bool withDescriptions);

  // PURE hooks (audiostreamer_pure.cpp).
  enum class PureHeaderLoad {
    Loaded,   // all 16 bytes are there and the header is accepted
    Pending,  // fewer than 16 bytes have arrived so far; they are held for the next read
    Refused,  // the header failed the check (magic, version, or a rate outside 1..128)
  };
  // Reads what is there of the 16 header bytes from the read stream, keeping what has arrived
  // across calls: a network read returns only the bytes received so far.
  PureHeaderLoad loadHeader();
  bool createPureCodec();
  void handlePropertyChangeForPur();
  void handlePurePackets(const std::uint8_t* data, std::uint32_t numberBytes);
  void pureSeekOffset(double seconds);

  // Internal-thread helpers.
  // Makes the internal thread's loop start its next pass at once (any thread; nothing while no
  // loop runs).
  void wakeInternalThread();
  void setInternalRunLoop(RunLoop* loop);
  void closeReadStream();
  // lock_ held: the connection is lost (or a reopen was refused); the outage clock starts if it
  // does not run yet, and the next reopen is due after the back-off. An input that does not
  // reopen (a file) cannot be read any further: the track ends with error 7.
  void connectionLost();
  // A reply that must not be read as the track's bytes: a server error, or, when reopening,
  // anything but the continuation asked for (a whole file where a range was asked is taken, its
  // first bytes skipped). Looks once per reply.
  bool refusedReply(ReadStream& stream);
  void reconnect();
  void cleanUp();
  bool isInternalThread() const;
  // The options' clock.
  StreamerOptions::Clock::time_point now() const;
  // Internal thread: the bit rate from what was parsed so far (0 while unknown).
  double estimateBitRate();
  // Internal thread: publishes the numbers the read-outs serve (duration, bit rate).
  void publishReadouts();
  // Internal thread, lock_ held: makes the queue the one whose clock progress() reads.
  void publishQueue();

  // Each field says who may touch it:
  // - "immutable after start": set before the internal thread starts, then only read;
  // - "guarded by lock_": read and written with lock_ held (the main thread's controls use these);
  // - "internal thread only": read and written by the internal thread alone (lock_ may be held
  //   around them too, for the sake of the code around, but no other thread touches them);
  // - "published": atomics the internal thread writes for the main thread's read-outs, which
  //   never take a lock that a seek, a reopen or the clean-up holds.

  // immutable after start
  const std::unique_ptr<AudioInput> input_;  // used by the internal thread only
  const std::string url_;
  const StreamerOptions options_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // main thread; dropped first by the destructor
  // The weak reference to alive_ that other threads copy (never alive_ itself, which the destructor
  // resets on the main thread while they may run).
  const std::weak_ptr<int> aliveToken_{alive_};
  std::thread internalThread_;                       // main thread only: start() and shutdown()
  std::atomic<std::thread::id> internalThreadId_{};  // set first thing by the internal thread

  // guarded by lock_
  std::recursive_mutex lock_;
  std::shared_ptr<AudioQueue> audioQueue_;  // made by the internal thread; the controls drive it
  std::unique_ptr<ReadStream> stream_;      // the controls read its status on resume
  HttpHeaderFields httpHeaders_;
  std::int32_t err_ = 0;
  bool reConnect_ = false;
  bool queuePausedByCaller_ = false;

  // A seek request, handed to the internal thread without lock_ (a seek never waits for a pass of
  // the internal thread): the time is stored before the flag is raised, and the thread lowers the
  // flag before it reads the time, so the latest request is the one carried out.
  std::atomic<bool> seekWasRequested_{false};
  std::atomic<double> requestedSeekTime_{0.0};
  // guarded by runLoopMutex_, which is held for nothing longer than a wake-up (taken after lock_
  // when both are held)
  std::mutex runLoopMutex_;
  RunLoop* internalRunLoop_ = nullptr;  // the internal thread's loop while it runs (for wake-ups)
  // Written under lock_, read anywhere.
  std::atomic<StreamerState> state_{StreamerState::Idle};
  std::atomic<StopReason> stopReason_{StopReason::None};
  std::atomic<StreamerError> errorCode_{StreamerError::None};
  std::atomic<std::uint32_t> bitRate_{0};

  // published by the internal thread (read anywhere, without a lock)
  std::atomic<std::shared_ptr<AudioQueue>> clockQueue_;  // the queue whose clock progress() reads
  std::atomic<double> sampleRate_{0.0};
  std::atomic<double> seekTime_{0.0};      // time of the last seek, added to the queue's clock
  std::atomic<double> lastProgress_{0.0};  // also written by progress() on any thread
  std::atomic<double> duration_{0.0};
  std::atomic<double> calculatedBitRate_{0.0};
  std::atomic<bool> vbr_{false};
  std::atomic<std::uint32_t> numberOfChannels_{0};

  // written by the internal thread only while none of them is queued (made with the queue, before
  // the first enqueue; cleared after the queue is disposed of); read by the queue's thread in its
  // give-back, which runs only between those two (the queue's own lock orders them)
  std::array<AudioQueueBuffer*, kNumAQBufs> audioQueueBuffer_{};

  // internal thread only
  std::unique_ptr<AudioFileStream> audioFileStream_;
  AudioStreamBasicDescription asbd_{};
  std::array<AudioStreamPacketDescription, kAQMaxPacketDescs> packetDescs_{};
  std::uint32_t fillBufferIndex_ = 0;
  std::uint32_t packetBufferSize_ = 0;
  std::uint64_t bytesFilled_ = 0;
  std::uint64_t packetsFilled_ = 0;
  bool discontinuous_ = false;
  std::int64_t dataOffset_ = 0;
  std::int64_t fileLength_ = 0;
  std::int64_t seekByteOffset_ = 0;  // where the next request starts; grows with every byte read
  std::uint64_t audioDataByteCount_ = 0;
  std::uint64_t processedPacketsCount_ = 0;
  std::uint64_t processedPacketsSizeTotal_ = 0;
  double packetDuration_ = 0.0;
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

  // PURE (internal thread only)
  std::unique_ptr<PURE_CODEC_HANDLE, PureCodecDeleter> pCODEC_;
  PURE_HEADER pure_header_{};
  std::int32_t frame_bytes_ = 0;
  std::int32_t durationMS_ = 0;
  std::array<std::uint8_t, kPureMaxFrameBytes> frame_buffer_{};  // the header while it arrives
  std::uint32_t pureHeaderHeld_ = 0;  // header bytes held in frame_buffer_ while fewer than 16 came
  PureFramer pureFramer_;             // cuts the bytes after the header into whole frames
  std::vector<std::uint8_t> pureChunk_;

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
  // internal thread (the queue's thread does not take lock_ there).
  std::atomic<bool> bufferMismatch_{false};
};

}  // namespace tonvera
