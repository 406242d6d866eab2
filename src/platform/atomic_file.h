// Files are never half-written under their final name: write to a temporary name in the
// same folder (keeping the extension, since some writers choose the type by it) and
// rename on success. An uncommitted AtomicFile removes its temporary file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zr {

class AtomicFile {
 public:
  explicit AtomicFile(std::string finalPath);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Where to write: "<folder>/.<title>.zr<unique><.ext>".
  const std::string& tempPath() const { return temp_; }
  const std::string& finalPath() const { return final_; }
  // Flushes the temporary file to disk and renames it over the final name.
  bool Commit();
  // Removes the temporary file now.
  void Discard();

 private:
  std::string final_;
  std::string temp_;
  bool done_ = false;
};

// Whole-buffer write through an AtomicFile.
bool WriteFileAtomic(const std::string& path, std::span<const uint8_t> data);
// Reads a whole file, refusing files larger than maxBytes. False on any failure.
bool ReadWholeFile(const std::string& path, std::string& out, size_t maxBytes = size_t(1) << 30);

}  // namespace zr
