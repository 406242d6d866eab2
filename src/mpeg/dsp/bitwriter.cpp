#include "mpeg/dsp/bitwriter.h"

namespace zr::mpeg {

void BitWriter::MoveWholeBytes() {
  while (accBits_ >= 8) {
    accBits_ -= 8;
    buffer_.push_back(uint8_t(acc_ >> accBits_));
    ++bytes_;
  }
}

bool BitWriter::Flush() {
  if (!file_) return ok_;
  MoveWholeBytes();
  if (buffer_.empty()) return ok_;
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
  buffer_.clear();
  return ok_;
}

}  // namespace zr::mpeg
