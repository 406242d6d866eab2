// Bit-stream writer: values of 1..32 bits, most significant bit first, gathered in a
// 4096-byte buffer that goes to the file whenever it fills and at the end.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zr::mpeg::audio {

class BitWriter {
 public:
  BitWriter() = default;
  ~BitWriter();
  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  bool Open(const std::string& path);
  // False (and nothing written) when bits is outside 1..32.
  bool Put(uint32_t value, int bits);
  // Zero bits up to the next byte boundary.
  void Align();
  // Flushes the buffer and closes the file; false if any write failed.
  bool Close();
  int64_t bitsWritten() const { return bits_; }
  bool failed() const { return failed_; }

 private:
  void Flush();
  std::FILE* file_ = nullptr;
  std::array<uint8_t, 4096> buffer_{};
  int used_ = 0;       // whole bytes in buffer_
  uint64_t acc_ = 0;   // pending bits, right-aligned
  int accBits_ = 0;
  int64_t bits_ = 0;
  bool failed_ = false;
};

}  // namespace zr::mpeg::audio
