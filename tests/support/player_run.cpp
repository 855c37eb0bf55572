#include "main_loop.h"
#include "player_run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/mainqueue.h"

namespace tonvera::test {

StreamerOptions StateLog::options(StreamerOptions base) {
  base.stateEntered = [this](StreamerState state) {
    AudioStreamer* watched = player.load();
    const double position = state == StreamerState::Playing && watched ? watched->progress() : -1;
    std::lock_guard lock(mutex_);
    transitions_.push_back(state);
    if (state == StreamerState::Playing && watched) positionsAtPlaying_.push_back(position);
  };
  return base;
}

std::vector<StreamerState> StateLog::transitions() {
  std::lock_guard lock(mutex_);
  return transitions_;
}

double StateLog::positionAtPlayingAfter(StreamerState state) {
  std::lock_guard lock(mutex_);
  bool after = false;
  std::size_t playing = 0;
  for (const StreamerState s : transitions_) {
    if (s == StreamerState::Playing && after)
      return playing < positionsAtPlaying_.size() ? positionsAtPlaying_[playing] : -1;
    playing += s == StreamerState::Playing;
    after = after || s == state;
  }
  return -1;
}

class LoggedInput final : public AudioInput {
 public:
  LoggedInput(std::unique_ptr<AudioInput> input, OffsetLog& log) : input_(std::move(input)), log_(log) {}
  std::unique_ptr<ReadStream> open(const Request& request) override {
    {
      std::lock_guard lock(log_.mutex_);
      if (!log_.first_) log_.offsets_.push_back(request.offset);
      log_.first_ = false;
    }
    return input_->open(request);
  }
  bool reopens() const override { return input_->reopens(); }
  std::uint32_t typeHint(const ReadStream& stream) const override { return input_->typeHint(stream); }
  std::int64_t length(const ReadStream& stream) const override { return input_->length(stream); }
  const std::string& url() const override { return input_->url(); }

 private:
  const std::unique_ptr<AudioInput> input_;
  OffsetLog& log_;
};

std::unique_ptr<AudioInput> OffsetLog::wrap(std::unique_ptr<AudioInput> input) {
  return std::make_unique<LoggedInput>(std::move(input), *this);
}

std::vector<std::int64_t> OffsetLog::seekOffsets() {
  std::lock_guard lock(mutex_);
  return offsets_;
}

PlayerRun::PlayerRun(AudioStreamer& player)
    : player_(player),
      observer_(NotificationCenter::defaultCenter(), kASStatusChangedNotification, &player,
                [this](const Notification&) {
                  if (!isMainThread()) allOnMainThread = false;
                  seen.push_back(player_.state());
                }) {}

bool PlayerRun::waitForIdle(std::chrono::milliseconds timeout) {
  return waitFor([this] { return !seen.empty() && seen.back() == StreamerState::Idle && player_.isIdle(); },
                 timeout);
}

bool PlayerRun::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  return runMainLoopUntil(condition, timeout);
}

void useSink(const std::string& spec) { ::setenv("TONVERA_AUDIO_SINK", spec.c_str(), 1); }

std::string tempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("tonvera-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

int count(const std::vector<StreamerState>& states, StreamerState state) {
  return int(std::count(states.begin(), states.end(), state));
}

}  // namespace tonvera::test
