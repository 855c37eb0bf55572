#include "service/jsoncall.h"

#include <curl/curl.h>

#include <atomic>
#include <memory>

#include "platform/net/curlsetup.h"
#include "platform/utf8.h"
#include "service/jsontokeniser.h"

namespace tonvera {

namespace {

struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

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

std::atomic<long> gTimeoutMs{JsonCall::kTimeoutMilliseconds};

}  // namespace

std::chrono::milliseconds JsonCall::timeout() { return std::chrono::milliseconds(gTimeoutMs.load()); }

void JsonCall::setTimeout(std::chrono::milliseconds timeout) { gTimeoutMs.store(timeout.count()); }

namespace {

bool unreservedInQuery(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// `text` with every byte that `kept` refuses written as %XX.
std::string escapeBytes(std::string_view text, bool (*kept)(unsigned char)) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (kept(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string JsonCall::percentEscape(std::string_view url) { return escapeBytes(url, keptInURL); }

std::string JsonCall::escapeQueryValue(std::string_view text) { return escapeBytes(text, unreservedInQuery); }

std::optional<std::string> JsonCall::down(const std::string& url, const std::optional<std::string>& body,
                                          bool isForm, bool* unreachable) {
  return fetch(percentEscape(url), body, isForm, unreachable);
}

std::optional<std::string> JsonCall::fetch(const std::string& escaped, const std::optional<std::string>& body,
                                           bool isForm, bool* unreachable) {
  if (unreachable) *unreachable = false;
  CurlEasy curl = makeCurlEasy(
      CurlSetup{.followRedirects = true, .timeout = timeout()});
  if (!curl) return std::nullopt;
  CURL* c = curl.get();

  Reply reply;
  curl_easy_setopt(c, CURLOPT_URL, escaped.c_str());
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
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (unreachable) *unreachable = (result != CURLE_OK && !reply.tooLarge) || status >= 500;
  if (result != CURLE_OK || reply.tooLarge) return std::nullopt;
  if (status == 404) return std::nullopt;
  return std::move(reply.body);
}

std::optional<JsonValue> JsonCall::call(const std::string& url, const std::optional<std::string>& body,
                                        bool* unreachable) {
  return decode(down(url, body, false, unreachable));
}

std::optional<JsonValue> JsonCall::callEscaped(const std::string& url) {
  return decode(fetch(url, std::nullopt, false, nullptr));
}

std::optional<JsonValue> JsonCall::decode(std::optional<std::string> bytes) {
  if (!bytes) return std::nullopt;
  // Bytes that are not UTF-8 text give nothing, without a log line: there is no text to parse.
  if (!isValidUtf8(*bytes)) return std::nullopt;
  return JSONValue(*bytes);
}

}  // namespace tonvera
