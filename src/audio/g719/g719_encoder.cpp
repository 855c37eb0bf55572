#include "audio/g719/g719_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/g719/g719_bitalloc.h"
#include "audio/g719/g719_coefficients.h"
#include "audio/g719/g719_tables.h"
#include "audio/g719/g719_vq.h"

namespace tonvera {
namespace {

using namespace g719;

constexpr int kReducedBands = 36;
constexpr int kNormLevels = 40;
constexpr int kFirstNormMax = 31;  // the first norm is sent in 5 bits
constexpr int kNormBits = 5;
constexpr int kNormOffset = 15;  // differential norm indices are sent offset by 15
constexpr int kDiffMin = -15;    // a differential index of 0..31 covers steps of -15..+16
constexpr int kDiffMax = 16;
// Frames below this size code only the lower 36 bands when the strongest band lies below band
// 34: their few bits go further on the lower bands, and the decoder mirrors the rest.
constexpr int kReducedBandsBelowBits = 960;
constexpr int kReducedBandsPeakBelow = 34;
// Noise filling: the filled bands are attenuated (2^-index) until their energy is at most this
// share of the energy they stand for. Less than full energy: the fill is uncorrelated with the
// original, so a quieter fill costs less error while keeping the spectrum's envelope.
constexpr float kNoiseFillShare = 0.35f;
constexpr int kBlocks = kCodedLength / 8;

// Writes bits most significant first; bits past the frame's end are dropped.
class BitWriter {
 public:
  BitWriter(std::uint8_t* out, int bytes, int capacity) : out_(out), capacity_(capacity) {
    std::memset(out, 0, static_cast<std::size_t>(bytes));
  }
  void write(std::uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i, ++pos_) {
      if (pos_ < capacity_ && ((value >> i) & 1u) != 0)
        out_[pos_ >> 3] |= static_cast<std::uint8_t>(0x80u >> (pos_ & 7));
    }
  }

