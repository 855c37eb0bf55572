#include "g719_test_util.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "audio/g719/g719_decoder.h"

namespace tonvera::test {

std::string g719Dir() { return std::string(TONVERA_SHARED_DIR) + "/g719/"; }

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::int16_t> readPcm(const std::string& path) {
  const std::vector<std::uint8_t> bytes = readBytes(path);
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return pcm;
}

std::vector<std::uint16_t> softBitsOf(const std::uint8_t* bytes, int bits) {
  std::vector<std::uint16_t> soft(static_cast<std::size_t>(bits));
  for (int k = 0; k < bits; ++k) {
    soft[k] = ((bytes[k >> 3] >> (7 - (k & 7))) & 1) ? kG719SoftOne : kG719SoftZero;
  }
  return soft;
}

std::vector<std::int16_t> decodeStream(const std::vector<std::uint8_t>& bits, int rate) {
  const int frameBits = 20 * rate;
  const std::size_t frameBytes = static_cast<std::size_t>(frameBits / 8);
  const std::size_t frames = bits.size() / frameBytes;
  G719ChannelState state{};
  g719Init(state, frameBits);
  std::vector<std::int16_t> out(frames * kG719FrameSamples);
  for (std::size_t f = 0; f < frames; ++f) {
    const std::vector<std::uint16_t> soft = softBitsOf(bits.data() + f * frameBytes, frameBits);
    g719ResetBitCounts(state, frameBits);
    g719DecodeFrame(soft, false, std::span<std::int16_t, kG719FrameSamples>(&out[f * kG719FrameSamples], 960),
                    state);
  }
  return out;
}

Closeness compare(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& out, int channels,
                  int channel) {
  Closeness c;
  c.referenceSamples = ref.size() / channels;
  c.samples = out.size() / channels;
  const std::size_t n = std::min(ref.size(), out.size()) / channels;
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int d = std::abs(ref[i * channels + channel] - out[i * channels + channel]);
    if (d != 0) ++c.differing;
    c.maxDiff = std::max(c.maxDiff, d);
    sum += static_cast<double>(d) * d;
  }
  c.mse = n ? sum / static_cast<double>(n) : 0;
  return c;
}

}  // namespace tonvera::test
