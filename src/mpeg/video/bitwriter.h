// Most-significant-bit-first writer of the video stream. Bytes are kept in a buffer and
// handed to the file in large pieces; the bit count is that of the whole stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

class BitWriter {
 public:
  // Writes into `file` (may be null: bytes are then only counted and kept in bytes()).
  explicit BitWriter(std::FILE* file = nullptr) : file_(file) {}
  ~BitWriter() { Flush(); }
  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // Low `n` bits of value (n <= 32).
  void PutBits(uint32_t value, int n) {
    while (n > 0) {
      int take = n < free_ ? n : free_;
      n -= take;
      uint32_t chunk = (value >> n) & ((1u << take) - 1);
      free_ -= take;
      current_ |= chunk << free_;
      if (free_ == 0) EmitByte();
    }
  }
  void Put(const Vlc& code) { PutBits(code.bits, code.len); }
  void AlignBits() {
    if (free_ != 8) PutBits(0, free_);
  }
  int64_t BitCount() const { return 8 * bytes_ + (8 - free_); }

  // Hands buffered bytes to the file; false once a write has failed.
  bool Flush();
  bool ok() const { return ok_; }
  // Everything written so far, when there is no file.
  const std::vector<uint8_t>& bytes() const { return buffer_; }

 private:
  void EmitByte() {
    buffer_.push_back(uint8_t(current_));
    ++bytes_;
    current_ = 0;
    free_ = 8;
    if (file_ && buffer_.size() >= (1u << 16)) Flush();
  }
  std::FILE* file_;
  std::vector<uint8_t> buffer_;
  uint32_t current_ = 0;
  int free_ = 8;
  int64_t bytes_ = 0;
  bool ok_ = true;
};

}  // namespace zr::mpeg