 private:
  std::uint8_t* out_;
  int capacity_;
  int pos_ = 0;
};

// Norm index of a band with mean energy `power` per coefficient: the level 2^(17 - i/2) nearest
// to its rms, on the log scale.
int quantizeNorm(float power) {
  if (!(power > 0.0f)) return kNormLevels - 1;
  const int i = static_cast<int>(std::floor(34.0f - std::log2(power) + 0.5f));
  return std::clamp(i, 0, kNormLevels - 1);
}

// Brings the norms in transmission order within what the code can carry: a first norm of at
// most 31 and steps of -15..+16. Norms only ever move to louder levels (smaller indices), so no
// band's normalised values grow beyond its code.
void limitNormSteps(int* sent) {
  sent[0] = std::min(sent[0], kFirstNormMax);
  for (int q = kBands - 1; q > 0; --q) sent[q - 1] = std::min(sent[q - 1], sent[q] - kDiffMin);
  for (int q = 1; q < kBands; ++q) sent[q] = std::min(sent[q], sent[q - 1] + kDiffMax);
}

struct Frame {
  bool transient = false;
  int codedBands = kBands;
  bool normHuffman = false;
  bool coefHuffman = false;
  int sent[kBands];       // norm indices in transmission order
  int norm[kBands];       // norm index of each band
  BitAllocation alloc;    // bits per coefficient after the leftover pass
  bool leftover[kBands];  // band coded with the leftover bits (1 bit per coefficient)
  int leftoverOrder[kBands];
  int leftoverCount = 0;
  std::int16_t k[kCodedLength];  // lattice indices of bands with 2..9 bits per coefficient
  std::int16_t oneBit[kBlocks];  // codebook index per block of 1-bit bands
  int noiseLevel = 0;
};

void quantizeBand(const float* t, int b, int bits, Frame& f, float* xhat) {
  const int start = kBandStart[b];
  const int width = kBandWidth[b];
  if (bits == 1) {
    int previous = -1;
    for (int i = 0; i < width; i += 8) {
      previous = quantizeOneBitBlock(t + start + i, previous, xhat + start + i);
      f.oneBit[(start + i) >> 3] = static_cast<std::int16_t>(previous);
    }
  } else {
    for (int i = 0; i < width; i += 8)
      quantizeLatticeBlock(t + start + i, bits, f.k + start + i, xhat + start + i);
  }
}

// Noise-level index of a stationary frame: simulates the decoder's fill of the bands without
// bits from the coded values and attenuates it to about kNoiseFillShare of the energy the
// bands had.
int chooseNoiseLevel(const float* t, const float* xhat, const std::int8_t* bits) {
  int last = -1;
  int size = 0;
  for (int b = 0; b < kBands; ++b) {
    if (bits[b] != 0) {
      last = b;
      size += kBandWidth[b];
    }
  }
  if (size == 0) return 0;
  float codebook[kCodedLength];
  int n = 0;
  for (int b = 0; b < kBands; ++b) {
    if (bits[b] != 0) {
      std::memcpy(codebook + n, xhat + kBandStart[b], sizeof(float) * kBandWidth[b]);
      n += kBandWidth[b];
    }
  }
  float fill = 0.0f;
  float original = 0.0f;
  int pos = 0;
  for (int b = 0; b <= last; ++b) {
    if (bits[b] != 0) continue;
    for (int i = 0; i < kBandWidth[b]; ++i) {
      fill += codebook[pos] * codebook[pos];
      if (++pos == size) pos = 0;
      const float v = t[kBandStart[b] + i];
      original += v * v;
    }
  }
  if (!(fill > 0.0f)) return 0;
  int level = 0;
  while (level < 3 && fill > kNoiseFillShare * original) {
    fill *= 0.25f;
    ++level;
  }
  return level;
}

void writeFrame(const Frame& f, BitWriter& out) {
  out.write(f.transient ? 1 : 0, 1);
  out.write(f.codedBands == kBands ? 1 : 0, 1);
  out.write(f.normHuffman ? 1 : 0, 1);
  out.write(f.coefHuffman ? 1 : 0, 1);
  out.write(static_cast<std::uint32_t>(f.sent[0]), kNormBits);
  for (int q = 1; q < kBands; ++q) {
    const int d = f.sent[q] - f.sent[q - 1] + kNormOffset;
    if (f.normHuffman) {
      out.write(static_cast<std::uint32_t>(normCodeword(d)), normCodeLength(d));
    } else {
      out.write(static_cast<std::uint32_t>(d), kNormBits);
    }
  }
  auto writeOneBit = [&](int b) {
    for (int i = 0; i < kBandWidth[b]; i += 8)
      out.write(static_cast<std::uint32_t>(f.oneBit[(kBandStart[b] + i) >> 3]), 8);
  };
  for (int b = 0; b < f.codedBands; ++b) {
    const int bits = f.alloc.bits[b];
    if (bits == 0 || f.leftover[b]) continue;
    if (bits == 1) {
      writeOneBit(b);
      continue;
    }
    const std::int16_t* k = f.k + kBandStart[b];
    for (int i = 0; i < kBandWidth[b]; ++i) {
      if (f.coefHuffman && bits <= 5) {
        out.write(static_cast<std::uint32_t>(coefCodeword(bits, k[i])), coefCodeLength(bits, k[i]));
      } else {
        out.write(static_cast<std::uint32_t>(k[i]), bits);
      }
    }
  }
  for (int i = 0; i < f.leftoverCount; ++i) writeOneBit(f.leftoverOrder[i]);
  if (!f.transient) out.write(static_cast<std::uint32_t>(f.noiseLevel), 2);
}

// Position of each interleaved coefficient in the de-interleaved spectrum of a transient frame.
struct DeinterleavedPositions {
  std::int16_t at[kCodedLength];
};
constexpr DeinterleavedPositions kDeinterleaved = [] {
  DeinterleavedPositions p{};
  for (int s = 0; s < 4; ++s) {
    for (int q = 0; q < kShortBlockCoded; ++q)
      p.at[kTransientDeinterleave[s][q]] = static_cast<std::int16_t>(kShortBlockLength * s + q);
  }
  return p;
}();

void describe(const Frame& f, const float* xhat, G719FrameInfo& info) {
  info.transient = f.transient;
  info.codedBands = f.codedBands;
  std::fill(std::begin(info.spectrum), std::end(info.spectrum), 0.0f);
  std::fill(std::begin(info.coded), std::end(info.coded), false);
  for (int b = 0; b < kBands; ++b) {
    info.bits[b] = f.alloc.bits[b];
    if (f.alloc.bits[b] == 0) continue;
    for (int i = kBandStart[b]; i < kBandStart[b] + kBandWidth[b]; ++i) {
      const int at = f.transient ? kDeinterleaved.at[i] : i;
      info.spectrum[at] = xhat[i] * kNormDequant[f.norm[b]];
      info.coded[at] = true;
    }
  }
}

}  // namespace

void g719EncoderInit(G719EncoderState& state, int bitsPerFrame) {
  std::fill(std::begin(state.history), std::end(state.history), 0.0f);
  resetTransientDetector(state.detector);
  state.bitsPerFrame = std::clamp(bitsPerFrame, 0, kG719MaxFrameBits);
}

int g719EncodedBytes(const G719EncoderState& state) { return (state.bitsPerFrame + 7) / 8; }

