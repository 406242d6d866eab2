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

  // Where to write: "<folder>/.<title>.partial<pid>-<n>.<ext>". A final path that is
  // itself such a name gets a sibling, never a temporary of a temporary.
  const std::string& tempPath() const { return temp_; }
  const std::string& finalPath() const { return final_; }
  // Flushes the temporary file to disk and renames it over the final name. On false the
  // temporary is gone and error() holds the system's error number.
  bool Commit();
  // Removes the temporary file now.
  void Discard();
  int error() const { return error_; }

 private:
  std::string final_;
  std::string temp_;
  bool done_ = false;
  int error_ = 0;
};

// True for names AtomicFile gives its temporaries.
bool IsTemporaryName(const std::string& fileName);

// Whole-buffer write through an AtomicFile. On false, *error (when given) holds the
// system's error number.
bool WriteFileAtomic(const std::string& path, std::span<const uint8_t> data, int* error = nullptr);
// Reads a whole file, refusing files larger than maxBytes. False on any failure.
bool ReadWholeFile(const std::string& path, std::string& out, size_t maxBytes = size_t(1) << 30);

// The system's reason a write into `path` failed: the text of `error` when there is one,
// else what the file system tells (a full disk, a read-only or missing folder).
std::string WriteFailureReason(const std::string& path, int error = 0);
// "cannot write PATH: REASON"
std::string CannotWriteText(const std::string& path, int error = 0);

}  // namespace zr
