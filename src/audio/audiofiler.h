#pragma once
// AudioFiler makes the local-file player: an AudioStreamer reading a file input, driven exactly
// like the stream player (same states, notification, threads and buffers). Every file is taken as
// PURE; a seek reads from the new offset of the file, and there is no reconnection and no
// data-stall watchdog (a file never stalls).
//
// Threads: create() on the main thread (the player's rules then hold); the rest any thread.

#include <memory>
#include <string>

#include "audio/audiostreamer.h"

namespace tonvera {

class AudioFiler {
 public:
  AudioFiler() = delete;

  // A player of `url`: a file URL ("file:///music/a.pur", percent-encoded) or a local path, which
  // is made into a file URL.
  static std::unique_ptr<AudioStreamer> create(const std::string& url, StreamerOptions options = {});

  // The local path of a file URL ("file:///a%20b.pur" gives "/a b.pur"); empty when `url` is not
  // a file URL of this machine.
  static std::string localPathOf(const std::string& url);
  // A file URL for a local path (relative paths are taken from the current folder).
  static std::string fileUrlFor(const std::string& path);
  // Whether `text` names a local file (a file URL, or no URL scheme at all) rather than a stream.
  static bool namesLocalFile(const std::string& text);
};

}  // namespace tonvera
