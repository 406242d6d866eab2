// Layer II constants read from the reference data compiled into the program
// (src/mpeg/data/window.txt and layer2-tables.md). They are parsed once into an immutable
// object; nothing here changes after parsing, so concurrent encoders share it safely.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zr::mpeg::audio {

inline constexpr int kSubbands = 32;
inline constexpr int kFrameSamples = 1152;  // per channel
inline constexpr int kParts = 3;            // scale-factor parts of 12 samples
inline constexpr int kGranules = 12;        // groups of 3 samples per subband
inline constexpr int kClasses = 17;
inline constexpr int kScaleFactors = 63;

struct QuantClass {
  int steps = 0;
  bool grouped = false;  // three samples share one codeword
  int bits = 0;          // bits per codeword
  int msbBits = 0;       // ceil(log2(steps)): bits of one sample before grouping
  double a = 0, b = 0;   // quantiser coefficients
  // Sample bits a subband spends per frame with this class (36 samples).
  int FrameBits() const { return 12 * (grouped ? 1 : 3) * bits; }
};

struct SubbandAlloc {
  int nbal = 0;                   // bits of the allocation code
  int codes = 0;                  // largest allocation code
  std::array<int8_t, 16> cls{};   // class of each allocation code 1..codes (index 0 unused)
};

struct AllocTable {
  int sblimit = 0;
  std::array<SubbandAlloc, kSubbands> sb{};
};

// How a subband's three scale factors travel.
struct ScfsiChoice {
  int scfsi = 0;
  std::array<int8_t, 3> source{};  // per part: 1..3 = that part's own index, 4 = smallest index
};

struct Layer2Tables {
  std::array<double, 512> window{};  // analysis window C[0..511]
  std::array<QuantClass, kClasses> classes{};
  std::array<double, kScaleFactors> scalefactor{};
  std::array<double, kClasses + 1> snr{};  // dB; 0 = nothing allocated, c + 1 = class c
  AllocTable tableA, tableB, tableC;       // 27, 30 and 8 subbands
  std::array<int, 15> bitrates{};          // kbit/s by header index (0 = free format)
  std::array<std::array<ScfsiChoice, 5>, 5> scfsi{};  // by class of d1, class of d2
  std::vector<double> bandEdges;                      // critical-band edges in Hz
};

// Parses both data files. False with a reason when anything is missing or inconsistent.
bool ParseLayer2Tables(std::string_view markdown, std::string_view window, Layer2Tables& out,
                       std::string& error);

// The tables of the compiled-in data, parsed on first use. Null (with the reason) only if
// the compiled-in data are broken, which the tests rule out.
const Layer2Tables* BuiltInTables(std::string* error = nullptr);

// Scale factors sent per scfsi value 0..3.
inline constexpr std::array<int, 4> kScalefactorsSent = {3, 2, 1, 2};

}  // namespace zr::mpeg::audio
