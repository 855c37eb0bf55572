// The radio's players: the local-file player for file URLs, the stream player for the others.
#include <memory>

#include "audio/audiofiler.h"
#include "audio/audiostreamer.h"
#include "audio/heldstream.h"
#include "platform/log.h"
#include "platform/net/fileurl.h"
#include "radio/radioplayer.h"

namespace tonvera {

namespace {

class StreamerPlayer final : public RadioPlayer {
 public:
  explicit StreamerPlayer(std::unique_ptr<AudioStreamer> player) : player_(std::move(player)) {}

  void start() override { player_->start(); }
  void stop() override { player_->stop(); }
  void pause() override { player_->pause(); }
  void seekToTime(double seconds) override { player_->seekToTime(seconds); }

  State state() const override { return player_->state(); }
  bool isWaiting() const override { return player_->isWaiting(); }
  bool isPlaying() const override { return player_->isPlaying(); }
  bool isIdle() const override { return player_->isIdle(); }
  bool isPaused() const override { return player_->isPaused(); }

  std::uint32_t bitRate() const override { return player_->bitRate(); }
  double progress() const override { return player_->progress(); }
  double duration() const override { return player_->duration(); }
  StreamerError errorCode() const override { return player_->errorCode(); }

  const void* notificationSender() const override { return player_.get(); }

 private:
  // The player's read-outs take its lock and are not const; the adapter's are.
  std::unique_ptr<AudioStreamer> player_;
};

}  // namespace

std::unique_ptr<RadioPlayer> makeRadioPlayer(const std::string& url, const StreamerOptions& options) {
  if (isFileUrl(url)) return std::make_unique<StreamerPlayer>(AudioFiler::create(url, options));
  return std::make_unique<StreamerPlayer>(std::make_unique<AudioStreamer>(url, options));
}

std::unique_ptr<RadioPlayer> makeRadioPlayer(std::shared_ptr<const HeldStream> head,
                                             const StreamerOptions& options) {
  return std::make_unique<StreamerPlayer>(std::make_unique<AudioStreamer>(makeHeldInput(std::move(head)), options));
}

}  // namespace tonvera
