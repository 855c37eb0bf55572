#include "station/demopure.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstdint>
#include <memory>

#include "audio/g719/pure_writer.h"

namespace tonvera::station {
namespace {

struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

constexpr int kPureSampleRate = 48000;

}  // namespace

std::optional<std::string> encodePureStereo(const std::vector<float>& left, const std::vector<float>& right,
                                            int sampleRate, int rate, std::string* error) {
  auto fail = [&](const char* message) -> std::optional<std::string> {
    if (error) *error = message;
    return std::nullopt;
  };
  auto encoder = PureEncoder::create(rate);
  if (!encoder) return fail("bad PURE rate");
  if (left.size() != right.size() || sampleRate <= 0) return fail("bad song samples");

  // Float planar at the song's rate to interleaved 16-bit stereo at 48 kHz.
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext* raw = nullptr;
  if (swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, kPureSampleRate, &stereo, AV_SAMPLE_FMT_FLTP,
                          sampleRate, 0, nullptr) < 0 ||
      swr_init(raw) < 0) {
    swr_free(&raw);
    return fail("cannot set up the resampler");
  }
  std::unique_ptr<SwrContext, SwrFree> swr(raw);
  const int inCount = static_cast<int>(left.size());
  const int capacity = swr_get_out_samples(swr.get(), inCount) + kPureSampleRate / 10;
  std::vector<std::int16_t> pcm(static_cast<std::size_t>(capacity) * 2);
  std::uint8_t* out[] = {reinterpret_cast<std::uint8_t*>(pcm.data())};
  const std::uint8_t* in[] = {reinterpret_cast<const std::uint8_t*>(left.data()),
                              reinterpret_cast<const std::uint8_t*>(right.data())};
  const int got = swr_convert(swr.get(), out, capacity, in, inCount);
  if (got < 0) return fail("resampling failed");
  std::uint8_t* tail[] = {reinterpret_cast<std::uint8_t*>(pcm.data() + 2 * got)};
  const int flushed = swr_convert(swr.get(), tail, capacity - got, nullptr, 0);
  const std::size_t samples = static_cast<std::size_t>(got + std::max(flushed, 0));

  const std::size_t frames = pureFramesFor(samples);
  pcm.resize(frames * 2 * kG719FrameSamples, 0);
  std::fill(pcm.begin() + static_cast<std::ptrdiff_t>(2 * samples), pcm.end(), 0);
  const auto header = pureHeaderBytes(rate, static_cast<std::uint32_t>(frames));
  std::string bytes(header.begin(), header.end());
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(encoder->frameBytes()));
  for (std::size_t f = 0; f < frames; ++f) {
    encoder->encodeFrame(std::span<const std::int16_t, 2 * kG719FrameSamples>(
                             pcm.data() + f * 2 * kG719FrameSamples, 2 * kG719FrameSamples),
                         frame);
    bytes.append(reinterpret_cast<const char*>(frame.data()), frame.size());
  }
  return bytes;
}

}  // namespace tonvera::station
