// The byte stream a project is stored in: little-endian words and double words, and
// strings with a one-, three- or seven-byte length prefix. Loading reads from a span that
// is checked before every read; running out of data is a sticky failure, never an
// allocation beyond what the data can hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zr {

class Archive {
 public:
  // An archive for storing; bytes() holds what was written.
  Archive() = default;
  // An archive for loading from `data`, which must outlive the archive.
  explicit Archive(std::string_view data) : loading_(true), data_(data) {}

  bool IsStoring() const { return !loading_; }
  bool IsLoading() const { return loading_; }

  void WriteWord(uint16_t value);
  void WriteDword(uint32_t value);
  // Length below 255: one byte; below 0xFFFE: 0xFF + WORD; else 0xFF, 0xFFFF, DWORD.
  void WriteString(std::string_view text);
  const std::string& bytes() const { return out_; }

  // False at the end of the data; once one read fails every later read fails too.
  bool ReadWord(uint16_t& value);
  bool ReadDword(uint32_t& value);
  bool ReadString(std::string& text);
  // True after a read ran past the end of the data.
  bool endOfFile() const { return eof_; }
  size_t position() const { return pos_; }
  size_t remaining() const { return data_.size() - pos_; }

 private:
  bool Take(size_t count, const char*& at);

  bool loading_ = false;
  std::string out_;
  std::string_view data_;
  size_t pos_ = 0;
  bool eof_ = false;
};

}  // namespace zr
