#include "format_fixtures.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <utility>

#include "platform/audiotoolbox/audiotypes.h"
#include "platform/fileutil.h"

namespace tonvera::test {

namespace {

const char* kStereo = "aevalsrc=exprs=0.5*sin(2*PI*440*t)|0.4*sin(2*PI*(220+330*t)*t)";
const char* kMono = "aevalsrc=exprs=0.6*sin(2*PI*(300+200*t)*t)";
// Apple Lossless packets hold 4096 frames: the player's bit-rate estimate needs more than 50.
constexpr int kAlacSeconds = 6;

std::string source(int rate, int channels, int seconds = 3) {
  char text[256];
  std::snprintf(text, sizeof text, "-f lavfi -i \"%s:s=%d:d=%d\"", channels == 1 ? kMono : kStereo, rate,
                seconds);
  return text;
}

void put32(Bytes& b, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void put64(Bytes& b, std::uint64_t v) {
  put32(b, std::uint32_t(v >> 32));
  put32(b, std::uint32_t(v));
}
void putType(Bytes& b, const char* t) { b.insert(b.end(), t, t + 4); }
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
// A number of a CAF packet table: 7 bits a byte, high bit set on all but the last.
Bytes varint(std::uint64_t v) {
  Bytes var{std::uint8_t(v & 0x7F)};
  while (v >>= 7) var.insert(var.begin(), std::uint8_t(0x80 | (v & 0x7F)));
  return var;
}

int rateIndex(int rate) {
  const int rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                       22050, 16000, 12000, 11025, 8000,  7350};
  for (int i = 0; i < 13; ++i) {
    if (rates[i] == rate) return i;
  }
  return 15;
}

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

std::string cacheDir() {
  const std::string dir = std::string(TONVERA_BINARY_DIR) + "/test-fixtures/audio";
  std::filesystem::create_directories(dir);
  return dir;
}

std::string ffmpegFixture(const std::string& name, const std::string& args) {
  // The arguments are part of the cached name: a changed recipe makes a new file.
  const std::string path =
      cacheDir() + "/" + std::to_string(std::hash<std::string>()(args) % 100000) + "-" + name;
  if (std::filesystem::exists(path)) return path;
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  // The output format is named in the arguments; the temporary name has no telling extension.
  const std::string command = "ffmpeg -v error -nostdin -y " + args + " \"" + temp + "\"";
  if (std::system(command.c_str()) != 0) return {};
  std::filesystem::rename(temp, path);
  return path;
}

// AAC frames of an ADTS fixture, without their headers.
std::vector<Bytes> rawAacFrames(const std::string& name, const std::string& args) {
  const std::string path = ffmpegFixture(name, args);
  std::vector<Bytes> frames = splitAdtsFrames(readBytes(path));
  for (Bytes& f : frames) {
    const std::size_t header = (f[1] & 1) ? 7 : 9;
    f.erase(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(header));
  }
  return frames;
}

Bytes heAacConfig(int coreRate, int channels, int extensionRate, bool parametricStereo) {
  // Explicit signalling: object type 5 (SBR) or 29 (PS), core rate, channels, extension rate,
  // then the core's object type (2, LC) and its three GA flags (all zero).
  std::uint32_t bits = 0;
  int n = 0;
  auto put = [&](std::uint32_t v, int count) {
    bits = bits << count | v;
    n += count;
  };
  put(parametricStereo ? 29 : 5, 5);
  put(std::uint32_t(rateIndex(coreRate)), 4);
  put(std::uint32_t(channels), 4);
  put(std::uint32_t(rateIndex(extensionRate)), 4);
  put(2, 5);
  put(0, 3);
  bits <<= 32 - n;
  Bytes out;
  put32(out, bits);
  return out;
}

Bytes esDescriptor(const Bytes& asc) {
  Bytes specific = {0x05, std::uint8_t(asc.size())};
  append(specific, asc);
  Bytes config = {0x04, std::uint8_t(13 + specific.size()), 0x40, 0x15, 0, 0, 0};
  put32(config, 128000);
  put32(config, 128000);
  append(config, specific);
  Bytes es = {0x03, std::uint8_t(3 + config.size() + 3), 0x00, 0x01, 0x00};
  append(es, config);
  append(es, Bytes{0x06, 0x01, 0x02});
  return es;
}

Bytes writeCaf(double sampleRate, std::uint32_t formatID, std::uint32_t formatFlags,
               std::uint32_t framesPerPacket, int channels, const Bytes& cookie,
               const std::vector<Bytes>& packets) {
  auto chunk = [](const char* type, const Bytes& payload) {
    Bytes b;
    putType(b, type);
    put64(b, payload.size());
    append(b, payload);
    return b;
  };
  Bytes out = {'c', 'a', 'f', 'f', 0, 1, 0, 0};
  Bytes desc;
  std::uint64_t rateBits;
  std::memcpy(&rateBits, &sampleRate, 8);
  put64(desc, rateBits);
  put32(desc, formatID);
  put32(desc, formatFlags);
  put32(desc, 0);
  put32(desc, framesPerPacket);
  put32(desc, std::uint32_t(channels));
  put32(desc, 0);
  append(out, chunk("desc", desc));
  append(out, chunk("kuki", cookie));
  Bytes pakt;
  put64(pakt, packets.size());
  put64(pakt, packets.size() * framesPerPacket);
  put32(pakt, 0);
  put32(pakt, 0);
  for (const Bytes& p : packets) append(pakt, varint(p.size()));
  append(out, chunk("pakt", pakt));
  Bytes data = Bytes(4, 0);
  for (const Bytes& p : packets) append(data, p);
  append(out, chunk("data", data));
  return out;
}

// A CAF file with its chunks put in streaming order (desc, kuki, pakt, then data); `framesInTable`:
// no fixed frames per packet, each packet's count in the table instead.
Bytes cafInStreamingOrder(const Bytes& caf, bool framesInTable) {
  Bytes head(caf.begin(), caf.begin() + 8);
  Bytes first, data;
  std::uint32_t frames = 0;
  std::size_t at = 8;
  while (at + 12 <= caf.size()) {
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i) size = size << 8 | caf[at + 4 + std::size_t(i)];
    const std::size_t end = std::min<std::size_t>(caf.size(), at + 12 + std::size_t(size));
    Bytes chunk(caf.begin() + static_cast<std::ptrdiff_t>(at),
                caf.begin() + static_cast<std::ptrdiff_t>(end));
    const std::string type(chunk.begin(), chunk.begin() + 4);
    if (framesInTable && type == "desc") {  // frames per packet (payload bytes 20..23) become 0
      for (std::size_t i = 32; i < 36; ++i) frames = frames << 8 | std::exchange(chunk[i], 0);
    } else if (framesInTable && type == "pakt") {  // after each entry's size comes its frame count
      Bytes table(chunk.begin() + 12, chunk.begin() + 36);
      for (std::size_t i = 36; i < chunk.size(); ++i) {
        table.push_back(chunk[i]);
        if (!(chunk[i] & 0x80)) append(table, varint(frames));
      }
      chunk.resize(4);
      put64(chunk, table.size());
      append(chunk, table);
    }
    append(type == "data" ? data : first, chunk);
    at = end;
  }
  append(head, first);
  append(head, data);
  return head;
}

Bytes makeSpecial(const std::string& name) {
  if (name == "caf_aac" || name == "caf_he" || name == "caf_hev2") {
    const bool v2 = name == "caf_hev2";
    const bool he = v2 || name == "caf_he";
    const int core = he ? 22050 : 44100;
    const int channels = v2 ? 1 : 2;
    const std::string adtsName = "core_" + std::to_string(core) + "_" + std::to_string(channels) + ".aac";
    const auto frames = rawAacFrames(
        adtsName, source(core, channels) + " -c:a aac -b:a " + (channels == 1 ? "40k" : "96k") + " -f adts");
    Bytes asc = he ? heAacConfig(core, channels, 2 * core, v2) : Bytes{};
    if (!he) {
      asc = {std::uint8_t(2 << 3 | rateIndex(core) >> 1),
             std::uint8_t((rateIndex(core) & 1) << 7 | channels << 3)};
    }
    // The cookie as an 'esds' box's payload: version and flags, then the descriptor.
    Bytes cookie = Bytes(4, 0);
    append(cookie, esDescriptor(asc));
    return writeCaf(core, fourcc("aac "), 2, 1024, channels, cookie, frames);
  }
  if (name.rfind("caf_alac", 0) == 0) {
    const std::string path =
        ffmpegFixture("alac_raw.caf", source(44100, 2, kAlacSeconds) + " -c:a alac -f caf");
    return cafInStreamingOrder(readBytes(path), name == "caf_alac_varframes");
  }
  return {};
}

}  // namespace

