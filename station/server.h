#pragma once
// tonvera-station's HTTP service: the channel catalogue, channel queues, the private channel,
// channel, album and artist pictures, track records, catalogue search, similar artists and usage
// reports, plus the streams, pictures and lyrics the replies point to.
//
// Requests are answered by a pool of worker threads once their head has arrived; connections
// wait for it without holding a thread (see gatedserver.h). Only ids ([a-z0-9]) taken from a request are
// looked up, in the library index; no request text is ever joined to a path. Files are streamed
// from disk in chunks; byte ranges are honoured (206, 416 past the end). Request bodies are
// bounded. Failures answer small JSON bodies: 400 for malformed input, 404 for unknown ids.
//
// Threads: construct, bind() and listen() on one thread (listen() blocks until stop()); stop(),
// setLibrary(), port(), openStreams() from any thread. After stop(), listen() closes the streams in
// progress before it returns. The destructor stops and waits.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "station/library.h"
#include "station/limits.h"

namespace tonvera::station {

struct StationOptions {
  std::string bindAddress = kDefaultBindAddress;
  int port = kDefaultPort;  // 0: any free port (see port())
  std::string dataDir;      // the usage-report log goes here; empty: reports are accepted, not kept
  int threads = kWorkerThreads;
  std::uint64_t seed = 0;   // queue shuffling; 0: random
  // --pure R: every track is also offered as PURE at rate R, coded into dataDir/pure on first
  // request (see purecache.h); its record lists the PURE stream first. 0: off.
  int pureRate = 0;
  // Receives one line per answered request (see formatRequestLogLine() in gatedserver.h), on the
  // worker thread that answered it. Empty: no request log.
  std::function<void(const std::string&)> requestLog;
};

class StationServer {
 public:
  StationServer(std::shared_ptr<const Library> library, StationOptions options);
  ~StationServer();
  StationServer(const StationServer&) = delete;
  StationServer& operator=(const StationServer&) = delete;

  // Binds the listening socket. False (and `error` set) when the address or port cannot be had.
  bool bind(std::string* error = nullptr);
  // The bound port (after bind()).
  int port() const;
  // Serves until stop(). Call after a successful bind().
  void listen();
  void stop();
  bool isRunning() const;

  // Replaces the library (after a rescan); requests already running keep the one they started with.
  void setLibrary(std::shared_ptr<const Library> library);
  std::shared_ptr<const Library> library() const;

  // Streams (audio, pictures and lyrics from disk) currently open.
  int openStreams() const;
  // Connections waiting for a request head (new or kept alive) at the moment.
  int waitingConnections() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The path of the usage-report log in `dataDir`.
std::string statsLogPath(const std::string& dataDir);

}  // namespace tonvera::station
