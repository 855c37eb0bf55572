// tonvera-cli play [--seek SECONDS] [--stop-after SECONDS] [--outage-limit SECONDS] URL|FILE: plays
// one stream headless through the sink named by TONVERA_AUDIO_SINK, printing "state NAME" for every state it is seen to
// enter. A notification is handled after the change it announces, possibly after later ones too;
// the state then read is printed only when it differs from the last one printed, so each state
// entered is announced once.
// A file URL or a local path is played as a PURE file by the file player.
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/audiofiler.h"
#include "audio/audiostreamer.h"
#include "command.h"
#include "platform/notificationcenter.h"

namespace {

std::optional<double> parseSeconds(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(v >= 0)) return std::nullopt;
  return v;
}

int usage() {
  std::fprintf(stderr, "usage: tonvera-cli play [--seek SECONDS] [--stop-after SECONDS] [--outage-limit SECONDS] URL|FILE\n");
  return 2;
}

int runPlay(const tonvera::cli::Args& args) {
  std::optional<double> seek;
  std::optional<double> stopAfter;
  std::optional<double> outageLimit;
  std::string url;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--seek" || a == "--stop-after" || a == "--outage-limit") && i + 1 < args.size()) {
      const auto v = parseSeconds(args[++i]);
      if (!v) return usage();
      (a == "--seek" ? seek : a == "--stop-after" ? stopAfter : outageLimit) = v;
    } else if (!a.empty() && a[0] == '-') {
      return usage();
    } else if (url.empty()) {
      url = a;
    } else {
      return usage();
    }
  }
  if (url.empty()) return usage();

  tonvera::StreamerOptions options;
  if (outageLimit) options.outageLimit = std::chrono::milliseconds(std::llround(*outageLimit * 1000));
  std::unique_ptr<tonvera::AudioStreamer> owned;
  if (tonvera::AudioFiler::namesLocalFile(url)) {
    owned = tonvera::AudioFiler::create(url, options);
  } else {
    owned = std::make_unique<tonvera::AudioStreamer>(url, options);
  }
  tonvera::AudioStreamer& player = *owned;
  bool started = false;
  bool finished = false;
  std::function<void()> finishedHook;
  std::optional<tonvera::StreamerState> printed;
  tonvera::ScopedObserver observer(tonvera::NotificationCenter::defaultCenter(),
                                   tonvera::kASStatusChangedNotification, &player,
                                   [&](const tonvera::Notification&) {
                                     const tonvera::StreamerState state = player.state();
                                     if (printed == state) return;
                                     printed = state;
                                     std::printf("state %s\n", tonvera::streamerStateName(state));
                                     std::fflush(stdout);
                                     if (state == tonvera::StreamerState::Playing && seek) {
                                       player.seekToTime(*seek);
                                       seek.reset();
                                     }
                                     if (state == tonvera::StreamerState::Idle && started) {
                                       finished = true;
                                       if (finishedHook) finishedHook();
                                     }
                                   });
  // The main loop sleeps until a notification or the stop comes (no polling).
  QEventLoop loop;
  QTimer stopTimer;
  stopTimer.setSingleShot(true);
  QObject::connect(&stopTimer, &QTimer::timeout, [&] { player.stop(); });
  finishedHook = [&] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); };
  started = true;
  player.start();
  if (stopAfter) stopTimer.start(static_cast<int>(std::llround(*stopAfter * 1000)));
  if (!finished) loop.exec();
  const auto code = static_cast<std::int32_t>(player.errorCode());
  if (code != 0) {
    std::printf("error %d %s\n", code, tonvera::AudioStreamer::stringForErrorCode(code).c_str());
    return 1;
  }
  return 0;
}

const tonvera::cli::CliCommand kPlay{
    "play", "[--seek SECONDS] [--stop-after SECONDS] [--outage-limit SECONDS] URL|FILE",
    "play a stream, or a PURE file, through TONVERA_AUDIO_SINK, printing its states", runPlay};

}  // namespace
