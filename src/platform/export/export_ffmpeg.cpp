// MP4, WebM, GIF and APNG through libavformat/libavcodec (GIF's palette through
// libavfilter's palettegen and paletteuse).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <map>

#include "platform/export/export_encoder.h"
#include "platform/export/export_internal.h"
#include "platform/export/export_sound.h"

namespace zr {

namespace {

std::string AvError(int rc) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(rc, text, sizeof text);
  return text;
}

// A filter graph from named filters linked in a chain, with an optional second input
// into the last filter before the sink.
struct Graph {
  AVFilterGraph* graph = avfilter_graph_alloc();
  AVFilterContext* source = nullptr;
  AVFilterContext* second = nullptr;
  AVFilterContext* sink = nullptr;
  ~Graph() { avfilter_graph_free(&graph); }

  AVFilterContext* Add(const char* filter, const char* name, const std::string& args) {
    AVFilterContext* c = nullptr;
    if (!graph || avfilter_graph_create_filter(&c, avfilter_get_by_name(filter), name,
                                               args.empty() ? nullptr : args.c_str(), nullptr,
                                               graph) < 0) {
      return nullptr;
    }
    return c;
  }
};

std::string BufferArgs(int width, int height) {
  return "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
         ":pix_fmt=" + std::to_string(int(AV_PIX_FMT_BGRA)) + ":time_base=1/100:pixel_aspect=1/1";
}

class FfmpegExport : public ExportEncoder {
 public:
  ~FfmpegExport() override {
    sws_freeContext(sws_);
    av_frame_free(&picture_);
    av_frame_free(&sample_);
    av_frame_free(&palette_);
    av_frame_free(&filtered_);
    av_packet_free(&packet_);
    avcodec_free_context(&video_);
    avcodec_free_context(&audio_);
    if (format_) {
      if (format_->pb) avio_closep(&format_->pb);
      avformat_free_context(format_);
    }
  }

  bool Open(const ExportSettings& s, const std::string& path) {
    settings_ = s;
    timing_ = TimingOf(s.format, s.fps);
    const char* muxer = s.format == ExportFormat::Mp4    ? "mp4"
                        : s.format == ExportFormat::WebM ? "webm"
                        : s.format == ExportFormat::Gif  ? "gif"
                                                         : "apng";
    if (avformat_alloc_output_context2(&format_, nullptr, muxer, path.c_str()) < 0 || !format_) {
      return Fail(std::string("The FFmpeg libraries here cannot write ") + muxer + " files");
    }
    packet_ = av_packet_alloc();
    if (!packet_ || !OpenVideo()) return false;
    if (s.sound && ExportCarriesSound(s.format) && !OpenAudio()) return false;
    int rc = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return Fail(kCannotCreate + AvError(rc));
    AVDictionary* options = nullptr;
    if (s.format == ExportFormat::Mp4) av_dict_set(&options, "movflags", "+faststart", 0);
    if (s.format == ExportFormat::Gif) {
      // The muxer's count is of repeats after the first play; -1 writes no loop block.
      av_dict_set_int(&options, "loop", s.plays == 0 ? 0 : s.plays == 1 ? -1 : s.plays - 1, 0);
    }
    if (s.format == ExportFormat::Apng) av_dict_set_int(&options, "plays", s.plays, 0);
    rc = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (rc < 0) return Fail("Could not start the " + std::string(muxer) + " file: " + AvError(rc));
    return true;
  }

  bool NeedsPalettePass() const override { return settings_.format == ExportFormat::Gif; }

  bool AddPaletteSample(const Bitmap& picture) override {
    if (!paletteGraph_.sink && !OpenPaletteGraph()) return false;
    if (!FillBgra(picture)) return false;
    int rc = av_buffersrc_write_frame(paletteGraph_.source, picture_);
    return rc >= 0 || Fail("Palette: " + AvError(rc));
  }

