#include "fake_service.h"

#include <QBuffer>
#include <cstdlib>

namespace tonvera::test {

FakeService::FakeService() {
  server_.http().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    ++hits_[req.path];
    ++total_;
    targets_[req.path] = req.target;
    auto it = replies_.find(req.path);
    if (it == replies_.end()) {
      res.status = 404;
      res.set_content("not here", "text/plain");
      return;
    }
    res.set_content(it->second.body, it->second.contentType.c_str());
  });
  server_.start();
  ::setenv("TONVERA_SERVICE_URL", server_.url().c_str(), 1);
}

FakeService::~FakeService() {
  ::unsetenv("TONVERA_SERVICE_URL");
  server_.stop();
}

void FakeService::serve(const std::string& path, std::string body, std::string contentType) {
  std::lock_guard lock(mutex_);
  replies_[path] = Reply{std::move(body), std::move(contentType)};
}

std::string FakeService::servePicture(const std::string& path, const QImage& picture, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, format);
  serve(path, bytes.toStdString(), "application/octet-stream");
  return bytes.toStdString();
}

void FakeService::servePictureInfo(const std::string& infoPath, const std::string& picturePath) {
  serve(infoPath, "{\"h\":\"" + url(picturePath) + "\",\"w\":null}");
}

int FakeService::hits(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = hits_.find(path);
  return it == hits_.end() ? 0 : it->second;
}

int FakeService::totalHits() const {
  std::lock_guard lock(mutex_);
  return total_;
}

std::string FakeService::lastTarget(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = targets_.find(path);
  return it == targets_.end() ? std::string() : it->second;
}

QImage coordinatePicture(int width, int height) {
  QImage picture(width, height, QImage::Format_RGBA8888);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.setPixelColor(x, y, QColor(y % 256, x % 256, (y / 256) * 16 + x / 256));
    }
  }
  return picture;
}

}  // namespace tonvera::test
