#include "test_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace tonvera::test {

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

RawListener::RawListener(std::string reply, bool accepting) : reply_(std::move(reply)) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 8) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("raw listener: cannot listen on 127.0.0.1");
  port_ = ntohs(addr.sin_port);
  if (accepting) thread_ = std::thread([this] { serve(); });
}

RawListener::~RawListener() {
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> RawListener::requestLines() const {
  std::lock_guard guard(mutex_);
  return lines_;
}

void RawListener::serve() {
  for (;;) {
    const int client = ::accept(fd_, nullptr, nullptr);
    if (client < 0) return;
    ++connections_;
    std::string got;
    char buf[4096];
    while (got.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard guard(mutex_);
      lines_.push_back(got.substr(0, got.find("\r\n")));
    }
    if (!reply_.empty()) (void)!::send(client, reply_.data(), reply_.size(), MSG_NOSIGNAL);
    ::shutdown(client, SHUT_RDWR);
    ::close(client);
  }
}

}  // namespace tonvera::test
