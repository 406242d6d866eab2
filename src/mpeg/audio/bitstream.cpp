#include "mpeg/audio/bitstream.h"

namespace zr::mpeg::audio {

BitWriter::~BitWriter() {
  if (file_) std::fclose(file_);
}

bool BitWriter::Open(const std::string& path) {
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "wb");
  used_ = 0;
  acc_ = 0;
  accBits_ = 0;
  bits_ = 0;
  failed_ = file_ == nullptr;
  return file_ != nullptr;
}

bool BitWriter::Put(uint32_t value, int bits) {
  if (bits < 1 || bits > 32) return false;
  uint64_t v = bits == 32 ? value : (value & ((uint32_t(1) << bits) - 1));
  acc_ = (acc_ << bits) | v;
  accBits_ += bits;
  bits_ += bits;
  while (accBits_ >= 8) {
    accBits_ -= 8;
    buffer_[used_++] = uint8_t(acc_ >> accBits_);
    if (used_ == int(buffer_.size())) Flush();
  }
  acc_ &= (uint64_t(1) << accBits_) - 1;
  return true;
}

void BitWriter::Align() {
  if (accBits_ > 0) Put(0, 8 - accBits_);
}

void BitWriter::Flush() {
  if (used_ > 0 && file_ && std::fwrite(buffer_.data(), 1, used_, file_) != size_t(used_))
    failed_ = true;
  used_ = 0;
}

bool BitWriter::Close() {
  Align();
  Flush();
  if (file_) {
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
  }
  return !failed_;
}

}  // namespace zr::mpeg::audio
