#include "mpeg/video/bitwriter.h"

namespace zr::mpeg {

bool BitWriter::Flush() {
  if (!file_ || buffer_.empty()) return ok_;
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
  buffer_.clear();
  return ok_;
}

}  // namespace zr::mpeg
