#pragma once
// A real HTTP server on 127.0.0.1 with a free port, for tests. Register handlers on http() before
// start(); the server runs on its own threads until the object is destroyed.
//
//   tonvera::test::TestServer server;
//   server.http().Get("/x", [](const httplib::Request&, httplib::Response& res) { ... });
//   server.start();
//   fetch(server.url("/x"));

#include <httplib.h>

#include <string>
#include <thread>

namespace tonvera::test {

class TestServer {
 public:
  TestServer();
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

}  // namespace tonvera::test
