#include "g719_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "audio/g719/g719_decoder.h"

namespace tonvera::test {

std::string g719Dir() { return std::string(TONVERA_SHARED_DIR) + "/g719/"; }

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<std::int16_t> readPcm(const std::string& path) {
  const std::vector<std::uint8_t> bytes = readBytes(path);
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return pcm;
}

std::optional<Pcm> readWav(const std::string& path) {
  const auto b = readBytes(path);
  auto le = [&](std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::size_t>(i)];
    return v;
  };
  if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
      std::string(b.begin() + 8, b.begin() + 16) != "WAVEfmt " ||
      std::string(b.begin() + 36, b.begin() + 40) != "data" || le(20, 2) != 1 || le(34, 2) != 16 ||
      le(40, 4) != b.size() - 44 || le(4, 4) != b.size() - 8) {
    return std::nullopt;
  }
  Pcm pcm{static_cast<int>(le(24, 4)), static_cast<int>(le(22, 2)),
          std::vector<std::int16_t>((b.size() - 44) / 2)};
  std::memcpy(pcm.samples.data(), b.data() + 44, pcm.samples.size() * 2);
  return pcm;
}

namespace {
bool framesMatch(const Pcm& output, std::size_t at, const std::vector<std::int16_t>& reference,
                 std::size_t from, std::size_t count, int tolerance) {
  const std::size_t ch = static_cast<std::size_t>(output.channels);
  for (std::size_t i = 0; i < count * ch; ++i) {
    if (std::abs(reference[from * ch + i] - output.samples[at * ch + i]) > tolerance) return false;
  }
  return true;
}
}  // namespace

long findAlignment(const Pcm& output, const std::vector<std::int16_t>& reference, long maxShift,
                   int tolerance) {
  const std::size_t refFrames = reference.size() / static_cast<std::size_t>(output.channels);
  const std::size_t start = refFrames / 2, window = 2000;
  if (start + window > refFrames) return -1;
  for (long shift = 0; shift <= maxShift; ++shift) {
    const std::size_t at = start + static_cast<std::size_t>(shift);
    if (at + window <= output.frames() && framesMatch(output, at, reference, start, window, tolerance))
      return shift;
  }
  return -1;
}

std::size_t countMismatches(const Pcm& output, const std::vector<std::int16_t>& reference, long alignment,
                            std::size_t fromFrame, int tolerance) {
  std::size_t bad = 0;
  for (std::size_t f = fromFrame; f < reference.size() / static_cast<std::size_t>(output.channels); ++f) {
    const std::size_t at = f + static_cast<std::size_t>(alignment);
    bad += at >= output.frames() || !framesMatch(output, at, reference, f, 1, tolerance);
  }
  return bad;
}

std::vector<std::int16_t> decodeStream(const std::vector<std::uint8_t>& bits, int rate) {
  const std::size_t frameBytes = static_cast<std::size_t>(20 * rate / 8);
  G719ChannelState state{};
  g719Init(state, 20 * rate);
  std::vector<std::int16_t> out(bits.size() / frameBytes * kG719FrameSamples);
  for (std::size_t f = 0; f < bits.size() / frameBytes; ++f) {
    g719ResetBitCounts(state, 20 * rate);
    g719DecodePackedFrame(std::span(bits).subspan(f * frameBytes, frameBytes), false,
                          std::span<std::int16_t, kG719FrameSamples>(&out[f * kG719FrameSamples], 960),
                          state);
  }
  return out;
}

double snrOneFrameLate(const std::vector<std::int16_t>& source, const std::vector<std::int16_t>& out,
                       std::size_t n, int channels, int channel) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double s = source[i * channels + channel];
    const double e = s - out[(i + 960) * channels + channel];
    signal += s * s;
    noise += e * e;
  }
  return 10 * std::log10(signal / std::max(noise, 1e-9));
}

}  // namespace tonvera::test
