// MIDI files open as a file with one sound stream: the song rendered at open to 44.1 kHz
// 16-bit stereo PCM with FluidSynth and a General MIDI sound font, normalised to a -1 dBFS
// peak (the synthesizer's default gain leaves a song near -30 dBFS, barely audible).
#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/avifile/avifile_internal.h"
#include "platform/paths.h"

namespace zr {

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;

struct Synth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_player_t* player = nullptr;
  ~Synth() {
    if (player) delete_fluid_player(player);
    if (synth) delete_fluid_synth(synth);
    if (settings) delete_fluid_settings(settings);
  }
};

void QuietFluidSynth() {
  // The library prints to stderr by default; failures reach the caller as codes.
  static const bool done = [] {
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
      fluid_set_log_function(level, nullptr, nullptr);
    }
    return true;
  }();
  (void)done;
}

constexpr int kBlock = 1024;
const float kTargetPeak = std::pow(10.0f, -1.0f / 20);

int16_t ToPcm16(float v) {
  return int16_t(std::lrint(std::clamp(v * 32767.0f, -32768.0f, 32767.0f)));
}

// Records why the song gave no sound; returns the code AVIFileOpen reports for it.
HRESULT Refuse(MidiFault* fault, MidiError error, HRESULT code, int64_t at = -1) {
  if (fault) *fault = MidiFault{error, at};
  return code;
}

// Renders the song block by block into `sink(left, right, frames)`; the same song and
// sound font give the same samples each time.
template <typename Sink>
HRESULT RenderMidi(const std::string& song, const std::string& soundFont, int64_t maxFrames,
                   MidiFault* fault, Sink&& sink) {
  Synth s;
  s.settings = new_fluid_settings();
  if (!s.settings) return Refuse(fault, MidiError::OutOfMemory, AVIERR_MEMORY);
  fluid_settings_setnum(s.settings, "synth.sample-rate", kRate);
  // Render by sample count, not wall clock, so the song comes out faster than real time.
  fluid_settings_setstr(s.settings, "player.timing-source", "sample");
  fluid_settings_setint(s.settings, "synth.lock-memory", 0);
  fluid_settings_setint(s.settings, "synth.cpu-cores", 1);
  s.synth = new_fluid_synth(s.settings);
  if (!s.synth) return Refuse(fault, MidiError::OutOfMemory, AVIERR_MEMORY);
  if (fluid_synth_sfload(s.synth, soundFont.c_str(), 1) == FLUID_FAILED)
    return Refuse(fault, MidiError::BadSoundFont, AVIERR_FILEOPEN);
  s.player = new_fluid_player(s.synth);
  if (!s.player) return Refuse(fault, MidiError::OutOfMemory, AVIERR_MEMORY);
  if (fluid_player_add_mem(s.player, song.data(), song.size()) != FLUID_OK ||
      fluid_player_play(s.player) != FLUID_OK)
    return Refuse(fault, MidiError::BadSong, AVIERR_BADFORMAT);

  float left[kBlock], right[kBlock];
  int64_t frames = 0;
  // A second of tail lets the last notes ring out.
  int tailBlocks = kRate / kBlock;
  while (frames < maxFrames) {
    // The player idles on for a while after the last event; the song ends there.
    bool playing = fluid_player_get_status(s.player) == FLUID_PLAYER_PLAYING &&
                   fluid_player_get_current_tick(s.player) < fluid_player_get_total_ticks(s.player);
    if (!playing && tailBlocks-- <= 0) break;
    if (fluid_synth_write_float(s.synth, kBlock, left, 0, 1, right, 0, 1) != FLUID_OK) break;
    sink(left, right, kBlock);
    frames += kBlock;
  }
  return AVIERR_OK;
}

}  // namespace

const char* MidiErrorText(MidiError error) {
  switch (error) {
    case MidiError::None: return "no error";
    case MidiError::CannotRead: return "cannot read the file";
    case MidiError::NotMidi: return "no MThd header";
    case MidiError::NoSoundFont: return "sound font missing";
    case MidiError::BadSoundFont: return "sound font cannot be loaded";
    case MidiError::BadSong: return "the song cannot be played";
    case MidiError::OutOfMemory: return "out of memory";
  }
  return "unknown error";
}

std::string MidiFaultDetail(const MidiFault& fault) {
  std::string detail = std::string("MIDI: ") + MidiErrorText(fault.error);
  if (fault.at >= 0) detail += " at byte " + std::to_string(fault.at);
  return detail;
}

