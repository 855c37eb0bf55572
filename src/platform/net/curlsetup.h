#pragma once
// The one libcurl set-up every transfer of the program goes through: the service requests
// (JsonCall), the read streams of the players (HttpReadStream) and the usage sender (DataSender).
//
//   - libcurl's global state is initialised once per process, before the first handle.
//   - Only http and https are fetched, also after a redirect: a URL or a Location naming any other
//     scheme (file, ftp, dict, ...) fails before any connection is made.
//   - TLS certificates and host names are verified, for the server and for an HTTPS proxy.
//   - The proxy comes from the environment the way libcurl reads it (http_proxy, https_proxy,
//     HTTPS_PROXY, all_proxy/ALL_PROXY, no_proxy/NO_PROXY); nothing is configured here on top.
//   - Limits: at most kMaxRedirects redirects (or none), kConnectTimeout to connect, no signals (the
//     handles run on worker threads).
//   - Once the program quits (transfersCancelled()), no transfer starts and those in flight abort.
//
// Threads: any thread; each handle is used by one thread at a time.

#include <curl/curl.h>

#include <chrono>
#include <memory>

namespace tonvera {

// Redirects followed by a transfer that follows them at all.
inline constexpr long kMaxRedirects = 10;
// Time allowed to set up the connection (name lookup, TCP and TLS handshakes).
inline constexpr std::chrono::seconds kConnectTimeout{10};

struct CurlEasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlSetup {
  // Follow up to kMaxRedirects redirects; false: a redirect reply is the answer.
  bool followRedirects = true;
  // The whole transfer's time limit; zero: none (a stream plays as long as it lasts).
  std::chrono::milliseconds timeout{0};
};

// curl_global_init once per process; every function below calls it first.
void curlGlobalInit();

// Applies the common options to `easy`. False when one the safety of the transfer rests on (the
// protocol limits, verification) could not be set; the handle must not be used then.
bool applyCurlSetup(CURL* easy, const CurlSetup& setup);

// A new easy handle with the common options; null when libcurl could not make or set it up.
CurlEasy makeCurlEasy(const CurlSetup& setup);

}  // namespace tonvera
