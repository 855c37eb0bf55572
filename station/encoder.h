#pragma once
// Encodes stereo float samples with FFmpeg's libavcodec: MP3 (LAME, constant bit rate, bare
// frames) or AAC-LC in ADTS frames (FFmpeg's own encoder). Deterministic: one encoder thread.
// Any thread may call it; each call owns its codec objects.

#include <optional>
#include <string>
#include <vector>

namespace tonvera::station {

// Pure is not coded here but by encodePureStereo (demopure.h).
enum class DemoCodec { Mp3, AdtsAac, Pure };

// The encoded file bytes, or nothing (and `error` set) when the encoder is missing or fails.
std::optional<std::string> encodeStereo(const std::vector<float>& left, const std::vector<float>& right, int sampleRate,
                                        DemoCodec codec, int bitRate, std::string* error = nullptr);

}  // namespace tonvera::station
