#pragma once
// Read streams driven by a run loop: an HTTP(S) GET over libcurl's multi interface, and a plain
// file. The owner opens a stream, sets a client, schedules it on the run loop of its thread and
// then runs that loop; the loop delivers the stream's events (open completed, has bytes, error,
// end) to the client, one event per turn.
//
//   auto stream = ReadStream::createForHttpRequest(url, {{"Range", "bytes=100-"}});
//   stream->open();
//   stream->setClient([](ReadStream& s, ReadStreamEvent e) { ... s.read(buf, 2048) ... });
//   stream->scheduleWithRunLoop(RunLoop::current());
//   while (RunLoop::current().runInMode(0.25) != RunLoop::Result::Finished) { ... }
//
// Back-pressure: an HTTP stream keeps at most a small buffer of received bytes; while its owner
// does not read, the transfer is paused, and nothing is read from the network while the owning
// thread is busy elsewhere (the network is only read inside runInMode()).
//
// Threads: a stream and the run loop it is scheduled on belong to one thread; only
// RunLoop::wakeUp() may be called from other threads.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tonvera {

class RunLoop;

enum class ReadStreamEvent { OpenCompleted, HasBytesAvailable, ErrorOccurred, EndEncountered };
enum class ReadStreamStatus { NotOpen, Opening, Open, AtEnd, Closed, Error };

using HttpHeaderFields = std::vector<std::pair<std::string, std::string>>;
// The value of the first field named `name` (compared without regard to case), or nothing.
const std::string* findHeaderField(const HttpHeaderFields& fields, const std::string& name);

class ReadStream {
 public:
  using Client = std::function<void(ReadStream&, ReadStreamEvent)>;

  // A GET request for `url` (http or https) with extra request header fields. Redirects are
  // followed, the proxy comes from the usual environment variables (http_proxy, https_proxy,
  // all_proxy, no_proxy) and server certificates are verified.
  static std::unique_ptr<ReadStream> createForHttpRequest(const std::string& url, const HttpHeaderFields& fields = {});
  // A stream over a local file.
  static std::unique_ptr<ReadStream> createWithFile(const std::string& path);

  virtual ~ReadStream();
  ReadStream(const ReadStream&) = delete;
  ReadStream& operator=(const ReadStream&) = delete;

  // Starts the stream; false when it cannot be started. An HTTP transfer begins once the stream
  // is scheduled; failures to connect arrive later as an error event.
  virtual bool open() = 0;
  void setClient(Client client) { client_ = std::move(client); }
  void scheduleWithRunLoop(RunLoop& loop);
  void unscheduleFromRunLoop();

  virtual bool hasBytesAvailable() = 0;
  // Copies at most `max` bytes: the count, 0 when none are there now, -1 after an error.
  virtual long read(std::uint8_t* buffer, std::size_t max) = 0;
  virtual ReadStreamStatus status() const = 0;
  virtual void close() = 0;

  // HTTP: the header fields of the final response (after redirects); empty before they arrive.
  virtual HttpHeaderFields responseHeaderFields() const { return {}; }
  // HTTP: the response's status code, 0 before it arrives.
  virtual long responseStatusCode() const { return 0; }
  // Files: moves the read position; false for streams that cannot.
  virtual bool setCurrentOffset(std::int64_t) { return false; }

 protected:
  ReadStream() = default;

 private:
  friend class RunLoop;
  // The next event to deliver, if any (the run loop asks once per turn).
  virtual bool takeEvent(ReadStreamEvent* event) = 0;
  virtual void attach(RunLoop&) {}
  virtual void detach(RunLoop&) {}

  Client client_;
  RunLoop* loop_ = nullptr;
};

// One per thread: the set of streams scheduled on that thread.
class RunLoop {
 public:
  enum class Result { Finished, HandledSource, TimedOut };

  // The calling thread's loop.
  static RunLoop& current();

  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Delivers at most one event and returns; waits for one at most `seconds`. Finished at once when
  // no stream is scheduled.
  Result runInMode(double seconds);
  // Makes a waiting runInMode() return early (TimedOut). Any thread.
  void wakeUp();

  bool hasSources() const { return !sources_.empty(); }

  // For the HTTP streams: the loop's curl multi handle (a CURLM*), made on first use.
  void* multiHandle();

 private:
  friend class ReadStream;
  RunLoop();
  void add(ReadStream* stream);
  void remove(ReadStream* stream);
  bool deliverOne();
  void performTransfers();

  bool consumeWakeUp();

  // owner thread only
  std::vector<ReadStream*> sources_;
  std::size_t nextSource_ = 0;  // round-robin start, so one busy stream cannot starve another
  // set once by the owner thread, read by wakeUp()
  std::atomic<void*> multi_{nullptr};
  // guarded by wakeMutex_
  std::mutex wakeMutex_;
  std::condition_variable wakeCondition_;
  bool woken_ = false;
};

}  // namespace tonvera