  bool EndPalettePass() override {
    if (!paletteGraph_.sink) return Fail("No pictures for the palette");
    palette_ = av_frame_alloc();
    if (av_buffersrc_add_frame(paletteGraph_.source, nullptr) < 0 ||
        av_buffersink_get_frame(paletteGraph_.sink, palette_) < 0) {
      return Fail("The GIF palette could not be made");
    }
    return OpenDitherGraph();
  }

  bool AddPicture(const Bitmap& picture, int64_t duration) override {
    if (picture.width != settings_.width || picture.height != settings_.height) {
      return Fail("A picture of another size than the first");
    }
    if (duration <= 0) return true;
    bool ok = settings_.format == ExportFormat::Gif ? AddGifPicture(picture, duration)
                                                    : AddCodedPicture(picture, duration);
    if (!ok) return false;
    lastDuration_ = duration;
    return !audio_ || EncodeSoundUntil(videoPts_, false);
  }

  bool Finish() override {
    if (format_->pb == nullptr) return Fail("The file is not open");
    if (!Drain(video_, videoStream_, true)) return false;
    if (audio_ && (!EncodeSoundUntil(videoPts_, true) || !Drain(audio_, audioStream_, true))) {
      return false;
    }
    // The muxers otherwise show the last picture as long as the one before it.
    if (settings_.format == ExportFormat::Gif) {
      av_opt_set_int(format_->priv_data, "final_delay", lastDuration_, 0);
    } else if (settings_.format == ExportFormat::Apng) {
      av_opt_set_q(format_->priv_data, "final_delay",
                   AVRational{int(lastDuration_), settings_.fps}, 0);
    }
    int rc = av_write_trailer(format_);
    if (rc < 0) return Fail("Could not finish the file: " + AvError(rc));
    if (format_->pb->error < 0) return Fail("Could not write the file: " + AvError(format_->pb->error));
    rc = avio_closep(&format_->pb);
    return rc >= 0 || Fail("Could not write the file: " + AvError(rc));
  }

 private:
  bool OpenVideo() {
    const ExportFormat f = settings_.format;
    const char* name = f == ExportFormat::Mp4    ? "libx264"
                       : f == ExportFormat::WebM ? "libvpx-vp9"
                       : f == ExportFormat::Gif  ? "gif"
                                                 : "apng";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) return Fail(MissingEncoder(name, f));
    video_ = avcodec_alloc_context3(codec);
    if (!video_) return Fail("Out of memory");
    // x264 wants even sizes in 4:2:0; the extra column or row repeats the last one.
    width_ = settings_.width + (f == ExportFormat::Mp4 ? settings_.width % 2 : 0);
    height_ = settings_.height + (f == ExportFormat::Mp4 ? settings_.height % 2 : 0);
    video_->width = width_;
    video_->height = height_;
    video_->time_base = AVRational{1, int(timing_.unitsPerSecond)};
    video_->framerate = AVRational{settings_.fps, 1};
    video_->sample_aspect_ratio = AVRational{1, 1};
    if (f == ExportFormat::Mp4 || f == ExportFormat::WebM) {
      video_->pix_fmt = AV_PIX_FMT_YUV420P;
      video_->color_range = AVCOL_RANGE_MPEG;
      video_->colorspace = AVCOL_SPC_SMPTE170M;
      video_->color_primaries = AVCOL_PRI_SMPTE170M;
      video_->color_trc = AVCOL_TRC_SMPTE170M;
    } else {
      video_->pix_fmt = f == ExportFormat::Gif ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_RGB24;
    }
    if (f == ExportFormat::Mp4) {
      av_opt_set(video_->priv_data, "preset", "medium", 0);
      av_opt_set_int(video_->priv_data, "crf", Mp4Crf(settings_.quality), 0);
    } else if (f == ExportFormat::WebM) {
      video_->bit_rate = 0;  // constant quality
      av_opt_set_int(video_->priv_data, "crf", WebmCrf(settings_.quality), 0);
      av_opt_set_int(video_->priv_data, "row-mt", 1, 0);
    }
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(video_, codec, nullptr);
    if (rc < 0) return Fail(std::string("The ") + name + " encoder refused the settings: " + AvError(rc));
    videoStream_ = avformat_new_stream(format_, nullptr);
    if (!videoStream_ || avcodec_parameters_from_context(videoStream_->codecpar, video_) < 0) {
      return Fail("Out of memory");
    }
    videoStream_->time_base = video_->time_base;
    if (f != ExportFormat::Gif) {
      picture_ = av_frame_alloc();
      if (!picture_) return Fail("Out of memory");
      picture_->format = video_->pix_fmt;
      picture_->width = width_;
      picture_->height = height_;
      if (av_frame_get_buffer(picture_, 0) < 0) return Fail("Out of memory");
    }
    if (f == ExportFormat::Mp4 || f == ExportFormat::WebM) {
      sws_ = sws_getContext(width_, height_, AV_PIX_FMT_BGR0, width_, height_, AV_PIX_FMT_YUV420P,
                            SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr,
                            nullptr, nullptr);
      if (!sws_) return Fail("Out of memory");
      SetRgbToBt601Limited(sws_);
    }
    return true;
  }

