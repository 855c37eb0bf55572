// The G.719 encoder: what it codes decodes exactly, at every even rate and on extreme signals; the
// decoded audio follows the source one frame late.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "audio/g719/g719_decoder.h"
#include "audio/g719/g719_encoder.h"
#include "g719_encoder_fuzz_entry.h"
#include "g719_test_util.h"

namespace tonvera::test {
namespace {

using Pcm = std::vector<std::int16_t>;

constexpr double kPi = 3.14159265358979323846;

Pcm source(const std::string& name) { return readPcm(g719Dir() + "/vectors/" + name + "_src.pcm"); }

// Encodes and decodes pcm (mono) at rate R; the output is one frame late and one frame longer.
Pcm roundTrip(const Pcm& pcm, int rate) {
  G719EncoderState enc;
  g719EncoderInit(enc, 20 * rate);
  G719ChannelState dec{};
  g719Init(dec, 20 * rate);
  const std::size_t frames = pcm.size() / 960 + 1;
  Pcm in(pcm);
  in.resize(frames * 960, 0);
  Pcm out(frames * 960);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(g719EncodedBytes(enc)));
  for (std::size_t f = 0; f < frames; ++f) {
    g719EncodeFrame(std::span<const std::int16_t, 960>(in.data() + 960 * f, 960), frame, enc);
    g719ResetBitCounts(dec, 20 * rate);
    g719DecodePackedFrame(frame, false, std::span<std::int16_t, 960>(out.data() + 960 * f, 960), dec);
  }
  return out;
}

struct SignalCase {
  const char* name;
  Pcm (*make)();
};

Pcm firstSecond(const char* name) {
  Pcm p = source(name);
  p.resize(48000);
  return p;
}

const SignalCase kSignals[] = {
    {"Speech", [] { return firstSecond("speech_en"); }},
    {"Castanets", [] { return firstSecond("castanets"); }},
    {"Silence", [] { return Pcm(24000, 0); }},
    {"FullScaleSquare",
     [] {
       Pcm p(24000);
       for (std::size_t i = 0; i < p.size(); ++i) p[i] = (i / 55) % 2 ? -32768 : 32767;
       return p;
     }},
    {"Clicks",
     [] {
       Pcm p(24000, 0);
       for (std::size_t i = 500; i < p.size(); i += 1777) p[i] = i % 2 ? 32767 : -32768;
       return p;
     }},
    {"DcSteps",
     [] {
       Pcm p(24000);
       for (std::size_t i = 0; i < p.size(); ++i) p[i] = (i / 4000) % 2 ? 32767 : -32768;
       return p;
     }},
    {"FullScaleNoise",
     [] {
       std::mt19937 rng(7);
       Pcm p(24000);
       for (auto& v : p) v = static_cast<std::int16_t>(rng());
       return p;
     }},
};

// Every even rate, 2..128 kbit/s (the frames below about 12 kbit/s carry no coefficients).
TEST(G719Encoder, EveryFrameDecodesToWhatWasCoded) {
  for (const SignalCase& signal : kSignals) {
    const Pcm pcm = signal.make();
    for (int rate = 2; rate <= 128; rate += 2) {
      EXPECT_EQ(g719RoundTripMismatch(pcm, rate), "") << signal.name << ", R = " << rate;
    }
  }
}

Pcm sine() {
  Pcm p(48000);
  for (std::size_t i = 0; i < p.size(); ++i)
    p[i] = static_cast<std::int16_t>(10000 * std::sin(2 * kPi * 1000 * i / 48000.0));
  return p;
}
Pcm speech() { return source("speech_en"); }

// The decoded audio follows the source more closely as the rate grows (speech measured: 21, 32 and
// 46 dB); a sine at the highest rate comes back nearly unchanged.
TEST(G719Encoder, DecodedAudioFollowsTheSourceOneFrameLate) {
  const struct {
    Pcm (*make)();
    int rate;
    double minSnr;
  } cases[] = {{speech, 32, 19.0}, {speech, 64, 30.0}, {speech, 128, 44.0}, {sine, 128, 40.0}};
  for (const auto& c : cases) {
    const Pcm src = c.make();
    const Pcm out = roundTrip(src, c.rate);
    ASSERT_EQ(out.size(), (src.size() / 960 + 1) * 960);
    EXPECT_GT(snrOneFrameLate(src, out, src.size()), c.minSnr) << "R = " << c.rate;
  }
}

TEST(G719Encoder, SilenceStaysDigitalSilence) {
  for (std::int16_t v : roundTrip(Pcm(9600, 0), 64)) ASSERT_EQ(v, 0);
}

}  // namespace
}  // namespace tonvera::test
