#include "audio/pureenc/pure_file_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/g719/pure_writer.h"
#include "platform/audiotoolbox/ffmpeghandles.h"

namespace tonvera {
namespace {

constexpr int kOutputRate = 48000;
constexpr double kProgressEverySeconds = 10.0;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string avError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// Collects converted samples into whole 20 ms frames and writes them coded.
class FrameSink {
 public:
  FrameSink(PureEncoder& encoder, std::FILE* out)
      : encoder_(encoder), out_(out), frame_(encoder.frameBytes()) {}

  // Takes `count` interleaved stereo sample frames.
  bool add(const std::int16_t* samples, int count) {
    for (int i = 0; i < count; ++i) {
      pending_[2 * filled_] = samples[2 * i];
      pending_[2 * filled_ + 1] = samples[2 * i + 1];
      if (++filled_ == kG719FrameSamples && !flush()) return false;
    }
    return true;
  }
  // The last frame, zero-filled (always written: it carries the decoder's one-frame delay).
  bool finish() {
    std::fill(pending_ + 2 * filled_, pending_ + 2 * kG719FrameSamples, 0);
    return flush();
  }
  std::uint64_t frames() const { return frames_; }
  std::uint64_t sampleFrames() const {
    return frames_ * kG719FrameSamples + static_cast<std::uint64_t>(filled_);
  }

 private:
  bool flush() {
    encoder_.encodeFrame(pending_, frame_);
    filled_ = 0;
    ++frames_;
    return std::fwrite(frame_.data(), 1, frame_.size(), out_) == frame_.size();
  }

