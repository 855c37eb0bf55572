#include "platform/net/httpreadstream.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>

#include "platform/net/curlsetup.h"

namespace tonvera {

std::unique_ptr<ReadStream> ReadStream::createForHttpRequest(const std::string& url, const HttpHeaderFields& fields) {
  return std::make_unique<HttpReadStream>(url, fields);
}

HttpReadStream::HttpReadStream(std::string url, HttpHeaderFields fields)
    : url_(std::move(url)), requestFields_(std::move(fields)) {}

HttpReadStream::~HttpReadStream() {
  unscheduleFromRunLoop();
  close();
}

bool HttpReadStream::open() {
  if (status_ != ReadStreamStatus::NotOpen) return false;
  CurlEasy handle = makeCurlEasy(CurlSetup{.followRedirects = true, .timeout = std::chrono::milliseconds(0)});
  if (!handle) return false;
  CURL* easy = handle.release();
  easy_ = easy;
  curl_slist* list = nullptr;
  for (const auto& [name, value] : requestFields_) {
    list = curl_slist_append(list, (name + ": " + value).c_str());
  }
  requestList_ = list;
  bool ok = curl_easy_setopt(easy, CURLOPT_URL, url_.c_str()) == CURLE_OK;
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  // One request per stream: the connection is not kept for another.
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Tonvera/0.1");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpReadStream::onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpReadStream::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
  if (!ok) {
    close();
    status_ = ReadStreamStatus::NotOpen;
    return false;
  }
  status_ = ReadStreamStatus::Opening;
  return true;
}

void HttpReadStream::attach(RunLoop& loop) {
  if (!easy_ || multi_ || done_ || status_ == ReadStreamStatus::Closed) return;
  multi_ = loop.multiHandle();
  if (!multi_ || curl_multi_add_handle(static_cast<CURLM*>(multi_), static_cast<CURL*>(easy_)) != CURLM_OK) {
    multi_ = nullptr;
    done_ = true;
    result_ = CURLE_FAILED_INIT;
  }
}

void HttpReadStream::detach(RunLoop&) {
  if (multi_ && easy_) curl_multi_remove_handle(static_cast<CURLM*>(multi_), static_cast<CURL*>(easy_));
  multi_ = nullptr;
}

void HttpReadStream::close() {
  if (multi_ && easy_) curl_multi_remove_handle(static_cast<CURLM*>(multi_), static_cast<CURL*>(easy_));
  multi_ = nullptr;
  if (easy_) curl_easy_cleanup(static_cast<CURL*>(easy_));
  easy_ = nullptr;
  if (requestList_) curl_slist_free_all(static_cast<curl_slist*>(requestList_));
  requestList_ = nullptr;
  buffer_.clear();
  if (status_ != ReadStreamStatus::NotOpen) status_ = ReadStreamStatus::Closed;
}

std::size_t HttpReadStream::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* s = static_cast<HttpReadStream*>(self);
  const std::size_t n = size * count;
  std::string line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {
    // A new response (after a redirect or an interim reply): its fields replace the earlier ones.
    s->fields_.clear();
    s->headersComplete_ = false;
    const auto space = line.find(' ');
    s->statusCode_ = space == std::string::npos ? 0 : std::strtol(line.c_str() + space + 1, nullptr, 10);
  } else if (line.empty()) {
    // The end of one response's header; redirects and interim replies are followed by another.
    const bool interim = s->statusCode_ >= 100 && s->statusCode_ < 200;
    const bool redirect = s->statusCode_ >= 300 && s->statusCode_ < 400 && findHeaderField(s->fields_, "Location");
    if (!interim && !redirect) s->headersComplete_ = true;
  } else {
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      const auto first = value.find_first_not_of(" \t");
      value = first == std::string::npos ? std::string() : value.substr(first);
      s->fields_.emplace_back(line.substr(0, colon), value);
    }
  }
  return n;
}

std::size_t HttpReadStream::onBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* s = static_cast<HttpReadStream*>(self);
  const std::size_t n = size * count;
  if (s->buffer_.size() >= kMaxBuffered) {
    // Full: curl keeps these bytes and stops reading the socket until resumed.
    s->transferPaused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  s->headersComplete_ = true;
  s->buffer_.insert(s->buffer_.end(), data, data + n);
  s->bytesSignalArmed_ = true;
  if (s->status_ == ReadStreamStatus::Opening) s->status_ = ReadStreamStatus::Open;
  return n;
}

void HttpReadStream::transferDone(int curlCode) {
  done_ = true;
  result_ = curlCode;
  headersComplete_ = true;
}

void HttpReadStream::resumeIfRoom() {
  if (transferPaused_ && easy_ && buffer_.size() < kMaxBuffered / 2) {
    transferPaused_ = false;
    // May hand over the held bytes at once (through onBody).
    curl_easy_pause(static_cast<CURL*>(easy_), CURLPAUSE_CONT);
  }
}

bool HttpReadStream::hasBytesAvailable() { return !buffer_.empty(); }

long HttpReadStream::read(std::uint8_t* out, std::size_t max) {
  if (status_ == ReadStreamStatus::Error || status_ == ReadStreamStatus::Closed) return -1;
  bytesSignalArmed_ = true;
  const std::size_t n = std::min(max, buffer_.size());
  std::copy_n(buffer_.begin(), n, out);
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
  resumeIfRoom();
  return static_cast<long>(n);
}

HttpHeaderFields HttpReadStream::responseHeaderFields() const { return headersComplete_ ? fields_ : HttpHeaderFields{}; }

bool HttpReadStream::takeEvent(ReadStreamEvent* event) {
  if (status_ == ReadStreamStatus::Closed || status_ == ReadStreamStatus::NotOpen) return false;
  if (!openDelivered_ && (headersComplete_ || done_)) {
    openDelivered_ = true;
    if (status_ == ReadStreamStatus::Opening) status_ = ReadStreamStatus::Open;
    *event = ReadStreamEvent::OpenCompleted;
    return true;
  }
  if (!buffer_.empty()) {
    if (!bytesSignalArmed_) return false;
    bytesSignalArmed_ = false;
    *event = ReadStreamEvent::HasBytesAvailable;
    return true;
  }
  if (done_ && !finalDelivered_) {
    finalDelivered_ = true;
    if (result_ == CURLE_OK) {
      status_ = ReadStreamStatus::AtEnd;
      *event = ReadStreamEvent::EndEncountered;
    } else {
      status_ = ReadStreamStatus::Error;
      *event = ReadStreamEvent::ErrorOccurred;
    }
    return true;
  }
  return false;
}

}  // namespace tonvera
