// The audio stream's file: the shared bit writer over a 4096-byte buffer, with the
// audio encoder's width check, the file's lifetime and the layout of a frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "mpeg/audio/alloc.h"
#include "mpeg/dsp/bitwriter.h"

namespace zr::mpeg::audio {

// Scale-factor index used by each part of each subband, per channel.
using ScalefactorIndexes = std::array<std::array<std::array<int, 3>, kSubbands>, 2>;
// Quantised sample codes per channel, subband and sample of the frame.
using SampleCodes = std::array<std::array<std::array<int, 3 * kGranules>, kSubbands>, 2>;

// What a frame carries after its header; codes only where alloc is non-zero.
struct FrameContent {
  const AllocTable& table;
  int channels;
  const PerBandInt& alloc;
  const PerBandInt& scfsi;
  const ScalefactorIndexes& scf;
  const SampleCodes& codes;
};

class BitstreamFile {
 public:
  BitstreamFile() = default;
  ~BitstreamFile();
  BitstreamFile(const BitstreamFile&) = delete;
  BitstreamFile& operator=(const BitstreamFile&) = delete;

  bool Open(const std::string& path);
  // False (and nothing written) when bits is outside 1..32.
  bool Put(uint32_t value, int bits) {
    if (bits < 1 || bits > 32 || !bits_) return false;
    bits_->PutBits(value, bits);
    return true;
  }
  // Zero bits up to the next byte boundary.
  void Align() {
    if (bits_) bits_->AlignBits();
  }
  // One 44.1 kHz frame without CRC (mono, or stereo without joint coding): header,
  // allocation, scfsi, scale factors and samples, then zero bits up to frameBits. False,
  // before any padding, when the content alone is longer than frameBits.
  bool WriteFrame(const Layer2Tables& tables, int bitrateIndex, bool padded,
                  const FrameContent& frame, int frameBits);
  // Flushes the buffer and closes the file; false if any write failed.
  bool Close();
  int64_t bitsWritten() const { return bits_ ? bits_->BitCount() : 0; }
  bool failed() const { return failed_ || (bits_ && !bits_->ok()); }

 private:
  void WriteHeader(int bitrateIndex, bool padded, int channels);
  void WriteSideInfo(const FrameContent& frame);
  void WriteSamples(const Layer2Tables& tables, const FrameContent& frame);

  std::FILE* file_ = nullptr;
  std::unique_ptr<BitWriter> bits_;
  bool failed_ = false;
};

}  // namespace zr::mpeg::audio