  PureEncoder& encoder_;
  std::FILE* out_;
  std::vector<std::uint8_t> frame_;
  std::int16_t pending_[2 * kG719FrameSamples] = {};
  int filled_ = 0;
  std::uint64_t frames_ = 0;
};

PureFileEncodeResult encode(const std::string& inPath, std::FILE* out, const PureFileEncodeOptions& options) {
  PureFileEncodeResult result;
  auto encoder = PureEncoder::create(options.rate);
  if (!encoder) {
    result.error = "rate " + std::to_string(options.rate) + " is not an even rate from 2 to 128";
    return result;
  }

  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });  // no demuxer warnings on stderr
  AVFormatContext* rawFormat = nullptr;
  if (const int rc = avformat_open_input(&rawFormat, inPath.c_str(), nullptr, nullptr); rc < 0) {
    result.error = inPath + ": " + avError(rc);
    return result;
  }
  ffmpeg::FormatContextPtr format(rawFormat);
  if (const int rc = avformat_find_stream_info(format.get(), nullptr); rc < 0) {
    result.error = inPath + ": " + avError(rc);
    return result;
  }
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || codec == nullptr) {
    result.error = inPath + ": no audio stream FFmpeg can decode";
    return result;
  }
  ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
  if (!context || avcodec_parameters_to_context(context.get(), format->streams[stream]->codecpar) < 0 ||
      avcodec_open2(context.get(), codec, nullptr) < 0) {
    result.error = inPath + ": cannot open the audio decoder";
    return result;
  }
  const double total = format->duration > 0 ? static_cast<double>(format->duration) / AV_TIME_BASE : 0.0;

  // Placeholder header; the frame count is known at the end.
  const auto placeholder = pureHeaderBytes(options.rate, 0);
  if (std::fwrite(placeholder.data(), 1, placeholder.size(), out) != placeholder.size()) {
    result.error = "write failed";
    return result;
  }

  ffmpeg::PacketPtr packet(av_packet_alloc());
  ffmpeg::FramePtr frame(av_frame_alloc());
  ffmpeg::SwrPtr swr;
  AVChannelLayout swrInLayout{};
  int swrInRate = 0;
  int swrInFormat = -1;
  std::vector<std::int16_t> converted;
  FrameSink sink(*encoder, out);
  double nextProgress = kProgressEverySeconds;
  bool writeFailed = false;

  auto convert = [&](AVFrame* f) -> bool {
    // (Re)build the converter when the decoded format changes mid-stream.
    if (f != nullptr && (!swr || f->sample_rate != swrInRate || f->format != swrInFormat ||
                         av_channel_layout_compare(&f->ch_layout, &swrInLayout) != 0)) {
      AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
      SwrContext* raw = nullptr;
      if (swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, kOutputRate, &f->ch_layout,
                              static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
          swr_init(raw) < 0) {
        swr_free(&raw);
        return false;
      }
      swr.reset(raw);
      av_channel_layout_uninit(&swrInLayout);
      av_channel_layout_copy(&swrInLayout, &f->ch_layout);
      swrInRate = f->sample_rate;
      swrInFormat = f->format;
    }
    if (!swr) return true;
    const int inSamples = f != nullptr ? f->nb_samples : 0;
    const int capacity = swr_get_out_samples(swr.get(), inSamples);
    if (capacity <= 0) return true;
    converted.resize(static_cast<std::size_t>(capacity) * 2);
    auto* outPlanes = reinterpret_cast<std::uint8_t*>(converted.data());
    const int got =
        swr_convert(swr.get(), &outPlanes, capacity,
                    f != nullptr ? const_cast<const std::uint8_t**>(f->extended_data) : nullptr, inSamples);
    if (got < 0) return false;
    if (!sink.add(converted.data(), got)) writeFailed = true;
    return !writeFailed;
  };
  auto drain = [&]() -> bool {
    for (;;) {
      const int rc = avcodec_receive_frame(context.get(), frame.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return true;  // a damaged frame is skipped
      const bool ok = convert(frame.get());
      av_frame_unref(frame.get());
      if (!ok) return false;
      const double done = static_cast<double>(sink.sampleFrames()) / kOutputRate;
      if (options.progress && done >= nextProgress) {
        options.progress(done, total);
        nextProgress = done + kProgressEverySeconds;
      }
    }
  };

  bool failed = false;
  while (!failed && av_read_frame(format.get(), packet.get()) >= 0) {
    if (options.cancel != nullptr && options.cancel->load()) {
      av_channel_layout_uninit(&swrInLayout);
      result.error = "cancelled";
      return result;
    }
    if (packet->stream_index == stream && avcodec_send_packet(context.get(), packet.get()) >= 0) {
      failed = !drain();
    }
    av_packet_unref(packet.get());
  }
  if (!failed) {
    avcodec_send_packet(context.get(), nullptr);
    failed = !drain() || !convert(nullptr);
  }
  av_channel_layout_uninit(&swrInLayout);
  if (failed) {
    result.error = writeFailed ? "write failed" : inPath + ": cannot convert the decoded audio";
    return result;
  }
  if (!sink.finish()) {
    result.error = "write failed";
    return result;
  }
  result.frames = sink.frames();
  const auto header = pureHeaderBytes(
      options.rate, static_cast<std::uint32_t>(std::min<std::uint64_t>(result.frames, 0xFFFFFFFFu)));
  if (std::fseek(out, 0, SEEK_SET) != 0 ||
      std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
    result.error = "write failed";
    return result;
  }
  if (options.progress) options.progress(static_cast<double>(sink.sampleFrames()) / kOutputRate, total);
  result.bytes = kPureHeaderBytes + result.frames * static_cast<std::uint64_t>(encoder->frameBytes());
  result.ok = true;
  return result;
}

}  // namespace

PureFileEncodeResult encodeFileToPure(const std::string& inPath, const std::string& outPath,
                                      const PureFileEncodeOptions& options) {
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(outPath.c_str(), "wb"));
  if (!out) {
    PureFileEncodeResult result;
    result.error = outPath + ": cannot create";
    return result;
  }
  PureFileEncodeResult result = encode(inPath, out.get(), options);
  if (std::fclose(out.release()) != 0 && result.ok) {
    result = {};
    result.error = "write failed";
  }
  if (!result.ok) std::remove(outPath.c_str());
  return result;
}

}  // namespace tonvera
