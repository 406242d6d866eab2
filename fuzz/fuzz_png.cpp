// The PNG adapter over arbitrary bytes. The pixel cap keeps the fuzzer on the parsing logic
// rather than on allocating huge images.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/formats.h"

namespace {
constexpr int64_t kMaxPixels = int64_t(1) << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zr::ByteSpan bytes(data, size);
  std::string error;
  zr::PngFault fault;
  const bool read = zr::ReadPng(bytes, &error, kMaxPixels, &fault).has_value();
  // Every refusal is named.
  if (read != (fault.error == zr::PngError::None)) std::abort();
  return 0;
}
