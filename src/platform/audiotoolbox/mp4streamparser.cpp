// MPEG-4 audio files (M4A, MP4): the "moov" box is kept whole; its first sound track with AAC
// ('mp4a' with an elementary-stream descriptor) or Apple Lossless ('alac') gives the format, the
// codec configuration and the sample table (sizes, chunk offsets, samples per chunk), from which
// every packet is delivered as its bytes arrive in "mdat". A file whose "mdat" comes before its
// "moov" cannot be played while it streams: parsing fails with kAudioErrNotOptimized.
#include <algorithm>
#include <cstring>

#include "platform/audiotoolbox/aacconfig.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/chunkedstreamparser.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {

namespace {

constexpr std::size_t kMaxMoovBytes = 16 * 1024 * 1024;

struct Span {
  const std::uint8_t* p = nullptr;
  std::size_t size = 0;
  explicit operator bool() const { return p != nullptr; }
};

// Iterates the boxes inside a span. A box that does not fit ends the iteration.
class Boxes {
 public:
  explicit Boxes(Span span) : at_(span.p), end_(span.p ? span.p + span.size : nullptr) {}
  bool next(std::uint32_t* type, Span* payload) {
    if (!at_ || end_ - at_ < 8) return false;
    std::uint64_t size = readBE32(at_);
    std::size_t header = 8;
    if (size == 1) {
      if (end_ - at_ < 16) return false;
      size = readBE64(at_ + 8);
      header = 16;
    } else if (size == 0) {
      size = static_cast<std::uint64_t>(end_ - at_);
    }
    if (size < header || size > static_cast<std::uint64_t>(end_ - at_)) return false;
    *type = readBE32(at_ + 4);
    *payload = Span{at_ + header, static_cast<std::size_t>(size - header)};
    at_ += size;
    return true;
  }

