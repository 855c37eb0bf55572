#pragma once
// Shared set-up of the station tests: the reduced demo library (generated once per test process
// into a temporary folder), and a station serving a library on a free port of 127.0.0.1.

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "service/jsonvalue.h"
#include "station/library.h"
#include "station/server.h"

namespace tonvera::station::test {

// The folder of the reduced demo library (generated on first use in this process).
const std::string& demoFolder();
// A scan of it (made once per process, without an index file).
std::shared_ptr<const Library> demoLibrary();
// A scratch folder for this process (removed at exit).
const std::string& scratchFolder();

// A station on 127.0.0.1 with a free port, serving until destroyed. The report log (and the PURE
// cache when `pureRate` is set) go to its own data folder; request log lines go to `requestLog`.
class RunningStation {
 public:
  explicit RunningStation(std::shared_ptr<const Library> library = demoLibrary(), int threads = 0,
                          int pureRate = 0, std::function<void(const std::string&)> requestLog = {});
  ~RunningStation();
  RunningStation(const RunningStation&) = delete;
  RunningStation& operator=(const RunningStation&) = delete;

  StationServer& server() { return *server_; }
  int port() const { return server_->port(); }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port()); }
  const std::string& dataDir() const { return dataDir_; }
  // A client of this station (keep-alive off, short time-outs).
  std::unique_ptr<httplib::Client> client() const;

 private:
  std::string dataDir_;
  std::unique_ptr<StationServer> server_;
  std::thread thread_;
};

// A new connection to 127.0.0.1:port that has sent `request` as it stands, or -1. A fixed
// `receiveBuffer` (bytes; 0: the kernel's, which grows) makes a client that stops reading stall
// the station's writes.
int openRequest(int port, const std::string& request, int receiveBuffer = 0);
// Reads from `fd` until `count` bytes have come, the peer closes, or 10 s pass per read.
std::string receive(int fd, std::size_t count = std::string::npos);
// Sends `request` over a new connection and answers everything read until the server closes it.
std::string rawExchange(int port, const std::string& request);
// The status code of a raw response ("HTTP/1.1 404 ..." -> 404), 0 when there is none.
int statusOf(const std::string& response);
// The status of a client's result, 0 when there was no response.
inline int statusOf(const httplib::Result& result) { return result ? result->status : 0; }
// The body of a raw response (after the blank line).
std::string bodyOf(const std::string& response);

}  // namespace tonvera::station::test
