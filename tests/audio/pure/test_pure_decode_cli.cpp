// `tonvera-cli pure-decode` run as a program: WAV output equal to the library's decode, refused
// headers (status 1, a message, no output file), truncated files (whole frames, a warning,
// status 0).
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "g719_test_util.h"
#include "pure_test_util.h"

namespace tonvera::test {
namespace {

#ifdef TONVERA_CLI_PATH

struct CliRun {
  int status = -1;
  std::string err;
};

CliRun pureDecode(const std::string& in, const std::string& out) {
  QProcess p;
  p.start(QString::fromUtf8(TONVERA_CLI_PATH),
          {QStringLiteral("pure-decode"), QString::fromStdString(in), QString::fromStdString(out)});
  if (!p.waitForFinished(60000)) return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError().toStdString()};
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(PureDecodeCommand, EveryPublicFileMatchesItsReference) {
  QTemporaryDir dir;
  for (const auto& file : publicPureFiles()) {
    SCOPED_TRACE(file.name);
    const std::string out = dir.path().toStdString() + "/" + file.name + ".wav";
    const CliRun run = pureDecode(purePath(file.name), out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto pcm = wavSamples(out);  // a 48 kHz stereo 16-bit WAV file, header checked
    EXPECT_EQ(strictStereoMismatch(readPcm(pureRefPath(file.name)), pcm), "");
    EXPECT_EQ(pcm, decodeWhole(readBytes(purePath(file.name))));
  }
}

TEST(PureDecodeCommand, RefusedInputsGiveStatusOneAndNoOutput) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString() + "/";
  const auto good = readBytes(purePath("en_chord_r64"));
  auto withByte = [&](std::size_t at, std::uint8_t value) {
    auto b = good;
    b[at] = value;
    return b;
  };
  writeBytes(base + "rate0.pur", withByte(5, 0));
  writeBytes(base + "rate129.pur", withByte(5, 129));
  writeBytes(base + "magic.pur", withByte(0, 'p'));
  writeBytes(base + "short.pur", std::vector<std::uint8_t>(good.begin(), good.begin() + 15));
  const struct {
    std::string in;
    std::string message;
  } cases[] = {
      {purePath("badversion_r64"), "unsupported PURE version 15"},
      {base + "rate0.pur", "rate 0 out of range"},
      {base + "rate129.pur", "rate 129 out of range"},
      {base + "magic.pur", "not a PURE file"},
      {base + "short.pur", "too short for a PURE header"},
      {base + "missing.pur", "cannot open"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    const std::string out = base + "out.wav";
    const CliRun run = pureDecode(c.in, out);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

TEST(PureDecodeCommand, TruncatedFileGivesItsWholeFramesAndAWarning) {
  QTemporaryDir dir;
  const auto full = readBytes(purePath("en_chord_r64"));
  const auto reference = decodeWhole(full);
  const std::string in = dir.path().toStdString() + "/cut.pur";
  const std::string out = dir.path().toStdString() + "/cut.wav";
  writeBytes(in, std::vector<std::uint8_t>(full.begin(), full.begin() + 16 + 324 * 37 + 200));
  const CliRun run = pureDecode(in, out);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("warning"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("ends inside a frame"), std::string::npos) << run.err;
  const auto pcm = wavSamples(out);  // a 48 kHz stereo 16-bit WAV file, header checked
  ASSERT_EQ(pcm.size(), 37u * 1920);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reference.begin()));
}

#endif  // TONVERA_CLI_PATH

}  // namespace
}  // namespace tonvera::test
