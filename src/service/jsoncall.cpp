#include "service/jsoncall.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "service/jsontokeniser.h"

namespace tonvera {

namespace {

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Collects the reply body; refuses (by answering a short count) once it passes the size limit.
struct Reply {
  std::string body;
  bool tooLarge = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* reply = static_cast<Reply*>(user);
  const size_t n = size * count;
  if (reply->body.size() + n > JsonCall::kMaxReplyBytes) {
    reply->tooLarge = true;
    return 0;  // aborts the transfer
  }
  reply->body.append(data, n);
  return n;
}

bool keptInURL(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '.': case '_': case '~':                                    // unreserved
    case ':': case '/': case '?': case '#': case '[': case ']': case '@':      // delimiters
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*':     // sub-delimiters
    case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string JsonCall::percentEscape(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (keptInURL(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> JsonCall::down(const std::string& url, const std::optional<std::string>& body, bool isForm) {
  initCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return std::nullopt;
  CURL* c = curl.get();

  const std::string escaped = percentEscape(url);
  Reply reply;
  curl_easy_setopt(c, CURLOPT_URL, escaped.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, kTimeoutMilliseconds);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // Certificates and host names are checked (libcurl's defaults, stated here on purpose).
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);

  std::unique_ptr<curl_slist, SlistDeleter> headers;
  auto addHeader = [&headers](const std::string& line) {
    curl_slist* list = curl_slist_append(headers.get(), line.c_str());
    if (list) {
      (void)headers.release();
      headers.reset(list);
    }
  };
  if (body) {
    // POST of exactly these bytes. libcurl's own additions are switched off: its default form
    // content type (only a form sets one) and "Expect: 100-continue".
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body->c_str());
    addHeader(isForm ? "Content-Type: application/x-www-form-urlencoded" : "Content-Type:");
    addHeader("Content-Length: " + std::to_string(body->size()));
    addHeader("Expect:");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  } else {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  }

  const CURLcode result = curl_easy_perform(c);
  if (result != CURLE_OK || reply.tooLarge) return std::nullopt;
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status == 404) return std::nullopt;
  return std::move(reply.body);
}

std::optional<JsonValue> JsonCall::call(const std::string& url, const std::optional<std::string>& body) {
  auto bytes = down(url, body, false);
  if (!bytes) return std::nullopt;
  // Bytes that are not UTF-8 text give nothing, without a log line: there is no text to parse.
  if (!isValidUtf8(*bytes)) return std::nullopt;
  return JSONValue(*bytes);
}

}  // namespace tonvera
