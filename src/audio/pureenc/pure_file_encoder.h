// Codes an audio file into a PURE stream: any file FFmpeg decodes (its first audio stream),
// converted by libswresample to 48 kHz stereo 16-bit, coded frame by frame with PureEncoder and
// written with its header. The decoded PURE audio is the input one frame (20 ms) late, and one
// frame longer (the last frame carries the decoder's delay).
//
// Threads: any thread; each call owns its FFmpeg objects and files.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace tonvera {

struct PureFileEncodeOptions {
  int rate = 64;  // R, an even rate 2..128
  // Called now and then (about every 10 s of audio, and once at the end) with the seconds coded
  // so far and the input's length in seconds (0 when unknown).
  std::function<void(double done, double total)> progress;
  // When set and true, the coding stops and fails with "cancelled".
  const std::atomic<bool>* cancel = nullptr;
};

struct PureFileEncodeResult {
  bool ok = false;
  std::string error;         // what failed, when !ok
  std::uint64_t frames = 0;  // PURE frames written
  std::uint64_t bytes = 0;   // file size
};

// Writes the PURE stream of inPath into outPath (created or replaced; removed again on failure).
// Callers that need the file to appear whole write to a temporary name and rename it.
PureFileEncodeResult encodeFileToPure(const std::string& inPath, const std::string& outPath,
                                      const PureFileEncodeOptions& options = {});

}  // namespace tonvera
