// Quantiser choice and VBV bookkeeping: picture budgets from a GOP budget and complexity
// estimates per picture type, a virtual buffer per type, activity modulation per
// macroblock.
#pragma once

#include <cstdint>
#include <vector>

namespace zr::mpeg {

class RateControl {
 public:
  // mbCount macroblocks per picture; pictureRate in pictures per second.
  void InitSequence(double bitRate, double pictureRate, int mbCount, int vbvBufferSize);
  void InitGop(int np, int nb);
  // `activity` holds one value per macroblock (see MacroblockActivity); bitCount is the
  // stream position at the start of the picture.
  void InitPicture(int pictureType, const std::vector<double>& activity, int64_t bitCount);
  // The vbv_delay of the picture whose start code ends at bitCount.
  int CalcVbvDelay(int pictureType, int64_t bitCount);
  int StartMacroblocks();
  int MacroblockQuant(int j, int64_t bitCount);
  void UpdatePicture(int64_t bitCount);
  void VbvEndOfPicture(int64_t bitCount);

  int overflowCount() const { return overflow_; }
  int underflowCount() const { return underflow_; }
  // Pictures with at least one underflow, each counted once.
  int underflowPictures() const { return underflowPictures_; }

  // Exposed for the tests of the budget arithmetic.
  int64_t r() const { return r_; }
  int64_t R() const { return R_; }
  int64_t T() const { return T_; }
  int64_t Xi() const { return Xi_; }
  int64_t Xp() const { return Xp_; }
  int64_t Xb() const { return Xb_; }
  int64_t d0i() const { return d0i_; }
  int64_t d0p() const { return d0p_; }
  int64_t d0b() const { return d0b_; }
  double avgAct() const { return avgAct_; }

 private:
  double bitRate_ = 0, pictureRate_ = 25;
  int mbCount_ = 1;
  int vbvBufferSize_ = 512;
  int64_t r_ = 0;
  double avgAct_ = 400.0;
  int64_t R_ = 0;
  int64_t Xi_ = 0, Xp_ = 0, Xb_ = 0;
  int64_t d0i_ = 0, d0p_ = 0, d0b_ = 0;
  int Np_ = 0, Nb_ = 0;
  int64_t T_ = 0;
  int64_t d_ = 0;
  int64_t S_ = 0;
  int64_t Q_ = 0;
  double actsum_ = 0;
  int prevMquant_ = 0;
  int pictureType_ = 1;
  const std::vector<double>* activity_ = nullptr;
  double decodingTime_ = 0;
  double nextAnchorDelay_ = 0;
  int64_t bitcntEop_ = 0;
  int overflow_ = 0;
  int underflow_ = 0;
  int underflowPictures_ = 0;
};

// 1 + the smallest variance of the four 8x8 luminance blocks of the macroblock at `y`.
double MacroblockActivity(const uint8_t* y, int stride);

}  // namespace zr::mpeg
