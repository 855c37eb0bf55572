// `tonvera-cli pure-encode` run as a program: a WAV file coded at a chosen rate decodes, through
// pure-decode, into its two channels one frame late; bad rates and unreadable inputs fail
// without leaving a file.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "audio/g719/pure_format.h"
#include "g719_test_util.h"
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

void putLe(std::vector<std::uint8_t>& b, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A 48 kHz stereo 16-bit WAV file.
void writeWav(const std::string& path, const std::vector<std::int16_t>& stereo) {
  const auto data = static_cast<std::uint32_t>(stereo.size() * 2);
  std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F'};
  putLe(b, 36 + data, 4);
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<std::uint8_t>(c));
  putLe(b, 16, 4);
  putLe(b, 1, 2);
  putLe(b, 2, 2);
  putLe(b, 48000, 4);
  putLe(b, 192000, 4);
  putLe(b, 4, 2);
  putLe(b, 16, 2);
  for (char c : std::string("data")) b.push_back(static_cast<std::uint8_t>(c));
  putLe(b, data, 4);
  for (std::int16_t s : stereo) putLe(b, static_cast<std::uint16_t>(s), 2);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

TEST(PureEncodeCli, CodesAWavFileThatDecodesIntoItsChannels) {
  QTemporaryDir dir;
  const std::string in = dir.filePath("in.wav").toStdString();
  const std::string pur = dir.filePath("out.pur").toStdString();
  const std::string back = dir.filePath("back.wav").toStdString();
  const auto left = readPcm(g719Dir() + "/vectors/speech_en_src.pcm");
  const auto right = readPcm(g719Dir() + "/vectors/castanets_src.pcm");
  const std::size_t n = 96000;  // 2 s
  std::vector<std::int16_t> stereo(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    stereo[2 * i] = left[i];
    stereo[2 * i + 1] = right[i];
  }
  writeWav(in, stereo);

  const CliRun run =
      cli({"pure-encode", QString::fromStdString(in), QString::fromStdString(pur), "--rate", "96"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // short inputs get no progress line
  const auto bytes = readBytes(pur);
  const auto header = parsePureHeader(bytes);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->m_ucBPS, 96);
  EXPECT_EQ(header->m_dwBLOCKS, n / 960 + 1);
  EXPECT_EQ(bytes.size(), 16 + header->m_dwBLOCKS * static_cast<std::size_t>(pureFrameBytes(96)));

  ASSERT_EQ(cli({"pure-decode", QString::fromStdString(pur), QString::fromStdString(back)}).status, 0);
  const auto out = wavSamples(back);
  ASSERT_EQ(out.size(), (n / 960 + 1) * 1920);
  for (int ch = 0; ch < 2; ++ch) {
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double s = stereo[2 * i + ch];
      const double e = s - out[2 * (i + 960) + ch];
      signal += s * s;
      noise += e * e;
    }
    EXPECT_GT(10 * std::log10(signal / noise), ch == 0 ? 35.0 : 5.0) << "channel " << ch;
  }
}

TEST(PureEncodeCli, RefusesBadRatesAndUnreadableInputs) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("out.pur").toStdString();
  for (const char* rate : {"63", "0", "130", "x"}) {
    const CliRun run = cli({"pure-encode", "whatever.wav", QString::fromStdString(out), "--rate", rate});
    EXPECT_EQ(run.status, 2) << rate;
  }
  const std::string junk = dir.filePath("junk.mp3").toStdString();
  std::ofstream(junk) << "not audio at all";
  const CliRun run = cli({"pure-encode", QString::fromStdString(junk), QString::fromStdString(out)});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("tonvera-cli pure-encode: "), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out));
}

#endif

}  // namespace
}  // namespace tonvera::test
