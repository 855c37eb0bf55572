// The head of a stream fetched ahead, and the player that starts from it.
#include "audio/heldstream.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "platform/log.h"
#include "platform/net/curlsetup.h"

namespace tonvera {

bool HeldStream::usable() const {
  if (statusCode != 200 || bytes.empty()) return false;
  if (complete) return true;
  const std::string* ranges = findHeaderField(headers, "Accept-Ranges");
  return contentLength > static_cast<std::int64_t>(bytes.size()) && ranges && *ranges == "bytes";
}

namespace {

struct Fetch {
  HeldStream* out;
  std::size_t maxBytes;
  const std::atomic<bool>* cancel;
  bool full = false;  // the limit cut the body short
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* f = static_cast<Fetch*>(self);
  const std::size_t n = size * count;
  std::string line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {
    // A new response (after a redirect or an interim reply): its fields replace the earlier ones.
    f->out->headers.clear();
  } else if (const auto colon = line.find(':'); colon != std::string::npos) {
    std::string value = line.substr(colon + 1);
    const auto first = value.find_first_not_of(" \t");
    value = first == std::string::npos ? std::string() : value.substr(first);
    f->out->headers.emplace_back(line.substr(0, colon), value);
  }
  return n;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* f = static_cast<Fetch*>(self);
  const std::size_t n = size * count;
  if (f->cancel->load()) return 0;  // aborts the transfer
  auto& bytes = f->out->bytes;
  const std::size_t take = std::min(n, f->maxBytes - bytes.size());
  bytes.insert(bytes.end(), reinterpret_cast<const std::uint8_t*>(data),
               reinterpret_cast<const std::uint8_t*>(data) + take);
  if (take < n) {
    f->full = true;
    return 0;  // enough is held: the connection is closed
  }
  return n;
}

int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Fetch*>(self)->cancel->load() ? 1 : 0;
}

// A read stream over the held bytes: bytes until they are all read, then one end event. The bytes
// are kept in pieces, each let go as soon as it is read, so that what is held shrinks as the track
// plays instead of staying until the player ends.
class MemoryReadStream final : public ReadStream {
 public:
  static constexpr std::size_t kPieceBytes = 32 * 1024;

  explicit MemoryReadStream(const HeldStream& held) : headers_(held.headers), statusCode_(held.statusCode) {
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
      status_ = ReadStreamStatus::AtEnd;
      *event = ReadStreamEvent::EndEncountered;
      return true;
    }
    return false;
  }

  const HttpHeaderFields headers_;
  const long statusCode_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  std::size_t at_ = 0;  // read position in the first piece
  ReadStreamStatus status_ = ReadStreamStatus::NotOpen;
  bool openDelivered_ = false;
  bool armed_ = true;
};

}  // namespace

std::optional<HeldStream> fetchHeldStream(const std::string& url, std::size_t maxBytes,
                                          const std::atomic<bool>& cancel) {
  CurlEasy handle = makeCurlEasy(CurlSetup{.followRedirects = true, .timeout = kHeldStreamTimeout});
  if (!handle) return std::nullopt;
  HeldStream held;
  held.url = url;
  held.bytes.reserve(std::min<std::size_t>(maxBytes, 64 * 1024));
  Fetch fetch{&held, maxBytes, &cancel};
  CURL* easy = handle.get();
  if (curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) != CURLE_OK) return std::nullopt;
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Tonvera/0.1");
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &fetch);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &fetch);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &fetch);
  const CURLcode result = curl_easy_perform(easy);
  if (cancel.load()) return std::nullopt;
  if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && fetch.full)) return std::nullopt;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &held.statusCode);
  if (const std::string* length = findHeaderField(held.headers, "Content-Length")) {
    held.contentLength = std::max<long long>(0, std::strtoll(length->c_str(), nullptr, 10));
  }
  held.complete = result == CURLE_OK || (held.contentLength > 0 &&
                                         held.contentLength == static_cast<std::int64_t>(held.bytes.size()));
  held.bytes.shrink_to_fit();
  return held;
}

HeldStreamer::HeldStreamer(std::shared_ptr<const HeldStream> held, StreamerOptions options)
    : AudioStreamer(held ? held->url : std::string(), std::move(options)), held_(std::move(held)) {}

HeldStreamer::~HeldStreamer() { shutdown(); }

bool HeldStreamer::openReadStream() {
  std::shared_ptr<const HeldStream> held;
  {
    std::lock_guard guard(lock_);
    held = std::move(held_);  // only the track's first request is served from memory
    memory_ = nullptr;
    if (!held || seekByteOffset_ != 0 || stream_) return AudioStreamer::openReadStream();
  }
  std::lock_guard guard(lock_);
  contractAssert(isInternalThread(), "File stream download must be started on the internalThread");
  heldComplete_ = held->complete;
  heldLength_ = held->contentLength;
  auto stream = std::make_unique<MemoryReadStream>(*held);
  held.reset();  // the player held the last reference: the pieces are all that is left
  setState(StreamerState::WaitingForData);
  stream->open();
  stream->setClient([this](ReadStream& s, ReadStreamEvent event) { handleReadFromStream(s, event); });
  stream->scheduleWithRunLoop(RunLoop::current());
  memory_ = stream.get();
  stream_ = std::move(stream);
  rangeAsked_ = false;
  continuationAsked_ = false;
  skipReplyBytes_ = 0;
  replyChecked_ = false;
  return true;
}

void HeldStreamer::handleReadFromStream(ReadStream& stream, ReadStreamEvent event) {
  if (event == ReadStreamEvent::EndEncountered && &stream == memory_) {
    memory_ = nullptr;
    if (!heldComplete_) {
      continueOverNetwork();
      return;
    }
  }
  AudioStreamer::handleReadFromStream(stream, event);
}

void HeldStreamer::continueOverNetwork() {
  std::lock_guard guard(lock_);
  if (isFinishing()) return;
  closeReadStream();
  // The rest of the body, from the first byte not read, as a reopen after a loss asks for it: the
  // parser goes on as if the bytes had come in one piece, and a reply that is not that range is
  // refused or skipped up to the byte wanted.
  continuingStream_ = true;
  const bool opened = AudioStreamer::openReadStream();
  continuingStream_ = false;
  if (!opened) connectionLost();  // left to the reopening, which continues from the same byte
}

}  // namespace tonvera
