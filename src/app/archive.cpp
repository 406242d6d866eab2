#include "app/archive.h"

#include <cstring>

namespace zr {

void Archive::WriteWord(uint16_t value) {
  out_.push_back(char(value & 0xFF));
  out_.push_back(char(value >> 8));
}

void Archive::WriteDword(uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out_.push_back(char((value >> shift) & 0xFF));
}

void Archive::WriteString(std::string_view text) {
  size_t n = text.size();
  if (n < 0xFF) {
    out_.push_back(char(n));
  } else if (n < 0xFFFE) {
    out_.push_back(char(0xFF));
    WriteWord(uint16_t(n));
  } else {
    out_.push_back(char(0xFF));
    WriteWord(0xFFFF);
    WriteDword(uint32_t(n));
  }
  out_.append(text);
}

bool Archive::Take(size_t count, const char*& at) {
  if (eof_ || count > remaining()) {
    eof_ = true;
    return false;
  }
  at = data_.data() + pos_;
  pos_ += count;
  return true;
}

bool Archive::ReadWord(uint16_t& value) {
  const char* p;
  if (!Take(2, p)) return false;
  value = uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8));
  return true;
}

bool Archive::ReadDword(uint32_t& value) {
  const char* p;
  if (!Take(4, p)) return false;
  value = uint32_t(uint8_t(p[0])) | (uint32_t(uint8_t(p[1])) << 8) |
          (uint32_t(uint8_t(p[2])) << 16) | (uint32_t(uint8_t(p[3])) << 24);
  return true;
}

bool Archive::ReadString(std::string& text) {
  const char* p;
  if (!Take(1, p)) return false;
  uint32_t length = uint8_t(p[0]);
  if (length == 0xFF) {
    uint16_t word;
    if (!ReadWord(word)) return false;
    length = word;
    if (word == 0xFFFF) {
      if (!ReadDword(length)) return false;
    }
  }
  // The length is checked against the data before any text is allocated.
  if (!Take(length, p)) return false;
  text.assign(p, length);
  return true;
}

}  // namespace zr
