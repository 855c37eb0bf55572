#include "platform/audiotoolbox/chunkedstreamparser.h"

#include <algorithm>
#include <limits>

#include "platform/audiotoolbox/audiofilestream.h"

namespace tonvera {

namespace {
// A chunk header never needs more than this (MP4's 64-bit box size: 16 bytes).
constexpr std::size_t kMaxChunkHeaderBytes = 64;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
}  // namespace

ChunkedStreamParser::ChunkedStreamParser(Output& output) : StreamFormatParser(output) {}

AudioStatus ChunkedStreamParser::parse(const std::uint8_t* data, std::size_t size, bool /*discontinuity*/) {
  if (stage_ == Stage::Failed) return failure_;
  if (stage_ == Stage::Done) return kAudioNoErr;
  if (size) held_.insert(held_.end(), data, data + size);
  const AudioStatus status = run();
  // Forget what was consumed; what is left is at most a header, a kept chunk or one packet.
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(heldStart_));
  heldStart_ = 0;
  return status;
}

void ChunkedStreamParser::dropHeld(std::size_t n) {
  heldStart_ += n;
  heldPos_ += static_cast<std::int64_t>(n);
}

AudioStatus ChunkedStreamParser::fail(AudioStatus status) {
  stage_ = Stage::Failed;
  failure_ = status;
  held_.clear();
  heldStart_ = 0;
  return status;
}

std::int64_t ChunkedStreamParser::chunkEnd() const {
  if (chunk_.payloadSize < 0) return -1;
  const std::int64_t pad = chunk_.padToEven && (chunk_.payloadSize & 1) ? 1 : 0;
  return chunkStart_ + chunk_.payloadSize + pad;
}

AudioStatus ChunkedStreamParser::run() {
  for (;;) {
    const std::uint8_t* p = held_.data() + heldStart_;
    const std::size_t avail = held_.size() - heldStart_;
    switch (stage_) {
      case Stage::FileHeader: {
        const std::size_t n = fileHeaderBytes();
        if (n) {
          if (avail < n) return kAudioNoErr;
          const AudioStatus status = readFileHeader(p);
          if (status) return fail(status);
          dropHeld(n);
        }
        stage_ = Stage::ChunkHeader;
        break;
      }
      case Stage::ChunkHeader: {
        if (avail == 0) return kAudioNoErr;
        ChunkHeader header;
        std::size_t need = 0;
        const AudioStatus status = readChunkHeader(p, avail, &header, &need);
        if (status) return fail(status);
        if (need) {
          // Asking for bytes it already has would never end: a fault of the format, taken as invalid.
          if (need > kMaxChunkHeaderBytes || need <= avail) return fail(kAudioErrInvalidFile);
          return kAudioNoErr;
        }
        if (header.headerBytes == 0 || header.headerBytes > avail || header.payloadSize < -1) {
          return fail(kAudioErrInvalidFile);
        }
        dropHeld(header.headerBytes);
        if (header.payloadSize > kInt64Max / 2 - heldPos_) return fail(kAudioErrInvalidFile);
        const AudioStatus begun = beginChunk(header);
        if (begun) return fail(begun);
        break;
      }
      case Stage::Skip: {
        if (skipTo_ < 0) {
          dropHeld(avail);
          return kAudioNoErr;
        }
        if (heldPos_ >= skipTo_) {
          stage_ = Stage::ChunkHeader;
          break;
        }
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::int64_t>(std::int64_t(avail), skipTo_ - heldPos_));
        dropHeld(n);
        if (heldPos_ < skipTo_) return kAudioNoErr;
        stage_ = Stage::ChunkHeader;
        break;
      }
      case Stage::Keep: {
        if (avail < keepBytes_) return kAudioNoErr;
        const AudioStatus status = readChunk(chunk_.id, p, keepBytes_);
        if (status) return fail(status);
        dropHeld(keepBytes_);
        // The format may have started the audio from what the chunk said (a sample table).
        if (stage_ == Stage::Keep) {
          skipTo_ = chunkEnd();
          stage_ = Stage::Skip;
        }
        break;
      }
      case Stage::AudioPrefix: {
        const std::size_t n = audioPrefixBytes(chunk_.id);
        if (avail < n) return kAudioNoErr;
        if (chunk_.payloadSize >= 0 && std::size_t(chunk_.payloadSize) < n) return fail(kAudioErrInvalidFile);
        const std::int64_t size = chunk_.payloadSize < 0 ? -1 : chunk_.payloadSize - std::int64_t(n);
        const AudioStatus status = startAudio(chunk_, p, chunkStart_ + std::int64_t(n), size);
        if (status) return fail(status);
        if (stage_ == Stage::AudioPrefix) return fail(kAudioErrInvalidFile);
        dropHeld(n);
        break;
      }
      case Stage::Frames:
        return runFrames();
      case Stage::Packets:
        return runPackets();
      case Stage::Done:
        dropHeld(avail);
        return kAudioNoErr;
      case Stage::Failed:
        return failure_;
    }
  }
}

