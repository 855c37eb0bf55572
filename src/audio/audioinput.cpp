// The HTTP input of the stream player.
#include "audio/audioinput.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "audio/audiostreamer.h"

namespace tonvera {

namespace {

bool isHttpUrl(const std::string& url) {
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

class HttpInput final : public AudioInput {
 public:
  explicit HttpInput(std::string url) : url_(std::move(url)) {}

  std::unique_ptr<ReadStream> open(const Request& request) override {
    if (!isHttpUrl(url_)) return nullptr;
    HttpHeaderFields fields;
    if (request.offset > 0 && request.length > 0) {
      char range[64];
      std::snprintf(range, sizeof range, "bytes=%" PRId64 "-%" PRId64, request.offset, request.length - 1);
      fields.emplace_back("Range", range);
    }
    // Redirects are followed, the proxy comes from the environment, and https certificates are
    // verified.
    auto stream = ReadStream::createForHttpRequest(url_, fields);
    if (!stream->open()) return nullptr;
    return stream;
  }
  bool reopens() const override { return true; }
  std::uint32_t typeHint(const ReadStream& stream) const override {
    const HttpHeaderFields fields = stream.responseHeaderFields();
    const std::string* type = findHeaderField(fields, "Content-Type");
    return AudioStreamer::hintForMIMEType(type ? *type : std::string());
  }
  std::int64_t length(const ReadStream& stream) const override {
    const HttpHeaderFields fields = stream.responseHeaderFields();
    const std::string* length = findHeaderField(fields, "Content-Length");
    const long long n = length ? std::strtoll(length->c_str(), nullptr, 10) : 0;
    return n > 0 ? n : 0;
  }
  const std::string& url() const override { return url_; }

 private:
  const std::string url_;
};

}  // namespace

std::unique_ptr<AudioInput> makeHttpInput(std::string url) {
  return std::make_unique<HttpInput>(std::move(url));
}

}  // namespace tonvera