 private:
  const std::uint8_t* at_;
  const std::uint8_t* end_;
};

Span child(Span parent, std::uint32_t wanted) {
  Boxes boxes(parent);
  std::uint32_t type;
  Span payload;
  while (boxes.next(&type, &payload)) {
    if (type == wanted) return payload;
  }
  return {};
}

// A full box's payload after its version and flags.
Span afterVersion(Span box) { return box.size >= 4 ? Span{box.p + 4, box.size - 4} : Span{}; }

struct Track {
  AudioStreamBasicDescription asbd{};
  std::vector<AudioFormatListItem> formats;  // AAC only
  std::vector<std::uint8_t> cookie;
  std::vector<std::int64_t> offsets;
  std::vector<std::uint32_t> sizes;
};

// The sound sample entry ('mp4a' or 'alac'): format and codec configuration.
bool readSampleEntry(std::uint32_t type, Span entry, Track* track) {
  if (entry.size < 28) return false;
  const std::uint16_t version = readBE16(entry.p + 8);
  const std::uint32_t channels = readBE16(entry.p + 16);
  std::size_t childrenAt = 28 + (version == 1 ? 16 : version == 2 ? 36 : 0);
  if (childrenAt > entry.size) return false;
  const Span children{entry.p + childrenAt, entry.size - childrenAt};
  if (type == fourcc("mp4a")) {
    const Span esds = afterVersion(child(children, fourcc("esds")));
    if (!esds) return false;
    auto asc = decoderSpecificInfo(esds.p, esds.size);
    if (!asc) return false;
    auto config = parseAudioSpecificConfig(asc->data(), asc->size());
    if (!config) return false;
    if (config->channels == 0) config->channels = static_cast<int>(channels);
    if (config->channels <= 0 || config->channels > int(kMaxChannels)) return false;
    track->formats = aacFormatList(*config);
    track->asbd = track->formats.back().asbd;
    track->cookie = std::move(*asc);
    return true;
  }
  // Apple Lossless: the decoder takes the whole 36-byte 'alac' atom.
  const Span alac = child(children, fourcc("alac"));
  if (!alac || alac.size != 28) return false;
  const std::uint8_t* c = alac.p + 4;  // after version and flags
  AudioStreamBasicDescription& a = track->asbd;
  a.formatID = kAudioFormatAppleLossless;
  a.framesPerPacket = readBE32(c);
  a.channelsPerFrame = c[9];
  a.sampleRate = readBE32(c + 20);
  const int depth = c[5];
  a.formatFlags = depth == 16 ? 1 : depth == 20 ? 2 : depth == 24 ? 3 : depth == 32 ? 4 : 0;
  if (a.framesPerPacket == 0 || a.channelsPerFrame == 0 || a.channelsPerFrame > kMaxChannels ||
      a.sampleRate < 1 || a.sampleRate > kMaxSampleRate || a.formatFlags == 0) {
    return false;
  }
  track->cookie.assign({0, 0, 0, 36, 'a', 'l', 'a', 'c'});
  track->cookie.insert(track->cookie.end(), alac.p, alac.p + alac.size);
  return true;
}

// Sample offsets and sizes from stsz, stsc and stco/co64.
bool readSampleTable(Span stbl, Track* track) {
  const Span stsz = afterVersion(child(stbl, fourcc("stsz")));
  const Span stsc = afterVersion(child(stbl, fourcc("stsc")));
  Span stco = afterVersion(child(stbl, fourcc("stco")));
  bool wide = false;
  if (!stco) {
    stco = afterVersion(child(stbl, fourcc("co64")));
    wide = true;
  }
  if (!stsz || !stsc || !stco || stsz.size < 8 || stsc.size < 4 || stco.size < 4) return false;
  const std::uint32_t fixedSize = readBE32(stsz.p);
  std::uint64_t count = readBE32(stsz.p + 4);
  if (fixedSize == 0) count = std::min<std::uint64_t>(count, (stsz.size - 8) / 4);
  if (count > kMaxPackets) return false;
  const std::uint64_t ranges = std::min<std::uint64_t>(readBE32(stsc.p), (stsc.size - 4) / 12);
  const std::uint64_t chunks = std::min<std::uint64_t>(readBE32(stco.p), (stco.size - 4) / (wide ? 8 : 4));

  track->offsets.reserve(static_cast<std::size_t>(count));
  track->sizes.reserve(static_cast<std::size_t>(count));
  std::uint64_t sample = 0;
  for (std::uint64_t r = 0; r < ranges && sample < count; ++r) {
    const std::uint8_t* e = stsc.p + 4 + r * 12;
    const std::uint64_t first = readBE32(e);
    const std::uint64_t last = r + 1 < ranges ? readBE32(e + 12) : chunks + 1;  // exclusive, 1-based
    const std::uint32_t perChunk = readBE32(e + 4);
    if (first == 0) return false;
    for (std::uint64_t c = first; c < last && c <= chunks && sample < count; ++c) {
      const std::uint8_t* o = stco.p + 4 + (c - 1) * (wide ? 8 : 4);
      std::uint64_t at = wide ? readBE64(o) : readBE32(o);
      for (std::uint32_t s = 0; s < perChunk && sample < count; ++s, ++sample) {
        const std::uint32_t size = fixedSize ? fixedSize : readBE32(stsz.p + 8 + sample * 4);
        if (at > (std::uint64_t(1) << 62)) return false;
        track->offsets.push_back(static_cast<std::int64_t>(at));
        track->sizes.push_back(size);
        at += size;
      }
    }
  }
  return !track->offsets.empty();
}

// The first sound track this player can decode.
bool readMovie(Span moov, Track* out) {
  Boxes traks(moov);
  std::uint32_t type;
  Span trak;
  while (traks.next(&type, &trak)) {
    if (type != fourcc("trak")) continue;
    const Span mdia = child(trak, fourcc("mdia"));
    const Span hdlr = afterVersion(child(mdia, fourcc("hdlr")));
    if (!hdlr || hdlr.size < 8 || readBE32(hdlr.p + 4) != fourcc("soun")) continue;
    const Span stbl = child(child(mdia, fourcc("minf")), fourcc("stbl"));
    const Span stsd = afterVersion(child(stbl, fourcc("stsd")));
    if (!stsd || stsd.size < 4) continue;
    Boxes entries(Span{stsd.p + 4, stsd.size - 4});
    Span entry;
    if (!entries.next(&type, &entry) || (type != fourcc("mp4a") && type != fourcc("alac"))) continue;
    Track track;
    if (!readSampleEntry(type, entry, &track) || !readSampleTable(stbl, &track)) continue;
    *out = std::move(track);
    return true;
  }
  return false;
}

class Mp4StreamParser final : public ChunkedStreamParser {
 public:
  Mp4StreamParser(Output& output, std::uint32_t fileType)
      : ChunkedStreamParser(output), fileType_(fileType) {}

