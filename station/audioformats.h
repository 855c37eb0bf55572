#pragma once
// Audio formats the station serves, and the few byte-level readers the scan needs beyond TagLib:
// the size of a leading ID3v2 tag, the frames of an ADTS (raw AAC) stream, and the PURE header.
// Pure functions over bytes or files; any thread may call them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tonvera::station {

enum class AudioFormat { Mp3, Aac, M4a, Wav, Aiff, Caf, Pure };

// The format of a file name's extension (case-insensitive), or nothing when it is not served.
std::optional<AudioFormat> formatForFileName(std::string_view fileName);

// "Content-Type" of a stream, the names players map to their parsers: "audio/mpeg", "audio/aac",
// "audio/mp4", "audio/x-wav", "audio/x-aiff", "audio/x-caf", "audio/x-pur".
const char* contentTypeOf(AudioFormat format);

// The extension used in stream URLs: "mp3", "aac", "m4a", "wav", "aiff", "caf", "pur".
const char* extensionOf(AudioFormat format);

// Total size in bytes of the ID3v2 tag at the start of `head` (header, body and footer), 0 when
// `head` does not start with one; nothing when the header is damaged.
std::optional<std::uint64_t> id3v2TagSize(std::string_view head);

// The byte range of a raw AAC file that holds ADTS frames, and its length.
struct AdtsInfo {
  std::uint64_t begin = 0;  // first byte of the first frame (after any ID3v2 tags)
  std::uint64_t end = 0;    // one past the last whole frame
  std::uint64_t frames = 0;
  int sampleRate = 0;
  std::int64_t durationMs = 0;
};

// Walks the frame headers of an ADTS file. Nothing when the file cannot be read or holds no frame
// right after its tags.
std::optional<AdtsInfo> readAdtsInfo(const std::string& path);

// Whether an MP3 file holds audio the player can parse: after any ID3v2 tags (and within
// kMpegSyncSearchBytes of them), a Layer III frame whose whole length is in the file and is
// followed by a second whole frame of the same stream. A first frame that only carries a
// Xing/Info header thus never passes alone.
bool hasMpegAudioFrames(const std::string& path);
inline constexpr std::size_t kMpegSyncSearchBytes = 16 * 1024;

// Whether a CAF file starts with its file header and holds a description and a non-empty audio
// data chunk.
bool hasCafAudio(const std::string& path);

// The 16-byte PURE header: magic "PURE", version 16, rate R (1..128), PCM length in bytes of
// 48 kHz stereo 16-bit audio.
struct PureHeader {
  int rate = 0;
  std::uint32_t pcmLength = 0;
  std::int64_t durationMs() const { return pcmLength / 192; }
};
inline constexpr std::size_t kPureHeaderSize = 16;

// Nothing when `bytes` is shorter than a header, the magic or version is wrong, or R is outside
// 1..128 (such a stream cannot be framed).
std::optional<PureHeader> parsePureHeader(std::string_view bytes);
std::optional<PureHeader> readPureHeader(const std::string& path);

}  // namespace tonvera::station
