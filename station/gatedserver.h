#pragma once
// The station's HTTP server: the HTTP library's request parsing, routing and replies, with the
// waiting taken out of the worker threads. A connection waits for its request head (and, kept
// alive, for its next request) in one epoll thread, at the cost of a file descriptor; only a
// complete head is handed to a worker. Slow or idle clients therefore never hold the workers that
// answer other clients and feed the streams:
// - a new connection has kRequestHeadTimeoutSeconds to send its request head, a kept-alive one
//   kIdleTimeoutSeconds to start its next request; then it is closed;
// - at most kMaxWaitingConnections wait at once; a new one beyond that closes the one waiting
//   longest.
// A head longer than kMaxRequestHeadBytes is handed on as it is (the library answers 414 or 400).
//
// Every answered request can be reported as one log line (see setRequestLog()).
//
// Threads: construct and configure on one thread; bind and listen_after_bind() as with
// httplib::Server; finish() on the thread that ran listen_after_bind(), after it returned.

#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tonvera::station {

// One answered request, as the request log shows it.
struct RequestLogEntry {
  std::chrono::system_clock::time_point time;  // when its head had arrived
  std::string client;                          // the peer's address
  std::string method;
  std::string target;  // path with query, as the client sent it
  int status = 0;
  std::uint64_t bytes = 0;  // body bytes sent (fewer than announced when the client left)
  std::chrono::microseconds duration{0};  // from its head to the last byte sent
};

// "2026-12-07T13:20:01.123Z 127.0.0.1 GET /path?q=1 200 5120 3.2ms" (UTC); control characters of
// the request's own text are written as \xHH so one request stays one line.
std::string formatRequestLogLine(const RequestLogEntry& entry);

class GatedServer : public httplib::Server {
 public:
  explicit GatedServer(int workers);
  ~GatedServer() override;
  GatedServer(const GatedServer&) = delete;
  GatedServer& operator=(const GatedServer&) = delete;

  // Closes the waiting connections, cuts the connections of the replies in progress (a stream
  // ends at its next write) and waits for the workers to finish them. Call after
  // listen_after_bind() returned (stop() makes it return).
  void finish();

  // Connections waiting for a request head at the moment.
  int waitingConnections() const;

  // Called on the worker thread after each answered request (set before listening; empty: none).
  void setRequestLog(std::function<void(const RequestLogEntry&)> log);

 private:
  // Called by the library's accept loop (on its thread, through an inline task queue) for every
  // accepted connection: hands it to the gate.
  bool process_and_close_socket(socket_t sock) override;

  struct Connection;
  struct Gate;
  // On a worker: answers the request whose head has arrived, then closes the connection or
  // hands it back to the gate to wait for the next one.
  void serve(const std::shared_ptr<Connection>& connection);

  std::unique_ptr<Gate> gate_;
  std::function<void(const RequestLogEntry&)> requestLog_;  // immutable while listening
};

}  // namespace tonvera::station
