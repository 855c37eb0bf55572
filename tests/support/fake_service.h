// A music service on 127.0.0.1 for the track, artist and taste tests: serves fixed replies by path,
// counts the requests per path, and points TONVERA_SERVICE_URL at itself while it lives.
#pragma once

#include <QImage>
#include <map>
#include <mutex>
#include <string>

#include "test_server.h"

namespace tonvera::test {

class FakeService {
 public:
  FakeService();
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  // Replies to GET `path` (decoded path, without the query) with `body`; unknown paths get 404.
  void serve(const std::string& path, std::string body, std::string contentType = "application/json");
  // A picture file at `path` in `format` ("PNG", "JPG"); answers the bytes served.
  std::string servePicture(const std::string& path, const QImage& picture, const char* format = "PNG");
  // The album or artist picture-info reply {"h": <url of picturePath>} at `infoPath`.
  void servePictureInfo(const std::string& infoPath, const std::string& picturePath);

  // Requests received for `path` so far, and in total.
  int hits(const std::string& path) const;
  int totalHits() const;
  // The raw request target (path and query, as sent) of the last request for `path`.
  std::string lastTarget(const std::string& path) const;

  std::string url(const std::string& path = "") const { return server_.url(path); }

 private:
  struct Reply {
    std::string body;
    std::string contentType;
  };
  TestServer server_;
  mutable std::mutex mutex_;
  std::map<std::string, Reply> replies_;        // guarded by mutex_
  std::map<std::string, int> hits_;             // guarded by mutex_
  std::map<std::string, std::string> targets_;  // guarded by mutex_
  int total_ = 0;                               // guarded by mutex_
};

// A picture whose every pixel encodes its row and column, so bands and mirrors can be checked:
// red = row % 256, green = column % 256, blue = (row / 256) * 16 + column / 256, opaque.
QImage coordinatePicture(int width, int height);

}  // namespace tonvera::test
