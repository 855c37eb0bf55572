// Where the sound goes when the preferred sink cannot open: PulseAudio, then ALSA's default
// device, then the null sink at real-time pace; a named ALSA device that fails goes to the paced
// null sink too. A plain "null" stays as fast as it is asked to be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/audiotoolbox/audiosink.h"

namespace tonvera {
namespace {

// A sink that takes everything, standing for a backend that opened.
std::unique_ptr<AudioSink> opened(int, int, std::string*) { return openNullSink(); }
std::unique_ptr<AudioSink> refused(int, int, std::string* error) {
  *error = "cannot open";
  return nullptr;
}

struct FallbackCase {
  const char* name;
  const char* env;
  bool pulseOpens;
  bool alsaOpens;
  const char* expectedSink;
  const char* expectedAlsaDevice;  // the device asked of ALSA, "" when ALSA is not asked
  bool fellBack;                   // a reason is given for not using the sink asked for
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.name; }
class SinkFallback : public testing::TestWithParam<FallbackCase> {};

TEST_P(SinkFallback, TakesTheFirstSinkThatOpensAndNeverRunsAheadOfRealTime) {
  const FallbackCase& c = GetParam();
  std::vector<std::string> alsaAsked;
  AudioSinkOpeners openers;
  openers.pulse = c.pulseOpens ? opened : refused;
  openers.alsa = [&](const std::string& device, int rate, int channels, std::string* error) {
    alsaAsked.push_back(device.empty() ? "default" : device);
    return c.alsaOpens ? opened(rate, channels, error) : refused(rate, channels, error);
  };
  OpenedAudioSink sink = openAudioSink(parseAudioSinkChoice(c.env), 48000, 2, openers);
  ASSERT_NE(sink.sink, nullptr);
  EXPECT_EQ(sink.name, c.expectedSink);
  EXPECT_EQ(alsaAsked.empty() ? std::string() : alsaAsked.front(), c.expectedAlsaDevice);
  EXPECT_EQ(!sink.fallbackReason.empty(), c.fellBack);
  // A paced sink holds what it was given until a device would have played it; a free-running one
  // holds nothing.
  std::vector<std::int16_t> tenth(4800 * 2, 0);
  ASSERT_TRUE(sink.sink->write(tenth.data(), 4800));
  const bool paced = sink.sink->latencyFrames() > 0;
  EXPECT_EQ(paced, std::string(sink.name).find("realtime") != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Order, SinkFallback,
    testing::Values(FallbackCase{"PulseFirst", "", true, true, "pulse", "", false},
                    FallbackCase{"AlsaWhenPulseFails", "", false, true, "alsa:default", "default", true},
                    FallbackCase{"PacedNullWhenBothFail", "", false, false, "null:realtime", "default", true},
                    FallbackCase{"NamedAlsaDevice", "alsa:hw:1,0", true, true, "alsa:hw:1,0", "hw:1,0", false},
                    FallbackCase{"NamedAlsaDeviceFails", "alsa:hw:9", true, false, "null:realtime", "hw:9", true},
                    FallbackCase{"PlainAlsaIsTheDefaultDevice", "alsa", true, true, "alsa:default", "default", false},
                    FallbackCase{"NullStaysFast", "null", false, false, "null", "", false},
                    FallbackCase{"NullRealtimeAsked", "null:realtime", false, false, "null:realtime", "", false},
                    FallbackCase{"UnwritableWavFallsBackPaced", "wav:/nonexistent/dir/a.wav", true, true,
                                 "null:realtime", "", true}),
    [](const testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tonvera