bool haveFfmpeg() {
  static const bool have = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
  return have;
}

const std::vector<FormatCase>& formatCases() {
  const std::uint32_t lpcm = kAudioFormatLinearPCM, aac = kAudioFormatMPEG4AAC,
                      alac = kAudioFormatAppleLossless, he = kAudioFormatMPEG4AAC_HE,
                      hev2 = kAudioFormatMPEG4AAC_HE_V2;
  const std::uint32_t adts = kAudioFileAAC_ADTSType, m4a = kAudioFileM4AType, mp4 = kAudioFileMPEG4Type,
                      wav = kAudioFileWAVEType, aiff = kAudioFileAIFFType, caf = kAudioFileCAFType;
  static const std::vector<FormatCase> all = {
      {"adts_lc", "audio/aac", adts, aac, 44100, 2, true, "-c:a aac -b:a 128k -f adts"},
      {"adts_vbr48", "audio/aac", adts, aac, 48000, 2, true, "-c:a aac -q:a 1.2 -f adts"},
      {"m4a_lc", "audio/x-m4a", m4a, aac, 44100, 2, true, "-c:a aac -b:a 128k -f ipod"},
      {"mp4_lc48", "audio/mp4", mp4, aac, 48000, 2, true, "-c:a aac -b:a 96k -f mp4"},
      {"m4a_alac16", "audio/x-m4a", m4a, alac, 44100, 2, true, "-c:a alac -sample_fmt s16p -f ipod",
       kAlacSeconds},
      {"wav_u8", "audio/x-wav", wav, lpcm, 11025, 2, false, "-c:a pcm_u8 -f wav"},
      {"wav_s16", "audio/x-wav", wav, lpcm, 44100, 2, false, "-c:a pcm_s16le -f wav"},
      {"wav_s24", "audio/x-wav", wav, lpcm, 48000, 2, false, "-c:a pcm_s24le -f wav"},
      {"wav_f32", "audio/x-wav", wav, lpcm, 44100, 2, false, "-c:a pcm_f32le -f wav"},
      {"aiff_s8", "audio/x-aiff", aiff, lpcm, 22050, 1, false, "-c:a pcm_s8 -f aiff"},
      {"aiff_s24", "audio/x-aiff", aiff, lpcm, 48000, 2, false, "-c:a pcm_s24be -f aiff"},
      {"aifc_f32", "audio/x-aiff", aiff, lpcm, 44100, 2, false, "-c:a pcm_f32be -f aiff"},
      {"aifc_sowt", "audio/x-aiff", aiff, lpcm, 44100, 2, false, "-c:a pcm_s16le -f aiff"},
      {"caf_s24be", "audio/x-caf", caf, lpcm, 48000, 1, false, "-c:a pcm_s24be -f caf"},
      {"caf_f32", "audio/x-caf", caf, lpcm, 44100, 2, false, "-c:a pcm_f32le -f caf"},
      {"caf_aac", "audio/x-caf", caf, aac, 44100, 2, true, nullptr},
      {"caf_he", "audio/x-caf", caf, he, 44100, 2, true, nullptr},
      {"caf_hev2", "audio/x-caf", caf, hev2, 44100, 2, true, nullptr},
      {"caf_alac", "audio/x-caf", caf, alac, 44100, 2, true, nullptr},
      {"caf_alac_varframes", "audio/x-caf", caf, alac, 44100, 2, true, nullptr},
  };
  return all;
}

