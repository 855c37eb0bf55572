#include "stats/datasender.h"

#include <curl/curl.h>

#include <memory>

#include "platform/net/curlsetup.h"
#include "service/endpoints.h"

namespace tonvera {

namespace {

std::atomic<long long> gTimeoutMs{kReportSendTimeout.count()};

struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t discardBody(char*, size_t size, size_t count, void*) { return size * count; }

int abortWhenCancelled(void* sender, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const DataSender*>(sender)->isCancelled() ? 1 : 0;
}

}  // namespace

std::string reportURL() { return statsURL(); }

DataSender::DataSender(std::string body) : DataSender(std::move(body), reportURL()) {}

DataSender::DataSender(std::string body, std::string url) : param_(std::move(body)), url_(std::move(url)) {
  curlGlobalInit();
}

std::chrono::milliseconds DataSender::timeout() { return std::chrono::milliseconds(gTimeoutMs.load()); }

void DataSender::setTimeout(std::chrono::milliseconds timeout) { gTimeoutMs.store(timeout.count()); }

void DataSender::start() {
  if (!isCancelled()) main();
  finished_.store(true);
  if (observer_) observer_(*this);
}

void DataSender::main() {
  error_ = true;
  // No redirect is followed: only the service's own answer counts.
  CurlEasy curl = makeCurlEasy(CurlSetup{.followRedirects = false, .timeout = timeout()});
  if (!curl) return;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
  // No "Expect: 100-continue" round trip for larger bodies.
  if (headers) headers = curl_slist_append(headers, "Expect:");
  std::unique_ptr<curl_slist, HeaderListDeleter> headerList(headers);
  if (!headerList) return;

  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, param_.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(param_.size()));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, discardBody);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, abortWhenCancelled);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);

  const CURLcode result = curl_easy_perform(h);
  long status = 0;
  if (result == CURLE_OK) curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  error_ = !(result == CURLE_OK && status == 202);
}

}  // namespace tonvera
