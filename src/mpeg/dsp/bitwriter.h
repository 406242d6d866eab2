// Most-significant-bit-first writer shared by the video and audio streams. Bits gather
// in a 64-bit word and leave it 32 at a time; the bytes are handed to the file in large
// pieces. BitCount is exact after every call: rate control reads it per macroblock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace zr::mpeg {

class BitWriter {
 public:
  // Writes into `file` once `flushBytes` have gathered (file may be null: bytes are then
  // only kept in bytes()).
  explicit BitWriter(std::FILE* file = nullptr, size_t flushBytes = size_t(1) << 16)
      : file_(file), flushBytes_(flushBytes) {}
  ~BitWriter() { Flush(); }
  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // Low `n` bits of value, 0 <= n <= 32.
  void PutBits(uint32_t value, int n) {
    // accBits_ < 32 here, so the word never holds more than 63 bits.
    acc_ = (acc_ << n) | (uint64_t(value) & ((uint64_t(1) << n) - 1));
    accBits_ += n;
    if (accBits_ >= 32) {
      accBits_ -= 32;
      const uint32_t word = uint32_t(acc_ >> accBits_);
      const uint8_t b[4] = {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8),
                            uint8_t(word)};
      buffer_.insert(buffer_.end(), b, b + 4);
      bytes_ += 4;
      if (file_ && buffer_.size() >= flushBytes_) Flush();
    }
  }
  // A variable-length code: anything with `bits` (right-aligned) and `len`.
  template <class Code>
  void Put(const Code& code) {
    PutBits(code.bits, code.len);
  }
  // Zero bits up to the next byte boundary; nothing when already aligned.
  void AlignBits() { PutBits(0, (8 - (accBits_ & 7)) & 7); }
  int64_t BitCount() const { return 8 * bytes_ + accBits_; }

  // Hands the whole bytes written so far to the file (a started byte stays); false once a
  // write has failed.
  bool Flush();
  bool ok() const { return ok_; }
  // Every whole byte written so far, when there is no file.
  const std::vector<uint8_t>& bytes() {
    MoveWholeBytes();
    return buffer_;
  }

 private:
  void MoveWholeBytes();
  std::FILE* file_;
  size_t flushBytes_;
  std::vector<uint8_t> buffer_;
  uint64_t acc_ = 0;  // the last accBits_ bits are pending
  int accBits_ = 0;
  int64_t bytes_ = 0;  // bytes moved out of acc_
  bool ok_ = true;
};

}  // namespace zr::mpeg
