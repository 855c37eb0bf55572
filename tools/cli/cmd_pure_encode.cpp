// tonvera-cli pure-encode IN OUT.pur [--rate R]: codes any audio file FFmpeg decodes into a PURE
// file (48 kHz stereo, R kbit/s per channel, default 64). Inputs longer than a minute get a
// progress line on standard error. Status 2 for bad arguments, 1 when the coding fails (no
// output file is left behind then).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/g719/pure_writer.h"
#include "audio/pureenc/pure_file_encoder.h"
#include "command.h"

namespace {

constexpr double kProgressFromSeconds = 60.0;

int usage() {
  std::fprintf(stderr,
               "usage: tonvera-cli pure-encode IN OUT.pur [--rate R]   (R: even, 2 to 128; default %d)\n",
               tonvera::kPureDefaultRate);
  return 2;
}

std::string clock(double seconds) {
  const long s = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

int runPureEncode(const tonvera::cli::Args& args) {
  std::string in;
  std::string out;
  int rate = tonvera::kPureDefaultRate;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--rate" && i + 1 < args.size()) {
      char* end = nullptr;
      const long r = std::strtol(args[++i].c_str(), &end, 10);
      if (args[i].empty() || *end != '\0' || r < 2 || r > 128 ||
          !tonvera::pureEncodableRate(static_cast<int>(r))) {
        std::fprintf(stderr, "tonvera-cli pure-encode: bad rate %s (an even number from 2 to 128)\n",
                     args[i].c_str());
        return 2;
      }
      rate = static_cast<int>(r);
    } else if (in.empty()) {
      in = args[i];
    } else if (out.empty()) {
      out = args[i];
    } else {
      return usage();
    }
  }
  if (in.empty() || out.empty()) return usage();

  const bool terminal = isatty(STDERR_FILENO) != 0;
  bool printed = false;
  tonvera::PureFileEncodeOptions options;
  options.rate = rate;
  options.progress = [&](double done, double total) {
    if (total > 0 && total < kProgressFromSeconds) return;
    if (total > 0) {
      std::fprintf(stderr, "%spure-encode: %s / %s (%d%%)%s", terminal ? "\r" : "", clock(done).c_str(),
                   clock(total).c_str(), static_cast<int>(100.0 * std::min(done / total, 1.0)),
                   terminal ? "" : "\n");
    } else {
      std::fprintf(stderr, "%spure-encode: %s%s", terminal ? "\r" : "", clock(done).c_str(),
                   terminal ? "" : "\n");
    }
    printed = true;
  };
  const auto result = tonvera::encodeFileToPure(in, out, options);
  if (printed && terminal) std::fprintf(stderr, "\n");
  if (!result.ok) {
    std::fprintf(stderr, "tonvera-cli pure-encode: %s\n", result.error.c_str());
    return 1;
  }
  return 0;
}

const tonvera::cli::CliCommand kPureEncode{
    "pure-encode", "IN OUT.pur [--rate R]",
    "code an audio file as a 48 kHz stereo PURE file (R kbit/s per channel, default 64)", runPureEncode};

}  // namespace
