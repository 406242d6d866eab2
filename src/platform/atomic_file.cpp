#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/paths.h"

namespace zr {

namespace {

constexpr const char kMark[] = ".partial";

// The title a temporary name was made from, or "" when it is none of ours.
std::string OriginalTitle(const std::string& fileName) {
  if (fileName.size() < 2 || fileName[0] != '.') return {};
  size_t mark = fileName.rfind(kMark);
  if (mark == std::string::npos || mark < 1) return {};
  size_t at = mark + sizeof kMark - 1;
  size_t digits = at;
  while (at < fileName.size() && (std::isdigit(uint8_t(fileName[at])) || fileName[at] == '-')) ++at;
  if (at == digits || (at < fileName.size() && fileName[at] != '.')) return {};
  return fileName.substr(1, mark - 1);
}

}  // namespace

bool IsTemporaryName(const std::string& fileName) { return !OriginalTitle(fileName).empty(); }

AtomicFile::AtomicFile(std::string finalPath) : final_(std::move(finalPath)) {
  std::string ext = PathExtension(final_);
  std::string title = OriginalTitle(PathFileName(final_));
  if (title.empty()) title = PathTitle(final_);
  // No two live objects share an address, and a temporary goes with its object, so the
  // address keeps names apart without a process-wide counter.
  temp_ = PathFolder(final_) + "." + title + kMark + std::to_string(getpid()) + "-" +
          std::to_string(reinterpret_cast<uintptr_t>(this)) + (ext.empty() ? "" : "." + ext);
}

AtomicFile::~AtomicFile() {
  if (!done_) Discard();
}

bool AtomicFile::Commit() {
  if (done_) return false;
  if (::access(temp_.c_str(), F_OK) != 0) {
    error_ = errno;
    done_ = true;
    return false;
  }
  struct stat st;
  if (::stat(final_.c_str(), &st) == 0) {
    // Replacing a file: its new content must be on disk before the old one goes. A new
    // name risks nothing, so large new outputs skip the costly flush.
    int fd = ::open(temp_.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
      error_ = errno;
      if (fd >= 0) ::close(fd);
      Discard();
      return false;
    }
    ::close(fd);
    ::chmod(temp_.c_str(), st.st_mode & 07777);
  }
  if (std::rename(temp_.c_str(), final_.c_str()) != 0) {
    error_ = errno;
    Discard();
    return false;
  }
  done_ = true;
  return true;
}

void AtomicFile::Discard() {
  std::remove(temp_.c_str());
  done_ = true;
}

bool WriteFileAtomic(const std::string& path, std::span<const uint8_t> data, int* error) {
  AtomicFile file(path);
  int failure = 0;
  FILE* f = std::fopen(file.tempPath().c_str(), "wb");
  if (!f) {
    failure = errno;
  } else {
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f) != data.size())
      failure = errno;
    // A full disk often shows only when the buffer goes out at the close.
    if (std::fclose(f) != 0 && failure == 0) failure = errno;
    if (failure == 0 && !file.Commit()) failure = file.error();
  }
  if (error) *error = failure;
  return failure == 0;
}

bool ReadWholeFile(const std::string& path, std::string& out, size_t maxBytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  struct stat st;
  if (::fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || size_t(st.st_size) > maxBytes) {
    std::fclose(f);
    return false;
  }
  out.resize(size_t(st.st_size));
  size_t got = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), f);
  std::fclose(f);
  out.resize(got);
  return got == size_t(st.st_size);
}

std::string WriteFailureReason(const std::string& path, int error) {
  if (error == 0) {
    std::string folder = PathFolder(path);
    if (folder.empty()) folder = ".";
    struct statvfs vfs;
    if (::statvfs(folder.c_str(), &vfs) != 0) {
      error = errno;
    } else if (vfs.f_flag & ST_RDONLY) {
      error = EROFS;
    } else if (vfs.f_bavail == 0 || (vfs.f_files > 0 && vfs.f_favail == 0)) {
      error = ENOSPC;
    } else if (::access(folder.c_str(), W_OK) != 0) {
      error = errno;
    } else {
      error = EIO;
    }
  }
  return std::strerror(error);
}

std::string CannotWriteText(const std::string& path, int error) {
  return "cannot write " + path + ": " + WriteFailureReason(path, error);
}

}  // namespace zr
