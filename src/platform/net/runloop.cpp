#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>
#include <utility>

#include "platform/net/curlsetup.h"
#include "platform/net/httpreadstream.h"
#include "platform/net/readstream.h"

namespace tonvera {

const std::string* findHeaderField(const HttpHeaderFields& fields, const std::string& name) {
  for (const auto& [key, value] : fields) {
    if (key.size() == name.size() &&
        std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      return &value;
    }
  }
  return nullptr;
}

ReadStream::~ReadStream() { unscheduleFromRunLoop(); }

void ReadStream::scheduleWithRunLoop(RunLoop& loop) {
  if (loop_) return;
  loop_ = &loop;
  loop.add(this);
  attach(loop);
}

void ReadStream::unscheduleFromRunLoop() {
  if (!loop_) return;
  detach(*loop_);
  loop_->remove(this);
  loop_ = nullptr;
}

RunLoop& RunLoop::current() {
  thread_local RunLoop loop;
  return loop;
}

RunLoop::RunLoop() = default;

RunLoop::~RunLoop() {
  if (void* multi = multi_.exchange(nullptr)) curl_multi_cleanup(static_cast<CURLM*>(multi));
}

void* RunLoop::multiHandle() {
  if (!multi_) {
    curlGlobalInit();
    multi_ = curl_multi_init();
  }
  return multi_;
}

bool RunLoop::consumeWakeUp() {
  std::lock_guard lock(wakeMutex_);
  return std::exchange(woken_, false);
}

void RunLoop::add(ReadStream* stream) { sources_.push_back(stream); }

void RunLoop::remove(ReadStream* stream) {
  auto it = std::find(sources_.begin(), sources_.end(), stream);
  if (it != sources_.end()) sources_.erase(it);
}

void RunLoop::wakeUp() {
  {
    std::lock_guard lock(wakeMutex_);
    woken_ = true;
  }
  wakeCondition_.notify_all();
  // The multi handle exists from the first HTTP stream on; it is never freed before the loop.
  if (void* multi = multi_.load()) curl_multi_wakeup(static_cast<CURLM*>(multi));
}

bool RunLoop::deliverOne() {
  const std::size_t n = sources_.size();
  for (std::size_t i = 0; i < n; ++i) {
    ReadStream* stream = sources_[(nextSource_ + i) % n];
    ReadStreamEvent event;
    if (stream->takeEvent(&event)) {
      nextSource_ = (nextSource_ + i + 1) % n;
      // The client may close, unschedule or even destroy its stream: copy the client first.
      ReadStream::Client client = stream->client_;
      if (client) client(*stream, event);
      return true;
    }
  }
  return false;
}

void RunLoop::performTransfers() {
  CURLM* multi = static_cast<CURLM*>(multi_.load());
  if (!multi) return;
  int running = 0;
  curl_multi_perform(multi, &running);
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    HttpReadStream* stream = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&stream));
    if (stream) stream->transferDone(static_cast<int>(msg->data.result));
  }
}

RunLoop::Result RunLoop::runInMode(double seconds) {
  if (sources_.empty()) return Result::Finished;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (deliverOne()) return Result::HandledSource;
    performTransfers();
    if (deliverOne()) return Result::HandledSource;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Result::TimedOut;
    if (consumeWakeUp()) return Result::TimedOut;
    if (void* multi = multi_.load()) {
      // Waits for network activity, a curl timer, or wakeUp().
      int fds = 0;
      curl_multi_poll(static_cast<CURLM*>(multi), nullptr, 0, static_cast<int>(left.count()), &fds);
    } else {
      // Only file streams: they have an event whenever there is something to do.
      std::unique_lock lock(wakeMutex_);
      wakeCondition_.wait_for(lock, left, [this] { return woken_; });
    }
  }
}

}  // namespace tonvera
