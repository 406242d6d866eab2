#include "platform/export/export_sound.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <vector>

#include "platform/avifile/avifile.h"

namespace zr {

namespace {

bool LooksLikeMidi(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[12] = {};
  size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return (n >= 4 && std::memcmp(head, "MThd", 4) == 0) ||
         (n == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "RMID", 4) == 0);
}

// What both readers share: a resampler into a FIFO of the output form.
class Resampled : public ExportSound {
 public:
  ~Resampled() override {
    swr_free(&swr_);
    if (fifo_) av_audio_fifo_free(fifo_);
  }

  bool Configure(int sampleFormat, int rate, int channels) override {
    AVChannelLayout in, out;
    av_channel_layout_default(&in, sourceChannels());
    av_channel_layout_default(&out, channels);
    int rc = swr_alloc_set_opts2(&swr_, &out, AVSampleFormat(sampleFormat), rate, &in,
                                 inputFormat_, sourceRate(), 0, nullptr);
    if (rc < 0 || swr_init(swr_) < 0) return false;
    fifo_ = av_audio_fifo_alloc(AVSampleFormat(sampleFormat), channels, 4096);
    outFormat_ = AVSampleFormat(sampleFormat);
    outChannels_ = channels;
    return fifo_ != nullptr;
  }

  bool Read(AVFrame* frame) override {
    const int want = frame->nb_samples;
    while (av_audio_fifo_size(fifo_) < want && !drained_) {
      if (!ended_) {
        if (!Pull()) return false;
      } else {
        if (!Convert(nullptr, 0)) return false;
        drained_ = true;
      }
    }
    int got = av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame->data), want);
    if (got < 0) return false;
    if (got < want) {
      av_samples_set_silence(frame->data, got, want - got, frame->ch_layout.nb_channels,
                             AVSampleFormat(frame->format));
    }
    return true;
  }

 protected:
  // Decodes more input, handing it to Convert; sets ended_ at the end of the file.
  virtual bool Pull() = 0;

  bool Convert(const uint8_t* const* data, int samples) {
    int room = swr_get_out_samples(swr_, samples);
    if (room <= 0) return true;
    uint8_t** out = nullptr;
    if (av_samples_alloc_array_and_samples(&out, nullptr, fifoChannels(), room,
                                           fifoFormat(), 0) < 0) {
      return false;
    }
    int made = swr_convert(swr_, out, room, const_cast<const uint8_t**>(data), samples);
    bool ok = made >= 0 &&
              av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out), made) == made;
    av_freep(&out[0]);
    av_freep(&out);
    return ok;
  }

  AVSampleFormat inputFormat_ = AV_SAMPLE_FMT_S16;
  bool ended_ = false;

 private:
  int fifoChannels() const { return outChannels_; }
  AVSampleFormat fifoFormat() const { return outFormat_; }
  SwrContext* swr_ = nullptr;
  AVSampleFormat outFormat_ = AV_SAMPLE_FMT_NONE;
  int outChannels_ = 0;
  AVAudioFifo* fifo_ = nullptr;
  bool drained_ = false;
};

class DecodedSound : public Resampled {
 public:
  ~DecodedSound() override {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
  }

  bool Open(const std::string& path, std::string& error) {
    if (avformat_open_input(&format_, path.c_str(), nullptr, nullptr) < 0) {
      error = "cannot be opened";
      return false;
    }
    if (avformat_find_stream_info(format_, nullptr) < 0) {
      error = "cannot be read";
      return false;
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        stream_ = int(i);
        break;
      }
    }
    if (stream_ < 0) {
      error = "has no sound";
      return false;
    }
    const AVCodecParameters* par = format_->streams[stream_]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) {
      error = "has a sound codec this FFmpeg cannot decode";
      return false;
    }
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_ || avcodec_parameters_to_context(codec_, par) < 0 ||
        avcodec_open2(codec_, decoder, nullptr) < 0 || codec_->sample_rate <= 0 ||
        codec_->ch_layout.nb_channels <= 0) {
      error = "has a sound that cannot be decoded";
      return false;
    }
    inputFormat_ = codec_->sample_fmt;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    return packet_ && frame_;
  }

  int sourceRate() const override { return codec_->sample_rate; }
  int sourceChannels() const override { return codec_->ch_layout.nb_channels; }

 protected:
  bool Pull() override {
    for (;;) {
      int rc = avcodec_receive_frame(codec_, frame_);
      if (rc == 0) {
        bool ok = Convert(frame_->extended_data, frame_->nb_samples);
        av_frame_unref(frame_);
        return ok;
      }
      if (rc == AVERROR_EOF) {
        ended_ = true;
        return true;
      }
      if (rc != AVERROR(EAGAIN)) return false;
      rc = av_read_frame(format_, packet_);
      if (rc < 0) {
        avcodec_send_packet(codec_, nullptr);
        continue;
      }
      if (packet_->stream_index == stream_) {
        // A damaged packet is dropped, as players do, rather than ending the sound.
        avcodec_send_packet(codec_, packet_);
      }
      av_packet_unref(packet_);
    }
  }

 private:
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int stream_ = -1;
};

// MIDI through the AVI layer, which renders it to 16-bit PCM.
class MidiSound : public Resampled {
 public:
  bool Open(const std::string& path, std::string& error) {
    if (AVIFileOpen(AviOut(file_), path, OF_READ) != AVIERR_OK) {
      error = "cannot be rendered";
      return false;
    }
    if (AVIFileGetStream(file_.get(), AviOut(stream_), streamtypeAUDIO, 0) != AVIERR_OK) {
      error = "cannot be rendered";
      return false;
    }
    WAVEFORMATEX wf;
    int32_t size = sizeof wf;
    if (AVIStreamReadFormat(stream_.get(), 0, &wf, &size) != AVIERR_OK || wf.nChannels == 0 ||
        wf.wBitsPerSample != 16 || wf.nSamplesPerSec == 0) {
      error = "cannot be rendered";
      return false;
    }
    rate_ = int(wf.nSamplesPerSec);
    channels_ = wf.nChannels;
    length_ = AVIStreamLength(stream_.get());
    return true;
  }

  int sourceRate() const override { return rate_; }
  int sourceChannels() const override { return channels_; }

 protected:
  bool Pull() override {
    constexpr int32_t kChunk = 4096;
    int32_t n = std::min<int32_t>(kChunk, length_ - position_);
    if (n <= 0) {
      ended_ = true;
      return true;
    }
    buffer_.resize(size_t(n) * size_t(channels_));
    int32_t bytes = 0, samples = 0;
    if (AVIStreamRead(stream_.get(), position_, n, buffer_.data(), int32_t(buffer_.size() * 2), &bytes,
                      &samples) != AVIERR_OK ||
        samples <= 0) {
      ended_ = true;
      return true;
    }
    position_ += samples;
    const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(buffer_.data())};
    return Convert(planes, samples);
  }

 private:
  AviFilePtr file_;
  AviStreamPtr stream_;
  int rate_ = 0, channels_ = 0;
  int32_t length_ = 0, position_ = 0;
  std::vector<int16_t> buffer_;
};

}  // namespace

std::unique_ptr<ExportSound> ExportSound::Open(const std::string& path, std::string& error) {
  error.clear();
  if (LooksLikeMidi(path)) {
    auto midi = std::make_unique<MidiSound>();
    if (midi->Open(path, error)) return midi;
    return nullptr;
  }
  auto decoded = std::make_unique<DecodedSound>();
  if (decoded->Open(path, error)) return decoded;
  return nullptr;
}

}  // namespace zr
