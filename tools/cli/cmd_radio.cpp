// tonvera-cli radio: the radio in a terminal. The same now-playing controller as the window, with a
// page made of printed lines, on the same settings store and taste files as the application.
//
//   channel NAME                          when the channel is chosen
//   track ID TITLE / ARTISTS / ALBUM      when a track is shown and its player starts
//   skip REASON                           every advance the program or a key asks for
//   lyric LINE                            when the shown lyrics line changes
//   a one-line progress readout           only when standard output is a terminal
//
// Keys, only when standard input is a terminal: n next, p previous, space pause, l like, d dislike,
// q quit. Exit status 0; 1 when no track played within 60 s.
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "command.h"
#include "display/lyricsmodel.h"
#include "platform/plist.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "radio/radioplayer.h"
#include "records/tnsong.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "taste/tnmanager.h"

namespace tonvera::cli {
namespace {

constexpr int kNoTrackTimeoutSeconds = 60;

std::string utf8(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

std::string trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// Standard input in character mode without echo while the radio runs; restored on every way out.
struct termios gSavedTermios;
bool gTermiosSaved = false;

void restoreTerminal() {
  if (gTermiosSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTermios);
}

extern "C" void onSignal(int sig) {
  restoreTerminal();
  _exit(128 + sig);
}

class RawTerminal {
 public:
  RawTerminal() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSavedTermios) != 0) return;
    gTermiosSaved = true;
    struct termios raw = gSavedTermios;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
  }
  ~RawTerminal() { restoreTerminal(); }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  bool active() const { return gTermiosSaved; }
};

// The page as printed lines.
class TerminalPage : public MainPage {
 public:
  TerminalPage() : tty_(isatty(STDOUT_FILENO)) {}

  // One line of the flow (clears the progress readout first).
  void line(const std::string& text) {
    clearReadout();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }

  // Clears the progress readout before the program ends.
  void finish() {
    clearReadout();
    std::fflush(stdout);
  }

  void setArtistText(const std::string&) override {}
  void setAlbumText(const std::string&) override {}
  void setTrackNameText(const std::string&) override {}
  void setPositionText(const std::string& text) override { remaining_ = text; }

  void readoutSetString(const std::string& text) override { readout_ = text; }
  void readoutSetColor(int) override {}
  void readoutDisplay() override {
    if (!tty_) return;
    std::printf("\r\033[K%s  -%s", readout_.c_str(), remaining_.c_str());
    std::fflush(stdout);
    readoutShown_ = true;
  }

  void sliderSetProgress(double) override {}
  double sliderGetProgress() const override { return 0; }
  bool sliderIsDown() const override { return false; }
  bool sliderIsEntered() const override { return false; }
  bool sliderIsSeek() const override { return false; }

  void lrcSetLrc(const std::optional<std::string>& text) override {
    lyrics_.setLrcUtf8(text ? std::optional<std::string_view>(*text) : std::nullopt);
    shownLine_.reset();
  }
  void lrcProcess() override { lyrics_.processLrc(); }
  void lrcSetTimestamp(double seconds) override { lyrics_.setTimestamp(seconds); }
  void lrcDisplay() override {
    const auto choice = lyrics_.chooseLine();
    if (choice.display != LineLrcModel::Display::Line) return;
    if (shownLine_ && *shownLine_ == choice.line) return;
    shownLine_ = choice.line;
    line("lyric " + utf8(choice.line));
  }

  void refreshImage(const QImage&, bool) override {}
  void playButtonSetOn(bool) override {}
  void setWindowTitle(const std::string&) override {}
  void showNotice(const std::string& text) override {
    if (!text.empty()) line(text);
  }

 private:
  void clearReadout() {
    if (!readoutShown_) return;
    std::printf("\r\033[K");
    readoutShown_ = false;
  }

  bool tty_;
  bool readoutShown_ = false;
  std::string readout_ = "0:00 / 0:00";
  std::string remaining_ = "00:00";
  LineLrcModel lyrics_;
  std::optional<std::u16string> shownLine_;
};

struct RadioArgs {
  std::optional<std::string> channel;
  bool privateChannel = false;
  int tracks = 0;         // 0: run until quit
  double skipAfter = -1;  // seconds; negative: never
};

std::optional<RadioArgs> parseArgs(const Args& args) {
  RadioArgs out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "--channel") {
      out.channel = value();
      if (!out.channel || out.channel->empty()) return std::nullopt;
    } else if (a == "--private") {
      out.privateChannel = true;
    } else if (a == "--tracks") {
      const auto v = value();
      char* end = nullptr;
      if (!v) return std::nullopt;
      const long n = std::strtol(v->c_str(), &end, 10);
      if (*end || n <= 0) return std::nullopt;
      out.tracks = static_cast<int>(n);
    } else if (a == "--skip-after") {
      const auto v = value();
      char* end = nullptr;
      if (!v) return std::nullopt;
      out.skipAfter = std::strtod(v->c_str(), &end);
      if (*end || !(out.skipAfter >= 0)) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (out.channel && out.privateChannel) return std::nullopt;
  return out;
}

