// Animated WebP through libwebp's animation encoder, with explicit timestamps.
#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/export/export_internal.h"

extern "C" {
#include <libavutil/log.h>
}

namespace zr {

namespace {

class WebpExport : public ExportEncoder {
 public:
  ~WebpExport() override {
    if (encoder_) WebPAnimEncoderDelete(encoder_);
  }

  bool Open(const ExportSettings& s, const std::string& path) {
    settings_ = s;
    path_ = path;
    if (s.width > WEBP_MAX_DIMENSION || s.height > WEBP_MAX_DIMENSION) {
      return Fail("WebP pictures are at most " + std::to_string(WEBP_MAX_DIMENSION) +
                  " pixels wide and high");
    }
    // Nothing is written before the end; find out now that the file can be.
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return Fail(std::string(kCannotCreate) + std::strerror(errno));
    std::fclose(f);
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config_)) {
      return Fail("The libwebp here does not match the one built against");
    }
    options.anim_params.loop_count = s.plays;
    config_.quality = float(WebpQuality(s.quality));
    encoder_ = WebPAnimEncoderNew(s.width, s.height, &options);
    return encoder_ != nullptr || Fail("Out of memory");
  }

  bool AddPicture(const Bitmap& picture, int64_t duration) override {
    if (picture.width != settings_.width || picture.height != settings_.height) {
      return Fail("A picture of another size than the first");
    }
    if (duration <= 0) return true;
    WebPPicture frame;
    if (!WebPPictureInit(&frame)) return Fail("Out of memory");
    frame.use_argb = 1;
    frame.width = picture.width;
    frame.height = picture.height;
    bool ok = WebPPictureImportBGRX(&frame, reinterpret_cast<const uint8_t*>(picture.pixels.data()),
                                    picture.width * 4) &&
              WebPAnimEncoderAdd(encoder_, &frame, int(timestamp_), &config_);
    WebPPictureFree(&frame);
    if (!ok) return Fail(std::string("WebP: ") + WebPAnimEncoderGetError(encoder_));
    timestamp_ += duration;
    return true;
  }

  bool Finish() override {
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(encoder_, nullptr, int(timestamp_), nullptr) ||
        !WebPAnimEncoderAssemble(encoder_, &data)) {
      return Fail(std::string("WebP: ") + WebPAnimEncoderGetError(encoder_));
    }
    FILE* f = std::fopen(path_.c_str(), "wb");
    bool ok = f && std::fwrite(data.bytes, 1, data.size, f) == data.size;
    int savedErrno = errno;
    if (f && std::fclose(f) != 0) ok = false, savedErrno = errno;
    WebPDataClear(&data);
    return ok || Fail(std::string("Could not write the file: ") + std::strerror(savedErrno));
  }

 private:
  ExportSettings settings_;
  std::string path_;
  WebPConfig config_;
  WebPAnimEncoder* encoder_ = nullptr;
  int64_t timestamp_ = 0;  // ms
};

}  // namespace

std::unique_ptr<ExportEncoder> OpenWebpExport(const ExportSettings& settings,
                                              const std::string& path, std::string& error) {
  auto encoder = std::make_unique<WebpExport>();
  if (!encoder->Open(settings, path)) {
    error = encoder->error();
    return nullptr;
  }
  return encoder;
}

std::unique_ptr<ExportEncoder> ExportEncoder::Open(const ExportSettings& settings,
                                                   const std::string& path, std::string& error) {
  // Library chatter would break the terminal's progress line; failures come back as codes.
  av_log_set_level(AV_LOG_QUIET);
  if (settings.width <= 0 || settings.height <= 0 || settings.fps < 1) {
    error = "Nothing to export";
    return nullptr;
  }
  return settings.format == ExportFormat::WebP ? OpenWebpExport(settings, path, error)
                                               : OpenFfmpegExport(settings, path, error);
}

}  // namespace zr
