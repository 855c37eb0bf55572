#include "pure_test_util.h"

#include <algorithm>
#include <memory>
#include <random>
#include <span>

#include "audio/purecodec.h"
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

std::vector<std::int16_t> decodeInChunks(const std::vector<std::uint8_t>& stream,
                                         const std::function<std::size_t()>& chunkSize, std::size_t* held) {
  const auto header = parsePureHeader(stream);
  if (!header) return {};
  const auto codec = pureCodecCreate(&*header);
  if (!codec) return {};
  std::vector<std::uint8_t> bytes(stream.begin() + kPureHeaderBytes, stream.end());
  PureFramer framer(pureFrameBytes(header->m_ucBPS));
  std::vector<std::int16_t> out;
  std::int16_t pcm[kPureFramePcmSamples];
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t n = std::min(chunkSize(), bytes.size() - pos);
    std::span<std::uint8_t> chunk(bytes.data() + pos, n);
    pos += n;
    while (!chunk.empty()) {
      const auto frame = framer.next(chunk);
      if (frame.empty()) break;
      if (!pureDecodeFrame(codec.get(), frame, pcm)) return {};
      out.insert(out.end(), pcm, pcm + kPureFramePcmSamples);
    }
  }
  if (held) *held = framer.held();
  return out;
}

std::vector<std::int16_t> decodeWhole(const std::vector<std::uint8_t>& stream) {
  return decodeInChunks(stream, [&] { return stream.size(); });
}

std::function<std::size_t()> randomChunks(unsigned seed, std::size_t lo, std::size_t hi) {
  auto rng = std::make_shared<std::mt19937>(seed);
  return [rng, lo, hi] { return std::uniform_int_distribution<std::size_t>(lo, hi)(*rng); };
}

std::string strictStereoMismatch(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& out) {
  std::string problems;
  for (int ch = 0; ch < 2; ++ch) {
    const Closeness c = compare(ref, out, 2, ch);
    if (!c.strict()) {
      problems += (ch ? " right:" : " left:") + std::string(" samples ") + std::to_string(c.samples) + "/" +
                  std::to_string(c.referenceSamples) + " max " + std::to_string(c.maxDiff) + " mse " +
                  std::to_string(c.mse);
    }
  }
  return problems;
}

}  // namespace tonvera::test