  bool OpenAudio() {
    const bool mp4 = settings_.format == ExportFormat::Mp4;
    const char* name = mp4 ? "aac" : "libopus";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) return Fail(MissingEncoder(name, settings_.format));
    ExportSound& sound = *settings_.sound;
    audio_ = avcodec_alloc_context3(codec);
    if (!audio_) return Fail("Out of memory");
    const int rate = mp4 ? (sound.sourceRate() == 48000 ? 48000 : 44100) : 48000;
    const int channels = sound.sourceChannels() >= 2 ? 2 : 1;
    audio_->sample_rate = rate;
    audio_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&audio_->ch_layout, channels);
    audio_->bit_rate = mp4 ? 160000 : 128000;
    audio_->time_base = AVRational{1, rate};
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(audio_, codec, nullptr);
    if (rc < 0) return Fail(std::string("The ") + name + " encoder refused the sound: " + AvError(rc));
    audioStream_ = avformat_new_stream(format_, nullptr);
    if (!audioStream_ || avcodec_parameters_from_context(audioStream_->codecpar, audio_) < 0) {
      return Fail("Out of memory");
    }
    audioStream_->time_base = audio_->time_base;
    if (!sound.Configure(audio_->sample_fmt, rate, channels)) {
      return Fail("The sound cannot be resampled for " + std::string(name));
    }
    sample_ = av_frame_alloc();
    if (!sample_) return Fail("Out of memory");
    return true;
  }

  bool OpenPaletteGraph() {
    Graph& g = paletteGraph_;
    g.source = g.Add("buffer", "in", BufferArgs(width_, height_));
    AVFilterContext* gen = g.Add("palettegen", "palette", "max_colors=256:reserve_transparent=0");
    g.sink = g.Add("buffersink", "out", "");
    if (!g.source || !gen || !g.sink || avfilter_link(g.source, 0, gen, 0) < 0 ||
        avfilter_link(gen, 0, g.sink, 0) < 0 || avfilter_graph_config(g.graph, nullptr) < 0) {
      g.sink = nullptr;
      return Fail(std::string("The FFmpeg libraries here have no palettegen filter (needed for GIF)"));
    }
    return AllocBgra();
  }

  bool OpenDitherGraph() {
    Graph& g = ditherGraph_;
    g.source = g.Add("buffer", "in", BufferArgs(width_, height_));
    g.second = g.Add("buffer", "palette", BufferArgs(palette_->width, palette_->height));
    AVFilterContext* use = g.Add("paletteuse", "dither", "dither=sierra2_4a");
    g.sink = g.Add("buffersink", "out", "");
    if (!g.source || !g.second || !use || !g.sink || avfilter_link(g.source, 0, use, 0) < 0 ||
        avfilter_link(g.second, 0, use, 1) < 0 || avfilter_link(use, 0, g.sink, 0) < 0 ||
        avfilter_graph_config(g.graph, nullptr) < 0) {
      return Fail("The FFmpeg libraries here have no paletteuse filter (needed for GIF)");
    }
    palette_->pts = 0;
    if (av_buffersrc_write_frame(g.second, palette_) < 0 ||
        av_buffersrc_add_frame(g.second, nullptr) < 0) {
      return Fail("The GIF palette could not be used");
    }
    filtered_ = av_frame_alloc();
    return filtered_ != nullptr || Fail("Out of memory");
  }

  bool AllocBgra() {
    picture_ = av_frame_alloc();
    if (!picture_) return Fail("Out of memory");
    picture_->format = AV_PIX_FMT_BGRA;
    picture_->width = width_;
    picture_->height = height_;
    return av_frame_get_buffer(picture_, 0) >= 0 || Fail("Out of memory");
  }

  // Our pixels leave the top byte at zero; the palette filters read it as alpha.
  bool FillBgra(const Bitmap& picture) {
    if (av_frame_make_writable(picture_) < 0) return Fail("Out of memory");
    for (int y = 0; y < height_; ++y) {
      const Pixel* src = picture.row(y);
      uint32_t* dst = reinterpret_cast<uint32_t*>(picture_->data[0] + y * picture_->linesize[0]);
      for (int x = 0; x < width_; ++x) dst[x] = src[x] | 0xFF000000u;
    }
    return true;
  }

  bool FillCoded(const Bitmap& picture) {
    if (av_frame_make_writable(picture_) < 0) return Fail("Out of memory");
    if (settings_.format == ExportFormat::Apng) {
      for (int y = 0; y < height_; ++y) {
        const Pixel* src = picture.row(y);
        uint8_t* dst = picture_->data[0] + y * picture_->linesize[0];
        for (int x = 0; x < width_; ++x) {
          dst[3 * x] = uint8_t(src[x] >> 16);
          dst[3 * x + 1] = uint8_t(src[x] >> 8);
          dst[3 * x + 2] = uint8_t(src[x]);
        }
      }
      return true;
    }
    const uint8_t* planes[1];
    int strides[1];
    if (width_ != picture.width || height_ != picture.height) {
      PadByRepeating(picture, width_, height_, padded_);
      planes[0] = reinterpret_cast<const uint8_t*>(padded_.data());
    } else {
      planes[0] = reinterpret_cast<const uint8_t*>(picture.pixels.data());
    }
    strides[0] = width_ * 4;
    sws_scale(sws_, planes, strides, 0, height_, picture_->data, picture_->linesize);
    return true;
  }

  bool AddCodedPicture(const Bitmap& picture, int64_t duration) {
    if (!FillCoded(picture)) return false;
    // The video formats run at the project's rate: a picture is sent once per frame.
    const bool constant = timing_.constantRate;
    const int64_t sends = constant ? duration : 1;
    for (int64_t i = 0; i < sends; ++i) {
      picture_->pts = videoPts_;
      if (!constant) durations_[videoPts_] = duration;
      videoPts_ += constant ? 1 : duration;
      if (!Send(video_, videoStream_, picture_)) return false;
      if (audio_ && i + 1 < sends && !EncodeSoundUntil(videoPts_, false)) return false;
    }
    return true;
  }

  bool AddGifPicture(const Bitmap& picture, int64_t duration) {
    if (!ditherGraph_.sink) return Fail("The GIF palette was not made first");
    if (!FillBgra(picture)) return false;
    picture_->pts = videoPts_;
    int rc = av_buffersrc_write_frame(ditherGraph_.source, picture_);
    if (rc < 0) return Fail("Dithering: " + AvError(rc));
    rc = av_buffersink_get_frame(ditherGraph_.sink, filtered_);
    if (rc < 0) return Fail("Dithering: " + AvError(rc));
    filtered_->pts = videoPts_;
    durations_[videoPts_] = duration;
    videoPts_ += duration;
    bool ok = Send(video_, videoStream_, filtered_);
    av_frame_unref(filtered_);
    return ok;
  }

  bool Send(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    int rc = avcodec_send_frame(codec, frame);
    if (rc < 0) return Fail(std::string("Encoding: ") + AvError(rc));
    return Drain(codec, stream, false);
  }

  bool Drain(AVCodecContext* codec, AVStream* stream, bool flush) {
    if (flush) avcodec_send_frame(codec, nullptr);
    for (;;) {
      int rc = avcodec_receive_packet(codec, packet_);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return Fail(std::string("Encoding: ") + AvError(rc));
      if (codec == video_ && timing_.constantRate) {
        packet_->duration = 1;
      } else if (codec == video_) {
        auto it = durations_.find(packet_->pts);
        if (it != durations_.end()) {
          packet_->duration = it->second;
          durations_.erase(durations_.begin(), std::next(it));
        }
      }
      packet_->stream_index = stream->index;
      av_packet_rescale_ts(packet_, codec->time_base, stream->time_base);
      rc = av_interleaved_write_frame(format_, packet_);
      if (rc < 0) return Fail("Could not write the file: " + AvError(rc));
    }
  }

  // Sound up to the video's end so far; at the end, exactly to it.
  bool EncodeSoundUntil(int64_t videoUnits, bool last) {
    const int64_t target = av_rescale(videoUnits, audio_->sample_rate, timing_.unitsPerSecond);
    const int frameSize = audio_->frame_size > 0 ? audio_->frame_size : 1024;
    const bool smallLast = audio_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
    while (audioPts_ < target) {
      int64_t left = target - audioPts_;
      if (left < frameSize && !last) break;
      int n = left < frameSize && smallLast ? int(left) : frameSize;
      av_frame_unref(sample_);
      sample_->nb_samples = n;
      sample_->format = audio_->sample_fmt;
      sample_->sample_rate = audio_->sample_rate;
      av_channel_layout_copy(&sample_->ch_layout, &audio_->ch_layout);
      if (av_frame_get_buffer(sample_, 0) < 0) return Fail("Out of memory");
      if (!settings_.sound->Read(sample_)) return Fail("The sound could not be decoded");
      sample_->pts = audioPts_;
      audioPts_ += n;
      if (!Send(audio_, audioStream_, sample_)) return false;
    }
    return true;
  }

  ExportSettings settings_;
  ExportTiming timing_;
  int width_ = 0, height_ = 0;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVCodecContext* audio_ = nullptr;
  AVStream* videoStream_ = nullptr;
  AVStream* audioStream_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVFrame* sample_ = nullptr;
  AVFrame* palette_ = nullptr;
  AVFrame* filtered_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
  Graph paletteGraph_, ditherGraph_;
  std::vector<Pixel> padded_;
  std::map<int64_t, int64_t> durations_;  // by pts, for the packets still in the encoder
  int64_t videoPts_ = 0, audioPts_ = 0, lastDuration_ = 0;
};

}  // namespace

void SetRgbToBt601Limited(SwsContext* sws) {
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(sws, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
}

void PadByRepeating(const Bitmap& picture, int width, int height, std::vector<Pixel>& out) {
  out.resize(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y) {
    const Pixel* src = picture.row(std::min(y, picture.height - 1));
    Pixel* dst = out.data() + size_t(y) * size_t(width);
    std::memcpy(dst, src, size_t(picture.width) * sizeof(Pixel));
    for (int x = picture.width; x < width; ++x) dst[x] = src[picture.width - 1];
  }
}

std::string MissingEncoder(const std::string& codec, ExportFormat format) {
  return "The FFmpeg libraries here have no " + codec + " encoder (needed for " +
         ExportFormatName(format) + ")";
}

std::unique_ptr<ExportEncoder> OpenFfmpegExport(const ExportSettings& settings,
                                                const std::string& path, std::string& error) {
  auto encoder = std::make_unique<FfmpegExport>();
  if (!encoder->Open(settings, path)) {
    error = encoder->error();
    return nullptr;
  }
  return encoder;
}

}  // namespace zr
