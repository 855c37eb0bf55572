#include "station/encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/audiotoolbox/ffmpeghandles.h"

namespace tonvera::station {

namespace {

std::string averror(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

int adtsRateIndex(int rate) {
  static constexpr std::array<int, 13> kRates{96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                              22050, 16000, 12000, 11025, 8000,  7350};
  for (std::size_t i = 0; i < kRates.size(); ++i)
    if (kRates[i] == rate) return static_cast<int>(i);
  return -1;
}

// The 7-byte ADTS header of one AAC-LC stereo frame of `payload` bytes (no CRC).
void appendAdtsHeader(std::string& out, int rateIndex, std::size_t payload) {
  const std::size_t length = payload + 7;
  const unsigned char header[7] = {
      0xFF,
      0xF1,  // MPEG-4, layer 0, no CRC
      static_cast<unsigned char>((1 << 6) | (rateIndex << 2) | (2 >> 2)),  // AAC LC, rate, channels (high bit)
      static_cast<unsigned char>(((2 & 3) << 6) | ((length >> 11) & 0x03)),
      static_cast<unsigned char>((length >> 3) & 0xFF),
      static_cast<unsigned char>(((length & 0x07) << 5) | 0x1F),  // buffer fullness 0x7FF: variable
      0xFC,
  };
  out.append(reinterpret_cast<const char*>(header), sizeof header);
}

}  // namespace

std::optional<std::string> encodeStereo(const std::vector<float>& left, const std::vector<float>& right, int sampleRate,
                                        DemoCodec codec, int bitRate, std::string* error) {
  auto fail = [&](const std::string& message) -> std::optional<std::string> {
    if (error) *error = message;
    return std::nullopt;
  };
  if (codec == DemoCodec::Pure) return fail("PURE is coded by encodePureStereo");
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });  // no encoder statistics on stderr
  const char* name = codec == DemoCodec::Mp3 ? "libmp3lame" : "aac";
  const AVCodec* encoder = avcodec_find_encoder_by_name(name);
  if (!encoder) return fail(std::string("encoder not available: ") + name);
  const int rateIndex = adtsRateIndex(sampleRate);
  if (codec == DemoCodec::AdtsAac && rateIndex < 0) return fail("sample rate not possible in ADTS");

  ffmpeg::CodecContextPtr ctx(avcodec_alloc_context3(encoder));
  if (!ctx) return fail("out of memory");
  ctx->sample_rate = sampleRate;
  ctx->bit_rate = bitRate;
  ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  ctx->thread_count = 1;
  ctx->time_base = AVRational{1, sampleRate};
  av_channel_layout_default(&ctx->ch_layout, 2);
  if (codec == DemoCodec::AdtsAac) ctx->profile = FF_PROFILE_AAC_LOW;
  if (int rc = avcodec_open2(ctx.get(), encoder, nullptr); rc < 0) return fail("cannot open encoder: " + averror(rc));

  ffmpeg::FramePtr frame(av_frame_alloc());
  ffmpeg::PacketPtr packet(av_packet_alloc());
  if (!frame || !packet) return fail("out of memory");
  const int frameSize = ctx->frame_size > 0 ? ctx->frame_size : 1152;
  frame->nb_samples = frameSize;
  frame->format = ctx->sample_fmt;
  frame->sample_rate = sampleRate;
  av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
  if (int rc = av_frame_get_buffer(frame.get(), 0); rc < 0) return fail("cannot allocate frame: " + averror(rc));

  std::string out;
  auto drain = [&]() -> bool {
    for (;;) {
      const int rc = avcodec_receive_packet(ctx.get(), packet.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      if (codec == DemoCodec::AdtsAac) appendAdtsHeader(out, rateIndex, static_cast<std::size_t>(packet->size));
      out.append(reinterpret_cast<const char*>(packet->data), static_cast<std::size_t>(packet->size));
      av_packet_unref(packet.get());
    }
  };

  const std::size_t total = std::min(left.size(), right.size());
  for (std::size_t pos = 0; pos < total; pos += static_cast<std::size_t>(frameSize)) {
    if (int rc = av_frame_make_writable(frame.get()); rc < 0) return fail("frame not writable: " + averror(rc));
    auto* l = reinterpret_cast<float*>(frame->data[0]);
    auto* r = reinterpret_cast<float*>(frame->data[1]);
    const std::size_t n = std::min(static_cast<std::size_t>(frameSize), total - pos);
    std::memcpy(l, left.data() + pos, n * sizeof(float));
    std::memcpy(r, right.data() + pos, n * sizeof(float));
    // The last frame is padded with silence: every frame the encoder sees is whole.
    std::fill(l + n, l + frameSize, 0.0f);
    std::fill(r + n, r + frameSize, 0.0f);
    frame->pts = static_cast<int64_t>(pos);
    if (int rc = avcodec_send_frame(ctx.get(), frame.get()); rc < 0) return fail("encoding failed: " + averror(rc));
    if (!drain()) return fail("encoding failed");
  }
  if (int rc = avcodec_send_frame(ctx.get(), nullptr); rc < 0) return fail("flush failed: " + averror(rc));
  if (!drain()) return fail("encoding failed");
  return out;
}

}  // namespace tonvera::station
