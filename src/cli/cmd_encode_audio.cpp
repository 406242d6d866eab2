// zerarive-cli encode-audio: the converter's sound stage on its own, AVI or WAV sound to
// a layer II .mp2 stream.
#include <cstdio>

#include "cli/command.h"
#include "mpeg/audio/audio_encoder.h"
#include "mpeg/sound_input.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

class CliLog : public mpeg::ConvertLog {
 public:
  CliLog(Host& host, bool quiet) : host_(host), quiet_(quiet) {}
  void Alert(const std::string& text) override { host_.Message(text); }
  void Line(const std::string& text) override {
    if (!quiet_ || text.rfind("Error: ", 0) == 0 || text.rfind("Warning: ", 0) == 0)
      std::fprintf(stderr, "%s\n", text.c_str());
  }
  void Percent(int percent) override {
    if (percent != last_) host_.UpdateProgress(percent);
    last_ = percent;
  }

 private:
  Host& host_;
  bool quiet_;
  int last_ = -1;
};

std::string SoundFaultMessage(const std::string& path, const mpeg::WavFault& fault) {
  switch (fault.error) {
    case mpeg::WavError::CannotOpen: return path + " is locked or unavailable";
    case mpeg::WavError::NoSound: return path + " has no sound";
    case mpeg::WavError::BadFormat: return path + ": the sound format cannot be read";
    case mpeg::WavError::BadBlockAlign:
      return path + ": PCM blocks of " + std::to_string(fault.value) +
             " bytes do not match the sample format";
    case mpeg::WavError::None: break;
  }
  return {};
}

int RunEncodeAudio(const std::vector<std::string>& args) {
  Options opts(args, {"bitrate"}, {"quiet"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 2) return Fail("encode-audio needs IN and OUT (see --help)");
  const std::string& in = opts.positional()[0];
  const std::string& out = opts.positional()[1];
  long long bitrate = 128;
  if (opts.has("bitrate") && !ParseInt(opts.value("bitrate"), bitrate))
    return Fail("--bitrate needs a number of kbit/s");
  if (!FileExists(in)) return Fail("cannot open " + in);

  mpeg::OpenedSound sound = mpeg::OpenSoundFile(in);
  if (sound.fault.error != mpeg::WavError::None)
    return Fail(SoundFaultMessage(in, sound.fault) + "\n" + mpeg::WavFaultDetail(sound.fault));
  TerminalHost host(true);
  CliLog log(host, opts.has("quiet"));
  if (!mpeg::CheckSoundFormat(sound.format, log)) return Fail(in + ": the sound cannot be encoded");
  // Layer II leaves out the combinations of channels and rate that make no sense.
  const int ch = sound.format.channels;
  if ((ch == 2 && (bitrate == 32 || bitrate == 48 || bitrate == 56 || bitrate == 80)) ||
      (ch == 1 && bitrate > 192))
    return Fail(std::to_string(bitrate) + " kbit/s is not allowed for " +
                (ch == 2 ? "stereo" : "mono") + " sound");

  mpeg::SoundSource source;
  source.Open(*sound.stream, sound.format);
  mpeg::audio::AudioEncoder encoder;
  host.BeginProgress("Encoding " + PathFileName(in), 100);
  bool ok = encoder.Encode(source, out, log, int(bitrate));
  host.EndProgress();
  if (!ok) return Fail("encoding " + in + " failed");
  if (source.missingSamples() > 0) {
    char text[96];
    std::snprintf(text, sizeof text, "Warning: %d audio samples set to 0 length",
                  int(source.missingSamples()));
    log.Line(text);
  }
  if (!opts.has("quiet"))
    std::printf("%s: %lld frames at %lld kbit/s\n", out.c_str(), (long long)encoder.frames(),
                bitrate);
  return 0;
}

CliRegistrar reg({"encode-audio", "encode the sound of an AVI or WAV file as an MPEG-1 .mp2",
                  "Usage: zerarive-cli encode-audio [--bitrate KBPS] [--quiet] IN OUT.mp2\n"
                  "Encodes the first sound stream of IN (an .avi or .wav file) into an\n"
                  "MPEG-1 audio layer II stream at 44.1 kHz, as the MPEG converter does.\n"
                  "IN must hold 8- or 16-bit PCM, mono or stereo, at 11025, 22050 or\n"
                  "44100 Hz; lower rates are raised to 44100 Hz.\n"
                  "  --bitrate KBPS  layer II bit rate (default 128): 32, 48, 56, 64, 80, 96,\n"
                  "                  112, 128, 160, 192, 224, 256, 320 or 384\n"
                  "  --quiet         print only warnings and errors\n",
                  RunEncodeAudio});

}  // namespace

}  // namespace zr::cli
