// `tonvera-cli pure-decode` and `pure-encode` run as programs: output, truncated files (whole frames
// and a warning) and refused inputs (a status, a message, no output file).
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>

#include "audio/g719/pure_format.h"
#include "audio/g719/purecodec.h"
#include "g719_test_util.h"
#include "platform/audiotoolbox/audiosink.h"
#include "pure_test_util.h"

namespace tonvera::test {
namespace {

#ifdef TONVERA_CLI_PATH

struct CliRun {
  int status = -1;
  std::string err;
};

CliRun cli(const QStringList& args) {
  QProcess p;
  p.start(QString::fromUtf8(TONVERA_CLI_PATH), args);
  if (!p.waitForFinished(120000)) return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError().toStdString()};
}

CliRun pureDecode(const std::string& in, const std::string& out) {
  return cli({"pure-decode", QString::fromStdString(in), QString::fromStdString(out)});
}

TEST(PureDecodeCommand, APublicFileMatchesItsReferenceAndACutOneGivesItsWholeFrames) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("out.wav").toStdString();
  const CliRun run = pureDecode(purePath("en_chord_r64"), out);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const auto full = readBytes(purePath("en_chord_r64"));
  const auto reference = decodeWhole(full);
  EXPECT_EQ(wavSamples(out), reference);  // a 48 kHz stereo 16-bit WAV file, header checked

  const std::string in = dir.filePath("cut.pur").toStdString();
  writeBytes(in, std::vector<std::uint8_t>(full.begin(), full.begin() + 16 + 324 * 37 + 200));
  const CliRun cut = pureDecode(in, out);
  EXPECT_EQ(cut.status, 0);
  EXPECT_NE(cut.err.find("warning"), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("ends inside a frame"), std::string::npos) << cut.err;
  EXPECT_EQ(wavSamples(out), stereoFrames(reference, 0, 37));
}

TEST(PureEncodeCommand, CodesAWavFileThatDecodesIntoItsChannels) {
  QTemporaryDir dir;
  const QString in = dir.filePath("in.wav"), pur = dir.filePath("out.pur"), back = dir.filePath("back.wav");
  // Speech (left) and castanets (right), 2 s, as the WAV sink writes them.
  const std::size_t n = 96000;
  const auto left = readPcm(g719Dir() + "/vectors/speech_en_src.pcm");
  const auto right = readPcm(g719Dir() + "/vectors/castanets_src.pcm");
  std::vector<std::int16_t> stereo(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    stereo[2 * i] = left[i];
    stereo[2 * i + 1] = right[i];
  }
  openWavSink(in.toStdString(), 48000, 2)->write(stereo.data(), n);

  const CliRun run = cli({"pure-encode", in, pur, "--rate", "96"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // short inputs get no progress line
  const auto bytes = readBytes(pur.toStdString());
  const auto header = parsePureHeader(bytes);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->m_ucBPS, 96);
  EXPECT_EQ(header->m_dwBLOCKS, n / 960 + 1);
  EXPECT_EQ(bytes.size(), 16 + header->m_dwBLOCKS * static_cast<std::size_t>(pureFrameBytes(96)));

  ASSERT_EQ(cli({"pure-decode", pur, back}).status, 0);
  const auto out = wavSamples(back.toStdString());
  ASSERT_EQ(out.size(), (n / 960 + 1) * 1920);
  EXPECT_GT(snrOneFrameLate(stereo, out, n, 2, 0), 35.0);
  EXPECT_GT(snrOneFrameLate(stereo, out, n, 2, 1), 5.0);
}

// Refused inputs: a status (1, or 2 for a bad rate), a message naming the fault, and no output file.
TEST(PureCommands, RefusedInputsGiveAStatusAMessageAndNoOutput) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString() + "/";
  const auto good = readBytes(purePath("en_chord_r64"));
  auto written = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
    return QString::fromStdString(writeBytes(base + name, bytes));
  };
  auto withByte = [&](const char* name, std::size_t at, std::uint8_t value) {
    auto b = good;
    b[at] = value;
    return written(name, b);
  };
  const QString out = QString::fromStdString(base + "out");
  const struct {
    QStringList args;
    int status;
    const char* message;
  } cases[] = {
      {{"pure-decode", QString::fromStdString(purePath("badversion_r64")), out},
       1,
       "unsupported PURE version 15"},
      {{"pure-decode", withByte("rate0.pur", 5, 0), out}, 1, "rate 0 out of range"},
      {{"pure-decode", withByte("rate129.pur", 5, 129), out}, 1, "rate 129 out of range"},
      {{"pure-decode", withByte("magic.pur", 0, 'p'), out}, 1, "not a PURE file"},
      {{"pure-decode", written("short.pur", {good.begin(), good.begin() + 15}), out},
       1,
       "too short for a PURE header"},
      {{"pure-decode", QString::fromStdString(base + "missing.pur"), out}, 1, "cannot open"},
      {{"pure-encode", "whatever.wav", out, "--rate", "63"}, 2, "bad rate 63"},
      {{"pure-encode", "whatever.wav", out, "--rate", "0"}, 2, "bad rate 0"},
      {{"pure-encode", "whatever.wav", out, "--rate", "130"}, 2, "bad rate 130"},
      {{"pure-encode", "whatever.wav", out, "--rate", "x"}, 2, "bad rate x"},
      {{"pure-encode", written("junk.mp3", {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'}), out},
       1,
       "tonvera-cli pure-encode: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun run = cli(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out.toStdString()));
  }
}

#endif  // TONVERA_CLI_PATH

}  // namespace
}  // namespace tonvera::test
