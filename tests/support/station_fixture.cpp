#include "station_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <stdexcept>

#include "station/demo.h"
#include "station/scanner.h"

namespace tonvera::station::test {

const std::string& scratchFolder() {
  static QTemporaryDir dir;
  static const std::string path =
      dir.isValid() ? dir.path().toStdString() : throw std::runtime_error("no temporary folder");
  return path;
}

const std::string& demoFolder() {
  static const std::string folder = [] {
    const std::string path = scratchFolder() + "/demo";
    DemoOptions options;
    options.reduced = true;
    std::string error;
    if (!generateDemoLibrary(path, options, &error)) throw std::runtime_error("demo library: " + error);
    return path;
  }();
  return folder;
}

std::shared_ptr<const Library> demoLibrary() {
  static const std::shared_ptr<const Library> library = [] {
    std::string error;
    auto lib = scanLibrary(demoFolder(), "", nullptr, &error);
    if (!lib) throw std::runtime_error("scan: " + error);
    return lib;
  }();
  return library;
}

RunningStation::RunningStation(std::shared_ptr<const Library> library, int threads, int pureRate,
                               std::function<void(const std::string&)> requestLog) {
  static int count = 0;
  dataDir_ = scratchFolder() + "/station-data-" + std::to_string(++count);
  QDir().mkpath(QString::fromStdString(dataDir_));
  StationOptions options;
  options.port = 0;
  options.dataDir = dataDir_;
  options.seed = 42;
  if (threads > 0) options.threads = threads;
  options.pureRate = pureRate;
  options.requestLog = std::move(requestLog);
  server_ = std::make_unique<StationServer>(std::move(library), options);
  std::string error;
  if (!server_->bind(&error)) throw std::runtime_error(error);
  // The socket listens from bind() on: connections made before the accept loop runs wait in the
  // backlog, so nothing needs to wait for the thread.
  thread_ = std::thread([this] { server_->listen(); });
}

RunningStation::~RunningStation() {
  server_->stop();
  thread_.join();
}

std::unique_ptr<httplib::Client> RunningStation::client() const {
  auto c = std::make_unique<httplib::Client>("127.0.0.1", port());
  c->set_keep_alive(false);
  c->set_connection_timeout(5, 0);
  c->set_read_timeout(10, 0);
  return c;
}

int openRequest(int port, const std::string& request, int receiveBuffer) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string receive(int fd, std::size_t count) {
  std::string bytes;
  char buffer[16 * 1024];
  while (bytes.size() < count) {
    const auto n = ::recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::string rawExchange(int port, const std::string& request) {
  const int fd = openRequest(port, request);
  if (fd < 0) return {};
  std::string response = receive(fd);
  ::close(fd);
  return response;
}

int statusOf(const std::string& response) {
  if (response.rfind("HTTP/1.", 0) != 0 || response.size() < 12) return 0;
  return std::atoi(response.substr(9, 3).c_str());
}

std::string bodyOf(const std::string& response) {
  const auto end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

}  // namespace tonvera::station::test
