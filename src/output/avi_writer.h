// CAviWriter: images with frame counts, a rate and a depth in; one compressed video
// stream in a new AVI file out. The compression options are a value the caller owns
// for the run (the GUI's main frame keeps `aviCompressOptions`; the CLI builds one from
// its options); DefaultCompressOptions() gives the start value.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/packed_dib.h"
#include "platform/avifile/avifile.h"
#include "platform/raster.h"

namespace zr {

class Host;

class CBmp;

// Screen pixels to the blue-green-red bytes of a 24-bit DIB row: the plain form and its
// SSSE3 twin (bit-identical; only for processors where CpuHasSsse3(), platform/dib.h).
void RowTo24Ref(const Pixel* src, uint8_t* dst, int width);
// The same for 16-bit rows (5-5-5): the plain form and its SSE2 twin, bit-identical.
void RowTo16Ref(const Pixel* src, uint8_t* dst, int width);
void RowTo16Sse2(const Pixel* src, uint8_t* dst, int width);
void RowTo24Ssse3(const Pixel* src, uint8_t* dst, int width);

// fccType "vids", fccHandler "msvc", key frame every 20, quality 10000, no data rate,
// AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID.
AVICOMPRESSOPTIONS DefaultCompressOptions();

class CAviWriter {
 public:
  int32_t nError = 0;  // 0 ok; 1 no frames; 2 old video services; else an AVIERR code
  std::vector<std::string> aFileNames;
  std::vector<uint32_t> aFrameCounts;
  int32_t nRate = 0;
  int32_t nBits = 24;

  void AddFrame(const std::string& path, uint32_t count);
  void SetRate(int fps) { nRate = fps; }
  // 8 when bpp <= 8, 16 when 9..23, 24 from 24 up.
  void SetBits(unsigned bpp);
  // Writes the AVI; on false nError (or `told`) says why. The file appears under `path`
  // only when it is complete (the size dialog's Cancel keeps the frames so far); a
  // failure or a Cancel leaves an existing file of that name untouched and nothing new.
  bool Write(Host& host, const std::string& path);
  // The bitmap at the writer's depth: BI_RGB, 256-entry fixed colour table for 8 bits.
  std::optional<PackedDib> FrameToDib(const CBmp& bitmap) const;
  // The same at `bits` into `dib`, whose block is reused when it has the shape already.
  bool FrameToDib(const CBmp& bitmap, PackedDib& dib, int bits) const;
  // The depth of the frames handed to the compressor: the writer's, or 16 for 24-bit
  // pictures that a 15-bit compressor would cut to 16 bits anyway.
  int StreamBits() const;

  // --- our additions
  AVICOMPRESSOPTIONS options = DefaultCompressOptions();
  // Stamps the logo on each picture (the document's ApplyLogo). Must be safe to call
  // from a second thread while the first encodes (it only reads the logo).
  std::function<void(CBmp&)> applyLogo;
  // Decode the next images on a second thread while the current one is encoded.
  bool pipelined = true;
  // Frames written by the last Write.
  int64_t framesWritten() const { return framesWritten_; }
  // Why the last Write failed, beside nError: the user was told already (an image that
  // could not be loaded), or the Host's Cancel stopped it (nError is AVIERR_USERABORT).
  bool told = false;
  bool cancelled = false;
  // The system's error number behind an nError of AVIERR_FILEOPEN or AVIERR_FILEWRITE.
  int systemError = 0;

 private:
  int64_t framesWritten_ = 0;
};

// The fixed 8-bit colour table every 8-bit frame carries (a 6x6x6 colour cube, greys and
// the basic colours), and the nearest-entry lookup FrameToDib uses.
const std::vector<RgbQuad>& FramePalette();
uint8_t FramePaletteIndex(uint8_t r, uint8_t g, uint8_t b);

}  // namespace zr