const FormatCase* findCase(const std::string& name) {
  for (const auto& c : formatCases()) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

ParserFactory parserFactoryFor(std::uint32_t fileType) {
  switch (fileType) {
    case kAudioFileAAC_ADTSType:
      return makeAdtsStreamParser;
    case kAudioFileM4AType:
      return makeMp4StreamParser;
    case kAudioFileMPEG4Type:
      return makeMpeg4StreamParser;
    case kAudioFileWAVEType:
      return makeWavStreamParser;
    case kAudioFileCAFType:
      return makeCafStreamParser;
    default:
      return makeAiffStreamParser;
  }
}

std::string fixturePath(const FormatCase& c) {
  const std::string file = c.name;
  if (c.encoding) {
    // MP4 files are made to stream: "moov" before the media.
    const bool mp4 = c.fileType == kAudioFileM4AType || c.fileType == kAudioFileMPEG4Type;
    return ffmpegFixture(file, source(c.outputRate, c.outputChannels, c.seconds) + " " + c.encoding +
                                   (mp4 ? " -movflags +faststart" : ""));
  }
  // Assembled here: the version in the name changes with the way they are made.
  const std::string path = cacheDir() + "/v3-" + file;
  if (std::filesystem::exists(path)) return path;
  const Bytes bytes = makeSpecial(c.name);
  if (bytes.empty()) return {};
  writeFileAtomically(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  return path;
}

std::string moovAtEndFixture() {
  return ffmpegFixture("moov_at_end.m4a", source(44100, 2) + " -c:a aac -b:a 96k -f ipod");
}

Pcm ffmpegDecode(const FormatCase& c) {
  const std::string out =
      run("ffmpeg -v quiet -nostdin -i \"" + fixturePath(c) + "\" -ar " + std::to_string(c.outputRate) +
          " -ac " + std::to_string(c.outputChannels) + " -f s16le -");
  Pcm pcm{c.outputRate, c.outputChannels, std::vector<std::int16_t>(out.size() / 2)};
  std::memcpy(pcm.samples.data(), out.data(), pcm.samples.size() * 2);
  return pcm;
}

std::vector<Bytes> splitAdtsFrames(const Bytes& adts) {
  std::vector<Bytes> frames;
  std::size_t at = 0;
  while (at + 7 <= adts.size() && adts[at] == 0xFF && (adts[at + 1] & 0xF6) == 0xF0) {
    const std::size_t length =
        std::size_t(adts[at + 3] & 3) << 11 | std::size_t(adts[at + 4]) << 3 | adts[at + 5] >> 5;
    if (length < 7 || at + length > adts.size()) break;
    frames.emplace_back(adts.begin() + static_cast<std::ptrdiff_t>(at),
                        adts.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  }
  return frames;
}

}  // namespace tonvera::test