HRESULT OpenMidiFile(const std::string& path, const std::string& soundFont, PAVIFILE* out,
                     int64_t maxSeconds, MidiFault* fault) {
  if (fault) *fault = MidiFault{};
  std::string data;
  if (!FileExists(path) || !ReadWholeFile(path, data, size_t(16) << 20))
    return Refuse(fault, MidiError::CannotRead, AVIERR_FILEOPEN);
  int64_t headerAt = 0;
  // A RIFF MIDI file wraps a standard MIDI file in its "data" chunk.
  if (data.size() >= 20 && std::memcmp(data.data(), "RIFF", 4) == 0 &&
      std::memcmp(data.data() + 8, "RMID", 4) == 0) {
    size_t pos = 12;
    std::string inner;
    while (pos + 8 <= data.size()) {
      uint32_t size;
      std::memcpy(&size, data.data() + pos + 4, 4);
      if (std::memcmp(data.data() + pos, "data", 4) == 0) {
        if (size <= data.size() - pos - 8) inner = data.substr(pos + 8, size);
        headerAt = int64_t(pos) + 8;
        break;
      }
      if (size > data.size() - pos - 8) break;
      pos += 8 + size + (size & 1);
    }
    data = inner;
  }
  if (data.size() < 14 || std::memcmp(data.data(), "MThd", 4) != 0)
    return Refuse(fault, MidiError::NotMidi, AVIERR_BADFORMAT, headerAt);
  if (!FileExists(soundFont)) return Refuse(fault, MidiError::NoSoundFont, AVIERR_FILEOPEN);

  QuietFluidSynth();
  // Two renders of the same song: the first only measures the peak, so the kept PCM
  // is scaled from float once and memory stays at one 16-bit copy.
  float peak = 0;
  int64_t frames = 0;
  const int64_t maxFrames = std::min(maxSeconds, avi::kMaxMidiSeconds) * kRate;
  HRESULT hr = RenderMidi(data, soundFont, maxFrames, fault,
                          [&](const float* left, const float* right, int n) {
                            for (int i = 0; i < n; ++i)
                              peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
                          });
  if (hr != AVIERR_OK) return hr;

  // Silence stays silence rather than amplified noise.
  const float gain = peak > 1e-6f ? kTargetPeak / peak : 1.0f;
  auto file = std::make_unique<ReadFileObject>();
  file->path = path;
  file->kind = avi::Container::Midi;
  auto keep = [&](const float* left, const float* right, int n) {
    int16_t block[kBlock * kChannels];
    for (int i = 0; i < n; ++i) {
      block[2 * i] = ToPcm16(left[i] * gain);
      block[2 * i + 1] = ToPcm16(right[i] * gain);
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block);
    file->pcm.insert(file->pcm.end(), bytes, bytes + size_t(n) * kChannels * 2);
    frames += n;
  };
  hr = RenderMidi(data, soundFont, maxFrames, fault, keep);
  if (hr != AVIERR_OK) return hr;

  auto stream = std::make_unique<ReadStreamObject>();
  stream->owner = file.get();
  stream->file = file.get();
  stream->par = avcodec_parameters_alloc();
  if (!stream->par) return Refuse(fault, MidiError::OutOfMemory, AVIERR_MEMORY);
  stream->par->codec_type = AVMEDIA_TYPE_AUDIO;
  stream->par->codec_id = AV_CODEC_ID_PCM_S16LE;
  stream->par->codec_tag = WAVE_FORMAT_PCM;
  stream->par->sample_rate = kRate;
  av_channel_layout_default(&stream->par->ch_layout, kChannels);
  stream->par->bits_per_coded_sample = 16;
  stream->par->block_align = 2 * kChannels;
  stream->par->bit_rate = int64_t(kRate) * 2 * kChannels * 8;
  stream->timeBase = {1, kRate};
  WAVEFORMATEX w;
  w.wFormatTag = WAVE_FORMAT_PCM;
  w.nChannels = kChannels;
  w.nSamplesPerSec = kRate;
  w.nBlockAlign = 2 * kChannels;
  w.nAvgBytesPerSec = kRate * w.nBlockAlign;
  w.wBitsPerSample = 16;
  stream->format.resize(sizeof w);
  std::memcpy(stream->format.data(), &w, sizeof w);
  stream->blockAlign = w.nBlockAlign;
  stream->totalBytes = int64_t(file->pcm.size());
  stream->info.fccType = streamtypeAUDIO;
  stream->info.dwScale = w.nBlockAlign;
  stream->info.dwRate = w.nAvgBytesPerSec;
  stream->info.dwSampleSize = w.nBlockAlign;
  stream->info.dwLength = uint32_t(frames);
  stream->info.dwQuality = 0xFFFFFFFF;
  stream->info.dwSuggestedBufferSize = 1 << 16;
  file->streams.push_back(std::move(stream));
  *out = file.release();
  return AVIERR_OK;
}

}  // namespace zr
