#include "platform/audiotoolbox/audiofilestream.h"

#include <cstring>

namespace tonvera {

AudioStatus AudioFileStream::open(std::uint32_t fileTypeHint, PropertyListener listener, PacketsCallback packets,
                                  std::unique_ptr<AudioFileStream>* out) {
  if (!out) return kAudioErrInvalidParameter;
  out->reset();
  StreamFormatFactory factory = streamFormatFactory(fileTypeHint);
  if (!factory) return kAudioErrUnsupportedFileType;
  std::unique_ptr<AudioFileStream> stream(new AudioFileStream(fileTypeHint, std::move(listener), std::move(packets)));
  stream->format_ = factory(*stream);
  if (!stream->format_) return kAudioErrUnsupportedFileType;
  *out = std::move(stream);
  return kAudioNoErr;
}

AudioFileStream::AudioFileStream(std::uint32_t fileType, PropertyListener listener, PacketsCallback packets)
    : fileType_(fileType), listener_(std::move(listener)), packets_(std::move(packets)) {}

AudioFileStream::~AudioFileStream() = default;

AudioStatus AudioFileStream::parseBytes(const std::uint8_t* data, std::uint32_t size, bool discontinuity) {
  if (closed_) return kAudioErrInvalidParameter;
  if (!data && size) return kAudioErrInvalidParameter;
  return format_->parse(data, size, discontinuity);
}

AudioStatus AudioFileStream::getPropertyInfo(std::uint32_t propertyID, std::uint32_t* size) const {
  auto it = properties_.find(propertyID);
  if (it == properties_.end()) return kAudioErrUnsupportedProperty;
  if (size) *size = static_cast<std::uint32_t>(it->second.size());
  return kAudioNoErr;
}

AudioStatus AudioFileStream::getProperty(std::uint32_t propertyID, std::uint32_t* ioSize, void* out) const {
  auto it = properties_.find(propertyID);
  if (it == properties_.end()) return kAudioErrUnsupportedProperty;
  if (!ioSize || !out || *ioSize < it->second.size()) return kAudioErrBadPropertySize;
  std::memcpy(out, it->second.data(), it->second.size());
  *ioSize = static_cast<std::uint32_t>(it->second.size());
  return kAudioNoErr;
}

bool AudioFileStream::getProperty(std::uint32_t propertyID, std::vector<std::uint8_t>* out) const {
  auto it = properties_.find(propertyID);
  if (it == properties_.end()) return false;
  if (out) *out = it->second;
  return true;
}

AudioStatus AudioFileStream::seek(std::int64_t packetIndex, std::int64_t* byteOffset, std::uint32_t* flags) {
  if (closed_ || packetIndex < 0 || !byteOffset) return kAudioErrInvalidParameter;
  bool estimate = true;
  AudioStatus status = format_->seek(packetIndex, byteOffset, &estimate);
  if (status == kAudioNoErr && flags) {
    *flags = (estimate ? kAudioFileStreamSeekFlag_OffsetIsEstimated : 0) |
             (format_->seeksKeepRequestedTime() ? kAudioFileStreamSeekFlag_KeepsRequestedTime : 0);
  }
  return status;
}

AudioStatus AudioFileStream::close() {
  closed_ = true;
  return kAudioNoErr;
}

void AudioFileStream::publishProperty(std::uint32_t propertyID, const void* data, std::uint32_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  properties_[propertyID].assign(bytes, bytes + size);
  std::uint32_t flags = 0;
  if (listener_ && !closed_) listener_(*this, propertyID, &flags);
}

void AudioFileStream::deliverPackets(const std::uint8_t* data, std::uint32_t numberBytes, std::uint32_t numberPackets,
                                     const AudioStreamPacketDescription* descriptions) {
  if (packets_ && !closed_ && numberBytes) packets_(data, numberBytes, numberPackets, descriptions);
}

}  // namespace tonvera
