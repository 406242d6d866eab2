#include "mpeg/sound_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/avifile/avifile.h"

namespace zr::mpeg {

namespace {

std::string Format(const char* fmt, double a, unsigned b) {
  char text[160];
  std::snprintf(text, sizeof text, fmt, a, b);
  return text;
}

}  // namespace

int MemoryPcmStream::Read(int64_t start, int frames, uint8_t* buffer, size_t capacity) {
  if (start < 0 || frames <= 0 || frameBytes_ <= 0) return 0;
  int64_t available = int64_t(bytes_.size()) / frameBytes_ - start;
  int64_t n = std::min<int64_t>({frames, available, int64_t(capacity) / frameBytes_});
  if (n <= 0) return 0;
  std::memcpy(buffer, bytes_.data() + start * frameBytes_, size_t(n) * frameBytes_);
  return int(n);
}

int AviPcmStream::Read(int64_t start, int frames, uint8_t* buffer, size_t capacity) {
  if (start < 0 || start > INT32_MAX || frames <= 0 || frameBytes_ <= 0) return 0;
  frames = std::min<int64_t>(frames, int64_t(capacity) / frameBytes_);
  int32_t bytes = 0, samples = 0;
  HRESULT hr = AVIStreamRead(stream_, int32_t(start), frames, buffer, int32_t(capacity), &bytes,
                             &samples);
  if (hr != AVIERR_OK || samples < 0) return 0;
  return std::min(samples, frames);
}

bool CheckSoundFormat(const SoundFormat& f, ConvertLog& log) {
  log.Line(Format("Audio sampling rate: %6.3fKHz (%u bits per sample)", f.samplesPerSec * 0.001,
                  unsigned(f.bitsPerSample)));
  bool ok = true;
  if (f.formatTag != 1) {
    log.Line("Error: compressed audio is unsupported");
    ok = false;
  }
  if (f.samplesPerSec != 11025 && f.samplesPerSec != 22050 && f.samplesPerSec != 44100) {
    log.Line("Error: unsupported audio sampling rate (must be 11.025, 22.05, or 44.1kHz)");
    ok = false;
  }
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16) {
    char text[96];
    std::snprintf(text, sizeof text, "Error: %i bit audio is not supported (must be 8 or 16)",
                  f.bitsPerSample);
    log.Line(text);
    ok = false;
  }
  // The encoder codes one or two channels; more would be read as garbage.
  if (f.channels != 1 && f.channels != 2) {
    char text[96];
    std::snprintf(text, sizeof text, "Error: %i audio channels are unsupported (must be 1 or 2)",
                  f.channels);
    log.Line(text);
    ok = false;
  }
  return ok;
}

void SoundSource::Open(PcmStream& stream, const SoundFormat& format) {
  stream_ = &stream;
  format_ = format;
  factor_ = format.samplesPerSec == 11025 ? 4 : format.samplesPerSec == 22050 ? 2 : 1;
  total_ = std::max<int64_t>(format.length, 0) * format.channels * factor_;
  remaining_ = total_;
  position_ = 0;
  missing_ = 0;
  for (auto& stage : history_)
    for (auto& ch : stage) ch.fill(0);
}

int SoundSource::Percent() const {
  return total_ > 0 ? int((total_ - remaining_) * 100 / total_) : 100;
}

int SoundSource::ReadSoundBlock(int16_t* buffer, int wanted) {
  const int channels = format_.channels;
  if (!stream_ || channels < 1 || channels > 2 || wanted <= 0 ||
      wanted > kBlockFrames * channels || wanted % (channels * 4) != 0)
    return 0;
  const int take = int(std::min<int64_t>(wanted, remaining_));
  if (take == 0) return 0;
  const int bytesPerSample = format_.bitsPerSample == 8 ? 1 : 2;
  const int frameBytes = bytesPerSample * channels;
  const int frames = take / channels / factor_;  // AVI sample frames wanted

  int got = stream_->Read(position_, frames, raw_.data(), raw_.size());
  got = std::clamp(got, 0, frames);
  position_ += got;
  if (got < frames) {
    std::memset(raw_.data() + size_t(got) * frameBytes, bytesPerSample == 1 ? 128 : 0,
                size_t(frames - got) * frameBytes);
    missing_ += frames - got;
  }

  // Widen and repeat, last sample first (the order that would also work in place).
  for (int f = frames - 1; f >= 0; --f) {
    for (int c = channels - 1; c >= 0; --c) {
      int s = f * channels + c;
      int16_t v;
      if (bytesPerSample == 1) {
        v = int16_t((int(raw_[s]) - 128) * 256);
      } else {
        v = int16_t(uint16_t(raw_[2 * s] | (raw_[2 * s + 1] << 8)));
      }
      for (int r = 0; r < factor_; ++r) buffer[(f * factor_ + r) * channels + c] = v;
    }
  }
  if (factor_ > 1) Smooth(buffer, frames * factor_);

  remaining_ -= take;
  if (take < wanted) {
    std::fill(buffer + take, buffer + wanted, int16_t(0));
    remaining_ = 0;
    return wanted;
  }
  return take;
}

