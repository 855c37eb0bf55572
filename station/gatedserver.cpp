#include "station/gatedserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "station/limits.h"

namespace tonvera::station {

using Clock = std::chrono::steady_clock;

namespace {

// Runs each task at once on the thread that enqueues it. The library's accept loop enqueues one
// task per connection, and ours only hands the connection to the gate.
class InlineQueue : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override { fn(); }
  void shutdown() override {}
};

bool waitFor(int fd, short events, time_t seconds, time_t microseconds) {
  pollfd p{fd, events, 0};
  const int timeoutMs = static_cast<int>(seconds * 1000 + microseconds / 1000);
  for (;;) {
    const int n = ::poll(&p, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 && !(p.revents & POLLNVAL);
  }
}

void addressOf(int fd, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                      : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ip.clear();
  port = 0;
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    port = ntohs(v4->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    port = ntohs(v6->sin6_port);
  }
  ip = text;
}

// What the library's logger saw of the request a worker is answering (one per worker thread).
struct AnsweredRequest {
  bool answered = false;
  std::string client, method, target;
  int status = 0;
};
thread_local AnsweredRequest* tAnswering = nullptr;

void appendEscaped(std::string& out, const std::string& text) {
  for (const unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
}

}  // namespace

std::string formatRequestLogLine(const RequestLogEntry& entry) {
  using namespace std::chrono;
  const auto sinceEpoch = entry.time.time_since_epoch();
  const std::time_t seconds = duration_cast<std::chrono::seconds>(sinceEpoch).count();
  const auto millis = duration_cast<milliseconds>(sinceEpoch).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char time[80];
  std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  std::string line = time;
  appendEscaped(line, entry.client);
  line += ' ';
  appendEscaped(line, entry.method);
  line += ' ';
  appendEscaped(line, entry.target);
  char tail[64];
  std::snprintf(tail, sizeof tail, " %d %llu %.1fms", entry.status, static_cast<unsigned long long>(entry.bytes),
                static_cast<double>(entry.duration.count()) / 1000.0);
  return line + tail;
}

// One client connection. Owned by the gate while it waits, by a worker while it is served.
struct GatedServer::Connection {
  explicit Connection(int fd) : fd(fd) {}
  ~Connection() {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const int fd;
  Clock::time_point deadline;  // while waiting
  std::size_t headBytes = 0;   // length of the request head found by the gate
  std::size_t served = 0;      // requests answered so far
};

namespace {

// The library's view of a connection. Reads of the request head come from the gate's count of
// bytes, so nothing past the head is read ahead and the next request stays in the socket; the
// rest is read as asked.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(int fd, std::size_t headBytes, time_t readSec, time_t readUsec, time_t writeSec,
                   time_t writeUsec)
      : fd_(fd),
        headLeft_(headBytes),
        readSec_(readSec),
        readUsec_(readUsec),
        writeSec_(writeSec),
        writeUsec_(writeUsec) {}

  bool is_readable() const override {
    return begin_ < buffer_.size() || waitFor(fd_, POLLIN, readSec_, readUsec_);
  }
  bool is_writable() const override { return waitFor(fd_, POLLOUT, writeSec_, writeUsec_); }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == buffer_.size() && headLeft_ > 0) {
      buffer_.resize(std::min<std::size_t>(headLeft_, 8192));
      begin_ = 0;
      const ssize_t got = receive(buffer_.data(), buffer_.size());
      if (got <= 0) {
        buffer_.clear();
        return got;
      }
      buffer_.resize(static_cast<std::size_t>(got));
      headLeft_ -= static_cast<std::size_t>(got);
    }
    if (begin_ < buffer_.size()) {
      const std::size_t n = std::min(size, buffer_.size() - begin_);
      std::memcpy(ptr, buffer_.data() + begin_, n);
      begin_ += n;
      return static_cast<ssize_t>(n);
    }
    return receive(ptr, size);
  }

  ssize_t write(const char* ptr, size_t size) override {
    for (;;) {
      if (!is_writable()) return -1;
      const ssize_t sent = ::send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent >= 0) {
        countSent(std::string_view(ptr, size), sent);
        return sent;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    }
  }

