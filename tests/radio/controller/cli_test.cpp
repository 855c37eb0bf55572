// The terminal radio (tonvera-cli radio) as a listener runs it, without a terminal attached,
// against the scripted service: its printed lines, --tracks, --skip-after, and its exit status.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "scripted_service.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using test::ScriptedTrack;

struct RadioRun {
  int status = -1;
  std::vector<std::string> lines;
};

RadioRun runRadio(const QStringList& args) {
  QProcess process;
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start(QStringLiteral(TONVERA_CLI), QStringList{QStringLiteral("radio")} + args);
  RadioRun run;
  if (!process.waitForFinished(30000)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  std::istringstream out(process.readAllStandardOutput().toStdString());
  for (std::string line; std::getline(out, line);) run.lines.push_back(line);
  return run;
}

int countStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
  return n;
}

class TerminalRadio : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
    service.setCatalogue(R"({"entries":[{"id":"c1","name":"流行"},{"id":"c2","name":"民谣"}]})");
    for (const std::string id : {"a", "b", "c"}) {
      service.addTrack({.id = id,
                        .name = "歌曲" + id,
                        .artist = "歌手",
                        .audio = ScriptedTrack::Audio::Long,
                        .lrc = "[00:00.00]第一行\n[00:00.30]第二行\n"});
    }
    service.setChannel("c1", {"a", "b", "c"});
    service.start();
  }

  test::TempHome home;
  test::ScriptedService service;
};

TEST_F(TerminalRadio, PlaysTheChosenChannelAndStopsAfterNTracks) {
  const RadioRun run = runRadio({"--channel", "c1", "--tracks", "2", "--skip-after", "0.6"});
  ASSERT_EQ(run.status, 0);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.front(), "channel 流行");
  EXPECT_EQ(countStarting(run.lines, "track a 歌曲a / 歌手 / 专辑"), 1);
  EXPECT_EQ(countStarting(run.lines, "track "), 2);
  EXPECT_EQ(countStarting(run.lines, "skip skip-after"), 1);  // pressed 0.6 s into the first track
  EXPECT_GE(countStarting(run.lines, "lyric 第一行"), 1);
}

TEST_F(TerminalRadio, RefusesUnknownArguments) {
  EXPECT_EQ(runRadio({"--bogus"}).status, 2);
  EXPECT_EQ(runRadio({"--channel", "c1", "--private"}).status, 2);
}

TEST_F(TerminalRadio, QuitsCleanlyWhileLyricsAreStillDownloading) {
  // Every run quits while the service still holds its track's lyrics: the download is in flight.
  constexpr int kBatches = 10, kAtOnce = 5;  // fewer held at once than the service has threads
  int clean = 0;
  for (int batch = 0; batch < kBatches; ++batch) {
    std::vector<std::string> ids;
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < kAtOnce; ++i) {
      const std::string id = "h" + std::to_string(batch * kAtOnce + i);
      ids.push_back(id);
      service.addTrack({.id = id, .audio = ScriptedTrack::Audio::Long, .lrc = "[00:00.00]行\n", .lrcHeld = true});
      service.setChannel("c" + id, {id});
      runs.push_back(std::make_unique<QProcess>());
      runs.back()->start(QStringLiteral(TONVERA_CLI),
                         {QStringLiteral("radio"), QStringLiteral("--channel"), QString::fromStdString("c" + id),
                          QStringLiteral("--tracks"), QStringLiteral("1")});
    }
    for (auto& run : runs) {
      ASSERT_TRUE(run->waitForFinished(30000));
      clean += run->exitStatus() == QProcess::NormalExit && run->exitCode() == 0;
    }
    for (const auto& id : ids) service.releaseLyrics(id);
  }
  EXPECT_EQ(clean, kBatches * kAtOnce);
  EXPECT_GT(service.countPrefix("/lrc/h"), kBatches * kAtOnce / 2);  // most quit mid-download
}

}  // namespace
}  // namespace tonvera