void SoundSource::Smooth(int16_t* samples, int frameCount) {
  const int channels = format_.channels;
  // Coefficients for x(n-3), x(n-2), x(n-1), x(n).
  static constexpr double kTwo[4] = {0.0, 0.0, 0.375311, 0.612626};
  static constexpr double kFour[4] = {0.071361, 0.138069, 0.267135, 0.516851};
  const double* k = factor_ == 2 ? kTwo : kFour;
  for (auto& stage : history_) {
    for (int c = 0; c < channels; ++c) {
      int16_t h3 = stage[c][0], h2 = stage[c][1], h1 = stage[c][2];  // x(n-3), x(n-2), x(n-1)
      for (int n = 0; n < frameCount; ++n) {
        int16_t& s = samples[n * channels + c];
        int16_t x = s;
        s = int16_t(k[0] * h3 + k[1] * h2 + k[2] * h1 + k[3] * x);  // truncates toward zero
        h3 = h2;
        h2 = h1;
        h1 = x;
      }
      stage[c] = {h3, h2, h1};
    }
  }
}

const char* WavErrorText(WavError error) {
  switch (error) {
    case WavError::None: return "no error";
    case WavError::CannotOpen: return "cannot open the file";
    case WavError::NoSound: return "no sound stream";
    case WavError::BadFormat: return "sound format block missing or malformed";
    case WavError::BadBlockAlign: return "PCM block size does not match the samples";
  }
  return "unknown error";
}

std::string WavFaultDetail(const WavFault& fault) {
  std::string detail = std::string("sound: ") + WavErrorText(fault.error);
  if (fault.field.empty()) {
    if (fault.value != 0) detail += " (" + AviErrorName(HRESULT(fault.value)) + ")";
  } else {
    detail += " (" + fault.field + " " + std::to_string(fault.value);
    if (fault.expected != 0) detail += ", " + std::to_string(fault.expected) + " expected";
    detail += ")";
  }
  return detail;
}

OpenedSound OpenSoundFile(const std::string& path) {
  OpenedSound out;
  auto fail = [&](WavError error, int64_t value, std::string field = {}, int64_t expected = 0) {
    out.fault = WavFault{error, std::move(field), value, expected};
    return std::move(out);
  };
  AviFilePtr file;
  const HRESULT opened = AVIFileOpen(AviOut(file), path, OF_READ);
  if (opened != AVIERR_OK || !file) return fail(WavError::CannotOpen, opened);
  AviStreamPtr owned;
  HRESULT hr = AVIFileGetStream(file.get(), AviOut(owned), streamtypeAUDIO, 0);
  file.reset();  // the stream keeps the file open
  if (hr != AVIERR_OK || !owned) return fail(WavError::NoSound, hr);
  PAVISTREAM stream = owned.get();
  out.keepAlive = std::shared_ptr<AviStreamObject>(std::move(owned));
  AVISTREAMINFO info;
  int32_t size = 0;
  if ((hr = AVIStreamInfo(stream, &info, sizeof info)) != AVIERR_OK ||
      (hr = AVIStreamReadFormat(stream, 0, nullptr, &size)) != AVIERR_OK)
    return fail(WavError::BadFormat, hr);
  if (size < 16 || size > 65536) return fail(WavError::BadFormat, size, "format size");
  std::vector<uint8_t> fmt(size_t(size) + sizeof(WAVEFORMATEX), 0);
  if ((hr = AVIStreamReadFormat(stream, 0, fmt.data(), &size)) != AVIERR_OK)
    return fail(WavError::BadFormat, hr);
  if (size < 16) return fail(WavError::BadFormat, size, "format size");
  WAVEFORMATEX wf;
  std::memcpy(&wf, fmt.data(), sizeof wf);
  out.format.formatTag = wf.wFormatTag;
  out.format.channels = wf.nChannels;
  out.format.samplesPerSec = int(wf.nSamplesPerSec);
  out.format.bitsPerSample = wf.wBitsPerSample;
  out.format.length = info.dwLength;
  // The reader takes packed PCM frames; a block alignment that says otherwise is refused.
  int frameBytes = wf.nChannels * ((wf.wBitsPerSample + 7) / 8);
  if (wf.wFormatTag == WAVE_FORMAT_PCM && wf.nBlockAlign != frameBytes &&
      (wf.wBitsPerSample == 8 || wf.wBitsPerSample == 16) && wf.nChannels >= 1 && wf.nChannels <= 2) {
    return fail(WavError::BadBlockAlign, wf.nBlockAlign, "nBlockAlign", frameBytes);
  }
  out.stream = std::make_unique<AviPcmStream>(stream, frameBytes);
  return out;
}

}  // namespace zr::mpeg
