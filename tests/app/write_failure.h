// Injects a real write error: while alive, files cannot grow past `bytes` (the writer's
// fwrite fails with EFBIG instead of the process being signalled).
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace zr::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    handler_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved_;
    small.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, handler_);
  }
  bool ok() const { return ok_; }

 private:
  struct rlimit saved_;
  void (*handler_)(int);
  bool ok_ = false;
};

}  // namespace zr::test
