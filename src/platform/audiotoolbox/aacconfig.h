#pragma once
// MPEG-4 audio configuration shared by the ADTS, MP4 and CAF parsers: the AudioSpecificConfig
// (codec set-up, with explicit or backward-compatible SBR and PS signalling), the elementary-stream
// descriptor that wraps it in MP4 and CAF files, the ADTS frame header, and the format list that
// names the richest decodable form first ('aacp' for parametric stereo, then 'aach' for spectral
// band replication, then the 'aac ' core).
//
// Threads: plain functions on values.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audiotoolbox/audiotypes.h"

namespace tonvera {

struct AacConfig {
  int objectType = 0;           // audio object type of the core (2: AAC-LC)
  int sampleRate = 0;           // core sample rate
  int channels = 0;             // core channels (0: given by a program config element)
  int frameLength = 1024;       // core frames per packet (1024 or 960)
  bool sbr = false;             // spectral band replication signalled
  bool ps = false;              // parametric stereo signalled
  int extensionSampleRate = 0;  // output rate with SBR (0: twice the core rate)
};

// Nothing when the bytes are not a configuration this player can use.
std::optional<AacConfig> parseAudioSpecificConfig(const std::uint8_t* p, std::size_t size);

// The format list of a configuration, richest first; the last item is the core format.
std::vector<AudioFormatListItem> aacFormatList(const AacConfig& config);

// The DecoderSpecificInfo (the AudioSpecificConfig) inside an elementary-stream descriptor (tag 3)
// as found in an MP4 'esds' box after its version and flags, or in a CAF 'kuki' chunk. Nothing when
// it is not there or the descriptor is malformed.
std::optional<std::vector<std::uint8_t>> decoderSpecificInfo(const std::uint8_t* p, std::size_t size);

// A 7-byte ADTS header.
struct AdtsHeader {
  int objectType = 0;
  int sampleRate = 0;
  int channels = 0;
  std::uint32_t frameBytes = 0;   // header included
  std::uint32_t headerBytes = 7;  // 9 with a CRC
  int rawBlocks = 1;              // AAC frames in this ADTS frame
  std::uint32_t streamKey = 0;    // the fields that stay the same from frame to frame
  // Nothing when the 7 bytes are not a header this player can play.
  static std::optional<AdtsHeader> parse(const std::uint8_t* p);
};

// Sample rate of a sampling-frequency index (0 for the reserved ones).
int aacSampleRate(unsigned index);

}  // namespace tonvera
