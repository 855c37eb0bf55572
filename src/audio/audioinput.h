#pragma once
// Where a player's bytes come from. A player reads one input, chosen by its creator: a stream over
// HTTP, a local file, or the head of a stream fetched ahead and held in memory followed by the rest
// over HTTP (heldstream.h). The player asks the input for a read stream from a byte offset, at the
// start, after a seek and after a lost connection, and reads the same events from each.
//
//   auto input = makeHttpInput("http://host/track.mp3");
//   auto stream = input->open({.offset = 4096, .length = 100000});  // asks "Range: bytes=4096-99999"
//
// Threads: the player's internal thread only (construction and destruction excepted).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/net/readstream.h"

namespace tonvera {

class AudioInput {
 public:
  // What the player wants when it asks for the bytes.
  struct Request {
    std::int64_t offset = 0;  // the first byte wanted
    std::int64_t length = 0;  // the length of the whole body as known (0: unknown; the start only)
    bool continuing = false;  // a reopen after a loss, to continue exactly the bytes read so far
  };

  virtual ~AudioInput() = default;

  // A read stream of the bytes from request.offset, opened but not scheduled; nothing when it
  // cannot even be started (a failure to connect arrives later, as the stream's error event).
  virtual std::unique_ptr<ReadStream> open(const Request& request) = 0;
  // Whether a lost or silent stream is asked for again (the network). A file's read error is
  // final, and a file never stalls.
  virtual bool reopens() const = 0;
  // The file-type code of what `stream` delivers (AudioStreamer::hintForMIMEType's codes).
  virtual std::uint32_t typeHint(const ReadStream& stream) const = 0;
  // The length of the body `stream` starts (its first reply's), 0 when not told.
  virtual std::int64_t length(const ReadStream& stream) const = 0;
  // The address the input reads.
  virtual const std::string& url() const = 0;
};

// The body of an http(s) URL; a request from an offset asks for that range of the known length.
std::unique_ptr<AudioInput> makeHttpInput(std::string url);
// A PURE file of this machine, named by a file URL (AudioFiler::localPathOf).
std::unique_ptr<AudioInput> makeFileInput(std::string url);

}  // namespace tonvera
