#pragma once
// PURE files for the demo library: a rendered stereo song resampled to 48 kHz (libswresample) and
// coded with the PURE writer, so that the radio plays the format out of the box. Deterministic:
// the same song gives the same bytes.
// Any thread may call it; each call owns its converter and encoder.

#include <optional>
#include <string>
#include <vector>

namespace tonvera::station {

// The PURE file of a song given as float samples (-1..1) at `sampleRate`, coded at R kbit/s per
// channel. Nothing (and `error` set) when the conversion fails or R is not an even rate 2..128.
std::optional<std::string> encodePureStereo(const std::vector<float>& left, const std::vector<float>& right,
                                            int sampleRate, int rate, std::string* error = nullptr);

}  // namespace tonvera::station
