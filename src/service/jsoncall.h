#pragma once
// Every request to the music service: synchronous HTTP over libcurl, no state of its own.
//
//   down(url, body, isForm)  raw reply bytes, or nothing
//   call(url, body)          the reply decoded by JSONValue(), or nothing
//
// Threads: any thread may call both, concurrently (each call has its own libcurl handle), but they
// block the caller for up to the 6 s time-out, so callers run them on their own serial background
// queues, never on the main thread, and hand the result to the main thread.
//
// Behaviour:
//   - The URL text is percent-escaped with UTF-8 first (percentEscape()): every byte that may not
//     stand in a URL, "%" included, becomes %XX. A text that still is not a URL fails.
//   - body == nullopt: GET with no body and no extra header. A body (even ""): POST of its bytes with
//     "Content-Length: <bytes>", and "Content-Type: application/x-www-form-urlencoded" only when
//     isForm is true (otherwise no Content-Type header at all).
//   - Time-out: 6.0 s for the whole exchange (timeout(); tests shorten it). Redirects are followed
//     (up to kMaxRedirects).
//   - Status 404 gives nothing; any other status gives the body as received ("" when empty).
//     No reply (no connection, time-out, bad URL) gives nothing.
//   - The common transfer set-up (platform/net/curlsetup.h): only http and https URLs are fetched
//     (also after redirects), HTTPS certificates and host names are verified, the proxy comes from
//     the environment. Reply bodies above kMaxReplyBytes fail as nothing rather than filling memory.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "service/jsonvalue.h"

namespace tonvera {

class JsonCall {
 public:
  static constexpr long kTimeoutMilliseconds = 6000;
  static constexpr std::size_t kMaxReplyBytes = 64u * 1024u * 1024u;

  // The time-out of every call; kTimeoutMilliseconds unless changed (tests shorten it).
  static std::chrono::milliseconds timeout();
  static void setTimeout(std::chrono::milliseconds timeout);

  // The reply body's bytes, or nothing. `unreachable` (when given) tells why nothing came: true when
  // the service could not be reached or cannot serve now (no reply at all, a time-out, a status
  // of 500 or above), false when it answered.
  static std::optional<std::string> down(const std::string& url, const std::optional<std::string>& body,
                                         bool isForm, bool* unreachable = nullptr);

  // down(url, body, false), then the bytes as UTF-8 text through JSONValue(). Nothing when no bytes
  // came, the bytes are not UTF-8 (silently) or not JSON (JSONValue() logs its line).
  static std::optional<JsonValue> call(const std::string& url,
                                       const std::optional<std::string>& body = std::nullopt,
                                       bool* unreachable = nullptr);

  // call() for a URL whose escapes are already in place (a search key escaped by escapeQueryValue()):
  // it is sent as it stands, so that every escape reaches the service once.
  static std::optional<JsonValue> callEscaped(const std::string& url);

  // A text as one query value: every byte but letters, digits and "-._~" as %XX (so "&", "=", "+",
  // "#" and "%" inside the text stay part of the value).
  static std::string escapeQueryValue(std::string_view text);

  // The URL text with every character that may not stand in a URL replaced by the %XX escapes of its
  // UTF-8 bytes. Kept as they are: letters, digits, "-._~", and ":/?#[]@!$&'()*+,;=". Escaped: "%",
  // space, control characters, '"', "<", ">", "\", "^", "`", "{", "|", "}", and every non-ASCII byte.
  static std::string percentEscape(std::string_view url);

 private:
  static std::optional<std::string> fetch(const std::string& escapedUrl, const std::optional<std::string>& body,
                                          bool isForm, bool* unreachable);
  static std::optional<JsonValue> decode(std::optional<std::string> bytes);
};

}  // namespace tonvera
