#include "mpeg/audio/bitstream.h"

#include <algorithm>

#include "mpeg/audio/quantise.h"

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

void BitstreamFile::WriteHeader(int bitrateIndex, bool padded, int channels) {
  Put(0xFFF, 12);
  Put(1, 1);  // MPEG-1
  Put(2, 2);  // layer II
  Put(1, 1);  // no CRC
  Put(uint32_t(bitrateIndex), 4);
  Put(0, 2);  // 44.1 kHz
  Put(padded ? 1 : 0, 1);
  Put(0, 1);
  Put(channels == 2 ? 0 : 3, 2);  // stereo or single channel
  Put(0, 2);
  Put(0, 4);  // copyright, original, emphasis
}

void BitstreamFile::WriteSideInfo(const FrameContent& f) {
  const int sblimit = f.table.sblimit;
  for (int sb = 0; sb < sblimit; ++sb)
    for (int ch = 0; ch < f.channels; ++ch) Put(uint32_t(f.alloc[ch][sb]), f.table.sb[sb].nbal);
  for (int sb = 0; sb < sblimit; ++sb)
    for (int ch = 0; ch < f.channels; ++ch)
      if (f.alloc[ch][sb]) Put(uint32_t(f.scfsi[ch][sb]), 2);
  for (int sb = 0; sb < sblimit; ++sb)
    for (int ch = 0; ch < f.channels; ++ch) {
      if (!f.alloc[ch][sb]) continue;
      const auto& u = f.scf[ch][sb];
      switch (f.scfsi[ch][sb]) {
        case 0: Put(u[0], 6), Put(u[1], 6), Put(u[2], 6); break;
        case 1: Put(u[0], 6), Put(u[2], 6); break;
        case 2: Put(u[0], 6); break;
        default: Put(u[0], 6), Put(u[1], 6); break;
      }
    }
}

void BitstreamFile::WriteSamples(const Layer2Tables& tables, const FrameContent& f) {
  for (int gr = 0; gr < kGranules; ++gr)
    for (int sb = 0; sb < f.table.sblimit; ++sb)
      for (int ch = 0; ch < f.channels; ++ch) {
        const int a = f.alloc[ch][sb];
        if (!a) continue;
        const QuantClass& cls = tables.classes[f.table.sb[sb].cls[a]];
        const int* code = &f.codes[ch][sb][3 * gr];
        if (cls.grouped) {
          Put(GroupCodes(cls.steps, code[0], code[1], code[2]), cls.bits);
        } else {
          for (int j = 0; j < 3; ++j) Put(uint32_t(code[j]), cls.bits);
        }
      }
}

bool BitstreamFile::WriteFrame(const Layer2Tables& tables, int bitrateIndex, bool padded,
                               const FrameContent& frame, int frameBits) {
  const int64_t frameStart = bitsWritten();
  WriteHeader(bitrateIndex, padded, frame.channels);
  WriteSideInfo(frame);
  WriteSamples(tables, frame);
  int64_t left = frameBits - (bitsWritten() - frameStart);
  if (left < 0) return false;
  while (left > 0) {
    int n = int(std::min<int64_t>(left, 32));
    Put(0, n);
    left -= n;
  }
  return true;
}

}  // namespace zr::mpeg::audio
