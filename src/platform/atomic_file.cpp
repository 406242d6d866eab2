#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/paths.h"

namespace zr {

namespace {
std::atomic<unsigned> counter{0};
}

AtomicFile::AtomicFile(std::string finalPath) : final_(std::move(finalPath)) {
  std::string ext = PathExtension(final_);
  std::string folder = PathFolder(final_);
  temp_ = folder + "." + PathTitle(final_) + ".zr" + std::to_string(getpid()) + "-" +
          std::to_string(counter++) + (ext.empty() ? "" : "." + ext);
}

AtomicFile::~AtomicFile() {
  if (!done_) Discard();
}

bool AtomicFile::Commit() {
  if (done_) return false;
  if (::access(temp_.c_str(), F_OK) != 0) return false;
  struct stat st;
  if (::stat(final_.c_str(), &st) == 0) {
    // Replacing a file: its new content must be on disk before the old one goes. A new
    // name risks nothing, so large new outputs skip the costly flush.
    int fd = ::open(temp_.c_str(), O_RDONLY);
    if (fd < 0) return false;
    ::fsync(fd);
    ::close(fd);
    ::chmod(temp_.c_str(), st.st_mode & 07777);
  }
  if (std::rename(temp_.c_str(), final_.c_str()) != 0) {
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

bool WriteFileAtomic(const std::string& path, std::span<const uint8_t> data) {
  AtomicFile file(path);
  FILE* f = std::fopen(file.tempPath().c_str(), "wb");
  if (!f) return false;
  bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) return false;
  return file.Commit();
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

}  // namespace zr
