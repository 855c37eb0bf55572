#include "platform/net/curlsetup.h"

#include <mutex>

#include "platform/serialqueue.h"

namespace tonvera {
namespace {

// A transfer in flight when the program quits gives up here instead of holding the quit up.
int onProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return transfersCancelled() ? 1 : 0; }

}  // namespace

void curlGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool applyCurlSetup(CURL* easy, const CurlSetup& setup) {
  curlGlobalInit();
  if (!easy) return false;
  bool ok = curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
  // libcurl's defaults, stated on purpose: a changed default must not switch verification off.
  ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYHOST, 2L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, setup.followRedirects ? 1L : 0L) == CURLE_OK;
  ok =
      ok && curl_easy_setopt(easy, CURLOPT_MAXREDIRS, setup.followRedirects ? kMaxRedirects : 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok &&
       curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                        static_cast<long>(std::chrono::milliseconds(kConnectTimeout).count())) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(setup.timeout.count())) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
  return ok && !transfersCancelled();
}

CurlEasy makeCurlEasy(const CurlSetup& setup) {
  curlGlobalInit();
  CurlEasy easy(curl_easy_init());
  if (!easy || !applyCurlSetup(easy.get(), setup)) return nullptr;
  return easy;
}

}  // namespace tonvera
