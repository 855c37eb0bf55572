#pragma once
// Plain data types shared by the audio file stream parser and the output queue: stream
// descriptions, packet descriptions, four-character codes and status values.
//
// Threads: plain values; no shared state.

#include <cstdint>

namespace tonvera {

// Status of a parser or queue call: 0 is success, anything else a failure code (often a
// four-character code, like the platform's).
using AudioStatus = std::int32_t;

// Four-character code read as a big-endian number: fourcc("MPG3") == 0x4D504733.
constexpr std::uint32_t fourcc(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

constexpr AudioStatus kAudioNoErr = 0;
// Shared failure codes of the parser and the queue.
constexpr AudioStatus kAudioErrUnsupportedFileType = fourcc("typ?");
constexpr AudioStatus kAudioErrUnsupportedProperty = fourcc("pty?");
constexpr AudioStatus kAudioErrBadPropertySize = fourcc("!siz");
constexpr AudioStatus kAudioErrInvalidFile = fourcc("dta?");
constexpr AudioStatus kAudioErrNotOptimized = fourcc("optm");
// The bytes are not audio of the type the parser was opened for (a PURE header that fails its
// check): nothing of them can ever be played.
constexpr AudioStatus kAudioErrNoAudioData = fourcc("nada");
constexpr AudioStatus kAudioErrInvalidParameter = -50;
constexpr AudioStatus kAudioQueueErrInvalidBuffer = -66687;
constexpr AudioStatus kAudioQueueErrBufferEmpty = -66686;
constexpr AudioStatus kAudioQueueErrDisposed = -66685;
constexpr AudioStatus kAudioQueueErrCodecNotFound = -66680;
constexpr AudioStatus kAudioQueueErrInvalidFormat = -66679;
// Answered by the queue's current-time call while the queue is stopping or stopped.
constexpr AudioStatus kAudioQueueErrStopped = fourcc("stop");

// File types (the hint given when a parser is opened).
constexpr std::uint32_t kAudioFileMP3Type = fourcc("MPG3");
constexpr std::uint32_t kAudioFileWAVEType = fourcc("WAVE");
constexpr std::uint32_t kAudioFileAIFFType = fourcc("AIFF");
constexpr std::uint32_t kAudioFileAIFCType = fourcc("AIFC");
constexpr std::uint32_t kAudioFileM4AType = fourcc("m4af");
constexpr std::uint32_t kAudioFileMPEG4Type = fourcc("mp4f");
constexpr std::uint32_t kAudioFileCAFType = fourcc("caff");
constexpr std::uint32_t kAudioFileAAC_ADTSType = fourcc("adts");
// PURE: a 16-byte header, then G.719 stereo frames (g719/pure_format.h). Its code is a plain number.
constexpr std::uint32_t kAudioFilePureType = 1979;

// Data formats (AudioStreamBasicDescription::formatID).
constexpr std::uint32_t kAudioFormatLinearPCM = fourcc("lpcm");
constexpr std::uint32_t kAudioFormatMPEGLayer3 = fourcc(".mp3");
constexpr std::uint32_t kAudioFormatMPEG4AAC = fourcc("aac ");
constexpr std::uint32_t kAudioFormatMPEG4AAC_HE = fourcc("aach");
constexpr std::uint32_t kAudioFormatMPEG4AAC_HE_V2 = fourcc("aacp");
constexpr std::uint32_t kAudioFormatAppleLossless = fourcc("alac");
// PURE frames: 960 stereo sample frames at 48 kHz each; the magic cookie is the stream's header.
constexpr std::uint32_t kAudioFormatPure = fourcc("pure");

// Linear PCM format flags.
constexpr std::uint32_t kAudioFormatFlagIsFloat = 1u << 0;
constexpr std::uint32_t kAudioFormatFlagIsBigEndian = 1u << 1;
constexpr std::uint32_t kAudioFormatFlagIsSignedInteger = 1u << 2;
constexpr std::uint32_t kAudioFormatFlagIsPacked = 1u << 3;
constexpr std::uint32_t kAudioFormatFlagIsNonInterleaved = 1u << 5;

// The stream's data format. 40 bytes, laid out as the parser's 'dfmt' property.
struct AudioStreamBasicDescription {
  double sampleRate = 0.0;
  std::uint32_t formatID = 0;
  std::uint32_t formatFlags = 0;
  std::uint32_t bytesPerPacket = 0;    // 0 for variable-size packets
  std::uint32_t framesPerPacket = 0;   // sample frames in one packet
  std::uint32_t bytesPerFrame = 0;     // 0 for compressed data
  std::uint32_t channelsPerFrame = 0;
  std::uint32_t bitsPerChannel = 0;    // 0 for compressed data
  std::uint32_t reserved = 0;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

// One packet within a block of bytes: where it starts, how many frames it holds (0: the format's
// fixed count) and how many bytes it has.
struct AudioStreamPacketDescription {
  std::int64_t startOffset = 0;
  std::uint32_t variableFramesInPacket = 0;
  std::uint32_t dataByteSize = 0;
};
static_assert(sizeof(AudioStreamPacketDescription) == 16);

// One item of the 'flst' format list: 48 bytes.
struct AudioFormatListItem {
  AudioStreamBasicDescription asbd;
  std::uint32_t channelLayoutTag = 0;
  std::uint32_t padding = 0;
};
static_assert(sizeof(AudioFormatListItem) == 48);

}  // namespace tonvera
