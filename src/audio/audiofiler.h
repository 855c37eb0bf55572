#pragma once
// AudioFiler plays a PURE file from the local disk. It is driven exactly like AudioStreamer (same
// states, notification, threads, locking, buffers and decoder); only the input differs: a file
// read stream instead of an HTTP request, every file taken as PURE, the output queue made as soon
// as the header is read, seeking by moving the file offset (the stream stays open), and no
// reconnection and no data-stall watchdog (a file never stalls).
//
// Threads: as AudioStreamer. The hooks below run on the internal thread.

#include <string>

#include "audio/audiostreamer.h"

namespace tonvera {

class AudioFiler : public AudioStreamer {
 public:
  // `url`: a file URL ("file:///music/a.pur", percent-encoded) or a local path, which is made
  // into a file URL.
  explicit AudioFiler(const std::string& url, StreamerOptions options = {});
  ~AudioFiler() override;

  // The local path of a file URL ("file:///a%20b.pur" gives "/a b.pur"); empty when `url` is not
  // a file URL of this machine.
  static std::string localPathOf(const std::string& url);
  // A file URL for a local path (relative paths are taken from the current folder).
  static std::string fileUrlFor(const std::string& path);
  // Whether `text` names a local file (a file URL, or no URL scheme at all) rather than a stream.
  static bool namesLocalFile(const std::string& text);

 protected:
  bool openReadStream() override;
  void handleReadFromStream(ReadStream& stream, ReadStreamEvent event) override;
  void handleAudioPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                          const AudioStreamPacketDescription* packetDescriptions) override;
  void internalSeekToTime(double seconds) override;
};

}  // namespace tonvera
