#include "mpeg/audio/bitstream.h"

namespace zr::mpeg::audio {

BitstreamFile::~BitstreamFile() {
  bits_.reset();
  if (file_) std::fclose(file_);
}

bool BitstreamFile::Open(const std::string& path) {
  bits_.reset();
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "wb");
  failed_ = file_ == nullptr;
  if (file_) bits_ = std::make_unique<BitWriter>(file_, 4096);
  return file_ != nullptr;
}

bool BitstreamFile::Close() {
  if (bits_) {
    bits_->AlignBits();
    if (!bits_->Flush()) failed_ = true;
    bits_.reset();
  }
  if (file_) {
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
  }
  return !failed_;
}

}  // namespace zr::mpeg::audio