 private:
  std::size_t fileHeaderBytes() const override { return 0; }
  AudioStatus readFileHeader(const std::uint8_t*) override { return kAudioNoErr; }

  AudioStatus readChunkHeader(const std::uint8_t* p, std::size_t avail, ChunkHeader* out,
                              std::size_t* need) override {
    if (avail < 8) {
      *need = 8;
      return kAudioNoErr;
    }
    // Box types are four printable characters: anything else is not an MP4 file (or is damaged).
    for (int i = 4; i < 8; ++i) {
      if (p[i] < 0x20 || p[i] > 0x7E) return kAudioErrInvalidFile;
    }
    const std::uint32_t size = readBE32(p);
    out->id = readBE32(p + 4);
    if (size == 1) {
      if (avail < 16) {
        *need = 16;
        return kAudioNoErr;
      }
      const std::uint64_t large = readBE64(p + 8);
      if (large < 16 || large > (std::uint64_t(1) << 62)) return kAudioErrInvalidFile;
      out->headerBytes = 16;
      out->payloadSize = static_cast<std::int64_t>(large - 16);
    } else if (size == 0) {
      out->headerBytes = 8;
      out->payloadSize = -1;
    } else {
      if (size < 8) return kAudioErrInvalidFile;
      out->headerBytes = 8;
      out->payloadSize = size - 8;
    }
    return kAudioNoErr;
  }

  ChunkAction actionFor(const ChunkHeader& chunk, std::size_t* limit) override {
    if (chunk.id == fourcc("moov")) {
      *limit = kMaxMoovBytes;
      return ChunkAction::Keep;
    }
    // Media data before the movie: an empty one is passed over, any other cannot be streamed.
    if (chunk.id == fourcc("mdat") && chunk.payloadSize != 0) return ChunkAction::Audio;
    return ChunkAction::Skip;
  }

  AudioStatus startAudio(const ChunkHeader&, const std::uint8_t*, std::int64_t, std::int64_t) override {
    return kAudioErrNotOptimized;
  }

  AudioStatus readChunk(std::uint32_t, const std::uint8_t* p, std::size_t size) override {
    Track track;
    if (!readMovie(Span{p, size}, &track)) return fourcc("fmt?");
    if (!checkPacketTable(track.offsets, track.sizes)) return kAudioErrInvalidFile;
    const std::int64_t start = track.offsets.front();
    const std::int64_t span = track.offsets.back() + track.sizes.back() - start;
    const std::uint32_t largest = *std::max_element(track.sizes.begin(), track.sizes.end());
    const std::int64_t count = static_cast<std::int64_t>(track.offsets.size());
    startPackets(std::move(track.offsets), std::move(track.sizes));
    publishBasics(fileType_, track.asbd, start, span, count, largest);
    if (!track.formats.empty()) {
      publish(kAudioFileStreamProperty_FormatList, track.formats.data(),
              static_cast<std::uint32_t>(track.formats.size() * sizeof(AudioFormatListItem)));
    }
    publish(kAudioFileStreamProperty_MagicCookieData, track.cookie.data(),
            static_cast<std::uint32_t>(track.cookie.size()));
    publishReady();
    return kAudioNoErr;
  }

  const std::uint32_t fileType_;
};

}  // namespace

std::unique_ptr<StreamFormatParser> makeMp4StreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<Mp4StreamParser>(output, kAudioFileM4AType);
}

std::unique_ptr<StreamFormatParser> makeMpeg4StreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<Mp4StreamParser>(output, kAudioFileMPEG4Type);
}

}  // namespace tonvera