AudioStatus ChunkedStreamParser::beginChunk(const ChunkHeader& chunk) {
  chunk_ = chunk;
  chunkStart_ = heldPos_;
  std::size_t limit = 0;
  switch (actionFor(chunk, &limit)) {
    case ChunkAction::Skip:
      skipTo_ = chunkEnd();
      stage_ = Stage::Skip;
      return kAudioNoErr;
    case ChunkAction::Keep:
      if (chunk.payloadSize < 0 || std::uint64_t(chunk.payloadSize) > limit) return kAudioErrInvalidFile;
      keepBytes_ = static_cast<std::size_t>(chunk.payloadSize);
      stage_ = Stage::Keep;
      return kAudioNoErr;
    case ChunkAction::Audio:
      stage_ = Stage::AudioPrefix;
      return kAudioNoErr;
  }
  return kAudioErrInvalidFile;
}

void ChunkedStreamParser::startFrames(std::int64_t start, std::int64_t byteCount,
                                      std::uint32_t bytesPerFrame) {
  framesStart_ = start;
  framesEnd_ = byteCount < 0 ? -1 : start + byteCount;
  bytesPerFrame_ = bytesPerFrame ? bytesPerFrame : 1;
  dataOffset_ = start;
  offsets_.clear();
  sizes_.clear();
  stage_ = Stage::Frames;
}

void ChunkedStreamParser::startPackets(std::vector<std::int64_t> offsets, std::vector<std::uint32_t> sizes) {
  offsets_ = std::move(offsets);
  sizes_ = std::move(sizes);
  next_ = 0;
  dataOffset_ = offsets_.empty() ? heldPos_ : offsets_.front();
  stage_ = offsets_.empty() ? Stage::Done : Stage::Packets;
}

bool ChunkedStreamParser::checkPacketTable(const std::vector<std::int64_t>& offsets,
                                           const std::vector<std::uint32_t>& sizes) {
  if (offsets.size() != sizes.size() || offsets.size() > kMaxPackets) return false;
  std::int64_t end = 0;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i] < end || sizes[i] > kMaxPacketBytes || offsets[i] > kInt64Max / 2) return false;
    end = offsets[i] + sizes[i];
  }
  return true;
}

AudioStatus ChunkedStreamParser::runFrames() {
  if (heldPos_ < framesStart_) {
    const std::size_t avail = held_.size() - heldStart_;
    dropHeld(static_cast<std::size_t>(std::min<std::int64_t>(std::int64_t(avail), framesStart_ - heldPos_)));
    if (heldPos_ < framesStart_) return kAudioNoErr;
  }
  const std::uint8_t* p = held_.data() + heldStart_;
  std::size_t n = held_.size() - heldStart_;
  if (framesEnd_ >= 0)
    n = static_cast<std::size_t>(std::clamp<std::int64_t>(framesEnd_ - heldPos_, 0, std::int64_t(n)));
  n = std::min<std::size_t>(n, std::numeric_limits<std::uint32_t>::max());
  if (n) {
    output().deliverPackets(p, static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(n / bytesPerFrame_),
                            nullptr);
    dropHeld(n);
  }
  if (framesEnd_ >= 0 && heldPos_ >= framesEnd_) {
    stage_ = Stage::Done;
    dropHeld(held_.size() - heldStart_);
  }
  return kAudioNoErr;
}