void g719EncodeFrame(std::span<const std::int16_t, kG719FrameSamples> pcm, std::span<std::uint8_t> out,
                     G719EncoderState& state, G719FrameInfo* info) {
  const int frameBits = state.bitsPerFrame;
  if (out.size() < static_cast<std::size_t>(g719EncodedBytes(state))) return;

  // Analysis window: the previous frame, then the new one.
  alignas(16) float window[2 * kG719FrameSamples];
  std::copy(std::begin(state.history), std::end(state.history), window);
  for (int i = 0; i < kG719FrameSamples; ++i) window[kG719FrameSamples + i] = static_cast<float>(pcm[i]);
  std::copy(window + kG719FrameSamples, window + 2 * kG719FrameSamples, state.history);

  Frame f;
  f.transient = detectTransient(window + kG719FrameSamples, state.detector);
  alignas(16) float folded[kG719FrameSamples];
  windowAndFold(window, folded);
  alignas(16) float spectrum[kG719FrameSamples];
  if (f.transient) {
    forwardShortInterleaved(folded, spectrum);
  } else {
    forwardLong(folded, spectrum);
  }

  // Norms: quantised band rms, limited to what the differential code carries.
  for (int b = 0; b < kBands; ++b) {
    const float* x = spectrum + kBandStart[b];
    float energy = 0.0f;
    for (int i = 0; i < kBandWidth[b]; ++i) energy += x[i] * x[i];
    f.norm[b] = quantizeNorm(energy / static_cast<float>(kBandWidth[b]));
  }
  for (int b = 0; b < kBands; ++b) f.sent[f.transient ? kTransientNormOrder[b] : b] = f.norm[b];
  limitNormSteps(f.sent);
  for (int b = 0; b < kBands; ++b) f.norm[b] = f.sent[f.transient ? kTransientNormOrder[b] : b];

  int huffmanNormBits = 0;
  for (int q = 1; q < kBands; ++q) huffmanNormBits += normCodeLength(f.sent[q] - f.sent[q - 1] + kNormOffset);
  const int plainNormBits = (kBands - 1) * kNormBits;
  f.normHuffman = huffmanNormBits <= plainNormBits;
  const int normBits = f.normHuffman ? huffmanNormBits : plainNormBits;

  if (frameBits < kReducedBandsBelowBits) {
    const int loudest = static_cast<int>(std::min_element(f.norm, f.norm + kBands) - f.norm);
    if (loudest < kReducedBandsPeakBelow) f.codedBands = kReducedBands;
  }

  // The decoder's own allocation over the same budget.
  const int spectrumBits = f.transient ? frameBits - 1 : frameBits - 3;
  const int budget = spectrumBits - 3 - kNormBits - normBits;
  int levels[kBands];
  for (int b = 0; b < kBands; ++b) levels[b] = kNormLog2[f.norm[b]];
  allocateBits(levels, f.transient, f.codedBands, budget, f.alloc);

  // Normalised coefficients and their quantisation.
  alignas(16) float t[kCodedLength];
  for (int b = 0; b < kBands; ++b) {
    const float inverse = 1.0f / kNormDequant[f.norm[b]];
    for (int i = kBandStart[b]; i < kBandStart[b] + kBandWidth[b]; ++i) t[i] = spectrum[i] * inverse;
  }
  alignas(16) float xhat[kCodedLength];
  int plainBits = 0;
  int huffmanBits = 0;
  bool anyHuffmanBand = false;
  for (int b = 0; b < f.codedBands; ++b) {
    const int bits = f.alloc.bits[b];
    f.leftover[b] = false;
    if (bits == 0) continue;
    quantizeBand(t, b, bits, f, xhat);
    plainBits += bits * kBandWidth[b];
    if (bits >= 2 && bits <= 5) {
      anyHuffmanBand = true;
      for (int i = kBandStart[b]; i < kBandStart[b] + kBandWidth[b]; ++i)
        huffmanBits += coefCodeLength(bits, f.k[i]);
    } else {
      huffmanBits += bits * kBandWidth[b];
    }
  }
  for (int b = f.codedBands; b < kBands; ++b) f.leftover[b] = false;
  f.coefHuffman = anyHuffmanBand && huffmanBits < plainBits;
  int unused = budget - (f.coefHuffman ? huffmanBits : plainBits);

  // Bits left by the coefficients: 1 bit per coefficient to bands without bits, in rank order.
  for (int i = 1; i < f.codedBands; ++i) {
    const int b = f.alloc.order[i];
    if (f.alloc.bits[b] == 0 && unused >= kBandWidth[b]) {
      f.alloc.bits[b] = 1;
      f.leftover[b] = true;
      f.leftoverOrder[f.leftoverCount++] = b;
      quantizeBand(t, b, 1, f, xhat);
      unused -= kBandWidth[b];
    }
  }
  if (!f.transient) f.noiseLevel = chooseNoiseLevel(t, xhat, f.alloc.bits);

  BitWriter writer(out.data(), g719EncodedBytes(state), frameBits);
  writeFrame(f, writer);
  if (info != nullptr) describe(f, xhat, *info);
}

}  // namespace tonvera
