#pragma once
// The HTTP(S) read stream: one GET over a libcurl easy handle added to the run loop's multi
// handle. Internal to tonvera_net; use ReadStream::createForHttpRequest().
//
// Threads: the thread of the run loop it is scheduled on.

#include <deque>
#include <string>

#include "platform/net/readstream.h"

namespace tonvera {

class HttpReadStream final : public ReadStream {
 public:
  HttpReadStream(std::string url, HttpHeaderFields fields);
  ~HttpReadStream() override;

  bool open() override;
  bool hasBytesAvailable() override;
  long read(std::uint8_t* buffer, std::size_t max) override;
  ReadStreamStatus status() const override { return status_; }
  void close() override;
  HttpHeaderFields responseHeaderFields() const override;
  long responseStatusCode() const override { return statusCode_; }

  // From the run loop: the transfer ended with this CURLcode.
  void transferDone(int curlCode);

  // Received bytes kept before the transfer is paused.
  static constexpr std::size_t kMaxBuffered = 64 * 1024;

 private:
  bool takeEvent(ReadStreamEvent* event) override;
  void attach(RunLoop& loop) override;
  void detach(RunLoop& loop) override;
  void resumeIfRoom();
  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);

  const std::string url_;
  const HttpHeaderFields requestFields_;
  void* easy_ = nullptr;         // CURL*
  void* requestList_ = nullptr;  // curl_slist*
  void* multi_ = nullptr;        // the multi handle it was added to
  ReadStreamStatus status_ = ReadStreamStatus::NotOpen;

  HttpHeaderFields fields_;       // of the response being received
  bool headersComplete_ = false;
  long statusCode_ = 0;
  std::deque<std::uint8_t> buffer_;
  bool transferPaused_ = false;
  bool done_ = false;
  int result_ = 0;
  // Events already given: open once, has-bytes again only after new bytes or a read.
  bool openDelivered_ = false;
  bool bytesSignalArmed_ = true;
  bool finalDelivered_ = false;
};

}  // namespace tonvera
