#include "pure_test_util.h"

#include <algorithm>
#include <random>
#include <span>

#include "audio/g719/purecodec.h"
#include "g719_test_util.h"

namespace tonvera::test {

const std::vector<PublicPureFile>& publicPureFiles() {
  static const std::vector<PublicPureFile> files = {
      {"en_chord_r64", 64, 100},   {"zh_castanets_r64", 64, 100}, {"castanets_silence_r64", 64, 100},
      {"en_enquiet_r64", 64, 100}, {"en_sweep_r32", 32, 100},     {"sweep_noisefull_r128", 128, 100},
      {"short3_r64", 64, 3},
  };
  return files;
}

std::string purePath(const std::string& name) { return g719Dir() + "pure/" + name + ".pur"; }
std::string pureRefPath(const std::string& name) { return g719Dir() + "pure/" + name + ".ref.pcm"; }

std::vector<std::int16_t> decodeWhole(const std::vector<std::uint8_t>& stream) {
  const auto header = parsePureHeader(stream);
  const auto codec = header ? pureCodecCreate(&*header) : nullptr;
  if (!codec) return {};
  std::vector<std::uint8_t> bytes(stream.begin() + kPureHeaderBytes, stream.end());
  PureFramer framer(pureFrameBytes(header->m_ucBPS));
  std::span<std::uint8_t> rest(bytes);
  std::vector<std::int16_t> out;
  std::int16_t pcm[kPureFramePcmSamples];
  for (auto frame = framer.next(rest); !frame.empty(); frame = framer.next(rest)) {
    if (!pureDecodeFrame(codec.get(), frame, pcm)) return {};
    out.insert(out.end(), pcm, pcm + kPureFramePcmSamples);
  }
  return out;
}

std::vector<std::uint8_t> buildPure(int rate, const std::vector<std::string>& left,
                                    const std::vector<std::string>& right, int frames, unsigned seed) {
  const std::size_t w = static_cast<std::size_t>(pureChannelBytes(rate));
  auto cycle = [&](const std::vector<std::string>& names) {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& name : names) {
      const auto bits = readBytes(g719Dir() + "vectors/" + name + ".bits");
      for (std::size_t at = 0; at + w <= bits.size(); at += w)
        out.emplace_back(bits.begin() + at, bits.begin() + at + w);
    }
    return out;
  };
  const auto l = cycle(left);
  const auto r = cycle(right);
  const std::uint32_t pcm = static_cast<std::uint32_t>(frames) * kPureFramePcmBytes;
  std::vector<std::uint8_t> out = {'P', 'U', 'R', 'E', kPureVersion, static_cast<std::uint8_t>(rate)};
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(frames) >> (8 * i)));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(pcm >> (8 * i)));
  out.insert(out.end(), {0, 0});
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(pureFrameBytes(rate)));
  for (int f = 0; f < frames; ++f) {
    std::fill(frame.begin(), frame.end(), 0);
    const auto key = static_cast<std::uint16_t>(rng());
    frame[1] = static_cast<std::uint8_t>(key);
    frame[2] = static_cast<std::uint8_t>(key >> 8);
    const auto& lf = l[static_cast<std::size_t>(f) % l.size()];
    const auto& rf = r[static_cast<std::size_t>(f) % r.size()];
    std::copy(lf.begin(), lf.end(), frame.begin() + 4);
    std::copy(rf.begin(), rf.end(), frame.begin() + 4 + static_cast<std::ptrdiff_t>(w));
    pureDescramble(frame, rate);  // scrambling is the same operation
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

std::vector<std::int16_t> wavSamples(const std::string& path) {
  const auto wav = readWav(path);
  return wav && wav->rate == 48000 && wav->channels == 2 ? wav->samples : std::vector<std::int16_t>{};
}

std::vector<std::int16_t> stereoFrames(const std::vector<std::int16_t>& pcm, std::size_t first,
                                       std::size_t count) {
  const std::size_t from = std::min(pcm.size(), first * kPureFramePcmSamples);
  const std::size_t to = std::min(pcm.size(), (first + count) * kPureFramePcmSamples);
  return {pcm.begin() + static_cast<std::ptrdiff_t>(from), pcm.begin() + static_cast<std::ptrdiff_t>(to)};
}

long firstExactFrameToTheEnd(const std::vector<std::int16_t>& expected,
                             const std::vector<std::int16_t>& out) {
  if (expected.size() != out.size() || out.size() % kPureFramePcmSamples != 0) return -1;
  long frame = static_cast<long>(out.size() / kPureFramePcmSamples);
  while (frame > 0) {
    const auto begin = static_cast<std::ptrdiff_t>(frame - 1) * kPureFramePcmSamples;
    if (!std::equal(out.begin() + begin, out.begin() + begin + kPureFramePcmSamples,
                    expected.begin() + begin))
      break;
    --frame;
  }
  return frame == static_cast<long>(out.size() / kPureFramePcmSamples) && !out.empty() ? -1 : frame;
}

}  // namespace tonvera::test
