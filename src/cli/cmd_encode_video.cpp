// zerarive-cli encode-video: the converter's video stage alone, AVI to an MPEG-1 video
// elementary stream.
#include <cstdio>
#include <memory>

#include "cli/command.h"
#include "mpeg/avi_input.h"
#include "mpeg/video/encoder.h"
#include "mpeg/video/format.h"
#include "mpeg/video/rate_report.h"
#include "platform/host.h"

namespace zr::cli {

namespace {

// Log lines on stderr, frames as the progress bar.
class TerminalLog : public mpeg::ConvertLog {
 public:
  TerminalLog(Host& host, int64_t total) : host_(host), total_(total) {}
  void Alert(const std::string& text) override {
    if (started_) host_.EndProgress();
    started_ = false;
    host_.Message(text);
  }
  void Line(const std::string& text) override {
    if (started_) host_.EndProgress();
    started_ = false;
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  void Frame(int n) override {
    if (!started_ && total_ > 0) {
      host_.BeginProgress("Compressing video", total_);
      started_ = true;
    }
    if (started_) host_.UpdateProgress(n);
  }
  void Finish() {
    if (started_) {
      host_.UpdateProgress(total_);
      host_.EndProgress();
    }
    started_ = false;
  }
  void SetTotal(int64_t total) { total_ = total; }

 private:
  Host& host_;
  int64_t total_;
  bool started_ = false;
};

int RunEncodeVideo(const std::vector<std::string>& args) {
  Options opts(args, {"threads", "dump-planes", "quality"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 2) return Fail("encode-video needs IN.avi and OUT.m1v (see --help)");
  long long threads = 2;
  if (opts.has("threads") && (!ParseInt(opts.value("threads"), threads) || threads < 1 ||
                                threads > 64))
    return Fail("--threads needs a whole number from 1 to 64");
  bool highQuality = false;
  if (!ParseQuality(opts.value("quality", "default"), highQuality))
    return Fail("--quality must be default or high");
  const std::string& in = opts.positional()[0];
  const std::string& out = opts.positional()[1];

  TerminalHost host(true);
  TerminalLog log(host, 0);
  mpeg::AviInput input;
  mpeg::AviInputFault fault;
  if (!input.Open(in, log, fault)) {
    log.Line(mpeg::AviInputLogLine(fault, in));
    std::fprintf(stderr, "%s\n", mpeg::AviInputDetail(fault).c_str());
    return 1;
  }
  mpeg::VideoSettings settings;
  settings.noAudio = !input.hasAudio();
  settings.threads = int(threads);
  settings.highQuality = highQuality;
  log.SetTotal(int64_t(input.info().length));

  mpeg::VideoEncoder encoder;
  std::FILE* dump = nullptr;
  std::string dumpPath = opts.value("dump-planes");
  bool dumpFailed = false;
  if (!dumpPath.empty()) {
    dump = std::fopen(dumpPath.c_str(), "wb");
    if (!dump) return Fail("cannot create " + dumpPath);
    // Display order, visible size (horizontal_size x vertical_size): what a decoder shows.
    encoder.SetSourceHook([&](int display, const mpeg::Frame& f) {
      const mpeg::VideoParams& p = encoder.params();
      const int w = p.horizontal_size, h = p.vertical_size;
      const long long frameBytes = (long long)w * h * 3 / 2;
      if (fseeko(dump, off_t(display * frameBytes), SEEK_SET) != 0) dumpFailed = true;
      for (int y = 0; y < h; ++y) dumpFailed |= std::fwrite(&f.y[size_t(y) * f.width], 1, size_t(w), dump) != size_t(w);
      for (int c = 1; c <= 2; ++c) {
        const uint8_t* plane = f.plane(c);
        for (int y = 0; y < h / 2; ++y)
          dumpFailed |= std::fwrite(plane + size_t(y) * (f.width / 2), 1, size_t(w / 2), dump) != size_t(w / 2);
      }
    });
  }
  log.Line("Compressing video...");
  // The progress counts coded pictures, which may repeat AVI frames.
  log.SetTotal(int64_t(input.info().length) *
               mpeg::ChooseFrameRate(input.info().rate, input.info().scale).repeat);
  bool ok = encoder.Encode(input, out, log, settings);
  log.Finish();
  if (dump && std::fclose(dump) != 0) dumpFailed = true;
  if (!ok) return 1;
  if (encoder.result().overflowCount) log.Line("Warning: buffer overflow");
  for (const std::string& line : mpeg::RateWarnings(encoder.result())) log.Line(line);
  if (input.substitutedFrames())
    log.Line(mpeg::Format("Warning: %u frames were substituted", unsigned(input.substitutedFrames())));
  log.Line("Video completed");
  if (dumpFailed) return Fail("could not write " + dumpPath);
  return 0;
}

CliRegistrar reg({"encode-video", "encode the video of an AVI file as an MPEG-1 video stream",
                  "Usage: zerarive-cli encode-video IN.avi OUT.m1v [--threads N] [--dump-planes FILE]\n"
                  "                               [--quality default|high]\n"
                  "Encodes the video of IN.avi into the MPEG-1 video elementary stream OUT.m1v\n"
                  "as the converter does (its log on stderr, with a progress bar).\n"
                  "  --threads N         motion search threads (default 2; the stream is the\n"
                  "                      same for any N)\n"
                  "  --dump-planes FILE  also write the pictures as coded, before compression,\n"
                  "                      as raw yuv420p in display order (for comparisons)\n"
                  "  --quality Q         default, or high: slower, better pictures at the same\n"
                  "                      bit rate, a 40 KB buffer that never runs over\n",
                  RunEncodeVideo});

}  // namespace

}  // namespace zr::cli
