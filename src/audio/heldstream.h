#pragma once
// The head of a track's stream, fetched ahead and held in memory, and the player input that starts
// from it. The radio fetches the next track's head while the current one plays; when that track
// becomes current its player reads the held bytes at once (no connection to wait for) and then
// continues over the network from the first byte not held, with a range request, exactly as if
// the bytes had come in one piece.
//
// Threads: fetchHeldStream() runs on a worker thread (it blocks on the network, on that thread's
// own run loop). The input follows the input rules (audioinput.h).

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/audioinput.h"
#include "platform/net/readstream.h"

namespace tonvera {

// At most this much of a stream is held ahead: about 10 s of a 192 kbit/s MP3, and far more than
// the output queue needs to start (its ring holds 16 buffers of a few kilobytes).
inline constexpr std::size_t kHeldStreamMaxBytes = 256 * 1024;
// A fetch ahead that takes longer than this is given up (the track then starts the usual way).
inline constexpr std::chrono::seconds kHeldStreamTimeout{15};

struct HeldStream {
  std::string url;
  long statusCode = 0;              // of the final response
  HttpHeaderFields headers;         // of the final response
  std::vector<std::uint8_t> bytes;  // the first bytes of the body
  bool complete = false;            // `bytes` is the whole body
  std::int64_t contentLength = 0;   // 0 when the response did not say

  // Whether a player can start from it: a successful response with some audio that is either
  // whole, or of a known length from a server that answers range requests for the rest.
  bool usable() const;
};

// Fetches at most `maxBytes` of `url`'s body and closes the connection. Nothing when the request
// failed before any body byte came or `cancel` was set meanwhile (checked as the bytes arrive).
std::optional<HeldStream> fetchHeldStream(const std::string& url, std::size_t maxBytes,
                                          const std::atomic<bool>& cancel);

// A player input that reads the held head first. Only the first request of the track is served
// from memory; the held bytes are let go as they are read (or when a seek leaves them), and every
// later request (the rest, a reconnection, a seek) goes over the network through the HTTP input.
// Held bytes that are not the whole body end as a lost connection would: the player asks for the
// rest from the first byte not read.
std::unique_ptr<AudioInput> makeHeldInput(std::shared_ptr<const HeldStream> held);

}  // namespace tonvera
