// Codes a mono 48 kHz 16-bit PCM file at R kbit/s with the G.719 encoder and decodes it again
// with the decoder, writing the decoded PCM (one frame late, every frame written, as the PURE
// player plays it) and optionally the coded frames. Used by scripts/g719_quality.sh.
//
// usage: g719_roundtrip RATE IN.pcm OUT.pcm [OUT.bits]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/g719/g719_decoder.h"
#include "audio/g719/g719_encoder.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: g719_roundtrip RATE IN.pcm OUT.pcm [OUT.bits]\n");
    return 2;
  }
  const int rate = std::atoi(argv[1]);
  std::ifstream in(argv[2], std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
  }
  const std::size_t frames = pcm.size() / 960 + 1;
  pcm.resize(frames * 960, 0);

  tonvera::G719EncoderState enc;
  tonvera::g719EncoderInit(enc, 20 * rate);
  tonvera::G719ChannelState dec{};
  tonvera::g719Init(dec, 20 * rate);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(tonvera::g719EncodedBytes(enc)));
  std::vector<std::int16_t> outPcm(frames * 960);
  std::vector<std::uint8_t> bits;
  for (std::size_t f = 0; f < frames; ++f) {
    tonvera::g719EncodeFrame(std::span<const std::int16_t, 960>(pcm.data() + 960 * f, 960), frame, enc);
    bits.insert(bits.end(), frame.begin(), frame.end());
    tonvera::g719ResetBitCounts(dec, 20 * rate);
    tonvera::g719DecodePackedFrame(frame, false, std::span<std::int16_t, 960>(outPcm.data() + 960 * f, 960),
                                   dec);
  }
  std::ofstream(argv[3], std::ios::binary)
      .write(reinterpret_cast<const char*>(outPcm.data()), static_cast<std::streamsize>(outPcm.size() * 2));
  if (argc > 4) {
    std::ofstream(argv[4], std::ios::binary)
        .write(reinterpret_cast<const char*>(bits.data()), static_cast<std::streamsize>(bits.size()));
  }
  return 0;
}
