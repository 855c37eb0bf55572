#include "g719_encoder_fuzz_entry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/g719/g719_decoder.h"
#include "audio/g719/g719_encoder.h"

namespace tonvera {
namespace {

constexpr std::size_t kMaxSamples = 8 * 960;  // 8 frames: enough for transients and overlaps

enum Kind { kRaw, kSilence, kSquare, kClicks, kDc, kClipped, kKinds };

std::vector<std::int16_t> makeSignal(int kind, const std::uint8_t* data, std::size_t size) {
  std::vector<std::int16_t> pcm;
  auto byteAt = [&](std::size_t i) { return size == 0 ? 0 : data[i % size]; };
  switch (kind) {
    case kRaw:
    case kClipped:
      for (std::size_t i = 0; i + 1 < size && pcm.size() < kMaxSamples; i += 2) {
        int v = static_cast<std::int16_t>(data[i] | data[i + 1] << 8);
        if (kind == kClipped) v = std::clamp(v * 16, -32768, 32767);
        pcm.push_back(static_cast<std::int16_t>(v));
      }
      break;
    case kSilence:
      pcm.assign(kMaxSamples, 0);
      break;
    case kSquare: {
      // Full-scale square waves whose half period (1..256 samples) changes every frame.
      pcm.resize(kMaxSamples);
      for (std::size_t i = 0; i < pcm.size(); ++i) {
        const int half = 1 + byteAt(i / 960);
        pcm[i] = (i / static_cast<std::size_t>(half)) % 2 ? -32768 : 32767;
      }
      break;
    }
    case kClicks:
      // Full-scale single-sample clicks at positions from the input, over silence.
      pcm.assign(kMaxSamples, 0);
      for (std::size_t i = 0; i + 1 < size; i += 2) {
        pcm[(data[i] | data[i + 1] << 8) % kMaxSamples] = (data[i] & 1) ? 32767 : -32768;
      }
      break;
    default: {
      // DC levels that jump between frames (from the input), full scale included.
      pcm.resize(kMaxSamples);
      for (std::size_t i = 0; i < pcm.size(); ++i) {
        const std::size_t f = i / 960;
        pcm[i] = static_cast<std::int16_t>(byteAt(2 * f) | byteAt(2 * f + 1) << 8);
      }
      break;
    }
  }
  return pcm;
}

}  // namespace

std::string g719RoundTripMismatch(std::span<const std::int16_t> pcm, int rate) {
  const int bits = 20 * rate;
  G719EncoderState encoder;
  g719EncoderInit(encoder, bits);
  G719ChannelState decoder{};
  g719Init(decoder, bits);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(g719EncodedBytes(encoder)));
  G719FrameInfo info;
  std::int16_t in[kG719FrameSamples];
  std::int16_t out[kG719FrameSamples];
  const std::size_t frames = pcm.size() / kG719FrameSamples + 1;
  for (std::size_t f = 0; f < frames; ++f) {
    std::fill(std::begin(in), std::end(in), 0);
    const std::size_t begin = f * kG719FrameSamples;
    if (begin < pcm.size()) {
      const std::size_t n = std::min<std::size_t>(kG719FrameSamples, pcm.size() - begin);
      std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(begin), n, in);
    }
    g719EncodeFrame(in, frame, encoder, &info);
    if ((bits & 7) != 0 && (frame.back() & (0xFFu >> (bits & 7))) != 0) {
      return "frame " + std::to_string(f) + ": bits written past the frame's end";
    }
    g719ResetBitCounts(decoder, bits);
    g719DecodePackedFrame(frame, false, out, decoder);
    if ((decoder.prevTransient != 0) != info.transient) {
      return "frame " + std::to_string(f) + ": transient flag differs";
    }
    for (int i = 0; i < kG719FrameSamples; ++i) {
      if (info.coded[i] && decoder.prevSpectrum[i] != info.spectrum[i]) {
        char text[160];
        std::snprintf(text, sizeof text, "frame %zu: coefficient %d decoded as %g, coded as %g", f, i,
                      static_cast<double>(decoder.prevSpectrum[i]), static_cast<double>(info.spectrum[i]));
        return text;
      }
    }
  }
  return {};
}

int g719EncoderFuzzOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int rate = 2 + 2 * (data[0] % 64);
  const int kind = data[1] % kKinds;
  const std::vector<std::int16_t> pcm = makeSignal(kind, data + 2, size - 2);
  const std::string mismatch = g719RoundTripMismatch(pcm, rate);
  if (!mismatch.empty()) {
    std::fprintf(stderr, "rate %d, signal kind %d: %s\n", rate, kind, mismatch.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace tonvera
