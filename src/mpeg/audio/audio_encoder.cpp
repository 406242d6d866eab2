#include "mpeg/audio/audio_encoder.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "mpeg/audio/alloc.h"
#include "mpeg/audio/bitstream.h"
#include "mpeg/audio/filterbank.h"
#include "mpeg/audio/psy.h"
#include "mpeg/audio/quantise.h"
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
  std::array<std::array<std::array<int, 3>, kSubbands>, 2> scf;  // index used per part
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
  int bitrateIndex = 0;
  for (int i = 1; i < int(tables->bitrates.size()); ++i)
    if (tables->bitrates[i] == bitrateKbps) bitrateIndex = i;
  if (bitrateIndex == 0) {
    log.Line(Printf("Error: %i audio bit-rate is unsupported", bitrateKbps));
    return false;
  }
  const int perChannel = bitrateKbps / channels;
  const AllocTable& table = perChannel >= 96  ? tables->tableB
                            : perChannel > 48 ? tables->tableA
                                              : tables->tableC;
  const int sblimit = table.sblimit;

  if (!state_) {
    try {
      state_ = std::make_unique<State>(*tables);
    } catch (const std::bad_alloc&) {
      log.Line("Unable to allocate encoder state");
      return false;
    }
  }
  State& s = *state_;
  for (int ch = 0; ch < 2; ++ch) {
    s.bank[ch].Reset();
    s.psy[ch].Reset();
  }

  AtomicFile out(mp2Path);
  if (!s.writer.Open(out.tempPath())) {
    log.Line(Printf("Could not create \"%s\".", mp2Path.c_str()));
    return false;
  }
  BitstreamFile& w = s.writer;
  PaddingClock clock(bitrateKbps);
  const int wanted = kFrameSamples * channels;
  const int mode = channels == 2 ? 0 : 3;

  for (;;) {
    const bool padded = clock.Next();
    if (source.ReadSoundBlock(s.block, wanted) == 0) break;
    const int frameBits = (clock.wholeBytes() + (padded ? 1 : 0)) * 8;
    for (int n = 0; n < kFrameSamples; ++n) {
      s.pcm[0][n] = s.block[n * channels];
      s.pcm[1][n] = channels == 2 ? s.block[n * 2 + 1] : 0;
    }
    for (int ch = 0; ch < channels; ++ch) {
      s.bank[ch].Frame(s.pcm[ch], s.subband[ch]);
      s.psy[ch].Analyse(s.pcm[ch], s.smr[ch].data());
      for (int sb = 0; sb < sblimit; ++sb) {
        std::array<int, 3> index;
        for (int p = 0; p < 3; ++p) {
          double peak = 0.0;
          for (int i = 12 * p; i < 12 * p + 12; ++i)
            peak = std::max(peak, std::fabs(s.subband[ch][i][sb]));
          index[p] = ScalefactorIndex(*tables, peak);
        }
        ScalefactorPlan plan = PlanScalefactors(*tables, index);
        s.scfsi[ch][sb] = plan.scfsi;
        s.scf[ch][sb] = plan.used;
      }
    }
    const int available = AvailableBits(table, channels, frameBits);
    const int used = AllocateBits(*tables, table, channels, available, s.smr, s.scfsi, s.alloc);

    const int64_t frameStart = w.bitsWritten();
    w.Put(0xFFF, 12);
    w.Put(1, 1);  // MPEG-1
    w.Put(2, 2);  // layer II
    w.Put(1, 1);  // no CRC
    w.Put(uint32_t(bitrateIndex), 4);
    w.Put(0, 2);  // 44.1 kHz
    w.Put(padded ? 1 : 0, 1);
    w.Put(0, 1);
    w.Put(uint32_t(mode), 2);
    w.Put(0, 2);
    w.Put(0, 4);  // copyright, original, emphasis
    for (int sb = 0; sb < sblimit; ++sb)
      for (int ch = 0; ch < channels; ++ch) w.Put(uint32_t(s.alloc[ch][sb]), table.sb[sb].nbal);
    for (int sb = 0; sb < sblimit; ++sb)
      for (int ch = 0; ch < channels; ++ch)
        if (s.alloc[ch][sb]) w.Put(uint32_t(s.scfsi[ch][sb]), 2);
    for (int sb = 0; sb < sblimit; ++sb)
      for (int ch = 0; ch < channels; ++ch) {
        if (!s.alloc[ch][sb]) continue;
        const auto& u = s.scf[ch][sb];
        switch (s.scfsi[ch][sb]) {
          case 0: w.Put(u[0], 6), w.Put(u[1], 6), w.Put(u[2], 6); break;
          case 1: w.Put(u[0], 6), w.Put(u[2], 6); break;
          case 2: w.Put(u[0], 6); break;
          default: w.Put(u[0], 6), w.Put(u[1], 6); break;
        }
      }
    for (int gr = 0; gr < kGranules; ++gr) {
      const int part = gr / 4;
      for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch) {
          const int a = s.alloc[ch][sb];
          if (!a) continue;
          const QuantClass& cls = tables->classes[table.sb[sb].cls[a]];
          const double scale = tables->scalefactor[s.scf[ch][sb][part]];
          int code[3];
          for (int j = 0; j < 3; ++j) {
            double x = s.subband[ch][3 * gr + j][sb] / scale;
            if (std::fabs(x) > 1.0) {
              ++overflows_;
              log.Line(Printf("Not scaled properly %d %d %d %d", ch, part, gr, sb));
            }
            code[j] = QuantiseSample(cls, x);
          }
          if (cls.grouped) {
            w.Put(GroupCodes(cls.steps, code[0], code[1], code[2]), cls.bits);
          } else {
            for (int j = 0; j < 3; ++j) w.Put(uint32_t(code[j]), cls.bits);
          }
        }
    }
    // The allocation never spends more than the frame holds; the rest is zero padding.
    int64_t left = frameBits - (w.bitsWritten() - frameStart);
    if (left < 0 || used > available) {
      log.Line(Printf("Error: audio frame %lld overflows its %d bits", (long long)frames_, frameBits));
      return false;
    }
    while (left > 0) {
      int n = int(std::min<int64_t>(left, 32));
      w.Put(0, n);
      left -= n;
    }
    ++frames_;
    if (padded) ++padded_;
    log.Percent(source.Percent());
  }

  if (!w.Close()) {
    log.Line(Printf("Error: cannot write \"%s\"", mp2Path.c_str()));
    return false;
  }
  if (!out.Commit()) {
    log.Line(Printf("Could not create \"%s\".", mp2Path.c_str()));
    return false;
  }
  return true;
}

}  // namespace zr::mpeg::audio
