#pragma once
// A real HTTP server on 127.0.0.1 with a free port, for tests. Register handlers on http() before
// start(); the server runs on its own threads until the object is destroyed.

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tonvera::test {

class TestServer {
 public:
  TestServer() = default;
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  httplib::Server& http() { return server_; }

  // Binds a free port on 127.0.0.1 and waits until the server accepts connections.
  void start();
  void stop();

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path
  std::string url(const std::string& path = "") const;

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

// A bare TCP listener on 127.0.0.1 with a free port. Accepting, it counts connections, keeps the
// first line of what each sends and answers every request with `reply`: a stand-in for a server of
// another protocol (nothing may ever connect to it) or an HTTP proxy (which sees the absolute request
// target). Not accepting, the kernel completes the handshakes and nobody ever reads or answers.
class RawListener {
 public:
  explicit RawListener(std::string reply, bool accepting = true);
  ~RawListener();
  RawListener(const RawListener&) = delete;
  RawListener& operator=(const RawListener&) = delete;

  int port() const { return port_; }
  int connections() const { return connections_.load(); }
  std::vector<std::string> requestLines() const;

 private:
  void serve();

  std::string reply_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::thread thread_;
};

}  // namespace tonvera::test
