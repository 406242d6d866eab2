#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace zr::mpeg {

// printf-style formatting of log and message texts.
__attribute__((format(printf, 1, 2))) inline std::string Format(const char* fmt, ...) {
  char small[256];
  va_list args;
  va_start(args, fmt);
  int n = std::vsnprintf(small, sizeof small, fmt, args);
  va_end(args);
  if (n < 0) return {};
  if (size_t(n) < sizeof small) return std::string(small, size_t(n));
  std::string out(size_t(n) + 1, '\0');
  va_start(args, fmt);
  std::vsnprintf(out.data(), out.size(), fmt, args);
  va_end(args);
  out.resize(size_t(n));
  return out;
}

}  // namespace zr::mpeg
