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

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The samples of a 48 kHz stereo 16-bit WAV file written by the command, after checking its header.
std::vector<std::int16_t> checkedWav(const std::string& path) {
  const auto bytes = readBytes(path);
  EXPECT_GE(bytes.size(), 44u);
  if (bytes.size() < 44) return {};
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(bytes[20] | bytes[21] << 8, 1);  // PCM
  EXPECT_EQ(bytes[22] | bytes[23] << 8, 2);  // channels
  EXPECT_EQ(le32(bytes, 24), 48000u);
  EXPECT_EQ(le32(bytes, 28), 192000u);
  EXPECT_EQ(bytes[32] | bytes[33] << 8, 4);
  EXPECT_EQ(bytes[34] | bytes[35] << 8, 16);
  EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
  EXPECT_EQ(le32(bytes, 40), bytes.size() - 44);
  std::vector<std::int16_t> pcm((bytes.size() - 44) / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8);
  }
  return pcm;
}

TEST(PureDecodeCommand, EveryPublicFileMatchesItsReference) {
  QTemporaryDir dir;
  for (const auto& file : publicPureFiles()) {
    SCOPED_TRACE(file.name);
    const std::string out = dir.path().toStdString() + "/" + file.name + ".wav";
    const CliRun run = pureDecode(purePath(file.name), out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto pcm = checkedWav(out);
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
  const auto pcm = checkedWav(out);
  ASSERT_EQ(pcm.size(), 37u * 1920);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reference.begin()));
}

#endif  // TONVERA_CLI_PATH

}  // namespace
}  // namespace tonvera::test
