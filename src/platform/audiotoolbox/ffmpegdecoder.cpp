// Compressed packets through libavcodec; the result converted by libswresample to interleaved
// signed 16-bit samples at the decoder's own rate and channel count.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/audiotoolbox/audiodecoder.h"
#include "platform/audiotoolbox/ffmpeghandles.h"

namespace tonvera {

namespace {

AVCodecID codecFor(std::uint32_t formatID) {
  switch (formatID) {
    case kAudioFormatMPEGLayer3:
      return AV_CODEC_ID_MP3;
    case kAudioFormatMPEG4AAC:
    case kAudioFormatMPEG4AAC_HE:
    case kAudioFormatMPEG4AAC_HE_V2:
      return AV_CODEC_ID_AAC;
    case kAudioFormatAppleLossless:
      return AV_CODEC_ID_ALAC;
    default:
      return AV_CODEC_ID_NONE;
  }
}

class FfmpegDecoder final : public AudioDecoder {
 public:
  bool open(const AudioStreamBasicDescription& format, const std::vector<std::uint8_t>& cookie) {
    const AVCodec* codec = avcodec_find_decoder(codecFor(format.formatID));
    if (!codec) return false;
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) return false;
    context_->thread_count = 1;
    if (format.sampleRate > 0) context_->sample_rate = static_cast<int>(format.sampleRate);
    if (format.channelsPerFrame > 0) {
      av_channel_layout_default(&context_->ch_layout, static_cast<int>(format.channelsPerFrame));
    }
    if (!cookie.empty()) {
      context_->extradata =
          static_cast<std::uint8_t*>(av_mallocz(cookie.size() + AV_INPUT_BUFFER_PADDING_SIZE));
      if (!context_->extradata) return false;
      std::copy(cookie.begin(), cookie.end(), context_->extradata);
      context_->extradata_size = static_cast<int>(cookie.size());
    }
    return avcodec_open2(context_.get(), codec, nullptr) >= 0;
  }

  bool decode(const std::uint8_t* data, std::size_t size, std::vector<std::int16_t>& out) override {
    if (!size) return true;
    // libavcodec reads a little past the end of a packet: hand it a padded copy.
    scratch_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
    std::copy(data, data + size, scratch_.begin());
    std::fill(scratch_.begin() + static_cast<std::ptrdiff_t>(size), scratch_.end(), 0);
    packet_->data = scratch_.data();
    packet_->size = static_cast<int>(size);
    const int sent = avcodec_send_packet(context_.get(), packet_.get());
    packet_->data = nullptr;
    packet_->size = 0;
    if (sent < 0 && sent != AVERROR(EAGAIN)) return true;  // damaged packet: skipped
    return receive(out);
  }

  void drain(std::vector<std::int16_t>& out) override {
    if (avcodec_send_packet(context_.get(), nullptr) >= 0) receive(out);
    avcodec_flush_buffers(context_.get());
  }

  void reset() override { avcodec_flush_buffers(context_.get()); }

 private:
  bool receive(std::vector<std::int16_t>& out) {
    for (;;) {
      const int got = avcodec_receive_frame(context_.get(), frame_.get());
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
      if (got < 0) return true;  // a damaged frame is dropped
      convert(out);
      av_frame_unref(frame_.get());
    }
  }

  void convert(std::vector<std::int16_t>& out) {
    AVFrame* f = frame_.get();
    if (f->nb_samples <= 0 || f->ch_layout.nb_channels <= 0 || f->sample_rate <= 0) return;
    if (!outputRate_) {
      outputRate_ = f->sample_rate;
      outputChannels_ = f->ch_layout.nb_channels;
    }
    if (!swr_ || f->sample_rate != inRate_ || f->format != inFormat_ ||
        av_channel_layout_compare(&f->ch_layout, &inLayout_) != 0) {
      AVChannelLayout outLayout;
      av_channel_layout_default(&outLayout, outputChannels_);
      SwrContext* raw = nullptr;
      if (swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, outputRate_, &f->ch_layout,
                              static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
          swr_init(raw) < 0) {
        swr_free(&raw);
        swr_.reset();
        return;
      }
      swr_.reset(raw);
      inRate_ = f->sample_rate;
      inFormat_ = f->format;
      av_channel_layout_uninit(&inLayout_);
      av_channel_layout_copy(&inLayout_, &f->ch_layout);
    }
    const int capacity = swr_get_out_samples(swr_.get(), f->nb_samples);
    if (capacity <= 0) return;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(capacity) * static_cast<std::size_t>(outputChannels_));
    std::uint8_t* dst = reinterpret_cast<std::uint8_t*>(out.data() + start);
    const int made = swr_convert(swr_.get(), &dst, capacity, const_cast<const std::uint8_t**>(f->extended_data),
                                 f->nb_samples);
    out.resize(start + static_cast<std::size_t>(made > 0 ? made : 0) * static_cast<std::size_t>(outputChannels_));
  }

  ffmpeg::CodecContextPtr context_;
  ffmpeg::FramePtr frame_;
  ffmpeg::PacketPtr packet_;
  ffmpeg::SwrPtr swr_;
  int inRate_ = 0;
  int inFormat_ = -1;
  AVChannelLayout inLayout_{};
  std::vector<std::uint8_t> scratch_;

 public:
  ~FfmpegDecoder() override { av_channel_layout_uninit(&inLayout_); }
};

}  // namespace

bool ffmpegCanDecode(const AudioStreamBasicDescription& format) {
  const AVCodecID id = codecFor(format.formatID);
  return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

std::unique_ptr<AudioDecoder> makeFfmpegDecoder(const AudioStreamBasicDescription& format,
                                                const std::vector<std::uint8_t>& magicCookie) {
  auto decoder = std::make_unique<FfmpegDecoder>();
  if (!decoder->open(format, magicCookie)) return nullptr;
  return decoder;
}

bool AudioDecoder::canDecode(const AudioStreamBasicDescription& format) {
  if (format.formatID == kAudioFormatLinearPCM) return pcmCanDecode(format);
  if (format.formatID == kAudioFormatPure) return pureCanDecode(format);
  return ffmpegCanDecode(format);
}

std::unique_ptr<AudioDecoder> AudioDecoder::create(const AudioStreamBasicDescription& format,
                                                   const std::vector<std::uint8_t>& magicCookie) {
  if (format.formatID == kAudioFormatLinearPCM) return makePcmDecoder(format);
  if (format.formatID == kAudioFormatPure) return makePureDecoder(format, magicCookie);
  return makeFfmpegDecoder(format, magicCookie);
}

}  // namespace tonvera
