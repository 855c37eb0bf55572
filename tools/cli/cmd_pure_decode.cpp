// tonvera-cli pure-decode IN.pur OUT.wav: decodes a whole PURE file into a 48 kHz stereo 16-bit
// WAV file. The file is read in chunks of 2048 bytes and framed as the player frames a stream.
// A refused header gives status 1 and no output file; a file that ends inside a frame gives its
// whole frames, a warning about the partial one, and status 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/g719/purecodec.h"
#include "command.h"

namespace {

using tonvera::PURE_HEADER;

constexpr std::size_t kChunkBytes = 2048;
constexpr std::size_t kWavHeaderBytes = 44;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Why the first bytes of a file are not a usable PURE header, or empty when they are.
std::string headerProblem(const std::uint8_t* bytes, std::size_t size) {
  if (size < tonvera::kPureHeaderBytes)
    return "too short for a PURE header (" + std::to_string(size) + " bytes)";
  if (bytes[0] != 'P' || bytes[1] != 'U' || bytes[2] != 'R' || bytes[3] != 'E')
    return "not a PURE file (no \"PURE\" magic)";
  if (bytes[4] != tonvera::kPureVersion)
    return "unsupported PURE version " + std::to_string(bytes[4]) + " (expected 16)";
  if (bytes[5] == 0 || bytes[5] > tonvera::kPureMaxRate) {
    return "rate " + std::to_string(bytes[5]) + " out of range (1 to 128)";
  }
  return {};
}

void putLe(std::uint8_t* p, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The canonical 44-byte header of a PCM WAV file: 48 kHz, 2 channels, 16 bits.
std::vector<std::uint8_t> wavHeader(std::uint32_t dataBytes) {
  std::vector<std::uint8_t> h(kWavHeaderBytes);
  std::copy_n("RIFF", 4, h.begin());
  putLe(&h[4], 36 + dataBytes, 4);
  std::copy_n("WAVEfmt ", 8, h.begin() + 8);
  putLe(&h[16], 16, 4);
  putLe(&h[20], 1, 2);  // PCM
  putLe(&h[22], 2, 2);
  putLe(&h[24], 48000, 4);
  putLe(&h[28], 48000 * 4, 4);
  putLe(&h[32], 4, 2);
  putLe(&h[34], 16, 2);
  std::copy_n("data", 4, h.begin() + 36);
  putLe(&h[40], dataBytes, 4);
  return h;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "tonvera-cli pure-decode: %s\n", message.c_str());
  return 1;
}

int runPureDecode(const tonvera::cli::Args& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: tonvera-cli pure-decode IN.pur OUT.wav\n");
    return 2;
  }
  const std::string& inPath = args[0];
  const std::string& outPath = args[1];
  File in(std::fopen(inPath.c_str(), "rb"));
  if (!in) return fail(inPath + ": cannot open");

  std::uint8_t headerBytes[tonvera::kPureHeaderBytes];
  const std::size_t got = std::fread(headerBytes, 1, sizeof headerBytes, in.get());
  const std::string problem = headerProblem(headerBytes, got);
  const auto header = problem.empty() ? tonvera::parsePureHeader(headerBytes) : std::nullopt;
  if (!header) return fail(inPath + ": " + (problem.empty() ? "bad PURE header" : problem));
  const auto codec = tonvera::pureCodecCreate(&*header);
  if (!codec) return fail("out of memory");

  File out(std::fopen(outPath.c_str(), "wb"));
  if (!out) return fail(outPath + ": cannot create");
  auto writeFailed = [&] {
    out.reset();
    std::remove(outPath.c_str());
    return fail(outPath + ": write failed");
  };
  if (std::fwrite(wavHeader(0).data(), 1, kWavHeaderBytes, out.get()) != kWavHeaderBytes)
    return writeFailed();

  tonvera::PureFramer framer(tonvera::pureFrameBytes(header->m_ucBPS));
  std::int16_t pcm[tonvera::kPureFramePcmSamples];
  std::uint8_t le[tonvera::kPureFramePcmBytes];
  std::uint8_t chunkBytes[kChunkBytes];
  std::uint64_t frames = 0;
  for (;;) {
    const std::size_t n = std::fread(chunkBytes, 1, sizeof chunkBytes, in.get());
    if (n == 0) break;
    std::span<std::uint8_t> chunk(chunkBytes, n);
    while (!chunk.empty()) {
      const std::span<std::uint8_t> frame = framer.next(chunk);
      if (frame.empty()) break;
      tonvera::pureDecodeFrame(codec.get(), frame, pcm);
      for (int i = 0; i < tonvera::kPureFramePcmSamples; ++i)
        putLe(&le[2 * i], static_cast<std::uint16_t>(pcm[i]), 2);
      if (std::fwrite(le, 1, sizeof le, out.get()) != sizeof le) return writeFailed();
      ++frames;
    }
  }
  if (std::ferror(in.get())) {
    out.reset();
    std::remove(outPath.c_str());
    return fail(inPath + ": read error");
  }
  const std::uint64_t dataBytes = frames * tonvera::kPureFramePcmBytes;
  if (dataBytes > 0xFFFFFFFFu - 36) {
    out.reset();
    std::remove(outPath.c_str());
    return fail(inPath + ": too long for a WAV file");
  }
  if (std::fseek(out.get(), 0, SEEK_SET) != 0 ||
      std::fwrite(wavHeader(static_cast<std::uint32_t>(dataBytes)).data(), 1, kWavHeaderBytes, out.get()) !=
          kWavHeaderBytes ||
      std::fclose(out.release()) != 0) {
    return writeFailed();
  }
  if (framer.held() > 0) {
    std::fprintf(stderr,
                 "tonvera-cli pure-decode: warning: %s ends inside a frame; dropped the last %zu of %d bytes "
                 "(decoded %llu whole frames)\n",
                 inPath.c_str(), framer.held(), framer.frameBytes(), static_cast<unsigned long long>(frames));
  }
  return 0;
}

const tonvera::cli::CliCommand kPureDecode{"pure-decode", "IN.pur OUT.wav",
                                           "decode a PURE file into a 48 kHz stereo 16-bit WAV file",
                                           runPureDecode};

}  // namespace