AudioStatus ChunkedStreamParser::runPackets() {
  const std::uint8_t* p = held_.data() + heldStart_;
  const std::size_t avail = held_.size() - heldStart_;
  descriptions_.clear();
  std::size_t deliverEnd = 0;
  while (next_ < offsets_.size()) {
    const std::int64_t rel = offsets_[next_] - heldPos_;
    const std::uint32_t size = sizes_[next_];
    if (rel < 0) {  // behind the bytes at hand: cannot be had any more
      ++next_;
      continue;
    }
    if (rel >= std::int64_t(avail) || std::uint64_t(rel) + size > avail) break;
    if (size) {
      AudioStreamPacketDescription d;
      d.startOffset = rel;
      d.dataByteSize = size;
      descriptions_.push_back(d);
      deliverEnd = static_cast<std::size_t>(rel) + size;
    }
    ++next_;
  }
  if (!descriptions_.empty()) {
    output().deliverPackets(p, static_cast<std::uint32_t>(deliverEnd),
                            static_cast<std::uint32_t>(descriptions_.size()), descriptions_.data());
  }
  if (next_ >= offsets_.size()) {
    stage_ = Stage::Done;
    dropHeld(avail);
    return kAudioNoErr;
  }
  // Keep the bytes from the next packet on; drop what lies before it.
  const std::int64_t rel = offsets_[next_] - heldPos_;
  dropHeld(static_cast<std::size_t>(std::min<std::int64_t>(rel, std::int64_t(avail))));
  return kAudioNoErr;
}

AudioStatus ChunkedStreamParser::seek(std::int64_t packetIndex, std::int64_t* byteOffset, bool* isEstimate) {
  if (packetIndex < 0) return kAudioErrInvalidParameter;
  std::int64_t target = 0;
  const bool frames =
      stage_ == Stage::Frames || (stage_ == Stage::Done && offsets_.empty() && framesEnd_ >= 0);
  if (frames) {
    std::int64_t limit = kInt64Max / 4 / bytesPerFrame_;
    if (framesEnd_ >= 0) limit = (framesEnd_ - framesStart_) / bytesPerFrame_;
    target = framesStart_ + std::min(packetIndex, limit) * bytesPerFrame_;
    stage_ = Stage::Frames;
  } else if (stage_ == Stage::Packets || (stage_ == Stage::Done && !offsets_.empty())) {
    const std::size_t count = offsets_.size();
    const std::size_t index =
        static_cast<std::size_t>(std::min<std::int64_t>(packetIndex, std::int64_t(count)));
    target = index < count ? offsets_[index] : offsets_.back() + sizes_.back();
    next_ = index;
    stage_ = index < count ? Stage::Packets : Stage::Done;
  } else {
    return kAudioErrNotOptimized;  // no audio yet: nothing to seek in
  }
  // The next bytes are expected from the packet on.
  held_.clear();
  heldStart_ = 0;
  heldPos_ = target;
  *byteOffset = target - dataOffset_;
  *isEstimate = false;
  return kAudioNoErr;
}

void ChunkedStreamParser::publishBasics(std::uint32_t fileType, const AudioStreamBasicDescription& asbd,
                                        std::int64_t dataOffset, std::int64_t byteCount,
                                        std::int64_t packetCount, std::uint32_t upperBound) {
  publish(kAudioFileStreamProperty_FileFormat, &fileType, sizeof fileType);
  publish(kAudioFileStreamProperty_DataFormat, &asbd, sizeof asbd);
  publish(kAudioFileStreamProperty_DataOffset, &dataOffset, sizeof dataOffset);
  if (byteCount >= 0) {
    const std::uint64_t count = static_cast<std::uint64_t>(byteCount);
    publish(kAudioFileStreamProperty_AudioDataByteCount, &count, sizeof count);
  }
  if (packetCount >= 0) {
    const std::uint64_t count = static_cast<std::uint64_t>(packetCount);
    publish(kAudioFileStreamProperty_AudioDataPacketCount, &count, sizeof count);
  }
  if (upperBound) publish(kAudioFileStreamProperty_PacketSizeUpperBound, &upperBound, sizeof upperBound);
}

void ChunkedStreamParser::publishReady() {
  const std::uint32_t ready = 1;
  publish(kAudioFileStreamProperty_ReadyToProducePackets, &ready, sizeof ready);
}

}  // namespace tonvera
