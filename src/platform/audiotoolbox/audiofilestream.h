#pragma once
// Audio file stream parser, push style: bytes go in, properties and packets come out
// synchronously, before parseBytes() returns.
//
//   std::unique_ptr<AudioFileStream> parser;
//   AudioFileStream::open(kAudioFileMP3Type, onProperty, onPackets, &parser);
//   parser->parseBytes(chunk, size, false);   // calls onProperty('dfmt'), ..., onPackets(...)
//
// Properties are announced in the order the data reveals them ('dfmt', 'doff', 'bcnt', 'pkub',
// 'flst', 'mgic', then 'redy' when packets follow); a listener may read any property with
// getProperty() from inside its call. Packet descriptions give each packet's offset within the
// block handed to the packets call.
//
// Threads: one thread drives a parser (open, parse, get, seek, close); the call-backs run on it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/audiotoolbox/audiotypes.h"
#include "platform/audiotoolbox/streamformat.h"

namespace tonvera {

// Property identifiers.
constexpr std::uint32_t kAudioFileStreamProperty_ReadyToProducePackets = fourcc("redy");
constexpr std::uint32_t kAudioFileStreamProperty_DataFormat = fourcc("dfmt");
constexpr std::uint32_t kAudioFileStreamProperty_DataOffset = fourcc("doff");
constexpr std::uint32_t kAudioFileStreamProperty_AudioDataByteCount = fourcc("bcnt");
constexpr std::uint32_t kAudioFileStreamProperty_AudioDataPacketCount = fourcc("pcnt");
constexpr std::uint32_t kAudioFileStreamProperty_FormatList = fourcc("flst");
constexpr std::uint32_t kAudioFileStreamProperty_PacketSizeUpperBound = fourcc("pkub");
constexpr std::uint32_t kAudioFileStreamProperty_MagicCookieData = fourcc("mgic");
constexpr std::uint32_t kAudioFileStreamProperty_FileFormat = fourcc("ffmt");
// Published by a format whose header states them: the bit rate (std::uint32_t, bit/s) and the
// length of the track (double, seconds). The player takes them instead of its estimates.
constexpr std::uint32_t kAudioFileStreamProperty_BitRate = fourcc("brat");
constexpr std::uint32_t kAudioFileStreamProperty_EstimatedDuration = fourcc("edur");

// Bit 0 of the seek flags: the byte offset is an estimate.
constexpr std::uint32_t kAudioFileStreamSeekFlag_OffsetIsEstimated = 1u << 0;
// Bit 1: the format seeks to coarse points at or before the packet asked for (PURE: the frame
// that begins the whole second), and the position is counted from the time asked, not from the
// point reached.
constexpr std::uint32_t kAudioFileStreamSeekFlag_KeepsRequestedTime = 1u << 1;

class AudioFileStream : private StreamFormatParser::Output {
 public:
  // (parser, property id, flags in/out)
  using PropertyListener = std::function<void(AudioFileStream&, std::uint32_t propertyID, std::uint32_t* ioFlags)>;
  // (data, byte count, packet count, descriptions or null)
  using PacketsCallback = std::function<void(const std::uint8_t* data, std::uint32_t numberBytes,
                                             std::uint32_t numberPackets, const AudioStreamPacketDescription*)>;

  // Opens a parser for `fileTypeHint`; unsupported types answer kAudioErrUnsupportedFileType and
  // leave `out` empty.
  static AudioStatus open(std::uint32_t fileTypeHint, PropertyListener listener, PacketsCallback packets,
                          std::unique_ptr<AudioFileStream>* out);

  ~AudioFileStream() override;
  AudioFileStream(const AudioFileStream&) = delete;
  AudioFileStream& operator=(const AudioFileStream&) = delete;

  std::uint32_t fileType() const { return fileType_; }

  AudioStatus parseBytes(const std::uint8_t* data, std::uint32_t size, bool discontinuity);

  // Size of a property that has a value (kAudioErrUnsupportedProperty otherwise).
  AudioStatus getPropertyInfo(std::uint32_t propertyID, std::uint32_t* size) const;
  // Copies the value into `out`; `*ioSize` must be at least the property's size and becomes it.
  AudioStatus getProperty(std::uint32_t propertyID, std::uint32_t* ioSize, void* out) const;
  // Whole value at once (empty optional-like: false when missing).
  bool getProperty(std::uint32_t propertyID, std::vector<std::uint8_t>* out) const;

  // Packet index -> byte offset of the packet relative to the data offset, and flags
  // (kAudioFileStreamSeekFlag_OffsetIsEstimated).
  AudioStatus seek(std::int64_t packetIndex, std::int64_t* byteOffset, std::uint32_t* flags);

  // Ends parsing: no call-backs afterwards. Safe to call more than once.
  AudioStatus close();

 private:
  AudioFileStream(std::uint32_t fileType, PropertyListener listener, PacketsCallback packets);
  void publishProperty(std::uint32_t propertyID, const void* data, std::uint32_t size) override;
  void deliverPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                      const AudioStreamPacketDescription* descriptions) override;

  const std::uint32_t fileType_;
  PropertyListener listener_;
  PacketsCallback packets_;
  std::unique_ptr<StreamFormatParser> format_;
  std::map<std::uint32_t, std::vector<std::uint8_t>> properties_;
  bool closed_ = false;
};

}  // namespace tonvera