// The catalogue's record for a channel id, so that the channel shows its name; a record with the
// id as its name when the catalogue does not list it (or cannot be reached).
PlistValue channelRecord(const std::string& id) {
  if (auto reply = JsonCall::call(selectedChannelsURL()); reply && reply->isObject()) {
    for (const auto& entry : (*reply)["entries"].array()) {
      if (entry["id"].toText() == id && entry.isObject()) {
        PlistValue::Dict record;
        for (const auto& [key, member] : entry.object()) {
          if (member.isString() || member.isInteger()) record[key] = PlistValue(member.toText());
        }
        return PlistValue(std::move(record));
      }
    }
  }
  return PlistValue(PlistValue::Dict{{"id", PlistValue(id)}, {"name", PlistValue(id)}});
}

int runRadio(const Args& args) {
  const auto parsed = parseArgs(args);
  if (!parsed) {
    std::fprintf(stderr,
                 "usage: tonvera-cli radio [--channel ID] [--private] [--tracks N] [--skip-after SECONDS]\n");
    return 2;
  }
  const RadioArgs opts = *parsed;

  TerminalPage page;
  MainViewController controller(page);
  QObject context;
  int started = 0;
  bool currentCounted = false;    // the current track's start has been counted
  std::uint64_t trackSerial = 0;  // stamps --skip-after presses to the track they were meant for

  MainViewController::Hooks hooks;
  hooks.channelChosen = [&page](const PlistValue& station) {
    const PlistValue* name = station.find("name");
    page.line("channel " + (name ? name->toString() : std::string()));
  };
  hooks.trackShown = [&page, &currentCounted](const std::shared_ptr<TNSong>& song) {
    currentCounted = false;
    page.line("track " + song->trackId().value_or("") + " " + song->nameStr().value_or("") + " / " +
              trimmed(song->Artist()) + " / " + song->album().value_or(""));
  };
  hooks.advanceRequested = [&page](const Sender& sender) {
    if (sender.kind != Sender::Kind::None) page.line("skip " + sender.text);
  };
  hooks.playerStateChanged = [&](StreamerState state) {
    if (state != StreamerState::Playing) return;
    if (currentCounted) return;  // resumed after a pause, or playing again after a seek
    currentCounted = true;
    ++started;
    const std::uint64_t serial = ++trackSerial;
    if (opts.tracks > 0 && started >= opts.tracks) {
      QCoreApplication::exit(0);
      return;
    }
    if (opts.skipAfter >= 0) {
      QTimer::singleShot(static_cast<int>(opts.skipAfter * 1000), &context,
                         [&controller, &trackSerial, serial] {
                           // The program presses here, not the listener: the repeated-press guard does not
                           // apply.
                           if (serial == trackSerial) controller.nextTrack(Sender::reason("skip-after"));
                         });
    }
  };
  controller.setHooks(std::move(hooks));

  if (opts.privateChannel) {
    controller.setStation(PlistValue(PlistValue::Dict{{"name", PlistValue(kPrivateChannelName)}}));
  } else if (opts.channel) {
    controller.setStation(channelRecord(*opts.channel));
  }

  RawTerminal terminal;
  std::unique_ptr<QSocketNotifier> keys;
  if (terminal.active()) {
    keys = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(keys.get(), &QSocketNotifier::activated, &context, [&] {
      char c = 0;
      if (read(STDIN_FILENO, &c, 1) != 1) {
        keys->setEnabled(false);
        return;
      }
      switch (c) {
        case 'n':
          controller.nextTrack(Sender::control("key n"));
          break;
        case 'p':
          controller.preTrack(Sender::control("key p"));
          break;
        case ' ':
          controller.onPause();
          break;
        case 'l':
          if (controller.loveTrack()) {
            page.line("like " + controller.curSong()->trackId().value_or("") +
                      (TNManager::sharedManager().isLove(*controller.curSong()) ? " on" : " off"));
          }
          break;
        case 'd':
          if (auto song = controller.curSong(); song && controller.disgustTrack()) {
            page.line("dislike " + song->trackId().value_or("") +
                      (TNManager::sharedManager().isHate(*song) ? " on" : " off"));
          }
          break;
        case 'q':
          QCoreApplication::exit(0);
          break;
        default:
          break;
      }
    });
  }

  QTimer::singleShot(kNoTrackTimeoutSeconds * 1000, &context, [&] {
    if (started == 0) {
      page.line("no track could be played");
      QCoreApplication::exit(1);
    }
  });

  controller.awakeFromNib();
  const int status = QCoreApplication::exec();
  page.finish();
  return status;
}

const CliCommand kRadio{"radio", "[--channel ID] [--private] [--tracks N] [--skip-after SECONDS]",
                        "play the radio in the terminal (keys: n p space l d q)", runRadio};

}  // namespace
}  // namespace tonvera::cli