  // Body bytes of the response sent so far.
  std::uint64_t bodyBytesSent() const { return bodyBytes_; }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { addressOf(fd_, true, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { addressOf(fd_, false, ip, port); }
  socket_t socket() const override { return fd_; }

 private:
  ssize_t receive(char* ptr, std::size_t size) {
    for (;;) {
      if (!waitFor(fd_, POLLIN, readSec_, readUsec_)) return -1;
      const ssize_t got = ::recv(fd_, ptr, size, MSG_DONTWAIT);
      if (got >= 0) return got;
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    }
  }

  // The library writes a response's head in one piece (after an interim "100 Continue", if any);
  // everything written after it is body.
  void countSent(std::string_view data, ssize_t sent) {
    if (headSent_)
      bodyBytes_ += static_cast<std::uint64_t>(sent);
    else if (!data.starts_with("HTTP/1.1 1"))
      headSent_ = true;
  }

  int fd_;
  std::size_t headLeft_;
  bool headSent_ = false;
  std::uint64_t bodyBytes_ = 0;
  std::string buffer_;
  std::size_t begin_ = 0;
  time_t readSec_, readUsec_, writeSec_, writeUsec_;
};

}  // namespace

struct GatedServer::Gate {
  explicit Gate(int workers) : pool(static_cast<std::size_t>(workers)) {
    epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wakeFd;
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &event);
  }
  ~Gate() {
    ::close(epollFd);
    ::close(wakeFd);
  }

  // immutable after construction
  int epollFd = -1;
  int wakeFd = -1;  // wakes the gate thread to stop
  httplib::ThreadPool pool;
  std::thread thread;
  std::atomic<bool> stopping{false};

  std::mutex mutex;
  std::unordered_map<int, std::shared_ptr<Connection>> waiting;  // guarded by mutex, by fd
  std::unordered_set<int> serving;  // guarded by mutex: fds of the connections workers are answering

  // Starts waiting for the next request head on `connection` (from any thread).
  void park(std::shared_ptr<Connection> connection, int timeoutSeconds) {
    if (stopping) return;  // dropping the last owner closes it
    connection->deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    std::lock_guard lock(mutex);
    if (waiting.size() >= kMaxWaitingConnections) {
      auto oldest = waiting.begin();
      for (auto it = waiting.begin(); it != waiting.end(); ++it)
        if (it->second->deadline < oldest->second->deadline) oldest = it;
      ::epoll_ctl(epollFd, EPOLL_CTL_DEL, oldest->first, nullptr);
      waiting.erase(oldest);
    }
    epoll_event event{};
    // Edge-triggered: a head that is still incomplete is looked at again only when more arrives.
    // Adding reports the bytes already there (a request sent while the last one was answered).
    event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    event.data.fd = connection->fd;
    if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, connection->fd, &event) == 0)
      waiting.emplace(connection->fd, std::move(connection));
  }

  void run(GatedServer& server);
};

void GatedServer::Gate::run(GatedServer& server) {
  std::vector<epoll_event> events(256);
  std::string peek(kMaxRequestHeadBytes, '\0');
  auto lastSweep = Clock::now();
  while (!stopping) {
    const int n = ::epoll_wait(epollFd, events.data(), static_cast<int>(events.size()), 250);
    if (stopping) break;
    for (int i = 0; i < n; ++i) {
      const int fd = events[static_cast<std::size_t>(i)].data.fd;
      if (fd == wakeFd) continue;
      const bool hungUp = events[static_cast<std::size_t>(i)].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR);
      const ssize_t got = ::recv(fd, peek.data(), peek.size(), MSG_PEEK | MSG_DONTWAIT);
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      std::size_t headBytes = 0;
      if (got > 0) {
        const auto end = std::string_view(peek.data(), static_cast<std::size_t>(got)).find("\r\n\r\n");
        if (end != std::string_view::npos) {
          headBytes = end + 4;
        } else if (static_cast<std::size_t>(got) >= peek.size()) {
          headBytes = peek.size();  // too long to wait for: the library answers it
        } else if (!hungUp) {
          continue;  // incomplete: wait for more
        }
      }
      std::shared_ptr<Connection> connection;
      {
        std::lock_guard lock(mutex);
        auto it = waiting.find(fd);
        if (it == waiting.end()) continue;
        connection = std::move(it->second);
        waiting.erase(it);
        ::epoll_ctl(epollFd, EPOLL_CTL_DEL, fd, nullptr);
      }
      if (headBytes == 0) continue;  // closed by the client, or failed: dropping it closes it
      connection->headBytes = headBytes;
      pool.enqueue([&server, connection] { server.serve(connection); });
    }
    const auto now = Clock::now();
    if (now - lastSweep >= std::chrono::milliseconds(250)) {
      lastSweep = now;
      std::lock_guard lock(mutex);
      for (auto it = waiting.begin(); it != waiting.end();) {
        if (it->second->deadline <= now) {
          ::epoll_ctl(epollFd, EPOLL_CTL_DEL, it->first, nullptr);
          it = waiting.erase(it);
        } else {
          ++it;
        }
      }
    }
  }
  std::lock_guard lock(mutex);
  waiting.clear();
}

