#include "mpeg/audio/audio_encoder.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "mpeg/audio/alloc.h"
#include "mpeg/audio/bitstream.h"
#include "mpeg/audio/filterbank.h"
#include "mpeg/audio/psy.h"
#include "mpeg/audio/quantise.h"
#include "mpeg/syntax.h"
#include "platform/atomic_file.h"

namespace zr::mpeg::audio {

// 1152 samples at 44100 Hz take 1152 * 1000 / 8 / 44100 = 1440 / 441 bytes per kbit/s.
PaddingClock::PaddingClock(int bitrateKbps)
    : whole_(1440 * bitrateKbps / 441), frac_(1440 * bitrateKbps % 441), lag_(-frac_) {}

bool PaddingClock::Next() {
  // A rate of whole bytes per frame never pads (taken literally, frac = 0 would pad all).
  if (frac_ == 0 || lag_ > frac_ - 441) {
    lag_ -= frac_;
    return false;
  }
  lag_ += 441 - frac_;
  return true;
}

struct AudioEncoder::State {
  explicit State(const Layer2Tables& t)
      : tables(t), psyTables(t), bank{AnalysisFilterBank(t), AnalysisFilterBank(t)},
        psy{PsyModel(psyTables), PsyModel(psyTables)} {}
  const Layer2Tables& tables;
  PsyTables psyTables;
  AnalysisFilterBank bank[2];
  PsyModel psy[2];
  int16_t block[2 * kFrameSamples];
  int16_t pcm[2][kFrameSamples];
  SubbandFrame subband[2];
  PerBand smr;
  PerBandInt scfsi, alloc;
  ScalefactorIndexes scf;
  SampleCodes codes;
  BitstreamFile writer;
};

AudioEncoder::AudioEncoder() = default;
AudioEncoder::~AudioEncoder() = default;

namespace {

std::string Printf(const char* fmt, auto... args) {
  char text[512];
  std::snprintf(text, sizeof text, fmt, args...);
  return text;
}

const AllocTable& AllocTableFor(const Layer2Tables& tables, int bitrateKbps, int channels) {
  const int perChannel = bitrateKbps / channels;
  return perChannel >= 96 ? tables.tableB : perChannel > 48 ? tables.tableA : tables.tableC;
}

}  // namespace

bool AudioEncoder::Encode(SoundSource& source, const std::string& mp2Path, ConvertLog& log,
                          int bitrateKbps) {
  frames_ = padded_ = overflows_ = 0;
  std::string why;
  const Layer2Tables* tables = BuiltInTables(&why);
  if (!tables) {
    log.Line("Error: layer II tables unusable: " + why);
    return false;
  }
  const int channels = source.channels();
  if (channels != 1 && channels != 2) {
    log.Line(Printf("Error: %i audio channels are unsupported (must be 1 or 2)", channels));
    return false;
  }
  const int bitrateIndex = Layer2BitRateIndex(bitrateKbps);
  if (bitrateIndex == 0) {
    log.Line(Printf("Error: %i audio bit-rate is unsupported", bitrateKbps));
    return false;
  }
  const AllocTable& table = AllocTableFor(*tables, bitrateKbps, channels);
  if (!ResetState(*tables, log)) return false;
  State& s = *state_;

  AtomicFile out(mp2Path);
  if (!s.writer.Open(out.tempPath())) {
    log.Line(Printf("Could not create \"%s\".", mp2Path.c_str()));
    return false;
  }
  PaddingClock clock(bitrateKbps);
  for (;;) {
    const bool padded = clock.Next();
    if (source.ReadSoundBlock(s.block, kFrameSamples * channels) == 0) break;
    const int frameBits = (clock.wholeBytes() + (padded ? 1 : 0)) * 8;
    AnalyseFrame(table, channels);
    const int available = AvailableBits(table, channels, frameBits);
    const int used = AllocateBits(*tables, table, channels, available, s.smr, s.scfsi, s.alloc);
    QuantiseFrame(table, channels, log);
    const FrameContent content{table, channels, s.alloc, s.scfsi, s.scf, s.codes};
    // The allocation never spends more than the frame holds; the rest is zero padding.
    if (!s.writer.WriteFrame(*tables, bitrateIndex, padded, content, frameBits) ||
        used > available) {
      log.Line(Printf("Error: audio frame %lld overflows its %d bits", (long long)frames_, frameBits));
      return false;
    }
    ++frames_;
    if (padded) ++padded_;
    log.Percent(source.Percent());
  }

  if (!s.writer.Close()) {
    log.Line(Printf("Error: cannot write \"%s\"", mp2Path.c_str()));
    return false;
  }
  if (!out.Commit()) {
    log.Line(Printf("Could not create \"%s\".", mp2Path.c_str()));
    return false;
  }
  return true;
}

bool AudioEncoder::ResetState(const Layer2Tables& tables, ConvertLog& log) {
  if (!state_) {
    try {
      state_ = std::make_unique<State>(tables);
    } catch (const std::bad_alloc&) {
      log.Line("Unable to allocate encoder state");
      return false;
    }
  }
  for (int ch = 0; ch < 2; ++ch) {
    state_->bank[ch].Reset();
    state_->psy[ch].Reset();
  }
  return true;
}

// Subband samples, masking ratios and scale factors of the block just read.
void AudioEncoder::AnalyseFrame(const AllocTable& table, int channels) {
  State& s = *state_;
  for (int n = 0; n < kFrameSamples; ++n) {
    s.pcm[0][n] = s.block[n * channels];
    s.pcm[1][n] = channels == 2 ? s.block[n * 2 + 1] : 0;
  }
  for (int ch = 0; ch < channels; ++ch) {
    s.bank[ch].Frame(s.pcm[ch], s.subband[ch]);
    s.psy[ch].Analyse(s.pcm[ch], s.smr[ch].data());
    for (int sb = 0; sb < table.sblimit; ++sb) {
      std::array<int, 3> index;
      for (int p = 0; p < 3; ++p) {
        double peak = 0.0;
        for (int i = 12 * p; i < 12 * p + 12; ++i)
          peak = std::max(peak, std::fabs(s.subband[ch][i][sb]));
        index[p] = ScalefactorIndex(s.tables, peak);
      }
      ScalefactorPlan plan = PlanScalefactors(s.tables, index);
      s.scfsi[ch][sb] = plan.scfsi;
      s.scf[ch][sb] = plan.used;
    }
  }
}

void AudioEncoder::QuantiseFrame(const AllocTable& table, int channels, ConvertLog& log) {
  State& s = *state_;
  for (int gr = 0; gr < kGranules; ++gr) {
    const int part = gr / 4;
    for (int sb = 0; sb < table.sblimit; ++sb)
      for (int ch = 0; ch < channels; ++ch) {
        const int a = s.alloc[ch][sb];
        if (!a) continue;
        const QuantClass& cls = s.tables.classes[table.sb[sb].cls[a]];
        const double scale = s.tables.scalefactor[s.scf[ch][sb][part]];
        for (int j = 0; j < 3; ++j) {
          double x = s.subband[ch][3 * gr + j][sb] / scale;
          if (std::fabs(x) > 1.0) {
            ++overflows_;
            log.Line(Printf("Not scaled properly %d %d %d %d", ch, part, gr, sb));
          }
          s.codes[ch][sb][3 * gr + j] = QuantiseSample(cls, x);
        }
      }
  }
}

}  // namespace zr::mpeg::audio
