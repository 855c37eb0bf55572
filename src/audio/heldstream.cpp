// The head of a stream fetched ahead, and the player input that starts from it.
#include "audio/heldstream.h"

#include <algorithm>
#include <cstdlib>
#include <deque>

namespace tonvera {

bool HeldStream::usable() const {
  if (statusCode != 200 || bytes.empty()) return false;
  if (complete) return true;
  const std::string* ranges = findHeaderField(headers, "Accept-Ranges");
  return contentLength > static_cast<std::int64_t>(bytes.size()) && ranges && *ranges == "bytes";
}

namespace {

// A read stream over the held bytes: bytes until they are all read, then one end event; or, when
// they are only the head of the body, an error event, as a connection lost there would give. The bytes
// are kept in pieces, each let go as soon as it is read, so that what is held shrinks as the track
// plays instead of staying until the player ends.
class MemoryReadStream final : public ReadStream {
 public:
  static constexpr std::size_t kPieceBytes = 32 * 1024;

  explicit MemoryReadStream(const HeldStream& held)
      : headers_(held.headers), statusCode_(held.statusCode), complete_(held.complete) {
    for (std::size_t at = 0; at < held.bytes.size(); at += kPieceBytes) {
      const std::size_t n = std::min(kPieceBytes, held.bytes.size() - at);
      pieces_.emplace_back(held.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           held.bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
  }
  ~MemoryReadStream() override { unscheduleFromRunLoop(); }

  bool open() override {
    if (status_ != ReadStreamStatus::NotOpen) return false;
    status_ = ReadStreamStatus::Open;
    return true;
  }
  bool hasBytesAvailable() override { return status_ == ReadStreamStatus::Open && !pieces_.empty(); }
  long read(std::uint8_t* buffer, std::size_t max) override {
    if (status_ == ReadStreamStatus::Closed) return -1;
    if (!hasBytesAvailable()) return 0;
    armed_ = true;
    const auto& piece = pieces_.front();
    const std::size_t n = std::min(max, piece.size() - at_);
    std::copy_n(piece.data() + at_, n, buffer);
    at_ += n;
    if (at_ == piece.size()) {
      pieces_.pop_front();
      at_ = 0;
    }
    return static_cast<long>(n);
  }
  ReadStreamStatus status() const override { return status_; }
  void close() override {
    pieces_.clear();
    if (status_ != ReadStreamStatus::NotOpen) status_ = ReadStreamStatus::Closed;
  }
  HttpHeaderFields responseHeaderFields() const override { return headers_; }
  long responseStatusCode() const override { return statusCode_; }

 private:
  bool takeEvent(ReadStreamEvent* event) override {
    if (status_ != ReadStreamStatus::Open && status_ != ReadStreamStatus::AtEnd) return false;
    if (!openDelivered_) {
      openDelivered_ = true;
      *event = ReadStreamEvent::OpenCompleted;
      return true;
    }
    if (hasBytesAvailable()) {
      // Again only after the client has read: a client that does not read is not called in a loop.
      if (!armed_) return false;
      armed_ = false;
      *event = ReadStreamEvent::HasBytesAvailable;
      return true;
    }
    if (status_ == ReadStreamStatus::Open) {
      status_ = complete_ ? ReadStreamStatus::AtEnd : ReadStreamStatus::Error;
      *event = complete_ ? ReadStreamEvent::EndEncountered : ReadStreamEvent::ErrorOccurred;
      return true;
    }
    return false;
  }

  const HttpHeaderFields headers_;
  const long statusCode_;
  const bool complete_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  std::size_t at_ = 0;  // read position in the first piece
  ReadStreamStatus status_ = ReadStreamStatus::NotOpen;
  bool openDelivered_ = false;
  bool armed_ = true;
};

// The held input: the memory stream for the track's first request, the HTTP input for the rest.
class HeldInput final : public AudioInput {
 public:
  explicit HeldInput(std::shared_ptr<const HeldStream> held)
      : held_(std::move(held)), http_(makeHttpInput(held_ ? held_->url : std::string())) {}

  std::unique_ptr<ReadStream> open(const Request& request) override {
    std::shared_ptr<const HeldStream> held = std::move(held_);  // only the first request is served from memory
    if (!held || request.offset != 0 || request.continuing) return http_->open(request);
    auto stream = std::make_unique<MemoryReadStream>(*held);
    held.reset();  // the input held the last reference: the pieces are all that is left
    stream->open();
    return stream;
  }
  bool reopens() const override { return true; }
  std::uint32_t typeHint(const ReadStream& stream) const override { return http_->typeHint(stream); }
  std::int64_t length(const ReadStream& stream) const override { return http_->length(stream); }
  const std::string& url() const override { return http_->url(); }

 private:
  std::shared_ptr<const HeldStream> held_;  // until the first request
  const std::unique_ptr<AudioInput> http_;
};

}  // namespace

std::unique_ptr<AudioInput> makeHeldInput(std::shared_ptr<const HeldStream> held) {
  return std::make_unique<HeldInput>(std::move(held));
}

// The same HTTP read stream as the players', on this thread's own run loop, until enough is held,
// the body ends, the request fails or `cancel` is set.
std::optional<HeldStream> fetchHeldStream(const std::string& url, std::size_t maxBytes,
                                          const std::atomic<bool>& cancel) {
  auto stream = ReadStream::createForHttpRequest(url);
  if (!stream->open()) return std::nullopt;
  HeldStream held;
  held.url = url;
  held.bytes.reserve(std::min<std::size_t>(maxBytes, 64 * 1024));
  enum class End { None, Complete, Failed } end = End::None;
  stream->setClient([&](ReadStream& s, ReadStreamEvent event) {
    if (event == ReadStreamEvent::EndEncountered) end = End::Complete;
    if (event == ReadStreamEvent::ErrorOccurred) end = End::Failed;
    if (event != ReadStreamEvent::HasBytesAvailable) return;
    std::uint8_t chunk[16 * 1024];
    while (held.bytes.size() < maxBytes) {
      const long n = s.read(chunk, std::min(sizeof chunk, maxBytes - held.bytes.size()));
      if (n <= 0) break;
      held.bytes.insert(held.bytes.end(), chunk, chunk + n);
    }
  });
  RunLoop& loop = RunLoop::current();
  stream->scheduleWithRunLoop(loop);
  const auto deadline = std::chrono::steady_clock::now() + kHeldStreamTimeout;
  // Enough is held once the limit is reached and more is coming: the connection is then closed.
  auto full = [&] { return held.bytes.size() >= maxBytes && stream->hasBytesAvailable(); };
  while (end == End::None && !full()) {
    if (cancel.load() || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    loop.runInMode(0.05);
  }
  if (cancel.load() || end == End::Failed) return std::nullopt;
  held.statusCode = stream->responseStatusCode();
  held.headers = stream->responseHeaderFields();
  stream.reset();
  if (const std::string* length = findHeaderField(held.headers, "Content-Length")) {
    held.contentLength = std::max<long long>(0, std::strtoll(length->c_str(), nullptr, 10));
  }
  held.complete = end == End::Complete || (held.contentLength > 0 &&
                                           held.contentLength == static_cast<std::int64_t>(held.bytes.size()));
  held.bytes.shrink_to_fit();
  return held;
}

}  // namespace tonvera
