// The null sink: takes every frame at once and plays nothing.
#include "platform/audiotoolbox/audiosink.h"

namespace tonvera {

namespace {
class NullSink final : public AudioSink {
 public:
  bool write(const std::int16_t*, std::size_t) override { return true; }
  std::int64_t latencyFrames() override { return 0; }
  void discard() override {}
  void drain() override {}
};
}  // namespace

std::unique_ptr<AudioSink> openNullSink() { return std::make_unique<NullSink>(); }

}  // namespace tonvera
