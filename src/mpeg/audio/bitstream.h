// The audio stream's file: the shared bit writer over a 4096-byte buffer, with the
// audio encoder's width check and the file's lifetime.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "mpeg/dsp/bitwriter.h"

namespace zr::mpeg::audio {

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
  // Flushes the buffer and closes the file; false if any write failed.
  bool Close();
  int64_t bitsWritten() const { return bits_ ? bits_->BitCount() : 0; }
  bool failed() const { return failed_ || (bits_ && !bits_->ok()); }

 private:
  std::FILE* file_ = nullptr;
  std::unique_ptr<BitWriter> bits_;
  bool failed_ = false;
};

}  // namespace zr::mpeg::audio