GatedServer::GatedServer(int workers)
    : gate_(std::make_unique<Gate>(workers > 0 ? workers : kWorkerThreads)) {
  new_task_queue = [] { return new InlineQueue; };
  set_keep_alive_timeout(kIdleTimeoutSeconds);  // told to clients in the Keep-Alive header
  gate_->thread = std::thread([this] { gate_->run(*this); });
}

GatedServer::~GatedServer() { finish(); }

void GatedServer::finish() {
  if (!gate_->thread.joinable()) return;
  gate_->stopping = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(gate_->wakeFd, &one, sizeof one);
  gate_->thread.join();
  {
    // Replies in progress (streams that could go on for minutes) end at their next write; the
    // worker then closes the connection as usual.
    std::lock_guard lock(gate_->mutex);
    for (const int fd : gate_->serving) ::shutdown(fd, SHUT_RDWR);
  }
  gate_->pool.shutdown();
  std::lock_guard lock(gate_->mutex);
  gate_->waiting.clear();  // any handed back while the workers finished
}

int GatedServer::waitingConnections() const {
  std::lock_guard lock(gate_->mutex);
  return static_cast<int>(gate_->waiting.size());
}

bool GatedServer::process_and_close_socket(socket_t sock) {
  gate_->park(std::make_shared<Connection>(sock), kRequestHeadTimeoutSeconds);
  return true;
}

void GatedServer::setRequestLog(std::function<void(const RequestLogEntry&)> log) {
  requestLog_ = std::move(log);
  // The library calls its logger on the worker, once the response is written (or given up).
  set_logger([](const httplib::Request& req, const httplib::Response& res) {
    if (AnsweredRequest* seen = tAnswering) {
      seen->answered = true;
      seen->client = req.remote_addr;
      seen->method = req.method;
      seen->target = req.target;
      seen->status = res.status;
    }
  });
}

void GatedServer::serve(const std::shared_ptr<Connection>& connection) {
  ConnectionStream stream(connection->fd, connection->headBytes, read_timeout_sec_, read_timeout_usec_,
                          write_timeout_sec_, write_timeout_usec_);
  const bool last = gate_->stopping || connection->served + 1 >= keep_alive_max_count_;
  bool closedByClient = false;
  {
    std::lock_guard lock(gate_->mutex);
    if (gate_->stopping) return;
    gate_->serving.insert(connection->fd);
  }
  AnsweredRequest seen;
  const auto wallBegan = std::chrono::system_clock::now();
  const auto began = Clock::now();
  tAnswering = requestLog_ ? &seen : nullptr;
  const bool ok = process_request(stream, last, closedByClient, nullptr);
  tAnswering = nullptr;
  {
    std::lock_guard lock(gate_->mutex);
    gate_->serving.erase(connection->fd);
  }
  if (seen.answered) {
    requestLog_(RequestLogEntry{wallBegan, std::move(seen.client), std::move(seen.method), std::move(seen.target),
                                seen.status, stream.bodyBytesSent(),
                                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began)});
  }
  ++connection->served;
  if (ok && !closedByClient && !last) gate_->park(connection, kIdleTimeoutSeconds);
}

}  // namespace tonvera::station
