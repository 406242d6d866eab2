// Rate control of the high-quality mode: one quantiser per picture, from one base
// quantiser for the rest of the GOP (fixed ratios per picture type) that fits the GOP
// budget, with bits estimated from non-zero level counts at every quantiser and a
// bits-per-level model fitted on the last picture of the same type.
// It runs the VBV of a constant-rate stream (decoding times 1/picture rate apart) and
// says where a picture must end (no underflow) and how much stuffing follows it (no
// overflow); the vbv_delay values are the model's real delays.
#pragma once

#include <cstdint>

namespace zr::mpeg {

class HqRateControl {
 public:
  static constexpr int kQuants = 31;  // index k: mquant 2k + 2
  static int Mquant(int k) { return 2 * k + 2; }
  static double Mquant(double k) { return 2 * k + 2; }

  void InitSequence(double bitRate, double pictureRate, int mbCount, int vbvBufferSize,
                    int pictures);
  void InitGop(int np, int nb);
  // nzByQuant[k]: non-zero levels the picture has at quantiser index k. bitCount: where
  // its data (headers included) begin. Returns the quantiser index, fractional: the
  // picture mixes its two neighbours row by row.
  double PlanPicture(int type, const int64_t* nzByQuant, int64_t bitCount);
  int VbvDelay(int64_t bitCount) const;
  // Expected bits of `nz` levels at quantiser index k in `mbs` macroblocks of the current
  // picture's type.
  double Estimate(int k, double nz, int mbs) const;
  // The current picture must end before this bit position.
  int64_t EndLimit() const;
  // Zero bytes to follow the picture that ends (aligned) at bitCount.
  int64_t StuffingBytes(int64_t alignedEnd) const;
  // After the picture (codedEnd) and its stuffing (stuffedEnd). Per quantiser index:
  // nz[k] its levels before the rate-distortion trims (as the estimates count them),
  // coefBits[k] the bits of its run/level codes after them.
  void EndPicture(int64_t codedEnd, int64_t stuffedEnd, const int64_t* nz,
                  const int64_t* coefBits, double quantIndex);
  // Zero bytes before the sequence end so the stream carries its declared rate.
  int64_t FinalStuffingBytes(int64_t alignedEnd) const;

  // The quantiser index a picture of `type` is likely to get: its type's last one, or
  // else an anchor's, scaled by the types' ratio.
  int ExpectedQuant(int type) const;

  int overflowCount() const { return overflow_; }
  int underflowCount() const { return underflow_; }
  int64_t target() const { return T_; }

 private:
  struct TypeModel {
    double complexity = 0;    // bits x mquant of the last picture
    // Run/level bits per level counted before the trims, by quantiser index: the trims
    // take a share of the levels that grows quickly toward the finest quantisers.
    double bitsPerLevel[kQuants]{};
    bool measured[kQuants]{};
    double headerPerMb = 0;   // every other bit, per macroblock
    bool haveLevels = false;  // levels: the last picture's non-zero counts per quantiser
    int64_t levels[kQuants]{};
    double lastQuant = -1;
  };
  // Bits a picture of `type` is expected to take at quantiser index k.
  double TypeBits(int type, double k) const;
  static double BitsPerLevel(const TypeModel& m, int k);
  // Run/level bits of a picture with level counts `counts`, at fractional index k.
  static double LevelBits(const TypeModel& m, const int64_t* counts, double k);
  double ArrivalAtDecode(int64_t picture) const;  // bits in at that picture's decoding

  double bitRate_ = 0, pictureRate_ = 25;
  int mbCount_ = 1;
  double bufferBits_ = 0;
  double initialFill_ = 0;
  int pictures_ = 0;
  int64_t coded_ = 0;  // pictures finished
  double R_ = 0;       // bits left in the GOP budget
  int Np_ = 0, Nb_ = 0;
  TypeModel model_[4];
  int type_ = 1;
  int64_t start_ = 0;
  int64_t T_ = 0;
  int overflow_ = 0, underflow_ = 0;
};

}  // namespace zr::mpeg
