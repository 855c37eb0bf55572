#include "test_server.h"

#include <chrono>
#include <stdexcept>

namespace tonvera::test {

TestServer::TestServer() = default;

TestServer::~TestServer() { stop(); }

void TestServer::start() {
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("test server: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // listen_after_bind() sets the running flag before it accepts; wait for it.
  for (int i = 0; i < 5000 && !server_.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TestServer::stop() {
  if (thread_.joinable()) {
    server_.stop();
    thread_.join();
  }
}

std::string TestServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace tonvera::test
